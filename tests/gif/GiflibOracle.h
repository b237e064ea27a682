#pragma once
// giflib as a black-box oracle: what it reads from a file, in our terms.
#include <cstdint>
#include <string>
#include <vector>

namespace giftest {

struct TOracleFrame {
  int Left = 0, Top = 0, Width = 0, Height = 0;
  bool Interlaced = false;
  std::vector<uint8_t> Indexes;
  int Disposal = 0;  // raw field
  int Delay = 0;  // hundredths
  int TransparentIndex = -1;
  std::vector<uint8_t> Colors;  // the table the frame uses, RGB triples
};

struct TOraclePicture {
  int ScreenWidth = 0, ScreenHeight = 0;
  int LoopCount = -1;  // -1: no looping block
  std::vector<TOracleFrame> Frames;
};

// False when giflib does not decode the file.
bool GiflibDecode(const std::string &Bytes, TOraclePicture &Out);

}  // namespace giftest
