// Measures what the engine's workers cost while every node is idle: FTP
// sites logged in with nothing to do, and HTTP requests to a server that
// never answers.
//
//   larkidle FTPURL HTTPURL NODES SECONDS
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
}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: larkidle FTPURL HTTPURL NODES SECONDS\n");
    return 2;
  }
  int nodes = std::atoi(argv[3]);
  int seconds = std::atoi(argv[4]);
  lark::startengine();
  std::vector<void*> all;
  for (int i = 0; i < nodes; ++i) {
    void* site = nullptr;
    lark::addnode(site, argv[1], 1, 0, "", "", "/tmp", true, true, false, false);
    void* hanging = nullptr;
    lark::addnode(hanging, argv[2], 1, 0, "", "", "/tmp", false, true, false, false);
    lark::generateinitcommand(hanging);
    lark::setdownstarted(hanging, 1);
    lark::adjustrestpoint(hanging);
    lark::connect(hanging, 1);
    all.push_back(site);
    all.push_back(hanging);
  }
  std::this_thread::sleep_for(std::chrono::seconds(5));  // logins settle
  double before = cpuseconds();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  double used = cpuseconds() - before;
  int connected = 0;
  for (void* node : all) {
    int c = 0;
    lark::getserverconnected(node, c, 1);
    connected += c;
  }
  std::printf("nodes=%d connected=%d cpu=%.3fs over %ds = %.2f%% of one core\n", nodes * 2, connected, used, seconds,
              100.0 * used / seconds);
  lark::releasedllres();
  return 0;
}
