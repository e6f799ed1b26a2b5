// The browse list on screen (offscreen): double click and the Delete key
// post their commands.
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include "browse/browsecommands.h"
#include "core/commandids.h"
#include "gui/browse/csitebrowsctrl.h"
#include "gui/browse/csitebrowseview.h"
#include "gui/widgets/ctreegriddelegate.h"
#include "scriptedseam.h"
#include "sitebuilder.h"

namespace {

class BrowseWidgets : public ::testing::Test {
 protected:
  void SetUp() override {
    view = std::make_unique<CSiteBrowseView>(seam, nullptr, scratch.path() + "/lark1.dat");
    view->resize(400, 300);
    view->show();
    CSiteBrowsList& list = view->List();
    StoredSite(list, "host", {});
    CTreeItem* root = list.Model().GetRootAt(0);
    listed = StoredEntry(list, root, "listed", true);
    StoredEntry(list, listed, "inner.txt", false);
    unlisted = StoredEntry(list, root, "unlisted", true);
    file = StoredEntry(list, root, "file.zip", false);
    list.Model().Expand(root);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
  }

  QPoint RowCentre(CTreeItem* item) {
    CSiteBrowsCtrl& ctrl = view->Ctrl();
    return ctrl.visualRect(ctrl.model()->index(view->List().Model().NodeToIndex(item), 1)).center();
  }

  QTemporaryDir scratch;
  CScriptedSeam seam;
  std::unique_ptr<CSiteBrowseView> view;
  CTreeItem* listed = nullptr;
  CTreeItem* unlisted = nullptr;
  CTreeItem* file = nullptr;
};

TEST_F(BrowseWidgets, DoubleClickAndDeleteKeyPostCommands) {
  CSiteBrowsCtrl& ctrl = view->Ctrl();
  QSignalSpy posted(&ctrl, &CSiteBrowsCtrl::PostCommand);
  const struct {
    const char* name;
    CTreeItem* item;
    int command;  // 0: none
  } cases[] = {
      {"directory never listed", unlisted, command::kRefresh},
      {"a file", file, command::kDownload},
      {"a listed directory", listed, 0},
  };
  for (const auto& c : cases) {
    posted.clear();
    CTreeItem* item = c.item;
    view->List().Model().SelectRow(view->List().Model().NodeToIndex(item));
    QTest::mouseDClick(ctrl.viewport(), Qt::LeftButton, {}, RowCentre(item));
    EXPECT_EQ(view->List().SelectedItem(), item) << c.name;
    if (c.command) {
      ASSERT_EQ(posted.size(), 1) << c.name;
      EXPECT_EQ(posted.at(0).at(0).toInt(), c.command) << c.name;
    } else {
      EXPECT_TRUE(posted.isEmpty()) << c.name;
    }
  }
  EXPECT_FALSE(listed->IsCollapsed()) << "a listed directory opens as any tree row does";

  // A double click on a row's +/- box acts on that row alone, whichever
  // row is selected.
  for (CTreeItem* selected : {file, unlisted}) {
    posted.clear();
    view->List().Model().SelectRow(view->List().Model().NodeToIndex(selected));
    const QModelIndex index = ctrl.model()->index(view->List().Model().NodeToIndex(listed), 0);
    const QPoint box = CTreeGridDelegate::ExpandBox(ctrl.visualRect(index), listed->GetIndent()).center();
    QTest::mouseDClick(ctrl.viewport(), Qt::LeftButton, {}, box);
    EXPECT_TRUE(posted.isEmpty()) << selected->GetData().text.toStdString();
    EXPECT_EQ(view->List().SelectedItem(), selected);
  }

  posted.clear();
  QTest::keyClick(&ctrl, Qt::Key_Delete);
  ASSERT_EQ(posted.size(), 1);
  EXPECT_EQ(posted.at(0).at(0).toInt(), command::kDelete);
}

}  // namespace
