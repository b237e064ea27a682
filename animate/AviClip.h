#pragma once
// A silent AVI clip read by our own RIFF reader: the first video stream,
// uncompressed (BI_RGB) at 8, 16, 24 or 32 bits, or BI_RLE8. Any other codec,
// or a file whose sizes do not add up, leaves the clip unplayable with the
// reason in Error(). Nothing is allocated on a header's word alone: frames are
// the chunks the file really holds, pictures are at most MaxSide on a side,
// and a frame is decoded only when asked for.
#include <QImage>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class TAviClip {
public:
  static constexpr int MaxSide = 4096;
  static constexpr int64_t MaxFileSize = int64_t(256) << 20;

  // Reads a clip (a Windows or Unix path, resolved by the path service).
  // False, with the reason in Error(), when it cannot be played.
  bool LoadFromFile(const std::string &FileName);
  bool LoadFromData(std::string Data);
  void Clear();

  bool Valid() const { return !FFrames.empty(); }
  const std::string &Error() const { return FError; }

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  int BitCount() const { return FBitCount; }
  bool Compressed() const { return FRle; }
  bool TopDown() const { return FTopDown; }
  int FrameCount() const { return int(FFrames.size()); }
  // Microseconds per frame: the stream's scale / rate, else the main
  // header's figure. At least 1.
  int64_t FrameTime() const { return FFrameTime; }

  // Frame N (1-based) as an RGB32 picture of Width x Height; a null image
  // outside 1..FrameCount. Run-length frames build on the ones before them,
  // so going backwards decodes again from frame 1.
  QImage Frame(int N);

private:
  struct TChunk {
    size_t Offset;  // of the data, after the chunk header
    size_t Size;
  };

  bool Fail(std::string Why);  // clears the clip; always false
  bool Parse();
  bool ApplyRle(const TChunk &C, std::string &Why);
  QImage FromCanvas() const;
  QImage FromBitmap(const TChunk &C) const;

  std::string FData;
  std::string FError;
  std::vector<TChunk> FFrames;
  std::vector<QRgb> FPalette;  // 256 entries at 8 bits, black past the file's own
  int FWidth = 0, FHeight = 0, FBitCount = 0;
  bool FRle = false, FTopDown = false;
  int64_t FFrameTime = 0;
  size_t FStride = 0;  // bytes per row of an uncompressed frame

  // Run-length decoding: the palette indexes after frame FCanvasFrame
  // (bottom row first; 0 = nothing applied yet).
  std::vector<uint8_t> FCanvas;
  int FCanvasFrame = 0;
};
