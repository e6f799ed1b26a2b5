// Row bookkeeping of the tree-grid list and its drawing decisions.
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
  QStringList Texts() const {
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row) texts << model.GetTreeItem(row)->GetData().text;
    return texts;
  }
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

TEST_F(TreeGrid, HiddenInsertCollapsesAndExpandShowsDirectChildrenOnly) {
  Build();
  EXPECT_TRUE(a->IsCollapsed());
  EXPECT_TRUE(a->ItemHasChildren());
  EXPECT_EQ(Texts(), (QStringList{"a", "b"}));
  EXPECT_EQ(model.Expand(a), 2);
  EXPECT_EQ(Texts(), (QStringList{"a", "a1", "a2", "b"}));
  EXPECT_TRUE(a1->IsCollapsed());
  EXPECT_EQ(a11->GetIndent(), 3);
  EXPECT_EQ(model.NodeToIndex(a11), -1);
  ExpectConsistent();
}

TEST_F(TreeGrid, ShownInsertLandsAfterTheParentsShownSubtree) {
  Build();
  model.ExpandAll(a);
  CTreeItem* a3 = model.InsertItem(a, Info("a3"), true);
  CTreeItem* a12 = model.InsertItem(a1, Info("a12"), true);
  EXPECT_EQ(Texts(), (QStringList{"a", "a1", "a11", "a12", "a2", "a3", "b"}));
  EXPECT_EQ(a3->GetRow(), 5);
  EXPECT_EQ(a12->GetIndent(), 3);
  // Under a collapsed item the child gets no row.
  model.InsertItem(b, Info("b1"), false);
  model.InsertItem(b, Info("b2"), true);
  EXPECT_EQ(model.rowCount(), 7);
  EXPECT_EQ(model.GetRootItemOfRow(3), a);
  ExpectConsistent();
}

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

TEST_F(TreeGrid, ChildHintShowsABoxButExpandsToNothing) {
  CTreeItem* site = model.InsertRootItem(Info("site"));
  site->SetChildHint(0);
  model.Collapse(site);
  EXPECT_TRUE(site->ItemHasChildren());
  EXPECT_EQ(model.Expand(site), 0);
  EXPECT_EQ(model.rowCount(), 1);
}

TEST_F(TreeGrid, DeleteSelectsTheRowThatTakesItsPlace) {
  struct Case {
    const char* name;
    QString victim;
    QStringList left;
    int selected;
  } cases[] = {
      {"first row", "a", {"b", "c"}, -1},
      {"middle row", "b", {"a", "c"}, 1},
      {"last row", "c", {"a", "b"}, 1},
  };
  for (const Case& c : cases) {
    CTreeGridModel list;
    for (const char* text : {"a", "b", "c"}) list.InsertRootItem(Info(text));
    const int row = c.victim == "a" ? 0 : c.victim == "b" ? 1 : 2;
    list.SelectRow(row);
    list.DeleteItem(list.GetTreeItem(row), row);
    QStringList texts;
    for (int r = 0; r < list.rowCount(); ++r) texts << list.GetTreeItem(r)->GetData().text;
    EXPECT_EQ(texts, c.left) << c.name;
    EXPECT_EQ(list.GetSelectedRow(), c.selected) << c.name;
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

TEST(TreeGridRules, TextCutting) {
  const auto tenEach = [](const QString& text) { return 10 * static_cast<int>(text.size()); };
  struct Case {
    QString text;
    int width;
    QString shown;
  } cases[] = {
      {"abcdef", 64, "abcdef"},  // 60 + 4 margin fits exactly
      {"abcdef", 63, "ab..."},   // 20 + 30 + 4 <= 63
      {"abcdef", 10, "a..."},    // one character always stays
      {"", 0, ""},
      {"ab", 23, "a..."},
  };
  for (const Case& c : cases) EXPECT_EQ(CutText(c.text, c.width, tenEach), c.shown) << c.text.toStdString() << c.width;
}

}  // namespace
