#include "GIFImage.h"

#include "platform/Paths.h"

#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cstring>

using namespace kv::gif;

namespace {

constexpr QRgb Black = 0xFF000000u;

// Both work on 32-bit images.
void FillRect(QImage &Img, const QRect &R, uint32_t Value) {
  const QRect C = R.intersected(Img.rect());
  for (int Y = C.top(); Y <= C.bottom(); ++Y) {
    auto *P = reinterpret_cast<uint32_t *>(Img.scanLine(Y)) + C.left();
    std::fill(P, P + C.width(), Value);
  }
}

// Copies Src whole to (X, Y) of Dst.
void CopyInto(QImage &Dst, int X, int Y, const QImage &Src) {
  const QRect C = QRect(X, Y, Src.width(), Src.height()).intersected(Dst.rect());
  for (int Row = C.top(); Row <= C.bottom(); ++Row)
    std::memcpy(Dst.scanLine(Row) + size_t(C.left()) * 4, Src.constScanLine(Row - Y) + size_t(C.left() - X) * 4,
                size_t(C.width()) * 4);
}

}  // namespace

void TFrame::BuildBitmaps(const TDecodedFrame &F) {
  Left = F.Left;
  Top = F.Top;
  Width = F.Width;
  Height = F.Height;
  Bits = F.Bits;
  Delay = F.Delay;
  Disposal = F.Disposal;
  HasLocalTable = F.HasLocalTable;
  Interlaced = F.Interlaced;
  Transparent = F.Transparent;
  TransparentIndex = F.TransparentIndex;
  TransparentColor = F.TransparentColor;
  Comment = F.Comment;
  Palette = F.Palette;
  QRgb Colors[256];
  for (int I = 0; I < 256; ++I)
    Colors[I] = qRgb(Palette[I * 3], Palette[I * 3 + 1], Palette[I * 3 + 2]);
  Image = QImage(Width, Height, QImage::Format_RGB32);
  if (Transparent)
    Mask = QImage(Width, Height, QImage::Format_Grayscale8);
  for (int Y = 0; Y < Height; ++Y) {
    const uint8_t *Src = F.Indexes.data() + size_t(Y) * Width;
    auto *Dst = reinterpret_cast<QRgb *>(Image.scanLine(Y));
    for (int X = 0; X < Width; ++X)
      Dst[X] = Colors[Src[X]];
    if (Transparent) {
      const uint8_t *M = F.Mask.data() + size_t(Y) * Width;
      uint8_t *MDst = Mask.scanLine(Y);
      for (int X = 0; X < Width; ++X) {
        MDst[X] = M[X] ? 255 : 0;
        if (M[X])
          Dst[X] = Black;
      }
    }
  }
}

TPellGifImage::TPellGifImage(QWidget *Owner) : QWidget(Owner), FTimer(new QTimer(this)) {
  resize(105, 105);
  connect(FTimer, &QTimer::timeout, this, &TPellGifImage::TimerTick);
}

TPellGifImage::~TPellGifImage() { FTimer->stop(); }

TFrame *TPellGifImage::Frames(int N) const {
  return N >= 1 && N <= FrameCount() ? FFrames[size_t(N - 1)].get() : nullptr;
}

size_t TPellGifImage::HeldBytes() const {
  size_t N = size_t(FImage.sizeInBytes());
  for (const auto &F : FFrames)
    N += size_t(F->Image.sizeInBytes() + F->Mask.sizeInBytes() + F->SavedImage.sizeInBytes());
  return N;
}

void TPellGifImage::Changing() {
  if (OnChanging)
    OnChanging(this);
}

void TPellGifImage::Change() {
  if (OnChange)
    OnChange(this);
}

bool TPellGifImage::LoadFromFile(const std::string &Name) {
  if (!kv::FileExists(Name)) {
    FLastError = geNoFile;
    return false;
  }
  FFileName = Name;
  if (kv::FileSize(Name) > int64_t(MaxFileSize)) {
    ClearFrames();
    FLastError = geNotGif;
    update();
    return false;
  }
  std::string Data;
  if (!kv::ReadFileToString(Name, Data)) {
    FLastError = geNoFile;
    return false;
  }
  FStream = std::move(Data);
  // A failed load returns false rather than raising: a raise here would skip
  // whatever the caller does next (the main window sets up its banners).
  if (!Decode()) {
    update();
    return false;
  }
  FLastError = geOK;
  return true;
}

void TPellGifImage::ClearFrames() { ClearFrames(false); }

void TPellGifImage::ClearFrames(bool KeepStream) {
  FEmpty = true;
  FTimer->stop();
  while (!FFrames.empty())
    FFrames.pop_back();
  if (!KeepStream)
    FStream.clear();
  FCurrentFrame = 1;
  FLoopCount = 1;
  FPass = 1;
  FFirstTick = true;
  FColorDepth = 0;
  FTransparent = false;
  FShown = 0;
}

void TPellGifImage::Clear() {
  ClearFrames();
  FFileName.clear();
  FImage = QImage();
  FBox = QRect();
  FOpaque = false;
  setAttribute(Qt::WA_OpaquePaintEvent, false);
  update();
}

bool TPellGifImage::Decode() {
  FLastError = geNotGif;
  // The stream is what we are about to decode: clearing must keep it.
  ClearFrames(true);
  if (FStream.empty()) {
    FLastError = geNothing;
    return false;
  }
  TDecodedPicture Pic;
  const uint8_t R = kv::gif::Decode(reinterpret_cast<const uint8_t *>(FStream.data()), FStream.size(), Pic);
  if (R != geOK) {
    FStream.clear();
    FLastError = R;
    return false;
  }
  FGlobalTable = Pic.GlobalTable;
  FColorDepth = Pic.ColorDepth;
  FLoopCount = Pic.LoopCount;
  FTransparent = Pic.Transparent;
  for (TDecodedFrame &D : Pic.Frames) {
    auto F = std::make_unique<TFrame>(this);
    F->BuildBitmaps(D);
    FFrames.push_back(std::move(F));
    D = TDecodedFrame{};  // the decoded pixels and the bitmaps never all coexist
  }
  FPicture = QSize(Pic.Width, Pic.Height);
  FBox = QRect(Pic.BoxLeft, Pic.BoxTop, Pic.BoxWidth, Pic.BoxHeight);
  Pic = TDecodedPicture{};

  if (FAutoSize)
    resize(FPicture);
  FAnimated = FrameCount() > 1;
  FEmpty = false;
  UpdateOpaque();
  // Only where frames draw: the rest of the picture never changes, whatever
  // size the header claims.
  FImage = QImage();
  if (!FBox.isEmpty()) {
    FImage = QImage(FBox.size(), QImage::Format_ARGB32_Premultiplied);
    FImage.fill(Background());
  }
  FTimer->setInterval(1);
  Changing();
  DrawFrame();
  Change();
  FStream.clear();
  FLastError = geOK;
  update();
  UpdateTimer();
  return true;
}

bool TPellGifImage::Encode(const TGifFrameList &List) {
  FLastError = geNothing;
  FStream = "GIF89a";
  const size_t N = List.Frames.size();
  if (N == 0 || N > size_t(MaxFrames))
    return false;
  TEncodeList E;
  E.LoopCount = List.LoopCount;
  E.OneColourTable = List.OneColourTable;
  E.Frames.resize(N);
  for (size_t I = 0; I < N; ++I) {
    const TGifFrameInfo &S = List.Frames[I];
    TEncodeFrame &D = E.Frames[I];
    D.Left = S.Left;
    D.Top = S.Top;
    D.Delay = S.Delay;
    D.Interlaced = S.Interlaced;
    D.Transparent = S.Transparent;
    D.TransparentColor = S.TransparentColor.rgb() & 0xFFFFFFu;
    D.Disposal = S.Disposal;
    D.Comment = S.Comment;
    if (S.Bitmap.isNull())
      continue;  // no pixels: the encoder reports it
    // A converted copy: the caller's bitmap stays as it is.
    const QImage Img = S.Bitmap.convertToFormat(QImage::Format_RGB32);
    D.Width = Img.width();
    D.Height = Img.height();
    D.Pixels.resize(size_t(D.Width) * D.Height);
    for (int Y = 0; Y < D.Height; ++Y)
      std::memcpy(D.Pixels.data() + size_t(Y) * D.Width, Img.constScanLine(Y), size_t(D.Width) * 4);
  }
  FLastError = kv::gif::Encode(E, FStream);
  return FLastError == geOK;
}

void TPellGifImage::SetIntervalFrom(int N) {
  if (TFrame *F = Frames(N))
    FTimer->setInterval(std::max(int(int64_t(F->Delay) * 100 / FSpeed), 1));
}

void TPellGifImage::UpdateTimer() {
  // A play that has run out of passes stays stopped until Loop or Animate
  // restart it, whatever paints follow.
  const bool Run = FAnimate && FAnimated && !FEmpty && FCurrentFrame >= 1 && FCurrentFrame <= FrameCount();
  if (Run && !FTimer->isActive())
    FTimer->start();
  else if (!Run && FTimer->isActive())
    FTimer->stop();
}

void TPellGifImage::UpdateOpaque() {
  FStretching = FStretch && size() != FPicture;
  const bool Opaque = FVisible && !FEmpty && !FTransparent &&
                      (FTile || FStretching || (FPicture.width() >= width() && FPicture.height() >= height()));
  if (Opaque != FOpaque) {
    FOpaque = Opaque;
    setAttribute(Qt::WA_OpaquePaintEvent, Opaque);
    update();
  }
}

uint32_t TPellGifImage::Background() const {
  // Black, and transparent (the mask's white) when some frame is transparent.
  return FTransparent ? 0u : Black;
}

void TPellGifImage::DrawFrame() {
  TFrame *F = Frames(FCurrentFrame);
  if (!F) {
    FLastError = geFrameRange;
    return;
  }
  const QRect R = QRect(F->Left, F->Top, F->Width, F->Height).translated(-FBox.topLeft());
  if (F->Disposal == 3)
    F->SavedImage = FImage.copy(R);
  if (!F->Transparent) {
    CopyInto(FImage, R.left(), R.top(), F->Image);
  } else {
    // Only the frame's opaque pixels change the picture and its mask.
    const QRect C = R.intersected(FImage.rect());
    for (int Y = C.top(); Y <= C.bottom(); ++Y) {
      const int SY = Y - R.top();
      const uint8_t *M = F->Mask.constScanLine(SY);
      const auto *S = reinterpret_cast<const QRgb *>(F->Image.constScanLine(SY));
      auto *D = reinterpret_cast<QRgb *>(FImage.scanLine(Y));
      for (int X = C.left(); X <= C.right(); ++X) {
        const int SX = X - R.left();
        if (!M[SX])
          D[X] = S[SX];
      }
    }
  }
  FShown = FCurrentFrame;
}

void TPellGifImage::DisposeFrame(int N) {
  TFrame *F = Frames(N);
  if (!F) {
    FLastError = geFrameRange;
    return;
  }
  const QRect R = QRect(F->Left, F->Top, F->Width, F->Height).translated(-FBox.topLeft());
  if (F->Disposal == 2)
    FillRect(FImage, R, Background());
  else if (F->Disposal == 3 && !F->SavedImage.isNull())
    CopyInto(FImage, R.left(), R.top(), F->SavedImage);
}

void TPellGifImage::Repaint() { repaint(); }

void TPellGifImage::SetCurrentFrame(int Value) {
  if (Value == FCurrentFrame)
    return;
  if (FFrames.empty() || Value < 1 || Value > FrameCount()) {
    FLastError = geFrameRange;
    return;
  }
  Changing();
  DisposeFrame(FCurrentFrame);
  FCurrentFrame = Value;
  DrawFrame();
  Repaint();
  Change();
}

void TPellGifImage::SetAnimate(bool Value) {
  if (Value == FAnimate)
    return;
  FAnimate = Value;
  FPass = 1;
  if (Value && FrameCount() > 1)
    SetIntervalFrom(FCurrentFrame);
  if (Value)
    UpdateTimer();
  else
    FTimer->stop();
  // Stopping shows frame 1 again, also when the play has just wrapped round
  // and the last frame is on show with CurrentFrame already back at 1.
  if (!Value && (FCurrentFrame >= 2 || FShown >= 2)) {
    DisposeFrame(FShown >= 1 ? FShown : FCurrentFrame - 1);
    FCurrentFrame = 1;
    DrawFrame();
    update();
  }
}

void TPellGifImage::SetLoop(bool Value) {
  FLoop = Value;
  if (Value && !FFrames.empty() && FLoopCount > 0 && FLoopCount < FPass) {
    FCurrentFrame = 1;
    FPass = 1;
    if (FAnimate && FrameCount() > 1)
      SetIntervalFrom(1);
    UpdateTimer();
  }
}

void TPellGifImage::SetSpeed(int Value) {
  FSpeed = std::max(Value, 1);
  // The next tick picks up the new speed at once.
  if (FAnimate && FrameCount() > 1)
    FTimer->setInterval(1);
}

void TPellGifImage::SetAutoSize(bool Value) {
  FAutoSize = Value;
  if (Value && !FEmpty) {
    resize(FPicture);
    update();
  }
}

void TPellGifImage::SetCenter(bool Value) {
  if (Value != FCenter) {
    FCenter = Value;
    update();
  }
}

void TPellGifImage::SetStretch(bool Value) {
  if (Value != FStretch) {
    FStretch = Value;
    update();
  }
}

void TPellGifImage::SetTile(bool Value) {
  if (Value != FTile) {
    FTile = Value;
    update();
  }
}

void TPellGifImage::SetVisible(bool Value) {
  if (Value != FVisible) {
    FVisible = Value;
    update();
  }
}

void TPellGifImage::TimerTick() {
  if (FEmpty)
    return;
  try {
    Changing();
    if (FFirstTick) {
      FFirstTick = false;  // frame 1 was drawn by the load
    } else {
      DisposeFrame(FCurrentFrame == 1 ? FrameCount() : FCurrentFrame - 1);
      DrawFrame();
      Repaint();
    }
    SetIntervalFrom(FCurrentFrame);
    ++FCurrentFrame;
    if (!FLoop && FLoopCount > 0 && FCurrentFrame > FrameCount()) {
      ++FPass;
      if (FPass > FLoopCount) {
        FTimer->stop();
        Change();
        return;
      }
    }
    if (FCurrentFrame > FrameCount() || FCurrentFrame < 1)
      FCurrentFrame = 1;
    Change();
  } catch (...) {
    // A tick runs from the event loop; nothing may escape it.
  }
}

void TPellGifImage::resizeEvent(QResizeEvent *Event) {
  QWidget::resizeEvent(Event);
  UpdateOpaque();
}

void TPellGifImage::paintEvent(QPaintEvent *) {
  UpdateOpaque();
  UpdateTimer();
  if (!FVisible || FEmpty || FFrames.empty())
    return;
  // With an opaque first frame the picture is drawn without its mask: its
  // transparent pixels are black, as is the picture outside FBox. Drawn
  // straight from the off-screen image, so a paint allocates nothing.
  const bool Unmasked = !FFrames.front()->Transparent;
  const bool Covered = !FTransparent && FBox == QRect(QPoint(0, 0), FPicture);
  QPainter P(this);
  const int PW = FPicture.width(), PH = FPicture.height();
  if (PW <= 0 || PH <= 0)
    return;
  auto Place = [&](int X, int Y) {
    if (Unmasked && !Covered)
      P.fillRect(X, Y, PW, PH, QColor(Qt::black));
    if (!FImage.isNull())
      P.drawImage(X + FBox.left(), Y + FBox.top(), FImage);
  };
  if (FStretching) {
    if (Unmasked && !Covered)
      P.fillRect(rect(), QColor(Qt::black));
    if (FImage.isNull())
      return;
    if (FBox == QRect(QPoint(0, 0), FPicture)) {
      P.drawImage(rect(), FImage);
    } else {
      const double SX = double(width()) / PW, SY = double(height()) / PH;
      P.drawImage(QRectF(FBox.left() * SX, FBox.top() * SY, FBox.width() * SX, FBox.height() * SY), FImage);
    }
  } else if (FTile) {
    for (int C = 0; C <= width() / PW; ++C)
      for (int R = 0; R <= height() / PH; ++R)
        Place(C * PW, R * PH);
  } else if (FCenter) {
    Place((width() - PW) / 2, (height() - PH) / 2);
  } else {
    Place(0, 0);
  }
}
