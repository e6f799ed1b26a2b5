// skylark-cli run as a separate process against loopback servers: a source
// folder for the servers, the program's home and its download folder.
#pragma once

#include <signal.h>

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "testservers.h"

// The last line that is not blank: where a failure names its reason.
inline std::string LastLine(std::string output) {
  while (!output.empty() && std::isspace(static_cast<unsigned char>(output.back()))) output.pop_back();
  return output.substr(output.find_last_of("\r\n") + 1);  // npos + 1 is 0
}

class CliTest : public ::testing::Test {
 protected:
  // "get -d <download folder>" and `args`, stopped with `signal` after
  // `killafter` ms when that is above 0.
  testsupport::ProgramRun Get(const std::vector<std::string>& args, int killafter = 0, int signal = SIGTERM) const {
    std::vector<std::string> all = {"get", "-d", dir};
    all.insert(all.end(), args.begin(), args.end());
    return testsupport::runProgram(SKYLARK_CLI, all, {.home = home, .killafterms = killafter, .killsignal = signal});
  }
  // A fresh download of `name`: exit 0 with the bytes of `sum`, or, when
  // `fails` is given, a non-zero exit that says it.
  testsupport::ProgramRun Fetch(const std::string& name, const std::string& sum, const std::vector<std::string>& args,
                                const char* fails = nullptr) const {
    std::filesystem::remove(out.path() / "dl" / name);
    const testsupport::ProgramRun run = Get(args);
    EXPECT_EQ(run.status == 0, !fails) << run.output;
    EXPECT_EQ(Sha(name) == sum, !fails) << run.output;
    EXPECT_TRUE(!fails || run.output.find(fails) != std::string::npos) << fails << "\n" << run.output;
    return run;
  }
  // The sha256 of a downloaded file, "missing" when there is none.
  std::string Sha(const std::string& name) const {
    const auto path = out.path() / "dl" / name;
    return std::filesystem::exists(path) ? testsupport::sha256OfFile(path) : "missing";
  }
  // Serves `size` random bytes as `name`; their sha256.
  std::string Serve(const std::string& name, int64_t size, uint64_t seed) const {
    return testsupport::sha256OfFile(files.writeRandomFile(name, size, seed));
  }

  testsupport::ScratchDir files{"skylark-cli-src"};
  testsupport::ScratchDir out{"skylark-cli-out"};
  std::string home = (out.path() / "home").string();
  std::string dir = (out.path() / "dl").string();
};
