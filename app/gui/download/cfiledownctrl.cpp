#include "cfiledownctrl.h"

#include <QContextMenuEvent>
#include <QKeyEvent>

#include "core/commandids.h"
#include "core/ctreegridmodel.h"
#include "download/cdownloadlist.h"

namespace {
constexpr int kColumnWidth = 100;
}

CFileDownCtrl::CFileDownCtrl(CDownloadList& list, QWidget* parent) : CTreeGridCtrl(list.Model(), parent), m_list(list) {
  SetColumns(CDownloadList::ColumnHeaders(), kColumnWidth, CDownloadList::kStatusColumn,
             CDownloadList::kTimeLeftColumn);
  SetBarColumn(CDownloadList::kPercentColumn);
  setShowGrid(true);
  m_list.LoadListFile();
}

CFileDownCtrl::~CFileDownCtrl() { m_list.SaveListFile(); }

std::unique_ptr<QMenu> CFileDownCtrl::BuildPopup(bool branchrow) {
  auto menu = std::make_unique<QMenu>(this);
  auto add = [this, &menu](const QString& text, int command) {
    QAction* action = menu->addAction(text);
    action->setData(command);
    connect(action, &QAction::triggered, this, [this, command] { emit commandRequested(command); });
  };
  using namespace command;
  if (branchrow) {
    add(QStringLiteral("&Start branch"), kStartBranch);
    add(QStringLiteral("&Stop branch"), kStopBranch);
    add(QStringLiteral("Clea&r log display"), kClearBranchLog);
  } else {
    add(QStringLiteral("&New task"), kNew);
    add(QStringLiteral("&Delete task"), kDelete);
    menu->addSeparator();
    add(QStringLiteral("&Start download"), kStartDownload);
    add(QStringLiteral("&Continue download"), kResumeDownload);
    add(QStringLiteral("S&top download"), kStopDownload);
    menu->addSeparator();
    add(QStringLiteral("&Execute local file"), kExecuteLocalFile);
  }
  return menu;
}

bool CFileDownCtrl::BranchPopupAt(const QPoint& point) {
  const QModelIndex index = indexAt(point);
  if (!index.isValid()) {
    Model().GetSelectionModel()->clearSelection();
    return false;
  }
  SelectForMenu(index);
  return m_list.BranchOfRow(index.row()) >= 0;
}

void CFileDownCtrl::contextMenuEvent(QContextMenuEvent* event) {
  if (!m_mainlist) return CTreeGridCtrl::contextMenuEvent(event);
  std::unique_ptr<QMenu> menu = BuildPopup(BranchPopupAt(viewport()->mapFrom(this, event->pos())));
  menu->exec(event->globalPos());
}

void CFileDownCtrl::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Delete) emit commandRequested(command::kDelete);
  // Enter resumes the task (the window's key); it does not open the row.
  if (m_mainlist && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) return event->accept();
  CTreeGridCtrl::keyPressEvent(event);
}
