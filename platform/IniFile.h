#pragma once
// Profile (INI) files with the Windows profile functions' behaviour:
// case-insensitive section and key names (which may contain "\"), the first
// match wins, values trimmed and one pair of surrounding quotes stripped on
// read, 1023 characters at most per read value, sections and keys appended in
// order, comments and unknown lines kept, CRLF written and LF accepted. A value
// that would not read back as written (leading or trailing blanks, quotes,
// control bytes) is written in a form that does (see IniFile.cpp). Writes are
// atomic, serialised by an advisory lock on the file, and create
// the file; a write that cannot be done raises EInOutError.
// A file name without a folder lives in the Windows directory, as it does for
// the profile functions.
#include <memory>
#include <string>

#include "platform/StringList.h"

namespace kv {

class TIniFile {
public:
  // Mode, when given, is the file's mode from the first write on (0600 for
  // a file that holds a login); else a new file gets what the umask allows
  // and an existing one keeps its own.
  explicit TIniFile(const std::string &FileName, int Mode = -1);
  ~TIniFile();
  const std::string &FileName() const { return FFileName; }

  std::string ReadString(const std::string &Section, const std::string &Ident, const std::string &Default);
  void WriteString(const std::string &Section, const std::string &Ident, const std::string &Value);
  int ReadInteger(const std::string &Section, const std::string &Ident, int Default);
  void WriteInteger(const std::string &Section, const std::string &Ident, int Value);
  // A number: non-zero is true. Anything else gives the default.
  bool ReadBool(const std::string &Section, const std::string &Ident, bool Default);
  void WriteBool(const std::string &Section, const std::string &Ident, bool Value);  // "1"/"0"
  void ReadSection(const std::string &Section, TStrings &Keys);  // keys in file order
  void ReadSections(TStrings &Sections);
  void ReadSectionValues(const std::string &Section, TStrings &Lines);  // "key=value"
  bool SectionExists(const std::string &Section);
  bool ValueExists(const std::string &Section, const std::string &Ident);
  void EraseSection(const std::string &Section);
  void DeleteKey(const std::string &Section, const std::string &Ident);
  void UpdateFile() {}

private:
  std::string Path() const;  // the file on disk, resolved at each use
  std::string FFileName;
  int FMode;
};

// The same file read once and changed in memory, as the class library's
// in-memory profile: reads see the file as it was loaded with the changes
// made since. UpdateFile makes those changes again on the file as it is then,
// under its lock, in one atomic write, and writes nothing when they leave the
// file as it was; it raises EInOutError when the file cannot be written.
// Changes not given to UpdateFile are lost.
class TMemIniFile {
public:
  // Mode as for TIniFile.
  explicit TMemIniFile(const std::string &FileName, int Mode = -1);
  ~TMemIniFile();
  TMemIniFile(const TMemIniFile &) = delete;
  TMemIniFile &operator=(const TMemIniFile &) = delete;

  std::string ReadString(const std::string &Section, const std::string &Ident, const std::string &Default) const;
  int ReadInteger(const std::string &Section, const std::string &Ident, int Default) const;
  bool ReadBool(const std::string &Section, const std::string &Ident, bool Default) const;
  void WriteString(const std::string &Section, const std::string &Ident, const std::string &Value);
  void WriteInteger(const std::string &Section, const std::string &Ident, int Value);
  void WriteBool(const std::string &Section, const std::string &Ident, bool Value);
  void EraseSection(const std::string &Section);
  void UpdateFile();

private:
  struct TState;
  std::string FFileName;
  int FMode;
  std::unique_ptr<TState> F;
};

}  // namespace kv
