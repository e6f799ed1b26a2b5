// The data of one list entry: what its row shows and how its image is chosen.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <map>

#include "cobject.h"

// How an entry's image is chosen. Stored as a 32-bit number, and a value
// read from a list file that is none of these is kept as it is.
enum class ItemKind : uint32_t {
  File = 0,             // the desktop's icon for the entry's text
  OwnImage = 1,         // the control's own `image`: folders, sites, branches
  TaskImage = 3,        // a download task's running or stopped image
  FileInDirectory = 4,  // the desktop's icon for sub-item 4 + "/" + text
};

class CItemInfo : public CObject {
 public:
  static constexpr CRuntimeClass classinfo{"CItemInfo", 1};
  static constexpr uint32_t kNoColour = 0xFFFFFFFF;

  const CRuntimeClass& GetRuntimeClass() const override { return classinfo; }
  void Serialize(CArchive& ar) override;

  // Sub-item i is column i + 1; a missing one reads as empty.
  QString GetSubItem(int index) const { return subitems.value(index); }
  void SetSubItem(int index, const QString& text);
  // The browse list takes any entry but a file for a folder.
  bool IsFolder() const { return kind != ItemKind::File; }

  std::map<uint32_t, uint32_t> columnmap;
  ItemKind kind = ItemKind::OwnImage;
  uint32_t spare = 0;
  QString text;
  QStringList subitems;
  uint32_t checkmark = 0;
  int32_t image = -1;
  uint32_t bkcolor = kNoColour;  // 0x00BBGGRR

  // Not stored: what the entry is doing now, its reason as a tooltip and
  // the image that shows it (-1: `image` stands), all derived again after
  // every load from the task's own state.
  QString status;
  QString statustip;
  int32_t stateimage = -1;
  // Not stored either: the time still to go, and the readable form of the
  // row's sizes and speed for their tooltips.
  QString timeleft;
  QString sizetip;
};
