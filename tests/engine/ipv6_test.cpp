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
        if (!ts::hasIpv6Loopback()) GTEST_SKIP() << "this machine has no IPv6 loopback (::1)";
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
        const std::string dir = target->path().string() + "/";
        EXPECT_EQ(lark::addnode(task, url, branches, 0, "", "", dir, false, pasv, false, false), 1u) << url;
        return task;
    }
    // Runs the download and returns the first branch's log; `staggered`
    // starts the other branches once the first has connected.
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
        return wholelog(task);
    }
    std::string result() const
    {
        const std::filesystem::path path = target->path() / "a.bin";
        return std::filesystem::exists(path) ? ts::sha256OfFile(path) : "missing";
    }

    static std::unique_ptr<ts::ScratchDir> files;
    static std::string sum;
    std::unique_ptr<ts::ScratchDir> target;
};

std::unique_ptr<ts::ScratchDir> Ipv6::files;
std::string Ipv6::sum;

enum class Server { Nginx, Pyftpd, Vsftpd };

std::unique_ptr<ts::LoopbackServer> startserver(Server kind, const std::filesystem::path& root, const std::string& host)
{
    switch (kind) {
    case Server::Nginx: return std::make_unique<ts::NginxServer>(root, ts::NginxOptions{.host = host});
    case Server::Pyftpd: return std::make_unique<ts::PyftpdServer>(root, ts::PyftpdOptions{.host = host});
    default: return std::make_unique<ts::VsftpdServer>(root, ts::VsftpdOptions{.host = host});
    }
}

// PASV and PORT cannot name an IPv6 address: EPSV and EPRT are used on
// IPv6 always, and on IPv4 when the setting asks for them.
TEST_F(Ipv6, DownloadsOverIpv6AndExtendedFtpModes)
{
    struct Case {
        Server server;
        const char* host;
        unsigned branches;
        bool extended;
        bool pasv;
        const char* logged;
    } cases[] = {
        {Server::Nginx, "::1", 1, false, true, "Host: [::1]:"},
        {Server::Nginx, "::1", 4, false, true, "Host: [::1]:"},
        {Server::Pyftpd, "::1", 2, false, true, "Send command:epsv\r\n"},
        {Server::Pyftpd, "::1", 2, false, false, "Send command:eprt |2|::1|"},
        {Server::Vsftpd, "::1", 3, false, true, "Send command:epsv\r\n"},
        {Server::Vsftpd, "::1", 2, false, false, "Send command:eprt |2|::1|"},
        {Server::Vsftpd, "127.0.0.1", 2, true, true, "Send command:epsv\r\n"},
        {Server::Pyftpd, "127.0.0.1", 2, true, false, "Send command:eprt |1|127.0.0.1|"},
        {Server::Vsftpd, "127.0.0.1", 2, false, true, "Send command:pasv\r\n"},
    };
    for (const Case& c : cases) {
        auto server = startserver(c.server, files->path(), c.host);
        SCOPED_TRACE(server->url("a.bin") + (c.pasv ? " passive, " : " active, ") + std::to_string(c.branches) +
                     (c.extended ? " branches, extended" : " branches"));
        lark::setextendedpassive(c.extended ? 1 : 0);
        void* task = download(server->url("a.bin"), c.branches, c.pasv);
        const std::string log = fetch(task);
        EXPECT_EQ(result(), sum) << log << server->log();
        EXPECT_NE(log.find(c.logged), std::string::npos) << log;
        EXPECT_EQ(lark::deletenode(task), 0u);
    }
}

// A server without EPSV is asked with PASV on the same connection.
TEST_F(Ipv6, RefusedEpsvFallsBackToPasv)
{
    lark::setextendedpassive(1);
    ts::FaultServer ftp(ts::FaultProtocol::Ftp, "plain", files->path());
    const std::string log = fetch(download(ftp.url("a.bin"), 1));
    EXPECT_EQ(result(), sum) << log;
    const size_t epsv = log.find("Send command:epsv\r\n");
    EXPECT_NE(epsv, std::string::npos) << log;
    EXPECT_NE(log.find("Send command:pasv\r\n", epsv), std::string::npos) << log;
}

// A name with an address where nothing listens (refused at once) or where
// nothing answers (a listener whose queue is full) connects through its
// other address, and the branches after the first go straight to that one;
// when none connects, the last address's reason is reported.
TEST_F(Ipv6, EveryAddressIsTriedUntilOneConnects)
{
    ts::NginxServer v4(files->path());
    ts::NginxServer v6(files->path(), {.host = "::1"});
    const int closed = ts::pickFreePort();

    // 127.0.0.1 on v6's port: one connection fills its queue, so the next
    // connect is never answered.
    const int silent = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(v6.port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_TRUE(
        silent >= 0 && filler >= 0 && ::bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::listen(silent, 0) == 0 && ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        << "no silent listener on 127.0.0.1:" << v6.port();

    struct Case {
        int port;
        std::vector<const char*> addresses;
        const char* logged;
        const char* failure; // null: the download succeeds
    } cases[] = {
        {v4.port(), {"::1", "127.0.0.1"}, "failed (Connection refused), trying 127.0.0.1", nullptr},
        {v6.port(), {"127.0.0.1", "::1"}, "failed (no answer within 300 ms), trying [::1]", nullptr},
        {closed, {"::1", "127.0.0.1"}, "trying 127.0.0.1", "could not connect to the server: Connection refused"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("port " + std::to_string(c.port) + ", first " + c.addresses[0]);
        void* task = download("http://localhost:" + std::to_string(c.port) + "/a.bin", c.failure ? 1 : 3);
        lark::AddressList list;
        for (const char* literal : c.addresses) {
            list.emplace_back();
            ASSERT_TRUE(list.back().parse(literal, static_cast<unsigned>(c.port)));
        }
        // As if a lookup of "localhost" had found these.
        static_cast<lark::EngineNode*>(task)->groupaddress->remember("localhost", static_cast<unsigned>(c.port), list);
        const auto started = std::chrono::steady_clock::now();
        const std::string log = fetch(task, true);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 20s);
        EXPECT_NE(log.find(c.logged), std::string::npos) << log;
        std::string reason;
        unsigned kind = 0;
        lark::getfailure(task, reason, kind);
        EXPECT_EQ(reason, c.failure ? c.failure : "") << log;
        if (!c.failure) {
            EXPECT_EQ(result(), sum) << log;
        }
        for (unsigned i = 2; !c.failure && i <= 3; ++i) {
            void* branch = nullptr;
            lark::getdownbranch(task, i, branch);
            EXPECT_EQ(wholelog(branch).find("failed ("), std::string::npos) << wholelog(branch);
        }
        EXPECT_EQ(lark::deletenode(task), 0u);
    }
    ::close(silent);
    ::close(filler);
}

} // namespace
