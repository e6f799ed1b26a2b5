#include "skylarkicon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

QPixmap Paint(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 64.0, size / 64.0);
  QLinearGradient sky(0, 0, 0, 64);
  sky.setColorAt(0, QColor(0x4a, 0xa3, 0xe8));
  sky.setColorAt(1, QColor(0x1d, 0x5f, 0xa8));
  painter.setPen(Qt::NoPen);
  painter.setBrush(sky);
  painter.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
  QPainterPath wings;
  wings.moveTo(10, 26);
  wings.cubicTo(18, 16, 26, 16, 32, 24);
  wings.cubicTo(38, 16, 46, 16, 54, 26);
  wings.cubicTo(46, 22, 40, 24, 32, 32);
  wings.cubicTo(24, 24, 18, 22, 10, 26);
  painter.setBrush(Qt::white);
  painter.drawPath(wings);
  QPen arrow(QColor(0xff, 0xd3, 0x4d), 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  painter.setPen(arrow);
  painter.setBrush(Qt::NoBrush);
  painter.drawLine(QPointF(32, 34), QPointF(32, 50));
  painter.drawPolyline(QPolygonF({QPointF(22, 42), QPointF(32, 53), QPointF(42, 42)}));
  return pixmap;
}

}  // namespace

QIcon SkylarkIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128}) icon.addPixmap(Paint(size));
  return icon;
}
