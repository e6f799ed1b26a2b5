// The tree-grid list as a widget, offscreen: its boxes and keys.
#include <QApplication>
#include <QKeyEvent>
#include <QTest>

#include <gtest/gtest.h>

#include "core/ctreegridmodel.h"
#include "gui/widgets/ctreegridctrl.h"
#include "gui/widgets/ctreegriddelegate.h"
#include "iteminfo.h"

namespace {

class TreeGridCtrl : public ::testing::Test {
 protected:
  void SetUp() override {
    ctrl.SetColumns({"Name", "Size"}, 100);
    ctrl.resize(400, 300);
    root = ctrl.Model().InsertRootItem(Info("root with a rather long name that is cut"));
    child = ctrl.Model().InsertItem(root, Info("child"), false);
    ctrl.Model().InsertItem(child, Info("grandchild"), false);
    auto file = Info("notes.txt");
    file->kind = ItemKind::File;
    file->SetSubItem(0, "1,024");
    ctrl.Model().InsertItem(root, std::move(file), false);
    ctrl.Model().InsertRootItem(Info("second"));
    ctrl.show();
  }
  QPoint BoxCentre(int row) {
    const QModelIndex index = ctrl.Model().index(row, 0);
    return CTreeGridDelegate::ExpandBox(ctrl.visualRect(index), ctrl.Model().GetTreeItem(row)->GetIndent()).center();
  }
  void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(&ctrl, &press);
  }

  CTreeGridCtrl ctrl;
  CTreeItem* root = nullptr;
  CTreeItem* child = nullptr;
};

TEST_F(TreeGridCtrl, ClickOnTheBoxTogglesWithoutSelecting) {
  QTest::mouseClick(ctrl.viewport(), Qt::LeftButton, {}, BoxCentre(0));
  EXPECT_EQ(ctrl.Model().rowCount(), 4);
  EXPECT_EQ(ctrl.Model().GetSelectedRow(), -1);
  QTest::mouseClick(ctrl.viewport(), Qt::LeftButton, {}, BoxCentre(0));
  EXPECT_EQ(ctrl.Model().rowCount(), 2);
  // A click on the text selects the row.
  QTest::mouseClick(ctrl.viewport(), Qt::LeftButton, {}, ctrl.visualRect(ctrl.Model().index(1, 1)).center());
  EXPECT_EQ(ctrl.Model().GetSelectedRow(), 1);
}

TEST_F(TreeGridCtrl, KeysExpandAndCollapseTheSelectedItem) {
  ctrl.Model().SelectRow(0);
  Key(Qt::Key_Right);
  EXPECT_EQ(ctrl.Model().rowCount(), 4);
  Key(Qt::Key_Minus, Qt::KeypadModifier);
  EXPECT_EQ(ctrl.Model().rowCount(), 2);
  Key(Qt::Key_Asterisk, Qt::KeypadModifier);
  EXPECT_EQ(ctrl.Model().rowCount(), 5);
  Key(Qt::Key_Left);
  EXPECT_EQ(ctrl.Model().rowCount(), 2);
  Key(Qt::Key_Return);
  EXPECT_EQ(ctrl.Model().rowCount(), 4);
  Key(Qt::Key_Minus);  // the main keyboard's minus is no command here
  EXPECT_EQ(ctrl.Model().rowCount(), 4);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

}  // namespace
