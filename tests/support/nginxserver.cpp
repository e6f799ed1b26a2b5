#include "nginxserver.h"

#include <fstream>

namespace testsupport {

namespace {

// master_process off keeps nginx to one process, so the fixture's PID is the
// whole server and the kernel's parent-death signal reaches all of it.
std::string configText(const std::filesystem::path& work, const std::filesystem::path& root, int port,
                       const NginxOptions& options, const NginxTls& tls)
{
    const std::string w = work.string();
    std::string text =
        "daemon off;\n"
        "master_process off;\n"
        "pid " +
        w +
        "/nginx.pid;\n"
        "error_log " +
        w +
        "/error.log info;\n"
        "events { worker_connections 1024; }\n"
        "http {\n"
        "  log_format ranges '$msec $request_time \"$request\" \"$http_range\" $status $body_bytes_sent';\n"
        "  access_log " +
        w +
        "/access.log ranges;\n"
        "  client_body_temp_path " +
        w +
        "/client_body;\n"
        "  proxy_temp_path " +
        w +
        "/proxy;\n"
        "  fastcgi_temp_path " +
        w +
        "/fastcgi;\n"
        "  uwsgi_temp_path " +
        w +
        "/uwsgi;\n"
        "  scgi_temp_path " +
        w +
        "/scgi;\n"
        "  default_type application/octet-stream;\n"
        "  sendfile on;\n"
        "  tcp_nopush on;\n"
        "  keepalive_timeout 30s;\n"
        "  server {\n"
        "    listen " +
        (options.host == "::1" ? std::string("[::1]") : options.host) + ":" + std::to_string(port) +
        (tls.certificate.empty() ? "" : " ssl") +
        ";\n"
        "    server_name localhost;\n"
        "    root " +
        root.string() +
        ";\n"
        "    autoindex on;\n";
    if (options.rateLimit > 0) text += "    limit_rate " + std::to_string(options.rateLimit) + ";\n";
    if (!options.ranges) text += "    max_ranges 0;\n";
    if (!tls.certificate.empty())
        text += "    ssl_certificate " + tls.certificate + ";\n    ssl_certificate_key " + tls.key + ";\n";
    for (const auto& [from, to] : tls.redirects) text += "    location = " + from + " { return 301 " + to + "; }\n";
    text += "  }\n}\n";
    return text;
}

} // namespace

NginxServer::NginxServer(const std::filesystem::path& root, NginxOptions options, NginxTls tls)
    : LoopbackServer(tls.certificate.empty() ? "http" : "https", root, "skylark-nginx", options.host)
{
    const std::filesystem::path config = workDir_ / "nginx.conf";
    extraLogs_ = {workDir_ / "error.log", workDir_ / "access.log"};
    startOnFreePort("nginx",
                    [&] {
                        const int port = pickFreePort();
                        std::ofstream(config) << configText(workDir_.path(), root_, port, options, tls);
                        return port;
                    },
                    {"/usr/sbin/nginx", "-p", workDir_.path().string(), "-e", (workDir_ / "error.log").string(), "-c",
                     config.string()});
}

std::string NginxServer::accessLog() const
{
    try {
        return readWholeFile(workDir_ / "access.log");
    } catch (const std::exception&) {
        return {};
    }
}

} // namespace testsupport
