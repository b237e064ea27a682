#include "tests/support/SaveTargets.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "tests/support/TestEnv.h"

namespace kvtest {

const TTargetCase TargetCases[5] = {{"write-protected file", TTargetKind::WriteProtected},
                                    {"symbolic link", TTargetKind::SymbolicLink},
                                    {"new file under umask 027", TTargetKind::NewFile},
                                    {"existing file's own mode", TTargetKind::KeptMode},
                                    {"writable file in an unwritable folder", TTargetKind::UnwritableFolder}};

namespace {

const char *const OldText = "old content";

int ModeOf(const std::string &Path) {
  struct stat st;
  return stat(Path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

// Raises or lowers CAP_DAC_OVERRIDE in this thread's effective set; false
// when the thread does not hold it.
bool SetDacOverride(bool On) {
  __user_cap_header_struct Head{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct Data[2]{};
  if (syscall(SYS_capget, &Head, Data) != 0 || !(Data[0].permitted & (1u << CAP_DAC_OVERRIDE)))
    return false;
  if (On)
    Data[0].effective |= 1u << CAP_DAC_OVERRIDE;
  else
    Data[0].effective &= ~(1u << CAP_DAC_OVERRIDE);
  return syscall(SYS_capset, &Head, Data) == 0;
}

}  // namespace

TUnwritableFolder::TUnwritableFolder(const std::string &Folder) : FFolder(Folder) {
  chmod(FFolder.c_str(), 0555);
  FDropped = SetDacOverride(false);
  const std::string Probe = FFolder + "/.probe";
  const int Fd = open(Probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  FHolds = Fd < 0;
  if (Fd >= 0) {
    close(Fd);
    unlink(Probe.c_str());
  }
}

TUnwritableFolder::~TUnwritableFolder() {
  if (FDropped)
    SetDacOverride(true);
  chmod(FFolder.c_str(), 0755);
}

TSaveTarget::TSaveTarget(const std::string &Folder, const std::string &Name, TTargetKind Kind)
    : FKind(Kind), FFolder(Folder), FPath(Folder + "/" + Name), FReal(FPath) {
  std::filesystem::create_directories(Folder);
  switch (Kind) {
  case TTargetKind::WriteProtected:
    WriteFile(FPath, OldText);
    chmod(FPath.c_str(), 0444);
    break;
  case TTargetKind::SymbolicLink:
    std::filesystem::create_directories(Folder + "/elsewhere");
    FReal = Folder + "/elsewhere/real";
    WriteFile(FReal, OldText);
    chmod(FReal.c_str(), 0640);
    symlink("elsewhere/real", FPath.c_str());
    break;
  case TTargetKind::NewFile:
    FOldMask = umask(027);
    break;
  case TTargetKind::KeptMode:
    WriteFile(FPath, OldText);
    chmod(FPath.c_str(), 0604);
    break;
  case TTargetKind::UnwritableFolder:
    WriteFile(FPath, OldText);
    chmod(FPath.c_str(), 0644);
    FLock = new TUnwritableFolder(Folder);
    break;
  }
}

TSaveTarget::~TSaveTarget() {
  if (FKind == TTargetKind::NewFile)
    umask(FOldMask);
  delete FLock;
  chmod(FPath.c_str(), 0644);
}

bool TSaveTarget::Ready(std::string &Why) const {
  if (FLock && !FLock->Holds()) {
    Why = "a folder's permissions do not bind this user, and it cannot set aside its power to ignore them";
    return false;
  }
  return true;
}

void TSaveTarget::Check(bool Saved) {
  // Read with the folder open again, as root's reading needs no rights.
  delete FLock;
  FLock = nullptr;
  const std::string Now = ReadFile(FReal);
  if (FKind == TTargetKind::WriteProtected) {
    EXPECT_FALSE(Saved) << "a write-protected file is refused";
    EXPECT_EQ(Now, OldText);
    EXPECT_EQ(ModeOf(FPath), 0444);
    return;
  }
  EXPECT_TRUE(Saved);
  EXPECT_FALSE(Now.empty());
  EXPECT_NE(Now, OldText) << "written";
  switch (FKind) {
  case TTargetKind::SymbolicLink:
    EXPECT_TRUE(std::filesystem::is_symlink(FPath)) << "the link stays";
    EXPECT_EQ(ModeOf(FReal), 0640);
    break;
  case TTargetKind::NewFile: EXPECT_EQ(ModeOf(FPath), 0640); break;
  case TTargetKind::KeptMode: EXPECT_EQ(ModeOf(FPath), 0604); break;
  case TTargetKind::UnwritableFolder: EXPECT_EQ(ModeOf(FPath), 0644); break;
  default: break;
  }
  for (const auto &E : std::filesystem::directory_iterator(FFolder))
    EXPECT_NE(E.path().filename().string().rfind(".kvtmp", 0), 0u) << "temporary left: " << E.path();
}

}  // namespace kvtest
