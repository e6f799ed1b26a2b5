#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <optional>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "testservers.h"

using namespace testsupport;

namespace {

// A zombie counts as gone: in a container nobody may reap an orphan.
bool processGone(pid_t pid)
{
    for (int i = 0; i < 200; ++i) {
        if (::kill(pid, 0) != 0 && errno == ESRCH) return true;
        std::string stat;
        try {
            stat = readWholeFile("/proc/" + std::to_string(pid) + "/stat");
        } catch (const std::exception&) {
            return true;
        }
        const auto afterName = stat.rfind(')');
        if (afterName != std::string::npos && stat.compare(afterName, 3, ") Z") == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

} // namespace

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
    for (const Case& c : cases) EXPECT_EQ(sha256OfBytes(c.input), c.digest) << "input length " << c.input.size();

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
