// The engine against servers that misbehave, cut, refuse or send what no
// server should, and against local files it must not write. Every file
// that is written is checked byte for byte against its source.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <fstream>

#include "enginedriver.h"

namespace {

using namespace enginetest;
using namespace std::chrono_literals;

using Transfers = EngineServed;

// What the engine must do with servers that misbehave. (A 404 and a refused
// login: FailuresEndWithAReasonAndItsKind.)
struct FaultCase {
    const char* scenario;
    bool byname; // the task URL names the server "localhost" with credentials
    ts::FaultProtocol protocol;
    const char* path;
    unsigned branches;
    int64_t start;       // a single branch's start, or -1 to split the file
    bool complete;       // the file arrives whole
    const char* logline; // a line the node must have logged, or ""
};

constexpr auto Http = ts::FaultProtocol::Http;
constexpr auto Ftp = ts::FaultProtocol::Ftp;

const FaultCase faultcases[] = {
    {"chunked", false, Http, "a.bin", 4, -1, true, ""},
    {"nolength", false, Http, "a.bin", 1, 0, true, ""},
    {"split-header", false, Http, "a.bin", 2, -1, true, ""},
    {"redirect-relative", false, Http, "redirect/a.bin", 2, -1, true, ""},
    {"redirect-absolute", true, Http, "redirect/a.bin", 1, -1, true, "Host: 127.0.0.1:"},
    {"redirect-loop", false, Http, "a.bin", 1, -1, false, "too many redirects\r\n"},
    {"content-location", false, Http, "redirect/a.bin", 1, -1, true, ""},
    {"endless-header", false, Http, "a.bin", 1, -1, false, "response header too long\r\n"},
    {"wrong-range", false, Http, "a.bin", 1, 5000, false, "another range"},
    {"norange", false, Http, "a.bin", 1, 5000, false, "ignored the range"},
    {"cut", false, Http, "a.bin", 1, -1, false, "connection closed by server\r\n"},
    {"multiline,split-replies", false, Ftp, "a.bin", 2, -1, true, ""},
    {"no-226", false, Ftp, "a.bin", 2, -1, true, ""},
    {"pasv-foreign", false, Ftp, "a.bin", 1, -1, true, "try data connect"},
    {"refuse-rest", false, Ftp, "a.bin", 1, 5000, false, "restart not confirmed"},
    {"data-close-early", false, Ftp, "a.bin", 1, -1, false, "Data closed\r\n"},
    {"drop-control", false, Ftp, "a.bin", 1, -1, false, ""},
};

void PrintTo(const FaultCase& c, std::ostream* out)
{
    *out << c.scenario << ", " << c.branches << " branches";
}

class MisbehavingServers : public EngineServed, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(MisbehavingServers, KeepTheFileSound)
{
    const FaultCase& c = GetParam();
    ts::FaultServer server(c.protocol, c.scenario, files->path());
    std::string url = server.url(c.path);
    if (c.byname) url.replace(url.find("127.0.0.1"), 9, "user:hidden@localhost");
    void* task = download(url, c.branches);
    if (c.start >= 0)
        startbranch(task, 1, c.start, 0);
    else
        startdownload(task, bigsize);
    ASSERT_TRUE(waitinactive(task, 60s)) << wholelog(task);
    const std::string log = wholelog(task);
    EXPECT_NE(log.find(c.logline), std::string::npos) << log;
    EXPECT_EQ(log.find("hidden"), std::string::npos) << "credentials never travel";
    if (c.complete) {
        EXPECT_EQ(result(), bigsum) << log << server.log();
        return;
    }
    // Whatever arrived is the source's bytes at the right place.
    const int64_t start = c.start >= 0 ? c.start : 0;
    const int64_t written = writeoffset(task) - start;
    EXPECT_LT(written, bigsize - start);
    if (written > 0) expectprefix(start, written);
}

std::string faultname(const ::testing::TestParamInfo<FaultCase>& info)
{
    std::string name = std::string(info.param.scenario) + "_" + std::to_string(info.param.branches);
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Faults, MisbehavingServers, ::testing::ValuesIn(faultcases), faultname);

// A resume asks from a few KiB before its write offset and compares those
// bytes with the disk: a file that changed on the server is never spliced.
TEST_F(Transfers, ResumeOverlapIsComparedWithTheDisk)
{
    ts::NginxServer http(files->path());
    ts::VsftpdServer ftp(files->path());
    const std::string source = ts::readWholeFile(files->path() / "a.bin");
    constexpr int64_t written = 1000000;
    // The long overlap spans many reads.
    for (const std::string& url : {http.url("a.bin"), ftp.url("a.bin")}) {
        for (auto [changed, overlap] : {std::pair{false, 4096}, {true, 4096}, {false, 900000}, {true, 900000}}) {
            std::string disk = source.substr(0, written);
            if (changed) disk[written - 10] ^= 0x55;
            std::ofstream(target->path() / "a.bin", std::ios::binary | std::ios::trunc) << disk;
            void* task = download(url, 1);
            startbranch(task, 1, written, bigsize, written - overlap);
            ASSERT_TRUE(waitinactive(task, 20s)) << url << wholelog(task);
            unsigned kind = lark::FailureNone;
            const std::string reason = failure(task, kind);
            if (changed) {
                EXPECT_EQ(kind, lark::FailureUnproven) << url << wholelog(task);
                EXPECT_NE(reason.find("differ from the file on disk"), std::string::npos) << reason;
                EXPECT_EQ(writeoffset(task), written) << "nothing written after a mismatch";
            } else {
                EXPECT_EQ(result(), bigsum) << url << wholelog(task);
            }
            EXPECT_EQ(lark::deletenode(task), 0u);
        }
    }
}

// Every failure ends the node promptly with a reason, marked final when
// the same request would fail again, so the program does not ask again: a
// server that never answers names the wait, and a refused connect is a
// failed try, not a hang.
TEST_F(Transfers, FailuresEndWithAReasonAndItsKind)
{
    ts::FaultServer notfound(Http, "status=404", files->path());
    ts::FaultServer unavailable(Http, "status=503,retry-after=7", files->path());
    ts::FaultServer refusinglogin(Ftp, "refuse-login", files->path());
    ts::VsftpdServer ftp(files->path());
    const HeldPort silent(HeldPort::Silent);
    const HeldPort refusing(HeldPort::Refusing);
    const auto at = [](const char* scheme, const HeldPort& port) {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(port.port) + "/a.bin";
    };
    const struct {
        std::string url;
        unsigned kind;
        const char* reason;
        bool waits; // ends by the (shortened) time-outs
        unsigned retryafter = 0;
        const char* logged = "";
    } cases[] = {
        {notfound.url("a.bin"), lark::FailureFinal, "the server answered \"HTTP/1.1 404", false},
        {unavailable.url("a.bin"), lark::FailureRetry, "the server answered \"HTTP/1.1 503", false, 7},
        {refusinglogin.url("a.bin"), lark::FailureFinal, "login refused: 530", false},
        {ftp.url("missing.bin"), lark::FailureFinal, "the server refused: 550", false},
        {at("ftp", refusing), lark::FailureRetry, "could not connect to the server", false},
        {at("http", refusing), lark::FailureRetry, "could not connect to the server", false, 0,
         "connection closed\r\n"},
        {at("http", silent), lark::FailureRetry, "timed out waiting for the response", true},
        {at("ftp", silent), lark::FailureRetry, "timed out waiting for the connection", true},
    };
    for (const auto& c : cases) {
        // The waiting rows come last: short waits could cut off a slow answer.
        if (c.waits) {
            ASSERT_EQ(lark::settimeouts(500, 500), 0u);
        }
        void* task = download(c.url, 1);
        startbranch(task, 1, 0, 0);
        auto started = std::chrono::steady_clock::now();
        ASSERT_TRUE(waitinactive(task, 10s)) << c.url << wholelog(task);
        EXPECT_LT(std::chrono::steady_clock::now() - started, c.waits ? 2s : 1s) << c.url;
        unsigned kind = lark::FailureNone;
        EXPECT_NE(failure(task, kind).find(c.reason), std::string::npos) << c.url << "\n" << wholelog(task);
        EXPECT_EQ(kind, c.kind) << c.url;
        unsigned wait = 0;
        lark::getretryafter(task, wait);
        EXPECT_EQ(wait, c.retryafter) << c.url;
        EXPECT_NE(wholelog(task).find(c.logged), std::string::npos) << c.url << wholelog(task);
        // A new try starts clean (a refused one may fail again at once).
        ASSERT_EQ(lark::connect(task, 1), 0u);
        if (c.waits) {
            EXPECT_EQ(failure(task, kind), "");
        }
        lark::disconnect(task, 0);
        ASSERT_TRUE(waitinactive(task, 5s));
    }
}

// A request larger than the socket takes at once must still go out whole.
TEST_F(Transfers, PartialSendsAreContinued)
{
    const HeldPort listener(HeldPort::Silent);
    const std::string pad(24 << 20, 'x');
    const std::string request = "GET /p HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Pad: " + pad + "\r\n\r\n";
    size_t received = 0;
    std::thread server([&] {
        int peer = accept(listener.fd, nullptr, nullptr);
        if (peer < 0) return;
        timeval limit{20, 0};
        setsockopt(peer, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        std::this_thread::sleep_for(500ms); // let the client's socket fill up
        std::string got;
        char buffer[65536];
        while (got.size() < 4 || got.compare(got.size() - 4, 4, "\r\n\r\n") != 0) {
            ssize_t n = recv(peer, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            got.append(buffer, static_cast<size_t>(n));
        }
        received = got.size();
        const char reply[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
        send(peer, reply, sizeof reply - 1, MSG_NOSIGNAL);
        close(peer);
    });
    void* task = download("http://127.0.0.1:" + std::to_string(listener.port) + "/p", 1);
    lark::savecommand(task, request);
    lark::setdownstarted(task, 1);
    lark::connect(task, 1);
    EXPECT_TRUE(waitinactive(task, 30s));
    server.join();
    EXPECT_EQ(received, request.size());
    EXPECT_EQ(ts::readWholeFile(target->path() / "p"), "ok");
}

TEST_F(Transfers, LongAndEmptyListings)
{
    ts::FaultServer longlines(ts::FaultProtocol::Ftp, "long-lines", files->path());
    void* node = site(longlines.url("dir/"));
    ASSERT_EQ(fetchwhenready(node, "list"), 0u);
    ASSERT_TRUE(MessageLog::instance().waitfor(node));
    std::string listing = takeout(node);
    size_t longest = 0;
    for (size_t start = 0, end; (end = listing.find('\n', start)) != std::string::npos; start = end + 1)
        longest = std::max(longest, end - start);
    EXPECT_GT(longest, 600u) << listing;

    ts::FaultServer empty(ts::FaultProtocol::Ftp, "empty-list", files->path());
    void* other = site(empty.url("dir/"), false);
    ASSERT_EQ(fetchwhenready(other, "list"), 0u);
    ASSERT_TRUE(MessageLog::instance().waitfor(other));
    EXPECT_EQ(takeout(other), " ");
    EXPECT_NE(wholelog(other).find("Data active connected\r\n"), std::string::npos);
}

TEST_F(Transfers, UnsafeFileNamesAndLinksAreNeverWritten)
{
    ts::NginxServer http(files->path());
    // A link planted at the file's name must not be followed.
    ts::ScratchDir elsewhere("skylark-victim");
    std::filesystem::path victim = elsewhere.writeFile("victim", "keep me");
    std::filesystem::create_symlink(victim, target->path() / "a.bin");
    void* task = download(http.url("a.bin"), 1);
    startdownload(task, bigsize);
    ASSERT_TRUE(waitinactive(task));
    EXPECT_EQ(ts::readWholeFile(victim), "keep me");
    EXPECT_NE(wholelog(task).find("File Error:" + dir() + "a.bin\r\n"), std::string::npos) << wholelog(task);

    // A directory that cannot be written, typed without its final "/".
    void* nowhere = nullptr;
    lark::addnode(nowhere, http.url("a.bin"), 1, 0, "", "", "/proc/no/such/dir", false, true, false, false);
    startbranch(nowhere, 1, 0, 0);
    ASSERT_TRUE(waitinactive(nowhere));
    EXPECT_NE(wholelog(nowhere).find("File Error:/proc/no/such/dir/a.bin\r\n"), std::string::npos);
}

} // namespace
