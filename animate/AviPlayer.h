#pragma once
// The animation control: plays a silent AVI clip (TAviClip) in a loop from
// frame 1 to its stop frame, painting each frame unscaled at its top left
// corner. A missing or unplayable file shows nothing, and starting or stopping
// it still succeeds.
#include "animate/AviClip.h"

#include <QImage>
#include <QWidget>

#include <string>

class QTimer;

class TAnimate : public QWidget {
  Q_OBJECT
public:
  explicit TAnimate(QWidget *Parent = nullptr);
  ~TAnimate() override;

  const std::string &FileName() const { return FFileName; }
  // Opens the clip and shows its first frame; playing goes on if it was on.
  void SetFileName(const std::string &Value);
  // Frames 1 to StopFrame play in a loop; 0 (or more than the clip holds)
  // plays them all.
  int StopFrame() const { return FStopFrame; }
  void SetStopFrame(int Value);
  // Starting plays from frame 1; starting again while playing changes
  // nothing, and stopping keeps the frame shown.
  bool Active() const { return FActive; }
  void SetActive(bool Value);

  int CurrentFrame() const { return FCurrentFrame; }  // 1-based; 0 without a playable clip
  int FrameCount() const { return FClip.FrameCount(); }
  bool Playing() const;  // active with a playable clip
  const std::string &Error() const { return FClip.Error(); }  // why the clip does not play
  int Interval() const;  // milliseconds between frames
  const QImage &Picture() const { return FPicture; }  // the frame shown

  // Moves to the next frame of the loop; the timer calls it.
  void NextFrame();

protected:
  void paintEvent(QPaintEvent *Event) override;

private:
  void ShowFrame(int N);
  void UpdateTimer();
  int LastFrame() const;

  TAviClip FClip;
  std::string FFileName;
  int FStopFrame = 0;
  bool FActive = false;
  int FCurrentFrame = 0;
  QImage FPicture;
  QTimer *FTimer;
};
