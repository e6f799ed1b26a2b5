// skylark-cli get against servers that misbehave on purpose. Each fault ends
// either in the right file with exit 0, or in a non-zero exit whose last line
// names the reason, within a time the options allow. Whatever the fault, an
// exit of 0 means the right bytes, and memory stays small.
#include <chrono>
#include <cmath>
#include <ostream>
#include <tuple>

#include "clifixture.h"

namespace {

namespace ts = testsupport;
using Clock = std::chrono::steady_clock;

// Small values keep the rows that must wait short. Keep the strings and the
// numbers in step: the bounds below are derived from the numbers.
const std::vector<std::string> kOptions = {"--connect-timeout", "2",    "--idle-timeout", "2",
                                           "--retry-wait",      "0.05", "--tries",        "3"};
constexpr double kIdleTimeout = 2;
constexpr double kRetryWait = 0.05;
constexpr int kTries = 3;

// A final answer on loopback comes within 1 s; 2 s leaves room for a slow CI
// machine.
constexpr double kSlack = 2;
// The waits between the tries of one branch: the first, then doubling.
const double kBackOffs = kRetryWait * (std::pow(2.0, kTries - 1) - 1);
// A final answer is not retried.
constexpr double kFinal = kSlack;
// Every try fails at once; the back-offs take time, and a connection cut
// after some bytes is seen by skylark-cli's once-a-second pass, so the
// tries after the first may each wait for one.
constexpr double kPass = 1;
const double kRetried = kBackOffs + (kTries - 1) * kPass + kSlack;
// Every try waits one idle timeout for a byte that never comes.
// Over FTP with several branches the probe's REST sample may wait one
// silence of its own before the branches start.
const double kStalled = (kTries + 1) * kIdleTimeout + kBackOffs + kSlack;
// runProgram waits without limit: a program that runs on is stopped (exit
// 124) a little after its bound, or after a minute when it should succeed.
constexpr int kWatchdogSeconds = 60;
constexpr int kWatchdogPastBound = 5;

constexpr std::int64_t kSourceSize = 3 << 20;
constexpr long kPeakLimitKiB = 32 * 1024;

enum class Outcome {
  Sound,    // exit 0 and the source's bytes
  Final,    // exit != 0 at once, `reason` on the last line
  Bounded,  // exit != 0 within `bound` seconds, `reason` on the last line
};

struct Row {
  const char* label;
  ts::FaultProtocol protocol;
  const char* modes;
  const char* path;
  Outcome outcome;
  const char* reason = "";
  double bound = 0;
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.label; }

constexpr auto Http = ts::FaultProtocol::Http;
constexpr auto Ftp = ts::FaultProtocol::Ftp;

const std::vector<Row>& Rows() {
  static const std::vector<Row> rows = {
      // A correct download is possible: a branch whose server ignores or
      // misplaces its offset has to start again from byte 0.
      {"http_plain", Http, "plain", "a.bin", Outcome::Sound},
      {"http_norange", Http, "norange", "a.bin", Outcome::Sound},
      {"http_wrong_range", Http, "wrong-range", "a.bin", Outcome::Sound},
      {"http_lf_only", Http, "lf-only", "a.bin", Outcome::Sound},
      {"http_query_redirect", Http, "query-redirect", "redirect/a.bin", Outcome::Sound},
      {"http_upper_scheme", Http, "upper-scheme", "redirect/a.bin", Outcome::Sound},
      {"http_host_check", Http, "host-check", "a.bin", Outcome::Sound},
      {"http_many_headers", Http, "many-headers=80", "a.bin", Outcome::Sound},
      {"http_too_many_headers", Http, "many-headers=500", "a.bin", Outcome::Final, "response header too long", kFinal},
      // 256 KiB per connection is progress, so the tries never run out.
      {"http_cut_every_256k", Http, "cut-every=262144", "a.bin", Outcome::Sound},
      {"ftp_plain", Ftp, "plain", "a.bin", Outcome::Sound},
      {"ftp_ignore_rest", Ftp, "ignore-rest", "a.bin", Outcome::Sound},
      {"ftp_rest_before", Ftp, "rest-other=-1000", "a.bin", Outcome::Sound},
      {"ftp_rest_after", Ftp, "rest-other=17", "a.bin", Outcome::Sound},
      {"ftp_lf_only", Ftp, "lf-only", "a.bin", Outcome::Sound},
      {"ftp_pasv_bare", Ftp, "pasv-bare", "a.bin", Outcome::Sound},
      {"ftp_cut_every_256k", Ftp, "cut-every=262144", "a.bin", Outcome::Sound},
      {"ftp_close_every_256k", Ftp, "close-every=256", "a.bin", Outcome::Sound},

      // The server's answer is final: no retry can change it.
      {"http_404", Http, "status=404", "a.bin", Outcome::Final, "404", kFinal},
      {"http_403", Http, "status=403", "a.bin", Outcome::Final, "403", kFinal},
      {"http_redirect_loop", Http, "redirect-loop", "a.bin", Outcome::Final, "too many redirects", kFinal},
      {"http_to_ftp", Http, "redirect-scheme=ftp", "redirect/a.bin", Outcome::Final, "unsupported", kFinal},
      {"http_to_gopher", Http, "redirect-scheme=gopher", "redirect/a.bin", Outcome::Final, "unsupported", kFinal},
      {"http_endless_header", Http, "endless-header", "a.bin", Outcome::Final, "response header too long", kFinal},
      {"http_chunk_not_hex", Http, "bad-chunk=nothex", "a.bin", Outcome::Final, "bad chunked body", kFinal},
      {"http_chunk_overflow", Http, "bad-chunk=huge", "a.bin", Outcome::Final, "bad chunked body", kFinal},
      {"http_chunk_over_2_62", Http, "bad-chunk=big", "a.bin", Outcome::Final, "bad chunked body", kFinal},
      {"ftp_refuse_login", Ftp, "refuse-login", "a.bin", Outcome::Final, "login refused", kFinal},
      {"ftp_missing", Ftp, "plain", "missing.bin", Outcome::Final, "550", kFinal},
      {"ftp_endless_reply", Ftp, "endless-reply", "a.bin", Outcome::Final, "reply too long", kFinal},

      // Retrying is right, but only as long as the options allow.
      {"http_silent", Http, "silent", "a.bin", Outcome::Bounded, "timed out waiting for", kStalled},
      {"http_silent_body", Http, "silent-body=1000", "a.bin", Outcome::Bounded, "timed out waiting for", kStalled},
      {"http_cut_every_5000", Http, "cut-every=5000", "a.bin", Outcome::Bounded, "failed", kRetried},
      {"http_chunked_cut", Http, "chunked-cut=5000", "a.bin", Outcome::Bounded, "failed", kRetried},
      {"ftp_silent_greeting", Ftp, "silent-greeting", "a.bin", Outcome::Bounded, "timed out waiting for", kStalled},
      {"ftp_silent_data", Ftp, "silent-data=1000", "a.bin", Outcome::Bounded, "timed out waiting for", kStalled},
      {"ftp_cut_every_5000", Ftp, "cut-every=5000", "a.bin", Outcome::Bounded, "failed", kRetried},
      {"ftp_pasv_421", Ftp, "pasv-refuse=421", "a.bin", Outcome::Bounded, "failed", kRetried},
      {"ftp_pasv_451", Ftp, "pasv-refuse=451", "a.bin", Outcome::Bounded, "failed", kRetried},
  };
  return rows;
}

struct Timed {
  ts::ProgramRun run;
  double seconds = 0;
};

Timed RunCli(const std::vector<std::string>& args, const std::string& home, int watchdog = kWatchdogSeconds,
             int killafterms = 0) {
  std::vector<std::string> argv = {"-k", "5", std::to_string(watchdog), SKYLARK_CLI};
  argv.insert(argv.end(), args.begin(), args.end());
  const auto start = Clock::now();
  Timed timed;
  timed.run = ts::runProgram("/usr/bin/timeout", argv, {.home = home, .killafterms = killafterms});
  timed.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return timed;
}

std::vector<std::string> GetArgs(const std::string& branches, const std::string& dir, const std::string& url) {
  std::vector<std::string> args = {"get", "-n", branches, "-d", dir};
  args.insert(args.end(), kOptions.begin(), kOptions.end());
  args.push_back(url);
  return args;
}

std::string LastLine(const std::string& output) {
  const size_t end = output.find_last_not_of("\r\n \t");
  if (end == std::string::npos) return {};
  const size_t newline = output.find_last_of("\r\n", end);
  const size_t start = newline == std::string::npos ? 0 : newline + 1;
  return output.substr(start, end + 1 - start);
}

std::string Listing(const std::filesystem::path& dir) {
  std::string names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(dir, error))
    names += " " + entry.path().filename().string();
  return names.empty() ? " (empty)" : names;
}

class Hostile : public CliTest, public ::testing::WithParamInterface<std::tuple<Row, int>> {};

TEST_P(Hostile, EndsRightOrSaysWhy) {
  const auto& [row, branches] = GetParam();
  const std::string expected = Serve("a.bin", kSourceSize, 11);
  ts::FaultServer server(row.protocol, row.modes, files.path());
  const int watchdog =
      row.outcome == Outcome::Sound ? kWatchdogSeconds : static_cast<int>(std::ceil(row.bound)) + kWatchdogPastBound;
  const Timed t = RunCli(GetArgs(std::to_string(branches), dir, server.url(row.path)), home, watchdog);
  const std::string got = Sha("a.bin");
  const std::string last = LastLine(t.run.output);
  const std::string context = std::string(row.modes) + " -n " + std::to_string(branches) + ", exit " +
                              std::to_string(t.run.status) + " after " + std::to_string(t.seconds) +
                              " s, saved:" + Listing(dir) + "\n" + t.run.output + "\nserver log:\n" + server.log();

  // Whatever the row expects.
  if (t.run.status == 0) {
    EXPECT_EQ(got, expected) << "exit 0 with wrong bytes: " << context;
  }
  EXPECT_LT(t.run.peakkib, kPeakLimitKiB) << context;
  EXPECT_NE(t.run.status, 124) << "still running after " << watchdog << " s: " << context;

  switch (row.outcome) {
    case Outcome::Sound:
      EXPECT_EQ(t.run.status, 0) << context;
      EXPECT_EQ(got, expected) << context;
      break;
    case Outcome::Final:
    case Outcome::Bounded:
      EXPECT_NE(t.run.status, 0) << context;
      EXPECT_TRUE(last.find(row.reason) != std::string::npos)
          << "the last line lacks \"" << row.reason << "\": " << context;
      EXPECT_LT(t.seconds, row.bound) << context;
      break;
  }
}

std::string RowName(const ::testing::TestParamInfo<Hostile::ParamType>& info) {
  return std::string(std::get<0>(info.param).label) + "_n" + std::to_string(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(Modes, Hostile, ::testing::Combine(::testing::ValuesIn(Rows()), ::testing::Values(1, 4)),
                         RowName);

class HostileOnce : public CliTest {};

// A task continued from its list after the file on the server was replaced
// by another of the same size: the old bytes must not be joined to the new.
TEST_F(HostileOnce, ChangedFileIsNeverSpliced) {
  constexpr std::int64_t size = 1000000;
  const auto source = files.writeRandomFile("c.bin", size, 21);
  const std::string oldhash = ts::sha256OfFile(source);
  // 2 branches at 100 kB/s each: about 5 s, so the kill lands mid-download.
  ts::NginxServer http(files.path(), {.rateLimit = 100000});
  const std::string list = (out.path() / "tasks.dat").string();
  std::vector<std::string> args = GetArgs("2", dir, http.url("c.bin"));
  args.insert(args.end() - 1, {"--list", list});

  const Timed first = RunCli(args, home, kWatchdogSeconds, 1500);
  ASSERT_EQ(first.run.status, 130) << "the first run should be interrupted mid-download\n" << first.run.output;

  const auto oldtime = std::filesystem::last_write_time(source);
  files.writeRandomFile("c.bin", size, 22);
  // A replaced file carries a new time, so its validators differ.
  std::filesystem::last_write_time(source, oldtime + std::chrono::hours(1));
  const std::string newhash = ts::sha256OfFile(source);

  const Timed second = RunCli(args, home);
  const std::string got = Sha("c.bin");
  EXPECT_LT(second.run.peakkib, kPeakLimitKiB);
  EXPECT_NE(second.run.status, 124) << second.run.output;
  if (second.run.status == 0) {
    EXPECT_NE(got, oldhash) << "exit 0 with the old file\n" << second.run.output;
    EXPECT_EQ(got, newhash) << "exit 0 with neither file: old and new bytes spliced\n" << second.run.output;
  }
}

}  // namespace
