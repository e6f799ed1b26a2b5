#include "ctreeitem.h"

#include "carchive.h"

CTreeItem::CTreeItem() : m_info(std::make_unique<CItemInfo>()) {}

CTreeItem::CTreeItem(std::unique_ptr<CItemInfo> info)
    : m_info(info ? std::move(info) : std::make_unique<CItemInfo>()) {}

CTreeItem::~CTreeItem() = default;

void CTreeItem::SetData(std::unique_ptr<CItemInfo> info) {
  if (info) m_info = std::move(info);
}

CTreeItem* CTreeItem::GetNextSibling() const {
  if (!m_parent) return nullptr;
  const auto& siblings = m_parent->m_children;
  for (size_t i = 0; i + 1 < siblings.size(); ++i)
    if (siblings[i].get() == this) return siblings[i + 1].get();
  return nullptr;
}

void CTreeItem::Serialize(CArchive& ar) {
  if (ar.IsStoring()) {
    ar.WriteCount(static_cast<uint32_t>(m_children.size()));
    for (const auto& child : m_children) ar.WriteObject(child.get());
    ar.WriteDword(1);  // always stored collapsed
    ar.WriteObject(m_parent);
    ar.WriteObject(m_info.get());
    ar.WriteDword(static_cast<uint32_t>(m_row));
    ar.WriteDword(static_cast<uint32_t>(m_indent));
    ar.WriteDword(static_cast<uint32_t>(m_childhint));
    return;
  }
  m_children.clear();
  for (uint32_t i = 0, count = ar.ReadCount(); i < count; ++i) {
    std::unique_ptr<CTreeItem> child = ar.ReadOwned<CTreeItem>();
    if (!child) continue;
    child->m_parent = this;
    m_children.push_back(std::move(child));
  }
  ar.ReadDword();
  m_collapsed = 1;
  // The stored parent is only checked as a reference; the item's place in
  // the tree decides its parent, so a damaged file cannot cross-link items.
  ar.ReadReference<CTreeItem>();
  if (std::unique_ptr<CItemInfo> info = ar.ReadOwned<CItemInfo>()) m_info = std::move(info);
  ar.ReadDword();
  m_row = -1;  // rows are given by the model that shows the item
  m_indent = static_cast<int32_t>(ar.ReadDword());
  m_childhint = static_cast<int32_t>(ar.ReadDword());
}
