#include "ui/UMainPictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace vantrel {
namespace {

const QColor kTeal(0x00, 0x80, 0x80);
const QColor kDeepTeal(0x00, 0x58, 0x60);
const QColor kAmber(0xF2, 0xC1, 0x4E);
const QColor kAmberEdge(0x8A, 0x5A, 0x0C);

// A canvas of `size` pixels on which the drawing uses a 64 × 64 (or `units`) coordinate space.
QPixmap Canvas(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

void PaintFolder(QPainter& p, QRectF r) {
  QPainterPath path;
  path.moveTo(r.left(), r.bottom());
  path.lineTo(r.left(), r.top());
  path.lineTo(r.left() + r.width() * 0.38, r.top());
  path.lineTo(r.left() + r.width() * 0.48, r.top() + r.height() * 0.16);
  path.lineTo(r.right(), r.top() + r.height() * 0.16);
  path.lineTo(r.right(), r.bottom());
  path.closeSubpath();
  p.setPen(QPen(kAmberEdge, 1.5));
  p.setBrush(kAmber);
  p.drawPath(path);
}

void PaintCurvedArrow(QPainter& p, QPointF from, QPointF to, double lift, double width,
                      const QColor& color) {
  QPainterPath arc;
  arc.moveTo(from);
  const QPointF control((from.x() + to.x()) / 2, std::min(from.y(), to.y()) - lift);
  arc.quadTo(control, to);
  p.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  p.drawPath(arc);
  // The head points along the curve's last tangent.
  const QPointF dir = to - control;
  const double len = std::hypot(dir.x(), dir.y());
  const QPointF u(dir.x() / len, dir.y() / len);
  const QPointF n(-u.y(), u.x());
  const double h = width * 2.6;
  QPainterPath head;
  head.moveTo(to + u * h);
  head.lineTo(to + n * h * 0.8);
  head.lineTo(to - n * h * 0.8);
  head.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(color);
  p.drawPath(head);
}

}  // namespace

QPixmap ProgramIconPixmap(int size) {
  QPixmap pixmap = Canvas(size);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 64.0, size / 64.0);
  QLinearGradient tile(0, 0, 0, 64);
  tile.setColorAt(0, kTeal.lighter(125));
  tile.setColorAt(1, kDeepTeal);
  p.setPen(Qt::NoPen);
  p.setBrush(tile);
  p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
  PaintFolder(p, QRectF(7, 32, 22, 20));
  PaintFolder(p, QRectF(35, 32, 22, 20));
  PaintCurvedArrow(p, QPointF(17, 28), QPointF(44, 26), 18, 3.2, Qt::white);
  return pixmap;
}

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128}) icon.addPixmap(ProgramIconPixmap(size));
  return icon;
}

QPixmap AdvertPicture() {
  QPixmap pixmap = Canvas(55);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  // A clock face with a circular arrow around it: work that runs by itself.
  QRadialGradient face(QPointF(24, 22), 30);
  face.setColorAt(0, QColor(0xE8, 0xF6, 0xF6));
  face.setColorAt(1, QColor(0xA8, 0xD8, 0xD8));
  p.setPen(QPen(kDeepTeal, 2));
  p.setBrush(face);
  p.drawEllipse(QPointF(27.5, 27.5), 19, 19);
  p.setPen(QPen(kDeepTeal, 1.2));
  for (int i = 0; i < 12; ++i) {
    p.save();
    p.translate(27.5, 27.5);
    p.rotate(i * 30);
    p.drawLine(QPointF(0, -16), QPointF(0, i % 3 == 0 ? -12.5 : -14.5));
    p.restore();
  }
  p.setPen(QPen(kDeepTeal, 2.4, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(27.5, 27.5), QPointF(27.5, 16));
  p.drawLine(QPointF(27.5, 27.5), QPointF(35, 31));
  // The arrow runs round the face, clockwise from the bottom left to the top.
  QPainterPath ring;
  ring.arcMoveTo(QRectF(3, 3, 49, 49), 200);
  ring.arcTo(QRectF(3, 3, 49, 49), 200, -235);
  p.setPen(QPen(QColor(0xE0, 0x8A, 0x00), 3.2, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  p.drawPath(ring);
  const QPointF tip = ring.currentPosition();
  QPainterPath head;
  head.moveTo(tip + QPointF(5, 3));
  head.lineTo(tip + QPointF(-3, -5.5));
  head.lineTo(tip + QPointF(-3.5, 5.5));
  head.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xE0, 0x8A, 0x00));
  p.drawPath(head);
  return pixmap;
}

QIcon EditCaptionIcon() {
  QPixmap pixmap = Canvas(16);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.translate(8, 8);
  p.rotate(45);
  p.setPen(QPen(QColor(0x60, 0x40, 0x10), 1));
  p.setBrush(QColor(0xF2, 0xC1, 0x4E));
  p.drawRect(QRectF(-2.5, -7.5, 5, 10));  // the body
  p.setBrush(QColor(0xE0, 0x70, 0x70));
  p.drawRect(QRectF(-2.5, -8.5, 5, 2));  // the eraser
  QPainterPath tip;
  tip.moveTo(-2.5, 2.5);
  tip.lineTo(2.5, 2.5);
  tip.lineTo(0, 7.5);
  tip.closeSubpath();
  p.setBrush(QColor(0xF0, 0xD8, 0xB0));
  p.drawPath(tip);
  return QIcon(pixmap);
}

QIcon RemoveProjectIcon() {
  QPixmap pixmap = Canvas(16);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(0x70, 0x70, 0x70), 1));
  p.setBrush(Qt::white);
  p.drawRect(QRectF(2.5, 1.5, 9, 12));
  p.setPen(QPen(QColor(0xC8, 0x20, 0x20), 2.2, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(7, 7), QPointF(14, 14));
  p.drawLine(QPointF(14, 7), QPointF(7, 14));
  return QIcon(pixmap);
}

}  // namespace vantrel
