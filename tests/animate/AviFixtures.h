#pragma once
// The test clips of tests/animate/data (written by animate/make_avi.cpp) and
// byte patches on them.
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cstdint>
#include <string>
#include <vector>

namespace avitest {

// Colours as 0xRRGGBB, top row first.
using TPicture = std::vector<std::vector<uint32_t>>;

inline std::string Clip(const std::string &Name) { return kvtest::ReadFile(kvtest::DataPath("animate", Name)); }

// Where the Nth (1-based) occurrence of a code starts at or after From;
// npos when there is none.
inline size_t Find(const std::string &B, const std::string &Code, int Nth = 1, size_t From = 0) {
  size_t Pos = B.find(Code, From);
  while (Pos != std::string::npos && --Nth > 0)
    Pos = B.find(Code, Pos + 1);
  return Pos;
}

inline uint32_t Get32(const std::string &B, size_t Pos) {
  return uint32_t(uint8_t(B.at(Pos))) | uint32_t(uint8_t(B.at(Pos + 1))) << 8 |
         uint32_t(uint8_t(B.at(Pos + 2))) << 16 | uint32_t(uint8_t(B.at(Pos + 3))) << 24;
}

inline void Put32(std::string &B, size_t Pos, uint32_t V) {
  for (int I = 0; I < 4; ++I)
    B.at(Pos + size_t(I)) = char(V >> (8 * I));
}

// The bitmap header of the video stream (the format after 'vids').
inline size_t BitmapHeader(const std::string &B) { return Find(B, "strf", 1, Find(B, "vids")) + 8; }

// Compares a decoded frame with the colours encoded, pixel by pixel.
inline ::testing::AssertionResult SamePicture(const QImage &F, const TPicture &Want) {
  if (F.isNull())
    return ::testing::AssertionFailure() << "no picture";
  if (F.height() != int(Want.size()) || F.width() != int(Want[0].size()))
    return ::testing::AssertionFailure() << "size " << F.width() << " x " << F.height();
  for (int Y = 0; Y < F.height(); ++Y)
    for (int X = 0; X < F.width(); ++X) {
      const QRgb P = F.pixel(X, Y);
      if (qAlpha(P) != 255 || (P & 0xFFFFFF) != Want[size_t(Y)][size_t(X)])
        return ::testing::AssertionFailure() << "pixel (" << X << ", " << Y << ") is " << std::hex << P
                                             << ", expected " << Want[size_t(Y)][size_t(X)];
    }
  return ::testing::AssertionSuccess();
}

}  // namespace avitest
