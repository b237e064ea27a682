#include "animate/AviClip.h"

#include "platform/Paths.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr uint32_t BI_RGB = 0, BI_RLE8 = 1;

uint32_t FourCC(const char (&S)[5]) {
  return uint32_t(uint8_t(S[0])) | uint32_t(uint8_t(S[1])) << 8 | uint32_t(uint8_t(S[2])) << 16 |
         uint32_t(uint8_t(S[3])) << 24;
}

const uint32_t ccRIFF = FourCC("RIFF"), ccAVI = FourCC("AVI "), ccLIST = FourCC("LIST"),
               cchdrl = FourCC("hdrl"), ccavih = FourCC("avih"), ccstrl = FourCC("strl"),
               ccstrh = FourCC("strh"), ccstrf = FourCC("strf"), ccvids = FourCC("vids"),
               ccmovi = FourCC("movi"), ccrec = FourCC("rec "), ccidx1 = FourCC("idx1");

// A four-character code as text for a message, hex when not printable.
std::string CodeText(uint32_t C) {
  std::string S;
  for (int I = 0; I < 4; ++I) {
    const char Ch = char(C >> (8 * I));
    if (Ch < 32 || Ch > 126) {
      char Buf[16];
      std::snprintf(Buf, sizeof Buf, "0x%08X", C);
      return Buf;
    }
    S += Ch;
  }
  return "'" + S + "'";
}

// Bounds-checked little-endian reads over the file's bytes.
class TBytes {
public:
  explicit TBytes(const std::string &D) : P(reinterpret_cast<const uint8_t *>(D.data())), N(D.size()) {}
  size_t Size() const { return N; }
  const uint8_t *At(size_t Pos) const { return P + Pos; }
  uint32_t U32(size_t Pos) const {
    return Pos + 4 <= N ? uint32_t(P[Pos]) | uint32_t(P[Pos + 1]) << 8 | uint32_t(P[Pos + 2]) << 16 |
                              uint32_t(P[Pos + 3]) << 24
                        : 0;
  }
  uint16_t U16(size_t Pos) const { return Pos + 2 <= N ? uint16_t(P[Pos] | P[Pos + 1] << 8) : 0; }

private:
  const uint8_t *P;
  size_t N;
};

// One chunk inside a list: its code, the range of its data and, for a LIST,
// the list type (its contents then start 4 bytes further on).
struct TRiffChunk {
  uint32_t Id;
  size_t Data, Size;
  uint32_t ListType;
};

// Walks the chunks between Begin and End. Fewer than 8 bytes left over are
// ignored (nothing can start there); a chunk reaching past End is a lie.
template <class F>
bool EachChunk(const TBytes &B, size_t Begin, size_t End, std::string &Why, F &&Visit) {
  size_t Pos = Begin;
  while (Pos <= End && End - Pos >= 8) {
    TRiffChunk C{B.U32(Pos), Pos + 8, B.U32(Pos + 4), 0};
    if (C.Size > End - C.Data) {
      Why = "chunk " + CodeText(C.Id) + " claims " + std::to_string(C.Size) + " bytes, only " +
            std::to_string(End - C.Data) + " remain in its list";
      return false;
    }
    if (C.Id == ccLIST) {
      if (C.Size < 4) {
        Why = "a list too short for its type";
        return false;
      }
      C.ListType = B.U32(C.Data);
    }
    if (!Visit(C))
      return false;
    // Chunks are padded to an even size; the last may end without its pad.
    Pos = C.Data + C.Size;
    if ((C.Size & 1) && Pos < End)
      ++Pos;
  }
  return true;
}

bool IsFrameChunk(uint32_t Id, int Stream) {
  const char Tens = char('0' + Stream / 10), Ones = char('0' + Stream % 10);
  const char C0 = char(Id), C1 = char(Id >> 8), C2 = char(Id >> 16), C3 = char(Id >> 24);
  return C0 == Tens && C1 == Ones && C2 == 'd' && (C3 == 'b' || C3 == 'c');
}

}  // namespace

bool TAviClip::Fail(std::string Why) {
  Clear();
  FError = std::move(Why);
  return false;
}

void TAviClip::Clear() {
  FData.clear();
  FError.clear();
  FFrames.clear();
  FPalette.clear();
  FWidth = FHeight = FBitCount = 0;
  FRle = FTopDown = false;
  FFrameTime = 0;
  FStride = 0;
  FCanvas.clear();
  FCanvasFrame = 0;
}

bool TAviClip::LoadFromFile(const std::string &FileName) {
  if (!kv::FileExists(FileName))
    return Fail("the file \"" + FileName + "\" does not exist");
  if (kv::FileSize(FileName) > MaxFileSize)
    return Fail("the file is larger than a clip can be");
  std::string Data;
  if (!kv::ReadFileToString(FileName, Data))
    return Fail("the file \"" + FileName + "\" cannot be read");
  if (int64_t(Data.size()) > MaxFileSize)
    return Fail("the file is larger than a clip can be");
  return LoadFromData(std::move(Data));
}

bool TAviClip::LoadFromData(std::string Data) {
  Clear();
  FData = std::move(Data);
  return Parse();
}

bool TAviClip::Parse() {
  const TBytes B(FData);
  if (B.Size() < 12 || B.U32(0) != ccRIFF || B.U32(8) != ccAVI)
    return Fail("not an AVI file");
  const uint64_t RiffEnd = uint64_t(B.U32(4)) + 8;
  if (RiffEnd < 12)
    return Fail("not an AVI file");
  if (RiffEnd > B.Size())
    return Fail("the file is truncated: it claims " + std::to_string(RiffEnd) + " bytes and holds " +
                std::to_string(B.Size()));
  // Anything after the first RIFF form (an extension form) is not ours to play.
  const size_t End = size_t(RiffEnd);

  std::string Why;
  bool HaveHdrl = false, HaveMovi = false, HaveIdx = false;
  TRiffChunk Hdrl{}, Movi{}, Idx{};
  if (!EachChunk(B, 12, End, Why, [&](const TRiffChunk &C) {
        if (C.Id == ccLIST && C.ListType == cchdrl && !HaveHdrl) {
          Hdrl = C;
          HaveHdrl = true;
        } else if (C.Id == ccLIST && C.ListType == ccmovi && !HaveMovi) {
          Movi = C;
          HaveMovi = true;
        } else if (C.Id == ccidx1 && !HaveIdx) {
          Idx = C;
          HaveIdx = true;
        }
        return true;
      }))
    return Fail(Why);
  if (!HaveHdrl)
    return Fail("no header list");
  if (!HaveMovi)
    return Fail("no movie data");

  // The main header and the first video stream.
  bool HaveAvih = false, HaveVideo = false, HaveFormat = false;
  uint32_t MicroSecPerFrame = 0, Scale = 0, Rate = 0;
  size_t Format = 0, FormatSize = 0;
  int Stream = -1, Streams = 0;
  if (!EachChunk(B, Hdrl.Data + 4, Hdrl.Data + Hdrl.Size, Why, [&](const TRiffChunk &C) {
        if (C.Id == ccavih && !HaveAvih) {
          if (C.Size < 56) {
            Why = "the main header is too short";
            return false;
          }
          MicroSecPerFrame = B.U32(C.Data);
          HaveAvih = true;
        } else if (C.Id == ccLIST && C.ListType == ccstrl) {
          const int Index = Streams++;
          if (HaveVideo)
            return true;
          bool IsVideo = false;
          return EachChunk(B, C.Data + 4, C.Data + C.Size, Why, [&](const TRiffChunk &S) {
            if (S.Id == ccstrh && !IsVideo) {
              if (S.Size < 48) {
                Why = "a stream header is too short";
                return false;
              }
              if (B.U32(S.Data) != ccvids)
                return true;
              IsVideo = HaveVideo = true;
              Stream = Index;
              Scale = B.U32(S.Data + 20);
              Rate = B.U32(S.Data + 24);
            } else if (S.Id == ccstrf && IsVideo && !HaveFormat) {
              Format = S.Data;
              FormatSize = S.Size;
              HaveFormat = true;
            }
            return true;
          });
        }
        return true;
      }))
    return Fail(Why);
  if (!HaveAvih)
    return Fail("no main header");
  if (!HaveVideo)
    return Fail("no video stream");
  if (Stream > 99)
    return Fail("the video stream has no chunk name of its own");
  if (!HaveFormat)
    return Fail("the video stream has no format");

  // The bitmap header and its palette.
  const uint32_t BiSize = B.U32(Format);
  if (FormatSize < 40 || BiSize < 40 || BiSize > FormatSize)
    return Fail("the video format is not a bitmap header");
  const int64_t W = int32_t(B.U32(Format + 4)), H = int32_t(B.U32(Format + 8));
  const int Bits = B.U16(Format + 14);
  const uint32_t Compression = B.U32(Format + 16);
  const uint32_t ClrUsed = B.U32(Format + 32);
  if (Compression == BI_RLE8) {
    if (Bits != 8)
      return Fail("run-length frames of " + std::to_string(Bits) + " bits are not supported");
    FRle = true;
  } else if (Compression == BI_RGB) {
    if (Bits != 8 && Bits != 16 && Bits != 24 && Bits != 32)
      return Fail("uncompressed frames of " + std::to_string(Bits) + " bits are not supported");
  } else {
    return Fail("the codec " + CodeText(Compression) + " is not supported");
  }
  if (W < 1 || W > MaxSide || H == 0 || H < -MaxSide || H > MaxSide)
    return Fail("absurd picture size " + std::to_string(W) + " x " + std::to_string(H));
  FWidth = int(W);
  FHeight = int(H < 0 ? -H : H);
  FTopDown = H < 0;
  FBitCount = Bits;
  if (FTopDown && FRle)
    return Fail("run-length frames cannot be top-down");
  if (Bits == 8) {
    const uint64_t Count = ClrUsed ? ClrUsed : 256;
    if (Count > 256)
      return Fail("a palette of " + std::to_string(Count) + " colours");
    if (Count * 4 > FormatSize - BiSize)
      return Fail("the palette runs past the video format");
    FPalette.assign(256, qRgb(0, 0, 0));
    for (size_t I = 0; I < Count; ++I) {
      const uint8_t *E = B.At(Format + BiSize + I * 4);  // blue, green, red, reserved
      FPalette[I] = qRgb(E[2], E[1], E[0]);
    }
  }
  FStride = (size_t(FWidth) * size_t(Bits) + 31) / 32 * 4;

  if (Scale && Rate)
    FFrameTime = int64_t((uint64_t(Scale) * 1000000 + Rate / 2) / Rate);
  else if (MicroSecPerFrame)
    FFrameTime = MicroSecPerFrame;
  else
    return Fail("no frame rate");
  FFrameTime = std::max<int64_t>(FFrameTime, 1);

  // The frames: from the index when it lists any of the stream, else from
  // the movie data itself (inside 'rec ' lists too).
  const size_t MoviBase = Movi.Data, MoviEnd = Movi.Data + Movi.Size;
  std::vector<TChunk> Frames;
  if (HaveIdx) {
    // Offsets count from the 'movi' code; some writers count from the file's start.
    int64_t Base = -1;
    for (size_t E = Idx.Data; E + 16 <= Idx.Data + Idx.Size; E += 16) {
      const uint32_t Id = B.U32(E), Offset = B.U32(E + 8), Size = B.U32(E + 12);
      if (!IsFrameChunk(Id, Stream))
        continue;
      if (Base < 0) {
        if (uint64_t(MoviBase) + Offset + 8 <= MoviEnd && B.U32(MoviBase + Offset) == Id)
          Base = int64_t(MoviBase);
        else if (uint64_t(Offset) >= MoviBase && uint64_t(Offset) + 8 <= MoviEnd && B.U32(Offset) == Id)
          Base = 0;
        else
          return Fail("the index does not match the movie data");
      }
      const uint64_t Header = uint64_t(Base) + Offset;
      if (Header < MoviBase + 4 || Header + 8 > MoviEnd || Size > MoviEnd - Header - 8 ||
          B.U32(size_t(Header)) != Id || B.U32(size_t(Header) + 4) != Size)
        return Fail("index entry " + std::to_string((E - Idx.Data) / 16 + 1) +
                    " does not match the movie data");
      Frames.push_back({size_t(Header) + 8, Size});
    }
  }
  if (Frames.empty()) {
    auto Take = [&](const TRiffChunk &C) {
      if (IsFrameChunk(C.Id, Stream))
        Frames.push_back({C.Data, C.Size});
      return true;
    };
    // 'rec ' lists sit directly in the movie data; deeper nesting is not looked into.
    if (!EachChunk(B, MoviBase + 4, MoviEnd, Why, [&](const TRiffChunk &C) {
          if (C.Id == ccLIST && C.ListType == ccrec)
            return EachChunk(B, C.Data + 4, C.Data + C.Size, Why, Take);
          return Take(C);
        }))
      return Fail(Why);
  }
  if (Frames.empty())
    return Fail("no frames");

  // Every frame must be whole before anything plays: uncompressed ones hold a
  // full picture (or nothing: a dropped frame), run-length ones decode.
  if (FRle) {
    FCanvas.assign(size_t(FWidth) * size_t(FHeight), 0);
    for (size_t I = 0; I < Frames.size(); ++I)
      if (!ApplyRle(Frames[I], Why))
        return Fail("frame " + std::to_string(I + 1) + ": " + Why);
    FCanvasFrame = int(Frames.size());
  } else {
    const uint64_t Need = uint64_t(FStride) * uint64_t(FHeight);
    for (size_t I = 0; I < Frames.size(); ++I) {
      if (Frames[I].Size != 0 && Frames[I].Size < Need)
        return Fail("frame " + std::to_string(I + 1) + " holds " + std::to_string(Frames[I].Size) +
                    " bytes, a picture needs " + std::to_string(Need));
      // A dropped (empty) frame repeats the one before it.
      if (Frames[I].Size == 0 && I > 0)
        Frames[I] = Frames[I - 1];
    }
  }
  FFrames = std::move(Frames);
  return true;
}

// Applies one run-length frame to the canvas. Runs and moves that leave the
// picture are clipped at its edge; a code cut off by the end of the data is
// an error, the end of the data without an end-of-picture code is not.
bool TAviClip::ApplyRle(const TChunk &C, std::string &Why) {
  const uint8_t *P = reinterpret_cast<const uint8_t *>(FData.data()) + C.Offset;
  const size_t N = C.Size;
  const int W = FWidth, H = FHeight;
  int X = 0, Y = 0;  // Y counts from the bottom row
  auto Put = [&](uint8_t V) {
    if (X < W && Y < H)
      FCanvas[size_t(Y) * size_t(W) + size_t(X)] = V;
    if (X < W)
      ++X;
  };
  size_t Pos = 0;
  while (Pos < N) {
    if (N - Pos < 2) {
      Why = "the run-length data is cut off";
      return false;
    }
    const uint8_t Count = P[Pos], Value = P[Pos + 1];
    Pos += 2;
    if (Count) {
      for (int I = 0; I < Count && X < W; ++I)
        Put(Value);
      continue;
    }
    switch (Value) {
    case 0:  // end of line
      X = 0;
      Y = std::min(Y + 1, H);
      break;
    case 1:  // end of picture
      return true;
    case 2:  // move right and up
      if (N - Pos < 2) {
        Why = "the run-length data is cut off";
        return false;
      }
      X = std::min(X + P[Pos], W);
      Y = std::min(Y + P[Pos + 1], H);
      Pos += 2;
      break;
    default:  // Value literal indexes, padded to an even count
      if (N - Pos < Value) {
        Why = "the run-length data is cut off";
        return false;
      }
      for (int I = 0; I < Value; ++I)
        Put(P[Pos + size_t(I)]);
      Pos += Value;
      if ((Value & 1) && Pos < N)
        ++Pos;
      break;
    }
  }
  return true;
}

QImage TAviClip::FromCanvas() const {
  QImage Img(FWidth, FHeight, QImage::Format_RGB32);
  for (int Y = 0; Y < FHeight; ++Y) {
    const uint8_t *Src = FCanvas.data() + size_t(FHeight - 1 - Y) * size_t(FWidth);
    QRgb *Dst = reinterpret_cast<QRgb *>(Img.scanLine(Y));
    for (int X = 0; X < FWidth; ++X)
      Dst[X] = FPalette[Src[X]];
  }
  return Img;
}

QImage TAviClip::FromBitmap(const TChunk &C) const {
  QImage Img(FWidth, FHeight, QImage::Format_RGB32);
  const uint8_t *Bits = reinterpret_cast<const uint8_t *>(FData.data()) + C.Offset;
  for (int Y = 0; Y < FHeight; ++Y) {
    const uint8_t *Src = Bits + size_t(FTopDown ? Y : FHeight - 1 - Y) * FStride;
    QRgb *Dst = reinterpret_cast<QRgb *>(Img.scanLine(Y));
    for (int X = 0; X < FWidth; ++X) {
      switch (FBitCount) {
      case 8:
        Dst[X] = FPalette[Src[X]];
        break;
      case 16: {  // 5-5-5, the top bit unused
        const unsigned V = unsigned(Src[2 * X]) | unsigned(Src[2 * X + 1]) << 8;
        const unsigned R = V >> 10 & 31, G = V >> 5 & 31, Bl = V & 31;
        Dst[X] = qRgb(int(R << 3 | R >> 2), int(G << 3 | G >> 2), int(Bl << 3 | Bl >> 2));
        break;
      }
      case 24:
        Dst[X] = qRgb(Src[3 * X + 2], Src[3 * X + 1], Src[3 * X]);
        break;
      default:  // 32: blue, green, red, unused
        Dst[X] = qRgb(Src[4 * X + 2], Src[4 * X + 1], Src[4 * X]);
        break;
      }
    }
  }
  return Img;
}

QImage TAviClip::Frame(int N) {
  if (N < 1 || N > FrameCount())
    return QImage();
  if (FRle) {
    if (N < FCanvasFrame) {
      std::fill(FCanvas.begin(), FCanvas.end(), uint8_t(0));
      FCanvasFrame = 0;
    }
    std::string Why;
    for (; FCanvasFrame < N; ++FCanvasFrame)
      ApplyRle(FFrames[size_t(FCanvasFrame)], Why);  // checked when loaded
    return FromCanvas();
  }
  const TChunk &C = FFrames[size_t(N - 1)];
  if (C.Size != 0)
    return FromBitmap(C);
  QImage Black(FWidth, FHeight, QImage::Format_RGB32);  // dropped before any picture came
  Black.fill(qRgb(0, 0, 0));
  return Black;
}
