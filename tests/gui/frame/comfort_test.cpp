// The window as a new user meets it: a first window that fits the screen
// and a layout that comes back, bars and times in the download list, keys
// and right clicks that keep the user's place, and commands on several
// selected tasks at once.
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QScreen>
#include <QScrollBar>

#include "core/commandids.h"
#include "core/ctreegridmodel.h"
#include "download/cdownloadlist.h"
#include "downloadbuilder.h"
#include "framefixture.h"
#include "gui/download/cfiledownctrl.h"
#include "gui/frame/mainframe.h"
#include "iteminfo.h"
#include "rununtil.h"

namespace {

using testsupport::sha256OfFile;

class Comfort : public ::testing::Test {
 protected:
  void SetUp() override {
    StartEngine();
    Open();
  }
  void Open() {
    frame = std::make_unique<CMainFrame>(messages);
    frame->SetSheetRunner([this](CNewTaskPages& pages) {
      if (fillsheet) fillsheet(pages);
      return static_cast<bool>(fillsheet);
    });
    frame->show();
  }
  void Exit() {
    messages.answer = true;
    frame->close();
    frame.reset();
  }
  void TearDown() override {
    if (frame) Exit();
  }
  CFileDownCtrl& Ctrl() { return *static_cast<CFileDownCtrl*>(frame->DownloadPane().List()); }
  CDownloadList& Downloads() { return Ctrl().List(); }
  QString Cell(int task, int column, int role = Qt::DisplayRole) {
    return Downloads().Model().index(Downloads().RootOf(task)->GetRow(), column).data(role).toString();
  }
  void NewDownload(const QString& url, const QString& savedir) {
    fillsheet = [=](CNewTaskPages& pages) { FillDownloadPage(pages, url, savedir, 2); };
    frame->RunCommand(command::kNew);
  }
  void Key(QWidget& target, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(&target, &press);
  }

  FreshHome home;
  CScriptedSeam messages;
  std::unique_ptr<CMainFrame> frame;
  std::function<void(CNewTaskPages&)> fillsheet;
};

TEST_F(Comfort, TheFirstWindowFitsTheScreenAndTheLayoutComesBack) {
  const std::pair<QSize, QSize> sizes[] = {{{1600, 1000}, {1120, 700}},
                                           {{1280, 800}, {1000, 650}},  // never smaller than that
                                           {{800, 600}, {800, 600}}};   // nor larger than the screen
  for (const auto& [screen, first] : sizes) EXPECT_EQ(CMainFrame::FirstSize(screen), first) << screen.width();
  EXPECT_EQ(frame->size(), CMainFrame::FirstSize(frame->screen()->availableGeometry().size()));

  frame->setGeometry(40, 30, 700, 500);
  Ctrl().setColumnWidth(CDownloadList::kPercentColumn, 123);
  const QRect placed = frame->geometry();
  Exit();
  Open();
  EXPECT_EQ(frame->geometry(), placed);
  EXPECT_EQ(Ctrl().columnWidth(CDownloadList::kPercentColumn), 123);
  EXPECT_FALSE(Ctrl().EmptyHint().isEmpty());
}

// The percent cell's bar covers its share of the cell and no more; a size
// cell's tooltip is readable.
TEST_F(Comfort, APercentCellDrawsItsBarAndSizesReadWell) {
  QLocale::setDefault(QLocale::c());
  CTreeGridCtrl list;
  list.SetColumns({"Name", "Percent", "Size"}, 200);
  list.SetBarColumn(1);
  list.Model().SetSizeColumns({2});
  list.Model().InsertRootItem(Info("a.bin", ItemKind::OwnImage, -1, {"50", "1,572,864"}));
  list.resize(700, 100);
  list.show();
  const QImage image = list.viewport()->grab().toImage();
  const QRect cell = list.visualRect(list.Model().index(0, 1));
  const QColor filled = image.pixelColor(cell.left() + cell.width() / 4, cell.top() + 3);
  const QColor empty = image.pixelColor(cell.left() + cell.width() * 3 / 4, cell.top() + 3);
  EXPECT_NE(filled, empty);
  EXPECT_EQ(empty, image.pixelColor(list.visualRect(list.Model().index(0, 2)).center()));
  EXPECT_EQ(list.Model().index(0, 2).data(Qt::ToolTipRole).toString(), QStringLiteral("1.5 MiB"));
}

TEST_F(Comfort, SelectedTasksStopResumeAndGoTogether) {
  testsupport::ScratchDir served{"skylark-served"};
  const auto a = served.writeRandomFile("a.bin", 1 << 20, 1), b = served.writeRandomFile("b.bin", 1 << 20, 2);
  testsupport::NginxServer http(served.path(), testsupport::NginxOptions{.rateLimit = 131072});
  testsupport::ScratchDir target{"skylark-target"};
  const QString dir = QString::fromStdString(target.path().string());
  NewDownload(QString::fromStdString(http.url("a.bin")), dir);
  NewDownload(QString::fromStdString(http.url("b.bin")), dir);
  ASSERT_EQ(Downloads().TaskCount(), 2);

  // The same URL again is a question, and No adds nothing.
  messages.answer = false;
  NewDownload(QString::fromStdString(http.url("a.bin")), dir);
  EXPECT_EQ(Downloads().TaskCount(), 2);
  EXPECT_EQ(messages.questions.value(0), QString::fromStdString(http.url("a.bin")) +
                                             QStringLiteral(" is already in the download list. Add it again?"));

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
  Key(Ctrl(), Qt::Key_End);
  EXPECT_EQ(rows.GetSelectedRow(), rows.rowCount() - 1);
  Key(Ctrl(), Qt::Key_Home);
  EXPECT_EQ(rows.GetSelectedRow(), 0);
  EXPECT_EQ(sideways->value(), scrolled);
  Key(Ctrl(), Qt::Key_Return);
  EXPECT_TRUE(Downloads().RootOf(0)->IsCollapsed());
  const QRect branch = Ctrl().visualRect(rows.index(rows.rowCount() - 1, CDownloadList::kStatusColumn));
  EXPECT_TRUE(Ctrl().BranchPopupAt(branch.center()));
  EXPECT_EQ(sideways->value(), scrolled);

  // Both selected: one question stops both, Resume brings both in, and one
  // question deletes both.
  rows.SelectRow(0);
  rows.GetSelectionModel()->select(rows.index(Downloads().RootOf(1)->GetRow(), 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
  messages.answer = true;
  frame->RunCommand(command::kStopDownload);
  EXPECT_EQ(messages.questions.last(),
            QStringLiteral("The 2 selected download tasks will be disconnected, are you sure?"));
  for (int task : {0, 1}) {
    EXPECT_EQ(Cell(task, CDownloadList::kStatusColumn), QStringLiteral("Stopped")) << task;
    EXPECT_EQ(Cell(task, CDownloadList::kTimeLeftColumn), QString::fromUtf8("\u2014")) << task;
  }
  frame->RunCommand(command::kResumeDownload);
  ASSERT_TRUE(RunUntil([&] { return Downloads().IsComplete(0) && Downloads().IsComplete(1); }, 60000)) << http.log();
  EXPECT_EQ(sha256OfFile(target.path() / "a.bin"), sha256OfFile(a));
  EXPECT_EQ(sha256OfFile(target.path() / "b.bin"), sha256OfFile(b));
  Ctrl().setFocus();  // Delete acts on the list that has the focus
  frame->RunCommand(command::kDelete);
  EXPECT_EQ(messages.questions.last(), QStringLiteral("The 2 selected download tasks will be deleted, are you sure?"));
  EXPECT_EQ(Downloads().TaskCount(), 0);
}

}  // namespace
