// Browse list records for the tests: a site with its entry row (offline,
// no node) and the directory and file rows below it.
#pragma once

#include "browse/csitebrowslist.h"
#include "iteminfo.h"

inline CBrowsRootAppend& StoredSite(CSiteBrowsList& list, const QString& name, const QString& url,
                                    const QString& user = {}, const QString& pass = {}, uint32_t port = 0,
                                    uint32_t pasvmode = 1) {
  auto site = std::make_unique<CBrowsRootAppend>();
  site->url = url;
  site->user = user;
  site->pass = pass;
  site->port = port;
  site->pasvmode = pasvmode;
  return list.AppendSite(Info(name, ItemKind::OwnImage, 3), std::move(site));
}

// A directory, or a file with a size and a time, hidden below `parent`.
inline CTreeItem* StoredEntry(CSiteBrowsList& list, CTreeItem* parent, const QString& name, bool directory,
                              const QStringList& columns = {"1,234", "2001/01/05 00:00"}) {
  return list.Model().InsertItem(
      parent, Info(name, directory ? ItemKind::OwnImage : ItemKind::File, directory ? 1 : -1, columns), false);
}
