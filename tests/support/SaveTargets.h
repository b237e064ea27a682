#pragma once
// What a save may meet where it writes, each prepared in a folder of its own,
// and what the save must leave there: a write-protected file refused and left
// as it was, a symbolic link written through (and kept), a new file with the
// mode the umask allows, an existing file keeping its own mode, a writable
// file inside a folder that takes no new name still written, a link another
// user planted in a shared folder refused (also one naming a file not there
// yet, which is then not made), the saver's own link there written through,
// another user's file written and left theirs, and a FIFO refused without
// being opened. A file with a second name, an ACL, an extended attribute or
// a group the saver is not in is written as that very file, keeping them;
// so is another user's writable file in a shared folder, where only owners
// may replace an entry. A save killed before its commit leaves nothing the
// next save of the target does not clear, also through a link to a name not
// there yet; and a link into a folder that is missing names a missing file.
#include <cstddef>
#include <functional>
#include <iterator>
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
  PlantedLinkToMissing,
  OwnLinkInSharedFolder,
  OtherUsersFile,
  Fifo,
  HardLinked,
  WithAcl,
  WithAttribute,
  ForeignGroup,
  OthersFileInStickyFolder,
  OthersFileInTeamFolder,
  KilledSave,
  KilledSaveThroughLink,
  LinkIntoMissingFolder
};

struct TTargetCase {
  const char *Name;
  TTargetKind Kind;
};

// Every kind, for a table of cases.
inline constexpr TTargetCase TargetCases[] = {
    {"write-protected file", TTargetKind::WriteProtected},
    {"symbolic link", TTargetKind::SymbolicLink},
    {"new file under umask 027", TTargetKind::NewFile},
    {"existing file's own mode", TTargetKind::KeptMode},
    {"writable file in an unwritable folder", TTargetKind::UnwritableFolder},
    {"link another user planted in a shared folder", TTargetKind::PlantedLink},
    {"planted link to a name not there yet", TTargetKind::PlantedLinkToMissing},
    {"own link in a shared folder", TTargetKind::OwnLinkInSharedFolder},
    {"another user's file", TTargetKind::OtherUsersFile},
    {"FIFO", TTargetKind::Fifo},
    {"file with a second name", TTargetKind::HardLinked},
    {"file with an ACL", TTargetKind::WithAcl},
    {"file with an extended attribute", TTargetKind::WithAttribute},
    {"file of a group the saver is not in", TTargetKind::ForeignGroup},
    {"another user's writable file in a sticky folder", TTargetKind::OthersFileInStickyFolder},
    {"another user's writable file in a sticky setgid team folder", TTargetKind::OthersFileInTeamFolder},
    {"save killed before its commit", TTargetKind::KilledSave},
    {"save through a link to a missing name killed before its commit", TTargetKind::KilledSaveThroughLink},
    {"link into a missing folder", TTargetKind::LinkIntoMissingFolder}};
inline constexpr std::size_t TargetKindCount = std::size(TargetCases);
static_assert(TargetKindCount == static_cast<std::size_t>(TTargetKind::LinkIntoMissingFolder) + 1,
              "a row for every kind");

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

// Makes this thread act as a user without root's powers over files while it
// lives (CAP_CHOWN, CAP_FOWNER, CAP_DAC_OVERRIDE set aside, for the calling
// thread only): it may give no owner or group it is not, nor replace
// another's entry in a sticky folder. Holds() tells whether it could.
class TPlainUser {
public:
  TPlainUser();
  ~TPlainUser();
  TPlainUser(const TPlainUser &) = delete;
  TPlainUser &operator=(const TPlainUser &) = delete;
  bool Holds() const { return FDropped; }

private:
  bool FDropped = false;
};

// One target prepared: Folder/Name is the file the save is told to write.
// Check then says, as test failures, whether the save did what it must;
// Saved is whether the saver reported success, Mode the mode it was given
// (-1 for none).
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
  void Check(bool Saved, int Mode = -1);

private:
  TTargetKind FKind;
  std::string FFolder, FPath, FReal, FNotReady;
  mode_t FOldMask = 0;
  TUnwritableFolder *FLock = nullptr;
  std::unique_ptr<TPlainUser> FPlain;
  std::unique_ptr<TFifoWatch> FWatch;
  std::string FSecond;     // the file's second name
  bool FLeftover = false;  // the killed save left its temporary
  void KillASave();
};

// Saves over every kind of target, each prepared as Folder/<kind>/Name, and
// checks each; Save gets the path and returns whether the saver reported
// success, Mode is the mode it gives. Kinds that cannot be made for this
// user are added to Skipped.
void SaveOverEveryTarget(const std::string &Folder, const std::string &Name, int Mode,
                         const std::function<bool(const std::string &)> &Save, std::string &Skipped);

}  // namespace kvtest
