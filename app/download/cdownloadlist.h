// The download task list without its window: the rows (a CTreeGridModel),
// the task records paired with the root rows, the once-a-second scheduler
// and the commands. Everything runs on the thread that owns this object;
// the engine's completion messages reach it as CEngineMessageEvent, so the
// object itself is the `wnd` of its requests.
//
// A task runs through: probe (FTP "list" then "rest 1", HTTP a GET from
// byte 1) -> division into segments -> branches started -> each tick the
// progress pass records every branch's written position, hands finished
// branches new work and restarts dropped ones after a growing wait.
// While any task runs, the list is saved every few seconds, after the
// downloaded bytes are flushed, so a stored position is never ahead of
// the disk.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <vector>

#include "cdownrootappend.h"
#include "core/ctreegridmodel.h"
#include "core/listfile.h"
#include "transfersummary.h"

class CMessageSeam;

// How dropped and stalled branches are restarted; tests shorten the times.
// A try that brought `goodtry` bytes or more is taken up again at once;
// shorter ones wait `firstwait`, doubled each time up to `maxwait`, and
// after `maxfailures` of them in a row the branch gives up.
struct RetryPolicy {
  uint32_t firstwait = 1000;  // ms
  uint32_t maxwait = 30000;
  int maxfailures = 8;
  int64_t goodtry = 65536;
  uint32_t stalltime = 60000;  // connected but nothing received this long
  uint32_t saveperiod = 5000;  // safe save while running
};

class CDownloadList : public QObject {
  Q_OBJECT

 public:
  explicit CDownloadList(CMessageSeam& messages, QObject* parent = nullptr);
  ~CDownloadList() override;

  static QStringList ColumnHeaders();
  // Derived, not stored: the stored sub-items keep their places.
  static constexpr int kStatusColumn = 5;
  static constexpr int kTimeLeftColumn = 6;
  static constexpr int kPercentColumn = 3;
  CTreeGridModel& Model() { return m_model; }
  int TaskCount() const { return static_cast<int>(m_tasks.size()); }
  CDownRootAppend& Task(int index) { return *m_tasks.at(static_cast<size_t>(index)); }
  CTreeItem* RootOf(int index) const { return m_model.GetRootAt(index); }
  void SetRetryPolicy(const RetryPolicy& policy) { m_policy = policy; }

  // Rows: the task index of a row (-1 for none), the branch of a branch
  // row (-1 for a root row), and the node whose log the pane shows.
  int TaskOfRow(int row) const;
  int BranchOfRow(int row) const;
  void* LogNodeOfRow(int row) const;
  bool FullLogRefresh() const { return m_fulllogrefresh; }
  void SetFullLogRefresh(bool on) { m_fulllogrefresh = on; }

  // Task creation, download half: `node` is a file node addnode made for
  // `url`. Adds the root row, one branch row per branch and the record.
  void AddCreatedTask(void* node, const QString& url);
  // addnode then AddCreatedTask; returns addnode's result. A URL naming a
  // site (result 0) makes nothing here: its node is deleted again. A
  // password in the URL moves to the task's login fields first.
  unsigned CreateDownloadTask(QString url, unsigned branches, unsigned port, QString user, QString pass,
                              const QString& localdir, bool connectnow, bool pasv, bool ascii);
  // Drops the record and rows of task `index`; its node must be idle and
  // deleted by the caller.
  void RemoveTask(int index);

  // The list file (default: "lark2.dat" in the program's directory); an
  // empty path keeps the list in memory only.
  void SetListFilePath(const QString& path) { m_listpath = path; }
  QString ListFilePath() const { return m_listpath; }
  // A damaged file that could not be copied aside is never saved over.
  ListFileLoad LoadListFile(ListFileAccess access = ListFileAccess::ReadWrite);
  bool SaveListFile();
  // Flushes every running task's file to disk, then saves the list.
  bool SafeSave();
  void Serialize(CArchive& ar);
  bool RowsMatchRecords() const { return m_model.GetRootCount() == TaskCount(); }
  // After loading: one node group per task (none when addnode refuses),
  // every branch inactive, shown stopped or idle.
  void recreatenodes();

  // The scheduler.
  void downloadtick();
  // Moves every probe on within milliseconds instead of at the next tick:
  // called when a task connects and when an answer arrives.
  void ProbeSoon();
  int OnProbeAnswer(void* node, int lparam);
  int assignsegment(int task, int k);
  void updateprogress(int task);

  // Commands on the task or branch of `row`.
  void StartDownload(int row);
  void ResumeDownload(int row);
  void StartTask(int task);
  void ResumeTask(int task);
  // The tasks running now, as keys ResumeTasks takes at the next start.
  QStringList RunningTaskKeys() const;
  // The tasks that run now, their speeds and what they still have to fetch.
  TransferSummary Summary() const;
  void ResumeTasks(const QStringList& keys);
  void StopDownload(int row);
  // Stop and Resume on every task with a row among `rows`: one question
  // for all of them; a never-started one among several starts.
  void StopDownloads(const QList<int>& rows);
  void ResumeDownloads(const QList<int>& rows);
  // Each task once, in the order of its first row.
  QList<CDownRootAppend*> TasksOfRows(const QList<int>& rows);
  int IndexOf(const CDownRootAppend* record) const;
  void StopTask(int task);
  // True when a task already fetches this URL (its login aside).
  bool HasUrl(const QString& url) const;
  void StartBranch(int row);
  void StopBranch(int row);
  void ClearBranchLog(int row);
  // The downloaded file of the row's task as shown (Directory + name).
  QString LocalFilePath(int row) const;

  // Task state for front ends.
  bool IsComplete(int task) const;
  // Ended for good: a final answer, or every branch out of tries.
  bool HasGivenUp(int task) const;
  // Why, in one line ("the server answered ..."); empty while it may go on.
  QString FailureReason(int task) const;
  // What the task is doing now; `retryms` is the wait to its next try.
  TaskState StateOf(int task, int64_t& retryms) const;
  // Shows the task's and its branches' states and zeroes the speed of
  // whatever is not receiving.
  void RefreshStatus(int task);
  // The task's unfinished file when it is there and its own to delete.
  QByteArray PartialFileOf(int task) const;
  // The local file the engine writes, from the node (after redirects): its
  // path in bytes, which every file call must use (an FTP name keeps the
  // server's bytes, UTF-8 or not), and as shown.
  QByteArray EngineFileBytes(int task) const;
  QString TaskKey(int task) const;
  QString EngineFilePath(int task) const;

 signals:
  // A command for the main window (Resume on a never-started task).
  void commandPosted(int command);
  // A probe answer has been stored; a front end may tick at once.
  void probeAnswered();
  // The task has just completed or failed (not when a list loads so).
  void taskEnded(int task);

 protected:
  bool event(QEvent* event) override;

 private:
  int TaskOfNode(void* node, int lparam) const;
  int IndexOfRoot(const CTreeItem* root) const;
  void SetRootImage(int task, ItemKind kind, int32_t image);
  void SetBranchImage(int task, int k, int32_t image);
  void ShowTotal(int task);
  void AdvanceProbe(int task);
  void ProbePass();
  void EvaluateHttpProbe(int task);
  void EvaluateFtpProbe(int task);
  void EvaluateRestAnswer(int task);
  void StartBranches(int task, const QString& script, bool resume, int64_t length);
  void FreshLocalFile(int task, int64_t length);
  void ProbeStuck(int task);
  bool BranchIsDone(int task, int k, int64_t w);
  void BranchFailed(int task, int k, int64_t w);
  void FailTask(int task, const QString& reason);
  bool ProbeFailed(int task);
  void RunDueProbe(int task);
  void StartOver(int task);
  void MarkTry(int task, int k);
  void RetryAt(uint32_t due);
  void RemoveUnwrittenFile(int task);
  void RunDueRetries(int task);
  void RestartBranch(int task, int k);
  bool RetryPending(int task) const;
  bool WaitDisconnected(void* node, int thisnodeonly);
  void ResizeRetry(int task);

  CMessageSeam& m_messages;
  CTreeGridModel m_model;
  std::vector<std::unique_ptr<CDownRootAppend>> m_tasks;
  RetryPolicy m_policy;
  QString m_listpath;
  bool m_fulllogrefresh = false;
  bool m_maywriteback = true;
  int m_nextid = 1;
  uint32_t m_lastsave = 0;
  bool m_wasrunning = false;
  bool m_waiting = false;  // a command waits for a disconnect
  QTimer m_retrydue;       // the next branch retry, so it does not wait for a tick
  QTimer m_probecheck;     // the short re-checks of ProbeSoon
  int m_probechecks = 0;   // re-checks left before the tick takes over
};
