// Feeds hostile bytes to the AVI reader. A clip that loads must keep its
// promises: pictures of its size, and the same first frame however often and
// in whatever order frames are asked for.
#include "animate/AviClip.h"

#include <algorithm>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  TAviClip C;
  const bool Ok = C.LoadFromData(std::string(reinterpret_cast<const char *>(Data), Size));
  if (Ok != C.Valid() || Ok != C.Error().empty())
    std::abort();
  if (!Ok) {
    if (C.FrameCount() != 0 || !C.Frame(1).isNull())
      std::abort();
    return 0;
  }
  if (C.Width() < 1 || C.Width() > TAviClip::MaxSide || C.Height() < 1 || C.Height() > TAviClip::MaxSide ||
      C.FrameTime() < 1 || C.FrameCount() < 1)
    std::abort();
  if (!C.Frame(0).isNull() || !C.Frame(C.FrameCount() + 1).isNull())
    std::abort();
  // Large pictures cost time, not coverage: look at fewer of their frames.
  const int Last = std::min(C.FrameCount(), C.Width() * C.Height() > 65536 ? 2 : 8);
  QImage First;
  for (int N = 1; N <= Last; ++N) {
    const QImage F = C.Frame(N);
    if (F.width() != C.Width() || F.height() != C.Height() || F.format() != QImage::Format_RGB32)
      std::abort();
    if (N == 1)
      First = F;
  }
  if (C.Frame(1) != First)
    std::abort();
  return 0;
}
