// Feeds hostile bytes to the decoder and checks that what comes out is bounded
// by the input's size; when a small picture comes out, encodes its frames
// again and checks the round trip gives back the same colours.
#include "components/GIFCodec.h"

#include <cstdlib>

using namespace kv::gif;

static uint32_t Rgb(const TPalette &P, uint8_t I) {
  return uint32_t(P[I * 3]) << 16 | uint32_t(P[I * 3 + 1]) << 8 | P[I * 3 + 2];
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  TDecodedPicture Pic;
  const uint8_t R = Decode(Data, Size, Pic);
  if (R != geOK && !Pic.Frames.empty())
    std::abort();
  // What a picture costs follows from its size in bytes, never from what its
  // header claims: frames hold at most what the data decodes to plus the
  // allowance, and the rectangle around them little more than their area.
  uint64_t Area = 0;
  for (const TDecodedFrame &F : Pic.Frames)
    Area += uint64_t(F.Width) * uint64_t(F.Height);
  if (Area > 2 * MostPixelsFrom(Size) + MaxUnheldPixels ||
      uint64_t(Pic.BoxWidth) * uint64_t(Pic.BoxHeight) > Area + MaxUncoveredPixels)
    std::abort();
  if (R != geOK || Pic.Frames.empty() || Pic.Frames.size() > 4)
    return 0;
  TEncodeList List;
  for (const TDecodedFrame &F : Pic.Frames) {
    if (F.Width == 0 || F.Height == 0 || size_t(F.Width) * F.Height > 4096)
      return 0;
    if (F.Indexes.size() != size_t(F.Width) * F.Height)
      std::abort();
    TEncodeFrame E;
    E.Width = F.Width;
    E.Height = F.Height;
    E.Left = F.Left;
    E.Top = F.Top;
    E.Delay = F.Delay;
    E.Interlaced = F.Interlaced;
    E.Disposal = F.Disposal;
    E.Comment = F.Comment;
    for (uint8_t I : F.Indexes)
      E.Pixels.push_back(Rgb(F.Palette, I));
    List.Frames.push_back(std::move(E));
  }
  std::string Out;
  if (Encode(List, Out) != geOK)
    return 0;  // more than 256 colours in one frame cannot happen, the rest may
  TDecodedPicture Back;
  if (Decode(reinterpret_cast<const uint8_t *>(Out.data()), Out.size(), Back) != geOK ||
      Back.Frames.size() != List.Frames.size())
    std::abort();
  for (size_t K = 0; K < Back.Frames.size(); ++K) {
    const TDecodedFrame &B = Back.Frames[K];
    const TEncodeFrame &E = List.Frames[K];
    if (B.Width != E.Width || B.Height != E.Height || B.Left != E.Left || B.Top != E.Top ||
        B.Comment != E.Comment || B.Disposal != E.Disposal)
      std::abort();
    for (size_t I = 0; I < E.Pixels.size(); ++I)
      if (Rgb(B.Palette, B.Indexes[I]) != E.Pixels[I])
        std::abort();
  }
  return 0;
}
