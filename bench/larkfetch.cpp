// Drives the engine API directly: fetches one file of known size over N
// branches, each with its own byte range, and reports the time from the
// first written byte to the last and the process's CPU seconds.
//
//   larkfetch URL SIZE BRANCHES DIR [--active]
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "lark.h"

namespace {
double cpuseconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int64_t written(const std::vector<void*>& branches, const std::vector<int64_t>& starts) {
  int64_t total = 0;
  for (size_t i = 0; i < branches.size(); ++i) {
    int64_t at = 0;
    lark::getfilepointer(branches[i], at, 1);
    total += at - starts[i];
  }
  return total;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: larkfetch URL SIZE BRANCHES DIR [--active]\n");
    return 2;
  }
  std::string url = argv[1];
  int64_t size = std::atoll(argv[2]);
  unsigned count = static_cast<unsigned>(std::atoi(argv[3]));
  std::string dir = argv[4];
  bool active = argc > 5 && std::string(argv[5]) == "--active";

  lark::startengine();
  void* task = nullptr;
  if (lark::addnode(task, url, count, 0, "", "", dir, false, !active, false, false) != 1) {
    std::fprintf(stderr, "not a file URL: %s\n", url.c_str());
    return 2;
  }
  std::vector<void*> branches(count);
  std::vector<int64_t> starts(count);
  for (unsigned i = 0; i < count; ++i) {
    lark::getdownbranch(task, i + 1, branches[i]);
    starts[i] = size / count * i;
    int64_t end = i + 1 == count ? size : size / count * (i + 1);
    lark::generateinitcommand(branches[i]);
    lark::setdownstarted(branches[i], 1);
    lark::setfilepointer(branches[i], starts[i], 0);
    lark::setfilepointer(branches[i], starts[i], 1);
    lark::setfilepointer(branches[i], end, 2);
    lark::adjustrestpoint(branches[i]);
  }
  double cpubefore = cpuseconds();
  for (void* branch : branches) lark::connect(branch, 1);

  using clock = std::chrono::steady_clock;
  clock::time_point first{}, last{};
  int64_t seen = 0;
  const auto limit = clock::now() + std::chrono::minutes(10);
  for (;;) {
    int connected = 0;
    lark::getserverconnected(task, connected, 0);
    int64_t now = written(branches, starts);
    if (now > 0 && seen == 0) first = clock::now();
    if (now != seen) last = clock::now();
    seen = now;
    if (!connected || clock::now() > limit) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  double cpu = cpuseconds() - cpubefore;
  double seconds = std::chrono::duration<double>(last - first).count();
  std::printf("bytes=%lld seconds=%.3f cpu=%.3f MiBps=%.1f\n", static_cast<long long>(seen), seconds, cpu,
              seconds > 0 ? seen / seconds / 1048576.0 : 0.0);
  lark::releasedllres();
  return seen == size ? 0 : 1;
}
