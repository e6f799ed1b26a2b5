#include "treegridimages.h"

#include <QImage>
#include <QPainter>

namespace {

const QColor kOutline(0x50, 0x50, 0x50);
const QColor kFolder(0xF0, 0xC8, 0x50);
const QColor kFolderDark(0xC8, 0x96, 0x28);
const QColor kPaper(0xFF, 0xFF, 0xFF);
const QColor kGrey(0x9A, 0x9A, 0x9A);
const QColor kGreen(0x2E, 0xA0, 0x3C);
const QColor kBlue(0x2F, 0x6C, 0xD0);
const QColor kRed(0xD0, 0x32, 0x2A);
const QColor kAmber(0xE0, 0x8A, 0x00);

void Folder(QPainter& p, bool open) {
  p.setPen(kOutline);
  p.setBrush(kFolderDark);
  p.drawRect(1, 3, 6, 2);
  p.drawRect(1, 4, 13, 10);
  p.setBrush(kFolder);
  if (open) {
    p.drawPolygon(QPolygon({QPoint(1, 14), QPoint(4, 7), QPoint(15, 7), QPoint(12, 14)}));
  } else {
    p.drawRect(1, 6, 13, 8);
  }
}

void Document(QPainter& p) {
  p.setPen(kOutline);
  p.setBrush(kPaper);
  p.drawPolygon(QPolygon({QPoint(3, 1), QPoint(10, 1), QPoint(13, 4), QPoint(13, 14), QPoint(3, 14)}));
  p.drawPolyline(QPolygon({QPoint(10, 1), QPoint(10, 4), QPoint(13, 4)}));
  p.setPen(kGrey);
  for (int y = 6; y <= 12; y += 2) p.drawLine(5, y, 11, y);
}

void Monitor(QPainter& p, const QColor& screen) {
  p.setPen(kOutline);
  p.setBrush(QColor(0xD8, 0xD8, 0xD8));
  p.drawRect(1, 2, 13, 9);
  p.setBrush(screen);
  p.drawRect(3, 4, 9, 5);
  p.setBrush(QColor(0xD8, 0xD8, 0xD8));
  p.drawRect(5, 12, 5, 2);
}

// A downward arrow: one branch fetching its range.
void Arrow(QPainter& p, const QColor& colour, int left, int width) {
  const int middle = left + width / 2;
  p.setPen(colour.darker(140));
  p.setBrush(colour);
  p.drawPolygon(QPolygon({QPoint(middle - 2, 1), QPoint(middle + 2, 1), QPoint(middle + 2, 8),
                          QPoint(left + width - 1, 8), QPoint(middle, 14), QPoint(left, 8), QPoint(middle - 2, 8)}));
}

void Badge(QPainter& p, const QColor& colour) {
  p.setPen(colour.darker(140));
  p.setBrush(colour);
  p.drawEllipse(9, 9, 6, 6);
}

// Two bars: paused by the user, resumable.
void Pause(QPainter& p) {
  p.setPen(Qt::NoPen);
  p.setBrush(kAmber);
  p.drawRect(9, 8, 2, 7);
  p.drawRect(13, 8, 2, 7);
}

// A cross: ended for good, the row's status says why.
void Cross(QPainter& p) {
  p.setPen(QPen(kRed, 2));
  p.drawLine(9, 9, 14, 14);
  p.drawLine(14, 9, 9, 14);
}

void Paint(int index, QPainter& p) {
  switch (index) {
    case kFolderOpen:
      Folder(p, true);
      break;
    case kFolderClosed:
      Folder(p, false);
      break;
    case kLeaf:
      Document(p);
      break;
    case kSiteOffline:
      Monitor(p, kGrey);
      break;
    case kSiteOnline:
      Monitor(p, kGreen);
      break;
    case kBranchIdle:
      Arrow(p, kGrey, 3, 10);
      break;
    case kTaskStopped:
      Document(p);
      Pause(p);
      break;
    case kTaskFailed:
      Document(p);
      Cross(p);
      break;
    case kTaskNew:
      Document(p);
      Badge(p, kGrey);
      break;
    case kSiteRefused:
      Monitor(p, kGrey);
      Cross(p);
      break;
    case kBranchConnected:
      Arrow(p, kGreen, 3, 10);
      break;
    case kTaskRunning:
      Document(p);
      Arrow(p, kBlue, 7, 8);
      break;
    case kBranchStopped:
      Arrow(p, kGrey, 1, 10);
      Badge(p, kRed);
      break;
    case kTaskDone:
      Document(p);
      p.setPen(QPen(kGreen, 2));
      p.drawPolyline(QPolygon({QPoint(5, 9), QPoint(8, 12), QPoint(14, 5)}));
      break;
    default:
      break;
  }
}

}  // namespace

CTreeGridImages::CTreeGridImages() {
  for (int index = 0; index < kTreeGridImageCount; ++index) {
    QImage image(kSize, kSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    Paint(index, painter);
    painter.end();
    m_images[index] = QPixmap::fromImage(image);
  }
}

QPixmap CTreeGridImages::Get(int index) const {
  if (index < 0 || index >= kTreeGridImageCount) return {};
  return m_images[index];
}
