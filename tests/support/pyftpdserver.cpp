#include "pyftpdserver.h"

namespace testsupport {

PyftpdServer::PyftpdServer(const std::filesystem::path& root, PyftpdOptions options)
    : LoopbackServer("ftp", root, "skylark-pyftpd", options.host)
{
    startWithPortLine("pyftpdlib",
                      {"/usr/bin/python3", "-u", SKYLARK_TEST_SUPPORT_DIR "/pyftpdlauncher.py", "--root",
                       root_.string(), "--rate", std::to_string(options.rateLimit), "--host", options.host});
}

} // namespace testsupport
