#pragma once
// Every test runs in a folder of its own with its own environment, so tests can
// run in parallel without sharing a registry, a Windows directory or a log.
#include <string>

namespace kvtest {

// A fresh temporary folder, removed again when the object goes.
class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  const std::string &Path() const { return FPath; }
  // Path() + "/" + name
  std::string operator/(const std::string &name) const { return FPath + "/" + name; }

private:
  std::string FPath;
};

// Points every KORVANDEL_* and XDG_* variable into a TempDir and makes it the
// working directory. Restores the working directory when it goes.
class IsolatedEnv {
public:
  IsolatedEnv();
  ~IsolatedEnv();
  const std::string &Root() const { return FDir.Path(); }
  std::string operator/(const std::string &name) const { return FDir / name; }

private:
  TempDir FDir;
  std::string FOldCwd;
};

std::string ReadFile(const std::string &path);
void WriteFile(const std::string &path, const std::string &data);
bool FileExists(const std::string &path);
// A program folder of the test's own, Root + "/program": the data files of
// BinDir (pictures, help page, clip) copied, its programs and libraries
// linked. What the program writes into its folder (banners, downloads, saved
// forms) then stays in the test's folder, and parallel tests share nothing.
std::string ProgramFolderCopy(const std::string &BinDir, const std::string &Root);
// A fixture file of an area: KV_SOURCE_DIR/tests/<area>/data/<name>.
std::string DataPath(const std::string &area, const std::string &name);

}  // namespace kvtest
