#include "GiflibOracle.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>

namespace giftest {

namespace {

struct TSource {
  const std::string *Bytes;
  size_t Pos;
};

int ReadMem(GifFileType *G, GifByteType *Buf, int Len) {
  auto *S = static_cast<TSource *>(G->UserData);
  const size_t K = std::min(size_t(Len), S->Bytes->size() - S->Pos);
  std::memcpy(Buf, S->Bytes->data() + S->Pos, K);
  S->Pos += K;
  return int(K);
}

void ScanLoop(const ExtensionBlock *Blocks, int Count, int &Loop) {
  for (int I = 0; I + 1 < Count; ++I)
    if (Blocks[I].Function == APPLICATION_EXT_FUNC_CODE && Blocks[I].ByteCount == 11 &&
        std::memcmp(Blocks[I].Bytes, "NETSCAPE2.0", 11) == 0 &&
        Blocks[I + 1].Function == CONTINUE_EXT_FUNC_CODE && Blocks[I + 1].ByteCount >= 3)
      Loop = Blocks[I + 1].Bytes[1] | Blocks[I + 1].Bytes[2] << 8;
}

}  // namespace

bool GiflibDecode(const std::string &Bytes, TOraclePicture &Out) {
  Out = TOraclePicture{};
  TSource Src{&Bytes, 0};
  int Err = 0;
  GifFileType *G = DGifOpen(&Src, ReadMem, &Err);
  if (!G)
    return false;
  const bool Ok = DGifSlurp(G) == GIF_OK;
  if (Ok) {
    Out.ScreenWidth = G->SWidth;
    Out.ScreenHeight = G->SHeight;
    for (int I = 0; I < G->ImageCount; ++I) {
      const SavedImage &S = G->SavedImages[I];
      TOracleFrame F;
      F.Left = S.ImageDesc.Left;
      F.Top = S.ImageDesc.Top;
      F.Width = S.ImageDesc.Width;
      F.Height = S.ImageDesc.Height;
      F.Interlaced = S.ImageDesc.Interlace;
      F.Indexes.assign(S.RasterBits, S.RasterBits + size_t(F.Width) * F.Height);
      GraphicsControlBlock Gcb;
      if (DGifSavedExtensionToGCB(G, I, &Gcb) == GIF_OK) {
        F.Disposal = Gcb.DisposalMode;
        F.Delay = Gcb.DelayTime;
        F.TransparentIndex = Gcb.TransparentColor;
      }
      const ColorMapObject *Map = S.ImageDesc.ColorMap ? S.ImageDesc.ColorMap : G->SColorMap;
      if (Map)
        for (int C = 0; C < Map->ColorCount; ++C) {
          F.Colors.push_back(Map->Colors[C].Red);
          F.Colors.push_back(Map->Colors[C].Green);
          F.Colors.push_back(Map->Colors[C].Blue);
        }
      ScanLoop(S.ExtensionBlocks, S.ExtensionBlockCount, Out.LoopCount);
      Out.Frames.push_back(std::move(F));
    }
    ScanLoop(G->ExtensionBlocks, G->ExtensionBlockCount, Out.LoopCount);
  }
  DGifCloseFile(G, &Err);
  return Ok;
}

}  // namespace giftest
