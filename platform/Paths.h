#pragma once
// The path service. Callers write Windows paths ("Lib\*.TWL",
// "c:\temp\log.txt", "...\DownLoad\name"); every lookup turns "\" into "/" and
// resolves each component case-insensitively when the exact name does not
// exist. Folders the system calls the "Windows directory" and drive "c:\" live
// where the environment says (see README).
#include <cstddef>
#include <cstdint>
#include <string>

namespace kv {

// The real path for a Windows or Unix path: "\" -> "/", "x:\" -> the drive's
// folder, and each existing component matched without regard to case. A
// component that does not exist is kept as written (so it can be created).
std::string ResolvePath(const std::string &Path);

// The folder of the running executable, without a trailing separator.
std::string ProgramFolder();
// $KORVANDEL_WINDIR, else $XDG_DATA_HOME/korvandel/windows (created on demand).
std::string WindowsDirectory();
// Where "c:\" goes: $KORVANDEL_DRIVE_C, else $XDG_DATA_HOME/korvandel/c.
std::string DriveFolder(char Drive);
std::string GetCurrentDir();
bool SetCurrentDir(const std::string &Dir);

bool FileExists(const std::string &Path);       // a file (not a folder)
bool DirectoryExists(const std::string &Path);
// True when the file exists and may not be written: marked read-only (its
// owner's write bit off, as the file search reports faReadOnly), or not
// writable by this user.
bool FileIsReadOnly(const std::string &Path);
bool FileIsReadOnly(int Fd);  // the same for an open file
bool ForceDirectories(const std::string &Path);
bool CreateDir(const std::string &Path);
bool RemoveDir(const std::string &Path);
bool DeleteFile(const std::string &Path);
bool RenameFile(const std::string &From, const std::string &To);
// Copies a file; with FailIfExists false an existing target is replaced
// atomically (temporary file and rename), keeping the source's mode bits.
bool CopyFile(const std::string &From, const std::string &To, bool FailIfExists);

// Reads a whole file; false when it cannot be read.
bool ReadFileToString(const std::string &Path, std::string &Data);
// Writes a whole file through a temporary file and a rename, so a reader sees
// the old or the new content, never a part. A file whose write bit is off is
// not written (false), nor is anything but a file (a FIFO, a device, a
// folder); a symbolic link is written through to what it names, and stays,
// where the system would follow it: in a folder anyone may write and only
// owners may delete from, only a link of the saver's or of the folder's
// owner is followed; a link to a name not there yet makes that very name,
// following nothing further, and only when the save commits. An existing
// file keeps its owner and group where the saver may give them. Mode -1
// keeps the mode of an existing file and gives a new one what the umask
// allows; any other Mode sets the permission bits as given. With a Mode, an
// existing file loses the bits Mode lacks (0644 -> 0600) as soon as the save
// finds it, before any content is written, so also when the write then fails;
// the owner's write bit goes only with the new content (0644 saved with 0444
// is written, then 0444), or at once where the file is refused as read-only.
// Another user's file, and anything refused, keeps its own.
// Where a new file in its place would not be the same file (it has other
// names, an ACL or extended attributes, or an owner or group the saver cannot
// give), where the folder takes no new name, or where a shared folder lets
// only the entry's owner replace it, a writable file is written in place,
// once the new content is complete and the room for it taken.
// The temporary file is named ".kvtmp-<target>.<process id>.<random>"; a
// save removes those of its target that a process no longer running left.
// The file, and after the rename its folder, reach the disk before it returns.
bool WriteFileAtomic(const std::string &Path, const std::string &Data, int Mode = -1);

// Opens Path for Access (O_RDONLY, O_WRONLY or O_RDWR, with O_APPEND if
// wanted; O_PATH just to look) as a save of it would find it: links followed
// only as above, only a regular file opened, and that the very file looked
// at. CreateMode >= 0 makes a missing file, with those bits less the umask,
// where the links lead and following nothing more. -1 with errno ENOENT when
// the file is missing and not made; any other errno when it is refused, and
// nothing is then made, opened or changed. For the steps beside a save: a
// lock file, a log, the file read and locked before it is rewritten.
int OpenForSave(const std::string &Path, int Access, int CreateMode = -1);

// The same for a file written piece by piece: a temporary file beside Path
// that replaces it on Commit. Anything that fails, or a file not committed,
// leaves Path as it was and removes the temporary file.
class TAtomicFile {
public:
  // Mode as for WriteFileAtomic; IsOpen() tells whether the temporary file
  // could be made.
  explicit TAtomicFile(const std::string &Path, int Mode = -1);
  ~TAtomicFile();
  TAtomicFile(const TAtomicFile &) = delete;
  TAtomicFile &operator=(const TAtomicFile &) = delete;
  bool IsOpen() const { return FFd >= 0; }
  bool Write(const void *Data, size_t Len);
  // Sync: the data reaches the disk before the name does, and the name
  // before Commit returns, so a crash leaves the old or the new content;
  // without it the rename may get there first.
  bool Commit(bool Sync = true);

private:
  void Discard();
  bool CopyOver(bool Sync);
  bool PlaceThroughLinks();
  std::string FReal;           // the path as resolved
  int FDir = -1;               // the folder holding the target's name
  std::string FName, FTemp;    // FTemp empty while writing in place
  int FMode = 0644;
  int FFd = -1;
  int64_t FOwner = -1;          // of the file looked at, when it exists
  uint64_t FDev = 0, FIno = 0;
  bool FInPlace = false;
  bool FThroughLinks = false;   // a missing name that links lead to
};

// The file's modification time as the class library's FileAge gives it: a DOS
// date-time packed in 32 bits (local time); -1 when the file does not exist.
int32_t FileAge(const std::string &Path);
int64_t FileSize(const std::string &Path);  // -1 when missing

// The class library's file-name routines on Windows paths ("\" or "/").
std::string ExtractFilePath(const std::string &Path);  // keeps the trailing separator
std::string ExtractFileDir(const std::string &Path);   // without it
std::string ExtractFileName(const std::string &Path);
std::string ExtractFileExt(const std::string &Path);   // with the "."
std::string ChangeFileExt(const std::string &Path, const std::string &Ext);
std::string IncludeTrailingBackslash(const std::string &Path);

}  // namespace kv
