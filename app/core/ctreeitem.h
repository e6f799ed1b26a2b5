// One node of a list's tree. The item owns its data and its children; the
// rows of the list only point at items (see CTreeGridModel).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "citeminfo.h"
#include "cobject.h"

class CTreeItem : public CObject {
 public:
  static constexpr CRuntimeClass classinfo{"CTreeItem", 1};

  CTreeItem();
  explicit CTreeItem(std::unique_ptr<CItemInfo> info);
  ~CTreeItem() override;

  const CRuntimeClass& GetRuntimeClass() const override { return classinfo; }
  // A loaded item takes its parent from where it sits and comes up
  // collapsed, whatever the file says; the model sets its indent.
  void Serialize(CArchive& ar) override;

  CItemInfo& GetData() { return *m_info; }
  const CItemInfo& GetData() const { return *m_info; }
  void SetData(std::unique_ptr<CItemInfo> info);
  CTreeItem* GetParentItem() const { return m_parent; }
  bool ItemHasChildren() const { return m_childhint != -1 || !m_children.empty(); }
  bool IsCollapsed() const { return m_collapsed != 0; }
  int GetIndent() const { return m_indent; }
  int GetRow() const { return m_row; }
  int32_t GetChildHint() const { return m_childhint; }
  void SetChildHint(int32_t hint) { m_childhint = hint; }
  const std::vector<std::unique_ptr<CTreeItem>>& GetChildren() const { return m_children; }
  int ChildCount() const { return static_cast<int>(m_children.size()); }
  // The sibling after this one under the same parent; none for the last.
  // Roots have no parent here, so the model answers for them.
  CTreeItem* GetNextSibling() const;

 private:
  friend class CTreeGridModel;

  CTreeItem* m_parent = nullptr;
  std::unique_ptr<CItemInfo> m_info;
  uint32_t m_collapsed = 0;
  int32_t m_row = -1;
  int32_t m_indent = -1;
  int32_t m_childhint = -1;
  std::vector<std::unique_ptr<CTreeItem>> m_children;
};
