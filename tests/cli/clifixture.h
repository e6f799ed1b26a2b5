// skylark-cli run as a separate process against loopback servers: a source
// folder for the servers, the program's home and its download folder.
#pragma once

#include <signal.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "testservers.h"

class CliTest : public ::testing::Test {
 protected:
  // Stopped with `signal` after `killafter` ms when that is above 0.
  testsupport::ProgramRun Cli(const std::vector<std::string>& args, int killafter = 0, int signal = SIGTERM) const {
    return testsupport::runProgram(SKYLARK_CLI, args, {.home = home, .killafterms = killafter, .killsignal = signal});
  }
  // "get -d <download folder>" and `args`.
  testsupport::ProgramRun Get(const std::vector<std::string>& args, int killafter = 0, int signal = SIGTERM) const {
    std::vector<std::string> all = {"get", "-d", dir};
    all.insert(all.end(), args.begin(), args.end());
    return Cli(all, killafter, signal);
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
