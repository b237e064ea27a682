// Replays a fuzz corpus (files or folders given on the command line) through
// the target, so the corpus runs as an ordinary test under any compiler.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

static void Run(const std::filesystem::path &p, int &count) {
  std::ifstream f(p, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
  ++count;
}

int main(int argc, char **argv) {
  int count = 0;
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path p(argv[i]);
    if (std::filesystem::is_directory(p)) {
      for (auto &e : std::filesystem::recursive_directory_iterator(p))
        if (e.is_regular_file())
          Run(e.path(), count);
    } else {
      Run(p, count);
    }
  }
  std::printf("replayed %d inputs\n", count);
  return count > 0 ? 0 : 1;
}
