// The one bounded wait of the program's tests: runs the event loop, calling
// `tick` every `tickms` (the list's own pass, where it has one), until
// `done` holds or `ms` have passed. True when it held.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <functional>

inline bool RunUntil(const std::function<bool()>& done, int ms, const std::function<void()>& tick = {},
                     int tickms = 200) {
  QElapsedTimer clock;
  clock.start();
  qint64 next = 0;
  while (!done()) {
    if (clock.elapsed() >= ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (tick && clock.elapsed() >= next) {
      tick();
      next = clock.elapsed() + tickms;
    }
    QThread::msleep(5);
  }
  return true;
}
