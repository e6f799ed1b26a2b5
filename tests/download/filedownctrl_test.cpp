// The download list on screen (offscreen): columns, popups, Delete key.
#include <QKeyEvent>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include "cdownloadlist.h"
#include "cfiledownctrl.h"
#include "downloadcommandids.h"
#include "lark.h"
#include "shell/messageseam.h"

namespace {

class CQuietSeam : public CMessageSeam {
 public:
  void Notice(const QString&) override {}
  bool Ask(const QString&) override { return true; }
};

TEST(FileDownCtrl, PopupsFollowTheRowUnderTheCursorAndDeletePostsDelete) {
  CQuietSeam seam;
  CDownloadList list(seam);
  list.SetListFilePath(QString());
  ASSERT_EQ(list.CreateDownloadTask(QStringLiteral("ftp://127.0.0.1:9/file.zip"), 3, 0, {}, {}, QStringLiteral("dl"),
                                    false, true, false),
            1u);
  CFileDownCtrl ctrl(list);
  ctrl.resize(800, 400);
  ctrl.show();
  EXPECT_EQ(list.Model().headerData(1, Qt::Horizontal).toString(), QStringLiteral("Total length(Bytes)"));
  EXPECT_EQ(list.Model().columnCount(), 7);
  list.Model().Expand(list.RootOf(0));
  ASSERT_EQ(list.Model().rowCount(), 4);

  const QPoint rootpoint = ctrl.visualRect(list.Model().index(0, 0)).center();
  const QPoint branchpoint = ctrl.visualRect(list.Model().index(2, 0)).center();
  EXPECT_FALSE(ctrl.BranchPopupAt(rootpoint));
  EXPECT_TRUE(ctrl.BranchPopupAt(branchpoint));
  EXPECT_EQ(list.Model().GetSelectedRow(), 2);
  EXPECT_FALSE(ctrl.BranchPopupAt(QPoint(10, 390)));  // empty space below the rows

  auto branchmenu = ctrl.BuildPopup(true);
  auto taskmenu = ctrl.BuildPopup(false);
  QStringList branchtexts, tasktexts;
  for (QAction* a : branchmenu->actions()) branchtexts << a->text();
  for (QAction* a : taskmenu->actions())
    if (!a->isSeparator()) tasktexts << a->text();
  EXPECT_EQ(branchtexts, (QStringList{"&Start branch", "&Stop branch", "Clea&r log display"}));
  EXPECT_EQ(tasktexts.size(), 6);

  QSignalSpy commands(&ctrl, &CFileDownCtrl::commandRequested);
  taskmenu->actions().at(4)->trigger();  // "&Continue download"
  QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
  QCoreApplication::sendEvent(&ctrl, &del);
  ASSERT_EQ(commands.size(), 2);
  EXPECT_EQ(commands.at(0).at(0).toInt(), downloadcommand::kResumeDownload);
  EXPECT_EQ(commands.at(1).at(0).toInt(), downloadcommand::kDeleteTask);
}

}  // namespace
