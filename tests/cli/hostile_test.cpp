// skylark-cli get against servers that misbehave on purpose. Each fault ends
// either in the right file with exit 0, or in a non-zero exit whose last line
// names the reason, within a time the options allow. Whatever the fault, an
// exit of 0 means the right bytes, and memory stays small. Faults that end
// the same way in the engine's own tests (a 404, a redirect loop, a refused
// login, a silent server) are not repeated here.
#include <chrono>
#include <cmath>
#include <ostream>
#include <tuple>

#include "clifixture.h"

namespace {

namespace ts = testsupport;

// Small values keep the rows that must wait short. Keep the strings and the
// numbers in step: the bounds below are derived from the numbers.
const std::vector<std::string> kOptions = {"--connect-timeout", "2",    "--idle-timeout", "2",
                                           "--retry-wait",      "0.05", "--tries",        "3"};
constexpr double kIdleTimeout = 2, kRetryWait = 0.05;
constexpr int kTries = 3;

// A final answer on loopback comes within 1 s (it is not retried); 2 s
// leaves room for a slow CI machine.
constexpr double kFinal = 2;
// The waits between the tries of one branch: the first, then doubling.
const double kBackOffs = kRetryWait * (std::pow(2.0, kTries - 1) - 1);
// Every try fails at once; the back-offs take time, and a connection cut
// after some bytes is seen by skylark-cli's once-a-second pass, so the
// tries after the first may each wait for one.
const double kRetried = kBackOffs + (kTries - 1) * 1.0 + kFinal;
// Every try waits one idle timeout for a byte that never comes.
// Over FTP with several branches the probe's REST sample may wait one
// silence of its own before the branches start.
const double kStalled = (kTries + 1) * kIdleTimeout + kBackOffs + kFinal;
// runProgram waits without limit: a program that runs on is stopped (exit
// 124) a little after its bound, or after a minute when it should succeed.
constexpr int kWatchdogSeconds = 60, kWatchdogPastBound = 5;

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
      {"http_norange", Http, "norange", "a.bin", Outcome::Sound},
      {"http_wrong_range", Http, "wrong-range", "a.bin", Outcome::Sound},
      {"http_lf_only", Http, "lf-only", "a.bin", Outcome::Sound},
      {"http_query_redirect", Http, "query-redirect", "redirect/a.bin", Outcome::Sound},
      // 256 KiB per connection is progress, so the tries never run out.
      {"http_cut_every_256k", Http, "cut-every=262144", "a.bin", Outcome::Sound},
      {"ftp_ignore_rest", Ftp, "ignore-rest", "a.bin", Outcome::Sound},
      {"ftp_rest_after", Ftp, "rest-other=17", "a.bin", Outcome::Sound},
      {"ftp_lf_only", Ftp, "lf-only", "a.bin", Outcome::Sound},
      {"ftp_close_every_256k", Ftp, "close-every=256", "a.bin", Outcome::Sound},

      // The server's answer is final: no retry can change it.
      {"http_to_ftp", Http, "redirect-scheme=ftp", "redirect/a.bin", Outcome::Final, "unsupported", kFinal},
      {"http_bad_chunk", Http, "bad-chunk", "a.bin", Outcome::Final, "bad chunked body", kFinal},
      {"ftp_endless_reply", Ftp, "endless-reply", "a.bin", Outcome::Final, "reply too long", kFinal},

      // Retrying is right, but only as long as the options allow.
      {"http_silent_body", Http, "silent-body=1000", "a.bin", Outcome::Bounded, "timed out waiting for", kStalled},
      {"http_chunked_cut", Http, "chunked-cut=5000", "a.bin", Outcome::Bounded, "failed", kRetried},
      {"ftp_silent_data", Ftp, "silent-data=1000", "a.bin", Outcome::Bounded, "timed out waiting for", kStalled},
      {"ftp_pasv_451", Ftp, "pasv-refuse=451", "a.bin", Outcome::Bounded, "failed", kRetried},
  };
  return rows;
}

class Hostile : public CliTest, public ::testing::WithParamInterface<std::tuple<Row, int>> {};

TEST_P(Hostile, EndsRightOrSaysWhy) {
  const auto& [row, branches] = GetParam();
  const std::string expected = Serve("a.bin", 3 << 20, 11);
  ts::FaultServer server(row.protocol, row.modes, files.path());
  const int watchdog =
      row.outcome == Outcome::Sound ? kWatchdogSeconds : static_cast<int>(std::ceil(row.bound)) + kWatchdogPastBound;
  std::vector<std::string> args = {
      "-k", "5", std::to_string(watchdog), SKYLARK_CLI, "get", "-n", std::to_string(branches), "-d", dir};
  args.insert(args.end(), kOptions.begin(), kOptions.end());
  args.push_back(server.url(row.path));
  const auto start = std::chrono::steady_clock::now();
  const ts::ProgramRun run = ts::runProgram("/usr/bin/timeout", args, {.home = home});
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const std::string context = std::string(row.modes) + " -n " + std::to_string(branches) + ", exit " +
                              std::to_string(run.status) + " after " + std::to_string(seconds) + " s\n" + run.output +
                              "\nserver log:\n" + server.log();

  // Whatever the row expects.
  if (run.status == 0 || row.outcome == Outcome::Sound) {
    EXPECT_EQ(Sha("a.bin"), expected) << "wrong bytes: " << context;
  }
  EXPECT_LT(run.peakkib, 32 * 1024) << context;
  EXPECT_NE(run.status, 124) << "still running after " << watchdog << " s: " << context;
  EXPECT_EQ(run.status == 0, row.outcome == Outcome::Sound) << context;
  if (row.outcome != Outcome::Sound) {
    EXPECT_NE(LastLine(run.output).find(row.reason), std::string::npos)
        << "the last line lacks \"" << row.reason << "\": " << context;
    EXPECT_LT(seconds, row.bound) << context;
  }
}

std::string RowName(const ::testing::TestParamInfo<Hostile::ParamType>& info) {
  return std::string(std::get<0>(info.param).label) + "_n" + std::to_string(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(Modes, Hostile, ::testing::Combine(::testing::ValuesIn(Rows()), ::testing::Values(1, 4)),
                         RowName);

}  // namespace
