#include "ui/SyncAnimation.h"

#include <QPainter>
#include <QPainterPath>
#include <QTimerEvent>
#include <cmath>

namespace vantrel {
namespace {

const QColor kFolderBack(0xC8, 0x8A, 0x1E);
const QColor kFolderFront(0xF2, 0xC1, 0x4E);
const QColor kFolderEdge(0x8A, 0x5A, 0x0C);
const QColor kTrailDone(0x00, 0x80, 0x80);
const QColor kTrailTodo(0xB8, 0xC4, 0xC4);

constexpr double kPi = 3.14159265358979323846;
constexpr int kLeftFolderX = 6;
constexpr int kRightFolderX = 150;
constexpr int kFolderWidth = 52;

void PaintFolderBack(QPainter& p, int x) {
  QPainterPath back;
  back.moveTo(x, 36);
  back.lineTo(x, 7);
  back.quadTo(x, 5, x + 2, 5);
  back.lineTo(x + 16, 5);
  back.lineTo(x + 20, 9);
  back.lineTo(x + kFolderWidth - 2, 9);
  back.quadTo(x + kFolderWidth, 9, x + kFolderWidth, 11);
  back.lineTo(x + kFolderWidth, 36);
  back.closeSubpath();
  p.setPen(QPen(kFolderEdge, 1));
  p.setBrush(kFolderBack);
  p.drawPath(back);
}

void PaintFolderFront(QPainter& p, int x) {
  QPainterPath front;
  front.moveTo(x, 36);
  front.lineTo(x + 3, 17);
  front.lineTo(x + kFolderWidth + 3, 17);
  front.lineTo(x + kFolderWidth, 36);
  front.closeSubpath();
  QLinearGradient shade(0, 17, 0, 36);
  shade.setColorAt(0, kFolderFront.lighter(110));
  shade.setColorAt(1, kFolderFront.darker(108));
  p.setPen(QPen(kFolderEdge, 1));
  p.setBrush(shade);
  p.drawPath(front);
}

void PaintSheet(QPainter& p, QPointF centre) {
  const QRectF r(centre.x() - 7, centre.y() - 9, 14, 18);
  QPainterPath sheet;
  sheet.moveTo(r.topLeft());
  sheet.lineTo(r.right() - 4, r.top());
  sheet.lineTo(r.right(), r.top() + 4);
  sheet.lineTo(r.bottomRight());
  sheet.lineTo(r.bottomLeft());
  sheet.closeSubpath();
  p.setPen(QPen(QColor(0x70, 0x70, 0x70), 1));
  p.setBrush(Qt::white);
  p.drawPath(sheet);
  p.setPen(QPen(QColor(0x5A, 0x8C, 0xC8), 1));
  for (int i = 0; i < 3; ++i) {
    const double y = r.top() + 7 + 3 * i;
    p.drawLine(QPointF(r.left() + 3, y), QPointF(r.right() - 3, y));
  }
}

}  // namespace

TSyncAnimation::TSyncAnimation(QWidget* parent) : QWidget(parent) { setAutoFillBackground(false); }

QImage TSyncAnimation::RenderSyncFrame(int index) {
  QImage frame(kFrameWidth, kFrameHeight, QImage::Format_ARGB32_Premultiplied);
  frame.fill(Qt::transparent);
  QPainter p(&frame);
  p.setRenderHint(QPainter::Antialiasing);

  const double t = (index % kFrameCount + 0.5) / kFrameCount;
  const double startX = kLeftFolderX + kFolderWidth / 2.0;
  const double endX = kRightFolderX + kFolderWidth / 2.0;
  const QPointF sheet(startX + (endX - startX) * t, 24 - 14 * std::sin(kPi * t));

  // The trail between the folders fills up as the sheet passes, ending in an arrow head.
  for (int x = kLeftFolderX + kFolderWidth + 10; x <= kRightFolderX - 14; x += 8) {
    p.setPen(Qt::NoPen);
    p.setBrush(x < sheet.x() ? kTrailDone : kTrailTodo);
    p.drawEllipse(QPointF(x, 27), 2, 2);
  }
  QPainterPath head;
  head.moveTo(kRightFolderX - 9, 22);
  head.lineTo(kRightFolderX - 3, 27);
  head.lineTo(kRightFolderX - 9, 32);
  head.closeSubpath();
  p.setBrush(sheet.x() > kRightFolderX - 9 ? kTrailDone : kTrailTodo);
  p.drawPath(head);

  PaintFolderBack(p, kLeftFolderX);
  PaintFolderBack(p, kRightFolderX);
  PaintSheet(p, sheet);
  PaintFolderFront(p, kLeftFolderX);
  PaintFolderFront(p, kRightFolderX);
  return frame;
}

bool TSyncAnimation::Open(const QString& clipName) {
  if (clipName != QLatin1String("SYNC")) return false;
  Stop();
  frames_.clear();
  for (int i = 0; i < kFrameCount; ++i) frames_.push_back(RenderSyncFrame(i));
  frame_ = 0;
  resize(kFrameWidth, kFrameHeight);
  update();
  return true;
}

void TSyncAnimation::Play() {
  if (frames_.isEmpty()) return;
  timer_.start(1000 / kFramesPerSecond, this);
}

void TSyncAnimation::Stop() { timer_.stop(); }

void TSyncAnimation::paintEvent(QPaintEvent*) {
  if (frames_.isEmpty()) return;
  QPainter p(this);
  p.drawImage(0, 0, frames_[frame_]);
}

void TSyncAnimation::timerEvent(QTimerEvent* event) {
  if (event->timerId() != timer_.timerId()) {
    QWidget::timerEvent(event);
    return;
  }
  frame_ = (frame_ + 1) % frames_.size();
  update();
}

}  // namespace vantrel
