// The download probe: the request that finds a task's length and whether
// the server resumes, its answer read when it arrives, and its retries.
// Once it is answered the scheduler starts the branches.
#include "cdownloadlist.h"
#include "core/treegridrules.h"
#include "httptext.h"
#include "lark.h"
#include "listing/listingparser.h"
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
  if (t.probestate == ProbeState::Downloading) return false;
  std::string reason;
  unsigned kind = lark::FailureNone;
  int any = 0;
  if (lark::getfailure(t.node, reason, kind) != 0 || kind == lark::FailureNone) return false;
  if (kind == lark::FailureFinal) {
    FailTask(task, QString::fromStdString(reason));
    return true;
  }
  // The sample is a bonus: without it the branches start all the same.
  if (t.probestate == ProbeState::SampleAnswered || t.probewaits) return false;
  if (lark::getserverconnected(t.node, any, 0) != 0 || any) return false;
  if (++t.probetries >= m_policy.maxfailures) {
    FailTask(task, QStringLiteral("%1 (after %2 tries)").arg(QString::fromStdString(reason)).arg(t.probetries));
    return true;
  }
  uint32_t wait = m_policy.firstwait;
  for (int i = 1; i < t.probetries && wait < m_policy.maxwait; ++i) wait *= 2;
  t.probedue = TickCount() + std::min(wait, m_policy.maxwait);
  t.probewaits = true;
  RetryAt(t.probedue);
  t.probestate = ProbeState::Idle;
  t.probereply.clear();
  return true;
}

void CDownloadList::RunDueProbe(int task) {
  CDownRootAppend& t = Task(task);
  if (!t.probewaits || static_cast<int32_t>(TickCount() - t.probedue) < 0) return;
  t.probewaits = false;
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
    const bool moves = t.probestate == ProbeState::ProbeAnswered || t.probestate == ProbeState::RestAnswered ||
                       t.probestate == ProbeState::SampleAnswered || (t.probestate == ProbeState::Idle && any) ||
                       t.probewaits;
    if (!moves) continue;
    AdvanceProbe(i);
    if (t.probestate == ProbeState::Idle || t.probestate == ProbeState::ProbeAnswered ||
        t.probestate == ProbeState::RestAnswered || t.probestate == ProbeState::SampleAnswered || t.probewaits)
      waiting = true;
  }
  if (waiting && --m_probechecks > 0) m_probecheck.start(kProbeCheckMs);
}

void CDownloadList::IssueProbe(int task) {
  CDownRootAppend& t = Task(task);
  const std::string request =
      IsHttp(t.node) ? HttpRequestHead(t.node) + "Range: bytes=1-\r\n\r\n" : "list " + FtpPath(t.node);
  if (lark::fetchftpcontent(t.node, request, this, kProbeMessage, 0, t.id, 1) == 0)
    t.probestate = ProbeState::ProbeSent;
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
    t.probestall = 0;
    lark::connect(t.node, 1);
    return;
  }
  if (++t.probestall >= kStuckTicks) {
    t.probestall = 0;
    lark::disconnect(t.node, 0);
  }
}

void CDownloadList::EvaluateHttpProbe(int task) {
  CDownRootAppend& t = Task(task);
  if (t.probereply.isEmpty()) return;
  int connected = 0;
  lark::getserverconnected(t.node, connected, 0);
  if (connected) {
    lark::disconnect(t.node, 0);
    return;
  }
  if (ProbeFailed(task)) return;
  const int lineend = t.probereply.indexOf(QStringLiteral("\r\n"));
  if (lineend < 0) {
    std::string reason;
    unsigned kind = lark::FailureNone;
    lark::getfailure(t.node, reason, kind);
    FailTask(task, reason.empty() ? QStringLiteral("could not connect to the server") : QString::fromStdString(reason));
    return;
  }
  const std::string head = t.probereply.toStdString();
  const int code = lark::httpstatus(head);
  if (code < 0) return;
  const lark::ContentRange range = lark::contentrange(head);
  int64_t length = -1;
  if (code == 416) {
    // Nothing from byte 1 on: a file of 0 or 1 bytes, fetched whole.
    if (lark::setresumeenable(t.node, 0) != 0) return;
    length = range.total;
  } else if (code >= 300) {
    // A redirect the engine did not follow, or a refusal: the answer stands.
    FailTask(task, QStringLiteral("the server answered \"%1\"").arg(t.probereply.left(lineend).trimmed()));
    return;
  } else {
    // A 206 that does not start at byte 1 cannot be trusted with ranges.
    const bool ranged = code == 206 && range.start == 1;
    if (!ranged && lark::setresumeenable(t.node, 0) != 0) return;
    const int64_t contentlength = lark::contentlength(head);
    if (ranged)
      length = contentlength >= 0 ? contentlength + 1 : range.total;
    else if (code == 206)
      length = range.total;
    else if (contentlength >= 0 && !lark::ischunked(head))
      length = contentlength;
  }
  t.totallength = OffsetText(length);
  ShowTotal(task);

  const std::string base = HttpRequestHead(t.node);
  t.ClearSegments();
  t.starttick = TickCount();
  int resume = 0;
  lark::getresumeenable(t.node, resume);
  StartBranches(task, QString::fromStdString(base), resume == 1, length);
}

void CDownloadList::EvaluateFtpProbe(int task) {
  CDownRootAppend& t = Task(task);
  if (t.probereply.isEmpty() || ProbeFailed(task)) return;
  {
    int64_t size = -1;
    if (t.probereply != QStringLiteral(" ")) {
      const int lineend = t.probereply.indexOf(QStringLiteral("\r\n"));
      const QByteArray line = (lineend < 0 ? QString() : t.probereply.left(lineend)).toUtf8().left(499);
      std::string path;
      lark::getftppathfile(t.node, path);
      const QByteArray name = QByteArray::fromStdString(lark::extractfilenamefrompath(path));
      ParsedLine parsed{};
      if (parselistingline(parsed, line.constData(), static_cast<int>(line.size())) == 1 && parsed.sizetype == 1) {
        // A listing of something else (a directory named like the file)
        // must not set the file's length.
        const QByteArray listed(parsed.name, parsed.namelen);
        if (listed == name || listed.endsWith('/' + name)) size = parsed.size;
      }
    }
    if (size < 0 && lark::setresumeenable(t.node, 0) != 0) return;
    t.totallength = OffsetText(size);
  }
  if (lark::fetchftpcontent(t.node, "rest 1", this, kProbeMessage, 0, t.id, 1) == 0) {
    t.probestate = ProbeState::RestSent;
    t.probestall = 0;
  } else {
    ProbeStuck(task);
  }
}

void CDownloadList::EvaluateRestAnswer(int task) {
  CDownRootAppend& t = Task(task);
  if (t.probereply.isEmpty() || IsHttp(t.node) || ProbeFailed(task)) return;
  t.probetries = 0;
  int connected = 0;
  lark::getserverconnected(t.node, connected, 0);
  if (t.probestate == ProbeState::RestAnswered && t.probereply.startsWith(QStringLiteral("350 ")) &&
      t.branchcount > 1 && connected) {
    // A 350 is a claim: a few KiB fetched from byte 1 let the branch that
    // starts at byte 0 prove that the server honours it.
    RequestSample(task);
    return;
  }
  if (connected) {
    lark::disconnect(t.node, 0);
    return;
  }
  if (t.probestate == ProbeState::RestAnswered && !t.probereply.startsWith(QStringLiteral("350 ")) &&
      lark::setresumeenable(t.node, 0) != 0)
    return;
  int resume = 1;
  if (lark::getresumeenable(t.node, resume) != 0) resume = 1;
  const int64_t length = ParseOffset(t.totallength);
  ShowTotal(task);
  t.ClearSegments();
  t.starttick = TickCount();
  StartBranches(task, QString::fromStdString(FtpLoginScript(t.node)), resume == 1, length);
}

void CDownloadList::RequestSample(int task) {
  CDownRootAppend& t = Task(task);
  if (lark::fetchftpcontent(t.node, "retr " + FtpPath(t.node), this, kProbeMessage, 0, t.id, 1) == 0) {
    t.probestate = ProbeState::SampleSent;
    t.probestall = 0;
  } else {
    ProbeStuck(task);
  }
}
