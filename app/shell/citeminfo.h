// The data of one list entry: what its row shows and how its image is chosen.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <map>

#include "shell/cobject.h"

class CItemInfo : public CObject {
 public:
  static constexpr CRuntimeClass classinfo{"CItemInfo", 1};
  // Values of `kind` that draw the desktop's icon for a file name instead of
  // one of the control's own images.
  static constexpr uint32_t kFileKind = 0;
  static constexpr uint32_t kFileInDirectoryKind = 4;  // sub-item 4 holds the directory
  static constexpr uint32_t kNoColour = 0xFFFFFFFF;

  const CRuntimeClass& GetRuntimeClass() const override { return classinfo; }
  void Serialize(CArchive& ar) override;

  // Sub-item i is column i + 1; a missing one reads as empty.
  QString GetSubItem(int index) const { return subitems.value(index); }
  void SetSubItem(int index, const QString& text);

  std::map<uint32_t, uint32_t> columnmap;
  uint32_t kind = 1;
  uint32_t spare = 0;
  QString text;
  QStringList subitems;
  uint32_t checkmark = 0;
  int32_t image = -1;
  uint32_t bkcolor = kNoColour;  // 0x00BBGGRR
};
