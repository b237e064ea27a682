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
#include <string>

#include "platform/StringList.h"

namespace kv {

class TIniFile {
public:
  explicit TIniFile(const std::string &FileName);
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
};

}  // namespace kv
