#include "GIFCodec.h"

#include <algorithm>
#include <cstring>

namespace kv::gif {

namespace {

// A cursor over the file; every read is checked against the end.
struct TReader {
  const uint8_t *P;
  size_t N;
  size_t Pos = 0;
  size_t Left() const { return N - Pos; }
  void Skip(size_t K) { Pos += std::min(K, Left()); }
  unsigned Word(size_t At) const { return P[At] | (P[At + 1] << 8); }
};

// Skips data sub-blocks up to and including the terminator, or to the end.
void SkipSubBlocks(TReader &R) {
  while (R.Pos < R.N) {
    const uint8_t Len = R.P[R.Pos++];
    if (Len == 0)
      return;
    R.Skip(Len);
  }
}

// Joins the data of the sub-blocks, so that a code may span any number of
// seams whatever the block lengths. Measured first, so it is copied once.
void GatherSubBlocks(TReader &R, std::vector<uint8_t> &Out) {
  size_t Total = 0, P = R.Pos;
  while (P < R.N) {
    const uint8_t Len = R.P[P++];
    if (Len == 0)
      break;
    const size_t K = std::min<size_t>(Len, R.N - P);
    Total += K;
    P += K;
  }
  Out.resize(Total);
  uint8_t *D = Out.data();
  while (R.Pos < R.N) {
    const uint8_t Len = R.P[R.Pos++];
    if (Len == 0)
      return;
    const size_t K = std::min<size_t>(Len, R.Left());
    if (K == 0)
      return;  // the data ends inside the length byte's block
    std::memcpy(D, R.P + R.Pos, K);
    D += K;
    R.Pos += K;
  }
}

constexpr int MaxCodes = 4096;

// Fills Out[0..Count) with the pixels in stream order and returns how many the
// data reached; the rest are zero. Malformed codes end the frame. Every table
// entry is the previous code's string plus one byte, which the output already
// holds in one piece, so an entry is kept as a position and a length in Out
// and a code is written by copying: no string stack, no chains to follow,
// nothing to cycle.
size_t DecodeLZW(int MinCodeSize, const uint8_t *Src, size_t SrcLen, uint8_t *Out, size_t Count) {
  size_t Pos = 0;
  if (MinCodeSize <= 11 && Count > 0) {
    uint32_t Start[MaxCodes];
    uint16_t Length[MaxCodes];
    const int Clear = 1 << MinCodeSize;
    const int End = Clear + 1;
    int Next = Clear + 2;
    int Width = MinCodeSize + 1;
    uint32_t CodeMask = (1u << Width) - 1;
    uint64_t Acc = 0;
    int NBits = 0;
    size_t Sp = 0;
    int Prev = -1;
    size_t PrevPos = 0;
    while (Pos < Count) {
      if (NBits < Width) {
        if (SrcLen - Sp >= 4) {
          uint32_t W;
          std::memcpy(&W, Src + Sp, 4);
          Acc |= uint64_t(W) << NBits;
          Sp += 4;
          NBits += 32;
        } else {
          while (NBits < Width && Sp < SrcLen) {
            Acc |= uint64_t(Src[Sp++]) << NBits;
            NBits += 8;
          }
          if (NBits < Width)
            break;
        }
      }
      const int Code = int(Acc & CodeMask);
      Acc >>= Width;
      NBits -= Width;
      if (Code < Clear) {
        if (Prev >= 0 && Next < MaxCodes) {
          Start[Next] = uint32_t(PrevPos);
          Length[Next] = uint16_t((Prev < Clear ? 1 : Length[Prev]) + 1);
          ++Next;
        }
        PrevPos = Pos;
        Out[Pos++] = uint8_t(Code);
        Prev = Code;
      } else if (Code == Clear) {
        Next = Clear + 2;
        Width = MinCodeSize + 1;
        CodeMask = (1u << Width) - 1;
        Prev = -1;
        continue;
      } else if (Code == End || Prev < 0 || Code > Next) {
        break;
      } else {
        const size_t PrevLen = Prev < Clear ? 1 : Length[Prev];
        size_t From, Len;
        if (Code == Next) {
          // Not in the table yet: the previous string plus its own first byte,
          // which overlaps the bytes being written.
          From = PrevPos;
          Len = PrevLen + 1;
        } else {
          From = Start[Code];
          Len = Length[Code];
        }
        if (Next < MaxCodes) {
          Start[Next] = uint32_t(PrevPos);
          Length[Next] = uint16_t(PrevLen + 1);
          ++Next;
        }
        PrevPos = Pos;
        const size_t Dist = Pos - From;
        if (Len > Count - Pos)
          Len = Count - Pos;
        uint8_t *Q = Out + Pos;
        const uint8_t *S = Out + From;
        if (Dist >= 16 && Len <= 16 && Count - Pos >= 16) {
          // Bytes written past Len are overwritten by the next codes, or
          // cleared below when the data ends.
          uint64_t A, B;
          std::memcpy(&A, S, 8);
          std::memcpy(&B, S + 8, 8);
          std::memcpy(Q, &A, 8);
          std::memcpy(Q + 8, &B, 8);
        } else if (Dist >= Len) {
          std::memcpy(Q, S, Len);
        } else {
          for (size_t I = 0; I < Len; ++I)
            Q[I] = S[I];
        }
        Pos += Len;
        Prev = Code;
      }
      if (Next >= (1 << Width) && Width < 12) {
        ++Width;
        CodeMask = (1u << Width) - 1;
      }
    }
  }
  if (Pos < Count)
    std::memset(Out + Pos, 0, Count - Pos);
  return Pos;
}

// Puts the rows of an interlaced frame, decoded in stream order, in their
// places: each cycle of the row permutation is followed with one spare row,
// so no second picture-sized buffer is needed.
void Deinterlace(uint8_t *Px, int W, int H) {
  static const int Start[4] = {0, 4, 2, 1};
  static const int Step[4] = {8, 8, 4, 2};
  std::vector<int> Dest;  // stream row -> picture row
  Dest.reserve(size_t(H));
  for (int P = 0; P < 4; ++P)
    for (int Y = Start[P]; Y < H; Y += Step[P])
      Dest.push_back(Y);
  std::vector<uint8_t> Hold(static_cast<size_t>(W)), Swap(static_cast<size_t>(W));
  std::vector<char> Done(size_t(H), 0);
  for (int S = 0; S < H; ++S) {
    if (Done[S] || Dest[S] == S) {
      Done[S] = 1;
      continue;
    }
    std::memcpy(Hold.data(), Px + size_t(S) * W, size_t(W));
    int T = Dest[S];
    while (T != S) {
      uint8_t *Row = Px + size_t(T) * W;
      std::memcpy(Swap.data(), Row, size_t(W));
      std::memcpy(Row, Hold.data(), size_t(W));
      Hold.swap(Swap);
      Done[T] = 1;
      T = Dest[T];
    }
    std::memcpy(Px + size_t(S) * W, Hold.data(), size_t(W));
    Done[S] = 1;
  }
}

}  // namespace

uint8_t Decode(const uint8_t *Data, size_t Size, TDecodedPicture &Picture) {
  Picture = TDecodedPicture{};
  if (Size == 0)
    return geNothing;
  if (Size > MaxFileSize || Size < 13 || std::memcmp(Data, "GIF", 3) != 0)
    return geNotGif;
  TReader R{Data, Size, 6};
  Picture.ScreenWidth = int(R.Word(6));
  Picture.ScreenHeight = int(R.Word(8));
  if (Picture.ScreenWidth > MaxScreenSide || Picture.ScreenHeight > MaxScreenSide)
    return geNotGif;
  const uint8_t ScreenFlags = Data[10];
  R.Pos = 13;
  if (ScreenFlags & 0x80) {
    Picture.HasGlobalTable = true;
    Picture.ColorDepth = (ScreenFlags & 7) + 1;
    const size_t K = std::min<size_t>(size_t(3) << Picture.ColorDepth, R.Left());
    std::memcpy(Picture.GlobalTable.data(), Data + R.Pos, K);
    R.Pos += K;
  }

  // The graphic control data applies to the next image only.
  uint8_t GceFlags = 0, GceIndex = 0;
  unsigned GceDelay = 0;
  std::string Comment;
  uint64_t Pixels = 0, Held = 0;
  std::vector<uint8_t> Lzw;
  auto Fail = [&Picture] {
    Picture = TDecodedPicture{};
    return geNotGif;
  };

  while (R.Pos < R.N) {
    const uint8_t B = Data[R.Pos];
    if (B == '!') {
      if (R.Left() < 2)
        break;
      const uint8_t Label = Data[R.Pos + 1];
      if (Label == 0x01) {
        R.Pos += 2;
        SkipSubBlocks(R);
      } else if (Label == 0xF9) {
        R.Pos += 2;
        if (R.Pos >= R.N)
          break;
        const uint8_t Len = Data[R.Pos++];
        if (Len >= 4 && R.Left() >= 4) {
          GceFlags = Data[R.Pos];
          GceDelay = R.Word(R.Pos + 1);
          GceIndex = Data[R.Pos + 3];
        }
        if (Len != 0) {
          R.Skip(Len);
          SkipSubBlocks(R);
        }
      } else if (Label == 0xFE) {
        R.Pos += 2;
        while (R.Pos < R.N) {
          const uint8_t Len = Data[R.Pos++];
          if (Len == 0)
            break;
          const size_t K = std::min<size_t>(Len, R.Left());
          Comment.append(reinterpret_cast<const char *>(Data + R.Pos), K);
          R.Pos += K;
        }
      } else if (Label == 0xFF) {
        R.Pos += 2;
        if (R.Pos >= R.N)
          break;
        const uint8_t Len = Data[R.Pos];
        if (Len == 11 && R.Left() >= 12 && std::memcmp(Data + R.Pos + 1, "NETSCAPE2.0", 11) == 0) {
          R.Pos += 12;
          if (R.Pos < R.N && Data[R.Pos] >= 3 && R.Left() >= 4)
            Picture.LoopCount = int(R.Word(R.Pos + 2));
        }
        SkipSubBlocks(R);
      } else {
        // An extension of another kind ends the reading, as any unknown block.
        break;
      }
    } else if (B == ',') {
      if (Picture.Frames.size() >= size_t(MaxFrames) || R.Left() < 10)
        break;
      TDecodedFrame F;
      F.Left = int(R.Word(R.Pos + 1));
      F.Top = int(R.Word(R.Pos + 3));
      F.Width = int(R.Word(R.Pos + 5));
      F.Height = int(R.Word(R.Pos + 7));
      const uint8_t Flags = Data[R.Pos + 9];
      R.Pos += 10;
      if (F.Left + F.Width > MaxScreenSide || F.Top + F.Height > MaxScreenSide)
        return Fail();
      // Counted once the frame is kept: a frame cut short before its data
      // adds nothing to what the others may claim.
      const size_t Count = size_t(F.Width) * size_t(F.Height);
      if (Pixels + Count > MaxDecodedPixels)
        return Fail();
      F.Interlaced = (Flags & 0x40) != 0;
      if (Flags & 0x80) {
        F.HasLocalTable = true;
        F.Bits = (Flags & 7) + 1;
        const size_t K = size_t(3) << F.Bits;
        if (R.Left() < K)
          break;
        std::memcpy(F.Palette.data(), Data + R.Pos, K);
        R.Pos += K;
      } else {
        F.Palette = Picture.GlobalTable;
      }
      const int Disposal = (GceFlags >> 2) & 7;
      F.Disposal = Disposal > 3 ? 2 : Disposal;
      F.Delay = std::max(int(GceDelay) * 10, 1);
      F.Transparent = (GceFlags & 1) != 0;
      F.TransparentIndex = GceIndex;

      // Room for what the data can hold; the claimed rest is index 0, and
      // only a bounded amount of it is accepted.
      int MinCodeSize = 12;  // no data: nothing decodes
      Lzw.clear();
      if (R.Pos < R.N) {
        MinCodeSize = Data[R.Pos++];
        GatherSubBlocks(R, Lzw);
      }
      F.Indexes.resize(size_t(std::min<uint64_t>(Count, MostPixelsFrom(Lzw.size()))));
      Held += DecodeLZW(MinCodeSize, Lzw.data(), Lzw.size(), F.Indexes.data(), F.Indexes.size());
      if (Pixels + Count - Held > Held + MaxUnheldPixels)
        return Fail();
      Pixels += Count;
      F.Indexes.resize(Count);
      if (F.Interlaced && F.Height > 1 && Count > 0)
        Deinterlace(F.Indexes.data(), F.Width, F.Height);
      if (F.Transparent) {
        const int T = F.TransparentIndex;
        std::memcpy(F.TransparentColor.data(), F.Palette.data() + T * 3, 3);
        F.Mask.resize(Count);
        for (size_t I = 0; I < Count; ++I)
          F.Mask[I] = F.Indexes[I] == T;
        Picture.Transparent = true;
      }
      Picture.ColorDepth = std::max(Picture.ColorDepth, F.Bits);
      F.Comment = std::move(Comment);
      Comment.clear();
      GceFlags = GceIndex = 0;
      GceDelay = 0;
      Picture.Frames.push_back(std::move(F));
    } else {
      // The trailer, or anything else.
      break;
    }
  }

  Picture.Width = Picture.ScreenWidth;
  Picture.Height = Picture.ScreenHeight;
  int Right = 0, Bottom = 0;
  Picture.BoxLeft = Picture.BoxTop = MaxScreenSide;
  for (const TDecodedFrame &F : Picture.Frames) {
    Picture.Width = std::max(Picture.Width, F.Left + F.Width);
    Picture.Height = std::max(Picture.Height, F.Top + F.Height);
    if (F.Width == 0 || F.Height == 0)
      continue;
    Picture.BoxLeft = std::min(Picture.BoxLeft, F.Left);
    Picture.BoxTop = std::min(Picture.BoxTop, F.Top);
    Right = std::max(Right, F.Left + F.Width);
    Bottom = std::max(Bottom, F.Top + F.Height);
  }
  if (Right == 0) {
    Picture.BoxLeft = Picture.BoxTop = 0;
  } else {
    Picture.BoxWidth = Right - Picture.BoxLeft;
    Picture.BoxHeight = Bottom - Picture.BoxTop;
  }
  // Frames scattered over a large screen would need a large composed image.
  if (uint64_t(Picture.BoxWidth) * uint64_t(Picture.BoxHeight) > Pixels + MaxUncoveredPixels)
    return Fail();
  return geOK;
}

int BitsForColorCount(int N) {
  if (N < 0 || N > 256)
    return 0;
  int Bits = 1;
  while ((1 << Bits) < N)
    ++Bits;
  return Bits;
}

namespace {

constexpr int HashSize = 5120;

class TEncoder {
public:
  explicit TEncoder(std::string &S) : FS(S) {}

  void Byte(uint8_t B) { FS.push_back(char(B)); }
  void Word(unsigned W) {
    Byte(uint8_t(W & 0xFF));
    Byte(uint8_t((W >> 8) & 0xFF));
  }
  void Bytes(const void *P, size_t N) { FS.append(static_cast<const char *>(P), N); }

  // The colour table shared by the frames of one encoding pass.
  uint32_t Table[256] = {};
  int TableCount = 0;
  void ClearTable() {
    std::fill(std::begin(Table), std::end(Table), 0u);
    TableCount = 0;
  }

  // One index a pixel in stream order (interlace passes for interlaced
  // frames). Colours are numbered in the order they first appear.
  uint8_t BuildColorTable(const TEncodeFrame &F, std::vector<uint8_t> &Idx, bool &Found, uint8_t &TIndex) {
    Idx.resize(size_t(F.Width) * F.Height);
    Found = false;
    TIndex = 255;
    const uint32_t TColor = F.TransparentColor & 0xFFFFFF;
    uint32_t LastColor = 0;
    int LastIdx = -1;
    size_t Out = 0;
    auto Row = [&](int Y) {
      const uint32_t *P = F.Pixels.data() + size_t(Y) * F.Width;
      for (int X = 0; X < F.Width; ++X) {
        const uint32_t C = P[X] & 0xFFFFFF;
        int I;
        if (LastIdx >= 0 && C == LastColor) {
          I = LastIdx;
        } else {
          I = 0;
          while (I < TableCount && Table[I] != C)
            ++I;
          if (I == TableCount) {
            if (TableCount == 256)
              return false;
            Table[TableCount++] = C;
          }
          LastColor = C;
          LastIdx = I;
        }
        if (!Found && C == TColor) {
          Found = true;
          TIndex = uint8_t(I);
        }
        Idx[Out++] = uint8_t(I);
      }
      return true;
    };
    if (F.Interlaced) {
      static const int Start[4] = {0, 4, 2, 1};
      static const int Step[4] = {8, 8, 4, 2};
      for (int P = 0; P < 4; ++P)
        for (int Y = Start[P]; Y < F.Height; Y += Step[P])
          if (!Row(Y))
            return geTooManyColors;
    } else {
      for (int Y = 0; Y < F.Height; ++Y)
        if (!Row(Y))
          return geTooManyColors;
    }
    return geOK;
  }

  void WriteTable(int Bits) {
    for (int I = 0; I < (1 << Bits); ++I) {
      Byte(uint8_t(Table[I] >> 16));
      Byte(uint8_t(Table[I] >> 8));
      Byte(uint8_t(Table[I]));
    }
  }

  void WriteCommentBlock(const std::string &Text) {
    if (Text.empty())
      return;
    Byte(0x21);
    Byte(0xFE);
    for (size_t I = 0; I < Text.size(); I += 255) {
      const size_t K = std::min<size_t>(255, Text.size() - I);
      Byte(uint8_t(K));
      Bytes(Text.data() + I, K);
    }
    Byte(0);
  }

  // Hash probing as the format's classic writer does it: the exact output
  // depends on it.
  void EncodeFrameLZW(const std::vector<uint8_t> &Idx, int ColorCount) {
    FInitBits = std::max(BitsForColorCount(ColorCount), 2);
    Byte(uint8_t(FInitBits));
    FClear = 1 << FInitBits;
    FEnd = FClear + 1;
    FNext = FClear + 2;
    FWidth = FInitBits + 1;
    FMaxCode = (1 << FWidth) - 1;
    FClearFlag = false;
    FAcc = 0;
    FNBits = 0;
    FBlockLen = 0;
    std::fill(std::begin(FHash), std::end(FHash), -1);
    PutCode(FClear);
    int Prefix = Idx[0];
    for (size_t I = 1; I < Idx.size(); ++I) {
      const int C = Idx[I];
      const int32_t Key = Prefix + (C << 12);
      int H = (C << 4) ^ Prefix;
      if (FHash[H] == Key) {
        Prefix = FCodes[H];
        continue;
      }
      if (FHash[H] >= 0) {
        const int Step = H == 0 ? 1 : HashSize - 1 - H;
        bool Hit = false;
        for (;;) {
          H -= Step;
          if (H < 0)
            H += HashSize - 1;
          if (FHash[H] == Key) {
            Hit = true;
            break;
          }
          if (FHash[H] <= 0)
            break;
        }
        if (Hit) {
          Prefix = FCodes[H];
          continue;
        }
      }
      PutCode(Prefix);
      if (FNext > MaxCodes - 1) {
        ClearCodeTable();
      } else {
        FCodes[H] = uint16_t(FNext++);
        FHash[H] = Key;
      }
      Prefix = C;
    }
    PutCode(Prefix);
    PutCode(FEnd);
    Byte(0);
  }

private:
  void ClearCodeTable() {
    std::fill(std::begin(FHash), std::end(FHash), -1);
    FNext = FClear + 2;
    FClearFlag = true;
    PutCode(FClear);
  }

  void PutCode(int Code) {
    FAcc |= uint32_t(Code) << FNBits;
    FNBits += FWidth;
    while (FNBits >= 8) {
      PutByte(uint8_t(FAcc & 0xFF));
      FAcc >>= 8;
      FNBits -= 8;
    }
    if (FClearFlag) {
      FWidth = FInitBits + 1;
      FMaxCode = (1 << FWidth) - 1;
      FClearFlag = false;
    } else if (FNext > FMaxCode) {
      ++FWidth;
      FMaxCode = FWidth == 12 ? MaxCodes : (1 << FWidth) - 1;
    }
    if (Code == FEnd) {
      if (FNBits > 0)
        PutByte(uint8_t(FAcc & 0xFF));
      FAcc = 0;
      FNBits = 0;
      FlushBlock();
    }
  }

  void PutByte(uint8_t B) {
    if (FBlockLen == 255)
      FlushBlock();
    FBlock[FBlockLen++] = B;
  }

  void FlushBlock() {
    if (FBlockLen == 0)
      return;
    Byte(uint8_t(FBlockLen));
    Bytes(FBlock, FBlockLen);
    FBlockLen = 0;
  }

  std::string &FS;
  int32_t FHash[HashSize];
  uint16_t FCodes[HashSize];
  uint8_t FBlock[255];
  int FBlockLen = 0;
  uint32_t FAcc = 0;
  int FNBits = 0;
  int FInitBits = 2, FClear = 4, FEnd = 5, FNext = 6, FWidth = 3, FMaxCode = 7;
  bool FClearFlag = false;
};

}  // namespace

uint8_t Encode(const TEncodeList &List, std::string &Stream) {
  Stream.clear();
  Stream += "GIF89a";
  const size_t N = List.Frames.size();
  if (N == 0 || N > size_t(MaxFrames))
    return geNothing;
  int ScreenW = 0, ScreenH = 0;
  for (const TEncodeFrame &F : List.Frames) {
    if (F.Width <= 0 || F.Height <= 0 || F.Pixels.size() != size_t(F.Width) * size_t(F.Height))
      return geNoPixels;
    if (F.Left < 0 || F.Top < 0 || F.Left > 65535 || F.Top > 65535 || F.Width > 65535 ||
        F.Height > 65535 || F.Left + F.Width > 65535 || F.Top + F.Height > 65535)
      return geNothing;
    ScreenW = std::max(ScreenW, F.Left + F.Width);
    ScreenH = std::max(ScreenH, F.Top + F.Height);
  }

  TEncoder E(Stream);
  std::vector<std::vector<uint8_t>> Idx(N);
  std::vector<uint8_t> TIndex(N, 255);
  std::vector<char> Found(N, 0);
  bool One = List.OneColourTable;
  E.ClearTable();
  for (size_t I = 0; I < N; ++I) {
    if (!One && I > 0)
      break;
    bool Fd = false;
    const uint8_t R = E.BuildColorTable(List.Frames[I], Idx[I], Fd, TIndex[I]);
    Found[I] = Fd;
    if (R != geOK) {
      if (One && I > 0)
        One = false;  // more than 256 colours in all: a table per frame
      else
        return R;
    }
  }
  const bool Global = N == 1 || One;

  E.Word(unsigned(ScreenW));
  E.Word(unsigned(ScreenH));
  const int GlobalBits = BitsForColorCount(E.TableCount);
  if (Global) {
    E.Byte(uint8_t((GlobalBits - 1) | 0x80));
    E.Byte(0);
    E.Byte(0);
    E.WriteTable(GlobalBits);
  } else {
    E.Byte(0);
    E.Byte(0);
    E.Byte(0);
  }
  if (N > 1) {
    E.Byte(0x21);
    E.Byte(0xFF);
    E.Byte(11);
    E.Bytes("NETSCAPE2.0", 11);
    E.Byte(3);
    E.Byte(1);
    E.Word(List.LoopCount);
    E.Byte(0);
  }
  for (size_t I = 0; I < N; ++I) {
    const TEncodeFrame &F = List.Frames[I];
    if (!Global) {
      E.ClearTable();
      bool Fd = false;
      const uint8_t R = E.BuildColorTable(F, Idx[I], Fd, TIndex[I]);
      Found[I] = Fd;
      if (R != geOK)
        return R;
    }
    E.WriteCommentBlock(F.Comment);
    uint8_t Flags = 0;
    if (F.Disposal >= 1 && F.Disposal <= 3)
      Flags = uint8_t(F.Disposal << 2);
    // Index 255 is a colour like any other; only "found" says there is one.
    if (F.Transparent && Found[I])
      Flags |= 1;
    E.Byte(0x21);
    E.Byte(0xF9);
    E.Byte(4);
    E.Byte(Flags);
    E.Word(unsigned(std::clamp(F.Delay / 10, 0, 65535)));
    E.Byte(TIndex[I]);
    E.Byte(0);
    E.Byte(',');
    E.Word(unsigned(F.Left));
    E.Word(unsigned(F.Top));
    E.Word(unsigned(F.Width));
    E.Word(unsigned(F.Height));
    uint8_t DFlags = 0;
    const int Bits = BitsForColorCount(E.TableCount);
    if (!Global)
      DFlags = uint8_t((Bits - 1) | 0x80);
    if (F.Interlaced)
      DFlags |= 0x40;
    E.Byte(DFlags);
    if (!Global)
      E.WriteTable(Bits);
    E.EncodeFrameLZW(Idx[I], E.TableCount);
  }
  E.Byte(';');
  return geOK;
}

}  // namespace kv::gif
