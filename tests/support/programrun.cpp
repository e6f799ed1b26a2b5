#include "programrun.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace testsupport {

ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args, const ProgramOptions& options)
{
    ProgramRun run;
    int pipefd[2];
    if (pipe(pipefd) != 0) return run;
    const pid_t pid = fork();
    if (pid < 0) {
        close(pipefd[0]);
        close(pipefd[1]);
        return run;
    }
    if (pid == 0) {
        dup2(pipefd[1], 1);
        dup2(pipefd[1], 2);
        close(pipefd[0]);
        if (!options.home.empty()) setenv("SKYLARK_HOME", options.home.c_str(), 1);
        std::vector<std::string> copy = args;
        std::vector<char*> argv;
        std::string name = program;
        argv.push_back(name.data());
        for (std::string& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(pipefd[1]);
    // The child is not reaped before the kill, so its pid cannot be reused.
    if (options.killafterms > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(options.killafterms));
        kill(pid, options.killsignal);
    }
    char buffer[4096];
    for (;;) {
        ssize_t n = read(pipefd[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        run.output.append(buffer, static_cast<size_t>(n));
    }
    close(pipefd[0]);
    int status = 0;
    rusage usage{};
    pid_t waited;
    while ((waited = wait4(pid, &status, 0, &usage)) < 0 && errno == EINTR) {
    }
    if (waited != pid) return run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.peakkib = usage.ru_maxrss;
    return run;
}

} // namespace testsupport
