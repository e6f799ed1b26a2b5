// The download list on screen: the tree-grid control over a CDownloadList,
// with the task and branch popups and the Delete key. Commands are not run
// here but handed to the main window (commandRequested), which owns them.
#pragma once

#include <QMenu>

#include <memory>

#include "gui/widgets/ctreegridctrl.h"

class CDownloadList;

class CFileDownCtrl : public CTreeGridCtrl {
  Q_OBJECT

 public:
  // Sets the columns and loads the list file.
  explicit CFileDownCtrl(CDownloadList& list, QWidget* parent = nullptr);
  // Saves the list file.
  ~CFileDownCtrl() override;

  CDownloadList& List() { return m_list; }
  // Popups appear only on the main window's download list.
  void SetMainList(bool on) { m_mainlist = on; }
  // Popup "1" (branch row) or popup "2" (root row or no row), as shown.
  std::unique_ptr<QMenu> BuildPopup(bool branchrow);
  // Which popup a right click at `point` shows: true for popup "1".
  bool BranchPopupAt(const QPoint& point);

 signals:
  void commandRequested(int command);

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  CDownloadList& m_list;
  bool m_mainlist = true;
};
