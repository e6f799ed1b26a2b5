#include "ctreegridmodel.h"

#include <QLocale>

#include <algorithm>

#include "carchive.h"

namespace {

bool IsBelow(const CTreeItem* item, const CTreeItem* ancestor) {
  for (const CTreeItem* up = item->GetParentItem(); up; up = up->GetParentItem())
    if (up == ancestor) return true;
  return false;
}

}  // namespace

CTreeGridModel::CTreeGridModel(QObject* parent) : QAbstractTableModel(parent), m_selection(this) {}

CTreeGridModel::~CTreeGridModel() = default;

void CTreeGridModel::SetColumns(const QStringList& headers, int statuscolumn, int timeleftcolumn) {
  beginResetModel();
  m_headers = headers.isEmpty() ? QStringList{QString()} : headers;
  m_statuscolumn = statuscolumn > 0 && statuscolumn < m_headers.size() ? statuscolumn : -1;
  m_timeleftcolumn =
      timeleftcolumn > 0 && timeleftcolumn < m_headers.size() && timeleftcolumn != m_statuscolumn ? timeleftcolumn : -1;
  endResetModel();
}

int CTreeGridModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CTreeGridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_headers.size());
}

QVariant CTreeGridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) return {};
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
  const CItemInfo& info = m_rows[index.row()]->GetData();
  const int column = index.column();
  if (column == 0) return info.text;
  if (column == m_statuscolumn)
    return role == Qt::ToolTipRole && !info.statustip.isEmpty() ? info.statustip : info.status;
  if (column == m_timeleftcolumn) return info.timeleft;
  const int derivedbefore = (m_statuscolumn > 0 && m_statuscolumn < column ? 1 : 0) +
                            (m_timeleftcolumn > 0 && m_timeleftcolumn < column ? 1 : 0);
  const QString text = info.GetSubItem(column - 1 - derivedbefore);
  if (role != Qt::ToolTipRole || !m_sizecolumns.contains(column)) return text;
  if (!info.sizetip.isEmpty()) return info.sizetip;
  QString digits = text;
  digits.remove(u',');
  bool ok = false;
  const qlonglong bytes = digits.toLongLong(&ok);
  return ok && bytes >= 0 ? QLocale().formattedDataSize(bytes, 1) : text;
}

QVariant CTreeGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  return m_headers.value(section);
}

bool CTreeGridModel::IsShown(const CTreeItem* item) const {
  return item && item->m_row >= 0 && item->m_row < static_cast<int>(m_rows.size()) && m_rows[item->m_row] == item;
}

int CTreeGridModel::ShownDescendants(const CTreeItem* item) const {
  int count = 0;
  for (size_t row = item->m_row + 1; row < m_rows.size() && IsBelow(m_rows[row], item); ++row) ++count;
  return count;
}

void CTreeGridModel::InsertRows(int at, const std::vector<CTreeItem*>& items) {
  if (items.empty()) return;
  beginInsertRows(QModelIndex(), at, at + static_cast<int>(items.size()) - 1);
  m_rows.insert(m_rows.begin() + at, items.begin(), items.end());
  for (size_t row = at; row < m_rows.size(); ++row) m_rows[row]->m_row = static_cast<int>(row);
  endInsertRows();
}

void CTreeGridModel::RemoveRows(int at, int count) {
  if (count <= 0) return;
  beginRemoveRows(QModelIndex(), at, at + count - 1);
  for (int row = at; row < at + count; ++row) {
    CTreeItem* item = m_rows[row];
    item->m_row = -1;
    if (item->ItemHasChildren()) item->m_collapsed = 1;
  }
  m_rows.erase(m_rows.begin() + at, m_rows.begin() + at + count);
  for (size_t row = at; row < m_rows.size(); ++row) m_rows[row]->m_row = static_cast<int>(row);
  endRemoveRows();
}

CTreeItem* CTreeGridModel::InsertRootItem(std::unique_ptr<CItemInfo> info) {
  auto root = std::make_unique<CTreeItem>(std::move(info));
  CTreeItem* item = root.get();
  AppendRoot(std::move(root));
  return item;
}

void CTreeGridModel::AppendRoot(std::unique_ptr<CTreeItem> root) {
  struct Levels {
    static void Set(CTreeItem& item, int indent) {
      item.m_indent = indent;
      for (const auto& child : item.GetChildren()) Set(*child, indent + 1);
    }
  };
  root->m_parent = nullptr;
  Levels::Set(*root, 1);
  CTreeItem* item = root.get();
  m_roots.push_back(std::move(root));
  InsertRows(static_cast<int>(m_rows.size()), {item});
}

CTreeItem* CTreeGridModel::InsertItem(CTreeItem* parent, std::unique_ptr<CItemInfo> info, bool show) {
  if (!parent) return nullptr;
  if (!show) Collapse(parent);
  auto child = std::make_unique<CTreeItem>(std::move(info));
  CTreeItem* item = child.get();
  item->m_parent = parent;
  item->m_indent = parent->m_indent + 1;
  parent->m_children.push_back(std::move(child));
  if (!show) {
    parent->m_collapsed = 1;
    return item;
  }
  // A parent that is hidden or collapsed gets the child without a row.
  const int row = NodeToIndex(item);
  if (row >= 0) InsertRows(row, {item});
  return item;
}

int CTreeGridModel::Expand(CTreeItem* item) {
  if (!IsShown(item)) return -1;
  if (!item->ItemHasChildren() || !item->IsCollapsed()) return item->m_row;
  item->m_collapsed = 0;
  std::vector<CTreeItem*> children;
  for (const auto& child : item->m_children) {
    // Grandchildren stay hidden, so their parents must read as collapsed.
    if (child->ItemHasChildren()) child->m_collapsed = 1;
    children.push_back(child.get());
  }
  InsertRows(item->m_row + 1, children);
  ItemChanged(item);  // its box and folder image change
  return item->m_row + static_cast<int>(children.size());
}

void CTreeGridModel::Collapse(CTreeItem* item) {
  if (!item || !item->ItemHasChildren()) return;
  if (IsShown(item)) RemoveRows(item->m_row + 1, ShownDescendants(item));
  item->m_collapsed = 1;
  ItemChanged(item);
}

int CTreeGridModel::ExpandAll(CTreeItem* item) {
  if (!item) return -1;
  Expand(item);
  for (const auto& child : item->m_children) ExpandAll(child.get());
  return LastShownRow(item);
}

int CTreeGridModel::LastShownRow(const CTreeItem* item) const {
  if (!IsShown(item)) return -1;
  return item->m_row + ShownDescendants(item);
}

void CTreeGridModel::DeleteItem(CTreeItem* item, int row) {
  if (!item) return;
  if (IsShown(item)) RemoveRows(item->m_row, 1 + ShownDescendants(item));
  auto& owners = item->m_parent ? item->m_parent->m_children : m_roots;
  const auto found = std::find_if(owners.begin(), owners.end(),
                                  [item](const std::unique_ptr<CTreeItem>& owned) { return owned.get() == item; });
  if (found != owners.end()) owners.erase(found);
  if (row <= 0) return;
  const int rows = rowCount();
  if (row < rows)
    SelectRow(row);
  else if (row - 1 < rows)
    SelectRow(row - 1);
}

void CTreeGridModel::DeleteChildren(CTreeItem* item) {
  if (!item) return;
  Collapse(item);
  item->m_children.clear();
}

void CTreeGridModel::DeleteLastRoot() {
  if (m_roots.empty()) return;
  CTreeItem* last = m_roots.back().get();
  DeleteItem(last, last->m_row);
}

CTreeItem* CTreeGridModel::GetTreeItem(int row) const { return row >= 0 && row < rowCount() ? m_rows[row] : nullptr; }

int CTreeGridModel::GetSelectedRow() const {
  int first = -1;
  for (const QItemSelectionRange& range : m_selection.selection())
    if (range.isValid() && (first < 0 || range.top() < first)) first = range.top();
  return first;
}

QList<int> CTreeGridModel::GetSelectedRows() const {
  QList<int> rows;
  for (const QModelIndex& index : m_selection.selectedRows()) rows.append(index.row());
  std::sort(rows.begin(), rows.end());
  return rows;
}

void CTreeGridModel::SelectRow(int row) {
  if (row < 0 || row >= rowCount()) {
    m_selection.clear();
    return;
  }
  m_selection.setCurrentIndex(index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

CTreeItem* CTreeGridModel::GetRootItemOfRow(int row) const {
  CTreeItem* item = GetTreeItem(row);
  while (item && item->m_parent) item = item->m_parent;
  return item;
}

int CTreeGridModel::NodeToIndex(const CTreeItem* item) const {
  if (!item) return -1;
  if (IsShown(item)) return item->m_row;
  struct Walk {
    const CTreeItem* target;
    int count = 0;
    bool Visit(const CTreeItem& node) {
      if (&node == target) return true;
      ++count;
      if (!node.IsCollapsed())
        for (const auto& child : node.GetChildren())
          if (Visit(*child)) return true;
      return false;
    }
  } walk{item};
  for (const auto& root : m_roots)
    if (walk.Visit(*root)) return walk.count;
  return -1;
}

int CTreeGridModel::GetRootIndex(const CTreeItem* root) const {
  for (size_t i = 0; i < m_roots.size(); ++i)
    if (m_roots[i].get() == root) return static_cast<int>(i);
  return -1;
}

CTreeItem* CTreeGridModel::GetRootAt(int index) const {
  return index >= 0 && index < GetRootCount() ? m_roots[index].get() : nullptr;
}

CTreeItem* CTreeGridModel::GetChildAt(const CTreeItem* item, int index) const {
  return item && index >= 0 && index < item->ChildCount() ? item->m_children[index].get() : nullptr;
}

int CTreeGridModel::GetChildIndex(const CTreeItem* parent, const CTreeItem* child) const {
  if (!parent) return -1;
  for (int i = 0; i < parent->ChildCount(); ++i)
    if (parent->m_children[i].get() == child) return i;
  return -1;
}

CTreeItem* CTreeGridModel::GetNextSibling(const CTreeItem* item) const {
  if (!item) return nullptr;
  if (item->m_parent) return item->GetNextSibling();
  const int index = GetRootIndex(item);
  return index >= 0 ? GetRootAt(index + 1) : nullptr;
}

void CTreeGridModel::ItemChanged(CTreeItem* item) {
  if (!IsShown(item)) return;
  emit dataChanged(index(item->m_row, 0), index(item->m_row, columnCount() - 1));
}

void CTreeGridModel::ToggleCheckmark(CTreeItem* item) {
  if (!item) return;
  item->GetData().checkmark = item->GetData().checkmark ? 0 : 1;
  ItemChanged(item);
}

void CTreeGridModel::Serialize(CArchive& ar) {
  if (ar.IsStoring()) {
    ar.WriteDword(static_cast<uint32_t>(m_roots.size()));
    for (const auto& root : m_roots) ar.WriteObject(root.get());
    return;
  }
  for (uint32_t i = 0, count = ar.ReadDword(); i < count; ++i)
    if (std::unique_ptr<CTreeItem> root = ar.ReadOwned<CTreeItem>()) AppendRoot(std::move(root));
}
