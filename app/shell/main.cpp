// Starts the engine and shows the main window. The window releases the
// engine before its lists go, so no worker posts to a list that is gone.
#include <QApplication>

#include "lark.h"
#include "shell/enginemessageevent.h"
#include "shell/mainframe.h"
#include "shell/messageboxseam.h"
#include "shell/skylarkicon.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QCoreApplication::setOrganizationName(QStringLiteral("Tamberly"));
  QCoreApplication::setApplicationName(QStringLiteral("skylark"));
  QGuiApplication::setDesktopFileName(QStringLiteral("skylark"));
  QApplication::setWindowIcon(SkylarkIcon());

  lark::startengine();
  lark::setmessageposter(&PostEngineMessage);

  CMessageBoxSeam messages(nullptr);
  CMainFrame frame(messages);
  frame.show();
  return QApplication::exec();
}
