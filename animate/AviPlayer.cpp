#include "animate/AviPlayer.h"

#include <QPainter>
#include <QTimer>

#include <algorithm>

TAnimate::TAnimate(QWidget *Parent) : QWidget(Parent), FTimer(new QTimer(this)) {
  connect(FTimer, &QTimer::timeout, this, &TAnimate::NextFrame);
}

TAnimate::~TAnimate() = default;

void TAnimate::SetFileName(const std::string &Value) {
  FFileName = Value;
  if (FClip.LoadFromFile(Value))
    ShowFrame(1);
  else
    ShowFrame(0);
  UpdateTimer();
}

void TAnimate::SetStopFrame(int Value) {
  FStopFrame = std::max(Value, 0);
  if (FCurrentFrame > LastFrame())
    ShowFrame(FClip.Valid() ? 1 : 0);
}

void TAnimate::SetActive(bool Value) {
  if (Value == FActive)
    return;
  FActive = Value;
  if (FActive && FClip.Valid())
    ShowFrame(1);
  UpdateTimer();
}

bool TAnimate::Playing() const { return FActive && FClip.Valid(); }

int TAnimate::Interval() const {
  if (!FClip.Valid())
    return 0;
  // Faster than 100 frames a second would only keep the program busy; the
  // upper bound keeps a clip's wildest claim within the timer's range.
  const int64_t Ms = (FClip.FrameTime() + 500) / 1000;
  return int(std::clamp<int64_t>(Ms, 10, 60000));
}

int TAnimate::LastFrame() const {
  const int Count = FClip.FrameCount();
  return FStopFrame > 0 && FStopFrame < Count ? FStopFrame : Count;
}

void TAnimate::NextFrame() {
  if (!FClip.Valid())
    return;
  ShowFrame(FCurrentFrame >= LastFrame() ? 1 : FCurrentFrame + 1);
}

void TAnimate::ShowFrame(int N) {
  FCurrentFrame = N;
  FPicture = N > 0 ? FClip.Frame(N) : QImage();
  update();
}

void TAnimate::UpdateTimer() {
  if (Playing()) {
    FTimer->setInterval(Interval());
    if (!FTimer->isActive())
      FTimer->start();
  } else {
    FTimer->stop();
  }
}

void TAnimate::paintEvent(QPaintEvent *) {
  if (FPicture.isNull())
    return;
  QPainter P(this);
  P.drawImage(0, 0, FPicture);
}
