// Tells the desktop that a download has ended, where the user sees it with
// the window hidden. Tests put a recorder in its place.
#pragma once

#include <QString>

#include <memory>

class CDesktopNotifier {
 public:
  virtual ~CDesktopNotifier() = default;
  virtual void Notify(const QString& summary, const QString& body) = 0;
};

// The session's notification service over D-Bus; a tray icon's message
// where no such service runs; nothing where neither exists.
std::unique_ptr<CDesktopNotifier> CreateDesktopNotifier();
