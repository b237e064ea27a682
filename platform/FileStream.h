#pragma once
// A file opened for writing, as a file stream of the class library: created
// or truncated, held for exclusive writing while open.
#include <cstddef>
#include <string>

namespace kv {

class TFileStream {
public:
  TFileStream() = default;
  ~TFileStream() { Close(); }
  TFileStream(const TFileStream &) = delete;
  TFileStream &operator=(const TFileStream &) = delete;

  // Creates or truncates Path (through the path service) for exclusive
  // writing; another writer of the same file is refused before anything is
  // truncated. False, with the stream closed, when that cannot be done.
  bool CreateExclusive(const std::string &Path);
  // Writes all of Data; false when the file could not take it.
  bool Write(const void *Data, size_t Len);
  void Close();
  bool IsOpen() const { return FFd >= 0; }

private:
  int FFd = -1;
};

}  // namespace kv
