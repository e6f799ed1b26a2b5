// Many downloads at once through the program's own scheduler: TASKS tasks of
// BRANCHES branches each, all from one throttled server. Reports the total
// time against the ideal (every connection at its limit from the start) and
// how long the scheduler's once-a-second tick takes with every row shown,
// and how soon the first byte of the first task is written after it was
// created (the call the new-task sheet's OK makes).
//
//   manytasks URL SIZE TASKS BRANCHES RATE DIR
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/enginemessageevent.h"
#include "core/messageseam.h"
#include "download/cdownloadlist.h"
#include "lark.h"

namespace {
class SilentSeam : public CMessageSeam {
 public:
  void Notice(const QString&) override {}
  bool Ask(const QString&) override { return true; }
};
}  // namespace

int main(int argc, char** argv) {
  if (argc < 7) {
    std::fprintf(stderr, "usage: manytasks URL SIZE TASKS BRANCHES RATE DIR\n");
    return 2;
  }
  QCoreApplication app(argc, argv);
  const QString url = QString::fromLocal8Bit(argv[1]);
  const double size = std::atof(argv[2]);
  const int tasks = std::atoi(argv[3]);
  const int branches = std::atoi(argv[4]);
  const double rate = std::atof(argv[5]);
  const QString dir = QString::fromLocal8Bit(argv[6]);
  lark::startengine();
  lark::setmessageposter(&PostEngineMessage);
  SilentSeam seam;
  CDownloadList list(seam);
  list.SetListFilePath({});
  QElapsedTimer clock;
  clock.start();
  for (int i = 0; i < tasks; ++i) {
    const QString target = dir + "/" + QString::number(i);
    if (list.CreateDownloadTask(url, branches, 0, {}, {}, target, true, true, false) != 1) return 1;
  }
  double firstbyte = -1;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    void* branch = nullptr;
    for (unsigned b = 1; firstbyte < 0 && lark::getdownbranch(list.Task(0).node, b, branch) == 0; ++b) {
      int64_t at = 0, start = 0;
      lark::getfilepointer(branch, at, 1);
      lark::getfilepointer(branch, start, 0);
      if (at > start) firstbyte = clock.nsecsElapsed() / 1e6;
    }
    if (firstbyte >= 0) watch.stop();
  });
  watch.start(1);
  std::vector<double> ticks;
  double slowest = 0, slowestat = 0;  // the slowest pass, and when it ran
  QTimer timer;
  auto tick = [&] {
    QElapsedTimer tick;
    tick.start();
    list.downloadtick();
    ticks.push_back(tick.nsecsElapsed() / 1e6);
    if (ticks.back() > slowest) {
      slowest = ticks.back();
      slowestat = clock.elapsed() / 1000.0;
    }
    bool done = true;
    for (int i = 0; i < list.TaskCount(); ++i) done = done && list.IsComplete(i);
    if (done || clock.elapsed() > 600000) app.quit();
  };
  QObject::connect(&timer, &QTimer::timeout, tick);
  timer.start(1000);
  // As skylark-cli does: a branch the task counts on that has let go is
  // acted on at once, so the total time is not rounded up to the next tick.
  QTimer ends;
  QObject::connect(&ends, &QTimer::timeout, [&] {
    bool ended = false;
    for (int i = 0; i < list.TaskCount() && !ended; ++i) {
      const CDownRootAppend& t = list.Task(i);
      for (unsigned b = 1; b <= t.branchactive.size() && !ended; ++b) {
        void* branch = nullptr;
        int c = 0;
        if (t.branchactive[b - 1] == 1 && lark::getdownbranch(t.node, b, branch) == 0 &&
            lark::getserverconnected(branch, c, 1) == 0 && !c)
          ended = true;
      }
    }
    if (ended) tick();
  });
  ends.start(10);
  app.exec();
  const double seconds = clock.elapsed() / 1000.0;
  int complete = 0;
  for (int i = 0; i < list.TaskCount(); ++i) complete += list.IsComplete(i) ? 1 : 0;
  std::sort(ticks.begin(), ticks.end());
  const double ideal = size / (branches * rate);
  std::printf("first byte of the first task %.1f ms after it was created\n", firstbyte);
  std::printf(
      "%d of %d tasks complete, %d rows; %.2f s against an ideal %.2f s (%.3fx); tick median %.2f ms, max %.2f ms\n",
      complete, tasks, tasks * (branches + 1), seconds, ideal, seconds / ideal,
      ticks.empty() ? 0.0 : ticks[ticks.size() / 2], ticks.empty() ? 0.0 : ticks.back());
  std::printf("slowest pass %.2f ms at %.2f s; passes: %zu\n", slowest, slowestat, ticks.size());
  lark::releasedllres();
  return complete == tasks ? 0 : 1;
}
