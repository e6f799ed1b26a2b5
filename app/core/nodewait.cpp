#include "nodewait.h"

#include <QDeadlineTimer>
#include <QTimer>

#include "lark.h"

namespace {
constexpr int kPollMs = 100;
}

bool WaitUntilNodeIdle(void* node, std::chrono::milliseconds limit, int thisnodeonly,
                       QEventLoop::ProcessEventsFlags flags) {
  const QDeadlineTimer deadline(limit);
  bool idle = false;
  bool finished = false;
  QEventLoop loop;
  const auto check = [&] {
    int connected = 1;
    const bool answered = lark::getserverconnected(node, connected, thisnodeonly) == 0;
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
  loop.exec(flags);
  return idle;
}
