#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "loopbackserver.h"

namespace testsupport {

struct NginxOptions {
    // Per-connection limit in bytes per second (limit_rate); 0 is unlimited.
    std::int64_t rateLimit = 0;
    // false answers every ranged request with 200 and the whole file.
    bool ranges = true;
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

} // namespace testsupport
