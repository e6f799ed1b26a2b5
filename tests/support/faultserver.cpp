#include "faultserver.h"

namespace testsupport {

FaultServer::FaultServer(FaultProtocol protocol, const std::string& scenarios, const std::filesystem::path& root,
                         FaultServerOptions options)
    : LoopbackServer(protocol == FaultProtocol::Http ? "http" : "ftp", root, "skylark-faultserver")
{
    startWithPortLine("faultserver " + scenarios,
                      {"/usr/bin/python3", "-u", SKYLARK_TEST_SUPPORT_DIR "/faultserver.py",
                       protocol == FaultProtocol::Http ? "http" : "ftp", scenarios, root_.string(), "--user",
                       options.user, "--password", options.password, "--idle", std::to_string(options.idleSeconds)});
}

} // namespace testsupport
