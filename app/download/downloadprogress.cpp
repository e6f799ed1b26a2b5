// The progress pass: records each branch's written position, hands finished
// branches new work, restarts dropped ones after a growing wait, and shows
// sizes, percent and speed.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cdownloadlist.h"

#include <algorithm>
#include <vector>
#include "core/treegridrules.h"
#include "lark.h"
#include "numbertext.h"
#include "transfersummary.h"

namespace {
QString Percent(int64_t done, int64_t whole) {
  if (whole <= 0) return QStringLiteral("0");
  done = std::clamp<int64_t>(done, 0, whole);
  return QString::number(static_cast<qlonglong>(static_cast<double>(done) / static_cast<double>(whole) * 100.0));
}

int64_t Speed(int64_t bytes, uint32_t milliseconds) {
  if (milliseconds == 0 || bytes <= 0) return 0;
  return static_cast<int64_t>(static_cast<double>(bytes) / milliseconds * 1000.0);
}

bool Due(uint32_t now, uint32_t due) { return static_cast<int32_t>(now - due) >= 0; }
}  // namespace

bool CDownloadList::RetryPending(int task) const {
  for (const BranchRetry& r : m_tasks[static_cast<size_t>(task)]->retry)
    if (r.pending) return true;
  return false;
}

bool CDownloadList::HasGivenUp(int task) const {
  return !IsComplete(task) && !m_tasks[static_cast<size_t>(task)]->failure.isEmpty();
}

QString CDownloadList::FailureReason(int task) const {
  return HasGivenUp(task) ? m_tasks[static_cast<size_t>(task)]->failure : QString();
}

// The task ends: every branch lets go, none tries again, and the row says why.
void CDownloadList::FailTask(int task, const QString& reason) {
  CDownRootAppend& t = Task(task);
  if (!t.failure.isEmpty()) return;
  t.failure = reason;
  std::fill(t.branchactive.begin(), t.branchactive.end(), 0u);
  for (BranchRetry& r : t.retry) r.pending = false;
  t.startover = false;
  if (t.node) lark::disconnect(t.node, 0);
  RemoveUnwrittenFile(task);
  SetRootImage(task, ItemKind::TaskImage, kTaskStopped);
  RefreshStatus(task);
}

// Where the current try of branch k begins: what it brings decides whether
// its end is a cut to take up at once or a failure to wait after.
void CDownloadList::MarkTry(int task, int k) {
  CDownRootAppend& t = Task(task);
  ResizeRetry(task);
  void* h = nullptr;
  int64_t w = -1;
  if (static_cast<size_t>(k) < t.retry.size() && lark::getdownbranch(t.node, static_cast<unsigned>(k + 1), h) == 0 &&
      lark::getfilepointer(h, w, 1) == 0)
    t.retry[static_cast<size_t>(k)].trystart = w;
}

bool CDownloadList::IsComplete(int task) const {
  const CDownRootAppend& t = *m_tasks[static_cast<size_t>(task)];
  CTreeItem* root = RootOf(task);
  return root && root->GetData().GetSubItem(2) == QStringLiteral("100") && !t.AnyBranchActive() && !RetryPending(task);
}

// A connection that ended before its segment did. A final answer ends the
// task; bytes that did not start where asked start it over from byte 0 on
// one branch; otherwise the segment is free for any branch, and this one
// tries again: at once after a try that brought enough, else after a wait
// that doubles with each short try in a row, until it runs out of tries.
void CDownloadList::BranchFailed(int task, int k, int64_t w) {
  CDownRootAppend& t = Task(task);
  t.branchactive[static_cast<size_t>(k)] = 0;
  ResizeRetry(task);
  BranchRetry& r = t.retry[static_cast<size_t>(k)];
  if (static_cast<size_t>(k) < t.branchstopped.size() && t.branchstopped[static_cast<size_t>(k)] == 1) return;
  if (t.startover || !t.failure.isEmpty()) return;
  void* h = nullptr;
  std::string reason;
  unsigned kind = lark::FailureNone;
  if (lark::getdownbranch(t.node, static_cast<unsigned>(k + 1), h) == 0) lark::getfailure(h, reason, kind);
  const QString why = reason.empty() ? QStringLiteral("connection closed by server") : QString::fromStdString(reason);
  t.lastreason = why;
  if (kind == lark::FailureFinal) return FailTask(task, why);
  if (kind == lark::FailureUnproven) {
    int resume = 0;
    lark::getresumeenable(t.node, resume);
    // Already on one branch from byte 0: there is nothing left to prove.
    if (resume != 1 && ParseOffset(t.totallength) <= 0) return FailTask(task, why);
    t.startover = true;
    lark::disconnect(t.node, 0);
    return;
  }
  const int64_t brought = r.trystart >= 0 ? w - r.trystart : 0;
  r.failedat = w;
  r.trystart = -1;
  if (brought >= m_policy.goodtry) {
    r.failures = 0;
    r.pending = true;
    r.due = TickCount();
    return RunDueRetries(task);
  }
  if (++r.failures >= m_policy.maxfailures) {
    r.pending = false;
    r.gaveup = true;
    bool anyleft = t.AnyBranchActive();
    for (const BranchRetry& other : t.retry) anyleft = anyleft || other.pending;
    if (!anyleft) FailTask(task, QStringLiteral("%1 (after %2 tries)").arg(why).arg(r.failures));
    return;
  }
  uint32_t wait = m_policy.firstwait;
  for (int i = 1; i < r.failures && wait < m_policy.maxwait; ++i) wait *= 2;
  // A server that says when to come back is believed, within the longest wait.
  unsigned asked = 0;
  if (h && lark::getretryafter(h, asked) == 0 && asked > 0) wait = std::max<uint32_t>(wait, asked * 1000);
  r.pending = true;
  r.due = TickCount() + std::min(wait, m_policy.maxwait);
  RetryAt(r.due);
}

// A retry is due between two ticks: the pass runs then, not up to a second
// later.
void CDownloadList::RetryAt(uint32_t due) {
  const int wait = std::max(0, static_cast<int32_t>(due - TickCount()));
  if (m_retrydue.isActive() && m_retrydue.remainingTime() <= wait) return;
  m_retrydue.setSingleShot(true);
  connect(&m_retrydue, &QTimer::timeout, this, &CDownloadList::downloadtick, Qt::UniqueConnection);
  m_retrydue.start(wait);
}

// A task that failed before its first byte leaves no empty file behind,
// but only one it made itself and once no branch will try again.
void CDownloadList::RemoveUnwrittenFile(int task) {
  CDownRootAppend& t = Task(task);
  if (!t.createdfile || t.AnyBranchActive() || RetryPending(task)) return;
  for (int m = 0; m < t.SegmentCount(); ++m)
    if (t.SegPos(m) > t.SegStart(m)) return;
  const QByteArray path = EngineFileBytes(task);
  struct stat info {};
  if (path.isEmpty() || lstat(path.constData(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_blocks != 0) return;
  if (unlink(path.constData()) == 0) t.createdfile = false;
}

void CDownloadList::RestartBranch(int task, int k) {
  CDownRootAppend& t = Task(task);
  void* h = nullptr;
  if (lark::getdownbranch(t.node, static_cast<unsigned>(k + 1), h) != 0) return;
  int resume = 0;
  lark::getresumeenable(t.node, resume);
  if (resume != 1 || ParseOffset(t.totallength) <= 0) {
    // The server cannot start anywhere but at byte 0: the whole file again.
    const uint32_t j = t.branchseg[static_cast<size_t>(k)];
    if (j >= static_cast<uint32_t>(t.SegmentCount())) return;
    t.segpos[static_cast<int>(j)] = t.segstart[static_cast<int>(j)];
    lark::setfilepointer(h, t.SegStart(static_cast<int>(j)), 0);
    lark::setfilepointer(h, t.SegStart(static_cast<int>(j)), 1);
    t.branchactive[static_cast<size_t>(k)] = 1;
    MarkTry(task, k);
    if (lark::connect(h, 1) != 0) t.branchactive[static_cast<size_t>(k)] = 0;
    return;
  }
  if (assignsegment(task, k) != 0) return;
  lark::adjustrestpoint(h);
  MarkTry(task, k);
  if (lark::connect(h, 1) != 0) t.branchactive[static_cast<size_t>(k)] = 0;
}

void CDownloadList::RunDueRetries(int task) {
  CDownRootAppend& t = Task(task);
  const uint32_t now = TickCount();
  if (t.startover || !t.failure.isEmpty()) return;
  for (size_t k = 0; k < t.retry.size() && k < t.branchactive.size(); ++k) {
    BranchRetry& r = t.retry[k];
    if (!r.pending || !Due(now, r.due)) continue;
    r.pending = false;
    void* h = nullptr;
    int connected = 0;
    if (t.branchactive[k] == 1 || (k < t.branchstopped.size() && t.branchstopped[k] == 1)) continue;
    if (lark::getdownbranch(t.node, static_cast<unsigned>(k + 1), h) != 0) continue;
    if (lark::getserverconnected(h, connected, 1) != 0 || connected) continue;
    RestartBranch(task, static_cast<int>(k));
  }
}

// A branch without an end offset (unknown length, or an empty file) is done
// when its connection has closed; the bytes it got are the file.
bool CDownloadList::BranchIsDone(int task, int k, int64_t w) {
  CDownRootAppend& t = Task(task);
  const bool unknown = ParseOffset(t.totallength) < 0;
  if (unknown && w <= 0) return false;
  const uint32_t j = t.branchseg[static_cast<size_t>(k)];
  if (unknown) {
    t.totallength = OffsetText(w);
    t.segend[static_cast<int>(j)] = OffsetText(w);
    const QByteArray path = EngineFileBytes(task);
    const int fd = open(path.constData(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
      (void)ftruncate(fd, w);
      close(fd);
    }
    ShowTotal(task);
  }
  t.branchactive[static_cast<size_t>(k)] = 0;
  return true;
}

void CDownloadList::updateprogress(int task) {
  CDownRootAppend& t = Task(task);
  CTreeItem* root = RootOf(task);
  if (!root) return;
  ResizeRetry(task);
  int resume = 0;
  lark::getresumeenable(t.node, resume);
  size_t n = resume == 1 ? t.branchcount : 1;
  n = std::min({n, t.branchactive.size(), t.branchseg.size(), t.retry.size()});
  const uint32_t now = TickCount();
  // Every branch's speed is over the same interval, so the task's is their sum.
  const uint32_t interval = t.lastpass != 0 ? now - t.lastpass : 0;
  t.lastpass = now;
  struct Share {
    int64_t assigned = 0, done = 0;
  };
  struct BranchRow {
    CTreeItem* row;
    size_t branch;
    bool noend;
    int64_t speed;
  };
  std::vector<BranchRow> shown;
  int64_t taskspeed = 0;

  for (size_t k = 0; k < n; ++k) {
    CTreeItem* row = m_model.GetChildAt(root, static_cast<int>(k));
    void* h = nullptr;
    if (lark::getdownbranch(t.node, static_cast<unsigned>(k + 1), h) != 0 || !h) continue;
    int c = 0;
    lark::getserverconnected(h, c, 1);
    const bool stopped = k < t.branchstopped.size() && t.branchstopped[k] == 1;
    SetBranchImage(task, static_cast<int>(k), stopped ? kBranchStopped : c ? kBranchConnected : kBranchIdle);

    int64_t w = 0, e = 0;
    lark::getfilepointer(h, w, 1);
    lark::getfilepointer(h, e, 2);
    const bool noend = e == 0;
    if (!noend && w > e) w = e;
    const uint32_t j = t.branchseg[k];
    if (j >= static_cast<uint32_t>(t.SegmentCount())) continue;
    const int64_t prev = t.SegPos(static_cast<int>(j));
    // The segment may have been cut short for another branch since this one
    // last wrote: its position never passes its end nor falls behind its start.
    const int64_t segstart = t.SegStart(static_cast<int>(j));
    if (!noend) w = std::clamp(w, segstart, std::max(segstart, t.SegEnd(static_cast<int>(j))));
    t.segpos[static_cast<int>(j)] = OffsetText(w);

    BranchRetry& r = t.retry[k];
    if (w != r.lastwrite || !c || t.branchactive[k] != 1) {
      r.lastwrite = w;
      r.lastmove = now;
    }
    if (noend) {
      if (t.branchactive[k] == 1 && !c && !BranchIsDone(task, static_cast<int>(k), w))
        BranchFailed(task, static_cast<int>(k), w);
    } else {
      // Done once its bytes are in and it has let go; a connection still
      // open after its last byte is closed first.
      if (w >= e && t.branchactive[k] == 1 && (w == prev || !c)) {
        if (c) {
          lark::disconnect(h, 1);
        } else if (assignsegment(task, static_cast<int>(k)) == 0) {
          lark::adjustrestpoint(h);
          MarkTry(task, static_cast<int>(k));
          lark::connect(h, 1);
        } else {
          t.branchactive[k] = 0;
        }
      }
      if (!c && w < e && t.branchactive[k] == 1) BranchFailed(task, static_cast<int>(k), w);
    }
    // Connected but silent too long: close it; the next pass restarts it.
    if (c && t.branchactive[k] == 1 && now - r.lastmove >= m_policy.stalltime) {
      lark::disconnect(h, 1);
      r.lastmove = now;
    }

    const int64_t speed = Speed(w - prev, interval);
    taskspeed += speed;
    if (row) shown.push_back({row, k, noend, speed});
  }
  // Each branch's share of the table in one walk, once every branch has
  // moved: the table grows with every take-over and its offsets are text.
  std::vector<Share> owned(n);
  for (int m = 0; m < t.SegmentCount(); ++m) {
    const size_t owner = static_cast<size_t>(m) < t.segowner.size() ? t.segowner[static_cast<size_t>(m)] : n;
    if (owner >= n) continue;
    const int64_t start = t.SegStart(m);
    owned[owner].assigned += t.SegEnd(m) - start;
    owned[owner].done += t.SegPos(m) - start;
  }
  for (const BranchRow& b : shown) {
    const int64_t assigned = owned[b.branch].assigned, done = owned[b.branch].done;
    CItemInfo& info = b.row->GetData();
    info.SetSubItem(0, b.noend && assigned <= 0 ? QString() : GroupNumber(assigned));
    info.SetSubItem(1, GroupNumber(done));
    info.SetSubItem(2, b.noend && assigned <= 0 ? QString() : Percent(done, assigned));
    info.SetSubItem(3, GroupNumber(b.speed));
    info.sizetip = ProgressTip(done, b.noend && assigned <= 0 ? -1 : assigned, b.speed);
    m_model.ItemChanged(b.row);
  }
  RunDueRetries(task);
  if (t.startover) {
    int any = 0;
    if (lark::getserverconnected(t.node, any, 0) == 0 && !any) StartOver(task);
  }

  const int64_t total = ParseOffset(t.totallength);
  int64_t done = 0, remaining = 0;
  for (int m = 0; m < t.SegmentCount(); ++m) {
    remaining += std::max<int64_t>(0, t.SegEnd(m) - t.SegPos(m));
    done += t.SegPos(m) - t.SegStart(m);
  }
  QString percent;
  if (total > 0) {
    done = total - remaining;
    percent = Percent(done, total);
  } else if (total == 0) {
    percent = t.AnyBranchActive() || RetryPending(task) ? QStringLiteral("0") : QStringLiteral("100");
  }
  t.speed = t.failure.isEmpty() ? taskspeed : 0;
  t.remaining = total > 0 ? remaining : -1;
  CItemInfo& info = root->GetData();
  info.SetSubItem(1, GroupNumber(done));
  info.SetSubItem(2, percent);
  info.SetSubItem(3, GroupNumber(t.speed));
  info.sizetip = ProgressTip(done, total, t.speed);
  t.smoothed.Add(t.speed, static_cast<int64_t>(now));
  info.timeleft = TimeLeftText(t.remaining, t.smoothed.Value(), total > 0);
  m_model.ItemChanged(root);
}

// A task that has started took its file over (a fresh file, or an old one
// of that name cut to the new length), so its partial file is its own; one
// never started may share its name with the user's own file.
QByteArray CDownloadList::PartialFileOf(int task) const {
  const CDownRootAppend& t = *m_tasks[static_cast<size_t>(task)];
  if (IsComplete(task) || (!t.createdfile && t.SegmentCount() == 0)) return {};
  const QByteArray path = EngineFileBytes(task);
  struct stat info {};
  return !path.isEmpty() && lstat(path.constData(), &info) == 0 && S_ISREG(info.st_mode) ? path : QByteArray();
}
