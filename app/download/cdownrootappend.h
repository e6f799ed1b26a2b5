// The record of one download task: how to reach the file, where it goes,
// its engine node group and the segment table that says which branch
// fetches which byte range. Record i belongs to the i-th root row.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

#include "core/cobject.h"
#include "core/tasklogin.h"
#include "downloadprobe.h"
#include "smoothedspeed.h"
#include "taskstate.h"

// What the scheduler keeps per branch between ticks, never stored: the
// automatic retry of a dropped or stalled connection.
struct BranchRetry {
  int failures = 0;      // restarts in a row without progress
  bool pending = false;  // a restart is due at `due`
  bool gaveup = false;   // too many failures: left inactive
  uint32_t due = 0;
  int64_t lastwrite = -1;  // write offset at the last movement
  uint32_t lastmove = 0;   // tick of that movement
  int64_t failedat = -1;   // write offset when the last failure was seen
  int64_t trystart = -1;   // write offset when the current try began
};

class CDownRootAppend : public CObject, public TaskLogin {
 public:
  static constexpr CRuntimeClass classinfo{"CDownRootAppend", 1};
  const CRuntimeClass& GetRuntimeClass() const override { return classinfo; }
  // Stored fields only, in the list file's order.
  void Serialize(CArchive& ar) override;

  // The seven segment lists emptied, for a start from byte 0.
  void ClearSegments();
  int SegmentCount() const { return static_cast<int>(segstart.size()); }
  int BranchEntries() const { return static_cast<int>(branchactive.size()); }
  bool AnyBranchActive() const;
  // Appends segment [start, end) at `position`, fetched by `owner`.
  int AppendSegment(int64_t start, int64_t position, int64_t end, uint32_t owner);
  // Drops the segments of no bytes that no branch points at: every
  // hand-out leaves the taken segment cut at its position, often with
  // nothing done, and a task resumed many times would only grow its table.
  void DropEmptySegments();
  int64_t SegStart(int m) const;
  int64_t SegPos(int m) const;
  int64_t SegEnd(int m) const;

  void* node = nullptr;
  QString localdir;
  uint32_t branchcount = 0;
  QString totallength;
  uint32_t starttick = 0;
  uint32_t tracking = 0;
  bool createdfile = false;  // this session's start made the local file
  QStringList segstart;
  QStringList segpos;
  QStringList segend;
  std::vector<uint32_t> segowner;
  std::vector<uint32_t> branchseg;
  std::vector<uint32_t> branchactive;
  std::vector<uint32_t> branchstopped;

  // Not stored: the lParam of this task's probe requests, the probe and the
  // retry state per branch.
  int id = 0;
  DownloadProbe probe;
  std::vector<BranchRetry> retry;
  QString failure;                      // why the task ended for good
  QString lastreason;                   // the last failed try's reason
  bool startover = false;               // fetch the whole file again on one branch once all have let go
  int startovers = 0;                   // times it did
  std::optional<TaskState> shownstate;  // none until the first pass after a load or a start
  uint32_t lastpass = 0;                // tick of the last progress pass, for the speeds
  int64_t speed = 0;                    // bytes per second over that pass, 0 when not receiving
  int64_t remaining = -1;               // bytes still to fetch, -1 when the length is unknown
  SmoothedSpeed smoothed;               // the speed the time left is drawn from
};
