// Profile files as Windows reads them: a value is the text after the first "=",
// trimmed, with one pair of surrounding quotes (" or ') removed. A value that
// would not come back through that (blanks or a quote at either end, CR, LF or
// NUL anywhere) is written inside double quotes; within a double-quoted value
// "^M" is CR, "^J" LF, "^@" NUL and "^^" a caret, so such a value reads back
// exactly. Every other value is written plainly. A caret not followed by one of
// "MJ@^" stays a caret, so hand-written quoted values read as Windows reads them
// unless they hold one of these four pairs.
#include "platform/IniFile.h"

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/Paths.h"
#include "platform/SysUtils.h"

namespace kv {

namespace {

constexpr size_t MaxValue = 1023;

enum TLineKind { lkOther, lkSection, lkKey };

struct TLine {
  std::string Raw;
  TLineKind Kind = lkOther;
  std::string Name;  // section or key name, trimmed
  bool HasValue = false;
  std::string Value;  // raw text after "="
};

std::vector<TLine> ParseLines(const std::string &Text) {
  std::vector<TLine> lines;
  size_t pos = 0;
  while (pos < Text.size()) {
    size_t eol = Text.find('\n', pos);
    if (eol == std::string::npos)
      eol = Text.size();
    TLine l;
    l.Raw = Text.substr(pos, eol - pos);
    pos = eol + 1;
    if (!l.Raw.empty() && l.Raw.back() == '\r')
      l.Raw.pop_back();
    std::string t = Trim(l.Raw);
    if (t.empty() || t[0] == ';') {
      l.Kind = lkOther;
    } else if (t[0] == '[') {
      l.Kind = lkSection;
      size_t close = t.rfind(']');
      l.Name = Trim(close == std::string::npos ? t.substr(1) : t.substr(1, close - 1));
    } else {
      l.Kind = lkKey;
      size_t eq = l.Raw.find('=');
      if (eq == std::string::npos) {
        l.Name = t;
      } else {
        l.Name = Trim(l.Raw.substr(0, eq));
        l.HasValue = true;
        l.Value = l.Raw.substr(eq + 1);
      }
    }
    lines.push_back(std::move(l));
  }
  return lines;
}

std::string DecodeValue(const std::string &Raw) {
  std::string v = Trim(Raw);
  if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0]) {
    bool dq = v[0] == '"';
    v = v.substr(1, v.size() - 2);
    if (dq && v.find('^') != std::string::npos) {
      std::string out;
      for (size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '^' && i + 1 < v.size()) {
          char n = v[i + 1];
          char c = n == 'M' ? '\r' : n == 'J' ? '\n' : n == '@' ? '\0' : n == '^' ? '^' : 'x';
          if (c != 'x') {
            out += c;
            ++i;
            continue;
          }
        }
        out += v[i];
      }
      v = out;
    }
  }
  if (v.size() > MaxValue)
    v.resize(MaxValue);
  return v;
}

bool IsQuote(char c) { return c == '"' || c == '\''; }

std::string EncodeValue(const std::string &V) {
  if (V.empty())
    return V;
  bool plain = static_cast<unsigned char>(V.front()) > 32 && static_cast<unsigned char>(V.back()) > 32 &&
               !IsQuote(V.front()) && !IsQuote(V.back()) && V.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
  if (plain)
    return V;
  std::string out = "\"";
  for (char c : V) {
    if (c == '\r')
      out += "^M";
    else if (c == '\n')
      out += "^J";
    else if (c == '\0')
      out += "^@";
    else if (c == '^')
      out += "^^";
    else
      out += c;
  }
  out += '"';
  return out;
}

std::string Join(const std::vector<TLine> &Lines) {
  std::string out;
  for (const auto &l : Lines) {
    out += l.Raw;
    out += "\r\n";
  }
  return out;
}

// Index of the first section of that name, or -1; End is set to the line
// after its last line.
int FindSection(const std::vector<TLine> &Lines, const std::string &Section, size_t &End) {
  for (size_t i = 0; i < Lines.size(); ++i)
    if (Lines[i].Kind == lkSection && SameText(Lines[i].Name, Section)) {
      size_t j = i + 1;
      while (j < Lines.size() && Lines[j].Kind != lkSection)
        ++j;
      End = j;
      return static_cast<int>(i);
    }
  End = 0;
  return -1;
}

}  // namespace

TIniFile::TIniFile(const std::string &FileName, int Mode) : FFileName(FileName), FMode(Mode) {}
TIniFile::~TIniFile() = default;

static std::string ProfilePath(const std::string &FileName) {
  if (FileName.find_first_of("\\/") == std::string::npos)
    return ResolvePath(WindowsDirectory() + "/" + FileName);
  return ResolvePath(FileName);
}

std::string TIniFile::Path() const { return ProfilePath(FFileName); }

static bool ReadAll(int Fd, std::string &Text) {
  char buf[65536];
  for (;;) {
    const ssize_t n = read(Fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return n == 0;
    Text.append(buf, static_cast<size_t>(n));
  }
}

// The parsed file; empty when it does not exist or cannot be read, as for the
// profile functions. Only a file is read: a FIFO in its place would hold the
// reader until someone wrote to it.
static std::vector<TLine> Load(const std::string &Path) {
  const int fd = open(Path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0)
    return {};
  struct stat st;
  std::string text;
  const bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ReadAll(fd, text);
  close(fd);
  return ok ? ParseLines(text) : std::vector<TLine>{};
}

// Reads, changes and rewrites the file under an advisory lock on the file
// itself, retried when a rename replaced the file while we waited. The file
// is found, and made, as the save finds it, so nothing the save would refuse
// is created, opened or changed first. Change returns false when nothing
// needs writing. A file that does not exist is created only when Create is
// true. Mode as for TIniFile.
static bool Rewrite(const std::string &Path, bool Create, int Mode,
                    const std::function<bool(std::vector<TLine> &)> &Change) {
  int fd = -1;
  struct stat a;
  for (;;) {
    fd = OpenForSave(Path, O_RDONLY, Create ? (Mode >= 0 ? Mode : 0666) : -1);
    if (fd < 0)
      return !Create && errno == ENOENT;
    while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    struct stat b;
    const int now = OpenForSave(Path, O_PATH);
    const bool same = now >= 0 && fstat(fd, &a) == 0 && fstat(now, &b) == 0 && a.st_ino == b.st_ino &&
                      a.st_dev == b.st_dev;
    if (now >= 0)
      close(now);
    if (same)
      break;
    close(fd);
  }
  // A file made private is private before anything more goes into it, also
  // when this write changes nothing or is refused, as the save narrows it.
  if (Mode >= 0)
    (void)!fchmod(fd, a.st_mode & 07777 & static_cast<mode_t>(Mode));
  // A read-only file refuses writes, as it does on Windows.
  if (FileIsReadOnly(fd)) {
    close(fd);
    return false;
  }
  std::string text;
  bool ok = ReadAll(fd, text);
  if (ok) {
    std::vector<TLine> lines = ParseLines(text);
    bool wasEmpty = text.empty();
    if (Change(lines) || (wasEmpty && Create))
      ok = WriteFileAtomic(Path, Join(lines), Mode);
  }
  close(fd);
  return ok;
}

// The line edits behind reads and writes, shared by the file-backed and the
// in-memory profile so both read and write a file alike.
static std::string FindValue(const std::vector<TLine> &Lines, const std::string &Section, const std::string &Ident,
                             const std::string &Default) {
  size_t end;
  int s = FindSection(Lines, Section, end);
  if (s >= 0)
    for (size_t i = static_cast<size_t>(s) + 1; i < end; ++i)
      if (Lines[i].Kind == lkKey && SameText(Lines[i].Name, Ident)) {
        if (Lines[i].HasValue)
          return DecodeValue(Lines[i].Value);
        break;
      }
  return Default.size() > MaxValue ? Default.substr(0, MaxValue) : Default;
}

static bool SetValue(std::vector<TLine> &Lines, const std::string &Section, const std::string &Ident,
                     const std::string &Value) {
  size_t end;
  int s = FindSection(Lines, Section, end);
  TLine l;
  l.Kind = lkKey;
  l.Name = Ident;
  l.HasValue = true;
  l.Value = EncodeValue(Value);
  l.Raw = Ident + "=" + l.Value;
  if (s < 0) {
    if (!Lines.empty() && !Trim(Lines.back().Raw).empty()) {
      TLine blank;
      Lines.push_back(blank);
    }
    TLine sec;
    sec.Raw = "[" + Section + "]";
    sec.Kind = lkSection;
    sec.Name = Section;
    Lines.push_back(sec);
    Lines.push_back(l);
    return true;
  }
  size_t last = static_cast<size_t>(s);
  for (size_t i = static_cast<size_t>(s) + 1; i < end; ++i) {
    if (Lines[i].Kind == lkKey && SameText(Lines[i].Name, Ident)) {
      l.Raw = Lines[i].Name + "=" + l.Value;
      l.Name = Lines[i].Name;
      if (Lines[i].Raw == l.Raw)
        return false;
      Lines[i] = l;
      return true;
    }
    if (!Trim(Lines[i].Raw).empty())
      last = i;
  }
  Lines.insert(Lines.begin() + static_cast<std::ptrdiff_t>(last + 1), l);
  return true;
}

// Every section of the name goes: a rewrite must not bring back stale keys
// from a duplicate further down.
static bool RemoveSection(std::vector<TLine> &Lines, const std::string &Section) {
  bool changed = false;
  size_t end;
  int s;
  while ((s = FindSection(Lines, Section, end)) >= 0) {
    Lines.erase(Lines.begin() + s, Lines.begin() + static_cast<std::ptrdiff_t>(end));
    changed = true;
  }
  return changed;
}

std::string TIniFile::ReadString(const std::string &Section, const std::string &Ident, const std::string &Default) {
  return FindValue(Load(Path()), Section, Ident, Default);
}

void TIniFile::WriteString(const std::string &Section, const std::string &Ident, const std::string &Value) {
  bool ok = Rewrite(Path(), true, FMode, [&](std::vector<TLine> &Lines) { return SetValue(Lines, Section, Ident, Value); });
  if (!ok)
    throw EInOutError(Format("Unable to write to %s", FFileName.c_str()));
}

int TIniFile::ReadInteger(const std::string &Section, const std::string &Ident, int Default) {
  return StrToIntDef(ReadString(Section, Ident, ""), Default);
}

void TIniFile::WriteInteger(const std::string &Section, const std::string &Ident, int Value) {
  WriteString(Section, Ident, IntToStr(Value));
}

bool TIniFile::ReadBool(const std::string &Section, const std::string &Ident, bool Default) {
  return ReadInteger(Section, Ident, Default ? 1 : 0) != 0;
}

void TIniFile::WriteBool(const std::string &Section, const std::string &Ident, bool Value) {
  WriteString(Section, Ident, Value ? "1" : "0");
}

void TIniFile::ReadSection(const std::string &Section, TStrings &Keys) {
  Keys.Clear();
  std::vector<TLine> lines = Load(Path());
  size_t end;
  int s = FindSection(lines, Section, end);
  if (s >= 0)
    for (size_t i = static_cast<size_t>(s) + 1; i < end; ++i)
      if (lines[i].Kind == lkKey && !lines[i].Name.empty())
        Keys.Add(lines[i].Name);
}

void TIniFile::ReadSections(TStrings &Sections) {
  Sections.Clear();
  std::vector<TLine> lines = Load(Path());
  std::vector<std::string> seen;
  for (const auto &l : lines)
    if (l.Kind == lkSection) {
      bool dup = false;
      for (const auto &s : seen)
        dup = dup || SameText(s, l.Name);
      if (!dup) {
        seen.push_back(l.Name);
        Sections.Add(l.Name);
      }
    }
}

void TIniFile::ReadSectionValues(const std::string &Section, TStrings &Lines) {
  TStringList keys;
  ReadSection(Section, keys);
  Lines.Clear();
  for (int i = 0; i < keys.Count(); ++i)
    Lines.Add(keys[i] + "=" + ReadString(Section, keys[i], ""));
}

bool TIniFile::SectionExists(const std::string &Section) {
  TStringList keys;
  ReadSection(Section, keys);
  return keys.Count() > 0;
}

bool TIniFile::ValueExists(const std::string &Section, const std::string &Ident) {
  TStringList keys;
  ReadSection(Section, keys);
  for (int i = 0; i < keys.Count(); ++i)
    if (SameText(keys[i], Ident))
      return true;
  return false;
}

void TIniFile::EraseSection(const std::string &Section) {
  bool ok = Rewrite(Path(), false, FMode, [&](std::vector<TLine> &Lines) { return RemoveSection(Lines, Section); });
  if (!ok)
    throw EInOutError(Format("Unable to write to %s", FFileName.c_str()));
}

void TIniFile::DeleteKey(const std::string &Section, const std::string &Ident) {
  // The class library ignores a failure here.
  Rewrite(Path(), false, FMode, [&](std::vector<TLine> &Lines) {
    size_t end;
    int s = FindSection(Lines, Section, end);
    if (s < 0)
      return false;
    bool changed = false;
    for (size_t i = end; i-- > static_cast<size_t>(s) + 1;)
      if (Lines[i].Kind == lkKey && SameText(Lines[i].Name, Ident)) {
        Lines.erase(Lines.begin() + static_cast<std::ptrdiff_t>(i));
        changed = true;
      }
    return changed;
  });
}

struct TMemIniFile::TState {
  std::vector<TLine> Lines;
  // The changes made since loading, in order, to be made again on the file
  // as it is when it is written.
  std::vector<std::function<bool(std::vector<TLine> &)>> Changes;
  bool Creates = false;
  std::string Loaded;  // the lines as loaded or last written, joined
};

TMemIniFile::TMemIniFile(const std::string &FileName, int Mode)
    : FFileName(FileName), FMode(Mode), F(std::make_unique<TState>()) {
  F->Lines = Load(ProfilePath(FFileName));
  F->Loaded = Join(F->Lines);
}

TMemIniFile::~TMemIniFile() = default;

std::string TMemIniFile::ReadString(const std::string &Section, const std::string &Ident,
                                    const std::string &Default) const {
  return FindValue(F->Lines, Section, Ident, Default);
}

int TMemIniFile::ReadInteger(const std::string &Section, const std::string &Ident, int Default) const {
  return StrToIntDef(ReadString(Section, Ident, ""), Default);
}

bool TMemIniFile::ReadBool(const std::string &Section, const std::string &Ident, bool Default) const {
  return ReadInteger(Section, Ident, Default ? 1 : 0) != 0;
}

void TMemIniFile::WriteString(const std::string &Section, const std::string &Ident, const std::string &Value) {
  auto Change = [Section, Ident, Value](std::vector<TLine> &Lines) { return SetValue(Lines, Section, Ident, Value); };
  Change(F->Lines);
  F->Changes.push_back(std::move(Change));
  F->Creates = true;
}

void TMemIniFile::WriteInteger(const std::string &Section, const std::string &Ident, int Value) {
  WriteString(Section, Ident, IntToStr(Value));
}

void TMemIniFile::WriteBool(const std::string &Section, const std::string &Ident, bool Value) {
  WriteString(Section, Ident, Value ? "1" : "0");
}

void TMemIniFile::EraseSection(const std::string &Section) {
  auto Change = [Section](std::vector<TLine> &Lines) { return RemoveSection(Lines, Section); };
  Change(F->Lines);
  F->Changes.push_back(std::move(Change));
}

void TMemIniFile::UpdateFile() {
  // Changes that come to nothing need not touch the file at all, unless it
  // is still to be given its mode.
  struct stat st;
  const bool ModeDue =
      FMode >= 0 && stat(ProfilePath(FFileName).c_str(), &st) == 0 && static_cast<int>(st.st_mode & 07777) != FMode;
  if (F->Changes.empty() || (Join(F->Lines) == F->Loaded && !(F->Creates && F->Loaded.empty()) && !ModeDue)) {
    F->Changes.clear();
    F->Creates = false;
    return;
  }
  bool ok = Rewrite(ProfilePath(FFileName), F->Creates, FMode, [&](std::vector<TLine> &Lines) {
    const std::string before = Join(Lines);
    for (auto &Change : F->Changes)
      Change(Lines);
    F->Lines = Lines;
    return Join(Lines) != before;
  });
  if (!ok)
    throw EInOutError(Format("Unable to write to %s", FFileName.c_str()));
  F->Loaded = Join(F->Lines);
  F->Changes.clear();
  F->Creates = false;
}

}  // namespace kv
