#include "ctreegriddelegate.h"

#include <QPainter>

#include <algorithm>

#include "core/ctreegridmodel.h"
#include "core/treegridrules.h"
#include "ctreegridctrl.h"
#include "treegridimages.h"

namespace {

constexpr int kStep = CTreeGridImages::kSize;  // one indent level
constexpr int kTextGap = 2;
const QColor kTreeLine(0xC0, 0xC0, 0xC0);
const QColor kBoxFrame(0xC6, 0xC6, 0xC6);

QColor FromColourRef(uint32_t colour) { return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF); }

}  // namespace

CTreeGridDelegate::CTreeGridDelegate(CTreeGridCtrl& ctrl) : QStyledItemDelegate(&ctrl), m_ctrl(ctrl) {}

int CTreeGridDelegate::LevelLineX(const QRect& cell, int indent) {
  return cell.left() + (indent - 1) * kStep + kStep / 2;
}

QRect CTreeGridDelegate::ExpandBox(const QRect& cell, int indent) {
  const int width = kStep / 2 + 3;
  const int height = kStep / 2 + 3;
  return QRect(LevelLineX(cell, indent) - width / 2, cell.center().y() - height / 2, width, height);
}

QRect CTreeGridDelegate::CheckBox(const QRect& cell, int indent) {
  return QRect(cell.left() + indent * kStep + 2, cell.center().y() - 5, 11, 11);
}

QRect CTreeGridDelegate::ImageRect(const QRect& cell, int indent, bool checkboxes) {
  const int left = cell.left() + (indent + (checkboxes ? 1 : 0)) * kStep;
  return QRect(left, cell.center().y() - kStep / 2, kStep, kStep);
}

void CTreeGridDelegate::PaintBackground(QPainter& painter, const QStyleOptionViewItem& option,
                                        const CTreeItem& item) const {
  const uint32_t colour = item.GetData().bkcolor;
  if (option.state & QStyle::State_Selected)
    painter.fillRect(option.rect, option.palette.brush(QPalette::Active, QPalette::Highlight));
  else if (colour != CItemInfo::kNoColour)
    painter.fillRect(option.rect, FromColourRef(colour));
  else
    painter.fillRect(option.rect, option.palette.brush(QPalette::Base));
}

void CTreeGridDelegate::PaintTree(QPainter& painter, const QRect& cell, const CTreeItem& item) const {
  const CTreeGridModel& model = m_ctrl.Model();
  const int indent = item.GetIndent();
  const int middle = cell.center().y();
  painter.setPen(kTreeLine);
  // Ancestors with further siblings below carry a line through this row.
  for (const CTreeItem* up = item.GetParentItem(); up; up = up->GetParentItem())
    if (model.GetNextSibling(up)) {
      const int x = LevelLineX(cell, up->GetIndent());
      painter.drawLine(x, cell.top(), x, cell.bottom());
    }
  const int x = LevelLineX(cell, indent);
  const bool first = !item.GetParentItem() && model.GetRootIndex(&item) == 0;
  painter.drawLine(x, first ? middle : cell.top(), x, model.GetNextSibling(&item) ? cell.bottom() : middle);
  const QRect image = ImageRect(cell, indent, m_ctrl.HasCheckBoxes());
  painter.drawLine(x, middle, image.left() - 1, middle);
  if (!item.ItemHasChildren()) return;
  if (!item.IsCollapsed() && item.ChildCount() > 0) {
    const int below = image.center().x();
    painter.drawLine(below, image.bottom(), below, cell.bottom());
  }
  const QRect box = ExpandBox(cell, indent);
  painter.setPen(kBoxFrame);
  painter.setBrush(Qt::white);
  painter.drawRect(box.adjusted(0, 0, -1, -1));
  painter.setPen(Qt::black);
  const QPoint centre(x, middle);
  painter.drawLine(centre.x() - 2, centre.y(), centre.x() + 2, centre.y());
  // A folder not listed yet has nothing to collapse: it shows "+" too.
  if (item.IsCollapsed() || item.ChildCount() == 0)
    painter.drawLine(centre.x(), centre.y() - 2, centre.x(), centre.y() + 2);
}

void CTreeGridDelegate::PaintBar(QPainter& painter, const QStyleOptionViewItem& option, const QString& percent) const {
  bool ok = false;
  const int value = percent.toInt(&ok);
  if (!ok || value <= 0) return;
  const QRect area = option.rect.adjusted(1, 2, -1, -2);
  QRect filled = area;
  filled.setWidth(area.width() * std::min(value, 100) / 100);
  const bool selected = option.state & QStyle::State_Selected;
  QColor colour = option.palette.color(QPalette::Active, selected ? QPalette::HighlightedText : QPalette::Highlight);
  colour.setAlpha(110);
  painter.fillRect(filled, colour);
}

void CTreeGridDelegate::PaintText(QPainter& painter, const QStyleOptionViewItem& option, const QRect& area,
                                  const QString& text) const {
  const QFontMetrics metrics(option.font);
  const QString shown =
      CutText(text, area.width(), [&metrics](const QString& part) { return metrics.horizontalAdvance(part); });
  const bool selected = option.state & QStyle::State_Selected;
  painter.setPen(option.palette.color(QPalette::Active, selected ? QPalette::HighlightedText : QPalette::Text));
  painter.setFont(option.font);
  painter.drawText(area.adjusted(kTextGap, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
}

void CTreeGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  const CTreeItem* item = m_ctrl.Model().GetTreeItem(index.row());
  if (!item) return;
  const QRect cell = option.rect;
  painter->save();
  painter->setClipRect(cell);
  PaintBackground(*painter, option, *item);
  if (index.column() > 0) {
    const QString text = index.data().toString();
    if (index.column() == m_ctrl.BarColumn()) PaintBar(*painter, option, text);
    PaintText(*painter, option, cell, text);
    painter->restore();
    return;
  }
  PaintTree(*painter, cell, *item);
  const int indent = item->GetIndent();
  if (m_ctrl.HasCheckBoxes()) {
    const QRect check = CheckBox(cell, indent);
    painter->setPen(Qt::black);
    painter->setBrush(Qt::white);
    painter->drawRect(check.adjusted(0, 0, -1, -1));
    if (item->GetData().checkmark)
      painter->drawPolyline(
          QPolygon({QPoint(check.left() + 2, check.center().y()), QPoint(check.center().x(), check.bottom() - 2),
                    QPoint(check.right() - 2, check.top() + 2)}));
  }
  const QRect image = ImageRect(cell, indent, m_ctrl.HasCheckBoxes());
  const CItemInfo& info = item->GetData();
  if (UsesFileIcon(info))
    m_ctrl.FileIcon(FileIconName(info)).paint(painter, image);
  else
    painter->drawPixmap(image.topLeft(), m_ctrl.Image(m_ctrl.GetIcon(*item)));
  PaintText(*painter, option, QRect(QPoint(image.right() + 1, cell.top()), cell.bottomRight()), info.text);
  painter->restore();
}
