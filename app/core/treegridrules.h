// The drawing decisions of the tree-grid list that need no painter: which
// image a row shows and how a text is cut to its column.
#pragma once

#include <QString>

#include <functional>

class CItemInfo;
class CTreeItem;

// The control's own images, by index.
enum TreeGridImage {
  kFolderOpen = 0,
  kFolderClosed = 1,
  kLeaf = 2,
  kSiteOffline = 3,
  kSiteOnline = 4,
  kBranchIdle = 5,
  kTaskStopped = 6,
  kBranchConnected = 7,
  kTaskRunning = 8,
  kBranchStopped = 9,
  kTaskDone = 10,
  kTaskFailed = 11,
  kTaskNew = 12,  // never started
  kSiteRefused = 13,
  kTreeGridImageCount = 14,
};

// The image of the entry's state when set, else its own image when set, else open folder, closed folder or leaf.
int ChooseImage(const CTreeItem& item);

// Whether the row shows the desktop's icon for a file name instead.
bool UsesFileIcon(const CItemInfo& info);
// The file name whose icon is shown: the text, or for `kind` 4 the
// directory in sub-item 4 joined with the text.
QString FileIconName(const CItemInfo& info);

// The text as drawn in `width` pixels: unchanged when it fits with the
// margin, else its longest fitting beginning (at least one character)
// followed by "...".
using TextMeasure = std::function<int(const QString&)>;
QString CutText(const QString& text, int width, const TextMeasure& measure);
