// The program's start-up as separate processes: one copy at a time, the
// launcher switch, the launcher itself; and the launcher replacement.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <QProcess>

#include "client/uStartup.h"
#include "client/window/uproof.h"
#include "platform/Dialogs.h"
#include "platform/NamedMutex.h"
#include "platform/qt/Messages.h"
#include "platform/qt/WindowSearch.h"
#include "tests/client/ClientTestSupport.h"

namespace {

using namespace clienttest;

const QString Program = QString(KV_BIN_DIR) + "/KorvandelEx";

class Startup : public ::testing::Test {
protected:
  void SetUp() override { std::filesystem::create_directories(Env / "Lib"); }

  // Starts a copy with message boxes on standard error, in the test's folder.
  void Start(QProcess &P, const QStringList &Args, const QString &Exe = Program) {
    QProcessEnvironment E = QProcessEnvironment::systemEnvironment();
    E.insert("KORVANDEL_DIALOGS", "stderr");
    E.insert("QT_QPA_PLATFORM", "offscreen");
    // Nothing listens on port 1: the connectivity check fails at once.
    E.insert("KORVANDEL_SERVER", "127.0.0.1:1");
    P.setProcessEnvironment(E);
    P.setWorkingDirectory(QString::fromStdString(Env.Root()));
    P.start(Exe, Args);
    ASSERT_TRUE(P.waitForStarted(5000));
  }
  // Waits with the event loop running, so a beacon of the test can answer.
  bool Finish(QProcess &P, int TimeoutMs = 30000) {
    const bool Done = kv::WaitUntil([&] { return P.state() == QProcess::NotRunning; }, TimeoutMs);
    if (!Done) {
      P.kill();
      P.waitForFinished(2000);
    }
    Errors = P.readAllStandardError().toStdString();
    return Done && P.exitStatus() == QProcess::NormalExit;
  }
  // Whether the running copy has File open.
  static bool HasOpen(const QProcess &P, const std::string &File) {
    std::error_code Ec;
    for (const auto &E : std::filesystem::directory_iterator("/proc/" + std::to_string(P.processId()) + "/fd", Ec))
      if (std::filesystem::read_symlink(E.path(), Ec) == File)
        return true;
    return false;
  }
  bool Said(const std::string &Text) const { return Errors.find(Text) != std::string::npos; }

  // Plays a running copy's main window.
  void Listen() {
    Beacon = std::make_unique<kv::TWindowBeacon>(MainWindowClass, MainWindowTitle);
    Beacon->OnShow = [this] { ++Knocks; };
    ASSERT_TRUE(Beacon->Listen());
  }

  kvtest::IsolatedEnv Env;
  std::unique_ptr<kv::TWindowBeacon> Beacon;
  int Knocks = 0;
  std::string Errors;
};

TEST_F(Startup, SecondCopyAsksTheRunningOneAndEnds) {
  Listen();
  QProcess P;
  Start(P, {"QZBOOTSTRAPPED"});
  ASSERT_TRUE(Finish(P));
  EXPECT_EQ(P.exitCode(), 0);
  EXPECT_EQ(Knocks, 1);
  EXPECT_FALSE(Said("Unable to connect")) << Errors;  // no main window of its own
}

TEST_F(Startup, SecondCopyWithoutTheSwitchStillOnlyKnocks) {
  Listen();
  QProcess P;
  Start(P, {});
  ASSERT_TRUE(Finish(P));
  EXPECT_EQ(Knocks, 1);
  EXPECT_FALSE(Said("Please run Korvandel.exe")) << Errors;
}

TEST_F(Startup, WaitsForAHeldMutexThenFindsTheWindow) {
  Listen();
  kv::TNamedMutex Held(OneCopyMutexName);
  ASSERT_TRUE(Held.Wait(0));
  QProcess P;
  Start(P, {"QZBOOTSTRAPPED"});
  // From the moment the copy has the mutex open it waits there, and does
  // not knock while the mutex stays held.
  ASSERT_TRUE(kv::WaitUntil([&] { return HasOpen(P, kv::RuntimeFolder() + "/mutex-" + OneCopyMutexName + ".lock"); },
                            20000));
  kv::WaitUntil([] { return false; }, 1500);
  EXPECT_EQ(P.state(), QProcess::Running);
  EXPECT_EQ(Knocks, 0);
  Held.Release();
  ASSERT_TRUE(Finish(P));
  EXPECT_EQ(P.exitCode(), 0);
  EXPECT_EQ(Knocks, 1);
}

TEST_F(Startup, EndsSilentlyWhenTheMutexStaysHeld) {
  Listen();
  kv::TNamedMutex Held(OneCopyMutexName);
  ASSERT_TRUE(Held.Wait(0));
  QProcess P;
  QElapsedTimer Clock;
  Clock.start();
  Start(P, {"QZBOOTSTRAPPED"});
  ASSERT_TRUE(Finish(P, 30000));
  EXPECT_GE(Clock.elapsed(), 9500);
  EXPECT_EQ(P.exitCode(), 0);
  EXPECT_EQ(Knocks, 0);
  EXPECT_EQ(Errors.find("Korvandel(tm):"), std::string::npos) << Errors;
}

struct TSwitchCase {
  const char *Name;
  QStringList Args;
  bool Accepted;
};
void PrintTo(const TSwitchCase &C, std::ostream *Out) { *Out << C.Name; }
class LauncherSwitch : public Startup, public ::testing::WithParamInterface<TSwitchCase> {};

// A start without the switch is refused, and ends with a failure status.
TEST_P(LauncherSwitch, CountsInAnyPositionExactly) {
  QProcess P;
  Start(P, GetParam().Args);
  ASSERT_TRUE(Finish(P));
  EXPECT_EQ(P.exitCode() == 0, GetParam().Accepted);
  EXPECT_EQ(Said("Please run Korvandel.exe"), !GetParam().Accepted) << Errors;
  // An accepted start reaches the main window, whose check finds no server.
  EXPECT_EQ(Said("Unable to connect to the Korvandel server."), GetParam().Accepted) << Errors;
}

INSTANTIATE_TEST_SUITE_P(
    Startup, LauncherSwitch,
    ::testing::Values(TSwitchCase{"None", {}, false}, TSwitchCase{"LowerCase", {"qzbootstrapped"}, false},
                      TSwitchCase{"ExtraCharacters", {"QZBOOTSTRAPPEDX"}, false},
                      TSwitchCase{"Only", {"QZBOOTSTRAPPED"}, true},
                      TSwitchCase{"Middle", {"a", "QZBOOTSTRAPPED", "b"}, true},
                      TSwitchCase{"Last", {"QZDEBUG", "QZBOOTSTRAPPED"}, true}),
    [](const auto &Info) { return std::string(Info.param.Name); });

// The launcher becomes the client (same process), in the program folder, with
// the user's arguments first. The test holds the one-copy mutex meanwhile, so
// the client waits where it can be looked at.
TEST_F(Startup, LauncherStartsTheClientFromItsFolder) {
  std::filesystem::create_directories(Env / "c/temp");  // where the log goes
  kv::TNamedMutex Held(OneCopyMutexName);
  ASSERT_TRUE(Held.Wait(0));
  QProcess P;
  Start(P, {"QZMSGDEBUG"}, QString(KV_BIN_DIR) + "/Korvandel");
  const std::string Proc = "/proc/" + std::to_string(P.processId());
  const std::string Client = std::filesystem::canonical(std::string(KV_BIN_DIR) + "/KorvandelEx").string();
  std::error_code Ec;
  ASSERT_TRUE(kv::WaitUntil([&] { return std::filesystem::read_symlink(Proc + "/exe", Ec).string() == Client; },
                            20000))
      << "the launcher did not become the client";
  EXPECT_EQ(std::filesystem::read_symlink(Proc + "/cwd", Ec), std::filesystem::canonical(KV_BIN_DIR));
  // The new image is in place before exec has laid out its arguments: until
  // then the command line reads empty, so wait for the arguments themselves.
  const std::string Expected("QZMSGDEBUG\0QZBOOTSTRAPPED\0", 26);
  std::string Arguments;
  const bool Laid = kv::WaitUntil(
      [&] {
        const std::string Line = kvtest::ReadFile(Proc + "/cmdline");
        const size_t Program = Line.find('\0');
        Arguments = Program == std::string::npos ? "" : Line.substr(Program + 1);
        return Arguments == Expected;
      },
      20000);
  EXPECT_TRUE(Laid);
  EXPECT_EQ(Arguments, Expected);
  Held.Release();
  ASSERT_TRUE(Finish(P));
  EXPECT_EQ(P.exitCode(), 0);
  EXPECT_FALSE(Said("Please run Korvandel.exe")) << Errors;
  EXPECT_TRUE(Said("Unable to connect to the Korvandel server.")) << Errors;
  // The debug switch stayed the first argument: message-debug mode logged
  // the status of the check.
  EXPECT_NE(kvtest::ReadFile(Env / "c/temp/log.txt").find(" - Checking Connection"), std::string::npos);
}

// Someone else's thing where the runtime folder should be: the client says
// why on standard error and ends, without an abort.
struct TRuntimeCase {
  const char *Name;
  std::function<bool(const std::string &Folder)> Make;  // false: cannot be made here
};
class RuntimeFolder : public Startup, public ::testing::WithParamInterface<TRuntimeCase> {};

TEST_P(RuntimeFolder, NotPrivateEndsCleanlyWithTheReason) {
  const std::string Folder = Env / "runtime/korvandel";
  if (!GetParam().Make(Folder))
    GTEST_SKIP() << "cannot make it as this user";
  QProcess P;
  Start(P, {"QZBOOTSTRAPPED"});
  ASSERT_TRUE(Finish(P)) << "the client did not end normally: " << Errors;
  EXPECT_NE(P.exitCode(), 0);
  EXPECT_TRUE(Said("The runtime folder " + Folder + " is not a private folder of this user")) << Errors;
  EXPECT_FALSE(Said("Unable to connect")) << Errors;  // it went no further
}

INSTANTIATE_TEST_SUITE_P(
    Startup, RuntimeFolder,
    ::testing::Values(TRuntimeCase{"AFile",
                                   [](const std::string &F) {
                                     kvtest::WriteFile(F, "");
                                     return true;
                                   }},
                      TRuntimeCase{"ALinkToAFolder",
                                   [](const std::string &F) {
                                     std::filesystem::create_directories(F + "-elsewhere");
                                     std::filesystem::create_directory_symlink(F + "-elsewhere", F);
                                     return true;
                                   }},
                      TRuntimeCase{"AnotherUsersFolder",
                                   [](const std::string &F) {
                                     std::filesystem::create_directories(F);
                                     return ::chown(F.c_str(), 65534, 65534) == 0 && ::getuid() != 65534;
                                   }}),
    [](const auto &Info) { return std::string(Info.param.Name); });

// A start that cannot go on says why and ends with a failure status, so
// whoever started the client learns of it; it goes no further, and a damaged
// registry file is left as it is.
struct TFailedStartCase {
  const char *Name;
  std::string Registry;   // the registry file beforehand; empty: none
  bool WithoutCatalogue;  // the program alone in a folder of its own
  std::string Says;
};
void PrintTo(const TFailedStartCase &C, std::ostream *Out) { *Out << C.Name; }
class FailedStart : public Startup, public ::testing::WithParamInterface<TFailedStartCase> {};

TEST_P(FailedStart, EndsWithAFailureStatus) {
  const TFailedStartCase &C = GetParam();
  const std::string Registry = std::getenv("KORVANDEL_REGISTRY");
  if (!C.Registry.empty()) {
    std::filesystem::create_directories(std::filesystem::path(Registry).parent_path());
    kvtest::WriteFile(Registry, C.Registry);
  }
  QString Exe = Program;
  if (C.WithoutCatalogue) {
    // Linked, not copied: the program folder is the folder it was started from.
    const std::string Alone = Env / "alone/KorvandelEx";
    std::filesystem::create_directories(Env / "alone");
    std::error_code Ec;
    std::filesystem::create_hard_link(Program.toStdString(), Alone, Ec);
    if (Ec)
      std::filesystem::copy_file(Program.toStdString(), Alone);
    Exe = QString::fromStdString(Alone);
  }
  QProcess P;
  Start(P, {"QZBOOTSTRAPPED"}, Exe);
  ASSERT_TRUE(Finish(P)) << "the client did not end normally: " << Errors;
  EXPECT_NE(P.exitCode(), 0);
  EXPECT_TRUE(Said(C.Says)) << Errors;
  EXPECT_FALSE(Said("Unable to connect")) << Errors;
  if (!C.Registry.empty()) {
    EXPECT_EQ(kvtest::ReadFile(Registry), C.Registry);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Startup, FailedStart,
    ::testing::Values(TFailedStartCase{"DamagedRegistry", "a value before any key\n", false,
                                       " is damaged at line 1: a value before the first key."},
                      TFailedStartCase{"NoCatalogue", "", true, "Unable to load PRIMARY.DLL please Re-Install"}),
    [](const auto &Info) { return std::string(Info.param.Name); });

int Mode(const std::string &Path) {
  struct stat St {};
  return ::stat(Path.c_str(), &St) == 0 ? static_cast<int>(St.st_mode & 07777) : -1;
}

TEST(LauncherReplacement, TakesTheDownloadKeepingTheModeBits) {
  kvtest::IsolatedEnv Env;
  const std::string Dir = Env.Root() + "/";
  kvtest::WriteFile(Dir + "Korvandel", "old launcher");
  ::chmod((Dir + "Korvandel").c_str(), 0750);
  std::filesystem::create_directories(Dir + "DownLoad");
  kvtest::WriteFile(Dir + "DownLoad/Korvandel", "new launcher");
  ::chmod((Dir + "DownLoad/Korvandel").c_str(), 0644);
  EXPECT_TRUE(ReplaceLauncher(Dir));
  EXPECT_EQ(kvtest::ReadFile(Dir + "Korvandel"), "new launcher");
  EXPECT_EQ(Mode(Dir + "Korvandel"), 0750);
  EXPECT_FALSE(kvtest::FileExists(Dir + "DownLoad/Korvandel"));
  // Nothing temporary is left beside it.
  int Entries = 0;
  for (const auto &E : std::filesystem::directory_iterator(Env.Root()))
    Entries += E.path().filename().string().rfind("Korvandel", 0) == 0;
  EXPECT_EQ(Entries, 1);
}

TEST(LauncherReplacement, NewLauncherIsExecutableAndNoDownloadChangesNothing) {
  kvtest::IsolatedEnv Env;
  const std::string Dir = Env.Root() + "/";
  EXPECT_FALSE(ReplaceLauncher(Dir));
  EXPECT_FALSE(kvtest::FileExists(Dir + "Korvandel"));
  std::filesystem::create_directories(Dir + "Download");
  kvtest::WriteFile(Dir + "Download/Korvandel", "first");
  EXPECT_TRUE(ReplaceLauncher(Dir));
  EXPECT_EQ(Mode(Dir + "Korvandel"), 0755);
}

// A launcher marked read-only (no write bit for its owner, the read-only
// attribute as the file search reports it) stays, and so does the download,
// for the next start to try again. Tests run as root, whom the bits do not
// stop: the check is the client's own.
struct TLauncherModeCase {
  const char *Name;
  int Mode;
  bool Replaced;
};
class LauncherMode : public ::testing::TestWithParam<TLauncherModeCase> {};

TEST_P(LauncherMode, ReadOnlyKeepsTheDownload) {
  kvtest::IsolatedEnv Env;
  const std::string Dir = Env.Root() + "/";
  kvtest::WriteFile(Dir + "Korvandel", "old launcher");
  ::chmod((Dir + "Korvandel").c_str(), static_cast<mode_t>(GetParam().Mode));
  std::filesystem::create_directories(Dir + "Download");
  kvtest::WriteFile(Dir + "Download/Korvandel", "new launcher");
  EXPECT_EQ(ReplaceLauncher(Dir), GetParam().Replaced);
  EXPECT_EQ(kvtest::ReadFile(Dir + "Korvandel"), GetParam().Replaced ? "new launcher" : "old launcher");
  EXPECT_EQ(kvtest::FileExists(Dir + "Download/Korvandel"), !GetParam().Replaced);
  EXPECT_EQ(Mode(Dir + "Korvandel"), GetParam().Mode);
}

INSTANTIATE_TEST_SUITE_P(LauncherReplacement, LauncherMode,
                         ::testing::Values(TLauncherModeCase{"ReadOnly", 0555, false},
                                           TLauncherModeCase{"NoBitsAtAll", 0, false},
                                           TLauncherModeCase{"OthersMayWriteButNotTheOwner", 0577, false},
                                           TLauncherModeCase{"OwnerMayWrite", 0755, true},
                                           TLauncherModeCase{"OnlyTheOwnerMayWrite", 0700, true}),
                         [](const auto &Info) { return std::string(Info.param.Name); });

TEST(LauncherReplacement, AFailedWriteKeepsBothFiles) {
  kvtest::IsolatedEnv Env;
  const std::string Dir = Env.Root() + "/";
  // The launcher's place is taken by a folder: the rename cannot happen.
  std::filesystem::create_directories(Dir + "Korvandel/x");
  std::filesystem::create_directories(Dir + "Download");
  kvtest::WriteFile(Dir + "Download/Korvandel", "new");
  EXPECT_FALSE(ReplaceLauncher(Dir));
  EXPECT_EQ(kvtest::ReadFile(Dir + "Download/Korvandel"), "new");
  EXPECT_TRUE(std::filesystem::is_directory(Dir + "Korvandel"));
}

}  // namespace

namespace {

// A text from a server reply is shown as it is: markup in it is not read.
TEST(MessageBoxes, ShowTheirTextAsPlainText) {
  BindMessageBoxes();
  if (kv::ScriptedDialogs())
    GTEST_SKIP() << "message boxes go to standard error here";
  Qt::TextFormat Format = Qt::AutoText;
  QString Shown;
  QTimer::singleShot(50, [&] {
    for (QWidget *W : QApplication::topLevelWidgets())
      if (auto *Box = qobject_cast<QMessageBox *>(W)) {
        Format = Box->textFormat();
        Shown = Box->text();
        Box->accept();
      }
  });
  kv::MessageBox("<b>Error</b><img src=\"x\">\r\nline", "Korvandel", kv::MB_OK | kv::MB_ICONERROR);
  kv::SetMessageBoxHook({});
  EXPECT_EQ(Format, Qt::PlainText);
  EXPECT_EQ(Shown, "<b>Error</b><img src=\"x\">\nline");
}

}  // namespace
