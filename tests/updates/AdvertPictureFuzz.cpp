// Whatever a banner fetch brings, the banner picture loads it the way the
// rotation does (from its file) without crashing, and within the memory limit
// the fuzzing run sets.
#include <QApplication>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

#include "components/GIFImage.h"
#include "tests/support/FuzzScratch.h"

namespace {

// The picture file and Qt's runtime folder live in a scratch folder that goes
// with the program.
const std::string &Scratch() {
  static const std::string Dir = kvtest::MakeFuzzScratchDir("advert_picture");
  return Dir;
}

std::string PictureFile() { return Scratch() + "/advert.sys"; }

TPellGifImage &Banner() {
  static int Argc = 1;
  static char Name[] = "advert_picture";
  static char *Argv[] = {Name, nullptr};
  static QApplication *App = [] {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
      qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
      qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(Scratch()));
    return new QApplication(Argc, Argv);
  }();
  (void)App;
  static TPellGifImage *G = [] {
    auto *W = new TPellGifImage;
    W->setGeometry(0, 0, 234, 62);
    return W;
  }();
  return *G;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  TPellGifImage &G = Banner();
  const std::string File = PictureFile();
  {
    std::ofstream Out(File, std::ios::binary | std::ios::trunc);
    Out.write(reinterpret_cast<const char *>(Data), std::streamsize(Size));
  }
  bool Loaded = false;
  try {
    Loaded = G.LoadFromFile(File);
  } catch (...) {
  }
  std::remove(File.c_str());
  if (G.FrameCount() > 256)
    std::abort();
  if (Loaded) {
    G.SetAnimate(true);
    for (int I = 0; I < 3; ++I)
      G.TimerTick();
    G.SetAnimate(false);
  }
  return 0;
}
