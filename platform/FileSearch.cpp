#include "platform/FileSearch.h"

#include <algorithm>
#include <ctime>
#include <dirent.h>
#include <sys/stat.h>

#include "platform/Paths.h"
#include "platform/SysUtils.h"

namespace kv {

namespace {

constexpr int ErrorFileNotFound = 2;
constexpr int ErrorPathNotFound = 3;
constexpr int ErrorNoMoreFiles = 18;

char Up(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

bool Match(const char *N, const char *M) {
  // Iterative "*" backtracking: one retry point is enough for "*" and "?".
  const char *star = nullptr, *resume = nullptr;
  while (*N) {
    if (*M == '*') {
      star = M++;
      resume = N;
    } else if (*M == '?' || (*M && Up(*M) == Up(*N))) {
      ++M;
      ++N;
    } else if (star) {
      M = star + 1;
      N = ++resume;
    } else {
      return false;
    }
  }
  while (*M == '*')
    ++M;
  return *M == 0;
}

int32_t PackTime(time_t T) {
  struct tm lt;
  localtime_r(&T, &lt);
  uint32_t date = static_cast<uint32_t>(((lt.tm_year - 80) << 9) | ((lt.tm_mon + 1) << 5) | lt.tm_mday);
  uint32_t tim = static_cast<uint32_t>((lt.tm_hour << 11) | (lt.tm_min << 5) | (lt.tm_sec / 2));
  return static_cast<int32_t>((date << 16) | tim);
}

int Deliver(TSearchRec &F) {
  if (!F.FindData || F.FindIndex >= F.FindData->size())
    return ErrorNoMoreFiles;
  const TSearchRec &e = (*F.FindData)[F.FindIndex++];
  F.Name = e.Name;
  F.Size = e.Size;
  F.Attr = e.Attr;
  F.Time = e.Time;
  return 0;
}

}  // namespace

bool MatchesMask(const std::string &Name, const std::string &Mask) {
  // "*.*" means every name, with or without an extension.
  if (Mask == "*.*")
    return true;
  return Match(Name.c_str(), Mask.c_str());
}

int FindFirst(const std::string &Pattern, int Attr, TSearchRec &F) {
  FindClose(F);
  size_t slash = Pattern.find_last_of("\\/");
  std::string dir = slash == std::string::npos ? std::string(".") : Pattern.substr(0, slash + 1);
  std::string mask = slash == std::string::npos ? Pattern : Pattern.substr(slash + 1);
  std::string real = ResolvePath(dir);
  if (real.empty())
    real.push_back('.');
  if (real.size() > 1 && real.back() == '/')
    real.pop_back();
  DIR *d = opendir(real.c_str());
  if (!d)
    return ErrorPathNotFound;
  // The class library leaves out folders, hidden and system entries unless
  // the caller asks for them.
  const int exclude = ~Attr & (faHidden | faSysFile | faDirectory);
  auto snap = std::make_shared<std::vector<TSearchRec>>();
  while (struct dirent *ent = readdir(d)) {
    std::string name = ent->d_name;
    if (name == "." || name == ".." || !MatchesMask(name, mask))
      continue;
    std::string full = (real == "/" ? std::string() : real) + "/" + name;
    struct stat st;
    if (stat(full.c_str(), &st) != 0 && lstat(full.c_str(), &st) != 0)
      continue;
    TSearchRec r;
    r.Name = name;
    r.Attr = 0;
    if (S_ISDIR(st.st_mode))
      r.Attr |= faDirectory;
    else
      r.Size = static_cast<int64_t>(st.st_size);
    if (name[0] == '.')
      r.Attr |= faHidden;
    if (!(st.st_mode & S_IWUSR))
      r.Attr |= faReadOnly;
    if (r.Attr & exclude)
      continue;
    r.Time = PackTime(st.st_mtime);
    snap->push_back(std::move(r));
  }
  closedir(d);
  std::sort(snap->begin(), snap->end(), [](const TSearchRec &a, const TSearchRec &b) {
    std::string ua = UpperCase(a.Name), ub = UpperCase(b.Name);
    return ua != ub ? ua < ub : a.Name < b.Name;
  });
  if (snap->empty())
    return ErrorFileNotFound;
  F.FindData = snap;
  F.FindIndex = 0;
  return Deliver(F);
}

int FindNext(TSearchRec &F) { return Deliver(F); }

void FindClose(TSearchRec &F) {
  F.FindData.reset();
  F.FindIndex = 0;
}

void DeleteDirectory(const std::string &Folder) {
  TSearchRec F;
  if (FindFirst(Folder + "\\*.*", faAnyFile, F) == 0) {
    do {
      DeleteFile(Folder + "\\" + F.Name);
    } while (FindNext(F) == 0);
    FindClose(F);
  }
}

}  // namespace kv
