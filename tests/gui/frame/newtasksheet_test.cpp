// The new-task sheet and what its OK makes: it opens with the stored
// defaults and the focus in the URL, Tab follows the screen, range checks
// keep it open on the faulty field, only OK changes the pages, the kind of
// the URL against the page asks first, and Cancel in a question makes
// nothing.
#include <QApplication>
#include <QTest>

#include "core/createtask.h"
#include "core/defaultset.h"
#include "core/recenturls.h"
#include "core/settingsstore.h"
#include "framefixture.h"
#include "gui/newtask/cbrowspage.h"
#include "gui/newtask/cfiledownpage.h"
#include "gui/newtask/cnewtasksheet.h"

namespace {

class RecordingSink : public CTaskSink {
 public:
  void AddBrowseTask(void*, const QString& url) override { browse.append(url); }
  void AddDownloadTask(void*, const QString& url) override { download.append(url); }
  QStringList browse;
  QStringList download;
};

class NewTask : public ::testing::Test {
 protected:
  void SetUp() override { lark::startengine(); }
  void TearDown() override { lark::releasedllres(); }

  FreshHome home;
  CScriptedSeam messages;
  CNewTaskPages pages;
};

// The Tab stops from the focus on, as long as they stay within `page`.
QList<QWidget*> TabStops(QWidget* page) {
  QList<QWidget*> stops;
  for (QWidget* at = QApplication::focusWidget(); at && page->isAncestorOf(at) && stops.size() < 20;
       at = QApplication::focusWidget()) {
    stops.append(at);
    QTest::keyClick(at, Qt::Key_Tab);
  }
  return stops;
}

// Shown and active, as the user meets it, so the focus is real.
void Activate(QWidget& window) {
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
}

void StoreDefaults(const char* dir, uint32_t branches, bool pasv, bool ascii) {
  CSettingsStore store;
  store.WriteText(settingname::kLocalDir, dir);
  store.WriteNumber(settingname::kBranchCount, branches);
  store.WriteFlag(settingname::kPasvMode, pasv);
  store.WriteFlag(settingname::kAsciiMode, ascii);
  store.Flush();
}

TEST_F(NewTask, OpensWithTheStoredDefaultsAndTheFocusInTheUrl) {
  struct Case {
    const char* name;
    bool stored;  // "dl", 4 branches, active, ASCII
    int page;
    bool filerow;  // a file row filled the download page: active "mine"
    const char* savedir;
    const char* branches;
    bool browspasv, downpasv, ascii;
  } cases[] = {
      {"first run", false, kFileDownPage, false, "", "1", true, true, false},
      {"stored", true, kFileDownPage, false, "dl", "4", false, false, true},
      {"set this session", true, kBrowsPage, true, "mine", "4", false, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.stored) StoreDefaults("dl", 4, false, true);
    CNewTaskPages opened;
    if (c.page == kBrowsPage) opened.page = kBrowsPage;
    if (c.filerow) {
      opened.download.savedir = "mine";
      opened.download.pasvmode = true;
    }
    CNewTaskSheet sheet(opened, messages);
    Activate(sheet);
    CFileDownPage* down = sheet.FileDownPage();
    EXPECT_EQ(down->SaveDirEdit()->text(), c.savedir);
    EXPECT_EQ(down->BranchEdit()->text(), c.branches);
    EXPECT_EQ(sheet.BrowsPage()->PasvModeBox()->isChecked(), c.browspasv);
    EXPECT_EQ(down->PasvModeBox()->isChecked(), c.downpasv);
    EXPECT_EQ(down->AsciiModeBox()->isChecked(), c.ascii);
    EXPECT_TRUE(sheet.BrowsPage()->ConnectNowBox()->isChecked()) << "a site is browsed at once";
    EXPECT_EQ(sheet.Tabs()->currentIndex(), c.page);
    CBrowsPage* showing = c.page == kBrowsPage ? sheet.BrowsPage() : down;
    EXPECT_EQ(QApplication::focusWidget(), showing->UrlEdit());
    // Tab follows the fields down the screen.
    QList<QWidget*> expected{showing->UrlEdit()};
    if (showing == down) expected << down->SaveDirEdit() << down->ChooseDirButton() << down->BranchEdit();
    expected << showing->UserEdit() << showing->PassEdit() << showing->PortEdit() << showing->PasvModeBox()
             << showing->AsciiModeBox() << showing->ConnectNowBox() << showing->RestoreButton();
    EXPECT_EQ(TabStops(showing), expected);
  }
}

TEST_F(NewTask, FieldsLeftAtTheDefaultFollowLaterChangesOfIt) {
  StoreDefaults("dl", 4, true, false);
  {
    CNewTaskSheet sheet(pages, messages);
    sheet.FileDownPage()->BranchEdit()->setText("7");
    sheet.FileDownPage()->UrlEdit()->setText("http://127.0.0.1/a.zip");
    sheet.accept();
    ASSERT_EQ(sheet.result(), QDialog::Accepted);
  }
  EXPECT_EQ(pages.download.savedir.Value(), "dl");
  StoreDefaults("other", 2, false, false);
  CNewTaskSheet again(pages, messages);
  EXPECT_EQ(again.FileDownPage()->SaveDirEdit()->text(), "other");
  EXPECT_EQ(again.FileDownPage()->BranchEdit()->text(), "7") << "the user's own number stays";
  EXPECT_FALSE(again.FileDownPage()->PasvModeBox()->isChecked());
  EXPECT_EQ(again.FileDownPage()->UrlEdit()->text(), "http://127.0.0.1/a.zip");
}

TEST_F(NewTask, TheDirectoryButtonFillsTheFieldWithTheChoice) {
  CNewTaskSheet sheet(pages, messages);
  CFileDownPage* down = sheet.FileDownPage();
  QString start, answer = "/srv/in";
  down->SetDirectoryChooser([&](const QString& from) {
    start = from;
    return answer;
  });
  down->SaveDirEdit()->setText("sub");
  down->ChooseDirButton()->click();
  EXPECT_EQ(start, home.Program() + "/sub") << "a relative field lies below the program";
  EXPECT_EQ(down->SaveDirEdit()->text(), "/srv/in");
  answer.clear();  // cancelled: the field stays
  down->ChooseDirButton()->click();
  EXPECT_EQ(down->SaveDirEdit()->text(), "/srv/in");
}

TEST_F(NewTask, OutOfRangeNumbersKeepTheSheetOpenOnTheirField) {
  struct Case {
    int page;
    const char* branches;
    const char* downloadport;
    const char* browseport;
    int faultypage;
    QString message;
  } cases[] = {
      {kFileDownPage, "0", "0", "0", kFileDownPage, RangeMessage(1, 100)},
      {kFileDownPage, "101", "0", "0", kFileDownPage, RangeMessage(1, 100)},
      {kFileDownPage, "3", "65536", "0", kFileDownPage, RangeMessage(0, 65535)},
      {kBrowsPage, "3", "21", "-1", kBrowsPage, RangeMessage(0, 65535)},
      // The download page's branch number counts on the browse page too.
      {kBrowsPage, "x", "21", "21", kFileDownPage, RangeMessage(1, 100)},
  };
  for (const Case& c : cases) {
    messages.notices.clear();
    pages.page = c.page;
    CNewTaskSheet sheet(pages, messages);
    sheet.show();
    sheet.FileDownPage()->BranchEdit()->setText(c.branches);
    sheet.FileDownPage()->PortEdit()->setText(c.downloadport);
    sheet.BrowsPage()->PortEdit()->setText(c.browseport);
    sheet.FileDownPage()->UrlEdit()->setText("ftp://typed/x");
    sheet.accept();
    EXPECT_NE(sheet.result(), QDialog::Accepted) << c.branches << c.downloadport << c.browseport;
    EXPECT_EQ(messages.notices, QStringList{c.message});
    EXPECT_EQ(sheet.Tabs()->currentIndex(), c.faultypage);
    EXPECT_EQ(pages.download.url, QString()) << "a refused OK changes no field";
    EXPECT_EQ(pages.page, c.page);
  }
}

TEST_F(NewTask, TheKindOfTheUrlAgainstThePageAsksFirst) {
  struct Case {
    int page;
    const char* url;
    bool answer;
    QString question;  // empty: none
    int browse;        // tasks made
    int download;
  } cases[] = {
      {kFileDownPage, "ftp://127.0.0.1/pub/", true, "This set will create a brows task, are you sure?", 1, 0},
      {kBrowsPage, "http://127.0.0.1/a.zip", true, "This set will create a download task, are you sure?", 0, 1},
      {kBrowsPage, "http://127.0.0.1/a.zip", false, "This set will create a download task, are you sure?", 0, 0},
      {kFileDownPage, "ftp://127.0.0.1/file.zip", false, "", 0, 1},
      {kBrowsPage, "ftp://127.0.0.1/", false, "", 1, 0},
      {kFileDownPage, "http://127.0.0.1/", true, "", 0, 0},
  };
  for (const Case& c : cases) {
    CScriptedSeam asked;
    asked.answer = c.answer;
    RecordingSink sink;
    CNewTaskPages filled;
    filled.page = c.page;
    filled.brows.url = c.url;
    filled.download.url = c.url;
    CSettingsStore store;
    ClearRecentUrls(store);
    FinishNewTask(filled, sink, store, asked);
    EXPECT_EQ(asked.questions, c.question.isEmpty() ? QStringList() : QStringList{c.question}) << c.url;
    EXPECT_EQ(sink.browse.size(), c.browse) << c.url << c.answer;
    EXPECT_EQ(sink.download.size(), c.download) << c.url << c.answer;
    // Only a task actually attempted goes into the history.
    const bool attempted = c.browse + c.download > 0;
    EXPECT_EQ(RecentUrls(store).contains(c.url), attempted) << c.url;
  }
}

}  // namespace
