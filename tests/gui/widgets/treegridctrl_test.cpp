// The tree-grid list as a widget, offscreen: its boxes, keys and bars.
#include <QApplication>
#include <QKeyEvent>
#include <QLocale>
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

// The percent cell's bar covers its share of the cell and no more; a size
// cell's tooltip is readable.
TEST(TreeGridBar, APercentCellDrawsItsBarAndSizesReadWell) {
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

}  // namespace
