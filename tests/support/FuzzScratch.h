#pragma once
// A scratch folder for a fuzz target: made on first use under the temporary
// folder, removed with everything in it when the program exits (libFuzzer and
// the replay program both end through exit()).
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace kvtest {

inline std::string MakeFuzzScratchDir(const std::string &Prefix) {
  static std::vector<std::string> Dirs;
  std::string Dir = (std::filesystem::temp_directory_path() / (Prefix + "-XXXXXX")).string();
  if (!mkdtemp(Dir.data()))
    std::abort();
  if (Dirs.empty())
    std::atexit([] {
      for (const std::string &D : Dirs) {
        std::error_code Ignored;
        std::filesystem::remove_all(D, Ignored);
      }
    });
  Dirs.push_back(Dir);
  return Dir;
}

}  // namespace kvtest
