// The download list as the frame sees it: the task list's view, its checks
// at start-up, the download commands and the shared Delete.
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <QWidget>

#include "core/messageseam.h"
#include "core/tasknoderemoval.h"
#include "download/cdownloadlist.h"
#include "framecommands.h"
#include "gui/download/cfiledownctrl.h"
#include "gui/download/cfiledownview.h"
#include "gui/widgets/listcolumns.h"
#include "taskpane.h"

namespace {

class CDownloadPane : public CTaskPane {
 public:
  CDownloadPane(CFrameServices& frame, QWidget* parent)
      : m_frame(frame), m_view(new CFileDownView(frame.Messages(), parent)) {
    m_view->Ctrl().SetMainList(true);
    FitListColumns(m_view->Ctrl(), {QStringLiteral("    some-file-name.tar.gz")});
    QObject::connect(&m_view->Ctrl(), &CFileDownCtrl::commandRequested, m_view,
                     [&frame](int id) { frame.PostCommand(id); });
    QObject::connect(&m_view->List(), &CDownloadList::commandPosted, m_view,
                     [&frame](int id) { frame.PostCommand(id); });
    QObject::connect(&m_view->List(), &CDownloadList::taskEnded, m_view, [this](int task) { TellEnd(task); });
  }

  QWidget* View() const override { return m_view; }
  CTreeGridCtrl* List() const override { return &m_view->Ctrl(); }
  bool RecordsMatchRows() const override { return m_view->List().RowsMatchRecords(); }
  void RecreateNodes() override { m_view->List().recreatenodes(); }

  void* SelectedLogNode() const override {
    CDownloadList& list = m_view->List();
    return list.LogNodeOfRow(list.Model().GetSelectedRow());
  }

  bool TakeFullRefresh() override {
    CDownloadList& list = m_view->List();
    const bool full = list.FullLogRefresh();
    list.SetFullLogRefresh(false);
    return full;
  }

  void AddTask(void* node, const QString& url) override { m_view->List().AddCreatedTask(node, url); }
  QStringList RunningTasks() const override { return m_view->List().RunningTaskKeys(); }
  void ResumeTasks(const QStringList& keys) override { m_view->List().ResumeTasks(keys); }
  QString SummaryText() const override { return ::SummaryText(m_view->List().Summary()); }

  bool Handle(int id) override {
    CDownloadList& list = m_view->List();
    const int row = list.Model().GetSelectedRow();
    switch (id) {
      case command::kDelete:
        Delete(list, row);
        return true;
      case command::kStartDownload:
        list.StartDownload(row);
        return true;
      case command::kResumeDownload:
        list.ResumeDownload(row);
        return true;
      case command::kStopDownload:
        list.StopDownload(row);
        return true;
      case command::kStartBranch:
        list.StartBranch(row);
        return true;
      case command::kStopBranch:
        list.StopBranch(row);
        return true;
      case command::kClearBranchLog:
        list.ClearBranchLog(row);
        return true;
      case command::kExecuteLocalFile:
        ExecuteLocalFile(list, row);
        return true;
      default:
        return false;
    }
  }

 private:
  void Delete(CDownloadList& list, int row) {
    if (m_deleting) return;
    const int task = list.TaskOfRow(row);
    if (task < 0) return;
    const QString question = QStringLiteral("The selected download task will be deleted, are you sure?");
    bool removefile = false;
    const QByteArray partial = list.PartialFileOf(task);
    if (!partial.isEmpty()) {
      if (!m_frame.Messages().AskWithOption(question, QStringLiteral("Delete the partial file"), removefile)) return;
    } else if (!m_frame.Messages().Ask(question)) {
      return;
    }
    const CDownRootAppend* record = &list.Task(task);
    // The wait keeps the window running, so a second Delete could arrive.
    m_deleting = true;
    const bool gone = RemoveTaskNode(record->node);
    m_deleting = false;
    if (!gone) return;
    // The rows may have moved while waiting: find the task by its record.
    for (int i = 0; i < list.TaskCount(); ++i) {
      if (&list.Task(i) == record) {
        // Only once the engine has let go: no branch writes it again.
        if (removefile && !QFile::remove(QFile::decodeName(partial)))
          m_frame.ShowNews(QStringLiteral("Cannot delete %1").arg(QFile::decodeName(partial)));
        list.RemoveTask(i);
        return;
      }
    }
  }

  void ExecuteLocalFile(CDownloadList& list, int row) {
    const QString path = list.LocalFilePath(row);
    if (path.isEmpty()) return;
    m_frame.OpenWithDesktop(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
  }

  void TellEnd(int task) {
    CDownloadList& list = m_view->List();
    const CTreeItem* root = list.RootOf(task);
    if (!root) return;
    const CItemInfo& info = root->GetData();
    const QString reason = list.FailureReason(task);
    m_frame.ShowNews(reason.isEmpty() ? QStringLiteral("%1: %2").arg(info.text, info.status)
                                      : QStringLiteral("%1: %2: %3").arg(info.text, info.status, reason));
    m_frame.TellDesktop(QStringLiteral("%1: %2").arg(info.text, info.status), reason);
  }

  CFrameServices& m_frame;
  CFileDownView* m_view;  // owned by the frame's widgets
  bool m_deleting = false;
};

}  // namespace

std::unique_ptr<CTaskPane> CreateDownloadPane(CFrameServices& frame, QWidget* parent) {
  return std::make_unique<CDownloadPane>(frame, parent);
}
