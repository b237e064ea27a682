#pragma once
// The numbered demo shops' site library installed for a test: copies of the
// program folder's DemoShop.TWL named "Lib/ShopNN.TWL", each of which plays
// shop NN, and the runtime package they find one folder above their own.
#include <cstdio>
#include <filesystem>
#include <string>

namespace kvtest {

// Installs Lib/Shop01.TWL .. Lib/ShopNN.TWL (Count up to 99) and
// libTavrel.so.1 into Folder, which becomes the client's program folder or
// working directory.
inline void InstallDemoShops(const std::string &Folder, int Count) {
  namespace fs = std::filesystem;
  const fs::path Lib = fs::path(Folder) / "Lib";
  fs::create_directories(Lib);
  const fs::path Build = fs::path(KV_BIN_DIR) / "Lib" / "DemoShop.TWL";
  for (int N = 1; N <= Count && N <= 99; ++N) {
    char Name[16];
    std::snprintf(Name, sizeof Name, "Shop%02d.TWL", N);
    fs::copy_file(Build, Lib / Name, fs::copy_options::overwrite_existing);
  }
  fs::copy_file(fs::canonical(fs::path(KV_BIN_DIR) / "libTavrel.so.1"), fs::path(Folder) / "libTavrel.so.1",
                fs::copy_options::skip_existing);
}

}  // namespace kvtest
