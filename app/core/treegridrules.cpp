#include "treegridrules.h"

#include <algorithm>

#include "ctreeitem.h"

namespace {

constexpr int kTextMargin = 4;
const QString kEllipsis = QStringLiteral("...");

}  // namespace

int ChooseImage(const CTreeItem& item) {
  const int image = item.GetData().stateimage != -1 ? item.GetData().stateimage : item.GetData().image;
  if (image != -1) return image;
  if (!item.ItemHasChildren()) return kLeaf;
  return item.IsCollapsed() ? kFolderClosed : kFolderOpen;
}

bool UsesFileIcon(const CItemInfo& info) {
  return info.kind == ItemKind::File || info.kind == ItemKind::FileInDirectory;
}

QString FileIconName(const CItemInfo& info) {
  if (info.kind != ItemKind::FileInDirectory) return info.text;
  const QString directory = info.GetSubItem(4);
  if (directory.endsWith(u'/')) return directory + info.text;
  return directory + u'/' + info.text;
}

QString CutText(const QString& text, int width, const TextMeasure& measure) {
  if (text.isEmpty() || measure(text) + kTextMargin <= width) return text;
  const int extra = measure(kEllipsis) + kTextMargin;
  // Widths grow with the length, so search for the longest fitting start.
  qsizetype low = 1, high = text.size() - 1;
  while (low < high) {
    const qsizetype middle = (low + high + 1) / 2;
    if (measure(text.left(middle)) + extra <= width)
      low = middle;
    else
      high = middle - 1;
  }
  qsizetype keep = std::max<qsizetype>(low, 1);
  if (keep > 1 && text[keep - 1].isHighSurrogate()) --keep;
  return text.left(keep) + kEllipsis;
}
