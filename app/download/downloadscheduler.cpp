// The once-a-second pass over the download tasks and the start of the
// branches once the probe has answered. Tasks are visited from the last to
// the first.
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
#include "taskrequests.h"

void CDownloadList::downloadtick() {
  if (m_waiting) return;
  bool running = false;
  for (int i = TaskCount() - 1; i >= 0; --i) {
    CDownRootAppend& t = Task(i);
    int any = 0;
    if (lark::getserverconnected(t.node, any, 0) != 0) continue;
    if (any == 1 && t.probe.state == ProbeState::Downloading) {
      t.tracking = 1;
      updateprogress(i);
    } else if (t.tracking == 1) {
      updateprogress(i);
      if (!t.AnyBranchActive() && !RetryPending(i)) t.tracking = 0;
    }
    if (t.tracking) running = true;
    AdvanceProbe(i);
    RefreshStatus(i);
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
  if (t.probe.waits) return;
  if (any == 0 && !t.probe.Answered() && t.probe.state != ProbeState::LateAnswer) {
    if (ProbeFailed(i)) return;
    // A branch waiting for its automatic restart keeps the task running, and
    // so does one that let go after the progress pass looked: that pass
    // takes it up on the next tick.
    if (t.probe.state == ProbeState::Downloading && (RetryPending(i) || t.AnyBranchActive())) {
      SetRootImage(i, ItemKind::TaskImage, kTaskRunning);
      return;
    }
    const QString percent = RootOf(i) ? RootOf(i)->GetData().GetSubItem(2) : QString();
    if (percent == QStringLiteral("100"))
      SetRootImage(i, ItemKind::FileInDirectory, 0);
    else
      SetRootImage(i, ItemKind::TaskImage, kTaskStopped);
    if (t.probe.state == ProbeState::ProbeSent || t.probe.state == ProbeState::RestSent ||
        t.probe.state == ProbeState::Downloading)
      t.probe.state = ProbeState::Idle;
    return;
  }
  SetRootImage(i, ItemKind::TaskImage, kTaskRunning);
  switch (t.probe.state) {
    case ProbeState::Idle:
      t.probe.SendFirst(t.node, this, t.id);
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
      t.probe.state = ProbeState::Downloading;
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
    t.probe.state = ProbeState::Downloading;
    s += step;
  }
}
