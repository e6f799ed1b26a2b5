// The download list as the frame sees it: the task list's view, its checks
// at start-up, the download commands and the shared Delete.
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <QWidget>

#include <algorithm>

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
    FitListColumns(m_view->Ctrl(), {QStringLiteral("    some-file-name.tar.gz"), QStringLiteral("0,000,000,000"),
                                    QStringLiteral("0,000,000,000"), QString(), QStringLiteral("00,000,000"),
                                    QStringLiteral("Retrying in 30 s"), QStringLiteral("00:00:00"),
                                    QStringLiteral("/home/someone/Downloads")});
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
  bool HasTask(const QString& url) const override { return m_view->List().HasUrl(url); }
  QStringList RunningTasks() const override { return m_view->List().RunningTaskKeys(); }
  void ResumeTasks(const QStringList& keys) override { m_view->List().ResumeTasks(keys); }
  QString SummaryText() const override { return ::SummaryText(m_view->List().Summary()); }

  bool Handle(int id) override {
    CDownloadList& list = m_view->List();
    const int row = list.Model().GetSelectedRow();
    switch (id) {
      case command::kDelete:
        Delete(list, list.Model().GetSelectedRows());
        return true;
      case command::kStartDownload:
        list.StartDownload(row);
        return true;
      case command::kResumeDownload:
        list.ResumeDownloads(list.Model().GetSelectedRows());
        return true;
      case command::kStopDownload:
        list.StopDownloads(list.Model().GetSelectedRows());
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
  void Delete(CDownloadList& list, const QList<int>& rows) {
    if (m_deleting) return;
    const QList<CDownRootAppend*> tasks = list.TasksOfRows(rows);
    if (tasks.isEmpty()) return;
    const bool one = tasks.size() == 1;
    const QString question =
        one ? QStringLiteral("The selected download task will be deleted, are you sure?")
            : QStringLiteral("The %1 selected download tasks will be deleted, are you sure?").arg(tasks.size());
    QList<QByteArray> partials;
    for (const CDownRootAppend* record : tasks) partials.append(list.PartialFileOf(list.IndexOf(record)));
    bool removefile = false;
    if (std::any_of(partials.begin(), partials.end(), [](const QByteArray& p) { return !p.isEmpty(); })) {
      const QString option =
          one ? QStringLiteral("Delete the partial file") : QStringLiteral("Delete the partial files");
      if (!m_frame.Messages().AskWithOption(question, option, removefile)) return;
    } else if (!m_frame.Messages().Ask(question)) {
      return;
    }
    // The wait keeps the window running, so a second Delete could arrive.
    m_deleting = true;
    for (qsizetype i = 0; i < tasks.size(); ++i) {
      if (list.IndexOf(tasks[i]) < 0 || !RemoveTaskNode(tasks[i]->node)) continue;
      // The rows may have moved while waiting: find the task by its record.
      const int task = list.IndexOf(tasks[i]);
      if (task < 0) continue;
      // Only once the engine has let go: no branch writes it again.
      const QString partial = QFile::decodeName(partials[i]);
      if (removefile && !partial.isEmpty() && !QFile::remove(partial))
        m_frame.ShowNews(QStringLiteral("Cannot delete %1").arg(partial));
      list.RemoveTask(task);
    }
    m_deleting = false;
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
