#include "tests/support/SaveTargets.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <filesystem>
#include <linux/capability.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

#include "tests/support/TestEnv.h"

namespace kvtest {

// Watches a FIFO from its reading end for anyone opening it to write, and
// drains what they write so that they never wait on it.
class TFifoWatch {
public:
  explicit TFifoWatch(const std::string &Path)
      : FFd(open(Path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {
    if (FFd < 0 || pipe2(FStop, O_CLOEXEC) != 0)
      return;
    FThread = std::thread([this] {
      for (;;) {
        pollfd Fds[2] = {{FFd, POLLIN, 0}, {FStop[0], POLLIN, 0}};
        if (poll(Fds, 2, -1) < 0 || Fds[1].revents)
          return;
        if (!Fds[0].revents)
          continue;
        // Readable or hung up: a writer opened it, as nothing else makes
        // either of them on a reading end no writer ever had.
        FWriterCame = true;
        char Buf[4096];
        while (read(FFd, Buf, sizeof Buf) > 0) {
        }
        if (!(Fds[0].revents & POLLIN))
          return;
      }
    });
  }
  ~TFifoWatch() {
    if (FThread.joinable()) {
      (void)!write(FStop[1], "x", 1);
      FThread.join();
    }
    for (int Fd : {FFd, FStop[0], FStop[1]})
      if (Fd >= 0)
        close(Fd);
  }
  bool Watching() const { return FThread.joinable(); }
  bool WriterCame() const { return FWriterCame; }

private:
  int FFd;
  int FStop[2] = {-1, -1};
  std::atomic<bool> FWriterCame{false};
  std::thread FThread;
};

namespace {

const char *const OldText = "old content";
const uid_t OtherUser = 65534;

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
  case TTargetKind::PlantedLink:
  case TTargetKind::PlantedLinkToMissing:
  case TTargetKind::OwnLinkInSharedFolder:
    std::filesystem::create_directories(Folder + "/elsewhere");
    FReal = Folder + "/elsewhere/real";
    if (Kind != TTargetKind::PlantedLinkToMissing) {
      WriteFile(FReal, OldText);
      chmod(FReal.c_str(), 0640);
    }
    symlink("elsewhere/real", FPath.c_str());
    // A shared folder, as /tmp is: anyone may add a name, only owners remove.
    if (Kind != TTargetKind::SymbolicLink)
      chmod(Folder.c_str(), 01777);
    if ((Kind == TTargetKind::PlantedLink || Kind == TTargetKind::PlantedLinkToMissing) &&
        lchown(FPath.c_str(), OtherUser, OtherUser) != 0)
      FNotReady = "only root can plant a link that is another user's";
    break;
  case TTargetKind::OtherUsersFile:
    WriteFile(FPath, OldText);
    chmod(FPath.c_str(), 0644);
    if (chown(FPath.c_str(), OtherUser, OtherUser) != 0)
      FNotReady = "only root can write a file that is another user's";
    break;
  case TTargetKind::Fifo:
    mkfifo(FPath.c_str(), 0644);
    FWatch = std::make_unique<TFifoWatch>(FPath);
    if (!FWatch->Watching())
      FNotReady = "the FIFO could not be watched";
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
  if (!FNotReady.empty()) {
    Why = FNotReady;
    return false;
  }
  return true;
}

void TSaveTarget::Check(bool Saved, int Mode) {
  // Read with the folder open again, as root's reading needs no rights.
  delete FLock;
  FLock = nullptr;
  auto NoTemporaryIn = [](const std::string &Folder) {
    for (const auto &E : std::filesystem::directory_iterator(Folder))
      EXPECT_NE(E.path().filename().string().rfind(".kvtmp", 0), 0u) << "temporary left: " << E.path();
  };
  NoTemporaryIn(FFolder);
  if (FReal != FPath)
    NoTemporaryIn(std::filesystem::path(FReal).parent_path().string());
  // What a given mode leaves of the mode a file had.
  auto Given = [Mode](int Old) { return Mode >= 0 ? Old & Mode : Old; };
  switch (FKind) {
  case TTargetKind::Fifo:
    EXPECT_FALSE(Saved) << "only a file is written over";
    EXPECT_FALSE(FWatch->WriterCame()) << "the FIFO was opened to be written";
    EXPECT_TRUE(std::filesystem::is_fifo(FPath)) << "and stays";
    return;
  case TTargetKind::WriteProtected:
    EXPECT_FALSE(Saved) << "refused";
    EXPECT_EQ(ReadFile(FReal), OldText);
    EXPECT_EQ(ModeOf(FReal), Given(0444)) << "a given mode holds though nothing is written";
    return;
  case TTargetKind::PlantedLink:
  case TTargetKind::PlantedLinkToMissing:
    EXPECT_FALSE(Saved) << "refused";
    EXPECT_TRUE(std::filesystem::is_symlink(FPath)) << "the link stays";
    if (FKind == TTargetKind::PlantedLink) {
      EXPECT_EQ(ReadFile(FReal), OldText);
      EXPECT_EQ(ModeOf(FReal), 0640) << "untouched";
    } else {
      EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(FReal))) << "nothing made where it points";
    }
    return;
  default: break;
  }
  const std::string Now = ReadFile(FReal);
  EXPECT_TRUE(Saved);
  EXPECT_FALSE(Now.empty());
  EXPECT_NE(Now, OldText) << "written";
  // An existing file ends with exactly the mode given.
  auto Ends = [Mode](int Own) { return Mode >= 0 ? Mode : Own; };
  switch (FKind) {
  case TTargetKind::SymbolicLink:
  case TTargetKind::OwnLinkInSharedFolder:
    EXPECT_TRUE(std::filesystem::is_symlink(FPath)) << "the link stays";
    EXPECT_EQ(ModeOf(FReal), Ends(0640));
    break;
  case TTargetKind::NewFile: EXPECT_EQ(ModeOf(FPath), Ends(0640)); break;
  case TTargetKind::KeptMode: EXPECT_EQ(ModeOf(FPath), Ends(0604)); break;
  case TTargetKind::UnwritableFolder: EXPECT_EQ(ModeOf(FPath), Ends(0644)); break;
  case TTargetKind::OtherUsersFile: {
    EXPECT_EQ(ModeOf(FPath), Ends(0644));
    struct stat st {};
    EXPECT_EQ(lstat(FPath.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, OtherUser) << "still theirs";
    EXPECT_EQ(st.st_gid, OtherUser);
    break;
  }
  default: break;
  }
}

void SaveOverEveryTarget(const std::string &Folder, const std::string &Name, int Mode,
                         const std::function<bool(const std::string &)> &Save, std::string &Skipped) {
  for (const TTargetCase &C : TargetCases) {
    SCOPED_TRACE(C.Name);
    TSaveTarget Target(Folder + "/" + C.Name, Name, C.Kind);
    if (Target.Ready(Skipped))
      Target.Check(Save(Target.Path()), Mode);
  }
}

}  // namespace kvtest
