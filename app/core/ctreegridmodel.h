// The list both task lists are built on: a tree of CTreeItem shown as a
// flat report, one row per visible item. The tree owns the data; the rows
// only point at items, in depth-first order over the roots, descending only
// into expanded items. Every operation keeps that order and each shown
// item's row number, so the rows never disagree with the tree.
//
// Headless: the selection lives in a QItemSelectionModel that a view shares,
// so list commands work (and are tested) without any widget.
#pragma once

#include <QAbstractTableModel>
#include <QItemSelectionModel>
#include <QStringList>

#include <memory>
#include <vector>

#include "ctreeitem.h"

class CArchive;

class CTreeGridModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit CTreeGridModel(QObject* parent = nullptr);
  ~CTreeGridModel() override;

  // Column headers; column c > 0 shows sub-item c - 1. Set before loading.
  // With `statuscolumn` > 0 that column shows the entry's status instead,
  // `timeleftcolumn` its time left; the columns after such a derived one
  // show the sub-items one further left each.
  void SetColumns(const QStringList& headers, int statuscolumn = -1, int timeleftcolumn = -1);
  int StatusColumn() const { return m_statuscolumn; }
  // Columns holding byte counts or speeds: their tooltip is the entry's
  // readable `sizetip`, or else the cell's number in readable units.
  void SetSizeColumns(const QList<int>& columns) { m_sizecolumns = columns; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

  CTreeItem* InsertRootItem(std::unique_ptr<CItemInfo> info = nullptr);
  // Without `show` the parent is collapsed and no row appears.
  CTreeItem* InsertItem(CTreeItem* parent, std::unique_ptr<CItemInfo> info, bool show);
  // Returns the row of the last child shown, or the item's own row.
  int Expand(CTreeItem* item);
  void Collapse(CTreeItem* item);
  // Returns the last row of the item's shown subtree.
  int ExpandAll(CTreeItem* item);
  // Frees the item with its subtree. Afterwards, unless `row` is 0, row
  // `row` is selected when it still exists, else row - 1.
  void DeleteItem(CTreeItem* item, int row);
  void DeleteChildren(CTreeItem* item);
  void DeleteLastRoot();

  CTreeItem* GetTreeItem(int row) const;
  // The first selected row, and all of them in order.
  int GetSelectedRow() const;
  QList<int> GetSelectedRows() const;
  void SelectRow(int row);
  CTreeItem* GetRootItemOfRow(int row) const;
  // The row the item has, or would have if inserted now; -1 when it is not
  // in the tree or lies below a collapsed item.
  int NodeToIndex(const CTreeItem* item) const;
  int GetRootIndex(const CTreeItem* root) const;
  bool IsRoot(const CTreeItem* item) const { return GetRootIndex(item) >= 0; }
  int GetRootCount() const { return static_cast<int>(m_roots.size()); }
  CTreeItem* GetRootAt(int index) const;
  CTreeItem* GetChildAt(const CTreeItem* item, int index) const;
  int GetChildIndex(const CTreeItem* parent, const CTreeItem* child) const;
  // Works for roots too, whose siblings are the other roots.
  CTreeItem* GetNextSibling(const CTreeItem* item) const;
  int LastShownRow(const CTreeItem* item) const;

  // Call after changing an item's data so views redraw its row.
  void ItemChanged(CTreeItem* item);
  void ToggleCheckmark(CTreeItem* item);

  QItemSelectionModel* GetSelectionModel() { return &m_selection; }

  // The tree block of a list file: DWORD number of roots, then each root.
  // A load that fails part way keeps the roots read so far and rethrows.
  void Serialize(CArchive& ar);

 private:
  bool IsShown(const CTreeItem* item) const;
  int ShownDescendants(const CTreeItem* item) const;
  void InsertRows(int at, const std::vector<CTreeItem*>& items);
  void RemoveRows(int at, int count);
  void AppendRoot(std::unique_ptr<CTreeItem> root);

  QStringList m_headers{QString()};
  int m_statuscolumn = -1;
  int m_timeleftcolumn = -1;
  QList<int> m_sizecolumns;
  std::vector<std::unique_ptr<CTreeItem>> m_roots;
  std::vector<CTreeItem*> m_rows;
  QItemSelectionModel m_selection;
};
