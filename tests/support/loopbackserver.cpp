#include "loopbackserver.h"

#include <stdexcept>

namespace testsupport {

LoopbackServer::LoopbackServer(std::string scheme, std::filesystem::path root, std::string_view workPrefix,
                               std::string host)
    : workDir_(workPrefix), root_(std::filesystem::absolute(root)), scheme_(std::move(scheme)), host_(std::move(host))
{
    if (!std::filesystem::is_directory(root_))
        throw std::runtime_error(scheme_ + " server: document root " + root_.string() + " is not a directory");
}

LoopbackServer::~LoopbackServer() = default;

std::string LoopbackServer::url(std::string_view path) const
{
    const std::string host = host_.find(':') == std::string::npos ? host_ : "[" + host_ + "]";
    std::string result = scheme_ + "://" + host + ":" + std::to_string(port_);
    if (path.empty() || path.front() != '/') result += '/';
    result += path;
    return result;
}

std::string LoopbackServer::log() const
{
    return (process_ ? process_->log() : std::string()) + extraLogText();
}

std::string LoopbackServer::extraLogText() const
{
    std::string text;
    for (const std::filesystem::path& file : extraLogs_) {
        text += "\n--- " + file.string() + " ---\n";
        try {
            text += readWholeFile(file);
        } catch (const std::exception& error) {
            text += error.what();
        }
    }
    return text;
}

void LoopbackServer::stop()
{
    if (process_) process_->stop();
}

void LoopbackServer::startWithPortLine(const std::string& name, const std::vector<std::string>& argv)
{
    process_ = std::make_unique<ServerProcess>(name, argv, workDir_ / "stderr.log", ServerProcess::Stdout::PortLine);
    port_ = process_->readPortLine(startTimeout);
    process_->waitUntilAccepting(port_, startTimeout, host_);
}

} // namespace testsupport
