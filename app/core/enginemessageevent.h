// The engine's completion messages, delivered on the window thread.
//
// The engine calls the installed poster from its worker threads; the poster
// only posts an event, so the message is handled by the QObject that asked
// for it, on that object's thread. The `wnd` a request names must be that
// QObject, passed as void*, and it must outlive the engine (the engine is
// released before the windows are destroyed).
#pragma once

#include <QEvent>

class CEngineMessageEvent : public QEvent {
 public:
  CEngineMessageEvent(unsigned msg, void* wparam, int lparam);
  static QEvent::Type EventType();

  unsigned Message() const { return m_msg; }
  void* Node() const { return m_wparam; }
  int LParam() const { return m_lparam; }

 private:
  unsigned m_msg;
  void* m_wparam;
  int m_lparam;
};

// The poster to install with lark::setmessageposter.
void PostEngineMessage(void* wnd, unsigned msg, void* wparam, int lparam);
