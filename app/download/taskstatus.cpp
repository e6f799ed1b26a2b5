// The Status column: each task's and branch's state in words, the reason
// of a failure as its tooltip, an image that tells failed, stopped and
// never started apart, and the news of a task that has just ended.
#include "cdownloadlist.h"
#include "core/treegridrules.h"
#include "lark.h"
#include "numbertext.h"

#include <algorithm>
#include <limits>

QString TaskStateText(TaskState state, int64_t retryms) {
  switch (state) {
    case TaskState::NotStarted:
      return QStringLiteral("Not started");
    case TaskState::Connecting:
      return QStringLiteral("Connecting");
    case TaskState::Downloading:
      return QStringLiteral("Downloading");
    case TaskState::Retrying:
      return QStringLiteral("Retrying in %1 s").arg(std::max<int64_t>(1, (retryms + 999) / 1000));
    case TaskState::Stopped:
      return QStringLiteral("Stopped");
    case TaskState::Completed:
      return QStringLiteral("Completed");
    case TaskState::Failed:
      return QStringLiteral("Failed");
  }
  return {};
}

namespace {
bool Receives(TaskState state) { return state == TaskState::Downloading || state == TaskState::Connecting; }

int32_t StateImage(TaskState state) {
  switch (state) {
    case TaskState::NotStarted:
      return kTaskNew;
    case TaskState::Stopped:
      return kTaskStopped;
    case TaskState::Failed:
      return kTaskFailed;
    case TaskState::Connecting:
    case TaskState::Downloading:
    case TaskState::Retrying:
      return kTaskRunning;
    case TaskState::Completed:
      break;
  }
  return -1;
}

// Sets what a row shows; false when nothing changed.
bool Show(CItemInfo& info, const QString& status, const QString& tip, int32_t image) {
  if (info.status == status && info.statustip == tip && info.stateimage == image) return false;
  info.status = status;
  info.statustip = tip;
  info.stateimage = image;
  return true;
}
}  // namespace

TaskState CDownloadList::StateOf(int task, int64_t& retryms) const {
  const CDownRootAppend& t = *m_tasks[static_cast<size_t>(task)];
  const uint32_t now = TickCount();
  retryms = 0;
  if (IsComplete(task)) return TaskState::Completed;
  if (!t.failure.isEmpty()) return TaskState::Failed;
  int connected = 0;
  lark::getserverconnected(t.node, connected, 0);
  if (connected) return t.probe.state == ProbeState::Downloading ? TaskState::Downloading : TaskState::Connecting;
  int64_t due = std::numeric_limits<int64_t>::max();
  if (t.probe.waits) due = static_cast<int32_t>(t.probe.due - now);
  for (const BranchRetry& r : t.retry)
    if (r.pending) due = std::min<int64_t>(due, static_cast<int32_t>(r.due - now));
  if (due != std::numeric_limits<int64_t>::max()) {
    retryms = std::max<int64_t>(0, due);
    return TaskState::Retrying;
  }
  if (t.probe.state == ProbeState::Downloading && t.AnyBranchActive()) return TaskState::Downloading;
  if (t.probe.state == ProbeState::ProbeSent || t.probe.state == ProbeState::RestSent || t.probe.Answered())
    return TaskState::Connecting;
  return t.starttick == 0 && t.SegmentCount() == 0 ? TaskState::NotStarted : TaskState::Stopped;
}

void CDownloadList::RefreshStatus(int task) {
  CDownRootAppend& t = Task(task);
  CTreeItem* root = RootOf(task);
  if (!root) return;
  int64_t retryms = 0;
  const TaskState state = StateOf(task, retryms);
  const QString tip = state == TaskState::Failed ? t.failure : state == TaskState::Retrying ? t.lastreason : QString();
  bool changed = Show(root->GetData(), TaskStateText(state, retryms), tip, StateImage(state));
  if (!Receives(state) && root->GetData().GetSubItem(3) != QStringLiteral("0")) {
    root->GetData().SetSubItem(3, QStringLiteral("0"));
    changed = true;
  }
  // Nothing to wait for once it has ended; nothing to tell while it does
  // not receive.
  if (!Receives(state)) {
    const QString left = state == TaskState::Completed ? QString() : QStringLiteral("\u2014");
    changed = changed || root->GetData().timeleft != left;
    root->GetData().timeleft = left;
  }
  if (changed) m_model.ItemChanged(root);
  if (!Receives(state)) {
    t.lastpass = 0;  // the next start measures afresh
    t.speed = 0;
    t.smoothed.Reset();
  }

  const uint32_t now = TickCount();
  for (int k = 0; k < root->ChildCount(); ++k) {
    CTreeItem* row = m_model.GetChildAt(root, k);
    if (!row) continue;
    const size_t b = static_cast<size_t>(k);
    TaskState branch = state;
    int64_t branchretry = 0;
    if (state != TaskState::Completed && state != TaskState::Failed && state != TaskState::NotStarted) {
      int c = 0;
      void* h = nullptr;
      if (lark::getdownbranch(t.node, static_cast<unsigned>(k + 1), h) == 0 && h) lark::getserverconnected(h, c, 1);
      const BranchRetry* r = b < t.retry.size() ? &t.retry[b] : nullptr;
      if (b < t.branchstopped.size() && t.branchstopped[b] == 1) {
        branch = TaskState::Stopped;
      } else if (r && r->pending) {
        branch = TaskState::Retrying;
        branchretry = std::max<int32_t>(0, static_cast<int32_t>(r->due - now));
      } else if (c) {
        int64_t w = 0;
        lark::getfilepointer(h, w, 1);
        branch = r && r->trystart >= 0 && w > r->trystart ? TaskState::Downloading : TaskState::Connecting;
      } else if (b < t.branchactive.size() && t.branchactive[b] == 1 && state != TaskState::Stopped) {
        branch = TaskState::Connecting;  // between two connections of its work
      } else if (state == TaskState::Stopped || b >= t.branchactive.size()) {
        branch = TaskState::Stopped;
      } else {
        branch = TaskState::Completed;  // its share is in; the others go on
      }
    }
    CItemInfo& info = row->GetData();
    bool rowchanged = Show(info, TaskStateText(branch, branchretry), QString(), info.stateimage);
    // While the task receives, the pass's figures stand: they add up to its
    // speed, including the bytes of a branch that has just let go.
    if (!Receives(state) && info.GetSubItem(3) != QStringLiteral("0") && !info.GetSubItem(3).isEmpty()) {
      info.SetSubItem(3, QStringLiteral("0"));
      rowchanged = true;
    }
    if (rowchanged) m_model.ItemChanged(row);
  }

  const std::optional<TaskState> before = t.shownstate;
  t.shownstate = state;
  const bool ended = state == TaskState::Completed || state == TaskState::Failed;
  if (ended && before && *before != state && *before != TaskState::Completed && *before != TaskState::Failed)
    emit taskEnded(task);
}

TransferSummary CDownloadList::Summary() const {
  TransferSummary summary;
  // The state each row shows, as this second's pass found it.
  for (const auto& task : m_tasks) {
    const CDownRootAppend& t = *task;
    if (!t.shownstate || (!Receives(*t.shownstate) && *t.shownstate != TaskState::Retrying)) continue;
    ++summary.running;
    summary.speed += t.speed;
    if (t.remaining < 0)
      summary.lengthsknown = false;
    else
      summary.remaining += t.remaining;
  }
  return summary;
}
