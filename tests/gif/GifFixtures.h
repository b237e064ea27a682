#pragma once
// Hand-built GIF files. The LZW data is written with literal codes only, by a
// writer much simpler than ours, so the fixtures do not depend on the encoder
// under test.
#include <cstdint>
#include <string>
#include <vector>

namespace giftest {

struct TLzwOptions {
  int MinCodeSize = 2;
  int SubBlock = 255;  // length of the data sub-blocks
  bool ClearWhenFull = true;  // false: keep going with a full table
  bool EndCode = true;
};

// Literal codes in stream order, packed least significant bit first.
inline std::string LiteralLzw(const std::vector<uint8_t> &Codes, const TLzwOptions &O) {
  const int Clear = 1 << O.MinCodeSize;
  int Width = O.MinCodeSize + 1, Next = Clear + 2;
  bool First = true;
  std::string Bytes;
  uint32_t Acc = 0;
  int NBits = 0;
  auto Put = [&](int Code) {
    Acc |= uint32_t(Code) << NBits;
    NBits += Width;
    while (NBits >= 8) {
      Bytes.push_back(char(Acc & 0xFF));
      Acc >>= 8;
      NBits -= 8;
    }
  };
  Put(Clear);
  for (uint8_t C : Codes) {
    if (O.ClearWhenFull && Next == 4096) {
      Put(Clear);
      Width = O.MinCodeSize + 1;
      Next = Clear + 2;
      First = true;
    }
    Put(C);
    if (!First && Next < 4096)
      ++Next;
    First = false;
    if (Next >= (1 << Width) && Width < 12)
      ++Width;
  }
  if (O.EndCode)
    Put(Clear + 1);
  if (NBits > 0)
    Bytes.push_back(char(Acc & 0xFF));
  std::string Out;
  Out.push_back(char(O.MinCodeSize));
  for (size_t I = 0; I < Bytes.size(); I += size_t(O.SubBlock)) {
    const size_t K = std::min(Bytes.size() - I, size_t(O.SubBlock));
    Out.push_back(char(K));
    Out.append(Bytes, I, K);
  }
  Out.push_back('\0');
  return Out;
}

// Rows of a display-order picture in interlace order.
inline std::vector<uint8_t> InterlaceOrder(const std::vector<uint8_t> &Px, int W, int H) {
  std::vector<uint8_t> Out;
  static const int Start[4] = {0, 4, 2, 1}, Step[4] = {8, 8, 4, 2};
  for (int P = 0; P < 4; ++P)
    for (int Y = Start[P]; Y < H; Y += Step[P])
      Out.insert(Out.end(), Px.begin() + Y * W, Px.begin() + (Y + 1) * W);
  return Out;
}

class TGifBuilder {
public:
  std::string S;

  void Byte(int B) { S.push_back(char(B)); }
  void Word(int W) {
    Byte(W & 0xFF);
    Byte((W >> 8) & 0xFF);
  }

  // A grey ramp palette of 2^Bits entries unless Colors is given (RGB triples).
  static std::string Palette(int Bits, const std::vector<uint32_t> &Colors = {}) {
    std::string P;
    for (int I = 0; I < (1 << Bits); ++I) {
      const uint32_t C = I < int(Colors.size()) ? Colors[I] : uint32_t(I * 0x010101 * (255 / ((1 << Bits) - 1)));
      P.push_back(char(C >> 16));
      P.push_back(char(C >> 8));
      P.push_back(char(C));
    }
    return P;
  }

  TGifBuilder &Header(int W, int H, int GlobalBits = 2, const std::vector<uint32_t> &Colors = {},
                      const char *Version = "GIF89a") {
    S = Version;
    Word(W);
    Word(H);
    Byte(GlobalBits > 0 ? 0x80 | (GlobalBits - 1) : 0);
    Byte(0);
    Byte(0);
    if (GlobalBits > 0)
      S += Palette(GlobalBits, Colors);
    return *this;
  }
  TGifBuilder &Gce(int Disposal, int Delay, bool Transparent = false, int TIndex = 0) {
    Byte(0x21);
    Byte(0xF9);
    Byte(4);
    Byte((Disposal & 7) << 2 | (Transparent ? 1 : 0));
    Word(Delay);
    Byte(TIndex);
    Byte(0);
    return *this;
  }
  TGifBuilder &Netscape(int Loops) {
    Byte(0x21);
    Byte(0xFF);
    Byte(11);
    S += "NETSCAPE2.0";
    Byte(3);
    Byte(1);
    Word(Loops);
    Byte(0);
    return *this;
  }
  TGifBuilder &Comment(const std::string &Text, size_t Chunk = 255) {
    Byte(0x21);
    Byte(0xFE);
    for (size_t I = 0; I < Text.size(); I += Chunk) {
      const size_t K = std::min(Chunk, Text.size() - I);
      Byte(int(K));
      S.append(Text, I, K);
    }
    Byte(0);
    return *this;
  }
  // Pixels in display order; LocalBits > 0 adds a local table.
  TGifBuilder &Image(int L, int T, int W, int H, const std::vector<uint8_t> &Px, bool Interlaced = false,
                     int LocalBits = 0, TLzwOptions O = {}, const std::vector<uint32_t> &Colors = {}) {
    Byte(',');
    Word(L);
    Word(T);
    Word(W);
    Word(H);
    Byte((LocalBits > 0 ? 0x80 | (LocalBits - 1) : 0) | (Interlaced ? 0x40 : 0));
    if (LocalBits > 0)
      S += Palette(LocalBits, Colors);
    S += LiteralLzw(Interlaced ? InterlaceOrder(Px, W, H) : Px, O);
    return *this;
  }
  TGifBuilder &Raw(const std::string &Bytes) {
    S += Bytes;
    return *this;
  }
  TGifBuilder &Trailer() {
    Byte(';');
    return *this;
  }
};

// Pixels X + Y * W modulo Colors: every row and column differs.
inline std::vector<uint8_t> Ramp(int W, int H, int Colors) {
  std::vector<uint8_t> P(size_t(W) * H);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      P[size_t(Y) * W + X] = uint8_t((X + Y * 3) % Colors);
  return P;
}

struct TFixture {
  std::string Name;
  std::string Bytes;
  bool GiflibComparable = true;  // false where we read differently on purpose
};

// Every hand-built fixture, for the differential test and the corpus.
std::vector<TFixture> AllFixtures();

}  // namespace giftest
