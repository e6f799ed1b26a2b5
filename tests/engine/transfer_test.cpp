// The engine against real servers on loopback, nginx, pyftpdlib and vsftpd,
// doing what they are asked: whole files, queued requests, many nodes at
// once, a name whose addresses do not all answer. Every download is checked
// byte for byte against its source.
#include <gtest/gtest.h>

#include <future>

#include "enginedriver.h"
#include "enginenode.h"
#include "resolver.h"

namespace {

using namespace enginetest;
using namespace std::chrono_literals;

using Transfers = EngineServed;

// Every kind of real server over both address families, every FTP data
// mode and both kinds of FTP over TLS, certificates checked against the
// test CA (vsftpd refuses a data connection that did not resume its control
// connection's session). PASV and PORT cannot name an IPv6 address: EPSV
// and EPRT are used on IPv6 always, and on IPv4 when the setting asks for
// them; a server without EPSV is then asked with PASV. (Plain PASV on
// pyftpdlib and vsftpd, HTTPS and every kind of bad certificate: the CLI's
// tests.)
TEST_F(Transfers, WholeFilesFromEveryServerKind)
{
    const ts::TestCertificates certificates;
    const std::string cert = certificates.certificateFile(ts::TestCertificates::Valid).string();
    const std::string key = certificates.keyFile().string();
    ASSERT_EQ(lark::settlsoptions(certificates.caFile().string(), 1), 0u);
    enum Kind { Nginx, Pyftpd, Vsftpd, NoEpsv, Explicit, Implicit };
    const auto start = [&](Kind kind, const std::string& host) -> std::unique_ptr<ts::LoopbackServer> {
        switch (kind) {
        case Nginx: return std::make_unique<ts::NginxServer>(files->path(), ts::NginxOptions{.host = host});
        case Pyftpd: return std::make_unique<ts::PyftpdServer>(files->path(), host);
        case NoEpsv: return std::make_unique<ts::FaultServer>(ts::FaultProtocol::Ftp, "plain", files->path());
        case Vsftpd: return std::make_unique<ts::VsftpdServer>(files->path(), host);
        default: break;
        }
        const auto mode = kind == Explicit ? ts::VsftpdTls::Explicit : ts::VsftpdTls::Implicit;
        return std::make_unique<ts::VsftpdServer>(files->path(), host, ts::VsftpdTls{mode, cert, key});
    };
    const std::string v4 = "127.0.0.1", v6 = "::1";
    const struct {
        Kind server;
        std::string host;
        unsigned branches;
        bool pasv;
        bool extended;
        const char* logged;
    } cases[] = {
        {Nginx, v4, 8, true, false, "Host: 127.0.0.1:"},
        {Pyftpd, v4, 3, false, true, "Send command:eprt |1|127.0.0.1|"},
        {Vsftpd, v4, 2, false, false, "Send command:port 127,0,0,1,"},
        {Vsftpd, v4, 8, true, true, "Send command:epsv\r\n"},
        {NoEpsv, v4, 1, true, true, "Send command:pasv\r\n"},
        {Pyftpd, v6, 2, false, false, "Send command:eprt |2|::1|"},
        {Vsftpd, v6, 3, true, false, "Send command:epsv\r\n"},
        {Explicit, v4, 1, true, false, "TLS connected"},
        {Implicit, v4, 4, false, false, "TLS connected"},
    };
    for (const auto& c : cases) {
        if (c.host == v6 && !ts::hasIpv6Loopback()) continue;
        auto server = start(c.server, c.host);
        SCOPED_TRACE(server->url("a.bin") + (c.pasv ? " passive, " : " active, ") + std::to_string(c.branches) +
                     (c.extended ? " branches, extended" : " branches"));
        lark::setextendedpassive(c.extended ? 1 : 0);
        void* task = download(server->url("a.bin"), c.branches, c.pasv);
        const std::string log = fetch(task);
        EXPECT_EQ(result(), bigsum) << log << server->log();
        EXPECT_NE(log.find(c.logged), std::string::npos) << log;
        EXPECT_EQ(lark::deletenode(task), 0u);
    }
    // Without the test CA a TLS server is refused, for good.
    ASSERT_EQ(lark::settlsoptions("", 1), 0u);
    const auto server = start(Explicit, v4);
    void* task = download(server->url("a.bin"), 1);
    fetch(task);
    unsigned kind = 0;
    const std::string reason = failure(task, kind);
    EXPECT_EQ(kind, lark::FailureFinal) << reason;
    EXPECT_NE(reason.find("not trusted"), std::string::npos) << reason;
    EXPECT_EQ(lark::settlsoptions("/nonexistent.pem", 1), 3u);
}

// Requests on a site connection go one at a time, and each is answered by
// one message whose result (and a listing's data connection) waits until
// the program takes it out.
TEST_F(Transfers, QueuedRequestsPostExactlyOnce)
{
    ts::VsftpdServer ftp(files->path());
    void* node = nullptr;
    lark::addnode(node, ftp.url("dir/"), 1, 0, "", "", dir(), false, true, false, false);
    EXPECT_EQ(lark::fetchftpcontent(node, "pwd", nullptr, 1, 0, 0, 1), 3u) << "not connected";
    lark::connect(node, 1);
    EXPECT_EQ(lark::fetchftpcontent(node, "pwd", nullptr, 1, 0, 0, 1), 4u) << "still logging in";
    ASSERT_EQ(fetchwhenready(node, "cwd /dir"), 0u) << wholelog(node);
    ASSERT_TRUE(waitposted(node)) << wholelog(node);
    EXPECT_EQ(lark::fetchftpcontent(node, "pwd", nullptr, 1, 0, 0, 1), 4u) << "result not taken yet";
    EXPECT_EQ(takeout(node).substr(0, 4), "250 ");
    clearposted();
    ASSERT_EQ(fetchwhenready(node, "list"), 0u) << wholelog(node);
    EXPECT_EQ(lark::fetchftpcontent(node, "pwd", nullptr, 0x65, 0, 0, 1), 4u) << "one request at a time";
    ASSERT_TRUE(waitposted(node)) << wholelog(node);
    std::this_thread::sleep_for(300ms);
    auto posted = postedfor(node);
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].msg, 0x65u);
    EXPECT_EQ(posted[0].lparam, 7);
    EXPECT_EQ(wholelog(node).find("Data closed"), std::string::npos) << "the listing waits for the program";
    EXPECT_NE(takeout(node).find("two.txt"), std::string::npos);
    EXPECT_TRUE(waituntil([&] { return wholelog(node).find("Data closed\r\n") != std::string::npos; }));
    EXPECT_NE(wholelog(node).find("Send command:pass ******\r\n"), std::string::npos);
}

// Many groups connecting, closing and being deleted at once, from one
// program thread, while both workers run: a ThreadSanitizer target. Not
// one descriptor outlives them. A group with transfers under way is never
// deleted, and the engine still quits promptly.
TEST_F(Transfers, ManyNodesConnectAndDeleteAtOnce)
{
    ts::NginxServer http(files->path(), ts::NginxOptions{.rateLimit = 200000});
    const size_t before = openfilecount();
    std::vector<void*> tasks;
    for (int round = 0; round < 6; ++round) {
        for (int i = 0; i < 8; ++i) {
            void* task = download(http.url("a.bin"), 3);
            startdownload(task, bigsize);
            tasks.push_back(task);
        }
        for (size_t i = 0; i < tasks.size(); i += 2) lark::disconnect(tasks[i], 0);
        std::erase_if(tasks, [](void* task) { return lark::deletenode(task) == 0; });
    }
    for (void* task : tasks) lark::disconnect(task, 0);
    for (void* task : tasks) {
        ASSERT_TRUE(waitinactive(task, 10s)) << wholelog(task);
        EXPECT_EQ(lark::deletenode(task), 0u);
    }
    EXPECT_EQ(openfilecount(), before);

    void* task = download(http.url("a.bin"), 4);
    startdownload(task, bigsize);
    ASSERT_TRUE(waituntil([&] { return writeoffset(task) > 0; })) << wholelog(task);
    EXPECT_EQ(lark::deletenode(task), 2u);
    auto quit = std::async(std::launch::async, [] { return lark::releasedllres(); });
    ASSERT_EQ(quit.wait_for(6s), std::future_status::ready) << "the engine quits promptly";
    EXPECT_EQ(quit.get(), 0u);
    EXPECT_EQ(lark::startengine(), 0u);
}

// A name with an address where nothing listens (refused at once) or where
// nothing answers (a listener whose queue is full) connects through its
// other address, and the branches after the first go straight to that one;
// when none connects, the last address's reason is reported.
TEST_F(Transfers, EveryAddressIsTriedUntilOneConnects)
{
    if (!ts::hasIpv6Loopback()) GTEST_SKIP() << "this machine has no IPv6 loopback (::1)";
    ts::NginxServer v4(files->path());
    ts::NginxServer v6(files->path(), {.host = "::1"});
    const HeldPort unanswered(HeldPort::Unanswered, static_cast<unsigned>(v6.port()));
    const HeldPort refused(HeldPort::Refusing);
    const HeldPort refused6(HeldPort::Refusing, refused.port, true);
    struct Case {
        unsigned port;
        std::vector<const char*> addresses;
        const char* logged;
        const char* failure; // null: the download succeeds
    } cases[] = {
        {unsigned(v4.port()), {"::1", "127.0.0.1"}, "failed (Connection refused), trying 127.0.0.1", nullptr},
        {unsigned(v6.port()), {"127.0.0.1", "::1"}, "failed (no answer within 300 ms), trying [::1]", nullptr},
        {refused.port, {"::1", "127.0.0.1"}, "trying 127.0.0.1", "could not connect to the server: Connection refused"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("port " + std::to_string(c.port) + ", first " + c.addresses[0]);
        void* task = download("http://localhost:" + std::to_string(c.port) + "/a.bin", c.failure ? 1 : 3);
        lark::AddressList list;
        for (const char* literal : c.addresses) {
            list.emplace_back();
            ASSERT_TRUE(list.back().parse(literal, c.port));
        }
        // As if a lookup of "localhost" had found these.
        static_cast<lark::EngineNode*>(task)->groupaddress->remember("localhost", c.port, list);
        const std::string log = fetch(task, true);
        EXPECT_NE(log.find(c.logged), std::string::npos) << log;
        unsigned kind = 0;
        EXPECT_EQ(failure(task, kind), c.failure ? c.failure : "") << log;
        if (c.failure) continue;
        EXPECT_EQ(result(), bigsum) << log;
        for (unsigned i = 2; i <= 3; ++i)
            EXPECT_EQ(wholelog(branchof(task, i)).find("failed ("), std::string::npos) << wholelog(branchof(task, i));
    }
}

} // namespace
