#include "tests/support/SaveTargets.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <linux/capability.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>

#include "platform/Paths.h"
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

// Raises or lowers the capabilities Caps in this thread's effective set;
// false when the thread does not hold them.
bool SetCapabilities(uint32_t Caps, bool On) {
  __user_cap_header_struct Head{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct Data[2]{};
  if (syscall(SYS_capget, &Head, Data) != 0 || (Data[0].permitted & Caps) != Caps)
    return false;
  if (On)
    Data[0].effective |= Caps;
  else
    Data[0].effective &= ~Caps;
  return syscall(SYS_capset, &Head, Data) == 0;
}

const uint32_t DacOverride = 1u << CAP_DAC_OVERRIDE;
const uint32_t PlainUserDrops = (1u << CAP_CHOWN) | (1u << CAP_FOWNER) | DacOverride;

// Whether the ACL in the attribute value Acl gives the user Uid the
// permissions Perm (the kernel's form: a version, then tag, permissions and
// id per entry).
bool AclGrants(const std::string &Acl, uid_t Uid, unsigned Perm) {
  const uint16_t UserTag = 0x02;
  for (size_t At = 4; At + 8 <= Acl.size(); At += 8) {
    uint16_t Tag, Bits;
    uint32_t Id;
    memcpy(&Tag, Acl.data() + At, 2);
    memcpy(&Bits, Acl.data() + At + 2, 2);
    memcpy(&Id, Acl.data() + At + 4, 4);
    if (Tag == UserTag && Id == Uid)
      return Bits == Perm;
  }
  return false;
}

std::string Attribute(const std::string &Path, const char *Name) {
  char Buf[256];
  const ssize_t n = getxattr(Path.c_str(), Name, Buf, sizeof Buf);
  return n < 0 ? std::string() : std::string(Buf, static_cast<size_t>(n));
}

bool HasTemporary(const std::string &Folder) {
  for (const auto &E : std::filesystem::directory_iterator(Folder))
    if (E.path().filename().string().rfind(".kvtmp", 0) == 0)
      return true;
  return false;
}

const char *const AttributeName = "user.kv.origin";
const char *const AclName = "system.posix_acl_access";

}  // namespace

TUnwritableFolder::TUnwritableFolder(const std::string &Folder) : FFolder(Folder) {
  chmod(FFolder.c_str(), 0555);
  FDropped = SetCapabilities(DacOverride, false);
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
    SetCapabilities(DacOverride, true);
  chmod(FFolder.c_str(), 0755);
}

TPlainUser::TPlainUser() : FDropped(SetCapabilities(PlainUserDrops, false)) {}

TPlainUser::~TPlainUser() {
  if (FDropped)
    SetCapabilities(PlainUserDrops, true);
}

// A save of FPath in a child process, killed once its temporary holds part
// of the content; FLeftover tells whether it left one.
void TSaveTarget::KillASave() {
  int Ready[2];
  if (pipe2(Ready, O_CLOEXEC) != 0) {
    FNotReady = "no pipe";
    return;
  }
  const pid_t Child = fork();
  if (Child == 0) {
    kv::TAtomicFile F(FPath);
    const bool Open = F.Write("part of the new", 15);
    (void)!write(Ready[1], Open ? "o" : "x", 1);
    for (;;)
      pause();
  }
  close(Ready[1]);
  char C = 0;
  const bool Started = Child > 0 && read(Ready[0], &C, 1) == 1 && C == 'o';
  close(Ready[0]);
  if (Child > 0) {
    kill(Child, SIGKILL);
    int Status;
    waitpid(Child, &Status, 0);
  }
  if (!Started)
    FNotReady = "the save to be killed did not start";
  FLeftover = HasTemporary(std::filesystem::path(FReal).parent_path().string());
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
  case TTargetKind::HardLinked:
    WriteFile(FPath, OldText);
    chmod(FPath.c_str(), 0644);
    FSecond = Folder + "/second name";
    link(FPath.c_str(), FSecond.c_str());
    break;
  case TTargetKind::WithAcl: {
    WriteFile(FPath, OldText);
    chmod(FPath.c_str(), 0640);
    const std::string Set = "setfacl -m u:" + std::to_string(OtherUser) + ":rw- '" + FPath + "' 2>/dev/null";
    if (std::system(Set.c_str()) != 0 || !AclGrants(Attribute(FPath, AclName), OtherUser, 06))
      FNotReady = "no ACL could be set here (setfacl from the acl package, a file system with ACLs)";
    break;
  }
  case TTargetKind::WithAttribute:
    WriteFile(FPath, OldText);
    chmod(FPath.c_str(), 0644);
    if (setxattr(FPath.c_str(), AttributeName, "kept", 4, 0) != 0)
      FNotReady = "the file system keeps no user attributes";
    break;
  case TTargetKind::ForeignGroup:
    WriteFile(FPath, OldText);
    chmod(FPath.c_str(), 0664);
    if (chown(FPath.c_str(), static_cast<uid_t>(-1), OtherUser) != 0)
      FNotReady = "only root can give a file a group it is not in";
    FPlain = std::make_unique<TPlainUser>();
    break;
  case TTargetKind::OthersFileInStickyFolder:
  case TTargetKind::OthersFileInTeamFolder: {
    // The folder and the file are a colleague's; the saver may write both,
    // in the team folder as a member of their group.
    const bool Team = Kind == TTargetKind::OthersFileInTeamFolder;
    const gid_t Group = Team ? getegid() : OtherUser;
    WriteFile(FPath, OldText);
    chmod(FPath.c_str(), Team ? 0664 : 0666);
    if (chown(FPath.c_str(), OtherUser, Group) != 0 || chown(Folder.c_str(), OtherUser, Group) != 0)
      FNotReady = "only root can make a folder and a file that are another user's";
    chmod(Folder.c_str(), Team ? 03775 : 01777);
    FPlain = std::make_unique<TPlainUser>();
    break;
  }
  case TTargetKind::KilledSave:
    WriteFile(FPath, OldText);
    chmod(FPath.c_str(), 0644);
    KillASave();
    break;
  case TTargetKind::KilledSaveThroughLink:
    std::filesystem::create_directories(Folder + "/elsewhere");
    FReal = Folder + "/elsewhere/real";
    symlink("elsewhere/real", FPath.c_str());
    FOldMask = umask(027);
    KillASave();
    break;
  case TTargetKind::LinkIntoMissingFolder:
    FReal = Folder + "/gone/real";
    symlink("gone/real", FPath.c_str());
    break;
  }
  if (FPlain && !FPlain->Holds())
    FNotReady = "this user cannot set aside root's powers over files";
}

TSaveTarget::~TSaveTarget() {
  if (FKind == TTargetKind::NewFile || FKind == TTargetKind::KilledSaveThroughLink)
    umask(FOldMask);
  delete FLock;
  FPlain.reset();
  chmod(FPath.c_str(), 0644);
  chmod(FFolder.c_str(), 0755);
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
  FPlain.reset();
  auto NoTemporaryIn = [](const std::string &Folder) {
    for (const auto &E : std::filesystem::directory_iterator(Folder))
      EXPECT_NE(E.path().filename().string().rfind(".kvtmp", 0), 0u) << "temporary left: " << E.path();
  };
  NoTemporaryIn(FFolder);
  if (FReal != FPath && std::filesystem::exists(std::filesystem::path(FReal).parent_path()))
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
  case TTargetKind::LinkIntoMissingFolder: {
    EXPECT_FALSE(Saved) << "nowhere to write";
    EXPECT_TRUE(std::filesystem::is_symlink(FPath)) << "the link stays";
    EXPECT_FALSE(std::filesystem::exists(FFolder + "/gone")) << "no folder made";
    // What it names is missing, as a missing file is however it is reached.
    errno = 0;
    EXPECT_EQ(kv::OpenForSave(FPath, O_RDONLY), -1);
    EXPECT_EQ(errno, ENOENT) << strerror(errno);
    return;
  }
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
  case TTargetKind::HardLinked: {
    EXPECT_EQ(ModeOf(FPath), Ends(0644));
    EXPECT_EQ(ReadFile(FSecond), Now) << "the other name shows the new content";
    struct stat st {};
    EXPECT_EQ(stat(FPath.c_str(), &st), 0);
    EXPECT_EQ(st.st_nlink, 2u) << "still one file";
    break;
  }
  case TTargetKind::WithAcl:
    EXPECT_EQ(ModeOf(FPath), Ends(0660));
    EXPECT_TRUE(AclGrants(Attribute(FPath, AclName), OtherUser, 06)) << "the named user keeps the entry";
    break;
  case TTargetKind::WithAttribute:
    EXPECT_EQ(ModeOf(FPath), Ends(0644));
    EXPECT_EQ(Attribute(FPath, AttributeName), "kept");
    break;
  case TTargetKind::ForeignGroup: {
    EXPECT_EQ(ModeOf(FPath), Ends(0664));
    struct stat st {};
    EXPECT_EQ(lstat(FPath.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, geteuid());
    EXPECT_EQ(st.st_gid, OtherUser) << "the group stays";
    break;
  }
  case TTargetKind::OthersFileInStickyFolder:
  case TTargetKind::OthersFileInTeamFolder: {
    // Not the saver's to change.
    EXPECT_EQ(ModeOf(FPath), FKind == TTargetKind::OthersFileInTeamFolder ? 0664 : 0666);
    struct stat st {};
    EXPECT_EQ(lstat(FPath.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, OtherUser) << "still the colleague's";
    break;
  }
  case TTargetKind::KilledSave:
    EXPECT_TRUE(FLeftover) << "the killed save left no temporary to clear";
    EXPECT_EQ(ModeOf(FPath), Ends(0644));
    break;
  case TTargetKind::KilledSaveThroughLink:
    EXPECT_TRUE(FLeftover) << "the killed save left no temporary to clear";
    EXPECT_TRUE(std::filesystem::is_symlink(FPath)) << "the link stays";
    EXPECT_EQ(ModeOf(FReal), Ends(0640)) << "made new by this save, as the umask allows";
    break;
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
