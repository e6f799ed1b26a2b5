#pragma once

#include <cstdint>
#include <string>

#include "loopbackserver.h"

namespace testsupport {

struct PyftpdOptions {
    // Per-data-connection limit in bytes per second (ThrottledDTPHandler); 0 is
    // unlimited. pyftpdlib throttles in one-second bursts: the first `rateLimit`
    // bytes go at full speed, so use files of many seconds' worth.
    std::int64_t rateLimit = 0;
    // The loopback address to listen on: "127.0.0.1" or "::1".
    std::string host = "127.0.0.1";
};

// pyftpdlib (Debian's, run by /usr/bin/python3) serving `root`: anonymous
// read-only, and user "tester" password "secret" with read and write.
// pyftpdlib 1.5.7 now and then never sends the final 226 of a transfer;
// clients in tests must not wait for it without a time limit.
class PyftpdServer : public LoopbackServer {
public:
    explicit PyftpdServer(const std::filesystem::path& root, PyftpdOptions options = {});

    static constexpr const char* user = "tester";
    static constexpr const char* password = "secret";
};

} // namespace testsupport
