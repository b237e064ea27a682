// The registry file is line-based text, so a person can read it and a test can
// seed it:
//
//   ; comment lines and blank lines are ignored
//   [HKEY_CURRENT_USER\Software\Ostrell Technologies]
//   @="the default value"
//   "Name"="a string"
//   "Path"=expand:"%HOME%\\x"
//   "Count"=dword:0000002a
//   "Blob"=hex:01,02,ff
//
// A section names a key by its full path, starting with one of the hives
// HKEY_CLASSES_ROOT, HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE; keys above it
// exist implicitly. In a key path the bytes "%", "]" and those outside
// 0x20..0x7E are written as %HH. Value names and string data are quoted; inside
// the quotes "\\" is a backslash, "\"" a quote and \xHH (two hex digits) any
// byte, and every byte outside 0x20..0x7E is written that way, so every byte
// value round-trips and the file stays plain ASCII. "@" is the default (empty)
// value name. A DWORD has one to eight hex digits. Lines may end in CRLF.
// Anything else is damage: reading it raises ERegistryException naming the line,
// and no write replaces a damaged file. Comments are not kept on rewrite.
//
// Writes take flock on "<file>.lock", re-read the file, change it and replace
// it by rename. Reads need no lock and re-parse only when the file changed.
#include "platform/Registry.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Paths.h"

namespace kv {

ERegistryException::~ERegistryException() = default;

namespace {

struct TRegValue {
  std::string Name;
  TRegDataType Type = rdString;
  std::string Data;  // string bytes, binary bytes, or 4 bytes little-endian
};

struct TRegKey {
  std::string Name;
  std::vector<TRegValue> Values;  // in the order they were created
  std::vector<std::unique_ptr<TRegKey>> SubKeys;  // sorted by upper-cased name

  TRegValue *FindValue(const std::string &N) {
    for (auto &v : Values)
      if (SameText(v.Name, N))
        return &v;
    return nullptr;
  }
  TRegKey *FindSub(const std::string &N) const {
    for (auto &k : SubKeys)
      if (SameText(k->Name, N))
        return k.get();
    return nullptr;
  }
  TRegKey *AddSub(const std::string &N) {
    if (TRegKey *k = FindSub(N))
      return k;
    auto k = std::make_unique<TRegKey>();
    k->Name = N;
    const std::string up = UpperCase(N);
    auto it = SubKeys.begin();
    while (it != SubKeys.end() && UpperCase((*it)->Name) < up)
      ++it;
    return SubKeys.insert(it, std::move(k))->get();
  }
};

struct THive {
  HKEY Key;
  const char *Name;
};
constexpr THive Hives[] = {{HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"},
                           {HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
                           {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"}};
constexpr int HiveCount = 3;

int HiveIndex(HKEY Key) {
  for (int i = 0; i < HiveCount; ++i)
    if (Hives[i].Key == Key)
      return i;
  return -1;
}

struct TRegTree {
  TRegKey Roots[HiveCount];
};

std::vector<std::string> SplitPath(const std::string &Path) {
  std::vector<std::string> parts;
  size_t i = 0;
  while (i <= Path.size()) {
    size_t j = Path.find('\\', i);
    if (j == std::string::npos)
      j = Path.size();
    if (j > i)
      parts.push_back(Path.substr(i, j - i));
    i = j + 1;
  }
  return parts;
}

TRegKey *FindKey(TRegTree &T, HKEY Root, const std::string &Path) {
  int h = HiveIndex(Root);
  if (h < 0)
    return nullptr;
  TRegKey *k = &T.Roots[h];
  for (const auto &p : SplitPath(Path)) {
    k = k->FindSub(p);
    if (!k)
      return nullptr;
  }
  return k;
}

TRegKey *MakeKey(TRegTree &T, HKEY Root, const std::string &Path) {
  int h = HiveIndex(Root);
  if (h < 0)
    return nullptr;
  TRegKey *k = &T.Roots[h];
  for (const auto &p : SplitPath(Path))
    k = k->AddSub(p);
  return k;
}

// ---- the text form ----

const char HexDigits[] = "0123456789abcdef";

bool Printable(unsigned char c) { return c >= 0x20 && c <= 0x7E; }

std::string QuoteText(const std::string &S) {
  std::string out = "\"";
  for (unsigned char c : S) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (Printable(c)) {
      out += static_cast<char>(c);
    } else {
      out += "\\x";
      out += HexDigits[c >> 4];
      out += HexDigits[c & 15];
    }
  }
  out += '"';
  return out;
}

std::string EscapeKeyName(const std::string &S) {
  std::string out;
  for (unsigned char c : S) {
    if (Printable(c) && c != '%' && c != ']') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += HexDigits[c >> 4];
      out += HexDigits[c & 15];
    }
  }
  return out;
}


void WriteKey(std::string &Out, const std::string &Path, const TRegKey &K, bool IsHive) {
  if (!IsHive || !K.Values.empty()) {
    Out += "\n[" + Path + "]\n";
    for (const auto &v : K.Values) {
      Out += v.Name.empty() ? std::string("@") : QuoteText(v.Name);
      Out += '=';
      switch (v.Type) {
      case rdInteger: {
        uint32_t d = 0;
        for (int i = 3; i >= 0; --i)
          d = (d << 8) | static_cast<unsigned char>(v.Data[static_cast<size_t>(i)]);
        Out += Format("dword:%08x", d);
        break;
      }
      case rdBinary:
        Out += "hex:";
        for (size_t i = 0; i < v.Data.size(); ++i) {
          unsigned char c = static_cast<unsigned char>(v.Data[i]);
          if (i)
            Out += ',';
          Out += HexDigits[c >> 4];
          Out += HexDigits[c & 15];
        }
        break;
      case rdExpandString:
        Out += "expand:" + QuoteText(v.Data);
        break;
      default:
        Out += QuoteText(v.Data);
        break;
      }
      Out += '\n';
    }
  }
  for (const auto &s : K.SubKeys)
    WriteKey(Out, Path + "\\" + EscapeKeyName(s->Name), *s, false);
}

std::string Serialize(const TRegTree &T) {
  std::string out = "; Korvandel registry\n";
  for (int h = 0; h < HiveCount; ++h)
    WriteKey(out, Hives[h].Name, T.Roots[h], true);
  return out;
}

class TParser {
public:
  TParser(const std::string &File, const std::string &Text) : FFile(File), FText(Text) {}

  std::unique_ptr<TRegTree> Run() {
    auto tree = std::make_unique<TRegTree>();
    TRegKey *cur = nullptr;
    size_t pos = 0;
    while (pos < FText.size()) {
      ++FLine;
      size_t eol = FText.find('\n', pos);
      if (eol == std::string::npos)
        eol = FText.size();
      std::string line = FText.substr(pos, eol - pos);
      pos = eol + 1;
      if (!line.empty() && line.back() == '\r')
        line.pop_back();
      size_t first = line.find_first_not_of(" \t");
      if (first == std::string::npos || line[first] == ';')
        continue;
      size_t last = line.find_last_not_of(" \t");
      line = line.substr(first, last - first + 1);
      if (line[0] == '[') {
        if (line.back() != ']')
          Fail("a key line must end with \"]\"");
        cur = ParseKeyPath(*tree, line.substr(1, line.size() - 2));
      } else {
        if (!cur)
          Fail("a value before the first key");
        ParseValue(*cur, line);
      }
    }
    return tree;
  }

private:
  [[noreturn]] void Fail(const std::string &Why) {
    throw ERegistryException(Format("The registry file %s is damaged at line %d: %s", FFile.c_str(), FLine, Why.c_str()));
  }

  TRegKey *ParseKeyPath(TRegTree &T, const std::string &Path) {
    std::vector<std::string> parts;
    std::string cur;
    for (size_t i = 0; i < Path.size(); ++i) {
      char c = Path[i];
      if (c == '\\') {
        parts.push_back(cur);
        cur.clear();
      } else if (c == '%') {
        int a = i + 2 < Path.size() ? HexDigitValue(Path[i + 1]) : -1;
        int b = a >= 0 ? HexDigitValue(Path[i + 2]) : -1;
        if (b < 0)
          Fail("\"%\" in a key name must be followed by two hex digits");
        // A key name can never hold the path separator.
        if (a * 16 + b == '\\')
          Fail("\"\\\" in a key name");
        cur += static_cast<char>(a * 16 + b);
        i += 2;
      } else {
        cur += c;
      }
    }
    parts.push_back(cur);
    int h = -1;
    for (int i = 0; i < HiveCount; ++i)
      if (SameText(parts[0], Hives[i].Name))
        h = i;
    if (h < 0)
      Fail("unknown hive \"" + parts[0] + "\"");
    TRegKey *k = &T.Roots[h];
    for (size_t i = 1; i < parts.size(); ++i) {
      if (parts[i].empty())
        Fail("an empty key name");
      k = k->AddSub(parts[i]);
    }
    return k;
  }

  // Parses a quoted text at S[i]; leaves i after the closing quote.
  std::string ParseQuoted(const std::string &S, size_t &i) {
    if (i >= S.size() || S[i] != '"')
      Fail("a quoted text was expected");
    ++i;
    std::string out;
    for (;;) {
      if (i >= S.size())
        Fail("a quoted text is not closed");
      char c = S[i++];
      if (c == '"')
        return out;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (i >= S.size())
        Fail("a quoted text is not closed");
      char e = S[i++];
      if (e == '\\' || e == '"') {
        out += e;
      } else if (e == 'x') {
        int a = i + 1 < S.size() ? HexDigitValue(S[i]) : -1;
        int b = a >= 0 ? HexDigitValue(S[i + 1]) : -1;
        if (b < 0)
          Fail("\"\\x\" must be followed by two hex digits");
        out += static_cast<char>(a * 16 + b);
        i += 2;
      } else {
        Fail(std::string("unknown escape \"\\") + e + "\"");
      }
    }
  }

  void ParseValue(TRegKey &K, const std::string &L) {
    size_t i = 0;
    TRegValue v;
    if (L[0] == '@') {
      i = 1;
    } else {
      v.Name = ParseQuoted(L, i);
    }
    if (i >= L.size() || L[i] != '=')
      Fail("\"=\" was expected after the value name");
    ++i;
    std::string rest = L.substr(i);
    if (!rest.empty() && rest[0] == '"') {
      size_t j = 0;
      v.Type = rdString;
      v.Data = ParseQuoted(rest, j);
      if (j != rest.size())
        Fail("text after the closing quote");
    } else if (rest.rfind("expand:", 0) == 0) {
      size_t j = 7;
      v.Type = rdExpandString;
      v.Data = ParseQuoted(rest, j);
      if (j != rest.size())
        Fail("text after the closing quote");
    } else if (rest.rfind("dword:", 0) == 0) {
      std::string digits = rest.substr(6);
      if (digits.empty() || digits.size() > 8)
        Fail("a dword needs one to eight hex digits");
      uint32_t d = 0;
      for (char c : digits) {
        int x = HexDigitValue(c);
        if (x < 0)
          Fail("a dword needs one to eight hex digits");
        d = (d << 4) | static_cast<uint32_t>(x);
      }
      v.Type = rdInteger;
      for (int b = 0; b < 4; ++b)
        v.Data += static_cast<char>((d >> (8 * b)) & 0xFF);
    } else if (rest.rfind("hex:", 0) == 0) {
      v.Type = rdBinary;
      size_t j = 4;
      while (j < rest.size()) {
        while (j < rest.size() && rest[j] == ' ')
          ++j;
        int a = j + 1 < rest.size() ? HexDigitValue(rest[j]) : -1;
        int b = a >= 0 ? HexDigitValue(rest[j + 1]) : -1;
        if (b < 0)
          Fail("binary data must be hex bytes separated by commas");
        v.Data += static_cast<char>(a * 16 + b);
        j += 2;
        while (j < rest.size() && rest[j] == ' ')
          ++j;
        if (j < rest.size()) {
          if (rest[j] != ',' || j + 1 == rest.size())
            Fail("binary data must be hex bytes separated by commas");
          ++j;
        }
      }
    } else {
      Fail("unknown kind of value");
    }
    if (K.FindValue(v.Name))
      Fail("the value \"" + v.Name + "\" appears twice in one key");
    K.Values.push_back(std::move(v));
  }

  const std::string &FFile;
  const std::string &FText;
  int FLine = 0;
};

// ---- the file ----

std::string RegistryFile() {
  const char *r = std::getenv("KORVANDEL_REGISTRY");
  if (r && *r)
    return r;
  const char *x = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (x && *x)
    base = x;
  else {
    const char *home = std::getenv("HOME");
    base = std::string(home && *home ? home : "/tmp") + "/.config";
  }
  return base + "/korvandel/registry";
}

struct TStamp {
  dev_t Dev = 0;
  ino_t Ino = 0;
  off_t Size = -1;
  long long MSec = 0, MNSec = 0, CSec = 0, CNSec = 0;
  bool operator==(const TStamp &) const = default;
};

TStamp StampOf(const struct stat &st) {
  TStamp s;
  s.Dev = st.st_dev;
  s.Ino = st.st_ino;
  s.Size = st.st_size;
  s.MSec = st.st_mtim.tv_sec;
  s.MNSec = st.st_mtim.tv_nsec;
  s.CSec = st.st_ctim.tv_sec;
  s.CNSec = st.st_ctim.tv_nsec;
  return s;
}

bool ReadAll(int Fd, std::string &Data) {
  Data.clear();
  char buf[65536];
  for (;;) {
    ssize_t n = read(Fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    if (n == 0)
      return true;
    Data.append(buf, static_cast<size_t>(n));
  }
}

// The last tree read by this process, shared by every TRegistry object.
std::mutex CacheLock;
std::string CachePath;
TStamp CacheStamp;
std::shared_ptr<TRegTree> CacheTree;
int CacheFd = -1;

// Reads and parses the file; a missing file is an empty registry. Reading
// outside the write lock is safe: the file is only ever replaced whole. With
// KeepFd the descriptor of the file read stays open for the caller.
std::unique_ptr<TRegTree> ParseFile(const std::string &File, TStamp *Stamp, const std::shared_ptr<TRegTree> *Cached,
                                    std::shared_ptr<TRegTree> *Hit, int *KeepFd) {
  int fd = open(File.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) {
      *Stamp = TStamp();
      return std::make_unique<TRegTree>();
    }
    throw ERegistryException(Format("Cannot read the registry file %s: %s", File.c_str(), std::strerror(errno)));
  }
  struct stat st;
  fstat(fd, &st);
  TStamp stamp = StampOf(st);
  if (Cached && *Cached && stamp == *Stamp) {
    close(fd);
    *Hit = *Cached;
    return nullptr;
  }
  std::string text;
  bool ok = ReadAll(fd, text);
  int err = errno;
  std::unique_ptr<TRegTree> tree;
  try {
    if (!ok)
      throw ERegistryException(Format("Cannot read the registry file %s: %s", File.c_str(), std::strerror(err)));
    tree = TParser(File, text).Run();
  } catch (...) {
    close(fd);
    throw;
  }
  *Stamp = stamp;
  if (KeepFd)
    *KeepFd = fd;
  else
    close(fd);
  return tree;
}

// The latest tree for reading, shared with other readers of this process.
std::shared_ptr<TRegTree> Load(const std::string &File) {
  TStamp stamp;
  std::shared_ptr<TRegTree> cached;
  {
    std::lock_guard<std::mutex> g(CacheLock);
    if (CachePath == File) {
      stamp = CacheStamp;
      cached = CacheTree;
    }
  }
  std::shared_ptr<TRegTree> hit;
  int fd = -1;
  std::unique_ptr<TRegTree> fresh = ParseFile(File, &stamp, &cached, &hit, &fd);
  if (!fresh)
    return hit;
  std::shared_ptr<TRegTree> tree = std::move(fresh);
  std::lock_guard<std::mutex> g(CacheLock);
  // Holding the cached file open keeps its inode number from being reused by
  // a later version, which could then pass for the cached one.
  if (CacheFd >= 0)
    close(CacheFd);
  CacheFd = fd;
  CachePath = File;
  CacheStamp = stamp;
  CacheTree = tree;
  return tree;
}

void MakeParents(const std::string &File) {
  for (size_t i = 1; i < File.size(); ++i)
    if (File[i] == '/') {
      std::string dir = File.substr(0, i);
      mkdir(dir.c_str(), 0700);
    }
}

// Through the one writer every save uses; the registry holds logins, so it
// is private to the user.
bool ReplaceFile(const std::string &File, const std::string &Data) { return WriteFileAtomic(File, Data, 0600); }

// One change to the tree: what every write of the registry comes down to, so
// a batch can make it at once on its own copy and again on the file at commit.
struct TChange {
  enum TKind { MakeKey, DeleteKey, PutValue, DeleteValue } Kind;
  HKEY Root;
  std::string Path;  // normalised, below the root
  std::string Name;  // the value's
  TRegDataType Type = rdString;
  std::string Data;
};

TChange Change(TChange::TKind Kind, HKEY Root, const std::string &Path, const std::string &Name = "",
               TRegDataType Type = rdString, const std::string &Data = "") {
  return TChange{Kind, Root, Path, Name, Type, Data};
}

enum class TApplied { Changed, Unchanged, Missing };

TApplied Apply(TRegTree &T, const TChange &C) {
  switch (C.Kind) {
  case TChange::MakeKey:
    if (FindKey(T, C.Root, C.Path))
      return TApplied::Unchanged;
    return MakeKey(T, C.Root, C.Path) ? TApplied::Changed : TApplied::Missing;
  case TChange::DeleteKey: {
    std::vector<std::string> parts = SplitPath(C.Path);
    if (parts.empty())
      return TApplied::Missing;
    const std::string leaf = parts.back();
    parts.pop_back();
    std::string parentPath;
    for (const auto &p : parts)
      parentPath += (parentPath.empty() ? "" : "\\") + p;
    TRegKey *parent = FindKey(T, C.Root, parentPath);
    if (!parent)
      return TApplied::Missing;
    for (auto it = parent->SubKeys.begin(); it != parent->SubKeys.end(); ++it)
      if (SameText((*it)->Name, leaf)) {
        parent->SubKeys.erase(it);
        return TApplied::Changed;
      }
    return TApplied::Missing;
  }
  case TChange::PutValue: {
    TRegKey *k = FindKey(T, C.Root, C.Path);
    if (!k)
      return TApplied::Missing;  // deleted under us: Windows fails such a write too
    if (TRegValue *v = k->FindValue(C.Name)) {
      v->Type = C.Type;
      v->Data = C.Data;
    } else {
      k->Values.push_back(TRegValue{C.Name, C.Type, C.Data});
    }
    return TApplied::Changed;
  }
  case TChange::DeleteValue: {
    TRegKey *k = FindKey(T, C.Root, C.Path);
    if (!k)
      return TApplied::Missing;
    for (auto it = k->Values.begin(); it != k->Values.end(); ++it)
      if (SameText(it->Name, C.Name)) {
        k->Values.erase(it);
        return TApplied::Changed;
      }
    return TApplied::Missing;
  }
  }
  return TApplied::Missing;
}

// The open batch of this thread: its own copy of the tree, which reads on this
// thread see, and the changes to make again on the file at commit.
struct TBatchState {
  std::string File;
  std::shared_ptr<TRegTree> Shared;  // read on first use
  std::vector<TChange> Changes;
};
thread_local TBatchState *OpenBatch = nullptr;
thread_local int BatchDepth = 0;

TRegTree &BatchTree(TBatchState &B) {
  if (!B.Shared) {
    TStamp stamp;
    B.Shared = ParseFile(B.File, &stamp, nullptr, nullptr, nullptr);
  }
  return *B.Shared;
}

// Runs Changes on the latest tree under the write lock and stores the result
// when any of them changed it. False when the file could not be written; a
// damaged file raises and is left as it is. The outcome of the last change
// goes to Outcome.
bool WriteChanges(const std::vector<TChange> &Changes, TApplied *Outcome) {
  const std::string file = RegistryFile();
  MakeParents(file);
  const std::string lockName = file + ".lock";
  // Found and made as the save finds its file: a link another user put there
  // makes nothing of the saver's elsewhere.
  int lfd = OpenForSave(lockName, O_RDWR, 0600);
  if (lfd < 0)
    return false;
  while (flock(lfd, LOCK_EX) != 0 && errno == EINTR) {
  }
  struct TUnlock {
    int Fd;
    ~TUnlock() { close(Fd); }
  } unlock{lfd};
  // A private tree: the cached one may be in use by readers.
  TStamp stamp;
  std::unique_ptr<TRegTree> tree = ParseFile(file, &stamp, nullptr, nullptr, nullptr);
  bool changed = false;
  for (const TChange &C : Changes) {
    const TApplied a = Apply(*tree, C);
    changed = changed || a == TApplied::Changed;
    if (Outcome)
      *Outcome = a;
  }
  if (!changed)
    return true;
  return ReplaceFile(file, Serialize(*tree));
}

// Makes one change: on the open batch's copy, else on the file at once.
bool Modify(const TChange &Change, TApplied &Outcome) {
  if (OpenBatch && OpenBatch->File == RegistryFile()) {
    Outcome = Apply(BatchTree(*OpenBatch), Change);
    if (Outcome == TApplied::Changed)
      OpenBatch->Changes.push_back(Change);
    return true;
  }
  return WriteChanges({Change}, &Outcome);
}

std::shared_ptr<TRegTree> Current() {
  const std::string file = RegistryFile();
  if (OpenBatch && OpenBatch->File == file) {
    BatchTree(*OpenBatch);
    return OpenBatch->Shared;
  }
  return Load(file);
}

std::string IntData(int Value) {
  uint32_t d = static_cast<uint32_t>(Value);
  std::string s;
  for (int b = 0; b < 4; ++b)
    s += static_cast<char>((d >> (8 * b)) & 0xFF);
  return s;
}

}  // namespace

std::string RegistryFileName() { return RegistryFile(); }

TRegistryBatch::TRegistryBatch() {
  if (BatchDepth++ == 0) {
    auto *state = new TBatchState;
    state->File = RegistryFile();
    OpenBatch = state;
    FState = state;
  }
}

TRegistryBatch::~TRegistryBatch() {
  if (!FOpen)
    return;
  FOpen = false;
  --BatchDepth;
  if (auto *state = static_cast<TBatchState *>(FState)) {
    OpenBatch = nullptr;
    delete state;
  }
}

void TRegistryBatch::Commit() {
  if (!FOpen)
    return;
  auto *state = static_cast<TBatchState *>(FState);
  if (!state)
    return;
  std::vector<TChange> changes = std::move(state->Changes);
  // Closed first, so the write below goes to the file.
  FOpen = false;
  --BatchDepth;
  OpenBatch = nullptr;
  delete state;
  FState = nullptr;
  if (!changes.empty() && !WriteChanges(changes, nullptr))
    throw ERegistryException(Format("Failed to write the registry file %s", RegistryFile().c_str()));
}

TRegistry::TRegistry() = default;
TRegistry::~TRegistry() = default;

void TRegistry::SetRootKey(HKEY Root) {
  CloseKey();
  RootKey = Root;
}

std::string TRegistry::FullPath(const std::string &Key) const {
  std::string rel = Key;
  bool absolute = !rel.empty() && rel[0] == '\\';
  if (absolute || !HasCurrentKey())
    return rel;
  if (FCurrentPath.empty())
    return rel;
  return FCurrentPath + "\\" + rel;
}

static std::string Normalize(const std::string &Path) {
  std::string out;
  for (const auto &p : SplitPath(Path)) {
    if (!out.empty())
      out += '\\';
    out += p;
  }
  return out;
}

bool TRegistry::OpenKey(const std::string &Key, bool CanCreate) {
  const std::string path = Normalize(FullPath(Key));
  if (HiveIndex(RootKey) < 0)
    return false;
  auto tree = Current();
  if (!FindKey(*tree, RootKey, path)) {
    if (!CanCreate)
      return false;
    TApplied outcome;
    if (!Modify(Change(TChange::MakeKey, RootKey, path), outcome) || outcome == TApplied::Missing)
      return false;
  }
  CloseKey();
  FOpen = true;
  FReadOnly = false;
  FOpenRoot = RootKey;
  FCurrentPath = path;
  return true;
}

bool TRegistry::OpenKeyReadOnly(const std::string &Key) {
  const std::string path = Normalize(FullPath(Key));
  if (HiveIndex(RootKey) < 0)
    return false;
  auto tree = Current();
  if (!FindKey(*tree, RootKey, path))
    return false;
  CloseKey();
  FOpen = true;
  FReadOnly = true;
  FOpenRoot = RootKey;
  FCurrentPath = path;
  return true;
}

void TRegistry::CloseKey() {
  FOpen = false;
  FReadOnly = false;
  FCurrentPath.clear();
}

bool TRegistry::CreateKey(const std::string &Key) {
  const std::string path = Normalize(FullPath(Key));
  TApplied outcome = TApplied::Missing;
  bool ok = HiveIndex(RootKey) >= 0 && Modify(Change(TChange::MakeKey, RootKey, path), outcome) &&
            outcome != TApplied::Missing;
  if (!ok)
    throw ERegistryException(Format("Failed to create key %s", Key.c_str()));
  return true;
}

bool TRegistry::DeleteKey(const std::string &Key) {
  const std::string path = Normalize(FullPath(Key));
  if (HiveIndex(RootKey) < 0 || path.empty() || !KeyExists("\\" + path))
    return false;
  TApplied outcome;
  return Modify(Change(TChange::DeleteKey, RootKey, path), outcome) && outcome == TApplied::Changed;
}

bool TRegistry::KeyExists(const std::string &Key) {
  if (HiveIndex(RootKey) < 0)
    return false;
  auto tree = Current();
  return FindKey(*tree, RootKey, Normalize(FullPath(Key))) != nullptr;
}

// The open key in the latest tree; nullptr when none is open or it has gone.
static TRegKey *OpenedKey(TRegTree &T, bool Open, HKEY Root, const std::string &Path) {
  return Open ? FindKey(T, Root, Path) : nullptr;
}

bool TRegistry::HasSubKeys() {
  auto tree = Current();
  TRegKey *k = OpenedKey(*tree, HasCurrentKey(), RootKey, FCurrentPath);
  return k && !k->SubKeys.empty();
}

void TRegistry::GetKeyNames(TStrings &Strings) {
  Strings.Clear();
  auto tree = Current();
  if (TRegKey *k = OpenedKey(*tree, HasCurrentKey(), RootKey, FCurrentPath))
    for (const auto &s : k->SubKeys)
      Strings.Add(s->Name);
}

void TRegistry::GetValueNames(TStrings &Strings) {
  Strings.Clear();
  auto tree = Current();
  if (TRegKey *k = OpenedKey(*tree, HasCurrentKey(), RootKey, FCurrentPath))
    for (const auto &v : k->Values)
      Strings.Add(v.Name);
}

bool TRegistry::ValueExists(const std::string &Name) {
  auto tree = Current();
  TRegKey *k = OpenedKey(*tree, HasCurrentKey(), RootKey, FCurrentPath);
  return k && k->FindValue(Name);
}

bool TRegistry::DeleteValue(const std::string &Name) {
  if (!HasCurrentKey() || FReadOnly || !ValueExists(Name))
    return false;
  TApplied outcome;
  return Modify(Change(TChange::DeleteValue, RootKey, FCurrentPath, Name), outcome) &&
         outcome == TApplied::Changed;
}

TRegDataType TRegistry::GetDataType(const std::string &Name) {
  auto tree = Current();
  TRegKey *k = OpenedKey(*tree, HasCurrentKey(), RootKey, FCurrentPath);
  TRegValue *v = k ? k->FindValue(Name) : nullptr;
  return v ? v->Type : rdUnknown;
}

int TRegistry::GetDataSize(const std::string &Name) {
  auto tree = Current();
  TRegKey *k = OpenedKey(*tree, HasCurrentKey(), RootKey, FCurrentPath);
  TRegValue *v = k ? k->FindValue(Name) : nullptr;
  if (!v)
    return -1;
  // Windows counts the terminating zero of a string.
  bool text = v->Type == rdString || v->Type == rdExpandString;
  return static_cast<int>(v->Data.size()) + (text ? 1 : 0);
}

bool TRegistry::GetValue(const std::string &Name, TRegDataType &Type, std::string &Data) {
  auto tree = Current();
  TRegKey *k = OpenedKey(*tree, HasCurrentKey(), RootKey, FCurrentPath);
  TRegValue *v = k ? k->FindValue(Name) : nullptr;
  if (!v)
    return false;
  Type = v->Type;
  Data = v->Data;
  return true;
}

void TRegistry::PutValue(const std::string &Name, TRegDataType Type, const std::string &Data) {
  bool ok = HasCurrentKey() && !FReadOnly;
  if (ok) {
    TApplied outcome;
    ok = Modify(Change(TChange::PutValue, RootKey, FCurrentPath, Name, Type, Data), outcome) &&
         outcome != TApplied::Missing;
  }
  if (!ok)
    throw ERegistryException(Format("Failed to set data for '%s'", Name.c_str()));
}

std::string TRegistry::ReadString(const std::string &Name) {
  TRegDataType t;
  std::string d;
  if (!GetValue(Name, t, d))
    return "";
  if (t != rdString && t != rdExpandString)
    throw ERegistryException(Format("Invalid data type for '%s'", Name.c_str()));
  return d;
}

void TRegistry::WriteString(const std::string &Name, const std::string &Value) { PutValue(Name, rdString, Value); }

void TRegistry::WriteExpandString(const std::string &Name, const std::string &Value) {
  PutValue(Name, rdExpandString, Value);
}

int TRegistry::ReadInteger(const std::string &Name) {
  TRegDataType t;
  std::string d;
  if (!GetValue(Name, t, d))
    throw ERegistryException(Format("Failed to get data for '%s'", Name.c_str()));
  if (t != rdInteger || d.size() != 4)
    throw ERegistryException(Format("Invalid data type for '%s'", Name.c_str()));
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i)
    v = (v << 8) | static_cast<unsigned char>(d[static_cast<size_t>(i)]);
  return static_cast<int>(v);
}

void TRegistry::WriteInteger(const std::string &Name, int Value) { PutValue(Name, rdInteger, IntData(Value)); }

bool TRegistry::ReadBool(const std::string &Name) { return ReadInteger(Name) != 0; }

void TRegistry::WriteBool(const std::string &Name, bool Value) { WriteInteger(Name, Value ? 1 : 0); }

double TRegistry::ReadFloat(const std::string &Name) {
  TRegDataType t;
  std::string d;
  if (!GetValue(Name, t, d))
    throw ERegistryException(Format("Failed to get data for '%s'", Name.c_str()));
  double v;
  if (t != rdBinary || d.size() != sizeof v)
    throw ERegistryException(Format("Invalid data type for '%s'", Name.c_str()));
  std::memcpy(&v, d.data(), sizeof v);
  return v;
}

void TRegistry::WriteFloat(const std::string &Name, double Value) {
  WriteBinaryData(Name, &Value, static_cast<int>(sizeof Value));
}

int TRegistry::ReadBinaryData(const std::string &Name, void *Buffer, int BufSize) {
  TRegDataType t;
  std::string d;
  if (!GetValue(Name, t, d))
    return 0;
  if ((t != rdBinary && t != rdUnknown) || BufSize < 0 || d.size() > static_cast<size_t>(BufSize))
    throw ERegistryException(Format("Invalid data type for '%s'", Name.c_str()));
  if (!d.empty())
    std::memcpy(Buffer, d.data(), d.size());
  return static_cast<int>(d.size());
}

void TRegistry::WriteBinaryData(const std::string &Name, const void *Buffer, int BufSize) {
  if (BufSize < 0 || (BufSize > 0 && !Buffer))
    throw ERegistryException(Format("Failed to set data for '%s'", Name.c_str()));
  PutValue(Name, rdBinary, std::string(static_cast<const char *>(Buffer), static_cast<size_t>(BufSize)));
}

TRegIniFile::TRegIniFile(const std::string &FileName, HKEY Root) : FFileName(FileName) {
  RootKey = Root;
  OpenKey(FileName, true);
}

// Create false opens for reading only.
bool TRegIniFile::OpenSection(TRegistry &Sub, const std::string &Section, bool Create) {
  Sub.RootKey = RootKey;
  std::string path = Section;
  if (path.empty() || path[0] != '\\')
    path = "\\" + CurrentPath() + "\\" + Section;
  return Create ? Sub.OpenKey(path, true) : Sub.OpenKeyReadOnly(path);
}

std::string TRegIniFile::ReadString(const std::string &Section, const std::string &Ident, const std::string &Default) {
  TRegistry sub;
  if (!OpenSection(sub, Section, false) || !sub.ValueExists(Ident))
    return Default;
  return sub.ReadString(Ident);
}

void TRegIniFile::WriteString(const std::string &Section, const std::string &Ident, const std::string &Value) {
  TRegistry sub;
  if (!OpenSection(sub, Section, true))
    throw ERegistryException(Format("Failed to create key %s", Section.c_str()));
  sub.WriteString(Ident, Value);
}

int TRegIniFile::ReadInteger(const std::string &Section, const std::string &Ident, int Default) {
  std::string s = ReadString(Section, Ident, "");
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X'))
    s = "$" + s.substr(2);
  return StrToIntDef(s, Default);
}

void TRegIniFile::WriteInteger(const std::string &Section, const std::string &Ident, int Value) {
  WriteString(Section, Ident, IntToStr(Value));
}

bool TRegIniFile::ReadBool(const std::string &Section, const std::string &Ident, bool Default) {
  return ReadInteger(Section, Ident, Default ? 1 : 0) != 0;
}

void TRegIniFile::WriteBool(const std::string &Section, const std::string &Ident, bool Value) {
  WriteString(Section, Ident, Value ? "1" : "0");
}

void TRegIniFile::ReadSection(const std::string &Section, TStrings &Idents) {
  TRegistry sub;
  if (OpenSection(sub, Section, false))
    sub.GetValueNames(Idents);
  else
    Idents.Clear();
}

void TRegIniFile::ReadSections(TStrings &Sections) { GetKeyNames(Sections); }

void TRegIniFile::ReadSectionValues(const std::string &Section, TStrings &Lines) {
  TStringList idents;
  ReadSection(Section, idents);
  Lines.Clear();
  for (int i = 0; i < idents.Count(); ++i)
    Lines.Add(idents[i] + "=" + ReadString(Section, idents[i], ""));
}

void TRegIniFile::EraseSection(const std::string &Section) { TRegistry::DeleteKey(Section); }

void TRegIniFile::DeleteKey(const std::string &Section, const std::string &Ident) {
  TRegistry sub;
  sub.RootKey = RootKey;
  std::string path = Section;
  if (path.empty() || path[0] != '\\')
    path = "\\" + CurrentPath() + "\\" + Section;
  if (sub.OpenKey(path, false))
    sub.DeleteValue(Ident);
}

}  // namespace kv
