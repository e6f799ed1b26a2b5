#include "serverprocess.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "scratchdir.h"

namespace testsupport {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto stopGrace = std::chrono::seconds(3);

sockaddr_in loopbackAddress(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool canBind(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const sockaddr_in address = loopbackAddress(port);
    const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

sockaddr_in6 ipv6LoopbackAddress(int port)
{
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_port = htons(std::uint16_t(port));
    address.sin6_addr = in6addr_loopback;
    return address;
}

bool connectsTo(int port, const std::string& host)
{
    const bool v6 = host == "::1";
    const int fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const sockaddr_in address = loopbackAddress(port);
    const sockaddr_in6 address6 = ipv6LoopbackAddress(port);
    const bool connected = v6 ? ::connect(fd, reinterpret_cast<const sockaddr*>(&address6), sizeof address6) == 0
                              : ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

std::string describeStatus(int status)
{
    if (WIFEXITED(status)) return "exited with status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return std::string("killed by signal ") + ::strsignal(WTERMSIG(status));
    return "ended";
}

} // namespace

ServerProcess::ServerProcess(std::string name, const std::vector<std::string>& argv, std::filesystem::path logFile,
                             Stdout stdoutMode)
    : name_(std::move(name)), logFile_(std::move(logFile))
{
    // Everything the child needs is prepared before fork: after it, only
    // async-signal-safe calls are allowed in a threaded parent.
    std::vector<char*> childArgv;
    for (const std::string& arg : argv) childArgv.push_back(const_cast<char*>(arg.c_str()));
    childArgv.push_back(nullptr);

    const int logFd = ::open(logFile_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (logFd < 0)
        throw std::runtime_error(name_ + ": cannot open log " + logFile_.string() + ": " + std::strerror(errno));
    const int nullFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    int pipeFds[2] = {-1, -1};
    if (nullFd < 0 || (stdoutMode == Stdout::PortLine && ::pipe2(pipeFds, O_CLOEXEC) != 0)) {
        const int error = errno;
        ::close(logFd);
        if (nullFd >= 0) ::close(nullFd);
        throw std::runtime_error(name_ + ": cannot set up the child's files: " + std::strerror(error));
    }
    const int childStdout = stdoutMode == Stdout::PortLine ? pipeFds[1] : logFd;
    const pid_t parent = ::getpid();

    pid_ = ::fork();
    if (pid_ == 0) {
        if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent) ::_exit(126);
        ::setpgid(0, 0);
        if (::dup2(nullFd, 0) < 0 || ::dup2(childStdout, 1) < 0 || ::dup2(logFd, 2) < 0) ::_exit(126);
        ::close_range(3, ~0U, 0);
        // Ignored signals survive exec; the servers expect the defaults.
        ::signal(SIGPIPE, SIG_DFL);
        ::signal(SIGTERM, SIG_DFL);
        sigset_t all;
        ::sigemptyset(&all);
        ::sigprocmask(SIG_SETMASK, &all, nullptr);
        ::execv(childArgv[0], childArgv.data());
        static constexpr char message[] = "exec failed\n";
        [[maybe_unused]] ssize_t ignored = ::write(2, message, sizeof message - 1);
        ::_exit(127);
    }
    const int forkError = errno;
    ::close(logFd);
    ::close(nullFd);
    if (pipeFds[1] >= 0) ::close(pipeFds[1]);
    stdoutPipe_ = pipeFds[0];
    if (pid_ < 0) {
        if (stdoutPipe_ >= 0) ::close(stdoutPipe_);
        throw std::runtime_error(name_ + ": fork failed: " + std::strerror(forkError));
    }
    // Also set here so the group exists before anyone signals it; EACCES
    // means the child has already exec'd after doing it itself.
    ::setpgid(pid_, pid_);
}

ServerProcess::~ServerProcess()
{
    stop();
    if (stdoutPipe_ >= 0) ::close(stdoutPipe_);
}

bool ServerProcess::exited()
{
    if (reaped_) return true;
    int status = 0;
    const pid_t result = ::waitpid(pid_, &status, WNOHANG);
    if (result == pid_) {
        reaped_ = true;
        exitStatus_ = status;
    }
    return reaped_;
}

void ServerProcess::stop()
{
    if (pid_ <= 0) return;
    if (!exited()) {
        ::kill(-pid_, SIGTERM);
        const auto deadline = Clock::now() + stopGrace;
        while (!exited() && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!exited()) {
            ::kill(-pid_, SIGKILL);
            int status = 0;
            while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
            }
            reaped_ = true;
            exitStatus_ = status;
        }
    }
    // Session helpers may outlive the leader; the group id stays reserved
    // while any of them lives, so this cannot hit a stranger.
    ::kill(-pid_, SIGKILL);
    pid_ = -1;
}

int ServerProcess::readPortLine(std::chrono::milliseconds timeout)
{
    if (stdoutPipe_ < 0) throw failure("no port line to read");
    const auto deadline = Clock::now() + timeout;
    std::string line;
    while (line.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) throw failure("did not print its port within " + std::to_string(timeout.count()) + " ms");
        pollfd entry{stdoutPipe_, POLLIN, 0};
        const int ready = ::poll(&entry, 1, int(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) throw failure(std::string("poll failed: ") + std::strerror(errno));
        if (ready == 0) continue;
        char buffer[64];
        const ssize_t got = ::read(stdoutPipe_, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            exited();
            throw failure("ended before printing its port" +
                          (reaped_ ? " (" + describeStatus(exitStatus_) + ")" : std::string()));
        }
        line.append(buffer, std::size_t(got));
    }
    ::close(stdoutPipe_);
    stdoutPipe_ = -1;
    try {
        const int port = std::stoi(line);
        if (port > 0 && port < 65536) return port;
    } catch (const std::exception&) {
    }
    throw failure("printed no port but \"" + line.substr(0, line.find('\n')) + "\"");
}

void ServerProcess::waitUntilAccepting(int port, std::chrono::milliseconds timeout, const std::string& host)
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (exited()) throw failure("ended while starting (" + describeStatus(exitStatus_) + ")");
        if (connectsTo(port, host)) return;
        if (Clock::now() >= deadline)
            throw failure("did not accept connections on port " + std::to_string(port) + " within " +
                          std::to_string(timeout.count()) + " ms");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::string ServerProcess::log() const
{
    try {
        return readWholeFile(logFile_);
    } catch (const std::exception& error) {
        return error.what();
    }
}

std::runtime_error ServerProcess::failure(const std::string& what) const
{
    return std::runtime_error(name_ + ": " + what + "\n--- " + logFile_.string() + " ---\n" + log());
}

bool hasIpv6Loopback()
{
    const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const sockaddr_in6 address = ipv6LoopbackAddress(0);
    const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

int pickFreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
    sockaddr_in address = loopbackAddress(0);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const int error = errno;
        ::close(fd);
        throw std::runtime_error(std::string("cannot find a free port: ") + std::strerror(error));
    }
    ::close(fd);
    return ntohs(address.sin_port);
}

std::pair<int, int> pickFreePortRange(int count)
{
    // Below the usual ephemeral range (32768 and up).
    constexpr int lowest = 20000;
    constexpr int highest = 32000;
    std::mt19937 generator(std::random_device{}());
    std::uniform_int_distribution<int> firstPort(lowest, highest - count);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int first = firstPort(generator);
        bool allFree = true;
        for (int port = first; port < first + count && allFree; ++port) allFree = canBind(port);
        if (allFree) return {first, first + count - 1};
    }
    throw std::runtime_error("cannot find " + std::to_string(count) + " free consecutive ports");
}

} // namespace testsupport
