// The engine over IPv6 and over hosts with several addresses: real servers
// on ::1, and a name whose addresses do not all answer.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>

#include "enginedriver.h"
#include "enginenode.h"
#include "resolver.h"
#include "testservers.h"

namespace {

using namespace enginetest;
using namespace std::chrono_literals;
namespace ts = testsupport;

constexpr int64_t filesize = (2 << 20) + 4321;

class Ipv6 : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        files = std::make_unique<ts::ScratchDir>("skylark-served6");
        files->writeRandomFile("a.bin", filesize, 21);
        sum = ts::sha256OfFile(files->path() / "a.bin");
    }
    static void TearDownTestSuite() { files.reset(); }

    void SetUp() override
    {
        ASSERT_EQ(lark::startengine(), 0u);
        target = std::make_unique<ts::ScratchDir>("skylark-dl6");
    }
    void TearDown() override
    {
        lark::setextendedpassive(0);
        lark::releasedllres();
    }

    void* download(const std::string& url, unsigned branches, bool pasv = true)
    {
        void* task = nullptr;
        EXPECT_EQ(lark::addnode(task, url, branches, 0, "", "", target->path().string() + "/", false, pasv, false,
                                false),
                  1u)
            << url;
        return task;
    }
    // Runs the whole download and checks every byte; returns the first
    // branch's log. `staggered` starts the other branches once the first
    // has connected.
    std::string fetch(void* task, bool staggered = false)
    {
        std::filesystem::remove(target->path() / "a.bin");
        if (staggered) {
            unsigned count = 0;
            lark::getdownbranchcount(task, count);
            const int64_t part = filesize / count;
            startbranch(task, 1, 0, part);
            EXPECT_TRUE(waituntil([&] { return writeoffset(task) > 0 || !connected(task, 1); })) << wholelog(task);
            for (unsigned i = 2; i <= count; ++i)
                startbranch(task, i, part * (i - 1), i == count ? filesize : part * i);
        } else {
            startdownload(task, filesize);
        }
        EXPECT_TRUE(waitinactive(task, 60s)) << wholelog(task);
        const std::filesystem::path path = target->path() / "a.bin";
        EXPECT_EQ(std::filesystem::exists(path) ? ts::sha256OfFile(path) : "missing", sum) << wholelog(task);
        return wholelog(task);
    }
    // The download's branches share these addresses as if a lookup of
    // `name` had found them.
    static void seedaddresses(void* task, const std::string& name, int port, std::vector<std::string> literals)
    {
        lark::AddressList list;
        for (const std::string& literal : literals) {
            lark::SocketAddress address;
            ASSERT_TRUE(address.parse(literal, static_cast<unsigned>(port))) << literal;
            list.push_back(address);
        }
        static_cast<lark::EngineNode*>(task)->groupaddress->remember(name, static_cast<unsigned>(port), list);
    }

    static std::unique_ptr<ts::ScratchDir> files;
    static std::string sum;
    std::unique_ptr<ts::ScratchDir> target;
};

std::unique_ptr<ts::ScratchDir> Ipv6::files;
std::string Ipv6::sum;

#define REQUIRE_IPV6()                                                                   \
    do {                                                                                 \
        if (!ts::hasIpv6Loopback()) GTEST_SKIP() << "this machine has no IPv6 loopback (::1)"; \
    } while (0)

TEST_F(Ipv6, HttpFromNginxOnIpv6Loopback)
{
    REQUIRE_IPV6();
    ts::NginxServer http(files->path(), {.host = "::1"});
    for (unsigned branches : {1u, 4u}) {
        SCOPED_TRACE(http.url("a.bin") + " with " + std::to_string(branches) + " branches");
        void* task = download(http.url("a.bin"), branches);
        const std::string log = fetch(task);
        EXPECT_NE(log.find("Host: [::1]:" + std::to_string(http.port()) + "\r\n"), std::string::npos) << log;
        EXPECT_EQ(lark::deletenode(task), 0u);
    }
}

enum class Ftp { Pyftpd, Vsftpd };

std::unique_ptr<ts::LoopbackServer> ftpserver(Ftp kind, const std::filesystem::path& root, const std::string& host)
{
    if (kind == Ftp::Pyftpd) return std::make_unique<ts::PyftpdServer>(root, ts::PyftpdOptions{.host = host});
    return std::make_unique<ts::VsftpdServer>(root, ts::VsftpdOptions{.host = host});
}

// PASV and PORT cannot name an IPv6 address: EPSV and EPRT are used on
// IPv6 always, and on IPv4 when the setting asks for them.
TEST_F(Ipv6, FtpDataConnectionsByEpsvAndEprt)
{
    REQUIRE_IPV6();
    struct Case {
        Ftp server;
        const char* host;
        bool extended;
        bool pasv;
        const char* command;
    } cases[] = {
        {Ftp::Pyftpd, "::1", false, true, "Send command:epsv\r\n"},
        {Ftp::Pyftpd, "::1", false, false, "Send command:eprt |2|::1|"},
        {Ftp::Vsftpd, "::1", false, true, "Send command:epsv\r\n"},
        {Ftp::Vsftpd, "::1", false, false, "Send command:eprt |2|::1|"},
        {Ftp::Vsftpd, "127.0.0.1", true, true, "Send command:epsv\r\n"},
        {Ftp::Pyftpd, "127.0.0.1", true, false, "Send command:eprt |1|127.0.0.1|"},
        {Ftp::Vsftpd, "127.0.0.1", false, true, "Send command:pasv\r\n"},
    };
    for (const Case& c : cases) {
        auto server = ftpserver(c.server, files->path(), c.host);
        SCOPED_TRACE(server->url("a.bin") + (c.pasv ? " passive" : " active") + (c.extended ? ", extended" : ""));
        lark::setextendedpassive(c.extended ? 1 : 0);
        void* task = download(server->url("a.bin"), 2, c.pasv);
        const std::string log = fetch(task);
        EXPECT_NE(log.find(c.command), std::string::npos) << log << server->log();
        EXPECT_EQ(lark::deletenode(task), 0u);
    }
}

// A server without EPSV is asked with PASV; an EPSV port that cannot be
// connected to ends the task with the reason, not a connect to port 0.
TEST_F(Ipv6, EpsvRefusedOrUnusable)
{
    lark::setextendedpassive(1);
    {
        ts::FaultServer ftp(ts::FaultProtocol::Ftp, "plain", files->path());
        void* task = download(ftp.url("a.bin"), 1);
        const std::string log = fetch(task);
        const size_t epsv = log.find("Send command:epsv\r\n");
        EXPECT_NE(epsv, std::string::npos) << log;
        EXPECT_NE(log.find("Send command:pasv\r\n", epsv), std::string::npos) << log;
        EXPECT_EQ(lark::deletenode(task), 0u);
    }
    for (const char* port : {"0", "70000"}) {
        ts::FaultServer ftp(ts::FaultProtocol::Ftp, std::string("epsv-port=") + port, files->path());
        void* task = download(ftp.url("a.bin"), 1);
        startdownload(task, filesize);
        ASSERT_TRUE(waitinactive(task, 20s)) << wholelog(task);
        std::string reason;
        unsigned kind = 0;
        lark::getfailure(task, reason, kind);
        EXPECT_EQ(reason.rfind("EPSV reply names no usable port: 229", 0), 0u) << reason << "\n" << wholelog(task);
        EXPECT_EQ(kind, lark::FailureFinal);
        EXPECT_EQ(lark::deletenode(task), 0u);
    }
}

// A name with an address where nothing listens (refused at once) or where
// nothing answers (a listener whose queue is full) still connects through
// its other address; the branches after the first go straight to that one.
TEST_F(Ipv6, EveryAddressIsTriedUntilOneConnects)
{
    REQUIRE_IPV6();
    ts::NginxServer v4(files->path());
    ts::NginxServer v6(files->path(), {.host = "::1"});

    // 127.0.0.1 on v6's port: one connection fills its queue, so the next
    // connect is never answered.
    const int silent = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(v6.port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool silentready = silent >= 0 && filler >= 0 &&
                             ::bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                             ::listen(silent, 0) == 0 &&
                             ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;

    struct Case {
        const char* what;
        int port;
        std::vector<std::string> addresses;
        const char* firstfailure;
    } cases[] = {
        {"::1 refuses, 127.0.0.1 serves", v4.port(), {"::1", "127.0.0.1"}, "failed (Connection refused)"},
        {"127.0.0.1 never answers, ::1 serves", v6.port(), {"127.0.0.1", "::1"}, "failed (no answer within"},
    };
    for (const Case& c : cases) {
        if (c.port == v6.port() && !silentready) {
            ADD_FAILURE() << "could not set up a silent listener on 127.0.0.1:" << v6.port();
            continue;
        }
        SCOPED_TRACE(c.what);
        const std::string url = "http://localhost:" + std::to_string(c.port) + "/a.bin";
        void* task = download(url, 3);
        seedaddresses(task, "localhost", c.port, c.addresses);
        const auto started = std::chrono::steady_clock::now();
        const std::string log = fetch(task, true);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 20s);
        EXPECT_NE(log.find(c.firstfailure), std::string::npos) << log;
        for (unsigned i = 2; i <= 3; ++i) {
            void* branch = nullptr;
            lark::getdownbranch(task, i, branch);
            EXPECT_EQ(wholelog(branch).find("failed ("), std::string::npos) << wholelog(branch);
        }
        EXPECT_EQ(lark::deletenode(task), 0u);
    }
    if (silent >= 0) ::close(silent);
    if (filler >= 0) ::close(filler);
}

// When no address connects, the reason is the last address's.
TEST_F(Ipv6, TheLastAddressesFailureIsReported)
{
    REQUIRE_IPV6();
    const int port = ts::pickFreePort();
    void* task = download("http://localhost:" + std::to_string(port) + "/a.bin", 1);
    seedaddresses(task, "localhost", port, {"::1", "127.0.0.1"});
    startdownload(task, filesize);
    ASSERT_TRUE(waitinactive(task, 20s)) << wholelog(task);
    std::string reason;
    unsigned kind = 0;
    lark::getfailure(task, reason, kind);
    EXPECT_EQ(reason, "could not connect to the server: Connection refused") << wholelog(task);
    EXPECT_NE(wholelog(task).find("connect to [::1]:" + std::to_string(port) + " failed"), std::string::npos);
}

}  // namespace
