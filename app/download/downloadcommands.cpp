// The commands on the selected download task or branch.
#include <QDir>

#include "cdownloadlist.h"

#include <algorithm>
#include "core/commandids.h"
#include "core/messageseam.h"
#include "core/programdirectory.h"
#include "core/savedirectory.h"
#include "core/treegridrules.h"
#include "lark.h"
#include "numbertext.h"

namespace {
void* Branch(void* node, int k) {
  void* branch = nullptr;
  if (lark::getdownbranch(node, static_cast<unsigned>(k + 1), branch) != 0) return nullptr;
  return branch;
}
}  // namespace

void CDownloadList::StartDownload(int row) { StartTask(TaskOfRow(row)); }

void CDownloadList::StartTask(int task) {
  if (task < 0 || task >= TaskCount()) return;
  CDownRootAppend& t = Task(task);
  unsigned protocol = 0;
  if (lark::getserverprotocol(t.node, protocol) != 0) return;
  int c = 0;
  if (lark::getserverconnected(t.node, c, 0) == 0 && c) {
    lark::disconnect(t.node, 0);
    WaitDisconnected(t.node, 0);
  }
  t.probe.Reset();
  t.retry.assign(t.retry.size(), BranchRetry{});
  t.failure.clear();
  t.startover = false;
  lark::setresumeenable(t.node, 1);  // a new probe decides again
  if (protocol == 1)
    lark::savecommand(t.node, "");
  else
    lark::generateinitcommand(t.node);
  lark::connect(t.node, 1);
  ProbeSoon();
}

void CDownloadList::ResumeDownload(int row) { ResumeTask(TaskOfRow(row)); }

void CDownloadList::ResumeTask(int task) {
  if (task < 0 || task >= TaskCount()) return;
  CDownRootAppend& t = Task(task);
  if (t.tracking == 1) return;
  unsigned protocol = 0;
  if (lark::getserverprotocol(t.node, protocol) != 0) return;
  if (t.starttick == 0) {
    emit commandPosted(command::kStartDownload);
    return;
  }
  ResizeRetry(task);
  t.retry.assign(t.retry.size(), BranchRetry{});
  t.failure.clear();
  t.startover = false;
  for (size_t k = 0; k < t.branchactive.size(); ++k) {
    void* h = Branch(t.node, static_cast<int>(k));
    if (!h) continue;
    if (k < t.branchstopped.size() && t.branchstopped[k] == 1) {
      const uint32_t j = k < t.branchseg.size() ? t.branchseg[k] : 0;
      if (j < static_cast<uint32_t>(t.SegmentCount())) {
        lark::setfilepointer(h, t.SegStart(static_cast<int>(j)), 0);
        lark::setfilepointer(h, t.SegPos(static_cast<int>(j)), 1);
        lark::setfilepointer(h, t.SegEnd(static_cast<int>(j)), 2);
      }
      continue;
    }
    int c = 0;
    if (lark::getserverconnected(h, c, 1) == 0 && c) {
      lark::disconnect(h, 1);
      WaitDisconnected(h, 1);
    }
    if (assignsegment(task, static_cast<int>(k)) != 0) {
      t.branchactive[k] = 0;
      continue;
    }
    if (protocol == 1) lark::generateinitcommand(h);
    lark::setdownstarted(h, 1);
    lark::adjustrestpoint(h);
    MarkTry(task, static_cast<int>(k));
    lark::connect(h, 1);
  }
  t.probe.state = ProbeState::Downloading;
  t.tracking = 1;
}

QList<CDownRootAppend*> CDownloadList::TasksOfRows(const QList<int>& rows) {
  QList<CDownRootAppend*> tasks;
  for (int row : rows)
    if (const int task = TaskOfRow(row); task >= 0 && !tasks.contains(&Task(task))) tasks.append(&Task(task));
  return tasks;
}

int CDownloadList::IndexOf(const CDownRootAppend* record) const {
  for (size_t i = 0; i < m_tasks.size(); ++i)
    if (m_tasks[i].get() == record) return static_cast<int>(i);
  return -1;
}

void CDownloadList::StopDownload(int row) { StopDownloads({row}); }

void CDownloadList::StopDownloads(const QList<int>& rows) {
  const QList<CDownRootAppend*> tasks = TasksOfRows(rows);
  if (tasks.isEmpty()) return;
  const QString question =
      tasks.size() == 1
          ? QStringLiteral("The whole selected download task will be disconnected, are you sure?")
          : QStringLiteral("The %1 selected download tasks will be disconnected, are you sure?").arg(tasks.size());
  if (!m_messages.Ask(question)) return;
  // Each stop waits for its connections: the records stay, their rows may move.
  for (CDownRootAppend* record : tasks)
    if (const int task = IndexOf(record); task >= 0) StopTask(task);
}

void CDownloadList::ResumeDownloads(const QList<int>& rows) {
  const QList<CDownRootAppend*> tasks = TasksOfRows(rows);
  if (tasks.size() == 1) return ResumeTask(IndexOf(tasks[0]));
  for (CDownRootAppend* record : tasks) {
    const int task = IndexOf(record);
    if (task < 0) continue;
    if (record->starttick == 0)
      StartTask(task);
    else
      ResumeTask(task);
  }
}

void CDownloadList::StopTask(int task) {
  CDownRootAppend& t = Task(task);
  std::fill(t.branchactive.begin(), t.branchactive.end(), 0u);
  t.retry.assign(t.retry.size(), BranchRetry{});
  int c = 0;
  if (lark::getserverconnected(t.node, c, 0) == 0 && c) {
    lark::disconnect(t.node, 0);
    WaitDisconnected(t.node, 0);
  }
  // The last pass takes the final positions now, so that a Resume right
  // after this Stop is not taken for a task still running.
  t.startover = false;
  if (t.tracking == 1) updateprogress(task);
  t.tracking = 0;
  t.probe.state = ProbeState::Idle;
  RefreshStatus(task);
}

void CDownloadList::StopBranch(int row) {
  const int task = TaskOfRow(row);
  const int k = BranchOfRow(row);
  if (task < 0 || k < 0) return;
  CDownRootAppend& t = Task(task);
  if (static_cast<size_t>(k) >= t.branchstopped.size()) return;
  t.branchstopped[static_cast<size_t>(k)] = 1;
  if (static_cast<size_t>(k) < t.branchactive.size()) t.branchactive[static_cast<size_t>(k)] = 0;
  if (static_cast<size_t>(k) < t.retry.size()) t.retry[static_cast<size_t>(k)] = BranchRetry{};
  SetBranchImage(task, k, kBranchStopped);
  lark::disconnect(Branch(t.node, k), 1);
}

void CDownloadList::StartBranch(int row) {
  const int task = TaskOfRow(row);
  const int k = BranchOfRow(row);
  if (task < 0 || k < 0) return;
  CDownRootAppend& t = Task(task);
  if (static_cast<size_t>(k) >= t.branchstopped.size()) return;
  t.branchstopped[static_cast<size_t>(k)] = 0;
  SetBranchImage(task, k, kBranchIdle);
  if (t.tracking == 0) return;
  void* h = Branch(t.node, k);
  int c = 0;
  if (!h || lark::getserverconnected(h, c, 1) != 0 || c) return;
  if (static_cast<size_t>(k) >= t.branchactive.size()) return;
  t.branchactive[static_cast<size_t>(k)] = 1;
  if (assignsegment(task, k) != 0) {
    t.branchactive[static_cast<size_t>(k)] = 0;
    return;
  }
  lark::adjustrestpoint(h);
  lark::connect(h, 1);
}

void CDownloadList::ClearBranchLog(int row) {
  const int task = TaskOfRow(row);
  const int k = BranchOfRow(row);
  if (task >= 0 && k >= 0) lark::clearlogmessage(Branch(Task(task).node, k));
  m_fulllogrefresh = true;
}

QString CDownloadList::LocalFilePath(int row) const {
  CTreeItem* root = m_model.GetRootItemOfRow(row);
  if (!root) return {};
  const CItemInfo& info = root->GetData();
  QString dir = ResolveSaveDirectory(info.GetSubItem(4), ProgramDirectory());
  if (!dir.isEmpty() && !dir.endsWith(u'/')) dir += u'/';
  return dir + info.text;
}

QString CDownloadList::TaskKey(int task) const {
  const CDownRootAppend& t = *m_tasks[static_cast<size_t>(task)];
  return t.url + u'\t' + t.localdir;
}

QStringList CDownloadList::RunningTaskKeys() const {
  QStringList keys;
  for (int i = 0; i < TaskCount(); ++i) {
    int64_t retryms = 0;
    const TaskState state = StateOf(i, retryms);
    if (state == TaskState::Connecting || state == TaskState::Downloading || state == TaskState::Retrying)
      keys.append(TaskKey(i));
  }
  return keys;
}

void CDownloadList::ResumeTasks(const QStringList& keys) {
  for (int i = 0; i < TaskCount(); ++i) {
    if (!keys.contains(TaskKey(i)) || IsComplete(i)) continue;
    // One stopped while still probing has no positions to resume from.
    if (Task(i).starttick == 0)
      StartTask(i);
    else
      ResumeTask(i);
  }
}
