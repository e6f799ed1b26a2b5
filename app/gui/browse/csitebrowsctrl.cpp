#include "csitebrowsctrl.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include "browse/browsecommands.h"
#include "browse/csitebrowslist.h"
#include "core/commandids.h"

CSiteBrowsCtrl::CSiteBrowsCtrl(CSiteBrowsList& list, QWidget* parent)
    : CTreeGridCtrl(list.Model(), parent), m_list(list) {
  SetColumns(CSiteBrowsList::ColumnHeaders(), 100, CSiteBrowsList::kStatusColumn);
  setShowGrid(true);
  AddCommand(QStringLiteral("&New task"), command::kNew);
  AddCommand(QStringLiteral("&Delete task"), command::kDelete);
  m_menu.addSeparator();
  AddCommand(QStringLiteral("&Refresh directory"), command::kRefresh);
  AddCommand(QStringLiteral("&Download file"), command::kDownload);
  m_menu.addSeparator();
  AddCommand(QStringLiteral("&Connect server"), command::kConnect);
  AddCommand(QStringLiteral("Disconnec&t server"), command::kDisconnect);
  m_menu.addSeparator();
  AddCommand(QStringLiteral("Clea&r log display"), command::kClearBrowsLog);
  connect(&list, &CSiteBrowsList::RowsShown, this, [this](int, int last) {
    if (last >= 0) scrollTo(model()->index(last, 0));
  });
}

void CSiteBrowsCtrl::AddCommand(const QString& text, int id) {
  m_menu.addAction(text, this, [this, id] { emit PostCommand(id); });
}

void CSiteBrowsCtrl::mousePressEvent(QMouseEvent* event) {
  CTreeItem* boxed = event->button() == Qt::LeftButton ? ItemWithBoxAt(event->position().toPoint()) : nullptr;
  CTreeGridCtrl::mousePressEvent(event);
  if (boxed) ListIfUnlisted(boxed);
  if (event->button() == Qt::RightButton) m_menu.popup(event->globalPosition().toPoint());
}

void CSiteBrowsCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
  // A box's first click does not select its row: the selected row may be
  // another one, which the box must not act on.
  if (ItemWithBoxAt(event->position().toPoint())) return CTreeGridCtrl::mouseDoubleClickEvent(event);
  CTreeItem* item = m_list.SelectedItem();
  if (!item) return;
  if (event->button() == Qt::LeftButton) {
    if (!item->GetData().IsFolder())
      emit PostCommand(command::kDownload);
    else if (item->ChildCount() == 0)
      emit PostCommand(command::kRefresh);
  }
  CTreeGridCtrl::mouseDoubleClickEvent(event);
}

void CSiteBrowsCtrl::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Delete) emit PostCommand(command::kDelete);
  if (event->key() == Qt::Key_Right) ListIfUnlisted(m_list.SelectedItem());
  CTreeGridCtrl::keyPressEvent(event);
}

void CSiteBrowsCtrl::ListIfUnlisted(CTreeItem* item) {
  // Opening a directory never listed is asking for its entries; Refresh
  // acts on the selected row.
  if (!item || !CSiteBrowsList::IsUnlisted(*item) || item->ChildCount() > 0) return;
  m_list.Model().SelectRow(m_list.Model().NodeToIndex(item));
  emit PostCommand(command::kRefresh);
}
