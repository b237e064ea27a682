// Decodes the same GIF files with our decoder and with giflib's DGifSlurp and
// reports MB of decoded pixels per second for each, and the ratio.
// Usage: gif_bench DIR [seconds per decoder]
#include "components/GIFCodec.h"

#include <gif_lib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct TFile {
  std::string Name, Bytes;
};

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

uint64_t Ours(const std::string &B) {
  kv::gif::TDecodedPicture P;
  if (kv::gif::Decode(reinterpret_cast<const uint8_t *>(B.data()), B.size(), P) != kv::gif::geOK)
    return 0;
  uint64_t N = 0;
  for (const auto &F : P.Frames)
    N += F.Indexes.size();
  return N;
}

uint64_t Giflib(const std::string &B) {
  TSource S{&B, 0};
  int Err = 0;
  GifFileType *G = DGifOpen(&S, ReadMem, &Err);
  if (!G)
    return 0;
  uint64_t N = 0;
  if (DGifSlurp(G) == GIF_OK)
    for (int I = 0; I < G->ImageCount; ++I)
      N += uint64_t(G->SavedImages[I].ImageDesc.Width) * G->SavedImages[I].ImageDesc.Height;
  DGifCloseFile(G, &Err);
  return N;
}

// Best rate over repeated rounds of the whole set, in MB of pixels a second.
template <class F>
double Rate(const std::vector<TFile> &Files, F Decoder, double Seconds, uint64_t &Pixels) {
  using Clock = std::chrono::steady_clock;
  double Best = 0;
  const auto Start = Clock::now();
  int Rounds = 0;
  do {
    const auto T0 = Clock::now();
    Pixels = 0;
    for (const TFile &File : Files)
      Pixels += Decoder(File.Bytes);
    const double S = std::chrono::duration<double>(Clock::now() - T0).count();
    Best = std::max(Best, double(Pixels) / 1e6 / S);
    ++Rounds;
  } while (Rounds < 3 || std::chrono::duration<double>(Clock::now() - Start).count() < Seconds);
  return Best;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s DIR [seconds]\n", argv[0]);
    return 2;
  }
  const double Seconds = argc > 2 ? std::atof(argv[2]) : 2.0;
  std::vector<TFile> Files;
  for (const auto &E : std::filesystem::directory_iterator(argv[1]))
    if (E.path().extension() == ".gif") {
      std::ifstream In(E.path(), std::ios::binary);
      Files.push_back({E.path().filename().string(), std::string(std::istreambuf_iterator<char>(In), {})});
    }
  std::sort(Files.begin(), Files.end(), [](const TFile &A, const TFile &B) { return A.Name < B.Name; });
  if (Files.empty()) {
    std::fprintf(stderr, "no .gif files in %s\n", argv[1]);
    return 2;
  }
  std::printf("%-24s %9s %10s %10s %10s\n", "file", "bytes", "pixels", "ours MB/s", "giflib");
  for (const TFile &F : Files) {
    const std::vector<TFile> One{F};
    uint64_t A = 0, B = 0;
    const double RO = Rate(One, Ours, Seconds / 10, A), RG = Rate(One, Giflib, Seconds / 10, B);
    std::printf("%-24s %9zu %10llu %10.1f %10.1f%s\n", F.Name.c_str(), F.Bytes.size(), (unsigned long long)A, RO, RG,
                A == B ? "" : "  (giflib differs)");
  }
  uint64_t PO = 0, PG = 0;
  const double G = Rate(Files, Giflib, Seconds, PG);
  const double O = Rate(Files, Ours, Seconds, PO);
  std::printf("ours   %8.1f MB/s\ngiflib %8.1f MB/s\nratio  %8.2f (ours / giflib)\n", O, G, O / G);
  return 0;
}
