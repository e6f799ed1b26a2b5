// skylark-cli get and tasks: what the command line adds to a download (its
// options, progress, exit status, messages and stored tasks). The server matrix is the
// engine's; hostile servers are hostile_test's.
#include <QLocale>

#include <chrono>
#include <regex>

#include "cli/progressline.h"
#include "clifixture.h"

namespace {

namespace ts = testsupport;

class CliGet : public CliTest {};

// Sizes and speeds read as the status bar's; the time left follows the
// smoothed speed and is never early.
TEST(ProgressLine, SaysSizesSpeedTimeLeftAndBranches) {
  QLocale::setDefault(QLocale::c());
  constexpr int64_t kMiB = 1 << 20;
  const struct {
    ProgressFacts facts;
    const char* line;
  } cases[] = {
      {{9 * kMiB, 90 * kMiB, "10", 5 * kMiB, 5 * kMiB, 4, 4}, "9.0 MiB / 90.0 MiB  10%  5.0 MiB/s  0:17 left  [4/4]"},
      {{kMiB, 4 * kMiB + 1, "25", 30 * kMiB, kMiB, 1, 2}, "1.0 MiB / 4.0 MiB  25%  30.0 MiB/s  0:04 left  [1/2]"},
      {{1500, -1, "", 2000, 2000, 1, 1}, "1.5 KiB / ?  ?%  2.0 KiB/s  \u2014 left  [1/1]"},           // no length
      {{kMiB, 2 * kMiB, "50", 0, 0, 0, 3}, "1.0 MiB / 2.0 MiB  50%  0 bytes/s  \u2014 left  [0/3]"},  // retrying
      {{2 * kMiB, 2 * kMiB, "100", 0, 0, 0, 3}, "2.0 MiB / 2.0 MiB  100%  0 bytes/s  0:00 left  [0/3]"},
  };
  for (const auto& c : cases) EXPECT_EQ(ProgressLine(c.facts).toStdString(), c.line);
  EXPECT_EQ(FinishedLine("/d/a.bin", 100 * kMiB, 4).toStdString(),
            "/d/a.bin: 100.0 MiB (104,857,600 bytes) in 4.0 s, 25.0 MiB/s");
  EXPECT_EQ(FinishedLine("e", 0, 0).toStdString(), "e: 0 bytes (0 bytes) in 0.0 s, 0 bytes/s");
}

// One download, and the FTP options that change what is said to the server.
// On a pipe the progress comes in plain lines, the last saying all is in.
TEST_F(CliGet, OptionsReachTheServer) {
  const std::string sum = Serve("a.bin", 3 << 20, 1);
  ts::NginxServer http(files.path());
  ts::VsftpdServer vsftpd(files.path());
  ts::FaultServer badepsv(ts::FaultProtocol::Ftp, "epsv-port=0", files.path());
  const std::regex done(
      "\n3[.,]0 MiB / 3[.,]0 MiB  100%  [0-9.,]+ (bytes|[KMG]iB)/s  0:00 left  \\[[0-4]/[24]\\]\n"
      "[^\n]*/a\\.bin: 3[.,]0 MiB \\(3,145,728 bytes\\) in [0-9.,]+ s, [0-9.,]+ (bytes|[KMG]iB)/s\n");
  const struct {
    std::vector<std::string> args;
    const char* fails;  // null: exit 0 with the right bytes
  } cases[] = {
      {{"-n", "4", http.url("a.bin")}, nullptr},
      {{"-n", "2", "--active", vsftpd.url("a.bin")}, nullptr},
      {{"--epsv", badepsv.url("a.bin")}, "EPSV reply names no usable port"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(out.path() / "dl" / "a.bin");
    std::vector<std::string> args = {"--timeout", "30"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ts::ProgramRun run = Get(args);
    SCOPED_TRACE(c.args.back() + "\n" + run.output);
    if (c.fails) {
      EXPECT_NE(run.status, 0);
      EXPECT_NE(run.output.find(c.fails), std::string::npos);
    } else {
      EXPECT_EQ(run.status, 0);
      EXPECT_EQ(Sha("a.bin"), sum);
      EXPECT_EQ(run.output.find('\r'), std::string::npos);
      EXPECT_TRUE(std::regex_search(run.output, done));
    }
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
    const ts::ProgramRun run = Cli(c.args);
    EXPECT_EQ(run.status, 0) << run.output;
    for (const char* word : c.says) EXPECT_NE(run.output.find(word), std::string::npos) << word << "\n" << run.output;
  }
  // The window program answers without a display.
  const ts::ProgramRun window = ts::runProgram(SKYLARK_WINDOW, {"--help"}, {.home = home});
  EXPECT_EQ(window.status, 0) << window.output;
  EXPECT_NE(window.output.find("skylark.ini"), std::string::npos) << window.output;
}

// What the command line refuses, and the failures only it reports.
TEST_F(CliGet, FailuresExitNonZeroWithOneLine) {
  files.writeFile("x.bin", "data");
  ts::NginxServer http(files.path());
  ts::PyftpdServer ftp(files.path());
  ts::FaultServer hanging(ts::FaultProtocol::Http, "hang", files.path());
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
      {{"get", "-d", blocked + "/sub", http.url("x.bin")}, "cannot write"},
      {{"get", "-d", dir, "--timeout", "3", hanging.url("x.bin")}, "no progress for 3 seconds"},
  };
  for (const auto& c : cases) {
    const ts::ProgramRun run = Cli(c.args);
    EXPECT_NE(run.status, 0) << c.says << "\n" << run.output;
    EXPECT_NE(run.output.find(c.says), std::string::npos) << c.says << "\n" << run.output;
  }
}

// SIGTERM keeps the task in its list and a rerun continues it (killed and
// rerun to the end: resumekill_test). A file replaced on the server
// meanwhile (the same size, a newer time) may be fetched again or refused,
// never joined to the old bytes.
TEST_F(CliGet, AStoppedTaskNeverJoinsAReplacedFile) {
  // Slow enough (about 7 s) that the stop at 3 s lands mid-download.
  ts::NginxServer http(files.path(), {.rateLimit = 100000});
  const auto source = files.writeRandomFile("r.bin", 2000000, 4);
  const std::string oldsum = ts::sha256OfFile(source);
  const std::vector<std::string> args = {"-n", "3", "--list", (out.path() / "r.dat").string(), http.url("r.bin")};
  const ts::ProgramRun first = Get(args, 3000);
  ASSERT_EQ(first.status, 130) << first.output;
  EXPECT_NE(first.output.find("the task is kept in"), std::string::npos) << first.output;
  const auto oldtime = std::filesystem::last_write_time(source);
  files.writeRandomFile("r.bin", 2000000, 5);
  std::filesystem::last_write_time(source, oldtime + std::chrono::hours(1));
  const ts::ProgramRun second = Get(args);
  SCOPED_TRACE(second.output);
  EXPECT_NE(second.output.find("continuing the stored task"), std::string::npos);
  EXPECT_LT(second.peakkib, 32 * 1024);
  if (second.status == 0) {
    EXPECT_NE(Sha("r.bin"), oldsum) << "exit 0 with the old file";
    EXPECT_EQ(Sha("r.bin"), ts::sha256OfFile(source)) << "exit 0 with neither file: old and new bytes spliced";
  }
}

// A name the server picks by a redirect never replaces a file that is not
// the task's: the download gets a numbered name beside it.
TEST_F(CliGet, ARedirectNeverReplacesAnotherFile) {
  const std::string sum = Serve("a.bin", 300000, 9);
  ts::FaultServer http(ts::FaultProtocol::Http, "redirect-relative", files.path());
  const auto mine = out.writeFile("dl/a.bin", "not the download's");
  const ts::ProgramRun run = Get({"-n", "2", "--timeout", "20", http.url("redirect/a.bin")});
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(ts::readWholeFile(mine), "not the download's");
  EXPECT_EQ(Sha("a (1).bin"), sum) << run.output;
}

}  // namespace
