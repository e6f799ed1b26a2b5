#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "scratchdir.h"
#include "serverprocess.h"

namespace testsupport {

// What every fixture server shares: a port on 127.0.0.1 (or ::1), the directory it
// serves, a private directory for its configuration and logs, and the child
// process, stopped when the fixture goes. Construction throws
// std::runtime_error, with the server's log, when the server does not come up
// within startTimeout.
class LoopbackServer {
public:
    virtual ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const { return port_; }
    const std::filesystem::path& root() const { return root_; }
    const std::filesystem::path& workDir() const { return workDir_.path(); }
    pid_t pid() const { return process_ ? process_->pid() : -1; }
    // "127.0.0.1" or "::1".
    const std::string& host() const { return host_; }
    // "scheme://127.0.0.1:PORT/path" ("scheme://[::1]:PORT/path"); a leading
    // "/" on `path` is optional.
    std::string url(std::string_view path = "") const;
    // Everything the server has logged so far, for failure messages.
    std::string log() const;
    // Stops the server now (the destructor does it otherwise).
    void stop();

    static constexpr std::chrono::seconds startTimeout{10};

protected:
    LoopbackServer(std::string scheme, std::filesystem::path root, std::string_view workPrefix,
                   std::string host = "127.0.0.1");

    // Starts argv on a port chosen by `choosePort` (which also writes the
    // configuration for it), retrying a few times when the server dies at once,
    // as it does when another process took the port in the meantime.
    template <typename ChoosePort>
    void startOnFreePort(const std::string& name, ChoosePort choosePort, const std::vector<std::string>& argv);
    void startWithPortLine(const std::string& name, const std::vector<std::string>& argv);

    std::string extraLogText() const;

    ScratchDir workDir_;
    std::filesystem::path root_;
    std::vector<std::filesystem::path> extraLogs_;

private:
    std::string scheme_;
    std::string host_;
    int port_ = 0;
    std::unique_ptr<ServerProcess> process_;
};

template <typename ChoosePort>
void LoopbackServer::startOnFreePort(const std::string& name, ChoosePort choosePort,
                                     const std::vector<std::string>& argv)
{
    constexpr int attempts = 3;
    for (int attempt = 1;; ++attempt) {
        port_ = choosePort();
        process_ = std::make_unique<ServerProcess>(name, argv, workDir_ / "stderr.log");
        try {
            process_->waitUntilAccepting(port_, startTimeout, host_);
            return;
        } catch (const std::runtime_error& error) {
            if (attempt == attempts || !process_->exited())
                throw std::runtime_error(std::string(error.what()) + extraLogText());
        }
    }
}

} // namespace testsupport
