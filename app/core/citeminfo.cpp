#include "citeminfo.h"

#include "carchive.h"

void CItemInfo::SetSubItem(int index, const QString& text) {
  if (index < 0) return;
  while (subitems.size() <= index) subitems.append(QString());
  subitems[index] = text;
}

void CItemInfo::Serialize(CArchive& ar) {
  ar.Exchange(columnmap);
  ar.Exchange(subitems);
  ar.Exchange(checkmark);
  ar.Exchange(bkcolor);
  ar.Exchange(image);
  auto stored = static_cast<uint32_t>(kind);
  ar.Exchange(stored);
  kind = static_cast<ItemKind>(stored);
  ar.Exchange(spare);
  ar.Exchange(text);
}
