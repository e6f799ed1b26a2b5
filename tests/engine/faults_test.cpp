// The engine against servers that misbehave, cut, refuse or send what no
// server should, and against local files it must not write. Every file
// that is written is checked byte for byte against its source.
#include <gtest/gtest.h>

#include <fstream>

#include "enginedriver.h"

namespace {

using namespace enginetest;
using namespace std::chrono_literals;

using Transfers = EngineServed;

constexpr auto Http = ts::FaultProtocol::Http;
constexpr auto Ftp = ts::FaultProtocol::Ftp;

// Quirks no other test serves, each ending in the whole file. (Cuts and
// ignored or misplaced ranges: skylark-cli's hostile servers.)
TEST_F(Transfers, MisbehavingServersKeepTheFileSound)
{
    const struct {
        const char* scenario;
        bool byname; // the task URL names the server "localhost" with credentials
        ts::FaultProtocol protocol;
        const char* path;
        unsigned branches;   // 0: one branch without an end, as for a file of unknown length
        const char* logline; // a line the node must have logged, or ""
    } cases[] = {
        {"chunked", false, Http, "a.bin", 4, ""},
        {"nolength", false, Http, "a.bin", 0, ""},
        {"split-header", false, Http, "a.bin", 2, ""},
        {"redirect-absolute", true, Http, "redirect/a.bin", 1, "Host: 127.0.0.1:"},
        {"content-location", false, Http, "redirect/a.bin", 1, ""},
        {"multiline,split-replies", false, Ftp, "a.bin", 2, ""},
        {"no-226", false, Ftp, "a.bin", 2, ""},
        {"pasv-foreign", false, Ftp, "a.bin", 1, "try data connect"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.scenario) + ", " + std::to_string(c.branches) + " branches");
        std::filesystem::remove(target->path() / "a.bin");
        ts::FaultServer server(c.protocol, c.scenario, files->path());
        std::string url = server.url(c.path);
        if (c.byname) url.replace(url.find("127.0.0.1"), 9, "user:hidden@localhost");
        void* task = download(url, std::max(c.branches, 1u));
        if (c.branches == 0)
            startbranch(task, 1, 0, 0);
        else
            startdownload(task, bigsize);
        ASSERT_TRUE(waitinactive(task, 60s)) << wholelog(task);
        const std::string log = wholelog(task);
        EXPECT_NE(log.find(c.logline), std::string::npos) << log;
        EXPECT_EQ(log.find("hidden"), std::string::npos) << "credentials never travel";
        EXPECT_EQ(result(), bigsum) << log << server.log();
    }
}

// A resume asks from a few KiB before its write offset and compares those
// bytes with the disk: a file that changed on the server is never spliced,
// and nothing is written for a server that will not restart at all.
TEST_F(Transfers, ResumeOverlapIsComparedWithTheDisk)
{
    ts::NginxServer http(files->path());
    ts::VsftpdServer ftp(files->path());
    ts::FaultServer norest(Ftp, "refuse-rest", files->path());
    const std::string source = ts::readWholeFile(files->path() / "a.bin");
    constexpr int64_t written = 1000000;
    // The long overlap spans many reads.
    for (const std::string& url : {http.url("a.bin"), ftp.url("a.bin"), norest.url("a.bin")}) {
        const bool refused = url == norest.url("a.bin");
        for (auto [changed, overlap] : {std::pair{false, 4096}, {true, 4096}, {false, 900000}, {true, 900000}}) {
            std::string disk = source.substr(0, written);
            if (changed) disk[written - 10] ^= 0x55;
            std::ofstream(target->path() / "a.bin", std::ios::binary | std::ios::trunc) << disk;
            void* task = download(url, 1);
            startbranch(task, 1, written, bigsize, written - overlap);
            ASSERT_TRUE(waitinactive(task, 20s)) << url << wholelog(task);
            unsigned kind = lark::FailureNone;
            const std::string reason = failure(task, kind);
            if (changed || refused) {
                EXPECT_EQ(kind, lark::FailureUnproven) << url << wholelog(task);
                EXPECT_NE(reason.find(refused ? "restart not confirmed" : "differ from the file on disk"),
                          std::string::npos)
                    << reason;
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
// failed try, not a hang. A server cannot fill the header or the redirect
// chain without end. Tries fail again and again over days: none may
// keep a descriptor.
TEST_F(Transfers, FailuresEndWithAReasonAndItsKind)
{
    ts::FaultServer notfound(Http, "status=404", files->path());
    ts::FaultServer unavailable(Http, "status=503,retry-after=7", files->path());
    ts::FaultServer refusinglogin(Ftp, "refuse-login", files->path());
    ts::FaultServer loop(Http, "redirect-loop", files->path());
    ts::FaultServer endless(Http, "endless-header", files->path());
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
    } cases[] = {
        {notfound.url("a.bin"), lark::FailureFinal, "the server answered \"HTTP/1.1 404", false},
        {unavailable.url("a.bin"), lark::FailureRetry, "the server answered \"HTTP/1.1 503", false, 7},
        {refusinglogin.url("a.bin"), lark::FailureFinal, "login refused: 530", false},
        {loop.url("a.bin"), lark::FailureFinal, "too many redirects", false},
        {endless.url("a.bin"), lark::FailureFinal, "response header too long", false},
        {ftp.url("missing.bin"), lark::FailureFinal, "the server refused: 550", false},
        {at("ftp", refusing), lark::FailureRetry, "could not connect to the server", false},
        {at("http", refusing), lark::FailureRetry, "could not connect to the server", false},
        {at("http", silent), lark::FailureRetry, "timed out waiting for the response", true},
        {at("ftp", silent), lark::FailureRetry, "timed out waiting for the connection", true},
    };
    const size_t before = openfilecount();
    for (const auto& c : cases) {
        // The waiting rows come last: short waits could cut off a slow answer.
        ASSERT_EQ(c.waits ? lark::settimeouts(500, 500) : 0u, 0u);
        void* task = download(c.url, 1);
        startbranch(task, 1, 0, 0);
        ASSERT_TRUE(waitinactive(task, c.waits ? 2s : 1s)) << c.url << wholelog(task);
        unsigned kind = lark::FailureNone;
        EXPECT_NE(failure(task, kind).find(c.reason), std::string::npos) << c.url << "\n" << wholelog(task);
        EXPECT_EQ(kind, c.kind) << c.url;
        unsigned wait = 0;
        lark::getretryafter(task, wait);
        EXPECT_EQ(wait, c.retryafter) << c.url;
        // A new try starts clean (a refused one may fail again at once).
        ASSERT_EQ(lark::connect(task, 1), 0u);
        EXPECT_TRUE(!c.waits || failure(task, kind).empty()) << failure(task, kind);
        lark::disconnect(task, 0);
        ASSERT_TRUE(waitinactive(task, 5s));
    }
    EXPECT_EQ(openfilecount(), before) << "a failed try keeps no descriptor";
}

// A server that ends the control connection during a retrieval may still
// be sending on the data connection: every byte it sent there is kept,
// and the try still ends as a cut, with the server's reason.
TEST_F(Transfers, BytesSentAfterTheControlConnectionEndedAreKept)
{
    ts::FaultServer closing(Ftp, "close-every=256", files->path());
    void* task = download(closing.url("a.bin"), 1);
    startbranch(task, 1, 0, bigsize);
    ASSERT_TRUE(waitinactive(task, 10s)) << wholelog(task);
    unsigned kind = lark::FailureNone;
    EXPECT_NE(failure(task, kind).find("the server closes the connection: 421"), std::string::npos) << wholelog(task);
    EXPECT_EQ(kind, lark::FailureRetry);
    ASSERT_EQ(writeoffset(task), 256 << 10) << wholelog(task) << closing.log();
    const std::string source = ts::readWholeFile(files->path() / "a.bin");
    EXPECT_EQ(ts::readWholeFile(target->path() / "a.bin").substr(0, 256 << 10), source.substr(0, 256 << 10));
}

// An empty directory still ends its request. (Listings with entries: the
// queued requests and skylark-cli ls.)
TEST_F(Transfers, EmptyListingIsAnswered)
{
    ts::FaultServer empty(Ftp, "empty-list", files->path());
    void* node = nullptr;
    ASSERT_EQ(lark::addnode(node, empty.url("dir/"), 1, 0, "", "", dir(), true, false, false, false), 0u);
    ASSERT_EQ(fetchwhenready(node, "list"), 0u);
    ASSERT_TRUE(waitposted(node));
    EXPECT_EQ(takeout(node), " ");
    EXPECT_NE(wholelog(node).find("Data active connected\r\n"), std::string::npos);
}

// A link planted at the file's name must not be followed. (An unwritable
// folder: skylark-cli's "cannot write".)
TEST_F(Transfers, ALinkAtTheFilesNameIsNeverFollowed)
{
    ts::NginxServer http(files->path());
    ts::ScratchDir elsewhere("skylark-victim");
    std::filesystem::path victim = elsewhere.writeFile("victim", "keep me");
    std::filesystem::create_symlink(victim, target->path() / "a.bin");
    void* task = download(http.url("a.bin"), 1);
    startdownload(task, bigsize);
    ASSERT_TRUE(waitinactive(task));
    EXPECT_EQ(ts::readWholeFile(victim), "keep me");
    EXPECT_NE(wholelog(task).find("File Error:" + dir() + "a.bin\r\n"), std::string::npos) << wholelog(task);
}

} // namespace
