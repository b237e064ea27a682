#include "GifFixtures.h"
#include "components/GIFCodec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>

using namespace kv::gif;
using namespace giftest;

namespace {

std::map<std::string, std::string> Fixtures() {
  std::map<std::string, std::string> M;
  for (const TFixture &F : AllFixtures())
    M[F.Name] = F.Bytes;
  return M;
}

uint8_t DecodeStr(const std::string &S, TDecodedPicture &P) {
  return Decode(reinterpret_cast<const uint8_t *>(S.data()), S.size(), P);
}

TDecodedPicture MustDecode(const std::string &S) {
  TDecodedPicture P;
  EXPECT_EQ(DecodeStr(S, P), geOK);
  return P;
}

// Frames 256 rows apart, 5896 pixels wide, and a last frame that ends before
// its colour table.
std::string FramesApartIn175Bytes() {
  static const unsigned char Bytes[] = {
      0x47, 0x49, 0x46, 0x34, 0x39, 0x61, 0x08, 0x00, 0x28, 0x00, 0xf0, 0x00, 0x00, 0xff, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x21, 0xf9, 0x04, 0x00, 0x05, 0x00, 0x00, 0x00, 0x21, 0xff, 0x0b, 0x4e, 0x41, 0x50, 0x45, 0x32, 0x0d,
      0x30, 0x03, 0x01, 0x01, 0x00, 0x00, 0x2c, 0x00, 0x00, 0x00, 0x00, 0x08, 0x00, 0x08, 0x00, 0x03, 0x01, 0x01,
      0x00, 0x00, 0x2c, 0x00, 0x00, 0x00, 0x01, 0x08, 0x17, 0x08, 0x00, 0x00, 0x12, 0x07, 0x84, 0x8f, 0xa9, 0xcb,
      0xed, 0xa1, 0x00, 0x00, 0x21, 0xff, 0x0b, 0x4e, 0x45, 0x54, 0x53, 0x43, 0x41, 0x50, 0x0d, 0x30, 0x03, 0x01,
      0x01, 0x00, 0x00, 0x2c, 0x00, 0x00, 0x00, 0x00, 0x08, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x21, 0xf9, 0x04,
      0x00, 0x05, 0x00, 0x00, 0x00, 0x21, 0xff, 0x0b, 0x4e, 0x45, 0x54, 0x53, 0x43, 0x41, 0x50, 0x45, 0x34, 0x0d,
      0x30, 0x03, 0x01, 0x01, 0x00, 0x00, 0x2c, 0x00, 0x00, 0x00, 0x00, 0x08, 0x00, 0x08, 0x00, 0x00, 0x02, 0x07,
      0x84, 0x8f, 0x00, 0x00, 0x00, 0x21, 0x00, 0x04, 0x00, 0x05, 0x00, 0x00, 0x00, 0x2c, 0x00, 0x00, 0x00, 0x00,
      0x08, 0x0a, 0xf8, 0x00, 0x83, 0x00, 0x80, 0x00, 0x5f, 0x02, 0x07, 0x00, 0x00};
  return std::string(reinterpret_cast<const char *>(Bytes), sizeof Bytes);
}

}  // namespace

TEST(GifDecode, Gif87aWithoutExtensionsIsOneOpaqueFrame) {
  const TDecodedPicture P = MustDecode(Fixtures()["gif87a_plain"]);
  ASSERT_EQ(P.Frames.size(), 1u);
  const TDecodedFrame &F = P.Frames[0];
  EXPECT_EQ(F.Delay, 1);
  EXPECT_EQ(F.Disposal, 0);
  EXPECT_FALSE(F.Transparent);
  EXPECT_TRUE(F.Mask.empty());
  EXPECT_EQ(P.LoopCount, 1);
  EXPECT_EQ(F.Indexes, Ramp(5, 4, 4));
  EXPECT_EQ(P.Width, 5);
  EXPECT_EQ(P.Height, 4);
  EXPECT_EQ(P.ColorDepth, 2);
  EXPECT_EQ(F.Palette[3 * 3], 255);  // the grey ramp's white
}

TEST(GifDecode, LoopCounts) {
  const struct {
    const char *Fixture;
    int Loops;
  } Rows[] = {{"loop_-1", 1}, {"loop_0", 0}, {"loop_1", 1}, {"loop_3", 3}, {"loop_65535", 65535}, {"other_app_ext", 4}};
  auto Fx = Fixtures();
  for (const auto &R : Rows) {
    SCOPED_TRACE(R.Fixture);
    EXPECT_EQ(MustDecode(Fx[R.Fixture]).LoopCount, R.Loops);
  }
}

TEST(GifDecode, DisposalFourToSevenBecomesTwo) {
  const int Expected[8] = {0, 1, 2, 3, 2, 2, 2, 2};
  auto Fx = Fixtures();
  for (int D = 0; D < 8; ++D) {
    SCOPED_TRACE(D);
    const TDecodedPicture P = MustDecode(Fx["disposal_" + std::to_string(D)]);
    ASSERT_EQ(P.Frames.size(), 2u);
    EXPECT_EQ(P.Frames[0].Disposal, Expected[D]);
    EXPECT_EQ(P.Frames[0].Delay, 70);
  }
}

TEST(GifDecode, DelayZeroIsOneMillisecond) {
  const TDecodedPicture P = MustDecode(Fixtures()["delay_zero"]);
  ASSERT_EQ(P.Frames.size(), 2u);
  EXPECT_EQ(P.Frames[0].Delay, 1);
  EXPECT_EQ(P.Frames[0].Disposal, 1);
}

TEST(GifDecode, InterlacedRowsLandInOrderForEveryHeight) {
  auto Fx = Fixtures();
  for (int H = 1; H <= 17; ++H) {
    SCOPED_TRACE(H);
    const TDecodedPicture P = MustDecode(Fx["interlaced_h" + std::to_string(H)]);
    ASSERT_EQ(P.Frames.size(), 1u);
    EXPECT_TRUE(P.Frames[0].Interlaced);
    EXPECT_EQ(P.Frames[0].Indexes, Ramp(3, H, 256));
  }
}

TEST(GifDecode, FrameOutsideTheScreenEnlargesThePicture) {
  const TDecodedPicture P = MustDecode(Fixtures()["frame_outside_screen"]);
  EXPECT_EQ(P.ScreenWidth, 4);
  EXPECT_EQ(P.ScreenHeight, 4);
  EXPECT_EQ(P.Width, 8);
  EXPECT_EQ(P.Height, 8);
}

TEST(GifDecode, CommentBelongsToTheNextFrameOnly) {
  const TDecodedPicture P = MustDecode(Fixtures()["comments"]);
  ASSERT_EQ(P.Frames.size(), 2u);
  EXPECT_EQ(P.Frames[0].Comment, "first");
  EXPECT_EQ(P.Frames[1].Comment, "second");
}

TEST(GifDecode, CodesSpanSubBlocksOfAnyLength) {
  auto Fx = Fixtures();
  EXPECT_EQ(MustDecode(Fx["subblocks_1byte"]).Frames.at(0).Indexes, Ramp(20, 20, 256));
  const TDecodedPicture P = MustDecode(Fx["subblocks_mixed"]);
  ASSERT_EQ(P.Frames.size(), 2u);
  EXPECT_EQ(P.Frames[0].Indexes, Ramp(9, 7, 32));
  EXPECT_EQ(P.Frames[1].Indexes, Ramp(9, 7, 32));
  EXPECT_EQ(P.Frames[1].Bits, 5);
  EXPECT_FALSE(P.HasGlobalTable);
}

TEST(GifDecode, FullCodeTableWithAndWithoutClearCode) {
  auto Fx = Fixtures();
  for (const char *Name : {"full_table_no_clear", "full_table_clears"}) {
    SCOPED_TRACE(Name);
    EXPECT_EQ(MustDecode(Fx[Name]).Frames.at(0).Indexes, Ramp(80, 80, 256));
  }
}

TEST(GifDecode, AtMost256FramesAreKept) {
  const TDecodedPicture P = MustDecode(Fixtures()["frames_257"]);
  ASSERT_EQ(P.Frames.size(), 256u);
  EXPECT_EQ(P.Frames[255].Indexes[0], 255 % 4);
}

TEST(GifDecode, TransparencyGivesMaskAndColour) {
  const TDecodedPicture P = MustDecode(Fixtures()["transparent"]);
  ASSERT_EQ(P.Frames.size(), 2u);
  EXPECT_TRUE(P.Transparent);
  const TDecodedFrame &F = P.Frames[0];
  EXPECT_TRUE(F.Transparent);
  EXPECT_EQ(F.TransparentIndex, 1);
  EXPECT_EQ(F.TransparentColor, (std::array<uint8_t, 3>{85, 85, 85}));
  ASSERT_EQ(F.Mask.size(), F.Indexes.size());
  for (size_t I = 0; I < F.Indexes.size(); ++I)
    EXPECT_EQ(F.Mask[I], F.Indexes[I] == 1);
  EXPECT_EQ(F.Disposal, 2);
  EXPECT_EQ(P.Frames[1].TransparentIndex, 3);
}

TEST(GifDecode, LocalTablesAndDepth) {
  const TDecodedPicture P = MustDecode(Fixtures()["local_tables"]);
  ASSERT_EQ(P.Frames.size(), 3u);
  EXPECT_EQ(P.Frames[0].Bits, 3);
  EXPECT_TRUE(P.Frames[0].HasLocalTable);
  EXPECT_EQ(P.Frames[1].Bits, 0);
  EXPECT_EQ(P.Frames[1].Palette[3], 255);  // the global 2-entry table
  EXPECT_EQ(P.Frames[2].Bits, 7);
  EXPECT_EQ(P.Frames[2].Indexes, Ramp(8, 8, 128));
  EXPECT_EQ(P.ColorDepth, 7);
}

TEST(GifDecode, UnknownExtensionEndsTheReading) {
  const TDecodedPicture P = MustDecode(Fixtures()["unknown_label"]);
  EXPECT_EQ(P.Frames.size(), 1u);
}

TEST(GifDecode, BadCodeSizeOrCodeEndsOnlyThatFrame) {
  auto Fx = Fixtures();
  const TDecodedPicture A = MustDecode(Fx["bad_code_size"]);
  ASSERT_EQ(A.Frames.size(), 2u);
  EXPECT_EQ(A.Frames[0].Indexes, std::vector<uint8_t>(9, 0));
  EXPECT_EQ(A.Frames[1].Indexes, Ramp(3, 3, 2));
  const TDecodedPicture B = MustDecode(Fx["bad_code_above_next"]);
  ASSERT_EQ(B.Frames.size(), 2u);
  std::vector<uint8_t> Expected(9, 0);
  Expected[0] = 1;
  EXPECT_EQ(B.Frames[0].Indexes, Expected);
  EXPECT_EQ(B.Frames[1].Indexes, Ramp(3, 3, 2));
}

TEST(GifDecode, TruncationAtEveryOffsetKeepsTheFramesReadSoFar) {
  // Offsets where each frame's descriptor and table end and where its data ends.
  TGifBuilder B;
  B.Header(7, 6).Netscape(2).Comment("c1").Gce(1, 3);
  const size_t D1 = B.S.size() + 10;
  B.Image(0, 0, 7, 6, Ramp(7, 6, 4));
  const size_t E1 = B.S.size();
  B.Gce(3, 4, true, 2);
  const size_t D2 = B.S.size() + 10 + 24;
  B.Image(1, 1, 5, 4, Ramp(5, 4, 8), false, 3, {3, 7});
  const size_t E2 = B.S.size();
  B.Trailer();
  const TDecodedPicture Full = MustDecode(B.S);
  ASSERT_EQ(Full.Frames.size(), 2u);
  for (size_t N = 0; N <= B.S.size(); ++N) {
    SCOPED_TRACE(N);
    TDecodedPicture P;
    const uint8_t R = DecodeStr(B.S.substr(0, N), P);
    if (N == 0) {
      EXPECT_EQ(R, geNothing);
      continue;
    }
    if (N < 13) {
      EXPECT_EQ(R, geNotGif);
      EXPECT_TRUE(P.Frames.empty());
      continue;
    }
    ASSERT_EQ(R, geOK);
    const size_t Expect = N >= D2 ? 2 : N >= D1 ? 1 : 0;
    ASSERT_EQ(P.Frames.size(), Expect);
    const size_t Ends[2] = {E1, E2};
    for (size_t K = 0; K < Expect; ++K) {
      const TDecodedFrame &F = P.Frames[K], &G = Full.Frames[K];
      EXPECT_EQ(F.Width, G.Width);
      EXPECT_EQ(F.Left, G.Left);
      EXPECT_EQ(F.Disposal, G.Disposal);
      if (N >= Ends[K]) {
        EXPECT_EQ(F.Indexes, G.Indexes);
      } else {
        // What was read is right; the rest keeps index 0.
        size_t I = 0;
        while (I < F.Indexes.size() && F.Indexes[I] == G.Indexes[I])
          ++I;
        for (; I < F.Indexes.size(); ++I)
          ASSERT_EQ(F.Indexes[I], 0) << I;
      }
    }
  }
}

TEST(GifDecode, Failures) {
  auto Big = [](int SW, int SH, int L, int W, int H) {
    TGifBuilder B;
    B.Header(SW, SH).Image(L, 0, W, H, std::vector<uint8_t>(1, 0)).Trailer();
    return B.S;
  };
  std::string TwoHuge = TGifBuilder().Header(8192, 8192).S;
  for (int I = 0; I < 2; ++I)
    TwoHuge += std::string(",\0\0\0\0\0\x20\0\x20\0\2\1\0\0", 14);
  const struct {
    const char *Name;
    std::string Bytes;
    uint8_t Error;
  } Rows[] = {
      {"empty", "", geNothing},
      {"not_gif", "GIX89a" + std::string(20, '\0'), geNotGif},
      {"short_header", "GIF89a\1\0\1\0", geNotGif},
      {"screen_too_wide", Big(8193, 1, 0, 1, 1), geNotGif},
      {"screen_too_high", Big(1, 8193, 0, 1, 1), geNotGif},
      {"frame_beyond_limit", Big(10, 10, 8000, 193, 1), geNotGif},
      {"too_many_pixels", TwoHuge, geNotGif},
      {"too_big_file", Big(1, 1, 0, 1, 1) + std::string(MaxFileSize, '\0'), geNotGif},
      {"at_the_limits", Big(8192, 8192, 8191, 1, 1), geOK},
  };
  for (const auto &R : Rows) {
    SCOPED_TRACE(R.Name);
    TDecodedPicture P;
    EXPECT_EQ(DecodeStr(R.Bytes, P), R.Error);
    if (R.Error != geOK) {
      EXPECT_TRUE(P.Frames.empty());
    }
  }
}

TEST(GifDecode, APictureCostsWhatItsDataHolds) {
  // Frames claim what their data does not hold (the missing pixels are index
  // 0); only a bounded amount of that is accepted, whatever the header says.
  auto Frames = [](int SW, int SH, std::vector<std::array<int, 5>> Rects) {
    TGifBuilder B;
    B.Header(SW, SH);
    for (const auto &[L, T, W, H, Held] : Rects)
      B.Image(L, T, W, H, Ramp(Held, 1, 4));
    return B.Trailer().S;
  };
  // Two dots far apart, then a frame of a million pixels cut off before its
  // colour table: only the frames kept may widen the rectangle around them.
  std::string CutShort = Frames(8192, 8192, {{0, 0, 1, 1, 1}, {1399, 1399, 1, 1, 1}});
  CutShort.pop_back();
  CutShort += std::string(",\0\0\0\0\xe8\x03\xe8\x03\x87", 10);
  const struct {
    const char *Name;
    std::string Bytes;
    uint8_t Error;
  } Rows[] = {
      {"one_empty_frame_as_big_as_allowed", Frames(1024, 1024, {{0, 0, 1024, 1024, 0}}), geOK},
      {"a_second_empty_frame", Frames(1024, 1024, {{0, 0, 1024, 1024, 0}, {0, 0, 1024, 1024, 0}}), geNotGif},
      {"a_huge_empty_frame", Frames(8192, 8192, {{0, 0, 8192, 8192, 1}}), geNotGif},
      {"a_huge_empty_frame_beyond_a_small_screen", Frames(1, 1, {{0, 0, 8000, 8000, 1}}), geNotGif},
      {"many_empty_frames", Frames(300, 300, std::vector<std::array<int, 5>>(40, {0, 0, 300, 300, 0})), geNotGif},
      // The missing pixels may exceed the held ones by the allowance.
      {"held_500_rows_of_2000", Frames(1000, 2000, {{0, 0, 1000, 2000, 500 * 1000}}), geOK},
      {"held_400_rows_of_2000", Frames(1000, 2000, {{0, 0, 1000, 2000, 400 * 1000}}), geNotGif},
      {"scattered_dots", Frames(8192, 8192, {{0, 0, 1, 1, 1}, {8191, 8191, 1, 1, 1}}), geNotGif},
      {"dots_a_little_apart", Frames(8192, 8192, {{0, 0, 1, 1, 1}, {1000, 1000, 1, 1, 1}}), geOK},
      {"a_dot_on_a_huge_screen", Frames(8192, 8192, {{4000, 4000, 1, 1, 1}}), geOK},
      {"dots_apart_and_a_frame_cut_short", CutShort, geNotGif},
      {"frames_apart_in_175_bytes", FramesApartIn175Bytes(), geNotGif},
  };
  for (const auto &R : Rows) {
    SCOPED_TRACE(R.Name);
    TDecodedPicture P;
    ASSERT_EQ(DecodeStr(R.Bytes, P), R.Error);
    if (R.Error != geOK) {
      EXPECT_TRUE(P.Frames.empty());
      continue;
    }
    for (const TDecodedFrame &F : P.Frames)
      EXPECT_EQ(F.Indexes.size(), size_t(F.Width) * F.Height);
  }
}

TEST(GifDecode, TheMostCompressedDataDecodesInFull) {
  // Each code one longer than the last until the table is full, then the
  // longest string over and over: as many pixels a byte as the format allows.
  const int Clear = 4;
  std::vector<int> Codes = {Clear, 1};
  for (int C = Clear + 2; C < 4096; ++C)
    Codes.push_back(C);
  const size_t Repeats = 13000;  // close to the pixel limit
  for (size_t I = 0; I < Repeats; ++I)
    Codes.push_back(4095);
  std::string Data;
  uint32_t Acc = 0;
  int NBits = 0, Width = 3, Next = Clear + 2;
  for (size_t I = 0; I < Codes.size(); ++I) {
    Acc |= uint32_t(Codes[I]) << NBits;
    for (NBits += Width; NBits >= 8; NBits -= 8, Acc >>= 8)
      Data.push_back(char(Acc & 0xFF));
    if (I >= 2 && Next < 4096)
      ++Next;
    if (Next >= (1 << Width) && Width < 12)
      ++Width;
  }
  if (NBits > 0)
    Data.push_back(char(Acc & 0xFF));
  const size_t Pixels = 1 + (4091u * 4092u / 2 - 1) + Repeats * 4091u;
  ASSERT_LE(Pixels, MostPixelsFrom(Data.size()));
  const int W = 8192, H = int((Pixels + W - 1) / W);
  TGifBuilder B;
  B.Header(W, H).Raw(",");
  B.Word(0);
  B.Word(0);
  B.Word(W);
  B.Word(H);
  B.Byte(0);
  B.Byte(2);
  for (size_t I = 0; I < Data.size(); I += 255) {
    const size_t K = std::min<size_t>(255, Data.size() - I);
    B.Byte(int(K));
    B.S.append(Data, I, K);
  }
  B.Byte(0);
  B.Trailer();
  TDecodedPicture P;
  ASSERT_EQ(DecodeStr(B.S, P), geOK);
  ASSERT_EQ(P.Frames.size(), 1u);
  const std::vector<uint8_t> &Px = P.Frames[0].Indexes;
  ASSERT_EQ(Px.size(), size_t(W) * H);
  EXPECT_EQ(size_t(std::count(Px.begin(), Px.begin() + Pixels, 1)), Pixels);
  EXPECT_EQ(size_t(std::count(Px.begin() + Pixels, Px.end(), 0)), Px.size() - Pixels);
}
