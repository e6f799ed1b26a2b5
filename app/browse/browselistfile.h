// "lark1.dat": the browse list's tree block and site block, beside the
// program (see ProgramDirectory), and the engine nodes of a loaded list.
#pragma once

#include <QString>

#include <optional>

#include "core/carchive.h"
#include "core/listfile.h"

class CMessageSeam;
class CSiteBrowsList;

QString BrowseListPath();

// A damaged file keeps what was read before the damage; `damage` tells
// what it was. "Could not create file!" when the file cannot be opened.
ListFileLoad LoadBrowseList(CSiteBrowsList& list, const QString& path, CMessageSeam& messages,
                            std::optional<CArchiveException>* damage = nullptr,
                            ListFileAccess access = ListFileAccess::ReadWrite);
bool SaveBrowseList(CSiteBrowsList& list, const QString& path, CMessageSeam& messages);

// False when the numbers of site entries and site records differ (a file
// cut short): the window then shows "Brows list file error" and leaves the
// sites without nodes.
bool SiteCountsMatch(const CSiteBrowsList& list);

// Gives every loaded site a node (not connected) and marks it navigated, so
// that connecting it keeps its stored tree. A site whose URL the engine no
// longer takes as a site stays without a node. Returns the sites given one.
int RecreateBrowseNodes(CSiteBrowsList& list);
