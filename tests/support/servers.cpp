// Server child processes and the servers the tests run in them.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fstream>
#include <random>
#include <stdexcept>
#include <thread>

#include "testservers.h"

namespace testsupport {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::seconds startTimeout{10};

// A socket on 127.0.0.1 (or ::1) bound to `port`, or connected to it; -1
// when that fails.
int loopbackSocket(int port, bool ipv6, bool connect = false)
{
    const int fd = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in in{AF_INET, htons(std::uint16_t(port)), {htonl(INADDR_LOOPBACK)}, {}};
    sockaddr_in6 in6{AF_INET6, htons(std::uint16_t(port)), 0, in6addr_loopback, 0};
    auto* address = ipv6 ? reinterpret_cast<sockaddr*>(&in6) : reinterpret_cast<sockaddr*>(&in);
    const socklen_t length = ipv6 ? sizeof in6 : sizeof in;
    const bool ok = fd >= 0 && (connect ? ::connect(fd, address, length) : ::bind(fd, address, length)) == 0;
    if (!ok && fd >= 0) ::close(fd);
    return ok ? fd : -1;
}

// True when a socket on `port` can be bound (or, with `connect`, connected).
bool loopbackWorks(int port, bool ipv6, bool connect = false)
{
    const int fd = loopbackSocket(port, ipv6, connect);
    if (fd >= 0) ::close(fd);
    return fd >= 0;
}

// A port on 127.0.0.1 that was free a moment ago, from the kernel's
// ephemeral range.
int pickFreePort()
{
    const int fd = loopbackSocket(0, false);
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (fd < 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error(std::string("cannot find a free port: ") + std::strerror(errno));
    ::close(fd);
    return ntohs(address.sin_port);
}

// `count` consecutive ports that were all free a moment ago, below the
// kernel's ephemeral range (32768 and up) so client sockets do not take them.
std::pair<int, int> pickFreePortRange(int count)
{
    std::mt19937 generator(std::random_device{}());
    std::uniform_int_distribution<int> firstPort(20000, 32000 - count);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int first = firstPort(generator);
        bool allFree = true;
        for (int port = first; port < first + count && allFree; ++port) allFree = loopbackWorks(port, false);
        if (allFree) return {first, first + count - 1};
    }
    throw std::runtime_error("cannot find " + std::to_string(count) + " free consecutive ports");
}

std::string describeStatus(int status)
{
    if (WIFEXITED(status)) return "exited with status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return std::string("killed by signal ") + ::strsignal(WTERMSIG(status));
    return "ended";
}

std::string logText(const std::filesystem::path& file)
{
    try {
        return readWholeFile(file);
    } catch (const std::exception& error) {
        return error.what();
    }
}

// Replaces every "@NAME@" in `text`.
std::string fill(std::string text, const std::vector<std::pair<std::string, std::string>>& values)
{
    for (const auto& [name, value] : values)
        for (size_t at = 0; (at = text.find("@" + name + "@", at)) != std::string::npos; at += value.size())
            text.replace(at, name.size() + 2, value);
    return text;
}

} // namespace

// One server child. It runs in its own process group so that its helpers
// (vsftpd's session processes) go with it, and the kernel kills it if the
// thread that started it dies (PR_SET_PDEATHSIG).
class ServerProcess {
public:
    // argv[0] is an absolute path. Standard error, and standard output
    // unless it carries the port line, go to `logFile`.
    ServerProcess(std::string name, const std::vector<std::string>& argv, std::filesystem::path logFile, bool portLine);
    ~ServerProcess()
    {
        stop();
        if (pipe_ >= 0) ::close(pipe_);
    }

    // True once the process has ended (it is reaped then).
    bool exited()
    {
        int status = 0;
        if (!reaped_ && ::waitpid(pid_, &status, WNOHANG) == pid_) {
            reaped_ = true;
            exitStatus_ = status;
        }
        return reaped_;
    }
    void stop();
    int readPortLine();
    void waitUntilAccepting(int port, const std::string& host);
    std::string log() const { return logText(logFile_); }
    std::runtime_error failure(const std::string& what) const
    {
        return std::runtime_error(name_ + ": " + what + "\n--- " + logFile_.string() + " ---\n" + log());
    }

private:
    std::string name_;
    std::filesystem::path logFile_;
    pid_t pid_ = -1;
    bool reaped_ = false;
    int exitStatus_ = 0;
    int pipe_ = -1;
};

ServerProcess::ServerProcess(std::string name, const std::vector<std::string>& argv, std::filesystem::path logFile,
                             bool portLine)
    : name_(std::move(name)), logFile_(std::move(logFile))
{
    // Everything the child needs is made before fork: after it, only
    // async-signal-safe calls are allowed in a threaded parent.
    std::vector<char*> childArgv;
    for (const std::string& arg : argv) childArgv.push_back(const_cast<char*>(arg.c_str()));
    childArgv.push_back(nullptr);
    const int logFd = ::open(logFile_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    const int nullFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    int pipeFds[2] = {-1, -1};
    if (logFd < 0 || nullFd < 0 || (portLine && ::pipe2(pipeFds, O_CLOEXEC) != 0)) {
        const int error = errno;
        for (int fd : {logFd, nullFd})
            if (fd >= 0) ::close(fd);
        throw std::runtime_error(name_ + ": cannot set up the child's files: " + std::strerror(error));
    }
    const int childStdout = portLine ? pipeFds[1] : logFd;
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
    for (int fd : {logFd, nullFd, pipeFds[1]})
        if (fd >= 0) ::close(fd);
    pipe_ = pipeFds[0];
    if (pid_ < 0) throw std::runtime_error(name_ + ": fork failed: " + std::strerror(forkError));
    // Also set here so the group exists before anyone signals it; EACCES
    // means the child has already exec'd after doing it itself.
    ::setpgid(pid_, pid_);
}

void ServerProcess::stop()
{
    if (pid_ <= 0) return;
    if (!exited()) {
        ::kill(-pid_, SIGTERM);
        const auto deadline = Clock::now() + std::chrono::seconds(3);
        while (!exited() && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!exited()) {
            ::kill(-pid_, SIGKILL);
            while (::waitpid(pid_, &exitStatus_, 0) < 0 && errno == EINTR) {
            }
            reaped_ = true;
        }
    }
    // Session helpers may outlive the leader; the group id stays reserved
    // while any of them lives, so this cannot hit a stranger.
    ::kill(-pid_, SIGKILL);
    pid_ = -1;
}

int ServerProcess::readPortLine()
{
    const auto deadline = Clock::now() + startTimeout;
    std::string line;
    while (line.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) throw failure("did not print its port in time");
        pollfd entry{pipe_, POLLIN, 0};
        if (::poll(&entry, 1, int(left)) <= 0) continue; // EINTR or time up: the deadline decides
        char buffer[64];
        const ssize_t got = ::read(pipe_, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0)
            throw failure("ended before printing its port" +
                          (exited() ? " (" + describeStatus(exitStatus_) + ")" : ""));
        line.append(buffer, std::size_t(got));
    }
    ::close(pipe_);
    pipe_ = -1;
    try {
        const int port = std::stoi(line);
        if (port > 0 && port < 65536) return port;
    } catch (const std::exception&) {
    }
    throw failure("printed no port but \"" + line.substr(0, line.find('\n')) + "\"");
}

void ServerProcess::waitUntilAccepting(int port, const std::string& host)
{
    const auto deadline = Clock::now() + startTimeout;
    while (!loopbackWorks(port, host == "::1", true)) {
        if (exited()) throw failure("ended while starting (" + describeStatus(exitStatus_) + ")");
        if (Clock::now() >= deadline) throw failure("did not accept connections on port " + std::to_string(port));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool hasIpv6Loopback()
{
    return loopbackWorks(0, true);
}

LoopbackServer::LoopbackServer(std::string scheme, const std::filesystem::path& root, std::string_view workPrefix,
                               std::string host)
    : workDir_(workPrefix), root_(std::filesystem::absolute(root)), host_(std::move(host)), scheme_(std::move(scheme))
{
    if (!std::filesystem::is_directory(root_))
        throw std::runtime_error(scheme_ + " server: document root " + root_.string() + " is not a directory");
}

LoopbackServer::~LoopbackServer() = default;

std::string LoopbackServer::url(std::string_view path) const
{
    const std::string host = host_.find(':') == std::string::npos ? host_ : "[" + host_ + "]";
    return scheme_ + "://" + host + ":" + std::to_string(port_) + (path.starts_with('/') ? "" : "/") +
           std::string(path);
}

std::string LoopbackServer::log() const
{
    std::string text = process_ ? process_->log() : std::string();
    for (const std::filesystem::path& file : extraLogs_) text += "\n--- " + file.string() + " ---\n" + logText(file);
    return text;
}

void LoopbackServer::start(const std::string& name, const std::vector<std::string>& argv,
                           const std::function<void(int port)>& configure)
{
    for (int attempt = 1;; ++attempt) {
        if (configure) configure(port_ = pickFreePort());
        process_ = std::make_unique<ServerProcess>(name, argv, workDir_ / "stderr.log", !configure);
        try {
            if (!configure) port_ = process_->readPortLine();
            process_->waitUntilAccepting(port_, host_);
            return;
        } catch (const std::runtime_error& error) {
            if (!configure || attempt == 3 || !process_->exited()) throw std::runtime_error(error.what() + log());
        }
    }
}

// master_process off keeps nginx to one process, so the fixture's PID is the
// whole server and the kernel's parent-death signal reaches all of it.
NginxServer::NginxServer(const std::filesystem::path& root, NginxOptions options, NginxTls tls)
    : LoopbackServer(tls.certificate.empty() ? "http" : "https", root, "skylark-nginx", options.host)
{
    const std::string config = (workDir_ / "nginx.conf").string();
    extraLogs_ = {workDir_ / "error.log", workDir_ / "access.log"};
    std::string extra;
    if (options.rateLimit > 0) extra += "    limit_rate " + std::to_string(options.rateLimit) + ";\n";
    if (!tls.certificate.empty())
        extra += "    ssl_certificate " + tls.certificate + ";\n    ssl_certificate_key " + tls.key + ";\n";
    for (const auto& [from, to] : tls.redirects) extra += "    location = " + from + " { return 301 " + to + "; }\n";
    start("nginx", {"/usr/sbin/nginx", "-p", workDir().string(), "-e", (workDir_ / "error.log").string(), "-c", config},
          [&](int port) {
              std::ofstream(config) << fill(readWholeFile(SKYLARK_TEST_SUPPORT_DIR "/nginx.conf.in"),
                                            {{"W", workDir().string()},
                                             {"HOST", host_ == "::1" ? "[::1]" : host_},
                                             {"PORT", std::to_string(port)},
                                             {"SSL", tls.certificate.empty() ? "" : " ssl"},
                                             {"ROOT", root_.string()},
                                             {"EXTRA", extra}});
          });
}

std::string NginxServer::accessLog() const
{
    return readWholeFile(workDir_ / "access.log");
}

PyftpdServer::PyftpdServer(const std::filesystem::path& root, const std::string& host)
    : LoopbackServer("ftp", root, "skylark-pyftpd", host)
{
    const auto [low, high] = pickFreePortRange(50);
    start("pyftpdlib", {"/usr/bin/python3", "-u", SKYLARK_TEST_SUPPORT_DIR "/pyftpdlauncher.py", "--root",
                        root_.string(), "--host", host, "--passive", std::to_string(low) + "-" + std::to_string(high)});
}

VsftpdServer::VsftpdServer(const std::filesystem::path& root, const std::string& host, VsftpdTls tls)
    : LoopbackServer(tls.mode == VsftpdTls::None       ? "ftp"
                     : tls.mode == VsftpdTls::Explicit ? "ftpes"
                                                       : "ftps",
                     root, "skylark-vsftpd", host)
{
    // vsftpd chroots each anonymous session into anon_root and then runs as
    // the "ftp" user. It answers every login with "500 OOPS: vsftpd: refusing
    // to run with writable root inside chroot()" when that user may write to
    // the root (mode 0777, say), and a root private to its owner (mkdtemp's
    // 0700) makes every file "not found". Root-owned 0755 works.
    if (::chmod(root_.c_str(), 0755) != 0)
        throw std::runtime_error("vsftpd: cannot make " + root_.string() + " mode 0755: " + std::strerror(errno));
    std::filesystem::create_directories(workDir_ / "empty");
    const std::string config = (workDir_ / "vsftpd.conf").string();
    extraLogs_ = {workDir_ / "vsftpd.log"};
    // vsftpd listens on one family: listen_ipv6 and listen exclude each other.
    std::string extra = host_ == "::1" ? "listen=NO\nlisten_ipv6=YES\nlisten_address6=::1\n"
                                       : "listen=YES\nlisten_ipv6=NO\nlisten_address=" + host_ + "\n";
    // Data connections must resume the control connection's session
    // (require_ssl_reuse, on by default); the default cipher list names only
    // one OpenSSL 3 no longer offers.
    if (tls.mode != VsftpdTls::None)
        extra += "ssl_enable=YES\nallow_anon_ssl=YES\nforce_anon_logins_ssl=YES\nforce_anon_data_ssl=YES\n"
                 "ssl_ciphers=HIGH\nssl_request_cert=NO\ndebug_ssl=YES\nrsa_cert_file=" +
                 tls.certificate + "\nrsa_private_key_file=" + tls.key + "\n";
    if (tls.mode == VsftpdTls::Implicit) extra += "implicit_ssl=YES\n";
    start("vsftpd", {"/usr/sbin/vsftpd", config}, [&](int port) {
        const auto [low, high] = pickFreePortRange(20);
        std::ofstream(config) << fill(readWholeFile(SKYLARK_TEST_SUPPORT_DIR "/vsftpd.conf.in") + extra,
                                      {{"PORT", std::to_string(port)},
                                       {"ROOT", root_.string()},
                                       {"LOW", std::to_string(low)},
                                       {"HIGH", std::to_string(high)},
                                       {"W", workDir().string()}});
    });
}

FaultServer::FaultServer(FaultProtocol protocol, const std::string& scenarios, const std::filesystem::path& root)
    : LoopbackServer(protocol == FaultProtocol::Http ? "http" : "ftp", root, "skylark-faultserver")
{
    start("faultserver " + scenarios, {"/usr/bin/python3", "-B", "-u", SKYLARK_TEST_SUPPORT_DIR "/faultserver.py",
                                       protocol == FaultProtocol::Http ? "http" : "ftp", scenarios, root_.string()});
}

} // namespace testsupport
