// The "Default set" sheet: validation keeps it open on the faulty field;
// the clear-history button acts at once.
#include <QSettings>
#include <QTest>

#include <gtest/gtest.h>

#include "core/recenturls.h"
#include "core/settingsstore.h"
#include "gui/options/cbrowssetpage.h"
#include "gui/options/cdefaultsetsheet.h"
#include "gui/options/cdownloadsetpage.h"
#include "gui/options/cothersetpage.h"
#include "scriptedseam.h"

namespace {

class Sheet : public ::testing::Test {
 protected:
  void SetUp() override {
    QSettings(QSettings::IniFormat, QSettings::UserScope, "Tamberly", "skylark").clear();
    sheet.show();
  }

  CSettingsStore store;
  CScriptedSeam messages;
  CDefaultSetPages pages;
  CDefaultSetSheet sheet{pages, store, messages};
};

TEST_F(Sheet, OutOfRangeNumbersKeepTheSheetOpenOnTheirField) {
  struct Case {
    const char* idle;
    const char* branches;
    QString message;
    int page;
  } cases[] = {
      {"0", "0", RangeMessage(1, 100), 1},
      {"0", "101", RangeMessage(1, 100), 1},
      {"4294967296", "5", RangeMessage(0, 4294967295u), 0},
  };
  for (const Case& c : cases) {
    messages.notices.clear();
    sheet.BrowsPage()->IdleEdit()->setText(c.idle);
    sheet.DownloadPage()->BranchEdit()->setText(c.branches);
    sheet.accept();
    EXPECT_NE(sheet.result(), QDialog::Accepted) << c.branches;
    EXPECT_EQ(messages.notices, QStringList{c.message});
    EXPECT_EQ(sheet.Tabs()->currentIndex(), c.page);
    QLineEdit* field = c.page == 1 ? sheet.DownloadPage()->BranchEdit() : sheet.BrowsPage()->IdleEdit();
    EXPECT_EQ(sheet.focusWidget(), field);
  }
  EXPECT_EQ(pages.branchcount, 1u);
}

TEST_F(Sheet, ClearHistoryActsEvenWhenTheSheetIsCancelled) {
  addrecenturl(store, "ftp://a/");
  ASSERT_EQ(RecentUrls(store).size(), 1);
  QTest::mouseClick(sheet.BrowsPage()->ClearHistoryButton(), Qt::LeftButton);
  sheet.reject();
  EXPECT_TRUE(RecentUrls(CSettingsStore()).isEmpty());
  EXPECT_TRUE(messages.notices.isEmpty());
}

}  // namespace
