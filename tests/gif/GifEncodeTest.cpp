#include "GiflibOracle.h"
#include "components/GIFCodec.h"

#include <gtest/gtest.h>

#include <random>

using namespace kv::gif;
using namespace giftest;

namespace {

TEncodeFrame Frame(int W, int H, std::vector<uint32_t> Px) {
  TEncodeFrame F;
  F.Width = W;
  F.Height = H;
  F.Pixels = std::move(Px);
  return F;
}

// W x H pixels of Colors distinct colours (0x10 apart in red, green by X).
TEncodeFrame Colours(int W, int H, int Colors, uint32_t Base = 0) {
  std::vector<uint32_t> Px(size_t(W) * H);
  for (size_t I = 0; I < Px.size(); ++I)
    Px[I] = Base + uint32_t((I * 7) % Colors) * 0x010203;
  return Frame(W, H, Px);
}

uint32_t Rgb(const TPalette &P, uint8_t I) {
  return uint32_t(P[I * 3]) << 16 | uint32_t(P[I * 3 + 1]) << 8 | P[I * 3 + 2];
}

std::vector<uint32_t> DecodedColours(const TDecodedFrame &F) {
  std::vector<uint32_t> Out;
  for (uint8_t I : F.Indexes)
    Out.push_back(Rgb(F.Palette, I));
  return Out;
}

std::vector<uint32_t> Masked(const std::vector<uint32_t> &Px) {
  std::vector<uint32_t> Out;
  for (uint32_t P : Px)
    Out.push_back(P & 0xFFFFFF);
  return Out;
}

TDecodedPicture DecodeOurs(const std::string &S) {
  TDecodedPicture P;
  EXPECT_EQ(Decode(reinterpret_cast<const uint8_t *>(S.data()), S.size(), P), geOK);
  return P;
}

std::string Hex(const std::string &S) {
  static const char *D = "0123456789ABCDEF";
  std::string H;
  for (unsigned char C : S) {
    H += D[C >> 4];
    H += D[C & 15];
    H += ' ';
  }
  return H;
}

}  // namespace

TEST(GifEncode, TinyPictureExactBytes) {
  // Red, blue / blue, red: two colours, code size 2, codes clear 0 1 1 | 0 end
  // at widths 3 3 3 3 | 4 4.
  TEncodeList L;
  L.Frames.push_back(Frame(2, 2, {0xFF0000, 0x0000FF, 0x0000FF, 0xFF0000}));
  std::string S;
  ASSERT_EQ(Encode(L, S), geOK);
  const std::string Expected(
      "GIF89a\x02\x00\x02\x00\x80\x00\x00"
      "\xFF\x00\x00\x00\x00\xFF"
      "\x21\xF9\x04\x00\x00\x00\xFF\x00"
      "\x2C\x00\x00\x00\x00\x02\x00\x02\x00\x00"
      "\x02\x03\x44\x02\x05\x00"
      "\x3B",
      44);
  EXPECT_EQ(Hex(S), Hex(Expected));
}

TEST(GifEncode, RoundTripKeepsPixelsPositionsDelaysAndComments) {
  TEncodeList L;
  L.LoopCount = 3;
  L.OneColourTable = true;
  L.Frames.push_back(Colours(13, 11, 40));
  L.Frames.push_back(Colours(5, 9, 7, 0x800000));
  L.Frames[1].Left = 4;
  L.Frames[1].Top = 6;
  L.Frames[1].Delay = 125;
  L.Frames[1].Disposal = 3;
  L.Frames[1].Interlaced = true;
  L.Frames[1].Comment = std::string(300, 'c');
  L.Frames.push_back(Colours(10, 3, 3));
  L.Frames[2].Disposal = 2;
  L.Frames[2].Transparent = true;
  L.Frames[2].TransparentColor = L.Frames[2].Pixels[1];
  std::string S;
  ASSERT_EQ(Encode(L, S), geOK);
  // 300 bytes of comment go as 255 + 45.
  EXPECT_NE(S.find(std::string("\x21\xFE\xFF") + std::string(255, 'c') + "\x2D" + std::string(45, 'c') +
                   std::string(1, '\0')),
            std::string::npos);
  const TDecodedPicture P = DecodeOurs(S);
  EXPECT_EQ(P.LoopCount, 3);
  EXPECT_EQ(P.Width, 13);
  EXPECT_EQ(P.Height, 15);
  ASSERT_EQ(P.Frames.size(), 3u);
  for (size_t I = 0; I < 3; ++I) {
    SCOPED_TRACE(I);
    const TDecodedFrame &F = P.Frames[I];
    EXPECT_EQ(DecodedColours(F), Masked(L.Frames[I].Pixels));
    EXPECT_EQ(F.Left, L.Frames[I].Left);
    EXPECT_EQ(F.Top, L.Frames[I].Top);
    EXPECT_EQ(F.Delay, std::max(L.Frames[I].Delay / 10 * 10, 1));
    EXPECT_EQ(F.Disposal, L.Frames[I].Disposal);
    EXPECT_EQ(F.Comment, L.Frames[I].Comment);
    EXPECT_FALSE(F.HasLocalTable);
  }
  EXPECT_EQ(P.Frames[1].Delay, 120);
  EXPECT_TRUE(P.Frames[1].Interlaced);
  EXPECT_TRUE(P.Frames[2].Transparent);
  EXPECT_EQ(Rgb(P.Frames[2].Palette, P.Frames[2].TransparentIndex), L.Frames[2].TransparentColor);
}

TEST(GifEncode, GiflibReadsOurOutputToTheSamePixels) {
  TEncodeList L;
  L.Frames.push_back(Colours(31, 17, 200));
  L.Frames.push_back(Colours(7, 30, 2));
  L.Frames[1].Interlaced = true;
  L.Frames[1].Left = 20;
  std::string S;
  ASSERT_EQ(Encode(L, S), geOK);
  TOraclePicture O;
  ASSERT_TRUE(GiflibDecode(S, O));
  ASSERT_EQ(O.Frames.size(), 2u);
  EXPECT_EQ(O.LoopCount, 0);
  for (size_t I = 0; I < 2; ++I) {
    SCOPED_TRACE(I);
    const TOracleFrame &F = O.Frames[I];
    ASSERT_EQ(F.Indexes.size(), L.Frames[I].Pixels.size());
    for (size_t K = 0; K < F.Indexes.size(); ++K) {
      const uint8_t *C = F.Colors.data() + F.Indexes[K] * 3;
      ASSERT_EQ(uint32_t(C[0] << 16 | C[1] << 8 | C[2]), L.Frames[I].Pixels[K] & 0xFFFFFF) << K;
    }
  }
}

TEST(GifEncode, RandomTwoHundredFiftySixColoursForceClearCodes) {
  std::mt19937 Rng(42);
  std::vector<uint32_t> Palette(256);
  for (int I = 0; I < 256; ++I)
    Palette[I] = uint32_t(I) << 16 | uint32_t(255 - I) << 8 | uint32_t(I * 37 & 255);
  std::vector<uint32_t> Px(200 * 150);
  for (size_t I = 0; I < 256; ++I)
    Px[I] = Palette[I];  // every colour at least once
  for (size_t I = 256; I < Px.size(); ++I)
    Px[I] = Palette[Rng() & 255];
  TEncodeList L;
  L.Frames.push_back(Frame(200, 150, Px));
  std::string S;
  ASSERT_EQ(Encode(L, S), geOK);
  // 30000 random pixels need far more than 4096 codes: the table is cleared.
  EXPECT_GT(S.size(), 20000u);
  EXPECT_EQ(uint8_t(S[10]), 0x87);  // a global table of 256 entries
  EXPECT_EQ(DecodedColours(DecodeOurs(S).Frames.at(0)), Px);
  TOraclePicture O;
  ASSERT_TRUE(GiflibDecode(S, O));
  ASSERT_EQ(O.Frames.size(), 1u);
  EXPECT_EQ(O.Frames[0].Indexes, DecodeOurs(S).Frames[0].Indexes);
}

TEST(GifEncode, SingleTwoColourFrame) {
  TEncodeList L;
  L.LoopCount = 5;
  L.Frames.push_back(Colours(9, 4, 2));
  std::string S;
  ASSERT_EQ(Encode(L, S), geOK);
  EXPECT_EQ(uint8_t(S[10]), 0x80);  // global table of 2 entries
  EXPECT_EQ(S.find("NETSCAPE"), std::string::npos);
  const size_t Image = 13 + 6 + 8;
  ASSERT_EQ(S[Image], ',');
  EXPECT_EQ(S[Image + 10], 2);  // LZW code size
}

TEST(GifEncode, OneTableOverflowFallsBackToATablePerFrame) {
  TEncodeList L;
  L.OneColourTable = true;
  for (uint32_t K = 0; K < 3; ++K)
    L.Frames.push_back(Colours(20, 10, 100, K * 0x400000 + 0x20));
  std::string S;
  ASSERT_EQ(Encode(L, S), geOK);
  EXPECT_EQ(uint8_t(S[10]), 0);  // no global table
  const TDecodedPicture P = DecodeOurs(S);
  ASSERT_EQ(P.Frames.size(), 3u);
  for (size_t I = 0; I < 3; ++I) {
    SCOPED_TRACE(I);
    EXPECT_TRUE(P.Frames[I].HasLocalTable);
    EXPECT_EQ(P.Frames[I].Bits, 7);
    EXPECT_EQ(DecodedColours(P.Frames[I]), Masked(L.Frames[I].Pixels));
  }
}

TEST(GifEncode, TransparencyFlag) {
  // The 256th distinct colour gets index 255 and stays transparent.
  std::vector<uint32_t> All(256);
  for (uint32_t I = 0; I < 256; ++I)
    All[I] = I * 0x010101;
  const struct {
    const char *Name;
    std::vector<uint32_t> Px;
    uint32_t Transparent;
    bool Flag;
    uint8_t Index;
  } Rows[] = {
      {"absent_colour", {1, 2, 3, 2}, 9, false, 255},
      {"present_colour", {1, 2, 3, 2}, 3, true, 2},
      {"index_255", All, 0xFFFFFF, true, 255},
      {"index_0", All, 0, true, 0},
  };
  for (const auto &R : Rows) {
    SCOPED_TRACE(R.Name);
    TEncodeList L;
    L.Frames.push_back(Frame(int(R.Px.size()) / 2, 2, R.Px));
    L.Frames[0].Transparent = true;
    L.Frames[0].TransparentColor = R.Transparent;
    std::string S;
    ASSERT_EQ(Encode(L, S), geOK);
    const size_t Gce = S.find("\x21\xF9\x04");
    ASSERT_NE(Gce, std::string::npos);
    EXPECT_EQ(S[Gce + 3] & 1, R.Flag ? 1 : 0);
    EXPECT_EQ(uint8_t(S[Gce + 6]), R.Index);
    const TDecodedPicture P = DecodeOurs(S);
    EXPECT_EQ(P.Frames.at(0).Transparent, R.Flag);
  }
}

TEST(GifEncode, Failures) {
  std::vector<uint32_t> Many(257);
  for (uint32_t I = 0; I < 257; ++I)
    Many[I] = I * 3;
  auto With = [](auto Change) {
    TEncodeList L;
    L.Frames.push_back(Colours(4, 4, 3));
    Change(L);
    return L;
  };
  const struct {
    const char *Name;
    TEncodeList List;
    uint8_t Error;
  } Rows[] = {
      {"no_frames", TEncodeList{}, geNothing},
      {"257_frames", With([](TEncodeList &L) { L.Frames.resize(257, L.Frames[0]); }), geNothing},
      {"256_frames", With([](TEncodeList &L) { L.Frames.resize(256, L.Frames[0]); }), geOK},
      {"zero_width", With([](TEncodeList &L) { L.Frames[0] = Frame(0, 4, {}); }), geNoPixels},
      {"pixels_missing", With([](TEncodeList &L) { L.Frames[0].Pixels.pop_back(); }), geNoPixels},
      {"negative_left", With([](TEncodeList &L) { L.Frames[0].Left = -1; }), geNothing},
      {"left_65536", With([](TEncodeList &L) { L.Frames[0].Left = 65536; }), geNothing},
      {"right_edge_past_65535", With([](TEncodeList &L) { L.Frames[0].Top = 65532; }), geNothing},
      {"right_edge_at_65535", With([](TEncodeList &L) { L.Frames[0].Top = 65531; }), geOK},
      {"257_colours", With([&](TEncodeList &L) { L.Frames[0] = Frame(257, 1, Many); }), geTooManyColors},
      {"257_colours_per_frame",
       With([&](TEncodeList &L) {
         L.Frames.push_back(Frame(257, 1, Many));
       }),
       geTooManyColors},
  };
  for (const auto &R : Rows) {
    SCOPED_TRACE(R.Name);
    std::string S;
    EXPECT_EQ(Encode(R.List, S), R.Error);
    EXPECT_EQ(S.substr(0, 6), "GIF89a");
  }
}

TEST(GifEncode, BitsForColorCount) {
  const int Expected[][2] = {{0, 1}, {2, 1}, {3, 2}, {4, 2}, {5, 3}, {16, 4}, {17, 5}, {128, 7}, {129, 8}, {256, 8}, {257, 0}};
  for (const auto &E : Expected)
    EXPECT_EQ(BitsForColorCount(E[0]), E[1]) << E[0];
}
