// The animation area of the "Please wait" page: a clip of frames painted by our own code, shown
// on a transparent background and played in an endless loop while a synchronization runs.
#pragma once

#include <QBasicTimer>
#include <QImage>
#include <QString>
#include <QVector>
#include <QWidget>

namespace vantrel {

class TSyncAnimation : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kFrameCount = 20;
  static constexpr int kFrameWidth = 208;
  static constexpr int kFrameHeight = 40;
  static constexpr int kFramesPerSecond = 10;

  explicit TSyncAnimation(QWidget* parent = nullptr);

  // Loads the clip of that name; "SYNC" is the only one. On success the area takes the frame
  // size, shows the first frame and returns true; an unknown name returns false and changes
  // nothing.
  bool Open(const QString& clipName);
  // Plays the loaded clip in an endless loop from the frame shown; no effect without a clip.
  void Play();
  // Stops on the frame shown.
  void Stop();
  bool Active() const { return timer_.isActive(); }
  int CurrentFrame() const { return frame_; }
  int FrameCount() const { return static_cast<int>(frames_.size()); }

  // Paints frame `index` (0 .. kFrameCount - 1) of "SYNC": two folders and a sheet of paper
  // travelling from the left one to the right one, on a fully transparent background.
  static QImage RenderSyncFrame(int index);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  QVector<QImage> frames_;
  QBasicTimer timer_;
  int frame_ = 0;
};

}  // namespace vantrel
