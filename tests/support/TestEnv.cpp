#include "TestEnv.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace fs = std::filesystem;

namespace kvtest {

TempDir::TempDir() {
  std::string tmpl = (fs::temp_directory_path() / "kvtest-XXXXXX").string();
  if (!mkdtemp(tmpl.data()))
    throw std::runtime_error("mkdtemp failed");
  FPath = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(FPath, ec);
}

IsolatedEnv::IsolatedEnv() {
  FOldCwd = fs::current_path().string();
  const std::string r = FDir.Path();
  for (const char *sub : {"config", "data", "runtime", "windows", "c", "cwd"})
    fs::create_directories(r + "/" + sub);
  fs::permissions(r + "/runtime", fs::perms::owner_all, fs::perm_options::replace);
  setenv("XDG_CONFIG_HOME", (r + "/config").c_str(), 1);
  setenv("XDG_DATA_HOME", (r + "/data").c_str(), 1);
  setenv("XDG_RUNTIME_DIR", (r + "/runtime").c_str(), 1);
  setenv("KORVANDEL_REGISTRY", (r + "/config/registry").c_str(), 1);
  setenv("KORVANDEL_WINDIR", (r + "/windows").c_str(), 1);
  setenv("KORVANDEL_DRIVE_C", (r + "/c").c_str(), 1);
  unsetenv("KORVANDEL_SERVER");
  unsetenv("KORVANDEL_HOSTS");
  unsetenv("KORVANDEL_PRINT_PDF");
  fs::current_path(r + "/cwd");
}

IsolatedEnv::~IsolatedEnv() {
  std::error_code ec;
  fs::current_path(FOldCwd, ec);
}

std::string ReadFile(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

void WriteFile(const std::string &path, const std::string &data) {
  fs::path p(path);
  if (p.has_parent_path())
    fs::create_directories(p.parent_path());
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f << data;
}

bool FileExists(const std::string &path) { return fs::exists(path); }

std::string DataPath(const std::string &area, const std::string &name) {
  return std::string(KV_SOURCE_DIR) + "/tests/" + area + "/data/" + name;
}

std::string ProgramFolderCopy(const std::string &BinDir, const std::string &Root) {
  namespace fs = std::filesystem;
  const fs::path Folder = fs::path(Root) / "program";
  fs::create_directories(Folder);
  for (const fs::directory_entry &E : fs::directory_iterator(BinDir)) {
    if (!E.is_regular_file())
      continue;
    const fs::path Target = Folder / E.path().filename();
    const bool Program = (E.status().permissions() & fs::perms::owner_exec) != fs::perms::none ||
                         E.path().extension() == ".so";
    if (Program)
      fs::create_symlink(E.path(), Target);
    else
      fs::copy_file(E.path(), Target, fs::copy_options::overwrite_existing);
  }
  return Folder.string();
}

}  // namespace kvtest
