#include "platform/Paths.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "platform/SysUtils.h"

namespace kv {

static std::string EnvOr(const char *Name, const std::string &Fallback) {
  const char *v = std::getenv(Name);
  return (v && *v) ? std::string(v) : Fallback;
}

static std::string HomeDir() { return EnvOr("HOME", "/tmp"); }

static std::string DataHome() { return EnvOr("XDG_DATA_HOME", HomeDir() + "/.local/share"); }

static bool Exists(const std::string &p) {
  struct stat st;
  return lstat(p.c_str(), &st) == 0;
}

static void MakeDirs(const std::string &p) {
  std::string cur;
  size_t i = 0;
  if (!p.empty() && p[0] == '/') {
    cur = "/";
    i = 1;
  }
  while (i <= p.size()) {
    size_t j = p.find('/', i);
    if (j == std::string::npos)
      j = p.size();
    std::string part = p.substr(i, j - i);
    if (!part.empty()) {
      if (!cur.empty() && cur.back() != '/')
        cur += '/';
      cur += part;
      mkdir(cur.c_str(), 0755);
    }
    i = j + 1;
  }
}

std::string DriveFolder(char Drive) {
  char d = static_cast<char>(Drive >= 'A' && Drive <= 'Z' ? Drive + 32 : Drive);
  if (d == 'c')
    return EnvOr("KORVANDEL_DRIVE_C", DataHome() + "/korvandel/c");
  return DataHome() + "/korvandel/" + std::string(1, d);
}

std::string WindowsDirectory() {
  std::string w = EnvOr("KORVANDEL_WINDIR", DataHome() + "/korvandel/windows");
  if (!Exists(w))
    MakeDirs(w);
  return w;
}

std::string ProgramFolder() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0)
    return GetCurrentDir();
  std::string p(buf, static_cast<size_t>(n));
  auto s = p.rfind('/');
  return s == 0 ? "/" : p.substr(0, s);
}

std::string GetCurrentDir() {
  char buf[PATH_MAX];
  if (!getcwd(buf, sizeof buf))
    return ".";
  return buf;
}

bool SetCurrentDir(const std::string &Dir) { return chdir(ResolvePath(Dir).c_str()) == 0; }

// The entry of Dir whose name equals Name without regard to ASCII case; the
// first in directory order when several do.
static bool FindEntryNoCase(const std::string &Dir, const std::string &Name, std::string &Found) {
  DIR *d = opendir(Dir.empty() ? "." : Dir.c_str());
  if (!d)
    return false;
  std::vector<std::string> hits;
  while (dirent *e = readdir(d)) {
    if (SameText(e->d_name, Name))
      hits.emplace_back(e->d_name);
  }
  closedir(d);
  if (hits.empty())
    return false;
  // Stable choice when a folder holds names differing only in case.
  std::string best = hits[0];
  for (auto &h : hits)
    if (h < best)
      best = h;
  Found = best;
  return true;
}

std::string ResolvePath(const std::string &Path) {
  std::string p = Path;
  for (char &c : p)
    if (c == '\\')
      c = '/';
  std::string root;
  if (p.size() >= 2 && p[1] == ':' &&
      ((p[0] >= 'a' && p[0] <= 'z') || (p[0] >= 'A' && p[0] <= 'Z'))) {
    root = DriveFolder(p[0]);
    p = p.substr(2);
    while (!p.empty() && p[0] == '/')
      p.erase(0, 1);
  } else if (!p.empty() && p[0] == '/') {
    root = "/";
    p.erase(0, 1);
  }
  std::vector<std::string> parts;
  for (size_t i = 0; i <= p.size();) {
    size_t j = p.find('/', i);
    if (j == std::string::npos)
      j = p.size();
    std::string part = p.substr(i, j - i);
    i = j + 1;
    if (!part.empty() && part != ".")
      parts.push_back(std::move(part));
  }
  auto join = [](const std::string &out, const std::string &part) {
    return (out.empty() || out.back() == '/' ? out : out + "/") + part;
  };
  // Walk the components, matching each without regard to case once the exact
  // name is missing; after the first component that is missing altogether the
  // rest is kept as written. Every step inside a part of the path that exists
  // as written finds its exact name, so only what follows the longer of the
  // whole path and its folder, when either exists, is walked.
  auto joinUpTo = [&](size_t n) {
    std::string s = root;
    for (size_t k = 0; k < n; ++k)
      s = join(s, parts[k]);
    return s;
  };
  size_t exact = 0;
  if (!parts.empty() && Exists(joinUpTo(parts.size())))
    exact = parts.size();
  else if (parts.size() > 1 && Exists(joinUpTo(parts.size() - 1)))
    exact = parts.size() - 1;
  bool walking = true;
  std::string out = root;
  for (size_t k = 0; k < parts.size(); ++k) {
    const std::string &part = parts[k];
    std::string next = join(out, part);
    if (walking && k >= exact && part != ".." && !Exists(next)) {
      std::string found;
      if (FindEntryNoCase(out.empty() ? "." : out, part, found))
        next = join(out, found);
      else
        walking = false;
    }
    out = next;
  }
  if (out.empty())
    return ".";
  if (!p.empty() && p.back() == '/' && out.back() != '/')
    out += '/';
  return out;
}

bool FileExists(const std::string &Path) {
  struct stat st;
  return stat(ResolvePath(Path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Formatted here, as std::to_string's tables would keep a site library that
// links this mapped after its last user goes.
static std::string FdPath(int Fd) {
  char Buf[32];
  snprintf(Buf, sizeof Buf, "/proc/self/fd/%d", Fd);
  return Buf;
}

// The owner's write bit plays the read-only attribute (the file search
// reports it the same way); it counts for root too, whom the bits never stop.
static bool WriteProtected(int Dir, const std::string &Name, const struct stat &St, int Flags = 0) {
  if (!(St.st_mode & S_IWUSR))
    return true;
  if (faccessat(Dir, Name.c_str(), W_OK, Flags) == 0)
    return false;
  // A kernel that takes no AT_EMPTY_PATH here still finds the file by /proc.
  return !(Flags & AT_EMPTY_PATH) || (errno != EINVAL && errno != ENOSYS) || access(FdPath(Dir).c_str(), W_OK) != 0;
}

bool FileIsReadOnly(const std::string &Path) {
  const std::string r = ResolvePath(Path);
  struct stat st;
  return stat(r.c_str(), &st) == 0 && WriteProtected(AT_FDCWD, r, st);
}

bool FileIsReadOnly(int Fd) {
  struct stat st;
  return fstat(Fd, &st) == 0 && WriteProtected(Fd, "", st, AT_EMPTY_PATH);
}

bool DirectoryExists(const std::string &Path) {
  struct stat st;
  return stat(ResolvePath(Path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ForceDirectories(const std::string &Path) {
  std::string r = ResolvePath(Path);
  MakeDirs(r);
  return DirectoryExists(r);
}

bool CreateDir(const std::string &Path) { return mkdir(ResolvePath(Path).c_str(), 0755) == 0; }

bool RemoveDir(const std::string &Path) { return rmdir(ResolvePath(Path).c_str()) == 0; }

bool DeleteFile(const std::string &Path) { return unlink(ResolvePath(Path).c_str()) == 0; }

bool RenameFile(const std::string &From, const std::string &To) {
  std::string t = ResolvePath(To);
  // Windows' MoveFile does not replace an existing file.
  if (Exists(t))
    return false;
  return rename(ResolvePath(From).c_str(), t.c_str()) == 0;
}

bool ReadFileToString(const std::string &Path, std::string &Data) {
  int fd = open(ResolvePath(Path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return false;
  std::string out;
  char buf[65536];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      close(fd);
      return false;
    }
    if (n == 0)
      break;
    out.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  Data.swap(out);
  return true;
}

// The process's umask, read without changing it where the system tells it.
static mode_t CurrentUmask() {
  std::string Status;
  if (ReadFileToString("/proc/self/status", Status)) {
    auto At = Status.find("\nUmask:");
    if (At != std::string::npos)
      return static_cast<mode_t>(std::strtoul(Status.c_str() + At + 7, nullptr, 8) & 0777);
  }
  mode_t Mask = umask(022);
  umask(Mask);
  return Mask;
}

static bool SameFile(const struct stat &A, const struct stat &B) {
  return A.st_dev == B.st_dev && A.st_ino == B.st_ino;
}

// Where a save of Name in the folder Dir lands, and what is there now.
struct TSaveEntry {
  TSaveEntry() = default;
  ~TSaveEntry() { Reset(); }
  TSaveEntry(const TSaveEntry &) = delete;
  TSaveEntry &operator=(const TSaveEntry &) = delete;
  void Reset() {
    if (Dir >= 0)
      close(Dir);
    Dir = -1;
  }
  int TakeDir() {
    const int D = Dir;
    Dir = -1;
    return D;
  }
  int Dir = -1;  // the folder holding the entry (O_PATH)
  std::string Name;
  bool Exists = false, Linked = false;
  struct stat St {};
};

// The kernel's rule for shared folders (protected symbolic links): in a
// folder anyone may write and only owners may delete from, a link is
// followed only when it belongs to the one following it or to the folder's
// owner, else another user could point a save at any file of the saver's.
// Kept here too, for systems that do not enforce it.
static bool MayFollow(int Dir, const struct stat &Link) {
  struct stat Folder;
  if (fstat(Dir, &Folder) != 0)
    return false;
  const bool Shared = (Folder.st_mode & S_ISVTX) && (Folder.st_mode & S_IWOTH);
  return !Shared || Link.st_uid == geteuid() || Link.st_uid == Folder.st_uid;
}

// Follows a chain of links from Dir/Name, each checked by the rule above,
// to the entry that is no link (which need not exist yet). Only the rule is
// judged here: what is opened is checked against what was found. False, with
// errno, for a link not to be followed, a loop, or a folder that cannot be
// opened.
static bool FindSaveEntry(int Dir, std::string Name, TSaveEntry &Out) {
  Out.Reset();
  int Cur = fcntl(Dir, F_DUPFD_CLOEXEC, 0);
  bool Linked = false;
  int Why = ELOOP;
  for (int Hops = 0; Cur >= 0 && Hops <= 40; ++Hops) {
    struct stat st;
    const bool Exists = fstatat(Cur, Name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (!Exists && errno != ENOENT) {
      Why = errno;
      break;
    }
    if (!Exists || !S_ISLNK(st.st_mode)) {
      Out.Dir = Cur;
      Out.Name = Name;
      Out.Exists = Exists;
      Out.Linked = Linked;
      if (Exists)
        Out.St = st;
      else
        Out.St = {};
      return true;
    }
    Why = EACCES;
    if (!MayFollow(Cur, st))
      break;
    char Buf[PATH_MAX];
    const ssize_t n = readlinkat(Cur, Name.c_str(), Buf, sizeof Buf - 1);
    if (n <= 0)
      break;
    const std::string To(Buf, static_cast<size_t>(n));
    const auto Slash = To.rfind('/');
    Name = Slash == std::string::npos ? To : To.substr(Slash + 1);
    Why = EISDIR;
    if (Name.empty() || Name == "." || Name == "..")
      break;  // names a folder
    if (Slash != std::string::npos) {
      const std::string Folder = Slash == 0 ? "/" : To.substr(0, Slash);
      const int Next = openat(Cur, Folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
      Why = errno;
      close(Cur);
      Cur = Next;
      // A missing folder is a missing file, however it was reached.
      if (Cur < 0)
        break;
    }
    Linked = true;
    Why = ELOOP;
  }
  if (Cur >= 0)
    close(Cur);
  errno = Why;
  return false;
}

// The entry Dir/Name opened to be looked at, following nothing, when it is
// still the regular file St describes; ESTALE when it changed since.
static int OpenLookedAt(int Dir, const std::string &Name, const struct stat &St, int Access = O_PATH) {
  const int Fd = openat(Dir, Name.c_str(), Access | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  struct stat Now;
  if (Fd >= 0 && fstat(Fd, &Now) == 0 && S_ISREG(Now.st_mode) && SameFile(Now, St))
    return Fd;
  if (Fd >= 0)
    close(Fd);
  if (Fd >= 0 || errno == ELOOP || errno == ENOENT)
    errno = ESTALE;
  return -1;
}

// The file looked at (Fd, O_PATH, found as Dir/Name) opened for Access.
// Through /proc it is that very file whatever its name names by now; without
// /proc the name is opened again, following nothing, and must still be it.
static int Reopen(int Fd, int Dir, const std::string &Name, const struct stat &St, int Access) {
  const int Out = open(FdPath(Fd).c_str(), Access | O_NOCTTY | O_CLOEXEC);
  if (Out >= 0 || errno != ENOENT)
    return Out;
  return OpenLookedAt(Dir, Name, St, Access);
}

// Gives the file looked at no permission bit beyond Mode's, following
// nothing; another user's file keeps its own.
static void NarrowMode(int Fd, int Dir, const std::string &Name, const struct stat &St, int Mode) {
  const mode_t Bits = St.st_mode & 07777 & static_cast<mode_t>(Mode);
  if (Bits == (St.st_mode & 07777))
    return;
  if (chmod(FdPath(Fd).c_str(), Bits) == 0 || errno != ENOENT)
    return;
  const int Rd = Reopen(Fd, Dir, Name, St, O_RDONLY);
  if (Rd >= 0) {
    (void)!fchmod(Rd, Bits);
    close(Rd);
  }
}

// Whether the kernel's own walk of Top/Name, by its rules for links, reaches
// the file Fd.
static bool KernelReaches(int Top, const std::string &Name, int Fd) {
  const int Walk = openat(Top, Name.c_str(), O_PATH | O_CLOEXEC);
  struct stat A, B;
  const bool Same = Walk >= 0 && fstat(Walk, &A) == 0 && fstat(Fd, &B) == 0 && SameFile(A, B);
  if (Walk >= 0)
    close(Walk);
  return Same;
}

enum class TCreate { Never, Always };

// Opens the file a save of Real goes to by the writer's rule: the folder
// opened, the entry looked at without following, a link followed only where
// MayFollow allows, only a regular file opened, and that as the very file
// looked at; where links led there, the kernel's walk of Real must reach it
// too. A missing entry is made (as Create says, with CreateMode less the
// umask) exactly where it was looked for, following nothing, and goes again
// when the kernel's walk does not reach it. Access is O_PATH or an open mode.
// On success E is the entry and Made tells whether this call made it. On
// failure E.Dir is open only when the entry is missing and was not to be
// made (errno ENOENT).
static int OpenByRule(const std::string &Real, int Access, TCreate Create, mode_t CreateMode, TSaveEntry &E,
                      bool &Made) {
  Made = false;
  E.Reset();
  const auto Slash = Real.rfind('/');
  const std::string Folder = Slash == std::string::npos ? "." : (Slash == 0 ? "/" : Real.substr(0, Slash));
  const std::string Name = Slash == std::string::npos ? Real : Real.substr(Slash + 1);
  if (Name.empty() || Name == "." || Name == "..") {
    errno = EISDIR;
    return -1;
  }
  const int Top = open(Folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (Top < 0)
    return -1;
  int Fd = -1;
  // Another writer may make or change the entry between the look and the
  // open: a few more looks, then it is given up.
  for (int Try = 0; Fd < 0 && Try < 8; ++Try) {
    if (!FindSaveEntry(Top, Name, E))
      break;
    if (E.Exists && !S_ISREG(E.St.st_mode)) {
      errno = S_ISDIR(E.St.st_mode) ? EISDIR : EACCES;
      break;
    }
    if (E.Exists) {
      Fd = OpenLookedAt(E.Dir, E.Name, E.St);
    } else if (Create == TCreate::Always) {
      const int Flags = Access == O_PATH ? O_RDONLY : Access;
      Fd = openat(E.Dir, E.Name.c_str(), Flags | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
                  CreateMode);
      Made = Fd >= 0 && fstat(Fd, &E.St) == 0;
    } else {
      close(Top);
      errno = ENOENT;
      return -1;
    }
    if (Fd < 0 && errno != EEXIST && errno != ESTALE)
      break;
    if (Fd < 0)
      continue;
    if (E.Linked && !KernelReaches(Top, Name, Fd)) {
      // Only the file this call made goes, and only while it is still there.
      struct stat Now;
      if (Made && fstatat(E.Dir, E.Name.c_str(), &Now, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(Now, E.St))
        unlinkat(E.Dir, E.Name.c_str(), 0);
      close(Fd);
      Fd = -1;
      Made = false;
      errno = EACCES;
      break;
    }
    if (!Made && Access != O_PATH) {
      const int Opened = Reopen(Fd, E.Dir, E.Name, E.St, Access);
      close(Fd);
      Fd = Opened;
      if (Fd < 0 && errno != ESTALE)
        break;
    }
  }
  const int Why = errno;
  close(Top);
  if (Fd < 0) {
    E.Reset();
    errno = Why == EEXIST ? EAGAIN : Why;
  } else {
    E.Exists = true;
  }
  return Fd;
}

int OpenForSave(const std::string &Path, int Access, int CreateMode) {
  TSaveEntry E;
  bool Made;
  return OpenByRule(ResolvePath(Path), Access, CreateMode >= 0 ? TCreate::Always : TCreate::Never,
                    static_cast<mode_t>(CreateMode >= 0 ? CreateMode : 0), E, Made);
}

// The random letters that end a temporary's name.
static constexpr size_t TemporaryTail = 6;

// The start of the names of a target's temporary files: the target's own
// name, or a digest of it where that would make too long a name.
static std::string TemporaryPrefix(const std::string &Target) {
  std::string Tag = Target;
  if (Tag.size() > 200) {
    uint64_t Hash = 14695981039346656037ull;
    for (unsigned char c : Target)
      Hash = (Hash ^ c) * 1099511628211ull;
    char Buf[20];
    snprintf(Buf, sizeof Buf, "%016llx", static_cast<unsigned long long>(Hash));
    Tag = Buf;
  }
  return ".kvtmp-" + Tag + ".";
}

// A private temporary file beside Target in the folder Dir, named for the
// target and this process; its name in Name. It is held locked while this
// process has it open, so that no later save takes it for a leftover.
static int MakeTemporary(int Dir, const std::string &Target, std::string &Name) {
  static const char Letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  char Pid[24];
  snprintf(Pid, sizeof Pid, "%d.", static_cast<int>(getpid()));
  const std::string Prefix = TemporaryPrefix(Target) + Pid;
  for (int Try = 0; Try < 100; ++Try) {
    unsigned char Bytes[TemporaryTail];
    if (getrandom(Bytes, sizeof Bytes, 0) != static_cast<ssize_t>(sizeof Bytes))
      return -1;
    Name = Prefix;
    for (unsigned char b : Bytes)
      Name += Letters[b % (sizeof Letters - 1)];
    const int Fd = openat(Dir, Name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (Fd >= 0)
      (void)!flock(Fd, LOCK_EX | LOCK_NB);
    if (Fd >= 0 || errno != EEXIST)
      return Fd;
  }
  return -1;
}

// Removes the temporaries of Target in the folder Dir that saves killed
// before their commit left: only regular files of this user, named for a
// process no longer running and locked by nobody, found without following
// a link.
static void RemoveLeftovers(int Dir, const std::string &Target) {
  const int List = openat(Dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (List < 0)
    return;
  DIR *D = fdopendir(List);
  if (!D) {
    close(List);
    return;
  }
  const std::string Prefix = TemporaryPrefix(Target);
  while (const dirent *E = readdir(D)) {
    const std::string Name = E->d_name;
    if (Name.compare(0, Prefix.size(), Prefix) != 0)
      continue;
    // "<process id>.<six letters>", so that another target's whose name
    // goes on from this one's is not taken for it.
    char *End = nullptr;
    const long Pid = std::strtol(Name.c_str() + Prefix.size(), &End, 10);
    if (Pid <= 0 || Pid > INT_MAX || *End != '.' || strlen(End + 1) != TemporaryTail || strchr(End + 1, '.') ||
        kill(static_cast<pid_t>(Pid), 0) == 0 || errno != ESRCH)
      continue;
    const int Fd = openat(List, Name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (Fd < 0)
      continue;
    struct stat St, Now;
    if (fstat(Fd, &St) == 0 && S_ISREG(St.st_mode) && St.st_uid == geteuid() && flock(Fd, LOCK_EX | LOCK_NB) == 0 &&
        fstatat(List, Name.c_str(), &Now, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(St, Now))
      unlinkat(List, Name.c_str(), 0);
    close(Fd);
  }
  closedir(D);
}

// The extended attributes (an ACL among them) of the file at Path, by name;
// false when they cannot be read.
static bool ReadAttributes(const std::string &Path, std::vector<std::pair<std::string, std::string>> &Out) {
  Out.clear();
  std::string Names(1024, '\0');
  ssize_t n;
  while ((n = listxattr(Path.c_str(), Names.data(), Names.size())) < 0 && errno == ERANGE)
    Names.resize(Names.size() * 4);
  if (n < 0)
    return errno == ENOTSUP;
  for (size_t At = 0; At < static_cast<size_t>(n);) {
    const std::string Name(Names.c_str() + At);
    At += Name.size() + 1;
    std::string Value(256, '\0');
    ssize_t v;
    while ((v = getxattr(Path.c_str(), Name.c_str(), Value.data(), Value.size())) < 0 && errno == ERANGE)
      Value.resize(Value.size() * 4);
    if (v < 0 && errno != ENODATA)
      return false;
    if (v >= 0)
      Out.emplace_back(Name, Value.substr(0, static_cast<size_t>(v)));
  }
  return true;
}

// Whether the temporary Temp, put in the place of the file looked at (Fd,
// O_PATH, described by St), keeps what belongs to the file rather than to
// its name: its other names, its owner and group, its extended attributes
// and ACL. The owner and group are given to Temp here, where they may be.
static bool ReplacementKeeps(int Fd, const struct stat &St, int Temp) {
  if (St.st_nlink > 1)
    return false;
  if (fchown(Temp, St.st_uid, St.st_gid) != 0)
    (void)!fchown(Temp, static_cast<uid_t>(-1), St.st_gid);
  struct stat Made;
  if (fstat(Temp, &Made) != 0 || Made.st_uid != St.st_uid || Made.st_gid != St.st_gid)
    return false;
  std::vector<std::pair<std::string, std::string>> Old, New;
  if (!ReadAttributes(FdPath(Fd), Old))
    return true;  // nothing known to lose
  if (!ReadAttributes(FdPath(Temp), New))
    return Old.empty();
  for (const auto &A : Old)
    if (std::find(New.begin(), New.end(), A) == New.end())
      return false;
  return true;
}

// Syncs the folder Dir (O_PATH), so that a name changed in it outlasts a
// power cut. Some file systems sync no folder; the file itself is synced.
static void SyncFolder(int Dir) {
  const int D = openat(Dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (D < 0)
    return;
  (void)!fsync(D);
  close(D);
}

TAtomicFile::TAtomicFile(const std::string &Path, int Mode) : FReal(ResolvePath(Path)) {
  // A link to a name not there yet makes that name only on Commit, so that
  // a save given up or killed leaves nothing where it points.
  TSaveEntry E;
  bool Made;
  const int Fd = OpenByRule(FReal, O_PATH, TCreate::Never, 0, E, Made);
  FDir = E.TakeDir();
  FName = E.Name;
  if (FDir < 0)
    return;
  const bool Existed = Fd >= 0;
  FThroughLinks = !Existed && E.Linked;
  if (Existed) {
    FDev = static_cast<uint64_t>(E.St.st_dev);
    FIno = static_cast<uint64_t>(E.St.st_ino);
    // A write-protected file is refused, as the read-only attribute refuses
    // it. A given mode holds from here on, also when the content never
    // arrives; the owner's write bit goes only with the content in place.
    const bool Refused = WriteProtected(Fd, "", E.St, AT_EMPTY_PATH);
    if (Mode >= 0)
      NarrowMode(Fd, FDir, FName, E.St, Refused ? Mode : Mode | S_IWUSR);
    if (Refused) {
      close(Fd);
      return;
    }
    FOwner = static_cast<int64_t>(E.St.st_uid);
  }
  if (Mode >= 0)
    FMode = Mode;
  else if (Existed)
    FMode = static_cast<int>(E.St.st_mode & 07777);
  else
    FMode = static_cast<int>(0666 & ~CurrentUmask());
  RemoveLeftovers(FDir, FName);
  FFd = MakeTemporary(FDir, FName, FTemp);
  if (FFd >= 0 && Existed && !ReplacementKeeps(Fd, E.St, FFd)) {
    // A new file in its place would not be this one: the content goes into
    // the file itself once complete, gathered in the temporary meanwhile.
    unlinkat(FDir, FTemp.c_str(), 0);
    FTemp.clear();
    FInPlace = true;
  }
  if (Fd >= 0)
    close(Fd);
  if (FFd >= 0 || !Existed || (errno != EACCES && errno != EPERM)) {
    if (FFd < 0)
      FTemp.clear();
    return;
  }
  // The folder takes no new name but the file may be written: the content is
  // gathered in a private temporary elsewhere and copied over the file only
  // once it is complete.
  FTemp.clear();
  FInPlace = true;
  std::string Staging = EnvOr("TMPDIR", "/tmp") + "/.kvtmp-XXXXXX";
  FFd = mkostemp(Staging.data(), O_CLOEXEC);
  if (FFd >= 0)
    unlink(Staging.c_str());
}

TAtomicFile::~TAtomicFile() {
  Discard();
  if (FDir >= 0)
    close(FDir);
}

void TAtomicFile::Discard() {
  if (FFd < 0)
    return;
  close(FFd);
  FFd = -1;
  if (!FTemp.empty())
    unlinkat(FDir, FTemp.c_str(), 0);
  FTemp.clear();
}

bool TAtomicFile::Write(const void *Data, size_t Len) {
  if (FFd < 0)
    return false;
  const char *p = static_cast<const char *>(Data);
  while (Len > 0) {
    ssize_t n = write(FFd, p, Len);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      Discard();
      return false;
    }
    p += n;
    Len -= static_cast<size_t>(n);
  }
  return true;
}

// Writes the gathered content over the target itself, opened without
// following a link and only when it is still the file looked at. The room it
// needs is taken first, so a full disk refuses before any of the old content
// is gone.
bool TAtomicFile::CopyOver(bool Sync) {
  int Out = openat(FDir, FName.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (Out < 0)
    return false;
  struct stat st;
  if (fstat(Out, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_dev) != FDev ||
      static_cast<uint64_t>(st.st_ino) != FIno) {
    close(Out);
    return false;
  }
  const off_t Size = lseek(FFd, 0, SEEK_END);
  bool ok = Size >= 0;
  if (ok && Size > 0 && fallocate(Out, FALLOC_FL_KEEP_SIZE, 0, Size) != 0)
    ok = errno == EOPNOTSUPP || errno == ENOSYS;
  char buf[65536];
  for (off_t At = 0; ok && At < Size;) {
    ssize_t n = pread(FFd, buf, sizeof buf, At);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    for (ssize_t Done = 0; ok && Done < n;) {
      ssize_t w = pwrite(Out, buf + Done, static_cast<size_t>(n - Done), At + Done);
      if (w < 0 && errno == EINTR)
        continue;
      ok = w > 0;
      Done += ok ? w : 0;
    }
    At += n;
  }
  ok = ok && ftruncate(Out, Size) == 0 && (!Sync || fsync(Out) == 0);
  if (ok && fchmod(Out, static_cast<mode_t>(FMode)) != 0) {
    // Another user's file keeps its own mode.
  }
  return close(Out) == 0 && ok;
}

// Gives the temporary the name a link to a missing name leads to, where no
// file has come meanwhile, and keeps it there only when the kernel's own
// walk of the path reaches it.
bool TAtomicFile::PlaceThroughLinks() {
  if (renameat2(FDir, FTemp.c_str(), FDir, FName.c_str(), RENAME_NOREPLACE) != 0) {
    if ((errno != EINVAL && errno != ENOSYS) || linkat(FDir, FTemp.c_str(), FDir, FName.c_str(), 0) != 0)
      return false;
    unlinkat(FDir, FTemp.c_str(), 0);
  }
  FTemp.clear();
  const auto Slash = FReal.rfind('/');
  const std::string Folder = Slash == std::string::npos ? "." : (Slash == 0 ? "/" : FReal.substr(0, Slash));
  const int Top = open(Folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  const bool Reached = Top >= 0 && KernelReaches(Top, FReal.substr(Slash + 1), FFd);
  if (Top >= 0)
    close(Top);
  struct stat Mine, Now;
  if (!Reached && fstat(FFd, &Mine) == 0 && fstatat(FDir, FName.c_str(), &Now, AT_SYMLINK_NOFOLLOW) == 0 &&
      SameFile(Mine, Now))
    unlinkat(FDir, FName.c_str(), 0);
  return Reached;
}

bool TAtomicFile::Commit(bool Sync) {
  if (FFd < 0)
    return false;
  if (FInPlace) {
    const bool ok = CopyOver(Sync);
    Discard();
    return ok;
  }
  // The mode after the owner, which ReplacementKeeps gave, as a change of
  // owner clears some bits.
  bool ok = fchmod(FFd, static_cast<mode_t>(FMode)) == 0 && (!Sync || fsync(FFd) == 0);
  if (ok && FThroughLinks) {
    ok = PlaceThroughLinks();
  } else if (ok && renameat(FDir, FTemp.c_str(), FDir, FName.c_str()) != 0) {
    // A shared folder lets only an entry's owner replace it; a file there
    // that may be written is written in place.
    ok = FOwner >= 0 && (errno == EPERM || errno == EACCES) && CopyOver(Sync);
  } else if (ok) {
    FTemp.clear();
  }
  if (ok && Sync && FTemp.empty())
    SyncFolder(FDir);
  Discard();
  return ok;
}

bool WriteFileAtomic(const std::string &Path, const std::string &Data, int Mode) {
  TAtomicFile f(Path, Mode);
  return f.Write(Data.data(), Data.size()) && f.Commit();
}

bool CopyFile(const std::string &From, const std::string &To, bool FailIfExists) {
  std::string src = ResolvePath(From), dst = ResolvePath(To);
  if (FailIfExists && Exists(dst))
    return false;
  std::string data;
  if (!ReadFileToString(src, data))
    return false;
  struct stat st;
  int mode = stat(src.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : 0644;
  return WriteFileAtomic(dst, data, mode);
}

int32_t FileAge(const std::string &Path) {
  struct stat st;
  if (stat(ResolvePath(Path).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    return -1;
  time_t t = st.st_mtime;
  struct tm lt;
  localtime_r(&t, &lt);
  uint32_t date = static_cast<uint32_t>(((lt.tm_year - 80) << 9) | ((lt.tm_mon + 1) << 5) | lt.tm_mday);
  uint32_t tim = static_cast<uint32_t>((lt.tm_hour << 11) | (lt.tm_min << 5) | (lt.tm_sec / 2));
  return static_cast<int32_t>((date << 16) | tim);
}

int64_t FileSize(const std::string &Path) {
  struct stat st;
  if (stat(ResolvePath(Path).c_str(), &st) != 0)
    return -1;
  return static_cast<int64_t>(st.st_size);
}

static size_t LastDelimiter(const std::string &Path, const char *Delims) {
  auto p = Path.find_last_of(Delims);
  return p;
}

std::string ExtractFilePath(const std::string &Path) {
  auto p = LastDelimiter(Path, "\\/:");
  return p == std::string::npos ? std::string() : Path.substr(0, p + 1);
}

std::string ExtractFileDir(const std::string &Path) {
  auto p = LastDelimiter(Path, "\\/:");
  if (p == std::string::npos)
    return std::string();
  // Keep "c:\" and "/" whole.
  if (p > 0 && Path[p] != ':' && Path[p - 1] != ':' && p != 0)
    return Path.substr(0, p);
  return Path.substr(0, p + 1);
}

std::string ExtractFileName(const std::string &Path) {
  auto p = LastDelimiter(Path, "\\/:");
  return p == std::string::npos ? Path : Path.substr(p + 1);
}

std::string ExtractFileExt(const std::string &Path) {
  auto p = LastDelimiter(Path, ".\\/:");
  return (p != std::string::npos && Path[p] == '.') ? Path.substr(p) : std::string();
}

std::string ChangeFileExt(const std::string &Path, const std::string &Ext) {
  auto p = LastDelimiter(Path, ".\\/:");
  if (p == std::string::npos || Path[p] != '.')
    return Path + Ext;
  return Path.substr(0, p) + Ext;
}

std::string IncludeTrailingBackslash(const std::string &Path) {
  if (!Path.empty() && (Path.back() == '\\' || Path.back() == '/'))
    return Path;
  return Path + "\\";
}

}  // namespace kv
