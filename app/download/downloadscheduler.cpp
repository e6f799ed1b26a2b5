// The once-a-second pass over the download tasks: the length probe, its
// evaluation and the start of the branches. Tasks are visited from the
// last to the first.
#include <fcntl.h>
#include <unistd.h>

#include "cdownloadlist.h"

#include <algorithm>
#include "core/treegridrules.h"
#include "core/urlhost.h"
#include "httptext.h"
#include "lark.h"
#include "listing/listingparser.h"
#include "localfile.h"
#include "numbertext.h"

namespace {

std::string FtpPath(void* node) {
  std::string path;
  lark::getftppathfile(node, path);
  return path;
}

// The request lines every HTTP connection of a task sends, up to its Range
// line. The task URL may hold credentials: the Referer is built from the
// server and path alone, so they never travel.
std::string HttpRequestHead(void* node) {
  std::string server;
  lark::getservername(node, server);
  server = UrlHost(server);
  std::string scheme = "http";
  lark::getscheme(node, scheme);
  // A port other than the scheme's belongs in Host and Referer.
  const unsigned standard = scheme == "https" ? 443 : 80;
  unsigned port = standard;
  if (lark::getserverport(node, port) == 0 && port != standard) server += ":" + std::to_string(port);
  const std::string path = FtpPath(node);
  return "GET " + path + " HTTP/1.1\r\nHost: " + server +
         "\r\nAccept: */*\r\nPragma: no-cache\r\nCache-Control: no-cache\r\nUser-Agent: Skylark\r\n"
         "Referer: " +
         scheme + "://" + server + path + "\r\nConnection: close\r\n";
}

constexpr int kStuckTicks = 5;  // ticks a probe connection may refuse the next request

std::string FtpLoginScript(void* node) {
  std::string user, pass;
  int ascii = 0;
  lark::getuser(node, user);
  lark::getpass(node, pass);
  lark::getascimode(node, ascii);
  return "user " + user + "\r\npass " + pass + "\r\n" + (ascii ? "type A" : "type I") + "\r\n";
}

bool IsHttp(void* node) {
  unsigned protocol = 0;
  return lark::getserverprotocol(node, protocol) == 0 && protocol == 1;
}

}  // namespace

void CDownloadList::downloadtick() {
  if (m_waiting) return;
  bool running = false;
  for (int i = TaskCount() - 1; i >= 0; --i) {
    CDownRootAppend& t = Task(i);
    int any = 0;
    if (lark::getserverconnected(t.node, any, 0) != 0) continue;
    if (any == 1 && t.probestate == ProbeState::Downloading) {
      t.tracking = 1;
      updateprogress(i);
    } else if (t.tracking == 1) {
      updateprogress(i);
      if (!t.AnyBranchActive() && !RetryPending(i)) t.tracking = 0;
    }
    if (t.tracking) running = true;
    AdvanceProbe(i);
  }
  const uint32_t now = TickCount();
  if (running && (!m_wasrunning || now - m_lastsave >= m_policy.saveperiod)) {
    m_lastsave = now;
    SafeSave();
  } else if (!running && m_wasrunning) {
    SafeSave();  // the final positions of what just stopped
  }
  m_wasrunning = running;
}

// The probe's own steps: ask, read the answer, start the branches.
void CDownloadList::AdvanceProbe(int i) {
  CDownRootAppend& t = Task(i);
  int any = 0;
  // The progress pass may have connected a branch again (new work or a
  // retry); a stale answer would reset a running task to "not probed".
  if (lark::getserverconnected(t.node, any, 0) != 0) return;
  if (!t.failure.isEmpty()) return;
  RunDueProbe(i);
  if (t.probewaits) return;
  if (any == 0 && t.probestate != ProbeState::ProbeAnswered && t.probestate != ProbeState::RestAnswered &&
      t.probestate != ProbeState::LateAnswer && t.probestate != ProbeState::SampleAnswered) {
    if (ProbeFailed(i)) return;
    // A branch waiting for its automatic restart keeps the task running, and
    // so does one that let go after the progress pass looked: that pass
    // takes it up on the next tick.
    if (t.probestate == ProbeState::Downloading && (RetryPending(i) || t.AnyBranchActive())) {
      SetRootImage(i, ItemKind::TaskImage, kTaskRunning);
      return;
    }
    const QString percent = RootOf(i) ? RootOf(i)->GetData().GetSubItem(2) : QString();
    if (percent == QStringLiteral("100"))
      SetRootImage(i, ItemKind::FileInDirectory, 0);
    else
      SetRootImage(i, ItemKind::TaskImage, kTaskStopped);
    if (t.probestate == ProbeState::ProbeSent || t.probestate == ProbeState::RestSent ||
        t.probestate == ProbeState::Downloading)
      t.probestate = ProbeState::Idle;
    return;
  }
  SetRootImage(i, ItemKind::TaskImage, kTaskRunning);
  switch (t.probestate) {
    case ProbeState::Idle:
      IssueProbe(i);
      break;
    case ProbeState::ProbeAnswered:
      IsHttp(t.node) ? EvaluateHttpProbe(i) : EvaluateFtpProbe(i);
      break;
    case ProbeState::RestAnswered:
      EvaluateRestAnswer(i);
      break;
    case ProbeState::SampleAnswered:
      EvaluateRestAnswer(i);
      break;
    default:
      break;
  }
}

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

namespace {
constexpr int kProbeCheckMs = 1;
constexpr int kProbeChecks = 2000;  // about two seconds of re-checks, then the tick
}  // namespace

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

// The bytes did not start where they were asked to: the whole file again,
// from byte 0 on one branch, where no offset needs proving.
void CDownloadList::StartOver(int task) {
  CDownRootAppend& t = Task(task);
  t.startover = false;
  ++t.startovers;
  lark::setresumeenable(t.node, 0);
  const int64_t length = ParseOffset(t.totallength);
  t.ClearSegments();
  t.starttick = TickCount();
  const std::string prefix = IsHttp(t.node) ? HttpRequestHead(t.node) : FtpLoginScript(t.node);
  StartBranches(task, QString::fromStdString(prefix), false, length);
}

void CDownloadList::FreshLocalFile(int task, int64_t length) {
  // The engine never truncates: a stale longer file of the same name would
  // keep its tail behind a download from byte 0.
  const QByteArray path = EngineFileBytes(task);
  const int fd = OpenFreshLocalFile(path, Task(task).createdfile);
  if (fd < 0) return;  // the engine reports the file error itself
  (void)ftruncate(fd, length > 0 ? length : 0);
  close(fd);
}

// `prefix` is the HTTP request up to its "Connection:" line or the FTP
// login lines. A file of unknown length runs as one branch without an end
// offset; so does one too short to give every branch a byte.
void CDownloadList::StartBranches(int task, const QString& prefix, bool resume, int64_t length) {
  CDownRootAppend& t = Task(task);
  const bool http = IsHttp(t.node);
  std::string path;
  lark::getftppathfile(t.node, path);
  const std::string base = prefix.toStdString();
  const int64_t n = std::max<uint32_t>(t.branchcount, 1);
  const int64_t step = length > 0 ? length / n : 0;
  FreshLocalFile(task, length);
  // Followed from now on: a small file may be complete before the next tick
  // finds any branch connected.
  t.tracking = 1;
  t.retry.assign(std::max<size_t>(t.branchcount, 1), BranchRetry{});

  if (t.branchcount <= 1 || !resume || step == 0) {
    const std::string script = http ? base + "\r\n" : base + "rest 0\r\nretr " + path + "\r\n";
    lark::savecommand(t.node, script);
    lark::setfilepointer(t.node, 0, 0);
    lark::setfilepointer(t.node, 0, 1);
    lark::setfilepointer(t.node, length > 0 ? length : 0, 2);
    lark::setdownstarted(t.node, 1);
    t.AppendSegment(0, 0, length > 0 ? length : 0, 0);
    t.branchseg = {0};
    t.branchactive = {1};
    t.branchstopped = {0};
    MarkTry(task, 0);
    if (lark::connect(t.node, 1) == 0) {
      lark::setstarttime(t.node, 0);
      lark::setlasttime(t.node, 0);
      t.probestate = ProbeState::Downloading;
    }
    return;
  }

  int64_t s = 0;
  for (int64_t i = 1; i <= n; ++i) {
    void* h = nullptr;
    if (lark::getdownbranch(t.node, static_cast<unsigned>(i), h) != 0) break;
    if (http) lark::copyredirectinfo(t.node, h);
    lark::setfilepointer(h, s, 0);
    lark::setfilepointer(h, s, 1);
    const std::string offset = std::to_string(s);
    const std::string script =
        http ? base + "Range: bytes=" + offset + "-\r\n\r\n" : base + "rest " + offset + "\r\nretr " + path + "\r\n";
    lark::savecommand(h, script);
    const int64_t e = i == n ? length : s + step;
    t.AppendSegment(s, s, e, static_cast<uint32_t>(i - 1));
    lark::setfilepointer(h, e, 2);
    lark::setdownstarted(h, 1);
    t.branchseg.push_back(static_cast<uint32_t>(i - 1));
    t.branchactive.push_back(1);
    t.branchstopped.push_back(0);
    MarkTry(task, static_cast<int>(i - 1));
    lark::connect(h, 1);
    lark::setstarttime(h, 0);
    lark::setlasttime(h, 0);
    t.probestate = ProbeState::Downloading;
    s += step;
  }
}
