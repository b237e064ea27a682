#pragma once
// The animated picture control: loads a GIF file, composes its frames in an
// off-screen image with a transparency mask and plays them with their delays.
// It paints no background of its own, so the parent shows through wherever
// the picture is transparent or does not reach.
#include "components/GIFCodec.h"

#include <QColor>
#include <QImage>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QTimer;
class TPellGifImage;

// One decoded image with its bitmaps.
class TFrame {
public:
  explicit TFrame(TPellGifImage *AOwner) : Owner(AOwner) {}

  int Left = 0, Top = 0, Width = 0, Height = 0;
  TPellGifImage *Owner;
  int Bits = 0;  // depth of the local table, 0 for the global one
  int Delay = 1;  // milliseconds
  int Disposal = 0;
  bool HasLocalTable = false, Interlaced = false, Transparent = false;
  uint8_t TransparentIndex = 0;
  std::array<uint8_t, 3> TransparentColor{};
  std::string Comment;
  kv::gif::TPalette Palette{};
  QImage Image;  // RGB32, black at transparent pixels
  QImage Mask;  // transparent frames: Grayscale8, white (255) where transparent
  QImage SavedImage;  // disposal 3: what lay under the frame, with its transparency

  void BuildBitmaps(const kv::gif::TDecodedFrame &F);
};

// What Encode writes: one description a frame.
struct TGifFrameInfo {
  QImage Bitmap;  // its size is the frame's size
  int Left = 0, Top = 0;
  int Delay = 0;  // milliseconds
  bool Interlaced = false, Transparent = false;
  QColor TransparentColor;
  int Disposal = 0;
  std::string Comment;
};

struct TGifFrameList {
  std::vector<TGifFrameInfo> Frames;  // 1 to 256
  uint16_t LoopCount = 0;
  bool OneColourTable = false;
};

class TPellGifImage : public QWidget {
  Q_OBJECT
public:
  using TNotifyEvent = std::function<void(TPellGifImage *Sender)>;

  explicit TPellGifImage(QWidget *Owner = nullptr);
  ~TPellGifImage() override;

  bool Animate() const { return FAnimate; }
  void SetAnimate(bool Value);
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool Value);
  bool Center() const { return FCenter; }
  void SetCenter(bool Value);
  int CurrentFrame() const { return FCurrentFrame; }
  void SetCurrentFrame(int Value);
  const std::string &FileName() const { return FFileName; }
  void SetFileName(const std::string &Value) { LoadFromFile(Value); }
  bool Loop() const { return FLoop; }
  void SetLoop(bool Value);
  int Speed() const { return FSpeed; }
  void SetSpeed(int Value);
  bool Stretch() const { return FStretch; }
  void SetStretch(bool Value);
  bool Tile() const { return FTile; }
  void SetTile(bool Value);
  // The control's own flag: it hides the picture, not the control. The
  // widget's visibility stays with isVisible()/setVisible().
  bool Visible() const { return FVisible; }
  void SetVisible(bool Value);

  TNotifyEvent OnChanging;
  TNotifyEvent OnChange;

  // 0 success, 1 nothing to decode or an encoding failure, 2 not a GIF
  // picture, 3 more than 256 colours, 4 frame number out of range, 5 the
  // pixels of a bitmap can't be read, 6 the file does not exist.
  uint8_t LastError() const { return FLastError; }

  bool LoadFromFile(const std::string &Name);
  void Clear();
  void ClearFrames();
  void DrawFrame();
  void DisposeFrame(int N);
  // Paints at once, without waiting for the event loop.
  void Repaint();

  // Decodes the memory stream (then emptied); Encode fills it with a file.
  virtual bool Decode();
  virtual bool Encode(const TGifFrameList &List);
  std::string &Stream() { return FStream; }

  int FrameCount() const { return int(FFrames.size()); }
  TFrame *Frames(int N) const;  // 1-based; nullptr outside 1..FrameCount
  QSize PictureSize() const { return FPicture; }
  // Bytes of the bitmaps the control keeps for its picture (the off-screen
  // image and every frame's bitmaps): what a loaded picture costs.
  size_t HeldBytes() const;

  void TimerTick();

protected:
  virtual void Changing();
  virtual void Change();
  void paintEvent(QPaintEvent *Event) override;
  void resizeEvent(QResizeEvent *Event) override;

private:
  void ClearFrames(bool KeepStream);
  void SetIntervalFrom(int N);
  void UpdateTimer();
  void UpdateOpaque();
  uint32_t Background() const;

  std::vector<std::unique_ptr<TFrame>> FFrames;
  QSize FPicture;
  QRect FBox;  // where frames draw in the picture: the part FImage holds
  kv::gif::TPalette FGlobalTable{};
  int FColorDepth = 0;
  int FLoopCount = 1;
  int FPass = 1;
  int FShown = 0;  // the frame last drawn into the off-screen image
  bool FEmpty = true, FTransparent = false, FAnimated = false, FFirstTick = true;
  bool FStretching = false, FOpaque = false;
  // The composed picture over FBox, premultiplied ARGB: alpha 0 is the mask's
  // transparent (and black in the image), alpha 255 opaque. Outside FBox the
  // picture is black, and transparent when some frame is.
  QImage FImage;
  std::string FStream;
  QTimer *FTimer;

  bool FAnimate = false, FAutoSize = false, FCenter = false, FLoop = false;
  bool FStretch = false, FTile = false, FVisible = true;
  int FCurrentFrame = 0;
  int FSpeed = 100;
  std::string FFileName;
  uint8_t FLastError = 0;
};
