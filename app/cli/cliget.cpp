// skylark-cli get: one download task, created as the new-task sheet creates
// it and driven by the same scheduler, without a window. With --list the
// task lives in a list file, so a later run continues it.
#include <fcntl.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "clioptions.h"
#include "commands.h"
#include "core/commandids.h"
#include "core/enginemessageevent.h"
#include "core/messageseam.h"
#include "core/programdirectory.h"
#include "core/savedirectory.h"
#include "core/urlcredentials.h"
#include "download/cdownloadlist.h"
#include "download/numbertext.h"
#include "lark.h"
#include "logprefixes.h"
#include "progressline.h"
#include "stderrseam.h"

namespace {

struct GetOptions : ConnectionOptions {
  unsigned branches = 1;
  QString dir;
  bool ascii = false;
  QString list;
  double retrywait = 1.0;  // seconds before the first retry of a short try
  int tries = 8;
  bool verbose = false;
};

int Fail(const char* format, const QString& detail = {}) {
  std::fprintf(stderr, "skylark-cli get: ");
  std::fprintf(stderr, format, qPrintable(detail));
  std::fprintf(stderr, "\n");
  return 1;
}

// -1 to go on; otherwise the exit status (0 after --help).
int ParseOptions(int argc, char** argv, GetOptions& options) {
  CliCommandLine line("get", QStringLiteral("Downloads one file as a download task of the window does."));
  QCommandLineParser& parser = line.Parser();
  parser.addOptions({
      {{"n", "branches"}, "Fetch over N parallel connections, 1 to 100 (default 1).", "N"},
      {{"d", "dir"}, "Save into DIR (default: the program's directory).", "DIR"},
      {"ascii", "FTP: ASCII mode instead of binary."},
      {"list", "Keep the task in FILE, a download list; a later run continues it.", "FILE"},
      {"retry-wait", "Wait SECONDS before the first retry of a short try (default 1).", "SECONDS"},
      {"tries", "Give up after N short tries in a row (default 8).", "N"},
      {{"v", "verbose"}, "Print every branch's protocol log too."},
  });
  if (const int status = line.Parse(SubcommandArguments(argc, argv)); status >= 0) return status;
  long branches = options.branches, tries = options.tries;
  if (!line.Read(options) || !line.Number("branches", 1, 100, "the branch count", branches) ||
      !line.Number("tries", 1, 1000, "the number of tries", tries) ||
      !line.Seconds("retry-wait", 0.001, 30, "the retry wait", options.retrywait))
    return 2;
  options.branches = static_cast<unsigned>(branches);
  options.tries = static_cast<int>(tries);
  if (parser.isSet("dir")) options.dir = parser.value("dir");
  if (parser.isSet("list")) options.list = parser.value("list");
  options.ascii = parser.isSet("ascii");
  options.verbose = parser.isSet("verbose");
  return -1;
}

// Follows one task to its end and decides the exit status.
class CGetRun : public QObject {
 public:
  CGetRun(CDownloadList& list, int task, const GetOptions& options)
      : m_list(list),
        m_task(task),
        m_options(options),
        m_terminal(isatty(STDERR_FILENO) == 1),
        m_starttick(list.Task(task).starttick) {
    m_clock.start();
    m_lastprogress = 0;
  }

  int Status() const { return m_status; }

  // One tick of the scheduler, then the checks.
  void Tick() {
    m_list.downloadtick();
    ReadLogs();
    CDownRootAppend& t = m_list.Task(m_task);
    const int64_t done = Done();
    if (done != m_lastdone) {
      m_lastdone = done;
      m_lastprogress = m_clock.elapsed();
    }
    if (m_list.IsComplete(m_task)) return Finish(0);
    if (m_list.HasGivenUp(m_task)) return Finish(Fail("download failed: %s", Worded(m_list.FailureReason(m_task))));
    if ((t.startover || t.startovers > 0) && !m_saidstartover) {
      m_saidstartover = true;
      if (m_terminal) std::fprintf(stderr, "\r\033[K");
      std::fprintf(stderr, "skylark-cli get: %s; fetching the whole file again on one branch\n",
                   qPrintable(t.lastreason));
    }
    int connected = 0;
    lark::getserverconnected(t.node, connected, 0);
    if (connected) m_wasconnected = true;
    unsigned protocol = 0;
    lark::getserverprotocol(t.node, protocol);

    // The branches may start and even end between two ticks.
    if (t.probe.state == ProbeState::Downloading || t.starttick != m_starttick) m_started = true;
    // Still probing: a probe connection that closed for good ends here.
    if (!m_started && !connected && m_wasconnected && t.probe.state == ProbeState::Idle && !t.probe.waits)
      return Finish(Fail("%s", Reason("the connection closed before the download started")));
    if (m_clock.elapsed() - m_lastprogress > static_cast<qint64>(m_options.timeout) * 1000)
      return Finish(Fail("no progress for %s seconds", QString::number(m_options.timeout)));
    ShowProgress(false);
  }

  // A branch that has just ended may complete the task or take over work,
  // and a probe moves on as soon as the connection allows: the next tick
  // comes at once instead of up to a second later.
  void Watch() {
    CDownRootAppend& t = m_list.Task(m_task);
    unsigned count = 0;
    if (lark::getdownbranchcount(t.node, count) != 0) return;
    // A branch the task counts on that has let go has news: its bytes are
    // in, or it needs a retry. A try may start and end between two looks.
    bool ended = false;
    for (unsigned i = 1; i <= count && i <= t.branchactive.size(); ++i) {
      void* branch = nullptr;
      int c = 0;
      if (t.branchactive[i - 1] == 1 && lark::getdownbranch(t.node, i, branch) == 0 &&
          lark::getserverconnected(branch, c, 1) == 0 && !c)
        ended = true;
    }
    // The probe is queued as soon as the connection can take it.
    if (ended || t.probe.state == ProbeState::Idle) Tick();
  }

  void Interrupt() {
    std::fprintf(stderr, "\nskylark-cli get: interrupted; ");
    CDownRootAppend& t = m_list.Task(m_task);
    // Stopped, not failed: no branch takes its work up again on the way out.
    std::fill(t.branchactive.begin(), t.branchactive.end(), 0u);
    for (BranchRetry& r : t.retry) r.pending = false;
    lark::disconnect(t.node, 0);
    if (!m_options.list.isEmpty()) {
      std::fprintf(stderr, "the task is kept in %s\n", qPrintable(m_options.list));
      m_list.updateprogress(m_task);
    } else {
      std::fprintf(stderr, "nothing kept\n");
    }
    Finish(130);
  }

 private:
  int64_t Done() const {
    CDownRootAppend& t = m_list.Task(m_task);
    int64_t done = 0;
    for (int m = 0; m < t.SegmentCount(); ++m) done += t.SegPos(m) - t.SegStart(m);
    return done;
  }

  void Finish(int status) {
    if (m_finished) return;
    m_finished = true;
    m_status = status;
    if (status == 0) {
      ShowProgress(true);
      const int64_t size = ParseOffset(m_list.Task(m_task).totallength);
      std::fprintf(stderr, "%s\n",
                   qPrintable(FinishedLine(m_list.EngineFilePath(m_task), size, m_clock.elapsed() / 1000.0)));
    } else if (m_terminal) {
      std::fprintf(stderr, "\n");
    }
    m_list.SafeSave();
    QCoreApplication::exit(status);
  }

  // A failure in the words of a command line: the engine's file error
  // names the path it could not write.
  static QString Worded(const QString& reason) {
    if (reason.startsWith(QLatin1String(lark::fileerrorprefix)))
      return QStringLiteral("cannot write the local file %1").arg(reason.mid(11).trimmed());
    return reason;
  }

  QString Reason(const QString& fallback) const {
    std::string reason;
    unsigned kind = lark::FailureNone;
    lark::getfailure(m_list.Task(m_task).node, reason, kind);
    return reason.empty() ? fallback : Worded(QString::fromStdString(reason));
  }

  // The engine's log lines of every branch, shown with -v.
  void ReadLogs() {
    if (!m_options.verbose) return;
    CDownRootAppend& t = m_list.Task(m_task);
    for (unsigned k = 1; k <= std::max<uint32_t>(t.branchcount, 1); ++k) {
      void* h = nullptr;
      std::string text;
      if (lark::getdownbranch(t.node, k, h) != 0 || !h || lark::getoutputmsg(h, text, 0) != 0) continue;
      const QStringList lines = QString::fromStdString(text).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
      for (const QString& line : lines) {
        if (m_terminal) std::fprintf(stderr, "\r\033[K");
        std::fprintf(stderr, "[%u] %s\n", k, qPrintable(line));
      }
    }
  }

  void ShowProgress(bool final) {
    CDownRootAppend& t = m_list.Task(m_task);
    const qint64 now = m_clock.elapsed();
    if (!m_terminal && !final && now - m_lastshown < 5000) return;
    m_lastshown = now;
    unsigned connected = 0;
    for (unsigned k = 1; k <= std::max<uint32_t>(t.branchcount, 1); ++k) {
      void* h = nullptr;
      int c = 0;
      if (lark::getdownbranch(t.node, k, h) == 0 && h && lark::getserverconnected(h, c, 1) == 0 && c) ++connected;
    }
    ProgressFacts facts;
    facts.done = Done();
    facts.total = t.totallength.isEmpty() ? -1 : ParseOffset(t.totallength);
    const CTreeItem* root = m_list.RootOf(m_task);
    if (root) facts.percent = root->GetData().GetSubItem(2);
    facts.speed = t.speed;
    facts.smoothed = t.smoothed.Value();  // the list keeps it, as for its own time left
    facts.connected = connected;
    facts.branches = std::max<uint32_t>(t.branchcount, 1);
    const QString line = ProgressLine(facts);
    if (m_terminal)
      std::fprintf(stderr, "\r\033[K%s%s", qPrintable(line), final ? "\n" : "");
    else
      std::fprintf(stderr, "%s\n", qPrintable(line));
  }

  CDownloadList& m_list;
  int m_task;
  const GetOptions& m_options;
  bool m_terminal;
  uint32_t m_starttick;  // the task's before this run: a change means its branches started
  QElapsedTimer m_clock;
  qint64 m_lastprogress = 0;
  qint64 m_lastshown = -100000;
  int64_t m_lastdone = -1;
  bool m_wasconnected = false;
  bool m_saidstartover = false;
  bool m_finished = false;
  bool m_started = false;
  int m_status = 1;
};

// SIGINT and SIGTERM arrive as readable data on a descriptor, so they are
// handled in the event loop like everything else.
int SignalDescriptor() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) return -1;
  return signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
}

int FindTask(CDownloadList& list, const QString& url) {
  for (int i = 0; i < list.TaskCount(); ++i)
    if (list.Task(i).url == url) return i;
  return -1;
}

}  // namespace

int runget(int argc, char** argv) {
  GetOptions options;
  if (const int status = ParseOptions(argc, argv, options); status >= 0) return status;

  void* probe = nullptr;
  const unsigned kind = lark::addnode(probe, options.url.toStdString(), options.branches, options.port, {}, {}, {},
                                      false, true, false, true);
  if (kind == 101) return Fail("URL not accepted: %s", options.url);
  if (kind == 0) return Fail("%s names a site or directory, not a file", options.url);
  if (kind != 1) return Fail("the engine is not running");
  if (!ProbeSaveDirectory(options.dir, ProgramDirectory()))
    return Fail("cannot write to the directory %s",
                ResolveSaveDirectory(options.dir.isEmpty() ? QStringLiteral(".") : options.dir, ProgramDirectory()));

  // A signal is taken by any thread that does not block it, so the engine
  // is restarted after blocking: its new workers inherit the mask.
  const int signalfdnum = SignalDescriptor();
  lark::releasedllres();
  lark::startengine();
  lark::setmessageposter(PostEngineMessage);

  lark::settimeouts(options.connecttimeout * 1000, options.idletimeout * 1000);
  lark::setextendedpassive(options.epsv ? 1 : 0);
  if (!applytlsoptions("get", options.cafile, options.insecure)) return 2;

  CStderrSeam seam;
  CDownloadList list(seam);
  list.SetListFilePath(options.list);
  RetryPolicy policy;
  policy.firstwait = static_cast<uint32_t>(options.retrywait * 1000);
  policy.maxfailures = options.tries;
  list.SetRetryPolicy(policy);
  int task = -1;
  if (!options.list.isEmpty()) {
    if (list.LoadListFile() == ListFileLoad::CouldNotOpen) return 1;
    if (!list.RowsMatchRecords()) return Fail("the list file %s is damaged", options.list);
    list.recreatenodes();
    task = FindTask(list, options.url);
  }
  if (task >= 0) {
    const int row = list.Model().NodeToIndex(list.RootOf(task));
    QObject::connect(&list, &CDownloadList::commandPosted, &list, [&list, row](int command) {
      if (command == command::kStartDownload) list.StartDownload(row);
    });
    std::fprintf(stderr, "continuing the stored task\n");
    list.ResumeDownload(row);
  } else {
    if (list.CreateDownloadTask(options.url, options.branches, options.port, options.user, options.pass, options.dir,
                                true, !options.active, options.ascii) != 1)
      return Fail("could not create the task for %s", options.url);
    task = list.TaskCount() - 1;
  }
  list.SafeSave();

  CGetRun run(list, task, options);
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, &run, [&run] { run.Tick(); });
  timer.start(1000);
  // A probe answer is evaluated at once rather than up to a second later.
  QObject::connect(&list, &CDownloadList::probeAnswered, &run,
                   [&run] { QTimer::singleShot(0, &run, [&run] { run.Tick(); }); });
  std::unique_ptr<QSocketNotifier> notifier;
  if (signalfdnum >= 0) {
    notifier = std::make_unique<QSocketNotifier>(signalfdnum, QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, &run, [&run, signalfdnum] {
      signalfd_siginfo info{};
      if (read(signalfdnum, &info, sizeof info) > 0) run.Interrupt();
    });
  }
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, &run, [&run] { run.Watch(); });
  watch.start(2);
  QTimer::singleShot(0, &run, [&run] { run.Tick(); });
  const int status = QCoreApplication::exec();
  timer.stop();
  watch.stop();
  notifier.reset();
  if (signalfdnum >= 0) close(signalfdnum);
  return status == 0 ? 0 : status;
}
