// The new-task sheet and what its OK makes: range checks keep it open on
// the faulty field, only OK changes the pages, the kind of the URL against
// the page asks first, and Cancel in a question makes nothing.
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
