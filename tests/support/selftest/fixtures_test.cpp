#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <optional>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "loopbackclient.h"
#include "testservers.h"

using namespace testsupport;
using fixturecheck::DataMode;
using fixturecheck::FtpClient;
using fixturecheck::httpExchange;
using fixturecheck::httpGet;

namespace {

// A zombie counts as gone: in a container nobody may reap an orphan.
bool processGone(pid_t pid)
{
    for (int i = 0; i < 200; ++i) {
        if (::kill(pid, 0) != 0 && errno == ESRCH)
            return true;
        std::string stat;
        try {
            stat = readWholeFile("/proc/" + std::to_string(pid) + "/stat");
        } catch (const std::exception&) {
            return true;
        }
        const auto afterName = stat.rfind(')');
        if (afterName != std::string::npos && stat.compare(afterName, 3, ") Z") == 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

template <typename Server, typename... Args>
std::unique_ptr<Server> startTimed(Args&&... args)
{
    const auto started = std::chrono::steady_clock::now();
    auto server = std::make_unique<Server>(std::forward<Args>(args)...);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    std::cout << "start-up " << ::testing::UnitTest::GetInstance()->current_test_info()->name() << ": "
              << took.count() << " ms\n";
    return server;
}

}  // namespace

TEST(Sha256, KnownVectors)
{
    struct Case {
        std::string input;
        const char* digest;
    };
    const Case cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(sha256OfBytes(c.input), c.digest) << "input length " << c.input.size();

    // Fed in uneven pieces, the same digest.
    const std::string bytes = randomBytes(10000, 3);
    Sha256 pieces;
    for (std::size_t at = 0, step = 1; at < bytes.size(); at += step, step = step * 2 % 127 + 1)
        pieces.update(bytes.data() + at, std::min(step, bytes.size() - at));
    EXPECT_EQ(pieces.finishHex(), sha256OfBytes(bytes));
}

TEST(ScratchDir, RandomFilesAreReproducibleAndRemoved)
{
    std::filesystem::path kept;
    {
        ScratchDir dir;
        kept = dir.path();
        const auto file = dir.writeRandomFile("sub/a.bin", (1 << 20) + 13, 42);
        EXPECT_EQ(readWholeFile(file), randomBytes((1 << 20) + 13, 42));
        EXPECT_NE(randomBytes(64, 42), randomBytes(64, 43));
        EXPECT_EQ(sha256OfFile(file), sha256OfBytes(randomBytes((1 << 20) + 13, 42)));
    }
    EXPECT_FALSE(std::filesystem::exists(kept));
}

class ServedFile : public ::testing::Test {
protected:
    ScratchDir files;
    std::string content = randomBytes(3 * 1000 * 1000 + 17, 5);
    std::filesystem::path source = files.writeFile("dir/a.bin", content);
};

TEST_F(ServedFile, NginxServesWholeFilesAndRanges)
{
    auto server = startTimed<NginxServer>(files.path());
    auto whole = httpExchange(server->port(), httpGet(server->port(), "/dir/a.bin"));
    EXPECT_EQ(sha256OfBytes(whole.body), sha256OfFile(source)) << server->log();

    auto ranged = httpExchange(server->port(), httpGet(server->port(), "/dir/a.bin", "Range: bytes=1000-\r\n"));
    EXPECT_NE(ranged.statusLine.find("206"), std::string::npos) << ranged.statusLine;
    EXPECT_TRUE(ranged.body == content.substr(1000));

    NginxServer noRanges(files.path(), {.rateLimit = 0, .ranges = false});
    auto ignored = httpExchange(noRanges.port(), httpGet(noRanges.port(), "/dir/a.bin", "Range: bytes=1000-\r\n"));
    EXPECT_NE(ignored.statusLine.find("200"), std::string::npos) << ignored.statusLine;
    EXPECT_EQ(ignored.body.size(), content.size());
}

TEST_F(ServedFile, PyftpdServesPassiveAndActive)
{
    auto server = startTimed<PyftpdServer>(files.path());
    for (DataMode mode : {DataMode::Passive, DataMode::Active}) {
        FtpClient client(server->port());
        client.login(PyftpdServer::user, PyftpdServer::password);
        EXPECT_EQ(client.command("TYPE I").code, 200);
        EXPECT_EQ(sha256OfBytes(client.retrieve("/dir/a.bin", mode)), sha256OfFile(source)) << server->log();
    }
    FtpClient anonymous(server->port());
    anonymous.login("anonymous", "guest@");
    // pyftpdlib refuses REST in ASCII mode (501).
    EXPECT_EQ(anonymous.command("TYPE I").code, 200);
    EXPECT_EQ(anonymous.command("REST 100").code, 350);
    EXPECT_TRUE(anonymous.retrieve("dir/a.bin", DataMode::Passive) == content.substr(100)) << server->log();
}

TEST_F(ServedFile, VsftpdServesPassiveAndActive)
{
    auto server = startTimed<VsftpdServer>(files.path());
    for (DataMode mode : {DataMode::Passive, DataMode::Active}) {
        FtpClient client(server->port());
        client.login("anonymous", "guest@");
        EXPECT_EQ(client.command("TYPE I").code, 200);
        EXPECT_EQ(sha256OfBytes(client.retrieve("/dir/a.bin", mode)), sha256OfFile(source)) << server->log();
    }
}

TEST_F(ServedFile, FaultHttpScenarios)
{
    struct Case {
        const char* scenarios;
        const char* path;
        const char* fields;
        const char* status;
        const char* headerHas;
        std::optional<std::string> body;
    };
    const std::string tail = content.substr(500);
    const Case cases[] = {
        {"plain", "/dir/a.bin", "Range: bytes=500-\r\n", "206", "Content-Range: bytes 500-3000016/3000017", tail},
        {"plain", "/dir/a.bin", "Range: bytes=3000017-\r\n", "416", "Content-Range: bytes */3000017", ""},
        {"norange", "/dir/a.bin", "Range: bytes=500-\r\n", "200", "Content-Length: 3000017", content},
        {"chunked,split-header=1", "/dir/a.bin", "Range: bytes=500-\r\n", "206", "Transfer-Encoding: chunked",
         std::nullopt},
        {"redirect-relative", "/redirect/dir/a.bin", "", "302", "Location: ../via/dir/a.bin", ""},
        {"redirect-relative", "/redirect/via/dir/a.bin", "", "302", "Location: ../../../dir/a.bin", ""},
        {"content-location", "/redirect/dir/a.bin", "", "302", "Content-Location: /elsewhere/dir/a.bin\r\nLocation: /dir/a.bin", ""},
        {"wrong-range", "/dir/a.bin", "Range: bytes=500-\r\n", "206", "Content-Range: bytes 0-", content},
        {"status=404", "/dir/a.bin", "", "404", "Content-Length:", std::nullopt},
        {"cut", "/dir/a.bin", "", "200", "Content-Length: 3000017", content.substr(0, content.size() / 2)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scenarios);
        FaultServer server(FaultProtocol::Http, c.scenarios, files.path());
        auto response = httpExchange(server.port(), httpGet(server.port(), c.path, c.fields));
        EXPECT_NE(response.statusLine.find(c.status), std::string::npos) << response.statusLine;
        EXPECT_NE(response.header.find(c.headerHas), std::string::npos) << response.header;
        if (c.body) {
            EXPECT_TRUE(response.body == *c.body) << "body of " << response.body.size() << " bytes";
        }
        if (std::string(c.scenarios).starts_with("chunked")) {
            EXPECT_TRUE(fixturecheck::decodeChunked(response.body) == tail);
        }
    }
}

TEST_F(ServedFile, FaultFtpScenarios)
{
    {
        auto server = startTimed<FaultServer>(FaultProtocol::Ftp, "multiline,split-replies,pasv-foreign", files.path());
        FtpClient client(server->port());
        EXPECT_EQ(client.greeting().code, 220);
        client.login("anyone", "anything");
        EXPECT_NE(client.command("CWD dir").text.find("  continuation-without-code\r\n"), std::string::npos);
        for (DataMode mode : {DataMode::Passive, DataMode::Active})
            EXPECT_EQ(sha256OfBytes(client.retrieve("a.bin", mode)), sha256OfFile(source)) << server->log();
        EXPECT_NE(client.lastPasvReply().text.find("(10,255,255,1,"), std::string::npos);
    }
    struct Case {
        const char* scenario;
        const char* command;
        int code;
    };
    const Case refusals[] = {{"refuse-cwd", "CWD dir", 550}, {"refuse-rest", "REST 10", 502}};
    for (const Case& c : refusals) {
        FaultServer server(FaultProtocol::Ftp, c.scenario, files.path());
        FtpClient client(server.port());
        client.login("anyone", "anything");
        EXPECT_EQ(client.command(c.command).code, c.code) << c.scenario;
    }
    FaultServer refusing(FaultProtocol::Ftp, "refuse-login", files.path());
    FtpClient refused(refusing.port());
    EXPECT_EQ(refused.command("USER x").code, 331);
    EXPECT_EQ(refused.command("PASS y").code, 530);
}

TEST(ServerLifetime, NoServerOutlivesItsOwner)
{
    ScratchDir files;
    pid_t direct;
    {
        FaultServer server(FaultProtocol::Http, "hang", files.path());
        direct = server.pid();
    }
    EXPECT_TRUE(processGone(direct));

    // A test process that crashes takes its servers with it.
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t crashing = ::fork();
    ASSERT_GE(crashing, 0);
    if (crashing == 0) {
        ::close(pipeFds[0]);
        FaultServer server(FaultProtocol::Ftp, "plain", files.path());
        const pid_t pid = server.pid();
        const std::string workDir = server.workDir().string();
        if (::write(pipeFds[1], &pid, sizeof pid) != sizeof pid ||
            ::write(pipeFds[1], workDir.data(), workDir.size()) != ssize_t(workDir.size()))
            ::_exit(1);
        std::abort();
    }
    ::close(pipeFds[1]);
    pid_t orphan = -1;
    const bool gotPid = ::read(pipeFds[0], &orphan, sizeof orphan) == sizeof orphan;
    char workDir[4096] = {};
    const ssize_t workDirLength = ::read(pipeFds[0], workDir, sizeof workDir - 1);
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(crashing, &status, 0);
    ASSERT_TRUE(gotPid);
    EXPECT_TRUE(processGone(orphan));
    // The crash skipped the destructors that would have removed it.
    if (workDirLength > 0 && std::string_view(workDir).find("skylark-faultserver-") != std::string_view::npos)
        std::filesystem::remove_all(workDir);
}

TEST(ServerLifetime, StartFailureNamesTheServerAndItsLog)
{
    ScratchDir files;
    try {
        FaultServer server(FaultProtocol::Http, "no-such-scenario", files.path());
        FAIL() << "started with an unknown scenario";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("unknown scenario"), std::string::npos) << error.what();
    }
}
