// The engine where IPv6 and IPv4 meet: extended passive mode, and a name
// whose addresses do not all answer. (Downloads over ::1 from every real
// server: the matrix in transfer_test.cpp.)
#include <gtest/gtest.h>

#include "enginedriver.h"
#include "enginenode.h"
#include "resolver.h"

namespace {

using namespace enginetest;
using namespace std::chrono_literals;

class Ipv6 : public EngineServed {
protected:
    void SetUp() override
    {
        if (!ts::hasIpv6Loopback()) GTEST_SKIP() << "this machine has no IPv6 loopback (::1)";
        EngineServed::SetUp();
    }
};

// A server without EPSV is asked with PASV on the same connection.
TEST_F(Ipv6, RefusedEpsvFallsBackToPasv)
{
    lark::setextendedpassive(1);
    ts::FaultServer ftp(ts::FaultProtocol::Ftp, "plain", files->path());
    const std::string log = fetch(download(ftp.url("a.bin"), 1));
    EXPECT_EQ(result(), bigsum) << log;
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
        const auto started = std::chrono::steady_clock::now();
        const std::string log = fetch(task, true);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 20s);
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
