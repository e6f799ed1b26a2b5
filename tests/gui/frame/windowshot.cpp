// Draws the main window with a few tasks running against loopback servers
// into a PNG (docs/skylark.png), and the new-task sheet into a second one
// when asked: windowshot OUTPUT.png [SHEET.png]
#include <QApplication>
#include <QDeadlineTimer>
#include <QTest>

#include <cstdio>

#include "browse/csitebrowslist.h"
#include "core/commandids.h"
#include "download/cdownloadlist.h"
#include "downloadbuilder.h"
#include "framefixture.h"
#include "gui/browse/csitebrowsctrl.h"
#include "gui/download/cfiledownctrl.h"
#include "gui/frame/mainframe.h"
#include "gui/frame/quickconnectbar.h"
#include "gui/newtask/cnewtasksheet.h"

namespace {

void RunFor(int ms) {
  QDeadlineTimer deadline(ms);
  while (!deadline.hasExpired()) QTest::qWait(50);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: windowshot OUTPUT.png [SHEET.png]\n");
    return 2;
  }
  FreshHome home;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  QCoreApplication::setOrganizationName(QStringLiteral("Tamberly"));
  QCoreApplication::setApplicationName(QStringLiteral("skylark"));

  testsupport::ScratchDir served{"skylark-shot"};
  served.writeRandomFile("pub/linux/kernel.tar.xz", 24 << 20, 1);
  served.writeRandomFile("pub/linux/README", 4000, 2);
  served.writeRandomFile("pub/linux/checksums.txt", 900, 3);
  served.writeRandomFile("pub/docs/manual.pdf", 300000, 4);
  served.writeRandomFile("pub/release-notes.txt", 12000, 5);
  served.writeRandomFile("video.mp4", 40 << 20, 6);
  served.writeRandomFile("backup.zip", 6 << 20, 7);
  testsupport::NginxServer http(served.path(), testsupport::NginxOptions{.rateLimit = 300000});
  testsupport::VsftpdServer ftp(served.path(), testsupport::VsftpdOptions{.rateLimit = 200000});
  testsupport::ScratchDir target{"skylark-shot-target"};

  StartEngine();
  CScriptedSeam messages;
  CMainFrame frame(messages);
  frame.resize(1100, 620);
  frame.show();
  struct Download {
    std::string url;
    uint32_t branches;
  } downloads[] = {{http.url("video.mp4"), 4}, {ftp.url("pub/linux/kernel.tar.xz"), 3}, {http.url("backup.zip"), 2}};
  for (const Download& d : downloads) {
    frame.SetSheetRunner([&](CNewTaskPages& pages) {
      FillDownloadPage(pages, QString::fromStdString(d.url), QString::fromStdString(target.path().string()),
                       d.branches);
      return true;
    });
    frame.RunCommand(command::kNew);
  }
  frame.QuickConnectBar()->UrlBox()->setEditText(QString::fromStdString(ftp.url("pub/linux/")));
  frame.QuickConnectBar()->ConnectButton()->click();
  RunFor(9000);
  auto& downloadlist = static_cast<CFileDownCtrl*>(frame.DownloadPane().List())->List();
  downloadlist.Model().Expand(downloadlist.Model().GetRootAt(0));
  downloadlist.Model().SelectRow(1);
  auto& sites = static_cast<CSiteBrowsCtrl*>(frame.BrowsePane().List())->List();
  sites.Model().SelectRow(0);
  RunFor(2500);
  frame.QuickConnectBar()->UrlBox()->setEditText(QString());
  bool saved = frame.grab().save(QString::fromLocal8Bit(argv[1]));
  if (argc == 3) {
    CNewTaskSheet sheet(frame.NewTaskPages(), messages, &frame);
    sheet.Tabs()->setCurrentIndex(kFileDownPage);
    sheet.show();
    RunFor(300);
    saved = sheet.grab().save(QString::fromLocal8Bit(argv[2])) && saved;
  }
  messages.answer = true;
  return saved ? 0 : 1;
}
