// The path service: Windows paths onto the Linux file system.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/FileSearch.h"
#include "platform/Paths.h"
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

// Both ways of writing, whole and in pieces, over every kind of target.
TEST_F(PathService, TheWriterHonoursWhatItWritesOver) {
  std::string Skipped;
  for (bool Pieces : {false, true})
    for (const kvtest::TTargetCase &C : kvtest::TargetCases) {
      SCOPED_TRACE(std::string(Pieces ? "in pieces, " : "whole, ") + C.Name);
      kvtest::TSaveTarget Target(Env / (std::string(Pieces ? "pieces/" : "whole/") + C.Name), "f.txt", C.Kind);
      if (!Target.Ready(Skipped))
        continue;
      bool Saved;
      if (Pieces) {
        TAtomicFile F(Target.Path());
        Saved = F.Write("new ", 4) && F.Write("text", 4) && F.Commit();
      } else {
        Saved = WriteFileAtomic(Target.Path(), "new text");
      }
      Target.Check(Saved);
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

// A shared folder (mode 1777, root's) where one user plants a link to a file
// in another user's private folder, and that user then saves to the link's
// name: the save follows only the saver's own links and the folder owner's.
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
  for (const auto &Row : Rows) {
    SCOPED_TRACE(Row.Name);
    kvtest::WriteFile(Notes, "the saver's notes");
    ASSERT_EQ(chown(Home.c_str(), Saver, Saver), 0);
    chmod(Home.c_str(), 0700);
    ASSERT_EQ(chown(Notes.c_str(), Saver, Saver), 0);
    chmod(Notes.c_str(), 0600);
    const std::string Link = Shared + "/parts.csv";
    std::filesystem::remove(Link);
    ASSERT_EQ(RunAs(Row.PlantedBy, [&] { return symlink(Notes.c_str(), Link.c_str()) == 0 ? 0 : 1; }), 0);
    const int Saved = RunAs(Saver, [&] { return WriteFileAtomic(Link, "exported rows") ? 0 : 1; });
    EXPECT_EQ(Saved, Row.Followed ? 0 : 1);
    EXPECT_EQ(kvtest::ReadFile(Notes), Row.Followed ? "exported rows" : "the saver's notes");
    EXPECT_EQ(ModeOf(Notes), 0600);
    struct stat st;
    ASSERT_EQ(lstat(Link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link stays";
    EXPECT_EQ(st.st_uid, Row.PlantedBy);
    for (const std::string &Folder : {Shared, Home})
      for (auto &E : std::filesystem::directory_iterator(Folder))
        EXPECT_NE(E.path().filename().string().rfind(".kvtmp", 0), 0u) << E.path();
  }
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
