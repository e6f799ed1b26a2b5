// Work for an idle branch: the largest unfinished segment nobody is
// fetching, else the second half of the largest running one when that is
// worth a connection of its own.
#include <algorithm>

#include "cdownloadlist.h"
#include "lark.h"
#include "numbertext.h"

namespace {
constexpr int64_t kSmallestSplit = 100000;
constexpr int64_t kOverlap = 4096;

void* BranchNode(void* node, int k) {
  void* branch = nullptr;
  if (lark::getdownbranch(node, static_cast<unsigned>(k + 1), branch) != 0) return nullptr;
  return branch;
}

// The lowest offset below `pos`, at most kOverlap below it, from which the
// bytes up to `pos` are on disk: the fetched part of any segment counts,
// so work that starts where an earlier segment ended is proven too.
int64_t OverlapStart(const CDownRootAppend& t, int64_t pos) {
  int64_t from = pos;
  for (int m = 0; m < t.SegmentCount(); ++m)
    if (t.SegStart(m) < pos && t.SegPos(m) >= pos) from = std::min(from, std::max(t.SegStart(m), pos - kOverlap));
  return from;
}
}  // namespace

int CDownloadList::assignsegment(int task, int k) {
  CDownRootAppend& t = Task(task);
  const int segments = t.SegmentCount();
  if (k < 0 || static_cast<size_t>(k) >= t.branchactive.size() || t.branchseg.size() != t.branchactive.size() ||
      static_cast<int>(t.segowner.size()) != segments || t.segpos.size() != segments || t.segend.size() != segments)
    return 1;
  // A stopped branch may have written past the position of the last tick:
  // work handed on starts where its bytes end, not before.
  for (size_t b = 0; b < t.branchseg.size() && b < t.branchactive.size(); ++b) {
    const int j = static_cast<int>(t.branchseg[b]);
    void* h = t.branchactive[b] == 1 || j >= segments ? nullptr : BranchNode(t.node, static_cast<int>(b));
    int64_t w = 0;
    if (!h || lark::getfilepointer(h, w, 1) != 0) continue;
    if (w > t.SegPos(j) && w <= t.SegEnd(j)) t.segpos[j] = OffsetText(w);
  }
  // An owner that has moved on to another segment no longer fetches this
  // one: the segment is as free as one whose owner is idle.
  auto fetched = [&t](int m) {
    const uint32_t owner = t.segowner[static_cast<size_t>(m)];
    return owner < t.branchactive.size() && t.branchactive[owner] == 1 &&
           t.branchseg[owner] == static_cast<uint32_t>(m);
  };
  auto choose = [&](bool unfetched) {
    int best = -1;
    int64_t bestremaining = 0;
    for (int m = 0; m < segments; ++m) {
      if (unfetched && fetched(m)) continue;
      const int64_t remaining = t.SegEnd(m) - t.SegPos(m);
      if (remaining > bestremaining) {
        best = m;
        bestremaining = remaining;
      }
    }
    return best;
  };
  int m = choose(true);
  if (m < 0) m = choose(false);
  if (m < 0) return 1;

  const uint32_t o = t.segowner[static_cast<size_t>(m)];
  const int64_t end = t.SegEnd(m);
  const int64_t pos = t.SegPos(m);
  const int64_t remaining = end - pos;
  int fresh = -1;
  // Where the request starts: a few KiB before the position when those
  // bytes are on disk, so the engine can prove the server starts where
  // asked (and the file has not changed) before it writes anything.
  int64_t askfrom = pos;
  if (fetched(m) && o != static_cast<uint32_t>(k)) {
    if (remaining <= kSmallestSplit) return 1;
    const int64_t boundary = end - remaining / 2;
    askfrom = boundary;  // nothing before it is on disk yet
    fresh = t.AppendSegment(boundary, boundary, end, static_cast<uint32_t>(k));
    t.segend[m] = OffsetText(boundary);
    lark::setfilepointer(BranchNode(t.node, static_cast<int>(o)), boundary, 2);
  } else {
    fresh = t.AppendSegment(pos, pos, end, static_cast<uint32_t>(k));
    askfrom = OverlapStart(t, pos);
    t.segend[m] = OffsetText(pos);
    // A stopped owner may still be writing until its disconnect lands; an
    // owner busy with another segment keeps that segment's end.
    if (o != static_cast<uint32_t>(k) && t.branchseg[o] == static_cast<uint32_t>(m))
      lark::setfilepointer(BranchNode(t.node, static_cast<int>(o)), pos, 2);
  }
  void* h = BranchNode(t.node, k);
  t.branchseg[static_cast<size_t>(k)] = static_cast<uint32_t>(fresh);
  lark::setfilepointer(h, askfrom, 0);
  lark::setfilepointer(h, t.SegPos(fresh), 1);
  lark::setfilepointer(h, t.SegEnd(fresh), 2);
  t.branchactive[static_cast<size_t>(k)] = 1;
  t.DropEmptySegments();
  return 0;
}
