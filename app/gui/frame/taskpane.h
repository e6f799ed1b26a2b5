// How the main window sees each of its two task lists. The lists keep their
// tasks, files and timers themselves; the frame places them, feeds their
// log pane, checks them at start-up and routes commands to them.
#pragma once

#include <QString>

#include <memory>

class CMessageSeam;
class CTreeGridCtrl;
class QUrl;
class QWidget;
struct CNewTaskPages;

class CTaskPane {
 public:
  virtual ~CTaskPane() = default;
  // The upper pane of the column; owned by the frame's widgets.
  virtual QWidget* View() const = 0;
  virtual CTreeGridCtrl* List() const = 0;
  // After loading: as many task records as task rows.
  virtual bool RecordsMatchRows() const = 0;
  virtual void RecreateNodes() = 0;
  // The node whose log the pane below shows; null without a selected row.
  virtual void* SelectedLogNode() const = 0;
  // Set by the clear-log commands: the next refresh replaces the whole text.
  virtual bool TakeFullRefresh() = 0;
  virtual void AddTask(void* node, const QString& url) = 0;
  // Runs a command of this list; false when it is not one.
  virtual bool Handle(int command) = 0;
  // Whether a task of this list fetches the URL already.
  virtual bool HasTask(const QString& url) const {
    (void)url;
    return false;
  }
  // The tasks that run now and should run again after a restart.
  virtual QStringList RunningTasks() const { return {}; }
  virtual void ResumeTasks(const QStringList& keys) { (void)keys; }
  // What the status bar's right end says of this list; empty for nothing.
  virtual QString SummaryText() const { return {}; }
};

// What the lists may ask of the frame.
class CFrameServices {
 public:
  virtual ~CFrameServices() = default;
  virtual CMessageSeam& Messages() = 0;
  // Runs the command after the current one has finished.
  virtual void PostCommand(int command) = 0;
  // The fields of the new-task sheet, which the browse Download fills.
  virtual CNewTaskPages& NewTaskPages() = 0;
  // Hands a file or folder to the desktop.
  virtual bool OpenWithDesktop(const QUrl& url) = 0;
  // Tells what just happened in the status bar, once, for a while.
  virtual void ShowNews(const QString& text) = 0;
  // A desktop notification, when the user has them on.
  virtual void TellDesktop(const QString& summary, const QString& body) = 0;
};

std::unique_ptr<CTaskPane> CreateBrowsePane(CFrameServices& frame, QWidget* parent);
std::unique_ptr<CTaskPane> CreateDownloadPane(CFrameServices& frame, QWidget* parent);
