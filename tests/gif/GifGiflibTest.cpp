// Our decoder against giflib, over the hand-built fixtures and a set of real
// files made by ImageMagick at build time.
#include "GifFixtures.h"
#include "GiflibOracle.h"
#include "components/GIFCodec.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace kv::gif;
using namespace giftest;

namespace {

// Returns whether giflib decoded the file (and so whether it was compared).
bool CompareWithGiflib(const std::string &Bytes) {
  TOraclePicture O;
  if (!GiflibDecode(Bytes, O))
    return false;
  TDecodedPicture P;
  EXPECT_EQ(Decode(reinterpret_cast<const uint8_t *>(Bytes.data()), Bytes.size(), P), geOK);
  EXPECT_EQ(P.ScreenWidth, O.ScreenWidth);
  EXPECT_EQ(P.ScreenHeight, O.ScreenHeight);
  EXPECT_EQ(P.LoopCount, O.LoopCount < 0 ? 1 : O.LoopCount);
  // We keep the first 256 frames only.
  EXPECT_EQ(P.Frames.size(), std::min<size_t>(O.Frames.size(), MaxFrames));
  for (size_t I = 0; I < P.Frames.size() && I < O.Frames.size(); ++I) {
    SCOPED_TRACE("frame " + std::to_string(I + 1));
    const TDecodedFrame &F = P.Frames[I];
    const TOracleFrame &G = O.Frames[I];
    EXPECT_EQ(F.Left, G.Left);
    EXPECT_EQ(F.Top, G.Top);
    EXPECT_EQ(F.Width, G.Width);
    EXPECT_EQ(F.Height, G.Height);
    EXPECT_EQ(F.Interlaced, G.Interlaced);
    EXPECT_EQ(F.Indexes, G.Indexes);
    EXPECT_EQ(F.Disposal, G.Disposal > 3 ? 2 : G.Disposal);
    EXPECT_EQ(F.Delay, std::max(G.Delay * 10, 1));
    EXPECT_EQ(F.Transparent, G.TransparentIndex >= 0);
    if (G.TransparentIndex >= 0) {
      EXPECT_EQ(F.TransparentIndex, G.TransparentIndex);
    }
    EXPECT_TRUE(std::equal(G.Colors.begin(), G.Colors.end(), F.Palette.begin()));
  }
  return true;
}

}  // namespace

TEST(GifGiflib, HandBuiltFixturesDecodeAsGiflibDoes) {
  int Compared = 0;
  for (const TFixture &F : AllFixtures()) {
    if (!F.GiflibComparable)
      continue;
    SCOPED_TRACE(F.Name);
    Compared += CompareWithGiflib(F.Bytes);
  }
  // All but the file without a trailer are well-formed.
  EXPECT_GE(Compared, int(AllFixtures().size()) - 5);
}

TEST(GifGiflib, RealFilesDecodeAsGiflibDoes) {
  namespace fs = std::filesystem;
  const fs::path Dir = KV_GIF_SAMPLES;
  if (!fs::is_directory(Dir))
    GTEST_SKIP() << "no sample files (ImageMagick missing at build time)";
  int Files = 0, Compared = 0;
  for (const auto &E : fs::directory_iterator(Dir)) {
    if (E.path().extension() != ".gif")
      continue;
    SCOPED_TRACE(E.path().filename().string());
    ++Files;
    Compared += CompareWithGiflib(kvtest::ReadFile(E.path().string()));
  }
  EXPECT_GE(Files, 10);
  EXPECT_EQ(Compared, Files);
}
