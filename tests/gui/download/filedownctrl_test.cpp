// The download list on screen (offscreen): popups follow the row under the
// cursor, menu items and the Delete key post their commands.
#include <QKeyEvent>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include "core/commandids.h"
#include "download/cdownloadlist.h"
#include "downloadbuilder.h"
#include "gui/download/cfiledownctrl.h"
#include "scriptedseam.h"

namespace {

TEST(FileDownCtrl, PopupsFollowTheRowUnderTheCursorAndDeletePostsDelete) {
  CScriptedSeam seam;
  CDownloadList list(seam);
  list.SetListFilePath(QString());
  AddDownload(list, "ftp://127.0.0.1:9/file.zip", 3, "dl");
  CFileDownCtrl ctrl(list);
  ctrl.resize(800, 400);
  ctrl.show();
  list.Model().Expand(list.RootOf(0));
  ASSERT_EQ(list.Model().rowCount(), 4);

  EXPECT_FALSE(ctrl.BranchPopupAt(ctrl.visualRect(list.Model().index(0, 0)).center()));
  EXPECT_TRUE(ctrl.BranchPopupAt(ctrl.visualRect(list.Model().index(2, 0)).center()));
  EXPECT_EQ(list.Model().GetSelectedRow(), 2);
  EXPECT_FALSE(ctrl.BranchPopupAt(QPoint(10, 390)));  // empty space below the rows

  auto taskmenu = ctrl.BuildPopup(false);
  QSignalSpy commands(&ctrl, &CFileDownCtrl::commandRequested);
  taskmenu->actions().at(4)->trigger();  // "&Continue download"
  QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
  QCoreApplication::sendEvent(&ctrl, &del);
  ASSERT_EQ(commands.size(), 2);
  EXPECT_EQ(commands.at(0).at(0).toInt(), command::kResumeDownload);
  EXPECT_EQ(commands.at(1).at(0).toInt(), command::kDelete);
}

}  // namespace
