// The "Default set" sheet: validation keeps it open on the faulty field;
// the clear-history button acts at once; passive FTP is the first-run
// default; the save directory has its "…" button in the Tab order.
#include <QApplication>
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

TEST_F(Sheet, ClearHistoryActsEvenWhenTheSheetIsCancelled) {
  addrecenturl(store, "ftp://a/");
  ASSERT_EQ(RecentUrls(store).size(), 1);
  QTest::mouseClick(sheet.BrowsPage()->ClearHistoryButton(), Qt::LeftButton);
  sheet.reject();
  EXPECT_TRUE(RecentUrls(CSettingsStore()).isEmpty());
  EXPECT_TRUE(messages.notices.isEmpty());
}

TEST(DefaultSet, PassiveIsOnUntilTheUserSavesOtherwise) {
  struct Case {
    const char* stored;  // nullptr: no such key yet
    bool passive;
  } cases[] = {{nullptr, true}, {"0", false}, {"1", true}};
  for (const Case& c : cases) {
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, "Tamberly", "skylark");
    settings.clear();
    if (c.stored) settings.setValue(settingname::kPasvMode, c.stored);
    settings.sync();
    EXPECT_EQ(StoredDefaultSet(CSettingsStore()).pasvmode, c.passive) << (c.stored ? c.stored : "missing");
  }
}

TEST_F(Sheet, TheDownloadPageTabsDownTheScreenAndItsButtonFillsTheField) {
  CDownloadSetPage* page = sheet.DownloadPage();
  sheet.Tabs()->setCurrentWidget(page);
  sheet.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&sheet));
  page->DirectoryEdit()->setFocus();
  QList<QWidget*> stops;
  for (QWidget* at = QApplication::focusWidget(); at && page->isAncestorOf(at) && stops.size() < 5;
       at = QApplication::focusWidget()) {
    stops.append(at);
    QTest::keyClick(at, Qt::Key_Tab);
  }
  EXPECT_EQ(stops, (QList<QWidget*>{page->DirectoryEdit(), page->ChooseDirButton(), page->BranchEdit()}));

  QString started;
  page->SetDirectoryChooser([&](const QString& start) {
    started = start;
    return QStringLiteral("/srv/in");
  });
  page->DirectoryEdit()->setText("/tmp");
  page->ChooseDirButton()->click();
  EXPECT_EQ(started, "/tmp");
  EXPECT_EQ(page->DirectoryEdit()->text(), "/srv/in");
}

}  // namespace
