// skylark-cli get and tasks, run as a separate process against loopback
// servers.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "testservers.h"

namespace {

using CliRun = testsupport::ProgramRun;

CliRun Cli(const std::vector<std::string>& args, const std::string& home, int killafter = 0) {
  return testsupport::runProgram(SKYLARK_CLI, args, {.home = home, .killafterms = killafter});
}

class CliGet : public ::testing::Test {
 protected:
  testsupport::ScratchDir files{"skylark-cli-src"};
  testsupport::ScratchDir out{"skylark-cli-out"};
  std::string home = (out.path() / "home").string();
  std::string dir = (out.path() / "dl").string();
};

TEST_F(CliGet, DownloadsFromEveryServerKind) {
  const auto source = files.writeRandomFile("a.bin", 3 << 20, 1);
  testsupport::NginxServer http(files.path());
  testsupport::PyftpdServer pyftpd(files.path());
  testsupport::VsftpdServer vsftpd(files.path());
  const struct {
    std::string url;
    const char* branches;
  } cases[] = {
      {http.url("a.bin"), "8"}, {pyftpd.url("a.bin"), "4"}, {vsftpd.url("a.bin"), "2"}, {http.url("a.bin"), "1"}};
  for (const auto& c : cases) {
    std::filesystem::remove(out.path() / "dl" / "a.bin");
    const CliRun run = Cli({"get", "-n", c.branches, "-d", dir, "--timeout", "30", c.url}, home);
    EXPECT_EQ(run.status, 0) << c.url << "\n" << run.output;
    EXPECT_EQ(testsupport::sha256OfFile(out.path() / "dl" / "a.bin"), testsupport::sha256OfFile(source)) << c.url;
  }
}

// IPv6 literal URLs over HTTP and FTP (EPSV passive, EPRT active), and
// --epsv on IPv4, shown by a server whose EPSV answer cannot be used.
TEST_F(CliGet, Ipv6AndExtendedPassive) {
  if (!testsupport::hasIpv6Loopback()) GTEST_SKIP() << "this machine has no IPv6 loopback (::1)";
  const auto source = files.writeRandomFile("a.bin", 3 << 20, 6);
  testsupport::NginxServer http(files.path(), {.host = "::1"});
  testsupport::VsftpdServer vsftpd(files.path(), {.host = "::1"});
  testsupport::PyftpdServer pyftpd(files.path(), {.host = "::1"});
  testsupport::FaultServer badepsv(testsupport::FaultProtocol::Ftp, "epsv-port=0", files.path());
  const struct {
    std::vector<std::string> args;
    const char* fails;  // null: exit 0 with the right bytes
  } cases[] = {
      {{"-n", "1", http.url("a.bin")}, nullptr},
      {{"-n", "4", http.url("a.bin")}, nullptr},
      {{"-n", "3", vsftpd.url("a.bin")}, nullptr},
      {{"-n", "2", "--active", pyftpd.url("a.bin")}, nullptr},
      {{"--epsv", badepsv.url("a.bin")}, "EPSV reply names no usable port"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(out.path() / "dl" / "a.bin");
    std::vector<std::string> args = {"get", "-d", dir, "--timeout", "30"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const CliRun run = Cli(args, home);
    if (c.fails) {
      EXPECT_NE(run.status, 0) << c.args.back() << "\n" << run.output;
      EXPECT_NE(run.output.find(c.fails), std::string::npos) << run.output;
      continue;
    }
    EXPECT_EQ(run.status, 0) << c.args.back() << "\n" << run.output;
    EXPECT_EQ(testsupport::sha256OfFile(out.path() / "dl" / "a.bin"), testsupport::sha256OfFile(source))
        << c.args.back();
  }
}

// Help goes to stdout with status 0 and names every option of its command.
TEST_F(CliGet, HelpAndVersion) {
  const struct {
    std::vector<std::string> args;
    std::vector<const char*> says;
  } cases[] = {
      {{"--help"}, {"skylark-cli get", "skylark-cli ls", "skylark-cli tasks"}},
      {{"get", "--help"}, {"--branches", "--list", "--tries", "--retry-wait", "--ca-certificate", "--insecure", "URL"}},
      {{"ls", "-h"}, {"--user", "--active", "--epsv", "--connect-timeout", "--idle-timeout"}},
      {{"--version"}, {"skylark-cli 1."}},
      {{"get", "--version"}, {"skylark-cli 1."}},
  };
  for (const auto& c : cases) {
    const CliRun run = Cli(c.args, home);
    EXPECT_EQ(run.status, 0) << run.output;
    for (const char* word : c.says) EXPECT_NE(run.output.find(word), std::string::npos) << word << "\n" << run.output;
  }
  // The window program answers without a display.
  const CliRun window = testsupport::runProgram(SKYLARK_WINDOW, {"--help"}, {.home = home});
  EXPECT_EQ(window.status, 0) << window.output;
  EXPECT_NE(window.output.find("skylark.ini"), std::string::npos) << window.output;
}

TEST_F(CliGet, FailuresExitNonZeroWithOneLine) {
  files.writeFile("x.bin", "data");
  testsupport::NginxServer http(files.path());
  testsupport::FaultServer refusing(testsupport::FaultProtocol::Ftp, "refuse-login", files.path());
  testsupport::PyftpdServer ftp(files.path());
  testsupport::FaultServer hanging(testsupport::FaultProtocol::Http, "hang", files.path());
  // A directory below a plain file can be created by nobody, root included.
  const std::string blocked = out.writeFile("plain", "x").string();
  const struct {
    std::vector<std::string> args;
    const char* says;
  } cases[] = {
      {{"get", "gopher://x/y"}, "URL not accepted"},
      {{"get", ftp.url("pub/")}, "names a site"},
      {{"get", "-n", "0", http.url("x.bin")}, "branch count"},
      {{"get", "--bogus", http.url("x.bin")}, "Unknown option 'bogus'"},
      {{"get", http.url("x.bin"), http.url("x.bin")}, "only one URL"},
      {{"ls", "--timeout", "0", ftp.url("pub/")}, "timeout"},
      {{"get", "-d", dir, http.url("missing.bin")}, "404"},
      {{"get", "-d", dir, "--timeout", "20", refusing.url("x.bin")}, "login refused"},
      {{"get", "-d", dir, "--timeout", "20", ftp.url("missing.bin")}, "550"},
      {{"get", "-d", blocked + "/sub", http.url("x.bin")}, "cannot write"},
      {{"get", "-d", dir, "--timeout", "3", hanging.url("x.bin")}, "no progress for 3 seconds"},
  };
  for (const auto& c : cases) {
    const CliRun run = Cli(c.args, home);
    EXPECT_NE(run.status, 0) << c.says << "\n" << run.output;
    EXPECT_NE(run.output.find(c.says), std::string::npos) << c.says << "\n" << run.output;
  }
}

TEST_F(CliGet, KilledDownloadContinuesFromItsListAndTasksShowsIt) {
  const auto source = files.writeRandomFile("k.bin", 2000000, 4);
  // Slow enough (about 7 s) that the kill at 3 s lands mid-download.
  testsupport::NginxServer http(files.path(), {.rateLimit = 100000});
  const std::string listfile = (out.path() / "tasks.dat").string();
  const std::vector<std::string> args = {"get", "-n", "3", "-d", dir, "--list", listfile, http.url("k.bin")};
  const CliRun first = Cli(args, home, 3000);
  EXPECT_EQ(first.status, 130) << first.output;
  const CliRun second = Cli(args, home);
  EXPECT_EQ(second.status, 0) << second.output;
  EXPECT_NE(second.output.find("continuing the stored task"), std::string::npos) << second.output;
  EXPECT_EQ(testsupport::sha256OfFile(out.path() / "dl" / "k.bin"), testsupport::sha256OfFile(source));

  std::filesystem::create_directories(home);
  std::filesystem::copy_file(listfile, home + "/lark2.dat");
  const CliRun tasks = Cli({"tasks"}, home);
  EXPECT_EQ(tasks.status, 0);
  EXPECT_NE(tasks.output.find("k.bin  total 2,000,000  done 2,000,000  100%"), std::string::npos) << tasks.output;
  EXPECT_NE(tasks.output.find("segment 2:"), std::string::npos) << tasks.output;
}

// A name the server picks by a redirect never replaces a file that is not
// the task's: the download gets a numbered name beside it.
TEST_F(CliGet, ARedirectNeverReplacesAnotherFile) {
  const auto source = files.writeRandomFile("a.bin", 300000, 9);
  testsupport::FaultServer http(testsupport::FaultProtocol::Http, "redirect-relative", files.path());
  const auto mine = out.writeFile("dl/a.bin", "not the download's");
  const CliRun run = Cli({"get", "-n", "2", "-d", dir, "--timeout", "20", http.url("redirect/a.bin")}, home);
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(testsupport::readWholeFile(mine), "not the download's");
  EXPECT_EQ(testsupport::sha256OfFile(out.path() / "dl" / "a (1).bin"), testsupport::sha256OfFile(source))
      << run.output;
}

}  // namespace
