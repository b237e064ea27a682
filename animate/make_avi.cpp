// Authors our AVI clips: the search animation "syscrt.avi" (a shopping cart
// rolling along, 55 x 45 pixels, 30 run-length frames) and the small clips the
// tests check pixel by pixel. Everything is integer arithmetic, so the files
// come out byte for byte the same on every machine.
//
//   make_avi <folder for syscrt.avi> <folder for the test clips>
//
// e.g. build/tools/make_avi animate/data tests/animate/data
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

using TBytes = std::string;

void Put16(TBytes &S, uint32_t V) {
  S += char(V & 0xFF);
  S += char(V >> 8 & 0xFF);
}
void Put32(TBytes &S, uint32_t V) {
  Put16(S, V & 0xFFFF);
  Put16(S, V >> 16);
}
uint32_t Code(const char *C) {
  return uint32_t(uint8_t(C[0])) | uint32_t(uint8_t(C[1])) << 8 | uint32_t(uint8_t(C[2])) << 16 |
         uint32_t(uint8_t(C[3])) << 24;
}

TBytes Chunk(const char *Id, const TBytes &Data) {
  TBytes S(Id, 4);
  Put32(S, uint32_t(Data.size()));
  S += Data;
  if (Data.size() & 1)
    S += '\0';
  return S;
}
TBytes List(const char *Type, const TBytes &Data) { return Chunk("LIST", TBytes(Type, 4) + Data); }

struct TClip {
  int Width = 0, Height = 0;  // Height < 0: top-down rows
  int Bits = 8;
  uint32_t Compression = 0;  // 0 uncompressed, 1 run-length
  std::vector<uint32_t> Palette;  // 0xRRGGBB
  uint32_t Scale = 1, Rate = 15, MicroSecPerFrame = 0;
  std::vector<TBytes> Frames;  // each frame's chunk data
  bool Index = true;  // write 'idx1'
  bool RecLists = false;  // each frame in a LIST 'rec '
  bool AudioFirst = false;  // a silent audio stream before the video
  bool Junk = false;  // a 'JUNK' chunk at the start of the movie data
};

// The whole file. Chunk offsets in the index count from the 'movi' code.
TBytes WriteAvi(const TClip &C) {
  const int Video = C.AudioFirst ? 1 : 0;
  const std::string FrameId = "0" + std::to_string(Video) + (C.Compression ? "dc" : "db");
  const int AbsHeight = C.Height < 0 ? -C.Height : C.Height;

  TBytes Movi = "movi", Idx;
  auto Add = [&](const std::string &Id, const TBytes &Data, uint32_t Flags) {
    Put32(Idx, Code(Id.c_str()));
    Put32(Idx, Flags);
    Put32(Idx, uint32_t(Movi.size()));
    Put32(Idx, uint32_t(Data.size()));
    Movi += Chunk(Id.c_str(), Data);
  };
  if (C.Junk)
    Movi += Chunk("JUNK", TBytes(6, '\0'));
  for (size_t I = 0; I < C.Frames.size(); ++I) {
    const uint32_t Key = C.Compression == 0 || I == 0 ? 0x10 : 0;
    if (C.RecLists) {
      TBytes Rec;
      if (C.AudioFirst)
        Rec += Chunk("00wb", TBytes(4, char(0x80)));
      Rec += Chunk(FrameId.c_str(), C.Frames[I]);
      Movi += List("rec ", Rec);
    } else {
      if (C.AudioFirst)
        Add("00wb", TBytes(4, char(0x80)), 0x10);
      Add(FrameId, C.Frames[I], Key);
    }
  }

  uint32_t Largest = 0;
  for (const TBytes &F : C.Frames)
    Largest = std::max<uint32_t>(Largest, uint32_t(F.size()));

  TBytes Avih;
  Put32(Avih, C.MicroSecPerFrame);
  Put32(Avih, 0);  // max bytes per second
  Put32(Avih, 0);  // padding granularity
  Put32(Avih, C.Index ? 0x10 : 0);  // has an index
  Put32(Avih, uint32_t(C.Frames.size()));
  Put32(Avih, 0);  // initial frames
  Put32(Avih, C.AudioFirst ? 2 : 1);
  Put32(Avih, Largest);
  Put32(Avih, uint32_t(C.Width));
  Put32(Avih, uint32_t(AbsHeight));
  Avih += TBytes(16, '\0');

  TBytes Streams;
  if (C.AudioFirst) {
    TBytes Strh = "auds";
    Put32(Strh, 0);  // handler
    Put32(Strh, 0);  // flags
    Put32(Strh, 0);  // priority, language
    Put32(Strh, 0);  // initial frames
    Put32(Strh, 1);  // scale
    Put32(Strh, 8000);  // rate
    Put32(Strh, 0);  // start
    Put32(Strh, uint32_t(4 * C.Frames.size()));
    Put32(Strh, 4);  // suggested buffer
    Put32(Strh, 0xFFFFFFFF);  // quality
    Put32(Strh, 1);  // sample size
    Put32(Strh, 0);
    Put32(Strh, 0);  // frame rectangle
    TBytes Wave;
    Put16(Wave, 1);  // PCM
    Put16(Wave, 1);  // channels
    Put32(Wave, 8000);
    Put32(Wave, 8000);
    Put16(Wave, 1);  // block align
    Put16(Wave, 8);  // bits
    Put16(Wave, 0);
    Streams += List("strl", Chunk("strh", Strh) + Chunk("strf", Wave));
  }
  TBytes Strh = "vids";
  Strh += C.Compression ? "RLE " : "DIB ";
  Put32(Strh, 0);  // flags
  Put32(Strh, 0);  // priority, language
  Put32(Strh, 0);  // initial frames
  Put32(Strh, C.Scale);
  Put32(Strh, C.Rate);
  Put32(Strh, 0);  // start
  Put32(Strh, uint32_t(C.Frames.size()));
  Put32(Strh, Largest);
  Put32(Strh, 0xFFFFFFFF);  // quality
  Put32(Strh, 0);  // sample size
  Put16(Strh, 0);
  Put16(Strh, 0);
  Put16(Strh, uint32_t(C.Width));
  Put16(Strh, uint32_t(AbsHeight));

  TBytes Bih;
  Put32(Bih, 40);
  Put32(Bih, uint32_t(C.Width));
  Put32(Bih, uint32_t(C.Height));
  Put16(Bih, 1);  // planes
  Put16(Bih, uint32_t(C.Bits));
  Put32(Bih, C.Compression);
  Put32(Bih, Largest);
  Put32(Bih, 2835);  // 72 dots per inch
  Put32(Bih, 2835);
  Put32(Bih, uint32_t(C.Palette.size()));
  Put32(Bih, 0);
  for (uint32_t Rgb : C.Palette)
    Put32(Bih, Rgb & 0xFFFFFF);  // blue, green, red, 0 in the file's byte order
  Streams += List("strl", Chunk("strh", Strh) + Chunk("strf", Bih));

  TBytes Body = "AVI ";
  Body += List("hdrl", Chunk("avih", Avih) + Streams);
  Body += List("movi", Movi.substr(4));
  if (C.Index)
    Body += Chunk("idx1", Idx);
  TBytes File = "RIFF";
  Put32(File, uint32_t(Body.size()));
  return File + Body;
}

// Uncompressed rows, bottom row first unless top-down, each padded to 4
// bytes with a filler the reader must skip.
TBytes Bitmap(int Width, int Height, int Bits, const std::vector<std::vector<uint32_t>> &Rows) {
  TBytes S;
  const int Stride = (Width * Bits + 31) / 32 * 4;
  for (int I = 0; I < (Height < 0 ? -Height : Height); ++I) {
    const std::vector<uint32_t> &Row = Rows[size_t(Height < 0 ? I : Height - 1 - I)];
    TBytes Line;
    for (uint32_t V : Row) {
      switch (Bits) {
      case 8:
        Line += char(V);
        break;
      case 16:
        Put16(Line, V);
        break;
      case 24:  // 0xRRGGBB as blue, green, red
        Line += char(V & 0xFF);
        Line += char(V >> 8 & 0xFF);
        Line += char(V >> 16 & 0xFF);
        break;
      default:  // 32: blue, green, red and a byte the picture ignores
        Line += char(V & 0xFF);
        Line += char(V >> 8 & 0xFF);
        Line += char(V >> 16 & 0xFF);
        Line += char(0x5A);
        break;
      }
    }
    Line.resize(size_t(Stride), char(0xEE));
    S += Line;
  }
  return S;
}

TBytes Raw(std::initializer_list<int> Bytes) {
  TBytes S;
  for (int B : Bytes)
    S += char(B);
  return S;
}

// Run-length codes for a whole picture of palette indexes (top row first):
// runs of three or more as counts, the rest as literal stretches.
TBytes Rle8(int Width, int Height, const std::vector<uint8_t> &Pixels) {
  TBytes S;
  for (int Y = Height - 1; Y >= 0; --Y) {
    const uint8_t *Row = Pixels.data() + size_t(Y) * size_t(Width);
    int X = 0;
    while (X < Width) {
      int Run = 1;
      while (X + Run < Width && Run < 255 && Row[X + Run] == Row[X])
        ++Run;
      if (Run >= 3) {
        S += char(Run);
        S += char(Row[X]);
        X += Run;
        continue;
      }
      // A literal stretch ends where a run of three begins.
      int End = X;
      while (End < Width && End - X < 255 &&
             !(End + 2 < Width && Row[End] == Row[End + 1] && Row[End] == Row[End + 2]))
        ++End;
      const int Len = End - X;
      if (Len < 3) {  // literal mode needs three or more
        for (int I = 0; I < Len; ++I) {
          S += char(1);
          S += char(Row[X + I]);
        }
      } else {
        S += char(0);
        S += char(Len);
        S.append(reinterpret_cast<const char *>(Row + X), size_t(Len));
        if (Len & 1)
          S += char(0);
      }
      X = End;
    }
    S += char(0);
    S += char(Y == 0 ? 1 : 0);  // end of line, or of the picture
  }
  return S;
}

// The cart: a simple canvas of palette indexes.
class TCanvas {
public:
  TCanvas(int W, int H, uint8_t Back) : W(W), H(H), Px(size_t(W) * size_t(H), Back) {}
  void Dot(int X, int Y, uint8_t C) {
    if (X >= 0 && X < W && Y >= 0 && Y < H)
      Px[size_t(Y) * size_t(W) + size_t(X)] = C;
  }
  void Line(int X0, int Y0, int X1, int Y1, uint8_t C) {
    const int Dx = X1 > X0 ? X1 - X0 : X0 - X1, Sx = X0 < X1 ? 1 : -1;
    const int Dy = -(Y1 > Y0 ? Y1 - Y0 : Y0 - Y1), Sy = Y0 < Y1 ? 1 : -1;
    int Err = Dx + Dy;
    for (;;) {
      Dot(X0, Y0, C);
      if (X0 == X1 && Y0 == Y1)
        break;
      const int E2 = 2 * Err;
      if (E2 >= Dy) {
        Err += Dy;
        X0 += Sx;
      }
      if (E2 <= Dx) {
        Err += Dx;
        Y0 += Sy;
      }
    }
  }
  void Box(int X0, int Y0, int X1, int Y1, uint8_t C) {
    for (int Y = Y0; Y <= Y1; ++Y)
      for (int X = X0; X <= X1; ++X)
        Dot(X, Y, C);
  }
  void Disc(int Cx, int Cy, int R, uint8_t C) {
    for (int Y = -R; Y <= R; ++Y)
      for (int X = -R; X <= R; ++X)
        if (X * X + Y * Y <= R * R + R)
          Dot(Cx + X, Cy + Y, C);
  }
  const std::vector<uint8_t> &Pixels() const { return Px; }

private:
  int W, H;
  std::vector<uint8_t> Px;
};

// Sine and cosine of a quarter turn in 30 steps, in thousandths, and the
// bounce of the chip.
const int Sin3[30] = {0,   52,  105, 156, 208, 259, 309, 358, 407, 454, 500, 545, 588, 629, 669,
                      707, 743, 777, 809, 839, 866, 891, 914, 934, 951, 966, 978, 988, 995, 999};
const int Cos3[30] = {1000, 999, 995, 988, 978, 966, 951, 934, 914, 891, 866, 839, 809, 777, 743,
                      707,  669, 629, 588, 545, 500, 454, 407, 358, 309, 259, 208, 156, 105, 52};
const int Bounce[30] = {0, 1, 2, 2, 3, 3, 4, 4, 4, 4, 3, 3, 2, 2, 1, 0, 1, 2, 2, 3, 3, 4, 4, 4, 4, 3, 3, 2, 2, 1};

int Scaled(int R, int Thousandths) { return (R * Thousandths + (Thousandths >= 0 ? 500 : -500)) / 1000; }

enum : uint8_t { White, Navy, Mesh, Tyre, Hub, Red, Chip, Pin, Speed };

TClip Cart() {
  TClip C;
  C.Width = 55;
  C.Height = 45;
  C.Compression = 1;
  C.Palette = {0xFFFFFF, 0x1A3A8A, 0x9CB2E6, 0x303030, 0xA0A0A0, 0xCC2222, 0x202020, 0xC8C8C8, 0xB8C8E8};
  C.Scale = 1;
  C.Rate = 15;
  C.MicroSecPerFrame = 66667;
  for (int F = 0; F < 30; ++F) {
    TCanvas K(55, 45, White);
    // Speed lines drift back behind the cart, in a period that divides the loop.
    for (int L = 0; L < 3; ++L) {
      const int Y = 14 + 7 * L, Start = (20 - F * 2 % 10 + L * 3) % 10;
      for (int X = Start - 10; X < 12; X += 10)
        K.Line(X, Y, X + 4, Y, Speed);
    }
    // A chip bobs above the basket, drawn first so the rim passes in front of it.
    const int Top = 9 - Bounce[F];
    K.Box(24, Top, 34, Top + 6, Chip);
    for (int X = 25; X <= 33; X += 2) {
      K.Dot(X, Top - 1, Pin);
      K.Dot(X, Top + 7, Pin);
    }
    K.Dot(25, Top + 1, Red);
    // The basket: a trapezoid with a wire mesh.
    for (int Y = 15; Y <= 29; Y += 4)
      K.Line(13 + (Y - 15) / 5, Y, 48 - (Y - 15) / 5, Y, Mesh);
    for (int X = 18; X <= 44; X += 5)
      K.Line(X, 15, X - (X - 31) / 6, 29, Mesh);
    K.Line(12, 14, 49, 14, Navy);
    K.Line(12, 14, 16, 30, Navy);
    K.Line(49, 14, 45, 30, Navy);
    K.Line(16, 30, 45, 30, Navy);
    // Handle and chassis.
    K.Line(12, 14, 8, 7, Navy);
    K.Box(3, 6, 9, 7, Red);
    K.Line(16, 30, 14, 35, Navy);
    K.Line(14, 35, 47, 35, Navy);
    // Wheels with a turning cross of spokes.
    for (int Cx : {20, 41}) {
      const int Cy = 39;
      K.Disc(Cx, Cy, 4, Tyre);
      K.Disc(Cx, Cy, 2, Hub);
      const int Dx = Scaled(3, Cos3[F]), Dy = Scaled(3, Sin3[F]);
      K.Line(Cx - Dx, Cy - Dy, Cx + Dx, Cy + Dy, White);
      K.Line(Cx + Dy, Cy - Dx, Cx - Dy, Cy + Dx, White);
      K.Dot(Cx, Cy, Red);
    }
    C.Frames.push_back(Rle8(55, 45, K.Pixels()));
  }
  return C;
}

// The test clips. Their pixels are written down again, independently, in
// tests/animate/AviClipTest.cpp: change both together.
TClip Rgb24(bool Index) {
  TClip C;
  C.Width = 5;
  C.Height = 3;
  C.Bits = 24;
  C.Rate = 10;
  C.Scale = 1;
  C.MicroSecPerFrame = 100000;
  C.Index = Index;
  C.RecLists = !Index;
  C.Junk = !Index;
  C.Frames.push_back(Bitmap(5, 3, 24,
                            {{0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000},
                             {0x123456, 0x789ABC, 0xDEF012, 0x345678, 0x9ABCDE},
                             {0x808080, 0xFF8000, 0x0080FF, 0x80FF00, 0xFF0080}}));
  C.Frames.push_back(Bitmap(5, 3, 24,
                            {{0x000000, 0xFFFFFF, 0x0000FF, 0x00FF00, 0xFF0000},
                             {0x010203, 0x040506, 0x070809, 0x0A0B0C, 0x0D0E0F},
                             {0xF0E0D0, 0xC0B0A0, 0x908070, 0x605040, 0x302010}}));
  return C;
}

TClip Rgb8() {
  TClip C;
  C.Width = 3;
  C.Height = 2;
  C.Bits = 8;
  C.Palette = {0x000000, 0xFF0000, 0x00FF00, 0x2040C0};
  C.Rate = 15;
  C.Scale = 1;
  C.MicroSecPerFrame = 50000;
  C.AudioFirst = true;
  C.Frames.push_back(Bitmap(3, 2, 8, {{1, 2, 3}, {0, 200, 1}}));
  C.Frames.push_back(Bitmap(3, 2, 8, {{3, 3, 2}, {1, 0, 0}}));
  return C;
}

TClip Rgb16() {
  TClip C;
  C.Width = 3;
  C.Height = 2;
  C.Bits = 16;
  C.Rate = 0;  // the main header's figure applies
  C.Scale = 0;
  C.MicroSecPerFrame = 125000;
  C.Frames.push_back(Bitmap(3, 2, 16, {{0x7C00, 0x03E0, 0x001F}, {0x4210, 0xFFFF, 0x0C63}}));
  C.Frames.push_back(TBytes());  // a dropped frame: the last one stays
  return C;
}

TClip Rgb32() {
  TClip C;
  C.Width = 2;
  C.Height = -2;
  C.Bits = 32;
  C.Rate = 30;
  C.Scale = 1;
  C.MicroSecPerFrame = 33333;
  C.Frames.push_back(Bitmap(2, -2, 32, {{0x102030, 0x405060}, {0x708090, 0xA0B0C0}}));
  C.Frames.push_back(Bitmap(2, -2, 32, {{0xFFFFFF, 0x000000}, {0x00FF00, 0xFF00FF}}));
  return C;
}

// Every kind of run-length code, written out by hand.
TClip Rle8Codes() {
  TClip C;
  C.Width = 6;
  C.Height = 4;
  C.Compression = 1;
  C.Palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
  C.Rate = 25;
  C.Scale = 2;
  C.MicroSecPerFrame = 50000;
  C.Index = false;
  C.Frames.push_back(Raw({6, 1, 0, 0,                  // bottom row red
                          0, 3, 2, 3, 2, 0, 3, 4, 0, 0,  // literal G B G (padded), then 3 white
                          2, 3, 0, 0,                    // 2 blue, the rest untouched
                          1, 1, 0, 4, 2, 3, 4, 2,        // R, then literal G B W G
                          0, 1}));                       // end of picture
  C.Frames.push_back(Raw({0, 2, 2, 1,                    // move to (2, 1)
                          2, 4,                          // 2 white
                          0, 2, 0, 2,                    // move to (4, 3)
                          1, 3,                          // 1 blue
                          0, 1}));
  C.Frames.push_back(Raw({0, 0, 0, 0,                    // skip two rows
                          4, 3, 0, 0,                    // 4 blue
                          8, 2}));                       // 8 green, cut at the edge; no end code
  C.Frames.push_back(TBytes());                          // a dropped frame
  return C;
}

bool Save(const std::string &Path, const TBytes &Data) {
  std::ofstream F(Path, std::ios::binary | std::ios::trunc);
  F.write(Data.data(), std::streamsize(Data.size()));
  if (!F) {
    std::fprintf(stderr, "make_avi: cannot write %s\n", Path.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_avi <folder for syscrt.avi> <folder for the test clips>\n");
    return 2;
  }
  const std::string Clips = argv[1], Tests = argv[2];
  const bool Ok = Save(Clips + "/syscrt.avi", WriteAvi(Cart())) &&
                  Save(Tests + "/rgb24.avi", WriteAvi(Rgb24(true))) &&
                  Save(Tests + "/rgb24_noidx.avi", WriteAvi(Rgb24(false))) &&
                  Save(Tests + "/rgb8.avi", WriteAvi(Rgb8())) &&
                  Save(Tests + "/rgb16.avi", WriteAvi(Rgb16())) &&
                  Save(Tests + "/rgb32.avi", WriteAvi(Rgb32())) &&
                  Save(Tests + "/rle8.avi", WriteAvi(Rle8Codes()));
  return Ok ? 0 : 1;
}
