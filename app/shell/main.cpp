// Starts the engine, shows the window and releases the engine before the
// windows go, so no worker posts to a window that is gone.
#include <QApplication>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenuBar>

#include "lark.h"
#include "shell/cdefaultsetsheet.h"
#include "shell/enginemessageevent.h"
#include "shell/messageboxseam.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QCoreApplication::setOrganizationName(QStringLiteral("Tamberly"));
  QCoreApplication::setApplicationName(QStringLiteral("skylark"));

  lark::startengine();
  lark::setmessageposter(&PostEngineMessage);

  int status = 0;
  {
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Skylark"));
    window.resize(600, 400);
    CMessageBoxSeam messages(&window);
    CDefaultSetPages pages;
    QMenu* file = window.menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(QStringLiteral("&Default"), QKeySequence(Qt::CTRL | Qt::Key_P), &window,
                    [&] { RunDefaultSet(&window, pages, messages); });
    file->addAction(QStringLiteral("E&xit"), QKeySequence(Qt::CTRL | Qt::Key_Q), &window, &QWidget::close);
    window.show();
    status = QApplication::exec();
    lark::releasedllres();
  }
  return status;
}
