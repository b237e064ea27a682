// The path service: Windows paths onto the Linux file system.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <memory>
#include <poll.h>
#include <string>
#include <vector>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/FileSearch.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"
#include "tests/support/SaveTargets.h"
#include "tests/support/TestEnv.h"

namespace {

using namespace kv;

int ModeOf(const std::string &Path) {
  struct stat st;
  return stat(Path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

class PathService : public ::testing::Test {
protected:
  void SetUp() override {
    kvtest::WriteFile(Env / "cwd/Lib/Shop.TWL", "");
    kvtest::WriteFile(Env / "cwd/DownLoad/new.exe", "");
    kvtest::WriteFile(Env / "cwd/Ad1.sys", "");
  }
  std::string Cwd(const std::string &Rel) const { return Env / ("cwd/" + Rel); }
  kvtest::IsolatedEnv Env;
};

TEST_F(PathService, ResolvesEveryComponentWithoutRegardToCase) {
  const std::pair<std::string, std::string> cases[] = {
      {"Lib\\Shop.TWL", "Lib/Shop.TWL"},
      {"LIB\\shop.twl", "Lib/Shop.TWL"},
      {"lib/SHOP.TWL", "Lib/Shop.TWL"},
      {"Download\\NEW.EXE", "DownLoad/new.exe"},
      {"ad1.sys", "Ad1.sys"},
      {".\\LIB\\Shop.twl", "Lib/Shop.TWL"},
      {"LIB\\", "Lib/"},
      {"Lib\\shop.twl", "Lib/Shop.TWL"},
      {"DownLoad\\NEW.EXE", "DownLoad/new.exe"},
      {"Lib\\..\\AD1.SYS", "Lib/../Ad1.sys"},
      {"LIB\\..\\Ad1.sys", "Lib/../Ad1.sys"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.first);
    EXPECT_EQ(ResolvePath(c.first), c.second);
    EXPECT_EQ(ResolvePath(Env / "cwd/" + c.first), Cwd(c.second));
  }
}

TEST_F(PathService, KeepsAMissingTailAsWritten) {
  EXPECT_EQ(ResolvePath("LIB\\New\\File.TWI"), "Lib/New/File.TWI");
  EXPECT_EQ(ResolvePath("lib\\Shop.TWI"), "Lib/Shop.TWI");
  EXPECT_EQ(ResolvePath("NoSuch\\LIB\\x"), "NoSuch/LIB/x");
  EXPECT_EQ(ResolvePath("Lib\\*.TWL"), "Lib/*.TWL");
}

TEST_F(PathService, ExactNameWinsOverAnotherCase) {
  kvtest::WriteFile(Env / "cwd/LIB/other", "");
  EXPECT_EQ(ResolvePath("LIB\\other"), "LIB/other");
  EXPECT_EQ(ResolvePath("Lib\\Shop.TWL"), "Lib/Shop.TWL");
}

TEST_F(PathService, DriveCGoesBelowItsFolder) {
  kvtest::WriteFile(Env / "c/Temp/Log.txt", "");
  EXPECT_EQ(DriveFolder('c'), Env / "c");
  EXPECT_EQ(DriveFolder('C'), Env / "c");
  EXPECT_EQ(ResolvePath("c:\\temp\\log.txt"), Env / "c/Temp/Log.txt");
  EXPECT_EQ(ResolvePath("C:\\TEMP\\new.txt"), Env / "c/Temp/new.txt");
  EXPECT_EQ(ResolvePath("c:/x"), Env / "c/x");
  EXPECT_EQ(ResolvePath("c:\\"), Env / "c");
}

TEST_F(PathService, DriveCDefaultsBelowTheDataHome) {
  unsetenv("KORVANDEL_DRIVE_C");
  EXPECT_EQ(DriveFolder('c'), Env / "data/korvandel/c");
}

TEST_F(PathService, WindowsDirectoryFromTheEnvironment) {
  EXPECT_EQ(WindowsDirectory(), Env / "windows");
  setenv("KORVANDEL_WINDIR", (Env / "elsewhere/win").c_str(), 1);
  EXPECT_EQ(WindowsDirectory(), Env / "elsewhere/win");
  EXPECT_TRUE(DirectoryExists(Env / "elsewhere/win")) << "made on demand";
  unsetenv("KORVANDEL_WINDIR");
  EXPECT_EQ(WindowsDirectory(), Env / "data/korvandel/windows");
}

TEST_F(PathService, ProgramFolderIsTheExecutablesFolder) {
  EXPECT_EQ(ProgramFolder(), KV_TEST_BIN_DIR);
}

TEST_F(PathService, FileQueriesResolveToo) {
  EXPECT_TRUE(FileExists("LIB\\SHOP.TWL"));
  EXPECT_FALSE(FileExists("LIB"));
  EXPECT_TRUE(DirectoryExists("lib"));
  EXPECT_FALSE(DirectoryExists("lib\\shop.twl"));
  EXPECT_EQ(FileSize("ad1.SYS"), 0);
  EXPECT_EQ(FileSize("none"), -1);
  EXPECT_TRUE(ForceDirectories("DOWNLOAD\\a\\b"));
  EXPECT_TRUE(DirectoryExists(Cwd("DownLoad/a/b")));
}

TEST_F(PathService, RenameNeverReplaces) {
  kvtest::WriteFile(Cwd("a.txt"), "a");
  kvtest::WriteFile(Cwd("b.txt"), "b");
  EXPECT_FALSE(RenameFile("A.TXT", "B.TXT"));
  EXPECT_TRUE(RenameFile("A.TXT", "c.txt"));
  EXPECT_EQ(kvtest::ReadFile(Cwd("c.txt")), "a");
  EXPECT_TRUE(DeleteFile("C.TXT"));
  EXPECT_FALSE(DeleteFile("C.TXT"));
}

TEST_F(PathService, WriteFileAtomicKeepsOrSetsTheMode) {
  const mode_t Mask = umask(022);
  EXPECT_TRUE(WriteFileAtomic("new.txt", "1"));
  EXPECT_EQ(ModeOf(Cwd("new.txt")), 0644);
  chmod(Cwd("new.txt").c_str(), 0600);
  EXPECT_TRUE(WriteFileAtomic("NEW.TXT", "22"));
  EXPECT_EQ(ModeOf(Cwd("new.txt")), 0600) << "kept";
  EXPECT_EQ(kvtest::ReadFile(Cwd("new.txt")), "22");
  EXPECT_TRUE(WriteFileAtomic("new.txt", "333", 0640));
  EXPECT_EQ(ModeOf(Cwd("new.txt")), 0640) << "set";
  umask(077);
  EXPECT_TRUE(WriteFileAtomic("private.txt", "4"));
  EXPECT_EQ(ModeOf(Cwd("private.txt")), 0600) << "as the umask allows";
  umask(Mask);
  EXPECT_FALSE(WriteFileAtomic("nofolder\\x.txt", "x"));
  // No temporary file is left behind.
  std::string data;
  int entries = 0;
  for (auto &e : std::filesystem::directory_iterator(Env / "cwd"))
    entries += e.path().filename().string().rfind(".kvtmp", 0) == 0;
  EXPECT_EQ(entries, 0);
}

// The ways of writing, whole, in pieces and whole with a mode, over every
// kind of target.
TEST_F(PathService, TheWriterHonoursWhatItWritesOver) {
  const struct {
    const char *Name;
    bool Pieces;
    int Mode;
  } Ways[] = {{"whole", false, -1},
              {"pieces", true, -1},
              {"whole with mode 0600", false, 0600},
              {"whole with mode 0444", false, 0444}};
  std::string Skipped;
  for (const auto &W : Ways) {
    SCOPED_TRACE(W.Name);
    kvtest::SaveOverEveryTarget(Env / W.Name, "f.txt", W.Mode, [&](const std::string &To) {
      if (!W.Pieces)
        return WriteFileAtomic(To, "new text", W.Mode);
      TAtomicFile F(To, W.Mode);
      return F.Write("new ", 4) && F.Write("text", 4) && F.Commit();
    }, Skipped);
  }
  if (!Skipped.empty())
    GTEST_SKIP() << "the other cases passed; not tested here: " << Skipped;
}

// In a folder that takes no new name the old content stays until the new one
// is complete: a file given up changes nothing.
TEST_F(PathService, AFileWrittenInPlaceChangesOnlyOnCommit) {
  kvtest::WriteFile(Cwd("locked/f.txt"), "earlier");
  kvtest::TUnwritableFolder Lock(Cwd("locked"));
  if (!Lock.Holds())
    GTEST_SKIP() << "a folder's permissions do not bind this user";
  {
    TAtomicFile F(Cwd("locked/f.txt"));
    ASSERT_TRUE(F.IsOpen());
    EXPECT_TRUE(F.Write("longer new content", 18));
    EXPECT_EQ(kvtest::ReadFile(Cwd("locked/f.txt")), "earlier");
  }
  EXPECT_EQ(kvtest::ReadFile(Cwd("locked/f.txt")), "earlier") << "given up";
  EXPECT_TRUE(WriteFileAtomic(Cwd("locked/f.txt"), "short"));
  EXPECT_EQ(kvtest::ReadFile(Cwd("locked/f.txt")), "short") << "cut to the new length";
  EXPECT_FALSE(WriteFileAtomic(Cwd("locked/new.txt"), "x")) << "no new file there";
}

// A given mode holds from the moment the save finds the file: a save given
// up, or one whose folder takes no new name, leaves it no wider.
TEST_F(PathService, AGivenModeHoldsThoughNothingIsWritten) {
  const struct {
    const char *Name;
    bool Locked;
    int Before, Mode, After;
  } Rows[] = {{"given up", false, 0644, 0600, 0600},
              {"given up in a folder that takes no new name", true, 0640, 0600, 0600}};
  for (const auto &Row : Rows) {
    SCOPED_TRACE(Row.Name);
    std::filesystem::remove_all(Cwd("m"));
    kvtest::WriteFile(Cwd("m/f.txt"), "earlier");
    chmod(Cwd("m/f.txt").c_str(), static_cast<mode_t>(Row.Before));
    std::unique_ptr<kvtest::TUnwritableFolder> Lock;
    if (Row.Locked) {
      Lock = std::make_unique<kvtest::TUnwritableFolder>(Cwd("m"));
      if (!Lock->Holds())
        continue;
    }
    {
      TAtomicFile F(Cwd("m/f.txt"), Row.Mode);
      EXPECT_TRUE(F.IsOpen());
      EXPECT_EQ(ModeOf(Cwd("m/f.txt")), Row.After) << "before any content";
    }
    Lock.reset();
    EXPECT_EQ(ModeOf(Cwd("m/f.txt")), Row.After);
    EXPECT_EQ(kvtest::ReadFile(Cwd("m/f.txt")), "earlier");
  }
}

// Written in place, the content goes only into the file that was looked at:
// one swapped in meanwhile, or a link put in its place, is left alone.
TEST_F(PathService, AFileWrittenInPlaceGoesOnlyIntoTheFileLookedAt) {
  const struct {
    const char *Name;
    bool Link;
  } Rows[] = {{"another file in its place", false}, {"a link in its place", true}};
  for (const auto &Row : Rows) {
    SCOPED_TRACE(Row.Name);
    std::filesystem::remove_all(Cwd("locked"));
    kvtest::WriteFile(Cwd("locked/f.txt"), "earlier");
    kvtest::WriteFile(Cwd("other.txt"), "someone else's");
    auto Lock = std::make_unique<kvtest::TUnwritableFolder>(Cwd("locked"));
    if (!Lock->Holds())
      GTEST_SKIP() << "a folder's permissions do not bind this user";
    TAtomicFile F(Cwd("locked/f.txt"));
    ASSERT_TRUE(F.IsOpen());
    EXPECT_TRUE(F.Write("new content", 11));
    Lock.reset();
    // Kept under another name, so the new file cannot take its number.
    std::filesystem::rename(Cwd("locked/f.txt"), Cwd("locked/kept.txt"));
    if (Row.Link)
      symlink(Cwd("other.txt").c_str(), Cwd("locked/f.txt").c_str());
    else
      kvtest::WriteFile(Cwd("locked/f.txt"), "swapped in");
    Lock = std::make_unique<kvtest::TUnwritableFolder>(Cwd("locked"));
    EXPECT_FALSE(F.Commit());
    Lock.reset();
    EXPECT_EQ(kvtest::ReadFile(Cwd("other.txt")), "someone else's");
    EXPECT_EQ(kvtest::ReadFile(Cwd("locked/f.txt")), Row.Link ? "someone else's" : "swapped in");
    EXPECT_EQ(kvtest::ReadFile(Cwd("locked/kept.txt")), "earlier");
  }
}

// A link to a name not there yet makes that file; a loop of links is refused.
TEST_F(PathService, LinksAreFollowedToWhatTheyName) {
  std::filesystem::create_directories(Cwd("real"));
  symlink("real/made.txt", Cwd("dangling").c_str());
  EXPECT_TRUE(WriteFileAtomic("DANGLING", "x"));
  EXPECT_EQ(kvtest::ReadFile(Cwd("real/made.txt")), "x");
  EXPECT_TRUE(std::filesystem::is_symlink(Cwd("dangling")));
  symlink("loop2", Cwd("loop1").c_str());
  symlink("loop1", Cwd("loop2").c_str());
  EXPECT_FALSE(WriteFileAtomic("loop1", "x"));
  EXPECT_TRUE(std::filesystem::is_symlink(Cwd("loop1")));
}

// Work done in a child process as another user; its exit status.
int RunAs(uid_t User, const std::function<int()> &Work) {
  const pid_t Pid = fork();
  if (Pid == 0) {
    if (setgroups(0, nullptr) != 0 || setresgid(User, User, User) != 0 || setresuid(User, User, User) != 0)
      _exit(90);
    _exit(Work());
  }
  int Status = 0;
  if (Pid < 0 || waitpid(Pid, &Status, 0) != Pid)
    return -1;
  return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
}

// A user saving with a mode that lacks the owner's write bit: a file the
// user may write is saved and then narrowed, one marked read-only is refused
// and narrowed only by the mode given.
TEST_F(PathService, AModeWithoutTheWriteBitNarrowsOnlyASaveGoingAhead) {
  if (geteuid() != 0)
    GTEST_SKIP() << "only root can act as another user";
  const uid_t User = 4343;
  chmod(Env.Root().c_str(), 0711);
  const std::string Home = Env / "home", File = Home + "/f.txt";
  const struct {
    const char *Name;
    int Before, Mode;
    bool Saved;
    int After;
  } Rows[] = {{"writable file made read-only", 0644, 0444, true, 0444},
              {"writable file made private and read-only", 0644, 0400, true, 0400},
              {"read-only file", 0444, 0400, false, 0400}};
  for (const auto &Row : Rows) {
    SCOPED_TRACE(Row.Name);
    std::filesystem::remove_all(Home);
    kvtest::WriteFile(File, "earlier");
    ASSERT_EQ(chown(Home.c_str(), User, User), 0);
    ASSERT_EQ(chown(File.c_str(), User, User), 0);
    chmod(File.c_str(), static_cast<mode_t>(Row.Before));
    EXPECT_EQ(RunAs(User, [&] { return WriteFileAtomic(File, "new content", Row.Mode) ? 0 : 1; }), Row.Saved ? 0 : 1);
    EXPECT_EQ(kvtest::ReadFile(File), Row.Saved ? "new content" : "earlier");
    EXPECT_EQ(ModeOf(File), Row.After);
  }
}

// A shared folder (mode 1777, root's) where one user plants a link to a file
// in another user's private folder, and that user then saves to the link's
// name, whole or as a profile made private: the save follows only the
// saver's own links and the folder owner's, and changes nothing, its mode
// neither, through any other.
TEST_F(PathService, ALinkInASharedFolderIsFollowedOnlyWhereTheSystemWould) {
  if (geteuid() != 0)
    GTEST_SKIP() << "only root can act as two other users";
  const uid_t Saver = 4343, Planter = 4242;
  chmod(Env.Root().c_str(), 0711);
  const std::string Shared = Env / "shared", Home = Env / "home", Notes = Home + "/notes.txt";
  std::filesystem::create_directories(Shared);
  chmod(Shared.c_str(), 01777);
  std::filesystem::create_directories(Home);
  const struct {
    const char *Name;
    uid_t PlantedBy;
    bool Followed;
  } Rows[] = {{"another user's link", Planter, false},
              {"the saver's own link", Saver, true},
              {"the folder owner's link", 0, true}};
  const struct {
    const char *Name;
    int Mode;  // what the file ends with when written
    std::function<bool(const std::string &)> Save;
  } Writers[] = {{"whole", 0644, [](const std::string &To) { return WriteFileAtomic(To, "exported rows"); }},
                 {"profile made private", 0600, [](const std::string &To) {
                    try {
                      TIniFile(To, 0600).WriteString("Rows", "k", "exported rows");
                      return true;
                    } catch (const EInOutError &) {
                      return false;
                    }
                  }}};
  for (const auto &W : Writers)
    for (const auto &Row : Rows) {
      SCOPED_TRACE(std::string(W.Name) + ", " + Row.Name);
      kvtest::WriteFile(Notes, "the saver's notes");
      ASSERT_EQ(chown(Home.c_str(), Saver, Saver), 0);
      chmod(Home.c_str(), 0700);
      ASSERT_EQ(chown(Notes.c_str(), Saver, Saver), 0);
      chmod(Notes.c_str(), 0644);
      const std::string Link = Shared + "/parts.csv";
      std::filesystem::remove(Link);
      ASSERT_EQ(RunAs(Row.PlantedBy, [&] { return symlink(Notes.c_str(), Link.c_str()) == 0 ? 0 : 1; }), 0);
      const int Saved = RunAs(Saver, [&] { return W.Save(Link) ? 0 : 1; });
      EXPECT_EQ(Saved, Row.Followed ? 0 : 1);
      const std::string Now = kvtest::ReadFile(Notes);
      if (Row.Followed)
        EXPECT_NE(Now.find("exported rows"), std::string::npos) << Now;
      else
        EXPECT_EQ(Now, "the saver's notes");
      EXPECT_EQ(ModeOf(Notes), Row.Followed ? W.Mode : 0644);
      struct stat st;
      ASSERT_EQ(lstat(Link.c_str(), &st), 0);
      EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link stays";
      EXPECT_EQ(st.st_uid, Row.PlantedBy);
      for (const std::string &Folder : {Shared, Home})
        for (auto &E : std::filesystem::directory_iterator(Folder))
          EXPECT_NE(E.path().filename().string().rfind(".kvtmp", 0), 0u) << E.path();
    }
}

// The saver's own link, in its private folder, names a file not there yet in
// a shared folder, where another user keeps putting bait at that name and
// taking it away again: each save makes exactly the name it looked at, or
// nothing, and never opens or makes what the bait leads to.
TEST_F(PathService, ASaveThroughALinkToAMissingNameMakesOnlyThatName) {
  if (geteuid() != 0)
    GTEST_SKIP() << "only root can act as two other users";
  const uid_t Planter = 4242;
  chmod(Env.Root().c_str(), 0711);
  const std::string Shared = Env / "shared", Target = Shared + "/x", Bait = Shared + "/bait";
  std::filesystem::create_directories(Shared);
  chmod(Shared.c_str(), 01777);
  enum class TBait { Link, Fifo };
  const struct {
    const char *Name;
    TBait Bait;
    uid_t Saver;
  } Rows[] = {{"a link into the saver's private folder, saved by a user", TBait::Link, 4343},
              {"a link into the saver's private folder, saved by root", TBait::Link, 0},
              {"a FIFO, saved by a user", TBait::Fifo, 4343},
              {"a FIFO, saved by root", TBait::Fifo, 0}};
  // Counted by the saver, read here.
  struct TCounts {
    int Saves, Saved, Made;
  };
  auto *Counts = static_cast<TCounts *>(
      mmap(nullptr, sizeof(TCounts), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(Counts, MAP_FAILED);
  for (size_t R = 0; R < std::size(Rows); ++R) {
    const auto &Row = Rows[R];
    SCOPED_TRACE(Row.Name);
    const std::string Home = Env / ("home" + std::to_string(R)), Own = Home + "/dang", Planted = Home + "/PLANTED";
    std::filesystem::create_directories(Home);
    ASSERT_EQ(chown(Home.c_str(), Row.Saver, Row.Saver), 0);
    chmod(Home.c_str(), 0700);
    ASSERT_EQ(symlink(Target.c_str(), Own.c_str()), 0);
    ASSERT_EQ(lchown(Own.c_str(), Row.Saver, Row.Saver), 0);
    *Counts = {};
    int Ready[2], Stop[2];
    ASSERT_EQ(pipe(Ready), 0);
    ASSERT_EQ(pipe(Stop), 0);
    const pid_t Planting = fork();
    ASSERT_GE(Planting, 0);
    if (Planting == 0) {
      if (setgroups(0, nullptr) != 0 || setresgid(Planter, Planter, Planter) != 0 ||
          setresuid(Planter, Planter, Planter) != 0)
        _exit(90);
      int Reader = -1;
      // Open to anyone's writing, so that only the writer's rule keeps the saver out.
      if (Row.Bait == TBait::Fifo && (mkfifo(Bait.c_str(), 0600) != 0 || chmod(Bait.c_str(), 0666) != 0 ||
                                      (Reader = open(Bait.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) < 0))
        _exit(91);
      (void)!write(Ready[1], "r", 1);
      const auto Until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      for (int I = 0; I < 2000000 && std::chrono::steady_clock::now() < Until; ++I) {
        pollfd P{Stop[0], POLLIN, 0};
        if (poll(&P, 1, 0) > 0)
          break;
        if (Row.Bait == TBait::Fifo)
          (void)!link(Bait.c_str(), Target.c_str());
        else
          (void)!symlink(Planted.c_str(), Target.c_str());
        // Only its own bait goes: a file of the saver's is not its to remove.
        unlink(Target.c_str());
      }
      // On a reading end no writer ever had, Linux reports neither data nor
      // a hang-up.
      pollfd P{Reader, POLLIN, 0};
      _exit(Reader >= 0 && poll(&P, 1, 0) > 0 ? 1 : 0);
    }
    char C;
    ASSERT_EQ(read(Ready[0], &C, 1), 1) << "the planter did not start";
    const int Saver = RunAs(Row.Saver, [&] {
      const auto Until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
      for (; Counts->Saves < 3000 && std::chrono::steady_clock::now() < Until; ++Counts->Saves) {
        Counts->Saved += WriteFileAtomic(Own, "saved");
        struct stat st;
        if (lstat(Planted.c_str(), &st) == 0) {
          ++Counts->Made;
          unlink(Planted.c_str());
        }
        // The file this save made goes, so the next finds the name free.
        if (lstat(Target.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid())
          unlink(Target.c_str());
      }
      return 0;
    });
    (void)!write(Stop[1], "s", 1);
    int Status = 0;
    ASSERT_EQ(waitpid(Planting, &Status, 0), Planting);
    for (int Fd : {Ready[0], Ready[1], Stop[0], Stop[1]})
      close(Fd);
    EXPECT_EQ(Saver, 0);
    ASSERT_TRUE(WIFEXITED(Status));
    EXPECT_EQ(WEXITSTATUS(Status), 0) << (WEXITSTATUS(Status) == 1 ? "the FIFO was opened to be written" : "");
    EXPECT_EQ(Counts->Made, 0) << "what the bait names was made, in " << Counts->Saves << " saves";
    EXPECT_GT(Counts->Saves, 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(Planted)));
    // Nothing but the named file was made, and that went again.
    std::vector<std::string> Left;
    for (const std::string &Folder : {Home, Shared})
      for (auto &E : std::filesystem::directory_iterator(Folder))
        Left.push_back(E.path().filename().string());
    std::sort(Left.begin(), Left.end());
    const std::vector<std::string> Expected =
        Row.Bait == TBait::Fifo ? std::vector<std::string>{"bait", "dang"} : std::vector<std::string>{"dang"};
    EXPECT_EQ(Left, Expected);
    std::filesystem::remove(Bait);
  }
  munmap(Counts, sizeof(TCounts));
}

TEST_F(PathService, ReadOnlyIsTheOwnersWriteBitOff) {
  const struct {
    const char *Name;
    int Mode;
    bool ReadOnly;
  } rows[] = {{"owner may write", 0644, false}, {"owner only", 0200, false},
              {"read only", 0444, true},        {"others may write", 0466, true},
              {"no bits", 0, true}};
  for (const auto &row : rows) {
    kvtest::WriteFile(Cwd("f.txt"), "x");
    chmod(Cwd("f.txt").c_str(), static_cast<mode_t>(row.Mode));
    EXPECT_EQ(FileIsReadOnly("F.TXT"), row.ReadOnly) << row.Name;
    chmod(Cwd("f.txt").c_str(), 0644);
  }
  EXPECT_FALSE(FileIsReadOnly("missing.txt"));
}

// A file written in pieces: the target changes only on Commit, and a file
// given up, or one that fails, leaves the earlier content and no temporary.
TEST_F(PathService, AtomicFileReplacesOnlyOnCommit) {
  auto temporaries = [&] {
    int n = 0;
    for (auto &e : std::filesystem::directory_iterator(Env / "cwd"))
      n += e.path().filename().string().rfind(".kvtmp", 0) == 0;
    return n;
  };
  kvtest::WriteFile(Cwd("out.txt"), "earlier");
  {
    TAtomicFile f("OUT.TXT");
    ASSERT_TRUE(f.IsOpen());
    EXPECT_TRUE(f.Write("new ", 4));
    EXPECT_EQ(temporaries(), 1);
    EXPECT_EQ(kvtest::ReadFile(Cwd("out.txt")), "earlier");
  }
  EXPECT_EQ(kvtest::ReadFile(Cwd("out.txt")), "earlier") << "given up";
  EXPECT_EQ(temporaries(), 0);
  for (bool sync : {true, false}) {
    TAtomicFile f("out.txt");
    EXPECT_TRUE(f.Write("new ", 4));
    EXPECT_TRUE(f.Write("text", 4));
    EXPECT_TRUE(f.Write("", 0));
    EXPECT_TRUE(f.Commit(sync));
    EXPECT_FALSE(f.Commit(sync)) << "once only";
    EXPECT_EQ(kvtest::ReadFile(Cwd("out.txt")), "new text");
  }
  TAtomicFile missing("nofolder\\x.txt");
  EXPECT_FALSE(missing.IsOpen());
  EXPECT_FALSE(missing.Write("x", 1));
  EXPECT_FALSE(missing.Commit());
  EXPECT_FALSE(std::filesystem::exists(Cwd("nofolder")));
  std::filesystem::create_directory(Cwd("folder"));
  TAtomicFile overFolder("folder");
  EXPECT_FALSE(overFolder.IsOpen()) << "only a file is written over";
  EXPECT_FALSE(overFolder.Write("x", 1));
  EXPECT_FALSE(overFolder.Commit());
  EXPECT_TRUE(std::filesystem::is_directory(Cwd("folder")));
  EXPECT_EQ(temporaries(), 0);
}

TEST_F(PathService, ReadAndCopy) {
  kvtest::WriteFile(Cwd("src.bin"), std::string("a\0b", 3));
  chmod(Cwd("src.bin").c_str(), 0750);
  std::string data;
  EXPECT_TRUE(ReadFileToString("SRC.BIN", data));
  EXPECT_EQ(data, std::string("a\0b", 3));
  EXPECT_FALSE(ReadFileToString("none", data));
  EXPECT_TRUE(CopyFile("src.bin", "dst.bin", true));
  EXPECT_EQ(ModeOf(Cwd("dst.bin")), 0750);
  EXPECT_FALSE(CopyFile("src.bin", "DST.BIN", true));
  EXPECT_TRUE(CopyFile("src.bin", "DST.BIN", false));
}

TEST(FileNameRoutines, OnWindowsPaths) {
  struct Case {
    std::string Path, FilePath, FileDir, FileName, FileExt;
  };
  const Case cases[] = {
      {"c:\\temp\\log.txt", "c:\\temp\\", "c:\\temp", "log.txt", ".txt"},
      {"Lib\\Shop.TWL", "Lib\\", "Lib", "Shop.TWL", ".TWL"},
      {"c:\\log.txt", "c:\\", "c:\\", "log.txt", ".txt"},
      {"c:log.txt", "c:", "c:", "log.txt", ".txt"},
      {"name", "", "", "name", ""},
      {"dir.x\\file", "dir.x\\", "dir.x", "file", ""},
      {"a/b/c.tar.gz", "a/b/", "a/b", "c.tar.gz", ".gz"},
      {"\\\\server\\share\\f.doc", "\\\\server\\share\\", "\\\\server\\share", "f.doc", ".doc"},
      {"folder\\", "folder\\", "folder", "", ""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Path);
    EXPECT_EQ(ExtractFilePath(c.Path), c.FilePath);
    EXPECT_EQ(ExtractFileDir(c.Path), c.FileDir);
    EXPECT_EQ(ExtractFileName(c.Path), c.FileName);
    EXPECT_EQ(ExtractFileExt(c.Path), c.FileExt);
  }
  EXPECT_EQ(ChangeFileExt("Lib\\Shop.TWL", ".TWI"), "Lib\\Shop.TWI");
  EXPECT_EQ(ChangeFileExt("dir.x\\file", ".TWI"), "dir.x\\file.TWI");
  EXPECT_EQ(IncludeTrailingBackslash("c:\\temp"), "c:\\temp\\");
  EXPECT_EQ(IncludeTrailingBackslash("c:\\temp\\"), "c:\\temp\\");
}

TEST(DeleteDirectory, DeletesFilesAndKeepsFolders) {
  kvtest::IsolatedEnv Env;
  const std::string Folder = Env / "DownLoad";
  std::filesystem::create_directories(Folder + "/sub");
  kvtest::WriteFile(Folder + "/a.txt", "a");
  kvtest::WriteFile(Folder + "/Korvandel", "b");
  kvtest::WriteFile(Folder + "/sub/c.txt", "c");
  DeleteDirectory(Folder);
  EXPECT_FALSE(kvtest::FileExists(Folder + "/a.txt"));
  EXPECT_FALSE(kvtest::FileExists(Folder + "/Korvandel"));
  EXPECT_TRUE(kvtest::FileExists(Folder + "/sub/c.txt"));
  EXPECT_TRUE(std::filesystem::is_directory(Folder));
}

}  // namespace
