// The browse list on screen: the tree-grid list showing a CSiteBrowsList,
// with its context menu, double click and Delete key. Commands go to the
// frame as PostCommand(id), which the frame connects queued.
#pragma once

#include <QMenu>

#include "gui/widgets/ctreegridctrl.h"

class CSiteBrowsList;

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

  CSiteBrowsList& m_list;
  QMenu m_menu;
};
