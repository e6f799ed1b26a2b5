#include "enginemessageevent.h"

#include <QCoreApplication>

CEngineMessageEvent::CEngineMessageEvent(unsigned msg, void* wparam, int lparam)
    : QEvent(EventType()), m_msg(msg), m_wparam(wparam), m_lparam(lparam) {}

QEvent::Type CEngineMessageEvent::EventType() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

void PostEngineMessage(void* wnd, unsigned msg, void* wparam, int lparam) {
  if (!wnd) return;
  // postEvent takes the event and is safe to call from any thread.
  QCoreApplication::postEvent(static_cast<QObject*>(wnd), new CEngineMessageEvent(msg, wparam, lparam));
}
