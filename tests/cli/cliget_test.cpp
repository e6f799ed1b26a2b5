// skylark-cli get and ls: what the command line adds to a download or a
// listing (its options, progress, exit status, messages and stored tasks).
// The server matrix is the engine's; hostile servers are hostile_test's.
#include <QLocale>
#include <QProcess>

#include <algorithm>
#include <chrono>
#include <optional>
#include <regex>

#include "cli/progressline.h"
#include "clifixture.h"

namespace {

namespace ts = testsupport;
using Kind = ts::TestCertificates::Kind;

class CliGet : public CliTest {};

// With certificates made for the run.
class CliTls : public CliTest {
 protected:
  ts::NginxTls Tls(Kind kind) const {
    return {certificates.certificateFile(kind).string(), certificates.keyFile().string(), {}};
  }

  const ts::TestCertificates certificates;
  const std::string ca = certificates.caFile().string();
};

// Standard output and standard error apart, for what goes where.
struct Apart {
  int status = -1;  // -2: killed, or still running after a minute
  std::string out, err;
};

Apart RunApart(const std::vector<std::string>& args, const char* program = SKYLARK_CLI) {
  QStringList arguments;
  for (const std::string& arg : args) arguments << QString::fromStdString(arg);
  QProcess process;
  process.start(program, arguments);
  if (!process.waitForFinished(60000)) process.kill();
  process.waitForFinished(5000);
  return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2,
          process.readAllStandardOutput().toStdString(), process.readAllStandardError().toStdString()};
}

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

// One download, the FTP options that change what is said to the server,
// and the certificate checks of every branch (on ::1 the certificate names
// the IPv6 address). On a pipe the progress comes in plain lines, the last
// saying all is in.
TEST_F(CliTls, OptionsReachTheServerAndCertificatesAreChecked) {
  const std::string sum = Serve("a.bin", 3 << 20, 1);
  ts::NginxServer http(files.path());
  ts::VsftpdServer vsftpd(files.path());
  ts::FaultServer badepsv(ts::FaultProtocol::Ftp, "epsv-port=0", files.path());
  ts::NginxServer valid(files.path(), {}, Tls(Kind::Valid));
  ts::NginxServer expired(files.path(), {}, Tls(Kind::Expired));
  ts::NginxServer wronghost(files.path(), {}, Tls(Kind::WrongHost));
  ts::NginxServer selfsigned(files.path(), {}, Tls(Kind::SelfSigned));
  std::optional<ts::NginxServer> valid6;
  if (ts::hasIpv6Loopback()) valid6.emplace(files.path(), ts::NginxOptions{.host = "::1"}, Tls(Kind::Valid));
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
      {{"-n", "4", "--ca-certificate", ca, valid.url("a.bin")}, nullptr},
      {{"-n", "4", "--ca-certificate", ca, valid6 ? valid6->url("a.bin") : ""}, nullptr},
      {{"-n", "4", valid.url("a.bin")}, "issuer not trusted"},
      {{"--ca-certificate", ca, expired.url("a.bin")}, "certificate has expired"},
      {{"--ca-certificate", ca, wronghost.url("a.bin")}, "certificate is for other.example, not 127.0.0.1"},
      {{"--ca-certificate", ca, selfsigned.url("a.bin")}, "self-signed certificate"},
      {{"-n", "4", "--insecure", selfsigned.url("a.bin")}, nullptr},
  };
  for (const auto& c : cases) {
    if (c.args.back().empty()) continue;  // no ::1 here
    std::vector<std::string> args = {"--timeout", "30", "--tries", "2"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(c.args.back());
    const ts::ProgramRun run = Fetch("a.bin", sum, args, c.fails);
    const bool insecure = std::find(args.begin(), args.end(), "--insecure") != args.end();
    EXPECT_EQ(run.output.find("warning: certificates are not checked") != std::string::npos, insecure);
    if (c.fails) continue;
    EXPECT_EQ(run.output.find('\r'), std::string::npos) << run.output;
    EXPECT_TRUE(std::regex_search(run.output, done)) << run.output;
  }
}

TEST_F(CliTls, RedirectsGoBetweenHttpAndHttps) {
  const std::string sum = Serve("real/a.bin", 600000, 22);
  ts::NginxServer last(files.path());
  ts::NginxServer middle(
      files.path(), {}, {Tls(Kind::Valid).certificate, Tls(Kind::Valid).key, {{"/hop/a.bin", last.url("real/a.bin")}}});
  ts::NginxServer first(
      files.path(), {},
      {"", "", {{"/start/a.bin", middle.url("hop/a.bin")}, {"/secure/a.bin", middle.url("real/a.bin")}}});
  // Every branch follows the probe to the server it ends on, in its scheme.
  for (const char* path : {"start/a.bin", "secure/a.bin"}) {
    SCOPED_TRACE(path);
    Fetch("a.bin", sum, {"-n", "3", "--timeout", "20", "--ca-certificate", ca, first.url(path)});
  }
  EXPECT_NE(middle.accessLog().find("/hop/a.bin"), std::string::npos) << middle.accessLog();
}

// Listings and help go to stdout with status 0, a directory first and a
// size grouped in a listing, every option of its command in a help. (IPv6
// and the server matrix: the engine's tests.)
TEST_F(CliGet, ListingsAndHelpGoToStdout) {
  files.writeFile("pub/linux/zfile.txt", "zzz");
  files.writeFile("pub/linux/kdir/inner.txt", "inner");
  files.writeRandomFile("big.bin", 1234567, 3);
  files.writeFile("pub/caf\xE9/na\xEFve.txt", "abc");  // Latin-1, escaped in the URL
  ts::VsftpdServer vsftpd(files.path());
  ts::PyftpdServer pyftpd(files.path());
  const std::string pyftpdroot = "ftp://127.0.0.1:" + std::to_string(pyftpd.port());
  const struct {
    std::vector<std::string> args;
    std::string first;               // what the output starts with
    std::vector<std::string> holds;  // and what it holds
    const char* program = SKYLARK_CLI;
  } cases[] = {
      {{"ls", "--active", vsftpd.url("pub/linux/")}, "kdir/", {"\nzfile.txt\t3\t"}},
      {{"ls", "-u", ts::PyftpdServer::user, "-p", ts::PyftpdServer::password, pyftpdroot},
       "pub/\t",
       {"\nbig.bin\t1,234,567\t"}},
      {{"ls", vsftpd.url("pub/caf%E9/")}, "na\xC3\xAFve.txt\t3\t", {}},
      {{"--help"}, "usage: ", {"skylark-cli get", "skylark-cli ls", "skylark-cli tasks"}},
      {{"get", "--help"},
       "Usage: ",
       {"--branches", "--list", "--tries", "--retry-wait", "--ca-certificate", "--insecure", "URL"}},
      {{"ls", "-h"}, "Usage: ", {"--user", "--active", "--epsv", "--connect-timeout", "--idle-timeout"}},
      {{"--version"}, "skylark-cli 1.", {}},
      {{"get", "--version"}, "skylark-cli 1.", {}},
      {{"--help"}, "usage: skylark ", {"skylark.ini"}, SKYLARK_WINDOW},  // without a display
  };
  for (const auto& c : cases) {
    const Apart run = RunApart(c.args, c.program);
    SCOPED_TRACE(c.args.back() + "\n" + run.out + run.err);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.substr(0, c.first.size()), c.first);
    for (const std::string& text : c.holds) EXPECT_NE(run.out.find(text), std::string::npos) << text;
    EXPECT_TRUE(run.err.empty());
  }
}

// What the command line refuses and the failures only it reports: 2 for a
// usage error, 1 otherwise, the reason on the last line of stderr and
// nothing on stdout.
TEST_F(CliGet, FailuresExitNonZeroWithOneLine) {
  files.writeFile("x.bin", "data");
  files.writeFile("pub/readme.txt", "readme");
  ts::NginxServer http(files.path());
  ts::VsftpdServer ftp(files.path());
  ts::FaultServer refusing(ts::FaultProtocol::Ftp, "refuse-login", files.path());
  ts::FaultServer hanging(ts::FaultProtocol::Http, "hang", files.path());
  const std::string silenttls = "https" + hanging.url("x.bin").substr(4);
  // A directory below a plain file can be created by nobody, root included.
  const std::string blocked = out.writeFile("plain", "x").string();
  const struct {
    std::vector<std::string> args;
    int status;
    const char* says;
  } cases[] = {
      {{"get", "gopher://x/y"}, 1, "URL not accepted"},
      {{"get", ftp.url("pub/")}, 1, "names a site"},
      {{"get", "-n", "0", http.url("x.bin")}, 2, "branch count"},
      {{"get", "--bogus", http.url("x.bin")}, 2, "Unknown option 'bogus'"},
      {{"get", http.url("x.bin"), http.url("x.bin")}, 2, "only one URL"},
      {{"get", "-d", blocked + "/sub", http.url("x.bin")}, 1, "cannot write"},
      {{"get", "-d", dir, "--timeout", "3", hanging.url("x.bin")}, 1, "no progress for 3 seconds"},
      // A TLS handshake never answered is waited for as long as any silence.
      {{"get", "-d", dir, "--idle-timeout", "1", "--tries", "1", silenttls},
       1,
       "timed out waiting for the TLS handshake"},
      {{"ls", ftp.url("nowhere/")}, 1, "Target directory:/nowhere/ does not exist!"},
      {{"ls", ftp.url("pub/readme.txt")}, 1, "names a file"},
      {{"ls", refusing.url("")}, 1, "login refused"},
      {{"ls", "--timeout", "2", "ftp" + hanging.url("").substr(4)}, 1, "nothing was listed within 2 seconds"},
      {{"ls"}, 2, "no URL given"},
      {{"ls", "--timeout", "0", ftp.url("pub/")}, 2, "timeout"},
      {{"ls", "-P", "70000", "ftp://127.0.0.1/"}, 2, "port"},
  };
  for (const auto& c : cases) {
    const Apart run = RunApart(c.args);
    SCOPED_TRACE(c.says + ("\n" + run.err));
    EXPECT_EQ(run.status, c.status);
    EXPECT_NE(LastLine(run.err).find(c.says), std::string::npos);
    EXPECT_TRUE(run.out.empty());
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
