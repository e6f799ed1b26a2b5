// The list's side of a task's probe: when to send it, what its answer
// means for the task, its retries. Once it is answered the scheduler
// starts the branches.
#include "cdownloadlist.h"
#include "core/treegridrules.h"
#include "lark.h"
#include "numbertext.h"
#include "taskrequests.h"

namespace {
constexpr int kStuckTicks = 5;  // ticks a probe connection may refuse the next request
constexpr int kProbeCheckMs = 1;
constexpr int kProbeChecks = 2000;  // about two seconds of re-checks, then the tick
}  // namespace

// A probe the server ended for good (a refused login, no such file) ends
// the task with the server's words; the next probe would hear the same.
// A probe connection that failed otherwise is tried again under the
// branches' rule for short tries: a growing wait, a bounded count.
bool CDownloadList::ProbeFailed(int task) {
  CDownRootAppend& t = Task(task);
  DownloadProbe& probe = t.probe;
  if (probe.state == ProbeState::Downloading) return false;
  std::string reason;
  unsigned kind = lark::FailureNone;
  int any = 0;
  if (lark::getfailure(t.node, reason, kind) != 0 || kind == lark::FailureNone) return false;
  if (kind == lark::FailureFinal) {
    FailTask(task, QString::fromStdString(reason));
    return true;
  }
  // The sample is a bonus: without it the branches start all the same.
  if (probe.state == ProbeState::SampleAnswered || probe.waits) return false;
  if (lark::getserverconnected(t.node, any, 0) != 0 || any) return false;
  if (++probe.tries >= m_policy.maxfailures) {
    FailTask(task, QStringLiteral("%1 (after %2 tries)").arg(QString::fromStdString(reason)).arg(probe.tries));
    return true;
  }
  uint32_t wait = m_policy.firstwait;
  for (int i = 1; i < probe.tries && wait < m_policy.maxwait; ++i) wait *= 2;
  t.lastreason = QString::fromStdString(reason);
  probe.due = TickCount() + std::min(wait, m_policy.maxwait);
  probe.waits = true;
  RetryAt(probe.due);
  probe.state = ProbeState::Idle;
  probe.reply.clear();
  return true;
}

void CDownloadList::RunDueProbe(int task) {
  CDownRootAppend& t = Task(task);
  if (!t.probe.waits || static_cast<int32_t>(TickCount() - t.probe.due) < 0) return;
  t.probe.waits = false;
  if (IsHttp(t.node))
    lark::savecommand(t.node, "");
  else
    lark::generateinitcommand(t.node);
  if (lark::connect(t.node, 1) == 0) ProbeSoon();
}

void CDownloadList::ProbeSoon() {
  m_probechecks = kProbeChecks;
  if (!m_probecheck.isActive()) {
    m_probecheck.setSingleShot(true);
    connect(&m_probecheck, &QTimer::timeout, this, &CDownloadList::ProbePass, Qt::UniqueConnection);
    m_probecheck.start(0);
  }
}

// A probe waits for a connection to come up or go down between its steps;
// it is looked at again every few milliseconds while it does.
void CDownloadList::ProbePass() {
  if (m_waiting) {
    m_probecheck.start(kProbeCheckMs);
    return;
  }
  bool waiting = false;
  for (int i = TaskCount() - 1; i >= 0; --i) {
    CDownRootAppend& t = Task(i);
    int any = 0;
    if (lark::getserverconnected(t.node, any, 0) != 0) continue;
    if (!t.probe.Moves(any != 0)) continue;
    AdvanceProbe(i);
    if (t.probe.Moves(true)) waiting = true;
  }
  if (waiting && --m_probechecks > 0) m_probecheck.start(kProbeCheckMs);
}

void CDownloadList::ShowTotal(int task) {
  CTreeItem* root = RootOf(task);
  if (!root) return;
  const int64_t total = ParseOffset(Task(task).totallength);
  root->GetData().SetSubItem(0, total < 0 ? QString() : GroupNumber(total));
  m_model.ItemChanged(root);
}

// A probe connection that cannot take the next request (a server that
// never ends its listing with 226, or one that closed after refusing the
// listing) is closed and opened afresh rather than waited on for ever.
void CDownloadList::ProbeStuck(int task) {
  CDownRootAppend& t = Task(task);
  int any = 0;
  lark::getserverconnected(t.node, any, 0);
  if (!any) {
    t.probe.stall = 0;
    lark::connect(t.node, 1);
    return;
  }
  if (++t.probe.stall >= kStuckTicks) {
    t.probe.stall = 0;
    lark::disconnect(t.node, 0);
  }
}

void CDownloadList::EvaluateHttpProbe(int task) {
  CDownRootAppend& t = Task(task);
  if (t.probe.reply.isEmpty()) return;
  int connected = 0;
  lark::getserverconnected(t.node, connected, 0);
  if (connected) {
    lark::disconnect(t.node, 0);
    return;
  }
  if (ProbeFailed(task)) return;
  if (t.probe.reply.indexOf(QStringLiteral("\r\n")) < 0) {
    std::string reason;
    unsigned kind = lark::FailureNone;
    lark::getfailure(t.node, reason, kind);
    FailTask(task, reason.empty() ? QStringLiteral("could not connect to the server") : QString::fromStdString(reason));
    return;
  }
  const HttpProbeReading reading = ReadHttpProbe(t.probe.reply);
  if (reading.verdict == HttpProbeReading::Verdict::Incomplete) return;
  if (reading.verdict == HttpProbeReading::Verdict::Refused) {
    FailTask(task, reading.failure);
    return;
  }
  if (!reading.resumes && lark::setresumeenable(t.node, 0) != 0) return;
  t.totallength = OffsetText(reading.length);
  ShowTotal(task);
  t.ClearSegments();
  t.starttick = TickCount();
  int resume = 0;
  lark::getresumeenable(t.node, resume);
  StartBranches(task, QString::fromStdString(HttpRequestHead(t.node)), resume == 1, reading.length);
}

void CDownloadList::EvaluateFtpProbe(int task) {
  CDownRootAppend& t = Task(task);
  if (t.probe.reply.isEmpty() || ProbeFailed(task)) return;
  std::string path;
  lark::getftppathfile(t.node, path);
  const int64_t size = ReadFtpProbeSize(t.probe.reply, QByteArray::fromStdString(lark::extractfilenamefrompath(path)));
  if (size < 0 && lark::setresumeenable(t.node, 0) != 0) return;
  t.totallength = OffsetText(size);
  if (!t.probe.SendRest(t.node, this, t.id)) ProbeStuck(task);
}

void CDownloadList::EvaluateRestAnswer(int task) {
  CDownRootAppend& t = Task(task);
  if (t.probe.reply.isEmpty() || IsHttp(t.node) || ProbeFailed(task)) return;
  t.probe.tries = 0;
  int connected = 0;
  lark::getserverconnected(t.node, connected, 0);
  const bool restaccepted = t.probe.reply.startsWith(QStringLiteral("350 "));
  if (t.probe.state == ProbeState::RestAnswered && restaccepted && t.branchcount > 1 && connected) {
    // A 350 is a claim: a few KiB fetched from byte 1 let the branch that
    // starts at byte 0 prove that the server honours it.
    if (!t.probe.SendSample(t.node, this, t.id)) ProbeStuck(task);
    return;
  }
  if (connected) {
    lark::disconnect(t.node, 0);
    return;
  }
  if (t.probe.state == ProbeState::RestAnswered && !restaccepted && lark::setresumeenable(t.node, 0) != 0) return;
  int resume = 1;
  if (lark::getresumeenable(t.node, resume) != 0) resume = 1;
  const int64_t length = ParseOffset(t.totallength);
  ShowTotal(task);
  t.ClearSegments();
  t.starttick = TickCount();
  StartBranches(task, QString::fromStdString(FtpLoginScript(t.node)), resume == 1, length);
}
