#include "desktopnotifier.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QSystemTrayIcon>
#include <QVariantMap>

namespace {

constexpr char kService[] = "org.freedesktop.Notifications";
constexpr char kPath[] = "/org/freedesktop/Notifications";
constexpr int kShownMs = 8000;

class CSessionNotifier : public CDesktopNotifier {
 public:
  void Notify(const QString& summary, const QString& body) override {
    // Asked at each notice: the service may start or stop while we run.
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected() && bus.interface() && bus.interface()->isServiceRegistered(QLatin1String(kService))) {
      QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(kService), QLatin1String(kPath),
                                                         QLatin1String(kService), QStringLiteral("Notify"));
      call << QStringLiteral("Skylark") << uint{0} << QStringLiteral("skylark") << summary << body << QStringList{}
           << QVariantMap{} << kShownMs;
      // No reply is awaited: a slow service must not hold the window.
      if (bus.send(call)) return;
    }
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
    if (!m_tray) {
      m_tray = std::make_unique<QSystemTrayIcon>(QApplication::windowIcon());
      m_tray->show();
    }
    m_tray->showMessage(summary, body, QSystemTrayIcon::Information, kShownMs);
  }

 private:
  std::unique_ptr<QSystemTrayIcon> m_tray;
};

}  // namespace

std::unique_ptr<CDesktopNotifier> CreateDesktopNotifier() { return std::make_unique<CSessionNotifier>(); }
