#include "cdownrootappend.h"

#include <algorithm>

#include "core/carchive.h"
#include "core/defaultset.h"
#include "numbertext.h"

namespace {

// The scheduler indexes branches and segments by these tables, so a loaded
// record must hold together before anything trusts it.
bool TablesHoldTogether(const CDownRootAppend& t) {
  const size_t segments = static_cast<size_t>(t.segend.size());
  const size_t branches = t.branchseg.size();
  if (t.branchcount > kMaxBranchCount || branches > kMaxBranchCount) return false;
  if (static_cast<size_t>(t.segpos.size()) != segments || static_cast<size_t>(t.segstart.size()) != segments ||
      t.segowner.size() != segments)
    return false;
  if (t.branchactive.size() != branches || t.branchstopped.size() != branches) return false;
  if (segments == 0) return branches == 0;
  for (uint32_t owner : t.segowner)
    if (owner >= branches) return false;
  for (uint32_t m : t.branchseg)
    if (m >= segments) return false;
  return true;
}

}  // namespace

void CDownRootAppend::Serialize(CArchive& ar) {
  ar.Exchange(segend);
  ar.Exchange(segpos);
  ar.Exchange(segstart);
  ar.Exchange(segowner);
  ar.Exchange(branchseg);
  ar.Exchange(branchactive);
  ar.Exchange(branchstopped);
  SerializeLogin(ar);
  ar.Exchange(localdir);
  ar.Exchange(branchcount);
  ar.Exchange(totallength);
  ar.Exchange(starttick);
  if (ar.IsLoading() && !TablesHoldTogether(*this))
    ar.Fail(CArchiveException::BadValue, "a task record whose tables do not hold together");
}

void CDownRootAppend::ClearSegments() {
  segstart.clear();
  segpos.clear();
  segend.clear();
  segowner.clear();
  branchseg.clear();
  branchactive.clear();
  branchstopped.clear();
}

bool CDownRootAppend::AnyBranchActive() const {
  return std::find(branchactive.begin(), branchactive.end(), 1u) != branchactive.end();
}

int CDownRootAppend::AppendSegment(int64_t start, int64_t position, int64_t end, uint32_t owner) {
  segstart.append(OffsetText(start));
  segpos.append(OffsetText(position));
  segend.append(OffsetText(end));
  segowner.push_back(owner);
  return SegmentCount() - 1;
}

void CDownRootAppend::DropEmptySegments() {
  const int count = SegmentCount();
  if (segpos.size() != count || segend.size() != count || segowner.size() != static_cast<size_t>(count)) return;
  std::vector<bool> pointedat(static_cast<size_t>(count), false);
  for (uint32_t m : branchseg)
    if (m < static_cast<uint32_t>(count)) pointedat[m] = true;
  std::vector<uint32_t> moved(static_cast<size_t>(count), 0);
  QStringList starts, positions, ends;
  std::vector<uint32_t> owners;
  for (int m = 0; m < count; ++m) {
    if (!pointedat[static_cast<size_t>(m)] && SegStart(m) == SegEnd(m) && SegPos(m) == SegStart(m)) continue;
    moved[static_cast<size_t>(m)] = static_cast<uint32_t>(owners.size());
    starts.append(segstart[m]);
    positions.append(segpos[m]);
    ends.append(segend[m]);
    owners.push_back(segowner[static_cast<size_t>(m)]);
  }
  for (uint32_t& m : branchseg)
    if (m < static_cast<uint32_t>(count)) m = moved[m];
  segstart = starts;
  segpos = positions;
  segend = ends;
  segowner = owners;
}

int64_t CDownRootAppend::SegStart(int m) const { return ParseOffset(segstart.value(m)); }
int64_t CDownRootAppend::SegPos(int m) const { return ParseOffset(segpos.value(m)); }
int64_t CDownRootAppend::SegEnd(int m) const { return ParseOffset(segend.value(m)); }
