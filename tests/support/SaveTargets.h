#pragma once
// What a save may meet where it writes, each prepared in a folder of its own,
// and what the save must leave there: a write-protected file refused and left
// as it was, a symbolic link written through (and kept), a new file with the
// mode the umask allows, an existing file keeping its own mode, a writable
// file inside a folder that takes no new name still written, a link another
// user planted in a shared folder refused, the saver's own link there written
// through, and a FIFO refused without being opened.
#include <memory>
#include <string>
#include <sys/types.h>

namespace kvtest {

enum class TTargetKind {
  WriteProtected,
  SymbolicLink,
  NewFile,
  KeptMode,
  UnwritableFolder,
  PlantedLink,
  OwnLinkInSharedFolder,
  Fifo
};

struct TTargetCase {
  const char *Name;
  TTargetKind Kind;
};

// Every kind, for a table of cases.
extern const TTargetCase TargetCases[8];

// Makes Folder refuse new names to this thread while it lives: its write bits
// go, and so, for root, does the power to ignore them (CAP_DAC_OVERRIDE, for
// the calling thread only). Holds() tells whether that binds this user.
class TUnwritableFolder {
public:
  explicit TUnwritableFolder(const std::string &Folder);
  ~TUnwritableFolder();
  TUnwritableFolder(const TUnwritableFolder &) = delete;
  TUnwritableFolder &operator=(const TUnwritableFolder &) = delete;
  bool Holds() const { return FHolds; }

private:
  std::string FFolder;
  bool FDropped = false, FHolds = false;
};

// One target prepared: Folder/Name is the file the save is told to write.
// Check then says, as test failures, whether the save did what it must;
// Saved is whether the saver reported success.
class TFifoWatch;

class TSaveTarget {
public:
  TSaveTarget(const std::string &Folder, const std::string &Name, TTargetKind Kind);
  ~TSaveTarget();
  TSaveTarget(const TSaveTarget &) = delete;
  TSaveTarget &operator=(const TSaveTarget &) = delete;
  const std::string &Path() const { return FPath; }
  // False (with the reason in Why) where the case cannot be made for this user.
  bool Ready(std::string &Why) const;
  void Check(bool Saved);

private:
  TTargetKind FKind;
  std::string FFolder, FPath, FReal, FNotReady;
  mode_t FOldMask = 0;
  TUnwritableFolder *FLock = nullptr;
  std::unique_ptr<TFifoWatch> FWatch;
};

}  // namespace kvtest
