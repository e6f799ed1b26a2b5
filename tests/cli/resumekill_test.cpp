// skylark-cli get killed with SIGKILL again and again: each rerun asks the
// server only for bytes past the positions the list stored, the stored
// positions never move back, and the file ends up whole. Which offset a
// branch resumes from is decided from the list alone, the same for FTP;
// REST itself is the engine's resume tests'.
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
  std::string output;
};

int64_t EpochMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

class ResumeKill : public CliTest {
 protected:
  // A run of get with the list file, killed with SIGKILL after `killafter` ms.
  testsupport::ProgramRun Run(const std::string& url, int killafter = 0) {
    return Get({"-n", std::to_string(kBranches), "--timeout", "20", "--list", listfile, url}, killafter, SIGKILL);
  }

  // The segment table "skylark-cli tasks" shows for the list file, empty
  // while there is none.
  std::vector<Segment> Stored(std::string* shown = nullptr) {
    std::vector<Segment> segments;
    if (!std::filesystem::exists(listfile)) return segments;
    std::filesystem::create_directories(taskshome);
    std::filesystem::copy_file(listfile, taskshome + "/lark2.dat", std::filesystem::copy_options::overwrite_existing);
    const testsupport::ProgramRun tasks = testsupport::runProgram(SKYLARK_CLI, {"tasks"}, {.home = taskshome});
    EXPECT_EQ(tasks.status, 0) << tasks.output;
    if (shown) *shown = tasks.output;
    std::istringstream lines(tasks.output);
    for (std::string line; std::getline(lines, line);) {
      int m = 0;
      unsigned owner = 0;
      Segment s;
      if (std::sscanf(line.c_str(), "  segment %d: %" SCNd64 "-%" SCNd64 " at %" SCNd64 ", branch %u", &m, &s.start,
                      &s.end, &s.pos, &owner) == 5)
        segments.push_back(s);
    }
    return segments;
  }

  // Runs `get` killed after each of `delays`, reading the stored table
  // before every run, then once to its end.
  std::vector<Attempt> KillAndRerun(const std::string& url, const std::vector<int>& delays) {
    std::vector<Attempt> runs;
    for (size_t i = 0; i <= delays.size(); ++i) {
      Attempt run;
      run.stored = Stored(&run.shown);
      run.begins = EpochMs();
      const bool last = i == delays.size();
      const testsupport::ProgramRun r = Run(url, last ? 0 : delays[i]);
      run.output = r.output;
      if (last) {
        EXPECT_EQ(r.status, 0) << run.shown << r.output;
      }
      runs.push_back(std::move(run));
    }
    return runs;
  }

  std::string taskshome = (out.path() / "taskshome").string();
  std::string listfile = (out.path() / "tasks.dat").string();
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

// What went wrong across the runs, one line each: a range asked below a
// stored position of the segment it falls in, a stored position that moved
// back between two runs, or a table that keeps what earlier resumes left.
std::string Rewinds(const std::vector<Attempt>& runs, int* checked) {
  std::string faults;
  *checked = 0;
  for (size_t i = 0; i < runs.size(); ++i) {
    const Attempt& run = runs[i];
    for (int64_t offset : run.asked) {
      for (size_t m = 0; m < run.stored.size(); ++m) {
        const Segment& s = run.stored[m];
        if (offset < s.start || offset >= s.end) continue;
        ++*checked;
        if (offset < s.pos - kSlack)
          faults += "run " + std::to_string(i) + " asked from " + std::to_string(offset) + ", segment " +
                    std::to_string(m) + " was stored at " + std::to_string(s.pos) + "\n" + run.shown;
      }
    }
    int empty = 0;
    for (const Segment& s : run.stored) empty += s.start == s.end;
    if (empty > kBranches)
      faults += "before run " + std::to_string(i) + " the table holds " + std::to_string(empty) + " empty segments\n" +
                run.shown;
    if (i == 0) continue;
    const std::vector<Segment>& before = runs[i - 1].stored;
    for (size_t m = 0; m < before.size() && m < run.stored.size(); ++m)
      if (run.stored[m].start == before[m].start && run.stored[m].pos < before[m].pos)
        faults += "before run " + std::to_string(i) + " segment " + std::to_string(m) + " moved back from " +
                  std::to_string(before[m].pos) + " to " + std::to_string(run.stored[m].pos) + "\n" +
                  runs[i - 1].shown + run.shown + runs[i - 1].output;
  }
  return faults;
}

// nginx logs a request when it ends; its start (end less its duration)
// says which run sent it.
void AttributeHttpRanges(const std::string& log, std::vector<Attempt>& runs) {
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    double ended = 0, took = 0;
    if (std::sscanf(line.c_str(), "%lf %lf", &ended, &took) != 2) continue;
    const int64_t began = std::llround(ended * 1000) - std::llround(took * 1000);
    int64_t offset = 0;
    const size_t range = line.find("\"bytes=");
    if (range != std::string::npos) offset = std::strtoll(line.c_str() + range + 7, nullptr, 10);
    for (size_t i = runs.size(); i-- > 0;)
      if (runs[i].begins <= began) {
        runs[i].asked.push_back(offset);
        break;
      }
  }
}

TEST_F(ResumeKill, HttpRerunsNeverAskForStoredBytesAgain) {
  const std::string sum = Serve("r.bin", 2500000, 21);
  testsupport::NginxServer http(files.path(), {.rateLimit = 25000});
  std::vector<Attempt> runs = KillAndRerun(http.url("r.bin"), KillDelays(20, 1));
  AttributeHttpRanges(http.accessLog(), runs);
  int checked = 0;
  const std::string faults = Rewinds(runs, &checked);
  EXPECT_EQ(faults, "");
  EXPECT_GE(checked, 20) << "too few ranges fell into stored segments to prove anything\n" << http.accessLog();
  EXPECT_EQ(Sha("r.bin"), sum) << runs.back().output;
}

}  // namespace
