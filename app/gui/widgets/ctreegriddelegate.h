// Draws the rows of a CTreeGridCtrl: in the first column the tree lines,
// the expand box, the image and the text; in the others the sub-item texts,
// each cut with "..." to its column, a percentage over its bar.
#pragma once

#include <QStyledItemDelegate>

class CTreeGridCtrl;
class CTreeItem;

class CTreeGridDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  explicit CTreeGridDelegate(CTreeGridCtrl& ctrl);

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

  // Where the parts of a first-column cell lie, for drawing and hit tests.
  static int LevelLineX(const QRect& cell, int indent);
  static QRect ExpandBox(const QRect& cell, int indent);
  static QRect CheckBox(const QRect& cell, int indent);
  static QRect ImageRect(const QRect& cell, int indent, bool checkboxes);

 private:
  void PaintBackground(QPainter& painter, const QStyleOptionViewItem& option, const CTreeItem& item) const;
  void PaintTree(QPainter& painter, const QRect& cell, const CTreeItem& item) const;
  void PaintBar(QPainter& painter, const QStyleOptionViewItem& option, const QString& percent) const;
  void PaintText(QPainter& painter, const QStyleOptionViewItem& option, const QRect& area, const QString& text) const;

  CTreeGridCtrl& m_ctrl;
};
