// Helpers for integration tests: scratch directories, checksums, child
// programs, test certificates and real servers on loopback. Each server
// starts on a free port of 127.0.0.1 (or ::1), is ready when its constructor
// returns (or throws std::runtime_error with the server's log), and is
// stopped with all its processes by its destructor. Start servers from the
// test's own thread: they die with the thread that started them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace testsupport {

// A fresh world-readable directory under $TMPDIR (or /tmp), removed with
// everything in it when the object goes. Writes throw std::runtime_error.
class ScratchDir {
public:
    explicit ScratchDir(std::string_view prefix = "skylark-test");
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& relative) const { return path_ / relative; }

    // `size` bytes, the same for the same seed, at `relative` (parents
    // created); returns the full path.
    std::filesystem::path writeRandomFile(const std::filesystem::path& relative, std::int64_t size,
                                          std::uint64_t seed) const;
    std::filesystem::path writeFile(const std::filesystem::path& relative, std::string_view content) const;

private:
    std::filesystem::path path_;
};

// The bytes writeRandomFile would write.
std::string randomBytes(std::size_t size, std::uint64_t seed);
std::string readWholeFile(const std::filesystem::path& path);
// Lowercase hex; throws std::runtime_error when the file cannot be read.
std::string sha256OfFile(const std::filesystem::path& path);

// What a finished child left: its exit status (128 + signal when killed),
// stdout and stderr together, and its peak resident size.
struct ProgramRun {
    int status = -1;
    std::string output;
    long peakkib = 0;
};

struct ProgramOptions {
    // Set as SKYLARK_HOME in the child, so it never touches the user's files.
    std::string home;
    // > 0: SIGTERM after this many milliseconds; `killsignal` picks another.
    int killafterms = 0;
    int killsignal = 15;
};

// Runs `program` (an absolute path) with `args` and waits for it.
ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args,
                      const ProgramOptions& options = {});

// A test CA and server certificates, sharing one key, made with the openssl
// command (throws std::runtime_error with its output on failure).
class TestCertificates {
public:
    enum Kind {
        Valid,      // from the CA, for 127.0.0.1, ::1 and localhost
        Expired,    // from the CA, the same names, ended in 2020
        WrongHost,  // from the CA, for other.example only
        SelfSigned, // for 127.0.0.1, signed by its own key
    };

    TestCertificates();

    std::filesystem::path caFile() const { return dir_ / "ca.pem"; }
    std::filesystem::path keyFile() const { return dir_ / "server.key"; }
    std::filesystem::path certificateFile(Kind kind) const;

private:
    ScratchDir dir_{"skylark-certs"};
};

// True when this machine has an IPv6 loopback (::1 can be bound).
bool hasIpv6Loopback();

class ServerProcess;

// What every server shares: a port, the directory it serves, a private
// directory for its configuration and logs, and the child process.
class LoopbackServer {
public:
    virtual ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const { return port_; }
    const std::filesystem::path& workDir() const { return workDir_.path(); }
    // "scheme://127.0.0.1:PORT/path" ("scheme://[::1]:PORT/path"); a leading
    // "/" on `path` is optional.
    std::string url(std::string_view path = "") const;
    // Everything the server has logged so far, for failure messages.
    std::string log() const;

protected:
    LoopbackServer(std::string scheme, const std::filesystem::path& root, std::string_view workPrefix,
                   std::string host = "127.0.0.1");
    // Starts argv after `configure` has written the configuration for a
    // free port, again when the server dies at once (another process took
    // the port meanwhile). Without `configure` the server picks its port and
    // prints it as its first line.
    void start(const std::string& name, const std::vector<std::string>& argv,
               const std::function<void(int port)>& configure = nullptr);

    ScratchDir workDir_;
    std::filesystem::path root_;
    std::string host_;
    std::vector<std::filesystem::path> extraLogs_;

private:
    std::string scheme_;
    int port_ = 0;
    std::unique_ptr<ServerProcess> process_;
};

struct NginxOptions {
    // Per-connection limit in bytes per second (limit_rate); 0 is unlimited.
    std::int64_t rateLimit = 0;
    // The loopback address to listen on: "127.0.0.1" or "::1".
    std::string host = "127.0.0.1";
};

struct NginxTls {
    // Both set: HTTPS with this certificate (chain) and key.
    std::string certificate, key;
    // Exact paths answered with "301 Moved Permanently" to a location.
    std::vector<std::pair<std::string, std::string>> redirects;
};

// nginx serving `root` over HTTP/1.1 (or HTTPS), one process in the foreground.
class NginxServer : public LoopbackServer {
public:
    explicit NginxServer(const std::filesystem::path& root, NginxOptions options = {}, NginxTls tls = {});

    // One line per finished request: "MSEC SECONDS \"REQUEST\" \"RANGE\"
    // STATUS BYTES", MSEC the epoch time it ended and SECONDS how long it took
    // (both in milliseconds' precision), RANGE the Range header or "-".
    std::string accessLog() const;
};

// pyftpdlib (run by /usr/bin/python3) serving `root`: anonymous read-only,
// and `user` with `password` read and write. pyftpdlib 1.5.7 now and then
// never sends the final 226 of a transfer: never wait for it unbounded. In
// active mode it now and then leaves a new session's USER unread: use
// vsftpd for active-mode downloads.
class PyftpdServer : public LoopbackServer {
public:
    explicit PyftpdServer(const std::filesystem::path& root, const std::string& host = "127.0.0.1");

    static constexpr const char* user = "tester";
    static constexpr const char* password = "secret";
};

// TLS required for login and data: after AUTH TLS (ftpes://) or from the
// first byte (ftps://), with this certificate and key.
struct VsftpdTls {
    enum Mode { None, Explicit, Implicit } mode = None;
    std::string certificate, key;
};

// vsftpd in the foreground serving `root` to anonymous users, read-only, in
// passive and active mode. It sets `root` to mode 0755: see the .cpp.
class VsftpdServer : public LoopbackServer {
public:
    explicit VsftpdServer(const std::filesystem::path& root, const std::string& host = "127.0.0.1", VsftpdTls tls = {});
};

enum class FaultProtocol { Http, Ftp };

// faultserver.py: a server on 127.0.0.1 that misbehaves on purpose, serving
// files from `root`. `scenarios` is a comma-separated list of the names in
// the SCENARIOS of faulthttp.py or faultftp.py, some with a value
// ("status=404", "chunked,split-header", "multiline,split-replies").
class FaultServer : public LoopbackServer {
public:
    FaultServer(FaultProtocol protocol, const std::string& scenarios, const std::filesystem::path& root);
};

} // namespace testsupport
