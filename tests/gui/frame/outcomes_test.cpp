// The whole window with its real task lists against loopback servers, and
// what the user is told: a first window that fits the screen and a layout
// that comes back, a task's state in its row, the reason of a failure as the
// tooltip and in the status bar, speeds that add up, the questions before a
// stop, an exit or a delete, commands on several tasks at once, a site's
// files offered to the sheet, the port a URL names, and input refused before
// any task is made. (A list file cut short: listdamage_test, and the frame's
// notice: mainframe_test.)
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>

#include <algorithm>

#include "browse/csitebrowslist.h"
#include "core/createtask.h"
#include "core/treegridrules.h"
#include "framefixture.h"
#include "gui/browse/csitebrowsctrl.h"
#include "gui/frame/logpane.h"
#include "gui/frame/quickconnectbar.h"
#include "gui/widgets/urlhistorybox.h"
#include "rununtil.h"

namespace {

using testsupport::sha256OfFile;

class Outcomes : public WindowTest {
 protected:
  void SetUp() override { Open(); }

  CSiteBrowsList& Sites() { return static_cast<CSiteBrowsCtrl*>(frame->BrowsePane().List())->List(); }
  const CItemInfo& Row(int task, int branch = -1) {
    CTreeItem* root = Downloads().RootOf(task);
    return branch < 0 ? root->GetData() : Downloads().Model().GetChildAt(root, branch)->GetData();
  }
  QString Cell(int task, int column, int role = Qt::DisplayRole) {
    return Downloads().Model().index(Downloads().RootOf(task)->GetRow(), column).data(role).toString();
  }
  static QStringList Texts(CTreeGridModel& model) {
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row) texts.append(model.GetTreeItem(row)->GetData().text);
    return texts;
  }
  static int64_t Number(const QString& text) {
    QString digits = text;
    digits.remove(QRegularExpression(QStringLiteral("[^0-9]")));
    return digits.toLongLong();
  }
  void Key(int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(&Ctrl(), &press);
  }
};

TEST_F(Outcomes, TheFirstWindowFitsTheScreenAndTheLayoutComesBack) {
  const std::pair<QSize, QSize> sizes[] = {{{1600, 1000}, {1120, 700}},
                                           {{1280, 800}, {1000, 650}},  // never smaller than that
                                           {{800, 600}, {800, 600}}};   // nor larger than the screen
  for (const auto& [screen, first] : sizes) EXPECT_EQ(CMainFrame::FirstSize(screen), first) << screen.width();
  EXPECT_EQ(frame->size(), CMainFrame::FirstSize(frame->screen()->availableGeometry().size()));

  frame->setGeometry(40, 30, 700, 500);
  Ctrl().setColumnWidth(CDownloadList::kPercentColumn, 123);
  const QRect placed = frame->geometry();
  Close();
  Open();
  EXPECT_EQ(frame->geometry(), placed);
  EXPECT_EQ(Ctrl().columnWidth(CDownloadList::kPercentColumn), 123);
  EXPECT_FALSE(Ctrl().EmptyHint().isEmpty());
}

// One download through the window from start to end, a restart on the way.
TEST_F(Outcomes, EveryStateOfADownloadShowsInItsRowAndTheStatusBar) {
  testsupport::ScratchDir served{"skylark-served"};
  const auto source = served.writeRandomFile("b.bin", 2 << 20, 5);
  constexpr int64_t kLimit = 131072;
  testsupport::NginxServer http(served.path(), testsupport::NginxOptions{.rateLimit = kLimit});
  testsupport::ScratchDir target{"skylark-target"};
  const QString dir = QString::fromStdString(target.path().string());

  EXPECT_TRUE(messages.notices.isEmpty()) << "missing list files are created without a word";
  NewDownload(QString::fromStdString(http.url("b.bin")), dir, 2);
  ASSERT_EQ(Downloads().TaskCount(), 1);
  ASSERT_TRUE(RunUntil([&] { return Row(0).status == QStringLiteral("Downloading"); }, 20000)) << http.log();
  ASSERT_TRUE(RunUntil([&] { return frame->Summary()->text().startsWith(QStringLiteral("1 running, ")); }, 3000))
      << frame->Summary()->text().toStdString();

  // The task's speed is its branches' sum, each near the server's limit.
  std::vector<int64_t> first, second;
  for (int pass = 0; pass < 3; ++pass) {
    const QString before = Row(0).GetSubItem(3);
    RunUntil([&] { return Row(0).GetSubItem(3) != before; }, 3000);
    const int64_t a = Number(Row(0, 0).GetSubItem(3)), b = Number(Row(0, 1).GetSubItem(3));
    EXPECT_EQ(Number(Row(0).GetSubItem(3)), a + b) << "pass " << pass;
    if (pass > 0) first.push_back(a), second.push_back(b);
  }
  for (std::vector<int64_t>* speeds : {&first, &second}) {
    std::sort(speeds->begin(), speeds->end());
    EXPECT_NEAR(static_cast<double>((*speeds)[speeds->size() / 2]), kLimit, kLimit * 0.15);
  }

  // Stop and start branch act on the selected branch row only.
  CTreeGridModel& rows = Downloads().Model();
  CDownRootAppend& task = Downloads().Task(0);
  rows.Expand(Downloads().RootOf(0));
  rows.SelectRow(2);
  frame->RunCommand(command::kStopBranch);
  EXPECT_EQ(rows.GetTreeItem(2)->GetData().image, kBranchStopped);
  EXPECT_EQ(task.branchstopped, (std::vector<uint32_t>{0, 1}));
  frame->RunCommand(command::kStartBranch);
  EXPECT_EQ(task.branchstopped, (std::vector<uint32_t>{0, 0}));

  // Stop download asks; Cancel leaves it running. Stopped, the row says so
  // and nothing shows a speed.
  rows.SelectRow(0);
  messages.answer = false;
  frame->Action(command::kStopDownload)->trigger();
  EXPECT_EQ(messages.questions.value(0), "The whole selected download task will be disconnected, are you sure?");
  int connected = 0;
  EXPECT_EQ(lark::getserverconnected(task.node, connected, 0), 0u);
  EXPECT_EQ(connected, 1);
  messages.answer = true;
  frame->Action(command::kStopDownload)->trigger();
  ASSERT_TRUE(RunUntil([&] { return Row(0).status == QStringLiteral("Stopped"); }, 3000))
      << Row(0).status.toStdString();
  EXPECT_EQ(Row(0).stateimage, kTaskStopped);
  for (int branch : {-1, 0, 1}) EXPECT_EQ(Row(0, branch).GetSubItem(3), QStringLiteral("0")) << branch;

  // Running at exit, it goes on by itself at the next start, from where it
  // stood.
  frame->RunCommand(command::kResumeDownload);
  ASSERT_TRUE(RunUntil([&] { return Row(0).status == QStringLiteral("Downloading"); }, 20000)) << http.log();
  messages.questions.clear();
  frame->RunCommand(command::kExit);
  EXPECT_EQ(messages.questions.value(0),
            QStringLiteral("1 download is running; it will continue at the next start. Are you sure to exit?"));
  frame.reset();
  const size_t requests = http.accessLog().size();
  Open();
  ASSERT_EQ(Downloads().TaskCount(), 1);
  ASSERT_TRUE(RunUntil([&] { return Downloads().IsComplete(0); }, 60000)) << http.log();
  EXPECT_EQ(sha256OfFile(target.path() / "b.bin"), sha256OfFile(source));
  EXPECT_GT(http.accessLog().size(), requests);
  EXPECT_EQ(http.accessLog().find("\"bytes=0-\"", requests), std::string::npos);
  ASSERT_TRUE(RunUntil([&] { return Row(0).status == QStringLiteral("Completed"); }, 3000));
  EXPECT_EQ(frame->statusBar()->currentMessage(), QStringLiteral("b.bin: Completed"));
  EXPECT_EQ(notices, QStringList{"b.bin: Completed | "});
  Downloads().Model().SelectRow(0);
  frame->RefreshLogs();
  EXPECT_EQ(frame->Summary()->text(), QStringLiteral("No download running"));
  EXPECT_FALSE(frame->DownloadLog()->toPlainText().isEmpty()) << "the selected task's log is shown";
  frame->RunCommand(command::kExecuteLocalFile);
  ASSERT_EQ(opened.size(), 1) << "the folder that holds the file";
  EXPECT_EQ(opened[0].toLocalFile(), dir);
}

// Several tasks: a URL already listed, the keys, commands on a selection, and
// which files a delete takes with it.
TEST_F(Outcomes, SelectedTasksGoTogetherAndDeleteTakesOnlyTheirOwnFiles) {
  testsupport::ScratchDir served{"skylark-served"};
  const auto a = served.writeRandomFile("a.bin", 1 << 20, 1), b = served.writeRandomFile("b.bin", 1 << 20, 2);
  served.writeRandomFile("c.bin", 4 << 20, 3);
  served.writeRandomFile("d.bin", 4 << 20, 4);
  testsupport::NginxServer http(served.path(), testsupport::NginxOptions{.rateLimit = 131072});
  testsupport::ScratchDir target{"skylark-target"};
  const QString dir = QString::fromStdString(target.path().string());
  const std::filesystem::path mine = target.writeFile("mine.bin", "the user's own");
  auto url = [&](const char* name) { return QString::fromStdString(http.url(name)); };
  for (const char* name : {"a.bin", "b.bin", "c.bin", "d.bin"}) NewDownload(url(name), dir, 2);
  NewDownload(url("mine.bin"), dir, 1, false);  // never started: the file of that name is not its own
  ASSERT_EQ(Downloads().TaskCount(), 5);

  // The same URL again is a question, and No adds nothing.
  messages.answer = false;
  NewDownload(url("a.bin"), dir, 2);
  EXPECT_EQ(Downloads().TaskCount(), 5);
  EXPECT_EQ(messages.questions.value(0),
            url("a.bin") + QStringLiteral(" is already in the download list. Add it again?"));

  // While it runs, a task tells its time left and its sizes readably.
  ASSERT_TRUE(RunUntil([&] { return Cell(0, CDownloadList::kTimeLeftColumn).contains(u':'); }, 20000))
      << Cell(0, CDownloadList::kTimeLeftColumn).toStdString();
  EXPECT_TRUE(Cell(0, 2, Qt::ToolTipRole).contains(QStringLiteral(" of 1.0 MiB, ")))
      << Cell(0, 2, Qt::ToolTipRole).toStdString();

  // End and Home go to the last and first row and leave the list's sideways
  // scroll alone, as does a right click; Enter resumes without opening a row.
  CTreeGridModel& rows = Downloads().Model();
  rows.Expand(Downloads().RootOf(1));
  Ctrl().resize(300, Ctrl().height());
  QScrollBar* sideways = Ctrl().horizontalScrollBar();
  sideways->setValue(sideways->maximum() / 2);
  const int scrolled = sideways->value();
  ASSERT_GT(scrolled, 0);
  Key(Qt::Key_End);
  EXPECT_EQ(rows.GetSelectedRow(), rows.rowCount() - 1);
  Key(Qt::Key_Home);
  EXPECT_EQ(rows.GetSelectedRow(), 0);
  EXPECT_EQ(sideways->value(), scrolled);
  Key(Qt::Key_Return);
  EXPECT_TRUE(Downloads().RootOf(0)->IsCollapsed());
  const QRect branch = Ctrl().visualRect(rows.index(Downloads().RootOf(2)->GetRow() - 1, CDownloadList::kStatusColumn));
  EXPECT_TRUE(Ctrl().BranchPopupAt(branch.center()));
  EXPECT_EQ(sideways->value(), scrolled);

  // Both selected: one question stops both.
  auto select = [&](std::initializer_list<int> tasks) {
    rows.SelectRow(Downloads().RootOf(*tasks.begin())->GetRow());
    for (int task : tasks)
      rows.GetSelectionModel()->select(rows.index(Downloads().RootOf(task)->GetRow(), 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
  };
  select({0, 1});
  messages.answer = true;
  frame->RunCommand(command::kStopDownload);
  EXPECT_EQ(messages.questions.last(),
            QStringLiteral("The 2 selected download tasks will be disconnected, are you sure?"));
  for (int task : {0, 1}) {
    EXPECT_EQ(Cell(task, CDownloadList::kStatusColumn), QStringLiteral("Stopped")) << task;
    EXPECT_EQ(Cell(task, CDownloadList::kTimeLeftColumn), QString::fromUtf8("\u2014")) << task;
  }

  // Cancel keeps the task and its file; a started task offers to take its
  // file along, one never started does not.
  Ctrl().setFocus();  // Delete acts on the list that has the focus
  messages.answer = false;
  select({2});
  frame->RunCommand(command::kDelete);
  EXPECT_EQ(messages.questions.last(), "The selected download task will be deleted, are you sure?");
  EXPECT_EQ(Downloads().TaskCount(), 5);
  struct Case {
    const char* name;
    bool tick;
    bool offered;
    bool remains;
  } cases[] = {{"mine.bin", true, false, true}, {"c.bin", false, true, true}, {"d.bin", true, true, false}};
  for (const Case& c : cases) {
    messages.options.clear();
    messages.answer = true;
    messages.tick = c.tick;
    int task = 0;
    while (task < Downloads().TaskCount() && Row(task).text != QString::fromLatin1(c.name)) ++task;
    ASSERT_LT(task, Downloads().TaskCount()) << c.name;
    select({task});
    frame->RunCommand(command::kDelete);
    EXPECT_EQ(messages.options.contains(QStringLiteral("Delete the partial file")), c.offered) << c.name;
    EXPECT_EQ(std::filesystem::exists(target.path() / c.name), c.remains) << c.name;
  }
  ASSERT_EQ(Downloads().TaskCount(), 2);
  EXPECT_EQ(testsupport::readWholeFile(mine), "the user's own");

  // Resume brings both in, and one question deletes both.
  select({0, 1});
  frame->RunCommand(command::kResumeDownload);
  ASSERT_TRUE(RunUntil([&] { return Downloads().IsComplete(0) && Downloads().IsComplete(1); }, 60000)) << http.log();
  EXPECT_EQ(sha256OfFile(target.path() / "a.bin"), sha256OfFile(a));
  EXPECT_EQ(sha256OfFile(target.path() / "b.bin"), sha256OfFile(b));
  frame->RunCommand(command::kDelete);
  EXPECT_EQ(messages.questions.last(), QStringLiteral("The 2 selected download tasks will be deleted, are you sure?"));
  EXPECT_EQ(Downloads().TaskCount(), 0);
}

// The one site browsed through the window: the bar makes it at once with
// its user, it lists, and a file row goes to the sheet; a file's URL in the
// bar goes there too, and the bar's history completes what is typed.
TEST_F(Outcomes, ASiteFromTheQuickConnectBarListsItsDirectoryAndOffersItsFiles) {
  testsupport::ScratchDir served{"skylark-site"};
  served.writeRandomFile("pub/one.bin", 1000, 1);
  served.writeRandomFile("pub/two.bin", 2000, 2);
  testsupport::PyftpdServer ftp(served.path());
  CQuickConnectBar* bar = frame->QuickConnectBar();
  const QString site = QString::fromStdString(ftp.url("pub/"));
  bar->UrlBox()->setEditText(site);
  bar->UserEdit()->setText("tester");
  bar->PassEdit()->setText("secret");
  bar->ConnectButton()->click();
  ASSERT_EQ(Sites().RecordCount(), 1);
  EXPECT_TRUE(sheets.isEmpty());
  CTreeGridModel& rows = Sites().Model();
  ASSERT_TRUE(RunUntil([&] { return Texts(rows).contains("two.bin"); }, 30000)) << Texts(rows).join(",").toStdString();
  EXPECT_EQ(Texts(rows).mid(0, 2), (QStringList{QStringLiteral("tester@127.0.0.1:%1").arg(ftp.port()), "pub"}));

  // Download on a file row fills the download page and opens the sheet.
  rows.SelectRow(static_cast<int>(Texts(rows).indexOf("one.bin")));
  frame->RunCommand(command::kDownload);
  QCoreApplication::processEvents();
  ASSERT_EQ(sheets.size(), 1);
  EXPECT_EQ(sheets[0].page, kFileDownPage);
  EXPECT_EQ(sheets[0].download.url, "ftp://127.0.0.1/pub/one.bin");
  EXPECT_EQ(sheets[0].download.port, static_cast<uint32_t>(ftp.port()));
  EXPECT_EQ(sheets[0].download.user, "tester");
  frame->RefreshLogs();
  EXPECT_TRUE(frame->BrowseLog()->toPlainText().contains("Send command"))
      << frame->BrowseLog()->toPlainText().toStdString();

  bar->UrlBox()->setEditText("http://127.0.0.1:1/a.zip");
  bar->UserEdit()->setText("me\nsecond line");
  bar->PassEdit()->setText("pw");
  bar->ConnectButton()->click();
  QCoreApplication::processEvents();
  ASSERT_EQ(sheets.size(), 2);
  EXPECT_EQ(sheets[1].page, kFileDownPage);
  EXPECT_EQ(sheets[1].download.url, "http://127.0.0.1:1/a.zip");
  EXPECT_EQ(sheets[1].download.user, "me");
  EXPECT_EQ(sheets[1].download.pass, "pw");
  EXPECT_EQ(Downloads().TaskCount(), 0);
  EXPECT_EQ(QApplication::focusWidget(), bar->UrlBox());

  bar->UrlBox()->Fill();
  bar->UrlBox()->setEditText(QString());
  QTest::keyClick(bar->UrlBox()->lineEdit(), Qt::Key_F);
  EXPECT_EQ(bar->UrlBox()->currentText(), site);
  EXPECT_EQ(bar->UrlBox()->lineEdit()->cursorPosition(), 1);
  QTest::keyClick(bar->UrlBox()->lineEdit(), Qt::Key_X);
  EXPECT_EQ(bar->UrlBox()->currentText(), "fx");

  // A cancelled question leaves the sheet free for the next URL.
  fillsheet = [](CNewTaskPages& pages) {
    pages.page = kFileDownPage;  // a site URL typed on the download page
    pages.download.url = "ftp://127.0.0.1:1/pub/";
  };
  messages.answer = false;
  frame->RunCommand(command::kNew);
  EXPECT_EQ(Sites().RecordCount(), 1);
  EXPECT_FALSE(frame->NewTaskPages().open);
  frame->OfferUrl("ftp://127.0.0.1:1/next/");
  QCoreApplication::processEvents();
  EXPECT_EQ(sheets.size(), 4);
}

TEST_F(Outcomes, ARefusedConnectionIsRetriedAndAnUnknownHostFails) {
  testsupport::ScratchDir target{"skylark-target"};
  const QString dir = QString::fromStdString(target.path().string());
  NewDownload(QStringLiteral("http://127.0.0.1:9/a.bin"), dir, 1);  // nothing listens on discard
  ASSERT_EQ(Downloads().TaskCount(), 1);
  ASSERT_TRUE(RunUntil([&] { return Row(0).status.startsWith(QStringLiteral("Retrying in ")); }, 20000))
      << Row(0).status.toStdString();
  EXPECT_FALSE(Row(0).statustip.isEmpty()) << "the last try's reason";

  // No resolver answers ".invalid" with an address; short resolver waits
  // keep a machine without DNS from making the three lookups slow.
  qputenv("RES_OPTIONS", "timeout:1 attempts:1");
  NewDownload(QStringLiteral("http://nosuchhost.invalid/c.bin"), dir, 1);
  ASSERT_EQ(Downloads().TaskCount(), 2);
  ASSERT_TRUE(RunUntil([&] { return Row(1).status == QStringLiteral("Failed"); }, 60000))
      << Row(1).status.toStdString();
  EXPECT_EQ(Row(1).stateimage, kTaskFailed);
  EXPECT_EQ(Row(1).statustip, QStringLiteral("host not found: nosuchhost.invalid"));
  const QModelIndex status = Downloads().Model().index(Downloads().RootOf(1)->GetRow(), CDownloadList::kStatusColumn);
  EXPECT_EQ(Downloads().Model().data(status, Qt::ToolTipRole).toString(), Row(1).statustip);
  EXPECT_EQ(frame->statusBar()->currentMessage(), QStringLiteral("c.bin: Failed: host not found: nosuchhost.invalid"));
  RunUntil([] { return false; }, 1500);  // later passes tell nothing new
  EXPECT_EQ(notices, QStringList{"c.bin: Failed | " + Row(1).statustip});
}

// What the user typed is checked or corrected before any task is made.
TEST_F(Outcomes, InputIsCheckedBeforeAnyTask) {
  struct Case {
    const char* url;
    uint32_t field;
    uint32_t sent;
  } cases[] = {
      {"http://127.0.0.1:9/x.bin", 2131, 0},  // the URL's port, not the last task's field
      {"ftp://[::1]:2121/pub/", 21, 0},
      {"http://127.0.0.1/x.bin", 8098, 8098},  // no port in the URL: the field stands
      {"ftp://127.0.0.1/pub/", 0, 0},
  };
  for (const Case& c : cases) {
    CNewTaskPages pages;
    pages.download.url = QString::fromLatin1(c.url);
    pages.download.port = c.field;
    EXPECT_EQ(TakeRequest(pages, kFileDownPage).port, c.sent) << c.url;
  }

  // A URL from the clipboard or a drop brings its own port.
  frame->NewTaskPages().brows.port = 8098;
  frame->NewTaskPages().download.port = 2131;
  frame->OfferUrl(QStringLiteral("ftp://127.0.0.1:2131/pub/"));
  frame->OfferUrl(QStringLiteral("http://127.0.0.1:8098/a.bin"));
  EXPECT_EQ(frame->NewTaskPages().brows.port, 0u);
  EXPECT_EQ(frame->NewTaskPages().download.port, 0u);

  // A save directory that is a file, or missing and not to be made.
  const QString url = QStringLiteral("http://127.0.0.1:1/a.bin");  // refused before any connect
  const QString file = QString::fromStdString(home.dir.writeFile("plain", "x").string());

  NewDownload(url, file, 1);
  EXPECT_EQ(Downloads().TaskCount(), 0);
  ASSERT_EQ(messages.notices.size(), 1);
  EXPECT_EQ(messages.notices[0], QStringLiteral("The save directory %1 is a file, not a folder.").arg(file));

  const QString missing = QString::fromStdString((home.dir.path() / "new" / "dir").string());
  messages.answer = false;
  NewDownload(url, missing, 1);
  EXPECT_EQ(Downloads().TaskCount(), 0);
  EXPECT_EQ(messages.questions.value(0),
            QStringLiteral("The save directory %1 does not exist. Create it?").arg(missing));
  EXPECT_FALSE(QDir(missing).exists());

  messages.answer = true;
  NewDownload(url, missing, 1);
  EXPECT_TRUE(QDir(missing).exists());
  EXPECT_EQ(Downloads().TaskCount(), 1);
}

}  // namespace
