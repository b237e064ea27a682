// Opening pages: which addresses may leave the program and how each link
// type hands them on, the browser's command line from HKEY_CLASSES_ROOT, the
// Help menu, and once each for real through a stand-in xdg-open and browser.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "client/uAutomation.h"
#include "client/window/uBrowser.h"
#include "platform/automation/Automation.h"
#include "common/Common.h"
#include "platform/Registry.h"
#include "platform/gui/Shell.h"
#include "platform/qt/Messages.h"
#include "tests/support/Poll.h"
#include "tests/support/TestEnv.h"

namespace {

namespace fs = std::filesystem;

// A default value below HKEY_CLASSES_ROOT; "#" followed by digits seeds a
// number instead of text.
void SeedClass(const std::string &Key, const std::string &Value) {
  kv::TRegistry Reg;
  Reg.SetRootKey(kv::HKEY_CLASSES_ROOT);
  ASSERT_TRUE(Reg.OpenKey("\\" + Key, true));
  if (!Value.empty() && Value[0] == '#')
    Reg.WriteInteger("", std::stoi(Value.substr(1)));
  else
    Reg.WriteString("", Value);
}

void RegisterBrowser(const std::string &Command) {
  SeedClass(".htm", "htmlfile");
  SeedClass("htmlfile\\shell\\open\\command", Command);
}

std::string Replace(std::string Text, const std::string &From, const std::string &To) {
  for (size_t At = Text.find(From); At != std::string::npos; At = Text.find(From, At + To.size()))
    Text.replace(At, From.size(), To);
  return Text;
}

// ---- the command line's placeholders

struct TStripCase {
  const char *Name, *Command, *Stripped;
};

const TStripCase StripCases[] = {
    {"PlaceholderAtTheEnd", "C:\\B\\B.EXE %1", "C:\\B\\B.EXE "},
    {"SinglePercentAtTheEndStays", "C:\\B\\B.EXE %", "C:\\B\\B.EXE %"},
    {"QuotesStay", "C:\\Browser\\NETSCAPE.EXE -h \"%1\"", "C:\\Browser\\NETSCAPE.EXE -h \"\""},
    {"LongNamePlaceholder", "B.EXE %L -x", "B.EXE  -x"},
    {"PercentTakesThePercentAfterIt", "a%%b", "ab"},
    {"PlaceholderThenLonePercent", "a %1%", "a %"},
    {"OnlyAPercent", "%", "%"},
    {"Empty", "", ""},
    {"NothingToStrip", "\"C:\\Program Files\\IE\\IEXPLORE.EXE\" -nohome",
     "\"C:\\Program Files\\IE\\IEXPLORE.EXE\" -nohome"},
};

class StripArgs : public ::testing::TestWithParam<TStripCase> {};

TEST_P(StripArgs, RemovesPlaceholders) {
  EXPECT_EQ(StripCommandArgs(GetParam().Command), GetParam().Stripped);
}

INSTANTIATE_TEST_SUITE_P(Table, StripArgs, ::testing::ValuesIn(StripCases),
                         [](const auto &Info) { return std::string(Info.param.Name); });

// ---- the browser's registration

struct TLookupCase {
  const char *Name;
  std::vector<std::pair<const char *, const char *>> Keys;
  const char *Command;
};

const TLookupCase LookupCases[] = {
    {"ClassCommand", {{".htm", "htmlfile"}, {"htmlfile\\shell\\open\\command", "C:\\IE\\IEXPLORE.EXE %1"}},
     "C:\\IE\\IEXPLORE.EXE "},
    {"EmptyClassCommandFallsToTheTypesOwnKey",
     {{".htm", "htmlfile"}, {"htmlfile\\shell\\open\\command", ""}, {".htm\\shell\\open\\command", "C:\\B\\B.EXE \"%1\""}},
     "C:\\B\\B.EXE \"\""},
    {"EmptyEverywhereFallsToTheNextType",
     {{".htm", "htmlfile"},
      {"htmlfile\\shell\\open\\command", ""},
      {".html", "NSHTML"},
      {"NSHTML\\shell\\open\\command", "C:\\Browser\\NETSCAPE.EXE -h \"%1\""}},
     "C:\\Browser\\NETSCAPE.EXE -h \"\""},
    {"NoClassNameUsesTheTypesOwnKey", {{".htm\\shell\\open\\command", "C:\\B\\B.EXE %1"}}, "C:\\B\\B.EXE "},
    {"ClassWithoutKey", {{".htm", "gone"}, {".htm\\shell\\open\\command", "C:\\B\\B.EXE"}}, "C:\\B\\B.EXE"},
    {"ClassNameNotText", {{".htm", "#7"}, {".htm\\shell\\open\\command", "C:\\B\\B.EXE"}}, "C:\\B\\B.EXE"},
    {"CommandNotTextTriesTheNextType",
     {{".htm", "htmlfile"}, {"htmlfile\\shell\\open\\command", "#1"}, {".shtm\\shell\\open\\command", "C:\\S.EXE"}},
     "C:\\S.EXE"},
    {"FirstTypeWins", {{".shtml\\shell\\open\\command", "C:\\S.EXE"}, {".htm\\shell\\open\\command", "C:\\H.EXE"}},
     "C:\\H.EXE"},
    {"LastTypeAlone", {{".shtm", "shtmfile"}, {"shtmfile\\shell\\open\\command", "C:\\S.EXE %1"}}, "C:\\S.EXE "},
    {"OtherTypesDoNotCount", {{".txt\\shell\\open\\command", "C:\\T.EXE"}}, ""},
    {"NothingRegistered", {}, ""},
};

class BrowserLookup : public ::testing::TestWithParam<TLookupCase> {
protected:
  kvtest::IsolatedEnv Env;
};

TEST_P(BrowserLookup, FindsTheCommand) {
  for (const auto &[Key, Value] : GetParam().Keys)
    SeedClass(Key, Value);
  EXPECT_EQ(GetBrowserCommand(), GetParam().Command);
}

INSTANTIATE_TEST_SUITE_P(Table, BrowserLookup, ::testing::ValuesIn(LookupCases),
                         [](const auto &Info) { return std::string(Info.param.Name); });

TEST(BrowserLookupLimits, LongCommandReadWhole) {
  kvtest::IsolatedEnv Env;
  std::string Command = "C:\\Browser\\B.EXE -profile ";
  Command += std::string(5000 - Command.size() - 3, 'p') + " %1";
  ASSERT_EQ(Command.size(), 5000u);
  RegisterBrowser(Command);
  EXPECT_EQ(GetBrowserCommand(), Command.substr(0, 4998));
}

TEST(BrowserLookupLimits, LookupWritesNothing) {
  kvtest::IsolatedEnv Env;
  SeedClass(".txt", "txtfile");
  const std::string Before = kvtest::ReadFile(kv::RegistryFileName());
  EXPECT_EQ(GetBrowserCommand(), "");
  EXPECT_EQ(kvtest::ReadFile(kv::RegistryFileName()), Before);
  kv::TRegistry Reg;
  Reg.SetRootKey(kv::HKEY_CLASSES_ROOT);
  EXPECT_FALSE(Reg.KeyExists("\\.htm"));
}

struct TBaseCase {
  const char *Name, *Command, *Base;
};

const TBaseCase BaseCases[] = {
    {"Netscape", "C:\\Browser\\NETSCAPE.EXE -h \"\"", "NETSCAPE"},
    {"QuotedPath", "\"C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE\" -nohome", "IEXPLORE"},
    {"DotInAnArgument", "C:\\B\\opera -url x.html", "opera -url x"},
    {"NoFolder", "firefox ", "firefox"},
    {"Empty", "", ""},
};

class BaseName : public ::testing::TestWithParam<TBaseCase> {};

TEST_P(BaseName, CutBeforeTheFirstDot) { EXPECT_EQ(BrowserBaseName(GetParam().Command), GetParam().Base); }

INSTANTIATE_TEST_SUITE_P(Table, BaseName, ::testing::ValuesIn(BaseCases),
                         [](const auto &Info) { return std::string(Info.param.Name); });

// ---- opening, through recording hooks

struct TStart {
  std::string Program;
  std::vector<std::string> Arguments;
  std::string WorkingDir;
};

struct TRecord {
  std::vector<std::string> Shell;
  std::vector<TStart> Started;
  std::vector<std::string> ProgIDs;
  std::vector<std::string> Calls;  // the automation object's
};

class TRecordingBrowser : public IWebBrowserApp {
public:
  explicit TRecordingBrowser(TRecord &R) : FRecord(R) {}
  void SetVisible(bool Visible) override { FRecord.Calls.push_back(Visible ? "Visible=true" : "Visible=false"); }
  void Navigate(const std::string &URL) override { FRecord.Calls.push_back("Navigate " + URL); }

private:
  TRecord &FRecord;
};

class Opening : public ::testing::Test {
protected:
  void SetUp() override {
    kv::SetShellOpenHook([this](const std::string &T) { R.Shell.push_back(T); });
    kv::SetStartProgramHook(
        [this](const std::string &P, const std::vector<std::string> &A, const std::string &D) {
          R.Started.push_back({P, A, D});
          return true;
        });
    SetBrowserObjectFactory([this](const std::string &ProgID) -> std::unique_ptr<IWebBrowserApp> {
      R.ProgIDs.push_back(ProgID);
      return std::make_unique<TRecordingBrowser>(R);
    });
    Prog = Env / "prog";
    fs::create_directories(Prog + "/help");
    fs::create_directories(Prog + "/dir.html");
    kvtest::WriteFile(Prog + "/Korvandel.html", "<html></html>");
    kvtest::WriteFile(Prog + "/help/Page.HTM", "<html></html>");
    kvtest::WriteFile(Prog + "/notes.txt", "notes");
    kvtest::WriteFile(Env / "out/evil.html", "<html></html>");
    fs::create_symlink(Env / "out/evil.html", Prog + "/link.html");
    RealProg = fs::canonical(Prog).string();
    // As the main window holds it.
    ProgramDir = Prog + "\\";
  }
  void TearDown() override {
    kv::SetShellOpenHook(nullptr);
    kv::SetStartProgramHook(nullptr);
    SetBrowserObjectFactory({});
  }
  std::string Expand(const std::string &T) const {
    return Replace(Replace(Replace(T, "{prog}", Prog), "{real}", RealProg), "{out}", Env / "out");
  }
  bool NothingOpened() const {
    return R.Shell.empty() && R.Started.empty() && R.ProgIDs.empty() && R.Calls.empty();
  }
  kvtest::IsolatedEnv Env;
  TRecord R;
  std::string Prog, RealProg, ProgramDir;
};

struct TRuleCase {
  const char *Name;
  const char *Address;
  const char *Target;  // what is handed on; nullptr: refused
};

const TRuleCase RuleCases[] = {
    {"Http", "http://shop.test/p?id=1&q=a b", "http://shop.test/p?id=1&q=a b"},
    {"Https", "https://shop.test/", "https://shop.test/"},
    {"Mailto", "mailto:sales@shop.test", "mailto:sales@shop.test"},
    {"SchemeInAnyCase", "HTTP://SHOP.TEST/", "HTTP://SHOP.TEST/"},
    {"QuickHelpPage", "{prog}\\Korvandel.html", "{real}/Korvandel.html"},
    {"PageInASubfolder", "{prog}/help/Page.HTM", "{real}/help/Page.HTM"},
    {"Ftp", "ftp://shop.test/a", nullptr},
    {"FileAddress", "file:///etc/passwd", nullptr},
    {"Script", "javascript:alert(1)", nullptr},
    {"Option", "-h", nullptr},
    {"OptionBeforeAnAddress", "--new-window http://shop.test/", nullptr},
    {"LineBreak", "http://shop.test/\nrm -rf x", nullptr},
    {"DeleteByte", "http://shop.test/\x7f", nullptr},
    {"TabInAMailAddress", "mailto:a@b\tc", nullptr},
    {"SchemeAlone", "mailto:", nullptr},
    {"Empty", "", nullptr},
    {"LocalProgram", "/bin/sh", nullptr},
    {"WindowsProgram", "C:\\Windows\\calc.exe", nullptr},
    {"PageOutsideTheFolder", "{out}/evil.html", nullptr},
    {"DotDotOutOfTheFolder", "{prog}/../out/evil.html", nullptr},
    {"LinkOutOfTheFolder", "{prog}/link.html", nullptr},
    {"NotAPage", "{prog}/notes.txt", nullptr},
    {"MissingPage", "{prog}/missing.html", nullptr},
    {"FolderNamedLikeAPage", "{prog}/dir.html", nullptr},
};

class OpenRules : public Opening, public ::testing::WithParamInterface<TRuleCase> {};

// Every link type hands on the same target, or nothing.
TEST_P(OpenRules, SameTargetForEveryLinkType) {
  const TRuleCase &C = GetParam();
  const std::string Address = Expand(C.Address);
  const std::string Target = C.Target ? Expand(C.Target) : "";
  EXPECT_EQ(OpenTarget(Address, ProgramDir), Target);

  RegisterBrowser("C:\\Browser\\NETSCAPE.EXE -h \"%1\"");
  OpenURL(Address, browDefault, ProgramDir);
  EXPECT_EQ(R.Shell, C.Target ? std::vector<std::string>{Target} : std::vector<std::string>{});
  OpenURL(Address, browDirect, ProgramDir);
  ASSERT_EQ(R.Started.size(), C.Target ? 1u : 0u);
  if (C.Target) {
    EXPECT_EQ(R.Started[0].Arguments, std::vector<std::string>{Target});
  }

  RegisterBrowser("C:\\IE\\IEXPLORE.EXE %1");
  OpenURL(Address, browOle, ProgramDir);
  EXPECT_EQ(R.Calls, C.Target ? (std::vector<std::string>{"Visible=true", "Navigate " + Target})
                              : std::vector<std::string>{});
  EXPECT_EQ(R.Shell.size(), C.Target ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Table, OpenRules, ::testing::ValuesIn(RuleCases),
                         [](const auto &Info) { return std::string(Info.param.Name); });

struct TDirectCase {
  const char *Name;
  const char *Command;
  const char *File;  // below the drive C folder; "" for none
  const char *Program, *WorkingDir;  // nullptr: nothing starts
};

const TDirectCase DirectCases[] = {
    {"NetscapeInItsFolder", "C:\\Browser\\NETSCAPE.EXE -h \"%1\"", "Browser/netscape", "{c}/Browser/netscape",
     "{c}/Browser"},
    {"ExeWhenNoBareName", "C:\\Browser\\NETSCAPE.EXE -h \"%1\"", "Browser/NETSCAPE.EXE",
     "{c}/Browser/NETSCAPE.EXE", "{c}/Browser"},
    {"MissingProgramStillAsked", "C:\\Browser\\NETSCAPE.EXE -h \"%1\"", "", "{c}/Browser/NETSCAPE",
     "{c}/Browser"},
    {"QuotedPathWithBlanks", "\"C:\\Program Files\\Web Browser\\WEB.EXE\" -nohome",
     "Program Files/Web Browser/web", "{c}/Program Files/Web Browser/web", "{c}/Program Files/Web Browser"},
    {"NoFolderFromThePath", "firefox %1", "", "firefox", ""},
    {"NoBrowser", "", "", nullptr, nullptr},
};

class DirectBrowser : public Opening, public ::testing::WithParamInterface<TDirectCase> {};

TEST_P(DirectBrowser, StartsTheProgramWithTheAddressAsOneArgument) {
  const TDirectCase &C = GetParam();
  const std::string Drive = getenv("KORVANDEL_DRIVE_C");
  if (*C.File)
    kvtest::WriteFile(Drive + "/" + C.File, "#!/bin/sh\n");
  if (*C.Command)
    RegisterBrowser(C.Command);
  const std::string Address = "http://shop.test/a b?q=\"x\";ls";
  OpenURL(Address, browDirect, ProgramDir);
  EXPECT_TRUE(R.Shell.empty());
  if (!C.Program) {
    EXPECT_TRUE(R.Started.empty());
    return;
  }
  ASSERT_EQ(R.Started.size(), 1u);
  EXPECT_EQ(R.Started[0].Program, Replace(C.Program, "{c}", Drive));
  EXPECT_EQ(R.Started[0].Arguments, std::vector<std::string>{Address});
  EXPECT_EQ(R.Started[0].WorkingDir, Replace(C.WorkingDir, "{c}", Drive));
}

INSTANTIATE_TEST_SUITE_P(Table, DirectBrowser, ::testing::ValuesIn(DirectCases),
                         [](const auto &Info) { return std::string(Info.param.Name); });

struct TOleCase {
  const char *Name;
  const char *Command;
  bool Automated;
};

const TOleCase OleCases[] = {
    {"InternetExplorer", "\"C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE\" -nohome", true},
    {"InternetExplorerAnyCase", "C:\\IE\\iexplore.exe %1", true},
    {"NetscapeTalksDdeWhichNeverLinks", "C:\\Browser\\NETSCAPE.EXE -h \"%1\"", false},
    {"OtherBrowser", "C:\\Opera\\OPERA.EXE %1", false},
    {"NoBrowser", "", false},
};

class OleBrowser : public Opening, public ::testing::WithParamInterface<TOleCase> {};

TEST_P(OleBrowser, OnlyInternetExplorerIsAutomated) {
  const TOleCase &C = GetParam();
  if (*C.Command)
    RegisterBrowser(C.Command);
  OpenURL("http://shop.test/", browOle, ProgramDir);
  EXPECT_TRUE(R.Shell.empty());
  EXPECT_TRUE(R.Started.empty());
  if (C.Automated) {
    EXPECT_EQ(R.ProgIDs, std::vector<std::string>{"InternetExplorer.Application"});
    EXPECT_EQ(R.Calls, (std::vector<std::string>{"Visible=true", "Navigate http://shop.test/"}));
  } else {
    EXPECT_TRUE(R.ProgIDs.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Table, OleBrowser, ::testing::ValuesIn(OleCases),
                         [](const auto &Info) { return std::string(Info.param.Name); });

TEST_F(Opening, NoAutomationClassIsRegistered) {
  SetBrowserObjectFactory({});
  try {
    CreateBrowserObject("InternetExplorer.Application");
    FAIL() << "created";
  } catch (const EOleSysError &E) {
    EXPECT_STREQ(E.what(), "Invalid class string");
  }
  RegisterBrowser("C:\\IE\\IEXPLORE.EXE %1");
  EXPECT_NO_THROW(OpenURL("http://shop.test/", browOle, ProgramDir));
  EXPECT_TRUE(NothingOpened());
}

// Without a test factory the browser object comes from the automation layer:
// a class registered there is driven by name.
TEST_F(Opening, BrowserObjectThroughTheAutomationLayer) {
  SetBrowserObjectFactory({});
  std::vector<std::string> Calls;
  auto Table = std::make_shared<kv::TDispatchTable>();
  Table->Add("Visible", {kv::TVarType::Boolean}, [&](const kv::TOleArgs &A) {
    Calls.push_back(std::string("Visible=") + (A[0].AsBoolean() ? "true" : "false"));
    return kv::TOleVariant();
  });
  Table->Add("Navigate", {kv::TVarType::String}, [&](const kv::TOleArgs &A) {
    Calls.push_back("Navigate " + A[0].AsString());
    return kv::TOleVariant();
  });
  struct TBrowser : kv::IDispatch {
    std::shared_ptr<kv::TDispatchTable> Members;
    kv::TOleVariant Invoke(const std::string &Name, const kv::TOleArgs &Args, const kv::TNamedArgs &Named) override {
      return Members->Invoke(Name, Args, Named);
    }
  };
  kv::RegisterInProcessClass("InternetExplorer.Application", [Table] {
    auto B = std::make_shared<TBrowser>();
    B->Members = Table;
    return B;
  });
  RegisterBrowser("C:\\IE\\IEXPLORE.EXE %1");
  OpenURL("http://shop.test/", browOle, ProgramDir);
  kv::RegisterInProcessClass("InternetExplorer.Application", {});
  EXPECT_EQ(Calls, (std::vector<std::string>{"Visible=true", "Navigate http://shop.test/"}));
  EXPECT_TRUE(NothingOpened());
}

TEST_F(Opening, OtherLinkTypesOpenNothing) {
  RegisterBrowser("C:\\IE\\IEXPLORE.EXE %1");
  for (int LinkType : {3, 255, -1})
    OpenURL("http://shop.test/", LinkType, ProgramDir);
  EXPECT_TRUE(NothingOpened());
}

TEST_F(Opening, CursorComesBack) {
  OpenURL("http://shop.test/", browDefault, ProgramDir);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// ---- the Help menu

const char *const OnlineHelp = "http://help.test/manual.asp";
const char *const Faq = "http://help.test/faq.asp";
const char *const Contact = "http://help.test/contact.asp";

void CatalogueHelpItems(kv::primary::TAddHelpMenuItemProc Add) {
  Add("&Online Help", OnlineHelp, "F1", 0);
  Add("&FAQ", Faq, "", 1);
  Add("&Contact", Contact, "Nonsense", 5);
}

class HelpMenu : public ::testing::Test {
protected:
  void SetUp() override {
    QuickHelp = Menu.addAction("&Quick Help");
    Menu.addSeparator();
    Menu.addAction("&Support...");
    Menu.addAction("&About...");
    Folder = Env / "prog";
    fs::create_directories(Folder);
  }
  std::unique_ptr<THelpMenu> Make() {
    return std::make_unique<THelpMenu>(
        &Menu, QuickHelp, [this](const std::string &URL) { Opened.push_back(URL); }, Folder + "\\");
  }
  QAction *Item(const char *Text) {
    for (QAction *A : Menu.actions())
      if (A->text() == Text)
        return A;
    return nullptr;
  }
  kvtest::IsolatedEnv Env;
  QMenu Menu;
  QAction *QuickHelp = nullptr;
  std::string Folder;
  std::vector<std::string> Opened;
};

TEST_F(HelpMenu, CatalogueItemsBelowQuickHelpAtTheirOffsets) {
  auto Help = Make();
  Help->LoadItems(CatalogueHelpItems);
  std::vector<std::string> Texts;
  for (QAction *A : Menu.actions())
    Texts.push_back(A->isSeparator() ? "-" : A->text().toStdString());
  EXPECT_EQ(Texts, (std::vector<std::string>{"&Quick Help", "&Online Help", "&FAQ", "-", "&Support...",
                                             "&About...", "&Contact"}));
  EXPECT_EQ(Item("&Online Help")->shortcut(), QKeySequence(Qt::Key_F1));
  EXPECT_TRUE(Item("&FAQ")->shortcut().isEmpty());
  EXPECT_TRUE(Item("&Contact")->shortcut().isEmpty());
  ASSERT_EQ(Help->HelpAddresses.Count(), 3);
  EXPECT_EQ(Help->HelpAddresses[1], Faq);
  EXPECT_EQ(Help->HelpAddresses.GetObject(1), Item("&FAQ"));
}

TEST_F(HelpMenu, ItemsOpenTheirAddresses) {
  auto Help = Make();
  Help->LoadItems(CatalogueHelpItems);
  Item("&FAQ")->trigger();
  Item("&Online Help")->trigger();
  EXPECT_EQ(Opened, (std::vector<std::string>{Faq, OnlineHelp}));
}

struct TQuickHelpCase {
  const char *Name;
  std::vector<const char *> Files;
  bool Opens;
};

const TQuickHelpCase QuickHelpCases[] = {
    {"HtmlPage", {"Korvandel.html"}, true},
    {"HtmlPageAnyCase", {"KORVANDEL.HTML"}, true},
    {"HelpFileHasNoViewerHere", {"Korvandel.hlp", "Korvandel.html"}, true},
    {"OnlyTheHelpFile", {"Korvandel.hlp"}, false},
    {"Nothing", {}, false},
};

class QuickHelpPage : public HelpMenu, public ::testing::WithParamInterface<TQuickHelpCase> {};

TEST_P(QuickHelpPage, OpensTheHtmlPageBesideTheProgram) {
  for (const char *F : GetParam().Files)
    kvtest::WriteFile(Folder + "/" + F, "help");
  auto Help = Make();
  QuickHelp->trigger();
  EXPECT_EQ(Opened, GetParam().Opens ? std::vector<std::string>{Folder + "\\Korvandel.html"}
                                     : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Table, QuickHelpPage, ::testing::ValuesIn(QuickHelpCases),
                         [](const auto &Info) { return std::string(Info.param.Name); });

// ---- for real: a stand-in xdg-open and a stand-in browser on disk

// Waits (pumping) for a file the started program writes last.
std::string AwaitFile(const std::string &Path) {
  kv::WaitUntil([&] { return kvtest::FileExists(Path); }, kvtest::WaitLimitMs);
  return kvtest::ReadFile(Path);
}

// A script that writes its argument count, arguments and folder to Record.
void WriteRecorder(const std::string &Script, const std::string &Record) {
  kvtest::WriteFile(Script, "#!/bin/sh\n{ echo \"$#\"; for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done; pwd; } > '" +
                                Record + ".part'\nmv '" + Record + ".part' '" + Record + "'\n");
  fs::permissions(Script, fs::perms::owner_all);
}

class RealPrograms : public ::testing::Test {
protected:
  void SetUp() override {
    OldPath = getenv("PATH") ? getenv("PATH") : "";
    setenv("PATH", ((Env / "bin") + ":" + OldPath).c_str(), 1);
  }
  void TearDown() override { setenv("PATH", OldPath.c_str(), 1); }
  kvtest::IsolatedEnv Env;
  std::string OldPath;
};

TEST_F(RealPrograms, XdgOpenGetsTheAddressAsItsOneArgument) {
  WriteRecorder(Env / "bin/xdg-open", Env / "opened");
  const std::string Address = "http://shop.test/a b;touch pwned?q=\"x\"&y=$HOME";
  OpenURL(Address, browDefault, Env / "prog\\");
  EXPECT_EQ(AwaitFile(Env / "opened"), "1\n[" + Address + "]\n" + fs::canonical(Env / "cwd").string() + "\n");
  EXPECT_FALSE(kvtest::FileExists(Env / "cwd/pwned"));
}

TEST_F(RealPrograms, XdgOpenGetsTheHelpPagesRealPath) {
  WriteRecorder(Env / "bin/xdg-open", Env / "opened");
  kvtest::WriteFile(Env / "prog/Korvandel.html", "<html></html>");
  OpenURL((Env / "prog") + "\\Korvandel.html", browDefault, (Env / "prog") + "\\");
  const std::string Page = fs::canonical(Env / "prog/Korvandel.html").string();
  EXPECT_EQ(AwaitFile(Env / "opened"), "1\n[" + Page + "]\n" + fs::canonical(Env / "cwd").string() + "\n");
}

TEST_F(RealPrograms, RegisteredBrowserStartsInItsFolder) {
  const std::string Drive = getenv("KORVANDEL_DRIVE_C");
  WriteRecorder(Drive + "/Browser/netscape", Env / "browsed");
  RegisterBrowser("C:\\Browser\\NETSCAPE.EXE -h \"%1\"");
  const std::string Address = "https://shop.test/x y";
  OpenURL(Address, browDirect, Env / "prog\\");
  EXPECT_EQ(AwaitFile(Env / "browsed"), "1\n[" + Address + "]\n" + fs::canonical(Drive + "/Browser").string() + "\n");
}

}  // namespace
