#pragma once

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace testsupport {

// One server child process. It runs in its own process group so that its
// helpers (vsftpd's session processes) go with it, and it is killed by the
// kernel if the thread that started it dies (PR_SET_PDEATHSIG): start servers
// from the test's own thread, not from a short-lived helper thread.
class ServerProcess {
public:
    enum class Stdout { ToLog, PortLine };

    // argv[0] is an absolute path. Standard error, and standard output unless
    // it carries the port line, are appended to `logFile`.
    ServerProcess(std::string name, const std::vector<std::string>& argv, std::filesystem::path logFile,
                  Stdout stdoutMode = Stdout::ToLog);
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    pid_t pid() const { return pid_; }
    // True once the process has ended (it is reaped then).
    bool exited();
    // SIGTERM to the group, a bounded wait, then SIGKILL; always reaps.
    void stop();

    // Reads the decimal port the server prints as its first line.
    int readPortLine(std::chrono::milliseconds timeout);
    // Polls until host:port accepts a connection (host 127.0.0.1 or ::1).
    void waitUntilAccepting(int port, std::chrono::milliseconds timeout, const std::string& host = "127.0.0.1");

    std::string log() const;
    // An exception naming the server, what went wrong and the log so far.
    [[nodiscard]] std::runtime_error failure(const std::string& what) const;

private:
    std::string name_;
    std::filesystem::path logFile_;
    pid_t pid_ = -1;
    bool reaped_ = false;
    int exitStatus_ = 0;
    int stdoutPipe_ = -1;
};

// True when this machine has an IPv6 loopback (::1 can be bound).
bool hasIpv6Loopback();

// A port on 127.0.0.1 that was free a moment ago (bound to port 0 and closed).
int pickFreePort();
// `count` consecutive ports that were all free a moment ago, away from the
// kernel's ephemeral range so that client sockets do not take them meanwhile.
std::pair<int, int> pickFreePortRange(int count);

} // namespace testsupport
