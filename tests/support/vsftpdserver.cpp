#include "vsftpdserver.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <sys/stat.h>

namespace testsupport {

namespace {

std::string configText(const std::filesystem::path& work, const std::filesystem::path& root, int port,
                       std::pair<int, int> passivePorts, const VsftpdOptions& options, const VsftpdTls& tls)
{
    const std::string w = work.string();
    std::string text = "background=NO\n"
                       "listen_port=" +
                       std::to_string(port) +
                       "\n"
                       "anonymous_enable=YES\n"
                       "anon_root=" +
                       root.string() +
                       "\n"
                       "no_anon_password=YES\n"
                       "local_enable=NO\n"
                       "write_enable=NO\n"
                       "seccomp_sandbox=NO\n"
                       "pasv_enable=YES\n"
                       "pasv_min_port=" +
                       std::to_string(passivePorts.first) +
                       "\n"
                       "pasv_max_port=" +
                       std::to_string(passivePorts.second) +
                       "\n"
                       "port_enable=YES\n"
                       "connect_from_port_20=NO\n"
                       "secure_chroot_dir=" +
                       w +
                       "/empty\n"
                       "xferlog_enable=YES\n"
                       "dual_log_enable=YES\n"
                       "log_ftp_protocol=YES\n"
                       "vsftpd_log_file=" +
                       w +
                       "/vsftpd.log\n"
                       "xferlog_file=" +
                       w +
                       "/xferlog\n"
                       "idle_session_timeout=120\n"
                       "data_connection_timeout=60\n";
    // vsftpd listens on one family: listen_ipv6 and listen exclude each other.
    if (options.host == "::1")
        text += "listen=NO\nlisten_ipv6=YES\nlisten_address6=::1\n";
    else
        text += "listen=YES\nlisten_ipv6=NO\nlisten_address=" + options.host + "\n";
    if (options.rateLimit > 0) text += "anon_max_rate=" + std::to_string(options.rateLimit) + "\n";
    if (tls.mode != VsftpdTls::None) {
        // Data connections must resume the control connection's session
        // (require_ssl_reuse, on by default); the default cipher list names
        // only one OpenSSL 3 no longer offers.
        text += "ssl_enable=YES\nallow_anon_ssl=YES\nforce_anon_logins_ssl=YES\nforce_anon_data_ssl=YES\n"
                "ssl_ciphers=HIGH\nssl_request_cert=NO\ndebug_ssl=YES\nrsa_cert_file=" +
                tls.certificate + "\nrsa_private_key_file=" + tls.key + "\n";
        if (tls.mode == VsftpdTls::Implicit) text += "implicit_ssl=YES\n";
    }
    return text;
}

} // namespace

VsftpdServer::VsftpdServer(const std::filesystem::path& root, VsftpdOptions options, VsftpdTls tls)
    : LoopbackServer(tls.mode == VsftpdTls::None       ? "ftp"
                     : tls.mode == VsftpdTls::Explicit ? "ftpes"
                                                       : "ftps",
                     root, "skylark-vsftpd", options.host)
{
    // vsftpd chroots each anonymous session into anon_root and then runs as
    // the "ftp" user. It answers every login with "500 OOPS: vsftpd: refusing
    // to run with writable root inside chroot()" when that user may write to
    // the root (mode 0777, say), and a root private to its owner (mkdtemp's
    // 0700) makes every file "not found". Root-owned 0755 works.
    if (::chmod(root_.c_str(), 0755) != 0)
        throw std::runtime_error("vsftpd: cannot make " + root_.string() + " mode 0755: " + std::strerror(errno));
    std::filesystem::create_directories(workDir_ / "empty");
    const std::filesystem::path config = workDir_ / "vsftpd.conf";
    extraLogs_ = {workDir_ / "vsftpd.log"};
    startOnFreePort("vsftpd",
                    [&] {
                        const int port = pickFreePort();
                        std::ofstream(config)
                            << configText(workDir_.path(), root_, port, pickFreePortRange(20), options, tls);
                        return port;
                    },
                    {"/usr/sbin/vsftpd", config.string()});
}

} // namespace testsupport
