// The browse list on screen: the tree-grid list showing a CSiteBrowsList,
// with its context menu, double click and Delete key; opening a directory
// never listed (its box, the Right key) lists it. Commands go to the
// frame as PostCommand(id), which the frame connects queued.
#pragma once

#include <QMenu>

#include "gui/widgets/ctreegridctrl.h"

class CSiteBrowsList;
class CTreeItem;

class CSiteBrowsCtrl : public CTreeGridCtrl {
  Q_OBJECT

 public:
  explicit CSiteBrowsCtrl(CSiteBrowsList& list, QWidget* parent = nullptr);

  CSiteBrowsList& List() const { return m_list; }
  QMenu& ContextMenu() { return m_menu; }

 signals:
  void PostCommand(int id);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void AddCommand(const QString& text, int id);
  void ListIfUnlisted(CTreeItem* item);

  CSiteBrowsList& m_list;
  QMenu m_menu;
};
