#include "tests/animate/AviFixtures.h"
#include "animate/AviPlayer.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <QTimer>

#include <functional>

using namespace avitest;

namespace {

constexpr QRgb Ground = 0xFF336699;  // the parent's colour, where no frame is painted

class AviPlayer : public ::testing::Test {
public:  // the tables below reach the folder and Save
  kvtest::TempDir Dir;
  QWidget Parent;
  TAnimate *Ani;

  AviPlayer() {
    Parent.resize(30, 20);
    Parent.setAutoFillBackground(true);
    QPalette P = Parent.palette();
    P.setColor(QPalette::Window, QColor::fromRgb(Ground));
    Parent.setPalette(P);
    Ani = new TAnimate(&Parent);
    Ani->setGeometry(1, 1, 20, 12);
  }

  std::string Save(const std::string &Name, const std::string &Bytes) {
    kvtest::WriteFile(Dir / Name, Bytes);
    return Dir / Name;
  }
  std::string Fixture(const std::string &Name) { return kvtest::DataPath("animate", Name); }
  QTimer *Timer() { return Ani->findChild<QTimer *>(); }
  // What the parent shows inside the control.
  QImage Shown() { return Parent.grab().toImage().copy(1, 1, 20, 12).convertToFormat(QImage::Format_RGB32); }
};

TEST_F(AviPlayer, CreatedIdle) {
  EXPECT_EQ(Ani->FileName(), "");
  EXPECT_FALSE(Ani->Active());
  EXPECT_EQ(Ani->CurrentFrame(), 0);
  EXPECT_EQ(Ani->StopFrame(), 0);
  EXPECT_FALSE(Timer()->isActive());
}

// The frame is painted unscaled at the control's top left corner; the rest
// of the control shows what lies beneath it.
TEST_F(AviPlayer, PaintsTheFrameAtItsCorner) {
  Ani->SetFileName(Fixture("rgb24.avi"));
  TAviClip Clip;
  ASSERT_TRUE(Clip.LoadFromFile(Fixture("rgb24.avi")));
  for (int N : {1, 2, 1}) {
    EXPECT_EQ(Ani->CurrentFrame(), N);
    const QImage Want = Clip.Frame(N), Got = Shown();
    for (int Y = 0; Y < Got.height(); ++Y)
      for (int X = 0; X < Got.width(); ++X) {
        const QRgb Expected = X < 5 && Y < 3 ? Want.pixel(X, Y) : Ground;
        ASSERT_EQ(Got.pixel(X, Y), Expected) << "frame " << N << " at (" << X << ", " << Y << ")";
      }
    Ani->NextFrame();
  }
}

struct TLoop {
  const char *Name;
  int StopFrame;
  std::vector<int> Frames;  // after starting, then after each step
};

void PrintTo(const TLoop &L, std::ostream *Os) { *Os << L.Name; }

class AviPlayerLoop : public AviPlayer, public ::testing::WithParamInterface<TLoop> {};

TEST_P(AviPlayerLoop, PlaysFromOneToTheStopFrame) {
  TAviClip Clip;
  ASSERT_TRUE(Clip.LoadFromFile(Fixture("rle8.avi")));
  Ani->SetStopFrame(GetParam().StopFrame);
  Ani->SetFileName(Fixture("rle8.avi"));
  Ani->SetActive(true);
  for (size_t I = 0; I < GetParam().Frames.size(); ++I) {
    if (I)
      Ani->NextFrame();
    const int N = GetParam().Frames[I];
    ASSERT_EQ(Ani->CurrentFrame(), N) << "step " << I;
    EXPECT_EQ(Ani->Picture(), Clip.Frame(N)) << "step " << I;
  }
}

INSTANTIATE_TEST_SUITE_P(Stops, AviPlayerLoop,
                         ::testing::Values(TLoop{"all", 0, {1, 2, 3, 4, 1, 2, 3, 4, 1}},
                                           TLoop{"three", 3, {1, 2, 3, 1, 2, 3, 1}},
                                           TLoop{"one", 1, {1, 1, 1}},
                                           TLoop{"past_the_end", 30, {1, 2, 3, 4, 1}},
                                           TLoop{"negative", -2, {1, 2, 3, 4, 1}}),
                         [](const ::testing::TestParamInfo<TLoop> &I) { return std::string(I.param.Name); });

TEST_F(AviPlayer, StopFrameBelowTheShownFrameStartsOver) {
  Ani->SetFileName(Fixture("rle8.avi"));
  Ani->NextFrame();
  Ani->NextFrame();
  ASSERT_EQ(Ani->CurrentFrame(), 3);
  Ani->SetStopFrame(2);
  EXPECT_EQ(Ani->CurrentFrame(), 1);
  Ani->NextFrame();
  Ani->NextFrame();
  EXPECT_EQ(Ani->CurrentFrame(), 1);
}

TEST_F(AviPlayer, StartTwiceAndStopWithoutStart) {
  Ani->SetFileName(Fixture("rle8.avi"));
  Ani->SetActive(false);  // never started
  EXPECT_FALSE(Ani->Active());
  EXPECT_FALSE(Timer()->isActive());
  EXPECT_EQ(Ani->CurrentFrame(), 1);

  Ani->SetActive(true);
  EXPECT_TRUE(Ani->Active());
  EXPECT_TRUE(Ani->Playing());
  EXPECT_TRUE(Timer()->isActive());
  Ani->NextFrame();
  Ani->NextFrame();
  Ani->SetActive(true);  // again: goes on where it is
  EXPECT_EQ(Ani->CurrentFrame(), 3);
  EXPECT_TRUE(Timer()->isActive());

  Ani->SetActive(false);
  EXPECT_FALSE(Timer()->isActive());
  EXPECT_EQ(Ani->CurrentFrame(), 3);  // stopping keeps the frame shown
  Ani->SetActive(false);
  EXPECT_FALSE(Ani->Active());
  Ani->SetActive(true);  // a new start plays from the first frame
  EXPECT_EQ(Ani->CurrentFrame(), 1);
}

TEST_F(AviPlayer, TheTimerStepsTheFrames) {
  Ani->SetFileName(Fixture("rle8.avi"));
  Ani->SetActive(true);
  ASSERT_TRUE(QMetaObject::invokeMethod(Timer(), "timeout"));
  EXPECT_EQ(Ani->CurrentFrame(), 2);
}

struct TTiming {
  const char *Name;
  const char *File;
  int Interval;  // milliseconds
};

void PrintTo(const TTiming &T, std::ostream *Os) { *Os << T.Name; }

class AviPlayerTiming : public AviPlayer, public ::testing::WithParamInterface<TTiming> {};

TEST_P(AviPlayerTiming, FrameTimeFromTheHeader) {
  Ani->SetFileName(GetParam().File[0] == '/' ? GetParam().File : Fixture(GetParam().File));
  EXPECT_EQ(Ani->Interval(), GetParam().Interval);
  Ani->SetActive(true);
  EXPECT_EQ(Timer()->interval(), GetParam().Interval);
}

INSTANTIATE_TEST_SUITE_P(Clips, AviPlayerTiming,
                         ::testing::Values(TTiming{"rate_and_scale", "rle8.avi", 80},
                                           TTiming{"main_header", "rgb16.avi", 125},
                                           TTiming{"rounded", "rgb32.avi", 33},
                                           TTiming{"cart", KV_SOURCE_DIR "/animate/data/syscrt.avi", 67}),
                         [](const ::testing::TestParamInfo<TTiming> &I) { return std::string(I.param.Name); });

TEST_F(AviPlayer, AbsurdRatesStayWithinTheTimersReach) {
  std::string Fast = Clip("rle8.avi");
  Put32(Fast, Find(Fast, "vids") + 24, 0xFFFFFFFF);  // rate: billions a second
  Ani->SetFileName(Save("fast.avi", Fast));
  EXPECT_EQ(Ani->Interval(), 10);
  std::string Slow = Clip("rle8.avi");
  Put32(Slow, Find(Slow, "vids") + 20, 0xFFFFFFFF);  // scale: a frame in an age
  Ani->SetFileName(Save("slow.avi", Slow));
  EXPECT_EQ(Ani->Interval(), 60000);
}

struct TUnplayable {
  const char *Name;
  std::function<std::string(AviPlayer &)> File;
};

void PrintTo(const TUnplayable &U, std::ostream *Os) { *Os << U.Name; }

class AviPlayerUnplayable : public AviPlayer, public ::testing::WithParamInterface<TUnplayable> {};

TEST_P(AviPlayerUnplayable, ShowsNothingAndStartsAndStops) {
  const std::string File = GetParam().File(*this);
  Ani->SetFileName(File);
  EXPECT_EQ(Ani->FileName(), File);
  EXPECT_NE(Ani->Error(), "");
  EXPECT_EQ(Ani->FrameCount(), 0);
  EXPECT_EQ(Ani->CurrentFrame(), 0);
  Ani->SetActive(true);
  EXPECT_TRUE(Ani->Active());
  EXPECT_FALSE(Ani->Playing());
  EXPECT_FALSE(Timer()->isActive());
  Ani->NextFrame();
  EXPECT_EQ(Ani->CurrentFrame(), 0);
  const QImage Got = Shown();
  for (int Y = 0; Y < Got.height(); ++Y)
    for (int X = 0; X < Got.width(); ++X)
      ASSERT_EQ(Got.pixel(X, Y), Ground) << "(" << X << ", " << Y << ")";
  Ani->SetActive(false);
  EXPECT_FALSE(Ani->Active());
}

INSTANTIATE_TEST_SUITE_P(
    Files, AviPlayerUnplayable,
    ::testing::Values(TUnplayable{"missing", [](AviPlayer &T) { return T.Dir / "syscrt.avi"; }},
                      TUnplayable{"unknown_codec",
                                  [](AviPlayer &T) {
                                    std::string S = Clip("rgb24.avi");
                                    S.replace(BitmapHeader(S) + 16, 4, "MJPG");
                                    return T.Save("mjpg.avi", S);
                                  }},
                      TUnplayable{"truncated",
                                  [](AviPlayer &T) {
                                    const std::string S = Clip("rle8.avi");
                                    return T.Save("cut.avi", S.substr(0, S.size() - 10));
                                  }}),
    [](const ::testing::TestParamInfo<TUnplayable> &I) { return std::string(I.param.Name); });

// A new file takes over at once, playing or not; a bad one in between stops
// the picture but not the wish to play.
TEST_F(AviPlayer, ChangingTheFileWhilePlaying) {
  Ani->SetFileName(Fixture("rle8.avi"));
  Ani->SetActive(true);
  Ani->NextFrame();
  Ani->SetFileName(Fixture("rgb16.avi"));
  EXPECT_EQ(Ani->CurrentFrame(), 1);
  EXPECT_EQ(Ani->FrameCount(), 2);
  EXPECT_EQ(Timer()->interval(), 125);
  EXPECT_TRUE(Timer()->isActive());

  Ani->SetFileName(Dir / "missing.avi");
  EXPECT_FALSE(Timer()->isActive());
  EXPECT_TRUE(Ani->Picture().isNull());
  EXPECT_TRUE(Ani->Active());

  Ani->SetFileName(Fixture("rle8.avi"));
  EXPECT_TRUE(Timer()->isActive());
  EXPECT_EQ(Ani->CurrentFrame(), 1);
  EXPECT_EQ(Timer()->interval(), 80);
}

}  // namespace
