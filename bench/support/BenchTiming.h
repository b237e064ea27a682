#pragma once
// The benchmarks' clock and what they make of its readings.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <vector>

using Clock = std::chrono::steady_clock;

// Milliseconds from A to B.
inline double Ms(Clock::time_point A, Clock::time_point B) {
  return std::chrono::duration<double, std::milli>(B - A).count();
}

// The middle value; of an even count, the mean of the two middle ones.
inline double Median(std::vector<double> V) {
  std::sort(V.begin(), V.end());
  const size_t N = V.size();
  return N == 0 ? 0 : N % 2 ? V[N / 2] : (V[N / 2 - 1] + V[N / 2]) / 2;
}
