#include "tasknoderemoval.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include "lark.h"

namespace {
constexpr int kPollMs = 100;
}

bool WaitUntilNodeIdle(void* node, std::chrono::milliseconds limit) {
  const QDeadlineTimer deadline(limit);
  bool idle = false;
  bool finished = false;
  QEventLoop loop;
  const auto check = [&] {
    int connected = 1;
    const bool answered = lark::getserverconnected(node, connected, 0) == 0;
    if (answered && connected && !deadline.hasExpired()) return;
    idle = answered && !connected;
    finished = true;
    loop.quit();
  };
  check();
  if (finished) return idle;
  QTimer poll;
  poll.setInterval(kPollMs);
  QObject::connect(&poll, &QTimer::timeout, &loop, check);
  poll.start();
  loop.exec();
  return idle;
}

bool RemoveTaskNode(void* node, std::chrono::milliseconds limit) {
  if (!node) return true;  // a task whose node could not be made holds nothing in the engine
  int connected = 0;
  if (lark::getserverconnected(node, connected, 0) != 0) return false;
  if (connected) {
    lark::disconnect(node, 0);
    if (!WaitUntilNodeIdle(node, limit)) return false;
  }
  return lark::deletenode(node) == 0;
}
