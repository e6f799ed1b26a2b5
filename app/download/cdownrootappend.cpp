#include "cdownrootappend.h"

#include <algorithm>

#include "numbertext.h"
#include "shell/carchive.h"

void CDownRootAppend::Serialize(CArchive& ar) {
  ar.Exchange(segend);
  ar.Exchange(segpos);
  ar.Exchange(segstart);
  ar.Exchange(segowner);
  ar.Exchange(branchseg);
  ar.Exchange(branchactive);
  ar.Exchange(branchstopped);
  ar.Exchange(url);
  ar.Exchange(user);
  ar.Exchange(pass);
  ar.Exchange(ascimode);
  ar.Exchange(pasvmode);
  ar.Exchange(port);
  ar.Exchange(localdir);
  ar.Exchange(branchcount);
  ar.Exchange(totallength);
  ar.Exchange(starttick);
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

int64_t CDownRootAppend::SegStart(int m) const { return ParseOffset(segstart.value(m)); }
int64_t CDownRootAppend::SegPos(int m) const { return ParseOffset(segpos.value(m)); }
int64_t CDownRootAppend::SegEnd(int m) const { return ParseOffset(segend.value(m)); }
