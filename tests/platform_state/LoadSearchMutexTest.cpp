#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/DynLoad.h"
#include "platform/FileSearch.h"
#include "platform/NamedMutex.h"
#include "platform/Paths.h"
#include "tests/support/TestEnv.h"

using namespace kv;

TEST(DynLoad, AWindowsNameMapsToTheLibraryBesideTheProgram) {
  // libwinstate_probe.so lies beside the test program; the case differs.
  HMODULE h = LoadLibrary("WinState_Probe.DLL");
  ASSERT_NE(h, nullptr) << LastLoadError();
  auto answer = reinterpret_cast<int (*)()>(GetProcAddress(h, "ProbeAnswer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  EXPECT_EQ(GetProcAddress(h, "probeanswer"), nullptr);  // symbols match exactly
  EXPECT_NE(LastLoadError().find("probeanswer"), std::string::npos) << LastLoadError();
  EXPECT_TRUE(FreeLibrary(h));
}

TEST(DynLoad, AnyOtherNameLoadsByItsResolvedPath) {
  kvtest::IsolatedEnv env;
  ASSERT_TRUE(kv::ForceDirectories(env / "cwd/LIB"));
  ASSERT_TRUE(kv::CopyFile(PROBE_LIBRARY, env / "cwd/LIB/SHOP.TWL", false));
  HMODULE h = LoadLibrary("Lib\\shop.twl");
  ASSERT_NE(h, nullptr) << LastLoadError();
  EXPECT_NE(GetProcAddress(h, "ProbeAnswer"), nullptr);
  EXPECT_TRUE(FreeLibrary(h));
  // A bare name other than "*.dll" is a file in the working directory, never
  // one found on the library path.
  ASSERT_TRUE(kv::CopyFile(PROBE_LIBRARY, env / "cwd/probe.twl", false));
  h = LoadLibrary("PROBE.TWL");
  ASSERT_NE(h, nullptr) << LastLoadError();
  FreeLibrary(h);
  EXPECT_EQ(LoadLibrary("libc.so.6"), nullptr);
}

TEST(DynLoad, AFailedLoadKeepsTheReason) {
  kvtest::IsolatedEnv env;
  EXPECT_EQ(LoadLibrary("nothere.dll"), nullptr);
  EXPECT_NE(LastLoadError().find("libnothere.so"), std::string::npos) << LastLoadError();
  kvtest::WriteFile(env / "cwd/bad.twl", "not a library");
  EXPECT_EQ(LoadLibrary("bad.twl"), nullptr);
  EXPECT_NE(LastLoadError().find("bad.twl"), std::string::npos) << LastLoadError();
  EXPECT_EQ(GetProcAddress(nullptr, "x"), nullptr);
  EXPECT_FALSE(FreeLibrary(nullptr));
}

namespace {

std::vector<std::string> Search(const std::string &Pattern, int Attr, int *First = nullptr) {
  std::vector<std::string> out;
  TSearchRec f;
  int rc = FindFirst(Pattern, Attr, f);
  if (First)
    *First = rc;
  const bool any = rc == 0;
  for (; rc == 0; rc = FindNext(f))
    out.push_back(f.Name + ((f.Attr & faDirectory) ? "/" : ""));
  if (any) {
    EXPECT_EQ(rc, 18);
  }
  FindClose(f);
  return out;
}

std::string Join(const std::vector<std::string> &V) {
  std::string s;
  for (const auto &x : V)
    s += (s.empty() ? "" : " ") + x;
  return s;
}

}  // namespace

TEST(FileSearch, MatchesWithoutRegardToCaseInAStableOrder) {
  kvtest::IsolatedEnv env;
  const std::string lib = env / "cwd/lib";
  ForceDirectories(lib);
  for (const char *f : {"zeta.twl", "Alpha.TWL", "beta.Twl", "beta.twi", "gamma.twlx", "readme.txt"})
    kvtest::WriteFile(lib + "/" + f, "x");
  ForceDirectories(lib + "/Folder.TWL");
  EXPECT_EQ(Join(Search("LIB\\*.TWL", faAnyFile)), "Alpha.TWL beta.Twl Folder.TWL/ zeta.twl");
  // Without faDirectory folders stay out, as in the class library.
  EXPECT_EQ(Join(Search("Lib\\*.twl", faArchive)), "Alpha.TWL beta.Twl zeta.twl");
  EXPECT_EQ(Join(Search("lib\\BETA.*", faAnyFile)), "beta.twi beta.Twl");
  EXPECT_EQ(Join(Search("lib\\?eta.tw?", faAnyFile)), "beta.twi beta.Twl zeta.twl");
  EXPECT_EQ(Search("lib\\*.*", faAnyFile).size(), 7u);
  int rc = 0;
  EXPECT_TRUE(Search("lib\\*.dll", faAnyFile, &rc).empty());
  EXPECT_EQ(rc, 2);
  EXPECT_TRUE(Search("nowhere\\*.twl", faAnyFile, &rc).empty());
  EXPECT_EQ(rc, 3);
}

TEST(FileSearch, ASearchWalksOneSnapshot) {
  kvtest::IsolatedEnv env;
  kvtest::WriteFile(env / "cwd/a.twl", "1234");
  kvtest::WriteFile(env / "cwd/b.twl", "x");
  TSearchRec f;
  ASSERT_EQ(FindFirst("*.TWL", faAnyFile, f), 0);
  EXPECT_EQ(f.Name, "a.twl");
  EXPECT_EQ(f.Size, 4);
  EXPECT_EQ(f.Attr & faDirectory, 0);
  EXPECT_EQ(f.Time, FileAge(env / "cwd/a.twl"));
  unlink((env / "cwd/b.twl").c_str());
  kvtest::WriteFile(env / "cwd/c.twl", "x");
  ASSERT_EQ(FindNext(f), 0);
  EXPECT_EQ(f.Name, "b.twl");
  EXPECT_EQ(FindNext(f), 18);
  FindClose(f);
}

TEST(FileSearch, MasksFollowTheWindowsWildcards) {
  struct Row {
    const char *Name, *Mask;
    bool Match;
  } rows[] = {
      {"SHOP.TWL", "*.twl", true}, {"shop.twl", "S*P.T?L", true}, {"shop.twlx", "*.twl", false},
      {"shop", "*.*", true},       {"a", "?", true},              {"", "*", true},
      {"ab", "?", false},          {"abcabd", "*abd", true},      {"x.twl", "x", false},
  };
  for (const auto &r : rows)
    EXPECT_EQ(MatchesMask(r.Name, r.Mask), r.Match) << r.Name << " / " << r.Mask;
}

namespace {

// A child that takes the mutex, says so through a pipe and waits to be killed.
pid_t HoldInChild(const std::string &Name) {
  int p[2];
  if (pipe(p) != 0)
    return -1;
  pid_t pid = fork();
  if (pid == 0) {
    close(p[0]);
    TNamedMutex m(Name);
    char ok = m.Wait(5000) ? 'y' : 'n';
    if (write(p[1], &ok, 1) != 1)
      _exit(1);
    for (;;)
      pause();
  }
  close(p[1]);
  char c = 0;
  if (read(p[0], &c, 1) != 1 || c != 'y') {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
  }
  close(p[0]);
  return pid;
}

}  // namespace

TEST(NamedMutex, HeldByAnotherProcessUntilItDies) {
  kvtest::IsolatedEnv env;
  pid_t owner = HoldInChild("TWMutexForOneCopy");
  ASSERT_GT(owner, 0);
  TNamedMutex m("TWMutexForOneCopy");
  EXPECT_FALSE(m.Wait(0));
  EXPECT_FALSE(m.Held());
  // A different name is a different mutex.
  TNamedMutex other("TWMutexForAnother");
  EXPECT_TRUE(other.Wait(0));
  kill(owner, SIGKILL);  // dies without releasing
  waitpid(owner, nullptr, 0);
  EXPECT_TRUE(m.Wait(5000));
  EXPECT_TRUE(m.Held());
}

TEST(NamedMutex, AWaitEndsAtItsTimeLimit) {
  kvtest::IsolatedEnv env;
  pid_t owner = HoldInChild("Busy");
  ASSERT_GT(owner, 0);
  TNamedMutex m("Busy");
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(m.Wait(300));
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_GE(ms, 300);
  kill(owner, SIGKILL);
  waitpid(owner, nullptr, 0);
}

TEST(NamedMutex, ReleaseLetsTheNextOwnerIn) {
  kvtest::IsolatedEnv env;
  TNamedMutex a("Local\\One/Copy");
  TNamedMutex b("Local\\One/Copy");
  ASSERT_TRUE(a.Wait(0));
  EXPECT_TRUE(a.Wait(0));  // the owner may wait again
  EXPECT_FALSE(b.Wait(50));
  a.Release();
  EXPECT_FALSE(a.Held());
  EXPECT_TRUE(b.Wait(0));
}

TEST(NamedMutex, TheRuntimeFolderIsPrivate) {
  kvtest::IsolatedEnv env;
  const std::string dir = RuntimeFolder();
  EXPECT_EQ(dir, env / "runtime/korvandel");
  struct stat st;
  ASSERT_EQ(stat(dir.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(RuntimeFolder(), "/tmp/korvandel-" + std::to_string(getuid()));
}
