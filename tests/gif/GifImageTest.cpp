#include "GifFixtures.h"
#include "components/GIFImage.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <QTimer>

using namespace giftest;

namespace {

constexpr QRgb Red = 0xFFFF0000, Blue = 0xFF0000FF, Green = 0xFF00FF00, White = 0xFFFFFFFF, Black = 0xFF000000;
const std::vector<uint32_t> Colors = {0xFF0000, 0x0000FF, 0x00FF00, 0xFFFFFF};

std::vector<uint8_t> Solid(int W, int H, uint8_t I) { return std::vector<uint8_t>(size_t(W) * H, I); }

// Three full frames: red, blue, green, each with the given delay.
std::string ThreeFrames(int Loops, int Delay = 10) {
  TGifBuilder B;
  B.Header(8, 8, 2, Colors);
  if (Loops >= 0)
    B.Netscape(Loops);
  for (uint8_t I = 0; I < 3; ++I)
    B.Gce(1, Delay).Image(0, 0, 8, 8, Solid(8, 8, I));
  return B.Trailer().S;
}

class GifImage : public ::testing::Test {
protected:
  kvtest::TempDir Dir;
  int Files = 0;

  std::string Save(const std::string &Bytes) {
    const std::string Name = Dir / ("p" + std::to_string(++Files) + ".gif");
    kvtest::WriteFile(Name, Bytes);
    return Name;
  }
  static QTimer *Timer(TPellGifImage &G) { return G.findChild<QTimer *>(); }
  static QRgb Pixel(QWidget &W, int X, int Y) { return W.grab().toImage().pixel(X, Y); }
};

}  // namespace

TEST_F(GifImage, CreatedEmpty) {
  TPellGifImage G;
  EXPECT_EQ(G.width(), 105);
  EXPECT_EQ(G.height(), 105);
  EXPECT_EQ(G.Speed(), 100);
  EXPECT_TRUE(G.Visible());
  EXPECT_EQ(G.CurrentFrame(), 0);
  EXPECT_FALSE(Timer(G)->isActive());
}

TEST_F(GifImage, LoadErrors) {
  TPellGifImage G;
  const std::string Good = Save(ThreeFrames(0));
  ASSERT_TRUE(G.LoadFromFile(Good));
  EXPECT_EQ(G.LastError(), 0);
  EXPECT_EQ(G.CurrentFrame(), 1);
  // The banners load "Ad1.sys" where the file is "ad1.sys".
  kvtest::WriteFile(Dir / "ad1.sys", ThreeFrames(1));
  EXPECT_TRUE(G.LoadFromFile(Dir / "Ad1.sys"));
  ASSERT_TRUE(G.LoadFromFile(Good));

  // A missing file keeps the old picture.
  EXPECT_FALSE(G.LoadFromFile(Dir / "missing.gif"));
  EXPECT_EQ(G.LastError(), 6);
  EXPECT_EQ(G.FrameCount(), 3);
  EXPECT_EQ(G.FileName(), Good);

  const struct {
    const char *Name;
    std::string Bytes;
    uint8_t Error;
  } Rows[] = {
      {"not_gif", "PNG and more bytes than a header", 2},
      {"empty_file", "", 1},
      {"too_wide", TGifBuilder().Header(9000, 1).Trailer().S, 2},
  };
  for (const auto &R : Rows) {
    SCOPED_TRACE(R.Name);
    ASSERT_TRUE(G.LoadFromFile(Good));
    const std::string Bad = Save(R.Bytes);
    bool Result = true;
    EXPECT_NO_THROW(Result = G.LoadFromFile(Bad));
    EXPECT_FALSE(Result);
    EXPECT_EQ(G.LastError(), R.Error);
    EXPECT_EQ(G.FrameCount(), 0);
    EXPECT_EQ(G.FileName(), Bad);
    EXPECT_TRUE(G.Stream().empty());
  }
}

TEST_F(GifImage, SingleFrameNeverStartsTheTimer) {
  TPellGifImage G;
  G.SetAnimate(true);
  ASSERT_TRUE(G.LoadFromFile(Save(TGifBuilder().Header(2, 2).Image(0, 0, 2, 2, Solid(2, 2, 1)).Trailer().S)));
  EXPECT_FALSE(Timer(G)->isActive());
  G.grab();
  EXPECT_FALSE(Timer(G)->isActive());
}

TEST_F(GifImage, LoopsAndPasses) {
  const struct {
    const char *Name;
    int FileLoops;
    bool Loop;
    int Ticks;  // ticks until the play stops, 0 = endless
  } Rows[] = {
      {"no_loop_block_plays_once", -1, false, 3},
      {"loop_count_2", 2, false, 6},
      {"loop_count_0_endless", 0, false, 0},
      {"loop_property_endless", 1, true, 0},
  };
  for (const auto &R : Rows) {
    SCOPED_TRACE(R.Name);
    TPellGifImage G;
    ASSERT_TRUE(G.LoadFromFile(Save(ThreeFrames(R.FileLoops))));
    G.SetLoop(R.Loop);
    G.SetAnimate(true);
    ASSERT_TRUE(Timer(G)->isActive());
    const int Max = R.Ticks ? R.Ticks : 40;
    for (int T = 1; T <= Max; ++T) {
      G.TimerTick();
      if (T < Max || !R.Ticks) {
        ASSERT_TRUE(Timer(G)->isActive()) << T;
        EXPECT_EQ(G.CurrentFrame(), T % 3 + 1) << T;
      }
    }
    if (R.Ticks) {
      EXPECT_FALSE(Timer(G)->isActive());
      EXPECT_EQ(G.CurrentFrame(), 4);
      EXPECT_EQ(Pixel(G, 1, 1), Green);  // the last frame stays
      EXPECT_FALSE(Timer(G)->isActive());  // a paint does not restart it
    }
  }
}

TEST_F(GifImage, LoopAfterTheLastPassRestartsFromFrameOne) {
  TPellGifImage G;
  ASSERT_TRUE(G.LoadFromFile(Save(ThreeFrames(2))));
  G.SetAnimate(true);
  for (int T = 0; T < 6; ++T)
    G.TimerTick();
  ASSERT_FALSE(Timer(G)->isActive());
  G.SetLoop(true);
  EXPECT_EQ(G.CurrentFrame(), 1);
  EXPECT_TRUE(Timer(G)->isActive());
  for (int T = 0; T < 10; ++T)
    G.TimerTick();
  EXPECT_TRUE(Timer(G)->isActive());
}

TEST_F(GifImage, SpeedAndDelays) {
  const struct {
    const char *Name;
    int Delay;  // hundredths
    int Speed;
    int StoredSpeed;
    int Interval;
  } Rows[] = {
      {"normal", 10, 100, 100, 100},
      {"double_speed", 10, 200, 200, 50},
      {"speed_zero_is_one", 10, 0, 1, 10000},
      {"negative_speed_is_one", 1, -5, 1, 1000},
      {"delay_zero_is_1ms", 0, 100, 100, 1},
      {"fast_never_below_1ms", 1, 5000, 5000, 1},
  };
  for (const auto &R : Rows) {
    SCOPED_TRACE(R.Name);
    TPellGifImage G;
    ASSERT_TRUE(G.LoadFromFile(Save(ThreeFrames(0, R.Delay))));
    EXPECT_EQ(Timer(G)->interval(), 1);  // playing starts at once
    G.SetAnimate(true);
    G.SetSpeed(R.Speed);
    EXPECT_EQ(G.Speed(), R.StoredSpeed);
    EXPECT_EQ(Timer(G)->interval(), 1);  // the new speed applies at the next tick
    G.TimerTick();
    EXPECT_EQ(Timer(G)->interval(), R.Interval);
  }
}

TEST_F(GifImage, FrameStepping) {
  TPellGifImage G;
  ASSERT_TRUE(G.LoadFromFile(Save(ThreeFrames(0))));
  int Changing = 0, Change = 0;
  G.OnChanging = [&](TPellGifImage *S) {
    EXPECT_EQ(S, &G);
    EXPECT_EQ(Changing, Change);
    ++Changing;
  };
  G.OnChange = [&](TPellGifImage *) { ++Change; };
  EXPECT_EQ(Pixel(G, 0, 0), Red);
  G.SetCurrentFrame(2);
  EXPECT_EQ(G.CurrentFrame(), 2);
  EXPECT_EQ(Pixel(G, 0, 0), Blue);
  EXPECT_EQ(Changing, 1);
  EXPECT_EQ(Change, 1);
  for (int Bad : {0, 4, -1}) {
    G.SetCurrentFrame(Bad);
    EXPECT_EQ(G.LastError(), 4) << Bad;
    EXPECT_EQ(G.CurrentFrame(), 2);
  }
  EXPECT_EQ(Change, 1);
  G.SetCurrentFrame(3);
  EXPECT_EQ(Pixel(G, 7, 7), Green);
  G.DisposeFrame(9);
  EXPECT_EQ(G.LastError(), 4);
}

TEST_F(GifImage, StoppingShowsFrameOne) {
  // Two ticks: frame 2 on show and CurrentFrame 3. Three: frame 3 on show and
  // CurrentFrame already wrapped round to 1.
  const struct {
    int Ticks;
    QRgb Shown;
    int Current;
  } Rows[] = {{2, Blue, 3}, {3, Green, 1}};
  for (const auto &R : Rows) {
    SCOPED_TRACE(R.Ticks);
    TPellGifImage G;
    ASSERT_TRUE(G.LoadFromFile(Save(ThreeFrames(0))));
    G.SetAnimate(true);
    for (int T = 0; T < R.Ticks; ++T)
      G.TimerTick();
    ASSERT_EQ(Pixel(G, 0, 0), R.Shown);
    ASSERT_EQ(G.CurrentFrame(), R.Current);
    G.SetAnimate(false);
    EXPECT_EQ(G.CurrentFrame(), 1);
    EXPECT_EQ(Pixel(G, 0, 0), Red);
    EXPECT_FALSE(Timer(G)->isActive());
  }
}

TEST_F(GifImage, Disposal) {
  // Frame 1 red over 8 x 8, frame 2 blue 4 x 4 at (2, 2) with the disposal
  // under test, frame 3 one white pixel at (0, 0).
  const struct {
    const char *Name;
    int Disposal;
    bool Transparency;  // frame 1 is transparent, so the picture is drawn through its mask
    QRgb Under;  // what (3, 3) shows with frame 3
  } Rows[] = {
      {"none", 0, false, Blue},
      {"keep", 1, false, Blue},
      {"background_without_mask_is_black", 2, false, Black},
      {"background_with_mask_shows_parent", 2, true, 0xFF123456},
      {"previous", 3, false, Red},
      {"previous_with_mask", 3, true, Red},
  };
  for (const auto &R : Rows) {
    SCOPED_TRACE(R.Name);
    TGifBuilder B;
    B.Header(8, 8, 2, Colors).Gce(0, 1, R.Transparency, 2).Image(0, 0, 8, 8, Solid(8, 8, 0));
    B.Gce(R.Disposal, 1).Image(2, 2, 4, 4, Solid(4, 4, 1));
    B.Gce(0, 1).Image(0, 0, 1, 1, {3});
    QWidget Parent;
    Parent.resize(8, 8);
    Parent.setAutoFillBackground(true);
    QPalette Pal;
    Pal.setColor(QPalette::Window, QColor(0x12, 0x34, 0x56));
    Parent.setPalette(Pal);
    TPellGifImage G(&Parent);
    G.setGeometry(0, 0, 8, 8);
    ASSERT_TRUE(G.LoadFromFile(Save(B.Trailer().S)));
    G.SetCurrentFrame(2);
    EXPECT_EQ(Pixel(Parent, 3, 3), Blue);
    G.SetCurrentFrame(3);
    EXPECT_EQ(Pixel(Parent, 3, 3), R.Under);
    EXPECT_EQ(Pixel(Parent, 0, 0), White);
    EXPECT_EQ(Pixel(Parent, 7, 7), Red);
  }
}

TEST_F(GifImage, ParentShowsThroughAroundAndInsideTheCentredPicture) {
  // A 10 x 10 picture, transparent where the index is 1 (every other column).
  std::vector<uint8_t> Px(100);
  for (int I = 0; I < 100; ++I)
    Px[size_t(I)] = uint8_t(I % 2);
  QWidget Parent;
  Parent.resize(40, 40);
  Parent.setAutoFillBackground(true);
  QPalette Pal;
  Pal.setColor(QPalette::Window, Qt::yellow);
  Parent.setPalette(Pal);
  TPellGifImage G(&Parent);
  G.setGeometry(0, 0, 40, 40);
  G.SetCenter(true);
  ASSERT_TRUE(G.LoadFromFile(Save(TGifBuilder().Header(10, 10, 2, Colors).Gce(0, 0, true, 1).Image(0, 0, 10, 10, Px).Trailer().S)));
  EXPECT_FALSE(G.testAttribute(Qt::WA_OpaquePaintEvent));
  const QImage Shot = Parent.grab().toImage();
  const QRgb Yellow = 0xFFFFFF00;
  EXPECT_EQ(Shot.pixel(2, 2), Yellow);
  EXPECT_EQ(Shot.pixel(14, 20), Yellow);
  EXPECT_EQ(Shot.pixel(15, 20), Red);  // column 0 of the picture
  EXPECT_EQ(Shot.pixel(16, 20), Yellow);  // column 1: transparent
  EXPECT_EQ(Shot.pixel(24, 24), Yellow);
  EXPECT_EQ(Shot.pixel(23, 24), Red);
  EXPECT_EQ(Shot.pixel(25, 20), Yellow);

  // With the control's own flag off nothing is drawn.
  G.SetVisible(false);
  EXPECT_EQ(Parent.grab().toImage().pixel(15, 20), Yellow);
}

TEST_F(GifImage, OpaquePictureCoveringTheControl) {
  TPellGifImage G;
  G.resize(8, 8);
  ASSERT_TRUE(G.LoadFromFile(Save(ThreeFrames(0))));
  G.grab();
  EXPECT_TRUE(G.testAttribute(Qt::WA_OpaquePaintEvent));
  G.resize(20, 8);
  G.grab();
  EXPECT_FALSE(G.testAttribute(Qt::WA_OpaquePaintEvent));
  G.SetTile(true);
  const QImage Shot = G.grab().toImage();
  EXPECT_TRUE(G.testAttribute(Qt::WA_OpaquePaintEvent));
  EXPECT_EQ(Shot.pixel(19, 7), Red);
}

TEST_F(GifImage, AutoSizeAndStretch) {
  TPellGifImage G;
  G.SetAutoSize(true);
  ASSERT_TRUE(G.LoadFromFile(Save(TGifBuilder().Header(4, 3, 2, Colors).Image(0, 0, 6, 5, Solid(6, 5, 1)).Trailer().S)));
  EXPECT_EQ(G.size(), QSize(6, 5));
  G.SetAutoSize(false);
  G.resize(30, 30);
  G.SetStretch(true);
  EXPECT_EQ(Pixel(G, 29, 29), Blue);
}

TEST_F(GifImage, EncodeLeavesTheBitmapsAndFillsTheStream) {
  QImage Bitmap(5, 4, QImage::Format_ARGB32);
  Bitmap.fill(QColor(10, 20, 30));
  Bitmap.setPixel(1, 1, qRgba(200, 100, 50, 128));
  const QImage Before = Bitmap;
  TGifFrameList L;
  L.Frames.push_back({Bitmap, 0, 0, 50, false, true, QColor(10, 20, 30), 2, "hello"});
  L.Frames.push_back({Bitmap, 2, 2, 70, true, false, QColor(), 0, ""});
  TPellGifImage G;
  ASSERT_TRUE(G.Encode(L));
  EXPECT_EQ(G.LastError(), 0);
  EXPECT_EQ(Bitmap.format(), QImage::Format_ARGB32);
  EXPECT_EQ(Bitmap, Before);
  ASSERT_EQ(G.Stream().substr(0, 6), "GIF89a");
  ASSERT_TRUE(G.Decode());
  ASSERT_EQ(G.FrameCount(), 2);
  EXPECT_EQ(G.Frames(1)->Comment, "hello");
  EXPECT_TRUE(G.Frames(1)->Transparent);
  EXPECT_EQ(G.Frames(1)->Image.pixel(1, 1), qRgb(200, 100, 50));
  EXPECT_EQ(G.Frames(2)->Delay, 70);
  EXPECT_EQ(G.PictureSize(), QSize(7, 6));

  TGifFrameList Null;
  Null.Frames.push_back({QImage(), 0, 0, 0, false, false, QColor(), 0, ""});
  EXPECT_FALSE(G.Encode(Null));
  EXPECT_EQ(G.LastError(), 5);
  EXPECT_FALSE(G.Encode(TGifFrameList{}));
  EXPECT_EQ(G.LastError(), 1);
}

TEST_F(GifImage, AHugeScreenCostsOnlyWhatItsFramesHold) {
  // An 8192 x 8192 logical screen with one 1 x 1 frame: the picture keeps its
  // size for placing, but its bitmaps cost what the frame holds, on every paint.
  const QRgb Yellow = 0xFFFFFF00;
  const struct {
    const char *Name;
    std::string Bytes;
    bool Center, Tile;
    QPoint Dot;  // where the frame's pixel lands in the control
    QRgb AtDot, Elsewhere;
  } Rows[] = {
      // 37 bytes: no colour table, the only pixel is the transparent index.
      {"transparent_dot", TGifBuilder().Header(8192, 8192, 0).Gce(0, 0, true, 0).Image(0, 0, 1, 1, {0}).Trailer().S,
       false, false, {0, 0}, Yellow, Yellow},
      {"opaque_dot_on_black", TGifBuilder().Header(8192, 8192, 1, {0xFF0000}).Image(0, 0, 1, 1, {0}).Trailer().S,
       false, false, {0, 0}, Red, Black},
      // Centred: control x shows picture x + (8192 - 105) / 2.
      {"centred_opaque_dot", TGifBuilder().Header(8192, 8192, 1, {0xFF0000}).Image(4093, 4093, 1, 1, {0}).Trailer().S,
       true, false, {50, 50}, Red, Black},
      {"tiled_dot_in_a_transparent_picture",
       TGifBuilder().Header(8192, 8192, 1, {0xFF0000}).Gce(0, 0, true, 1).Image(30, 20, 1, 1, {0}).Trailer().S,
       false, true, {30, 20}, Red, Yellow},
  };
  for (const auto &R : Rows) {
    SCOPED_TRACE(R.Name);
    QWidget Parent;
    Parent.resize(105, 105);
    Parent.setAutoFillBackground(true);
    QPalette Pal;
    Pal.setColor(QPalette::Window, Qt::yellow);
    Parent.setPalette(Pal);
    TPellGifImage G(&Parent);
    G.setGeometry(0, 0, 105, 105);
    G.SetCenter(R.Center);
    G.SetTile(R.Tile);
    ASSERT_TRUE(G.LoadFromFile(Save(R.Bytes)));
    EXPECT_EQ(G.PictureSize(), QSize(8192, 8192));
    for (int Paint = 0; Paint < 3; ++Paint) {
      const QImage Shot = Parent.grab().toImage();
      EXPECT_EQ(Shot.pixel(R.Dot), R.AtDot);
      EXPECT_EQ(Shot.pixel(R.Dot + QPoint(1, 1)), R.Elsewhere);
      EXPECT_EQ(Shot.pixel(104, 104), R.Elsewhere);
      EXPECT_LE(G.HeldBytes(), 64u) << Paint;
    }
  }
}

TEST_F(GifImage, WhereNoFrameDrawsThePictureIsBlackOrTransparent) {
  // A 20 x 20 screen with one red 10 x 10 frame at (10, 10), in a 40 x 40
  // control on a yellow parent. Outside the frames the picture is black when
  // the first frame is opaque, and shows the parent when it is transparent.
  const QRgb Yellow = 0xFFFFFF00;
  enum TMode { Plain, Centred, Tiled, Stretched };
  const struct {
    const char *Name;
    TMode Mode;
    bool FirstTransparent, LaterTransparent;
    std::vector<std::pair<QPoint, QRgb>> Expect;
  } Rows[] = {
      {"plain_opaque", Plain, false, false, {{{5, 5}, Black}, {{15, 15}, Red}, {{25, 25}, Yellow}}},
      {"plain_opaque_with_a_transparent_later_frame", Plain, false, true,
       {{{5, 5}, Black}, {{15, 15}, Red}, {{25, 25}, Yellow}}},
      {"plain_transparent", Plain, true, false, {{{5, 5}, Yellow}, {{15, 15}, Red}, {{25, 25}, Yellow}}},
      {"centred_opaque", Centred, false, false,
       {{{5, 5}, Yellow}, {{15, 15}, Black}, {{25, 25}, Red}, {{35, 35}, Yellow}}},
      {"tiled_opaque", Tiled, false, false, {{{5, 5}, Black}, {{15, 15}, Red}, {{25, 25}, Black}, {{35, 35}, Red}}},
      {"tiled_transparent", Tiled, true, false,
       {{{5, 5}, Yellow}, {{15, 15}, Red}, {{25, 25}, Yellow}, {{35, 35}, Red}}},
      {"stretched_opaque", Stretched, false, false,
       {{{5, 5}, Black}, {{18, 18}, Black}, {{22, 22}, Red}, {{39, 39}, Red}}},
      {"stretched_opaque_with_a_transparent_later_frame", Stretched, false, true,
       {{{5, 5}, Black}, {{18, 18}, Black}, {{22, 22}, Red}, {{39, 39}, Red}}},
      {"stretched_transparent", Stretched, true, false, {{{5, 5}, Yellow}, {{18, 18}, Yellow}, {{22, 22}, Red}}},
  };
  for (const auto &R : Rows) {
    SCOPED_TRACE(R.Name);
    TGifBuilder B;
    B.Header(20, 20, 2, Colors).Gce(0, 1, R.FirstTransparent, 3).Image(10, 10, 10, 10, Solid(10, 10, 0));
    if (R.LaterTransparent)
      B.Gce(0, 1, true, 3).Image(0, 0, 1, 1, {3});
    QWidget Parent;
    Parent.resize(40, 40);
    Parent.setAutoFillBackground(true);
    QPalette Pal;
    Pal.setColor(QPalette::Window, Qt::yellow);
    Parent.setPalette(Pal);
    TPellGifImage G(&Parent);
    G.setGeometry(0, 0, 40, 40);
    G.SetCenter(R.Mode == Centred);
    G.SetTile(R.Mode == Tiled);
    G.SetStretch(R.Mode == Stretched);
    ASSERT_TRUE(G.LoadFromFile(Save(B.Trailer().S)));
    const QImage Shot = Parent.grab().toImage();
    for (const auto &[At, Colour] : R.Expect)
      EXPECT_EQ(Shot.pixel(At), Colour) << At.x() << "," << At.y();
  }
}
