#pragma once

#include <cstdint>
#include <string>

#include "loopbackserver.h"

namespace testsupport {

struct VsftpdOptions {
    // Per-session limit in bytes per second (anon_max_rate); 0 is unlimited.
    std::int64_t rateLimit = 0;
    // The loopback address to listen on: "127.0.0.1" or "::1".
    std::string host = "127.0.0.1";
};

// TLS required for login and data: after AUTH TLS (ftpes://) or from the
// first byte (ftps://), with this certificate and key.
struct VsftpdTls {
    enum Mode { None, Explicit, Implicit } mode = None;
    std::string certificate, key;
};

// vsftpd in the foreground serving `root` to anonymous users, read-only,
// passive and active mode. Local-user login is off: it would need a system
// account. The fixture runs as root (vsftpd then drops to the "ftp" user for
// each anonymous session) and sets `root` to mode 0755: see the .cpp.
class VsftpdServer : public LoopbackServer {
public:
    explicit VsftpdServer(const std::filesystem::path& root, VsftpdOptions options = {}, VsftpdTls tls = {});
};

} // namespace testsupport
