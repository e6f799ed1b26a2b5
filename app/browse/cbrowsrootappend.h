// The site record of a browse task: how to reach the site (stored in
// "lark1.dat") and, for this run only, its engine node and the state of its
// directory listing cycle.
#pragma once

#include <QString>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <optional>

#include "core/cobject.h"
#include "core/tasklogin.h"
#include "listingstep.h"
#include "sitestate.h"

class CTreeItem;

class CBrowsRootAppend : public CObject, public TaskLogin {
 public:
  static constexpr CRuntimeClass classinfo{"CBrowsRootAppend", 1};

  const CRuntimeClass& GetRuntimeClass() const override { return classinfo; }
  // The login; nothing else is stored.
  void Serialize(CArchive& ar) override;

  void* node = nullptr;

  // Where the listing cycle stands, and for which directory.
  CTreeItem* navtarget = nullptr;
  CTreeItem* navpending = nullptr;
  ListingStep navstate = ListingStep::Idle;
  uint32_t navready = 0;
  uint32_t navrequested = 0;

  // The retries of a refused "list" wait on this timer rather than on the
  // window thread; it dies with the record, so a deleted site never fires.
  int listtries = 0;
  std::unique_ptr<QTimer> listretry;

  std::optional<SiteState> shownstate;  // none until the first pass
};
