#pragma once

#include <string>
#include <vector>

namespace testsupport {

// What a finished child process left: its exit status (128 + signal when
// killed), stdout and stderr together, and its peak resident size.
struct ProgramRun {
    int status = -1;
    std::string output;
    long peakkib = 0;
};

struct ProgramOptions {
    // Set as SKYLARK_HOME in the child, so it never touches the user's files.
    std::string home;
    // > 0: SIGTERM after this many milliseconds; `killsignal` picks another.
    int killafterms = 0;
    int killsignal = 15;
};

// Runs `program` with `args` and waits for it.
ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args,
                      const ProgramOptions& options = {});

} // namespace testsupport
