// The whole window with its real task lists against loopback servers: the
// window's one download (made on the sheet, it stops, resumes, completes)
// and one site, both kept across a restart, and a list file cut short.
#include <QAction>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTest>

#include "browse/csitebrowslist.h"
#include "core/listfile.h"
#include "core/treegridrules.h"
#include "download/cdownloadlist.h"
#include "downloadbuilder.h"
#include "framefixture.h"
#include "gui/browse/csitebrowsctrl.h"
#include "gui/download/cfiledownctrl.h"
#include "gui/frame/framecommands.h"
#include "gui/frame/logpane.h"
#include "gui/frame/mainframe.h"
#include "gui/frame/quickconnectbar.h"
#include "rununtil.h"

namespace {

using testsupport::sha256OfFile;

class Tasks : public ::testing::Test {
 protected:
  CMainFrame& Open() {
    StartEngine();
    frame = std::make_unique<CMainFrame>(messages);
    frame->SetSheetRunner([this](CNewTaskPages& pages) {
      sheets.append(pages);
      if (!fillsheet) return false;
      fillsheet(pages);
      return true;
    });
    frame->SetDesktopOpener([](const QUrl&) { return true; });
    frame->show();
    return *frame;
  }

  void Exit() {
    messages.answer = true;
    frame->RunCommand(command::kExit);
    frame.reset();
  }

  void TearDown() override {
    if (frame) Exit();
  }

  CDownloadList& Downloads() { return static_cast<CFileDownCtrl*>(frame->DownloadPane().List())->List(); }
  CSiteBrowsList& Sites() { return static_cast<CSiteBrowsCtrl*>(frame->BrowsePane().List())->List(); }

  // Runs the window (its own timers tick the lists) until `done` or the time is up.
  bool RunUntil(const std::function<bool()>& done, int seconds) { return ::RunUntil(done, seconds * 1000); }

  QStringList Rows(CTreeGridModel& model) {
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row) texts.append(model.GetTreeItem(row)->GetData().text);
    return texts;
  }

  FreshHome home;
  CScriptedSeam messages;
  std::unique_ptr<CMainFrame> frame;
  QList<CNewTaskPages> sheets;
  std::function<void(CNewTaskPages&)> fillsheet;
};

TEST_F(Tasks, ADownloadFromTheSheetStopsResumesAndSurvivesARestart) {
  testsupport::ScratchDir served{"skylark-served"};
  const auto source = served.writeRandomFile("b.bin", 2 << 20, 12);
  testsupport::NginxServer http(served.path(), testsupport::NginxOptions{.rateLimit = 200000});
  testsupport::ScratchDir target{"skylark-target"};
  const QString url = QString::fromStdString(http.url("b.bin"));
  fillsheet = [&](CNewTaskPages& pages) {
    FillDownloadPage(pages, url, QString::fromStdString(target.path().string()), 2);
  };
  Open();
  EXPECT_TRUE(messages.notices.isEmpty()) << "missing list files are created without a word";
  frame->RunCommand(command::kNew);
  ASSERT_EQ(Downloads().TaskCount(), 1);
  EXPECT_EQ(Downloads().Model().GetRootAt(0)->ChildCount(), 2);
  CDownRootAppend& task = Downloads().Task(0);
  ASSERT_TRUE(RunUntil([&] { return task.tracking == 1; }, 20)) << http.log();

  // Stop branch on the second branch row: that branch only.
  CTreeGridModel& rows = Downloads().Model();
  rows.Expand(rows.GetRootAt(0));
  rows.SelectRow(2);
  frame->RunCommand(command::kStopBranch);
  EXPECT_EQ(rows.GetTreeItem(2)->GetData().image, kBranchStopped);
  ASSERT_EQ(task.branchstopped.size(), 2u);
  EXPECT_EQ(task.branchstopped[1], 1u);

  // Stop download asks; Cancel leaves it running.
  rows.SelectRow(0);
  messages.answer = false;
  frame->Action(command::kStopDownload)->trigger();
  EXPECT_EQ(messages.questions.value(0), "The whole selected download task will be disconnected, are you sure?");
  int connected = 0;
  EXPECT_EQ(lark::getserverconnected(task.node, connected, 0), 0u);
  EXPECT_EQ(connected, 1);
  messages.answer = true;
  frame->Action(command::kStopDownload)->trigger();
  EXPECT_EQ(lark::getserverconnected(task.node, connected, 0), 0u);
  EXPECT_EQ(connected, 0);
  EXPECT_FALSE(task.AnyBranchActive());

  // Start branch again, then Resume carries the download to its end.
  rows.SelectRow(2);
  frame->RunCommand(command::kStartBranch);
  EXPECT_EQ(task.branchstopped[1], 0u);
  rows.SelectRow(0);
  frame->Action(command::kResumeDownload)->trigger();
  ASSERT_TRUE(RunUntil([&] { return Downloads().IsComplete(0); }, 60)) << http.log();
  EXPECT_EQ(sha256OfFile(target.path() / "b.bin"), sha256OfFile(source));
  frame->RefreshLogs();
  EXPECT_FALSE(frame->DownloadLog()->toPlainText().isEmpty()) << "the selected task's log is shown";

  // Execute local file shows the folder that holds it.
  QList<QUrl> shown;
  frame->SetDesktopOpener([&](const QUrl& folder) {
    shown.append(folder);
    return true;
  });
  frame->RunCommand(command::kExecuteLocalFile);
  ASSERT_EQ(shown.size(), 1);
  EXPECT_EQ(shown[0].toLocalFile(), QString::fromStdString(target.path().string()));

  Exit();
  Open();
  EXPECT_TRUE(messages.notices.isEmpty());
  ASSERT_EQ(Downloads().TaskCount(), 1);
  EXPECT_EQ(Downloads().Task(0).url, url);
  EXPECT_NE(Downloads().Task(0).node, nullptr) << "the task has its node again";

  // Delete asks; Cancel keeps the task, OK removes it.
  ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get())) << "Delete follows the focus";
  Downloads().Model().SelectRow(0);
  frame->DownloadPane().List()->setFocus();
  messages.answer = false;
  frame->Action(command::kDelete)->trigger();
  EXPECT_EQ(Downloads().TaskCount(), 1);
  EXPECT_EQ(messages.questions.last(), "The selected download task will be deleted, are you sure?");
  messages.answer = true;
  frame->Action(command::kDelete)->trigger();
  EXPECT_EQ(Downloads().TaskCount(), 0);
  EXPECT_EQ(Downloads().Model().rowCount(), 0);
}

TEST_F(Tasks, ASiteFromTheQuickConnectBarListsItsDirectoryAndOffersItsFiles) {
  testsupport::ScratchDir served{"skylark-site"};
  served.writeRandomFile("pub/one.bin", 1000, 1);
  served.writeRandomFile("pub/two.bin", 2000, 2);
  testsupport::VsftpdServer ftp(served.path());
  Open();
  CQuickConnectBar* bar = frame->QuickConnectBar();
  bar->UrlBox()->setEditText(QString::fromStdString(ftp.url("pub/")));
  bar->ConnectButton()->click();
  ASSERT_EQ(Sites().RecordCount(), 1);
  EXPECT_TRUE(sheets.isEmpty());
  CTreeGridModel& rows = Sites().Model();
  ASSERT_TRUE(RunUntil([&] { return Rows(rows).contains("two.bin"); }, 30)) << Rows(rows).join(",").toStdString();
  EXPECT_EQ(Rows(rows).mid(0, 2), (QStringList{"127.0.0.1", "pub"}));

  // Download on a file row fills the download page and opens the sheet.
  rows.SelectRow(static_cast<int>(Rows(rows).indexOf("one.bin")));
  frame->RunCommand(command::kDownload);
  QCoreApplication::processEvents();
  ASSERT_EQ(sheets.size(), 1);
  EXPECT_EQ(sheets[0].page, kFileDownPage);
  EXPECT_EQ(sheets[0].download.url, "ftp://127.0.0.1/pub/one.bin");
  EXPECT_EQ(sheets[0].download.port, static_cast<uint32_t>(ftp.port()));
  frame->RefreshLogs();
  EXPECT_TRUE(frame->BrowseLog()->toPlainText().contains("Send command"))
      << frame->BrowseLog()->toPlainText().toStdString();

  Exit();

  Open();
  ASSERT_EQ(Sites().RecordCount(), 1);
  EXPECT_NE(Sites().Record(0)->node, nullptr);
  EXPECT_TRUE(Rows(Sites().Model()).contains("127.0.0.1"));
}

TEST_F(Tasks, AListFileCutShortIsToldKeptAsideAndNotWrittenOverUnkept) {
  // Two sound lists, each with one task, from a first run.
  fillsheet = [&](CNewTaskPages& pages) { FillDownloadPage(pages, "http://127.0.0.1:1/file.zip", {}, 2, false); };
  Open();
  frame->RunCommand(command::kNew);
  frame->QuickConnectBar()->UrlBox()->setEditText("ftp://127.0.0.1:1/");
  frame->QuickConnectBar()->ConnectButton()->click();
  ASSERT_EQ(Downloads().TaskCount(), 1);
  ASSERT_EQ(Sites().RecordCount(), 1);
  Exit();

  // The kept copy's bytes and mode: listdamage_test.
  struct Case {
    const char* file;
    QString notice;
  } cases[] = {{"lark1.dat", "Brows list file error"}, {"lark2.dat", "Down list file error"}};
  for (const Case& c : cases) {
    const QString path = home.Program() + "/" + c.file;
    QByteArray whole;
    ASSERT_TRUE(ReadListFile(path, whole));
    ASSERT_TRUE(WriteListFile(path, whole.left(whole.size() - 6)));
    messages.notices.clear();
    Open();
    ASSERT_EQ(messages.notices.size(), 2) << c.file;
    EXPECT_TRUE(messages.notices[0].startsWith("The list file " + path + " is damaged at byte ")) << c.file;
    EXPECT_TRUE(messages.notices[0].contains(path + ".damaged-")) << c.file;
    EXPECT_EQ(messages.notices[1], c.notice);
    EXPECT_TRUE(frame->NodesRecreated());
    EXPECT_EQ(Downloads().TaskCount() + Sites().RecordCount(), 1) << "the intact list keeps its task";
    frame.reset();
    for (const QString& kept : QDir(home.Program()).entryList({QString(c.file) + ".damaged-*"}, QDir::Files))
      QFile::remove(home.Program() + "/" + kept);
    ASSERT_TRUE(WriteListFile(path, whole));
  }
}

}  // namespace
