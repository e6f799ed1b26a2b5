// Starts the engine and shows the main window. The window releases the
// engine before its lists go, so no worker posts to a list that is gone.
#include <QApplication>

#include <cstdio>
#include <cstring>

#include "core/defaultset.h"
#include "core/enginemessageevent.h"
#include "core/settingsstore.h"
#include "gui/widgets/messageboxseam.h"
#include "gui/widgets/skylarkicon.h"
#include "lark.h"
#include "mainframe.h"

namespace {
// Read before the window system starts, so both work without a display.
bool AnsweredOnTheCommandLine(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
      std::printf(
          "usage: skylark [Qt options, e.g. -platform offscreen]\n"
          "The download manager's window: browse tasks on the left, download tasks on the right.\n"
          "Settings: ~/.config/Tamberly/skylark.ini. Lists (lark1.dat, lark2.dat): the program's\n"
          "directory, $SKYLARK_HOME when set. Without a window: skylark-cli --help.\n");
      return true;
    }
    if (!std::strcmp(argv[i], "--version")) {
      std::printf("skylark %s\n", SKYLARK_VERSION);
      return true;
    }
  }
  return false;
}
}  // namespace

int main(int argc, char** argv) {
  if (AnsweredOnTheCommandLine(argc, argv)) return 0;
  QApplication app(argc, argv);
  QCoreApplication::setOrganizationName(QStringLiteral("Tamberly"));
  QCoreApplication::setApplicationName(QStringLiteral("skylark"));
  QGuiApplication::setDesktopFileName(QStringLiteral("skylark"));
  QApplication::setWindowIcon(SkylarkIcon());

  lark::startengine();
  lark::setmessageposter(&PostEngineMessage);
  {
    const CSettingsStore settings;
    uint32_t connect = 30, idle = 60;
    settings.ReadNumber(settingname::kConnectTimeout, connect);
    settings.ReadNumber(settingname::kIdleTimeout, idle);
    // Out of range reads as the default: a zero would mean "keep".
    lark::settimeouts((connect >= 1 && connect <= 86400 ? connect : 30) * 1000,
                      (idle >= 1 && idle <= 86400 ? idle : 60) * 1000);
    bool epsv = false;
    settings.ReadFlag(settingname::kExtendedPassive, epsv);
    lark::setextendedpassive(epsv ? 1 : 0);
    // A CA file that does not load leaves the system's store alone in use.
    QString cafile;
    if (settings.ReadText(settingname::kCaCertificate, cafile, kCaCertificateBuffer) && !cafile.isEmpty() &&
        !ApplyCaCertificate(cafile))
      qWarning("skylark: cannot load the CA certificate file %s", qPrintable(cafile));
  }

  CMessageBoxSeam messages(nullptr);
  CMainFrame frame(messages);
  frame.show();
  return QApplication::exec();
}
