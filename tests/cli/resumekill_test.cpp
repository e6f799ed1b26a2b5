// skylark-cli get killed with SIGKILL again and again: each rerun continues
// the stored task and asks the server only for bytes past the positions the
// list stored, the stored positions never move back, and the file ends up
// whole. Which offset a branch resumes from is decided from the list alone,
// the same for FTP; REST itself is the engine's resume tests'.
#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>

#include "clifixture.h"

namespace {

constexpr int64_t kSlack = 4096;  // a rerun may ask again for what was written but not yet stored
constexpr int kBranches = 4;

struct Segment {
  int64_t start = 0, end = 0, pos = 0;
};

// The stored state before one run and what the run asked for.
struct Attempt {
  std::vector<Segment> stored;
  std::string shown;           // "skylark-cli tasks" before the run
  int64_t begins = 0;          // epoch ms at the fork
  std::vector<int64_t> asked;  // offsets of the range requests
};

class ResumeKill : public CliTest {
 protected:
  // The segment table "skylark-cli tasks" shows for the list file, empty
  // while there is none.
  std::vector<Segment> Stored(std::string& shown) const {
    std::vector<Segment> segments;
    if (!std::filesystem::exists(listfile)) return segments;
    std::filesystem::create_directories(taskshome);
    std::filesystem::copy_file(listfile, taskshome + "/lark2.dat", std::filesystem::copy_options::overwrite_existing);
    const testsupport::ProgramRun tasks = testsupport::runProgram(SKYLARK_CLI, {"tasks"}, {.home = taskshome});
    EXPECT_EQ(tasks.status, 0) << tasks.output;
    shown = tasks.output;
    std::istringstream lines(tasks.output);
    for (std::string line; std::getline(lines, line);) {
      Segment s;
      if (std::sscanf(line.c_str(), "  segment %*d: %" SCNd64 "-%" SCNd64 " at %" SCNd64, &s.start, &s.end, &s.pos) ==
          3)
        segments.push_back(s);
    }
    return segments;
  }

  // Runs `get` killed after each of `delays`, reading the stored table
  // before every run, then once to its end.
  std::vector<Attempt> KillAndRerun(const std::string& url, const std::vector<int>& delays) {
    std::vector<Attempt> runs(delays.size() + 1);
    for (size_t i = 0; i < runs.size(); ++i) {
      runs[i].stored = Stored(runs[i].shown);
      runs[i].begins =
          std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
              .count();
      const int killafter = i < delays.size() ? delays[i] : 0;
      last = Get({"-n", std::to_string(kBranches), "--timeout", "20", "--list", listfile, url}, killafter, SIGKILL);
    }
    return runs;
  }

  std::string taskshome = (out.path() / "taskshome").string();
  std::string listfile = (out.path() / "tasks.dat").string();
  testsupport::ProgramRun last;  // the run to the end
};

// Seeded, so every run of the test kills at the same moments: mostly
// early (start-up, the first requests, the first save), some after the
// periodic save so that the stored positions move on.
std::vector<int> KillDelays(int count, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<int> delays;
  for (int i = 0; i < count; ++i)
    delays.push_back(random() % 4 == 0 ? 5200 + static_cast<int>(random() % 1000)
                                       : 100 + static_cast<int>(random() % 2400));
  return delays;
}

// What went wrong across the runs, each with the tables it concerns: a
// range asked below a stored position of the segment it falls in, a stored
// position that moved back between two runs, or a table that keeps what
// earlier resumes left.
std::string Rewinds(const std::vector<Attempt>& runs, int& checked) {
  std::ostringstream faults;
  for (size_t i = 0; i < runs.size(); ++i) {
    const std::vector<Segment>& now = runs[i].stored;
    const std::vector<Segment> before = i > 0 ? runs[i - 1].stored : std::vector<Segment>{};
    const auto start = faults.tellp();
    for (const int64_t offset : runs[i].asked)
      for (size_t m = 0; m < now.size(); ++m) {
        if (offset < now[m].start || offset >= now[m].end) continue;
        ++checked;
        if (offset < now[m].pos - kSlack)
          faults << "run " << i << " asked from " << offset << ", segment " << m << "\n";
      }
    if (std::count_if(now.begin(), now.end(), [](const Segment& s) { return s.start == s.end; }) > kBranches)
      faults << "before run " << i << " the table holds empty segments of earlier resumes\n";
    for (size_t m = 0; m < std::min(before.size(), now.size()); ++m)
      if (now[m].start == before[m].start && now[m].pos < before[m].pos)
        faults << "before run " << i << " segment " << m << " moved back\n";
    if (faults.tellp() != start) faults << (i > 0 ? runs[i - 1].shown : "") << runs[i].shown;
  }
  return faults.str();
}

// nginx logs a request when it ends; its start (end less its duration)
// says which run sent it.
void AttributeHttpRanges(const std::string& log, std::vector<Attempt>& runs) {
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    double ended = 0, took = 0;
    if (std::sscanf(line.c_str(), "%lf %lf", &ended, &took) != 2) continue;
    const int64_t began = std::llround(ended * 1000) - std::llround(took * 1000);
    const size_t range = line.find("\"bytes=");
    const int64_t offset = range == std::string::npos ? 0 : std::strtoll(line.c_str() + range + 7, nullptr, 10);
    const auto run = std::find_if(runs.rbegin(), runs.rend(), [&](const Attempt& a) { return a.begins <= began; });
    if (run != runs.rend()) run->asked.push_back(offset);
  }
}

TEST_F(ResumeKill, HttpRerunsNeverAskForStoredBytesAgain) {
  const std::string sum = Serve("r.bin", 2500000, 21);
  testsupport::NginxServer http(files.path(), {.rateLimit = 25000});
  std::vector<Attempt> runs = KillAndRerun(http.url("r.bin"), KillDelays(20, 1));
  EXPECT_EQ(last.status, 0) << runs.back().shown << last.output;
  EXPECT_NE(last.output.find("continuing the stored task"), std::string::npos) << last.output;
  EXPECT_EQ(Sha("r.bin"), sum) << last.output;
  AttributeHttpRanges(http.accessLog(), runs);
  int checked = 0;
  EXPECT_EQ(Rewinds(runs, checked), "");
  EXPECT_GE(checked, 20) << "too few ranges fell into stored segments to prove anything\n" << http.accessLog();
  // The stored task, whole, with every segment.
  std::string shown;
  EXPECT_GE(Stored(shown).size(), 3u) << shown;
  EXPECT_NE(shown.find("r.bin  total 2,500,000  done 2,500,000  100%"), std::string::npos) << shown;
}

}  // namespace
