// Row bookkeeping of the tree-grid list: collapsing and deleting.
#include <QAbstractItemModelTester>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "core/ctreegridmodel.h"
#include "core/treegridrules.h"
#include "iteminfo.h"

namespace {

class TreeGrid : public ::testing::Test {
 protected:
  // The rows must be the depth-first walk over expanded items, each item
  // knowing its row.
  void ExpectConsistent() {
    std::vector<const CTreeItem*> walk;
    std::function<void(const CTreeItem&)> visit = [&](const CTreeItem& item) {
      walk.push_back(&item);
      if (!item.IsCollapsed())
        for (const auto& child : item.GetChildren()) visit(*child);
    };
    for (int i = 0; i < model.GetRootCount(); ++i) visit(*model.GetRootAt(i));
    ASSERT_EQ(static_cast<int>(walk.size()), model.rowCount());
    for (int row = 0; row < model.rowCount(); ++row) {
      EXPECT_EQ(model.GetTreeItem(row), walk[row]) << row;
      EXPECT_EQ(model.GetTreeItem(row)->GetRow(), row);
      EXPECT_EQ(model.NodeToIndex(walk[row]), row);
    }
  }
  static QStringList Texts(const CTreeGridModel& rows) {
    QStringList texts;
    for (int row = 0; row < rows.rowCount(); ++row) texts << rows.GetTreeItem(row)->GetData().text;
    return texts;
  }
  QStringList Texts() const { return Texts(model); }
  // root a (children a1 with a11, a2), root b: all hidden below the roots.
  void Build() {
    a = model.InsertRootItem(Info("a"));
    a1 = model.InsertItem(a, Info("a1"), false);
    a11 = model.InsertItem(a1, Info("a11"), false);
    a2 = model.InsertItem(a, Info("a2"), false);
    b = model.InsertRootItem(Info("b"));
  }

  CTreeGridModel model;
  QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::Fatal};
  CTreeItem *a = nullptr, *a1 = nullptr, *a11 = nullptr, *a2 = nullptr, *b = nullptr;
};

TEST_F(TreeGrid, CollapseRemovesGrandchildrenAndMarksThemCollapsed) {
  Build();
  EXPECT_EQ(model.ExpandAll(a), 3);
  EXPECT_EQ(Texts(), (QStringList{"a", "a1", "a11", "a2", "b"}));
  model.Collapse(a);
  EXPECT_EQ(Texts(), (QStringList{"a", "b"}));
  EXPECT_TRUE(a1->IsCollapsed());
  model.Expand(a);
  EXPECT_EQ(Texts(), (QStringList{"a", "a1", "a2", "b"}));
  // A hidden insert under an expanded parent hides its shown rows.
  model.InsertItem(a, Info("a3"), false);
  EXPECT_EQ(Texts(), (QStringList{"a", "b"}));
  model.Expand(a);
  EXPECT_EQ(Texts(), (QStringList{"a", "a1", "a2", "a3", "b"}));
  ExpectConsistent();
}

TEST_F(TreeGrid, DeleteSelectsTheRowThatTakesItsPlace) {
  const struct {
    int row;
    QStringList left;
    int selected;
  } cases[] = {{0, {"b", "c"}, -1}, {1, {"a", "c"}, 1}, {2, {"a", "b"}, 1}};
  for (const auto& c : cases) {
    CTreeGridModel list;
    for (const char* text : {"a", "b", "c"}) list.InsertRootItem(Info(text));
    list.SelectRow(c.row);
    list.DeleteItem(list.GetTreeItem(c.row), c.row);
    EXPECT_EQ(Texts(list), c.left) << c.row;
    EXPECT_EQ(list.GetSelectedRow(), c.selected) << c.row;
  }
}

TEST_F(TreeGrid, DeletingAnExpandedItemTakesItsShownSubtree) {
  Build();
  model.ExpandAll(a);
  model.DeleteItem(a1, a1->GetRow());
  EXPECT_EQ(Texts(), (QStringList{"a", "a2", "b"}));
  EXPECT_EQ(model.GetSelectedRow(), 1);
  EXPECT_EQ(a->ChildCount(), 1);
  model.DeleteChildren(a);
  EXPECT_EQ(Texts(), (QStringList{"a", "b"}));
  EXPECT_FALSE(a->ItemHasChildren());
  model.DeleteLastRoot();
  EXPECT_EQ(Texts(), (QStringList{"a"}));
  ExpectConsistent();
}

}  // namespace
