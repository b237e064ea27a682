#pragma once
// The GIF codec without any widget: bytes to a decoded picture and frames to
// bytes. It links nothing but the standard library, so the fuzzer and the
// benchmark build it alone. The control in GIFImage builds its bitmaps from it.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kv::gif {

// Values of LastError shared with the control.
enum : uint8_t {
  geOK = 0,
  geNothing = 1,      // nothing to decode, or an encoding failure
  geNotGif = 2,       // not a GIF picture, or beyond the size limits
  geTooManyColors = 3,
  geFrameRange = 4,
  geNoPixels = 5,
  geNoFile = 6,
};

// Limits against decompression bombs: pictures come from the network.
constexpr int MaxScreenSide = 8192;
constexpr uint64_t MaxDecodedPixels = 64ull * 1024 * 1024;
constexpr size_t MaxFileSize = 32u * 1024 * 1024;
constexpr int MaxFrames = 256;
// A picture costs what its data holds, not what its header claims. Frame
// pixels beyond the end of their data (index 0) may exceed the pixels the
// data holds by this much at most, and the rectangle around all frames may
// exceed the frames' own area by this much at most.
constexpr uint64_t MaxUnheldPixels = 1u << 20;
constexpr uint64_t MaxUncoveredPixels = 1u << 20;
// The most pixels that Bytes of image data can decode to: a code of w bits
// yields fewer than 2^w pixels, and 2^w / w is largest at the widest code.
constexpr uint64_t MostPixelsFrom(uint64_t Bytes) { return Bytes * 8 * 4096 / 12 + 1; }

using TPalette = std::array<uint8_t, 768>;  // RGB triples, zero beyond the table

struct TDecodedFrame {
  int Left = 0, Top = 0, Width = 0, Height = 0;
  int Bits = 0;  // depth of the local table, 0 when the global one is used
  int Delay = 1;  // milliseconds, at least 1
  int Disposal = 0;  // 0..3
  bool HasLocalTable = false, Interlaced = false, Transparent = false;
  uint8_t TransparentIndex = 0;
  std::array<uint8_t, 3> TransparentColor{};
  std::string Comment;
  TPalette Palette{};  // the local table, or a copy of the global one
  std::vector<uint8_t> Indexes;  // Width * Height, rows top-down in display order
  std::vector<uint8_t> Mask;  // transparent frames only: 1 where transparent
};

struct TDecodedPicture {
  int ScreenWidth = 0, ScreenHeight = 0;  // the logical screen
  int Width = 0, Height = 0;  // the screen enlarged to cover every frame
  // The smallest rectangle holding every frame: all that frames ever draw.
  // Empty (0 x 0) when no frame has pixels.
  int BoxLeft = 0, BoxTop = 0, BoxWidth = 0, BoxHeight = 0;
  bool HasGlobalTable = false;
  TPalette GlobalTable{};
  int ColorDepth = 0;  // the largest table depth met
  int LoopCount = 1;  // 1 when the file has no looping block
  bool Transparent = false;  // some frame is transparent
  std::vector<TDecodedFrame> Frames;  // at most MaxFrames
};

// Returns the LastError value: geOK, geNothing (no data) or geNotGif (also a
// picture beyond the limits above). Never throws on bad data; a truncated or
// damaged file keeps the frames read so far.
uint8_t Decode(const uint8_t *Data, size_t Size, TDecodedPicture &Picture);

// One frame for the encoder. Pixels are 0xAARRGGBB, top-down, Width * Height;
// only red, green and blue count.
struct TEncodeFrame {
  int Width = 0, Height = 0;
  std::vector<uint32_t> Pixels;
  int Left = 0, Top = 0;
  int Delay = 0;  // milliseconds
  bool Interlaced = false, Transparent = false;
  uint32_t TransparentColor = 0;  // 0xRRGGBB
  int Disposal = 0;
  std::string Comment;
};

struct TEncodeList {
  std::vector<TEncodeFrame> Frames;  // 1 to MaxFrames
  uint16_t LoopCount = 0;
  bool OneColourTable = false;
};

// Writes a GIF89a file into Stream (which holds the partial file on failure).
// Returns the LastError value: geOK, geNothing (bad frame list or geometry),
// geTooManyColors or geNoPixels.
uint8_t Encode(const TEncodeList &List, std::string &Stream);

// 1 for 0..2 colours, 2 for 3..4, ... 8 for 129..256, 0 above.
int BitsForColorCount(int N);

}  // namespace kv::gif
