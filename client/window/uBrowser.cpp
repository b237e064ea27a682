#include "client/window/uBrowser.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>

#include <algorithm>
#include <filesystem>

#include "client/uAutomation.h"
#include "common/Common.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/automation/Automation.h"
#include "platform/SysUtils.h"
#include "platform/gui/Cursor.h"
#include "platform/gui/Shell.h"
#include "platform/qt/Codepage.h"

using namespace kv;

namespace {

TCreateBrowserObject &Factory() {
  static TCreateBrowserObject F;
  return F;
}

// The default value of a key below HKEY_CLASSES_ROOT, read whole; "" when the
// key or the value is missing or not text. The classes are only ever read.
std::string ClassesDefault(const std::string &Key) {
  try {
    TRegistry Reg;
    Reg.SetRootKey(HKEY_CLASSES_ROOT);
    if (!Reg.OpenKeyReadOnly("\\" + Key))
      return "";
    return Reg.ReadString("");
  } catch (const std::exception &) {
    return "";
  }
}

// The real path of Path, or "" when it does not exist.
std::filesystem::path RealPath(const std::string &Path) {
  std::error_code Error;
  std::filesystem::path P = std::filesystem::canonical(ResolvePath(Path), Error);
  return Error ? std::filesystem::path() : P;
}

std::string WithoutTrailingSlash(std::string Path) {
  while (Path.size() > 1 && Path.back() == '/')
    Path.pop_back();
  return Path;
}

}  // namespace

namespace {
// A browser object reached through the automation layer, late-bound.
class TAutomationBrowser : public IWebBrowserApp {
public:
  explicit TAutomationBrowser(std::shared_ptr<kv::IDispatch> Object) : FObject(std::move(Object)) {}
  void SetVisible(bool Visible) override { FObject->Invoke("Visible", {Visible}); }
  void Navigate(const std::string &URL) override { FObject->Invoke("Navigate", {URL}); }

private:
  std::shared_ptr<kv::IDispatch> FObject;
};
}  // namespace

std::unique_ptr<IWebBrowserApp> CreateBrowserObject(const std::string &ProgID) {
  if (Factory()) {
    if (auto Object = Factory()(ProgID))
      return Object;
    throw EOleSysError("Invalid class string");
  }
  // No browser registers such a class here, so this fails as on a machine
  // without the browser; the layer says why.
  try {
    return std::make_unique<TAutomationBrowser>(kv::CreateAutomationObject(ProgID));
  } catch (const kv::EOleException &E) {
    throw EOleSysError(E.Message());
  }
}

void SetBrowserObjectFactory(TCreateBrowserObject F) { Factory() = std::move(F); }

std::string StripCommandArgs(const std::string &Command) {
  std::string S = Command;
  size_t I = 0;
  while (I + 1 < S.size()) {
    if (S[I] == '%')
      S.erase(I, 2);
    else
      ++I;
  }
  return S;
}

std::string GetBrowserCommand() {
  for (const char *Type : {".htm", ".html", ".shtml", ".shtm"}) {
    try {
      TRegistry Reg;
      Reg.SetRootKey(HKEY_CLASSES_ROOT);
      if (!Reg.OpenKeyReadOnly(std::string("\\") + Type))
        continue;
    } catch (const std::exception &) {
      continue;
    }
    const std::string Class = ClassesDefault(Type);
    if (!Class.empty()) {
      const std::string Command = ClassesDefault(Class + "\\shell\\open\\command");
      if (!Command.empty())
        return StripCommandArgs(Command);
    }
    const std::string Command = ClassesDefault(std::string(Type) + "\\shell\\open\\command");
    if (!Command.empty())
      return StripCommandArgs(Command);
  }
  return "";
}

std::string BrowserBaseName(const std::string &Command) {
  const size_t Slash = Command.find_last_of('\\');
  std::string Name = Slash == std::string::npos ? Command : Command.substr(Slash + 1);
  const size_t Dot = Name.find('.');
  if (Dot != std::string::npos)
    Name.resize(Dot);
  return Trim(Name);
}

TDirectLaunch DirectLaunch(const std::string &Command, const std::string &Address) {
  TDirectLaunch L;
  const std::string Base = BrowserBaseName(Command);
  if (Base.empty())
    return L;
  const size_t Slash = Command.find_last_of('\\');
  std::string Folder = Slash == std::string::npos ? std::string() : Command.substr(0, Slash + 1);
  // A quoted program path leaves its opening quote in the folder part.
  Folder.erase(std::remove(Folder.begin(), Folder.end(), '"'), Folder.end());
  Folder = Trim(Folder);
  if (Folder.empty()) {
    L.Program = Base;
  } else {
    L.WorkingDir = WithoutTrailingSlash(ResolvePath(Folder));
    L.Program = ResolvePath(Folder + Base);
    if (!FileExists(L.Program) && FileExists(ResolvePath(Folder + Base + ".exe")))
      L.Program = ResolvePath(Folder + Base + ".exe");
  }
  L.Arguments = {Address};
  return L;
}

std::string OpenTarget(const std::string &Address, const std::string &ProgramDir) {
  if (Address.empty() || Address[0] == '-' || HasControlBytes(Address))
    return "";
  if (ShellCanOpen(Address))
    return Address;
  const std::string Ext = LowerCase(ExtractFileExt(Address));
  if ((Ext != ".html" && Ext != ".htm") || ProgramDir.empty())
    return "";
  const std::filesystem::path File = RealPath(Address), Folder = RealPath(ProgramDir);
  std::error_code Error;
  if (File.empty() || Folder.empty() || !std::filesystem::is_regular_file(File, Error))
    return "";
  // Inside the folder, also after every link is followed.
  const std::filesystem::path Relative = File.lexically_relative(Folder);
  if (Relative.empty() || *Relative.begin() == "..")
    return "";
  return File.string();
}

void OpenURLByOle(const std::string &URL) {
  std::unique_ptr<IWebBrowserApp> Browser = CreateBrowserObject("InternetExplorer.Application");
  Browser->SetVisible(true);
  Browser->Navigate(URL);
}

// The browser's DDE service ("Netscape", topics "WWW_Activate" and
// "WWW_OpenURL") cannot be reached: there is no DDE on this desktop, so the
// conversation never links and nothing is requested.
void OpenURLByDde(const std::string &) {}

void OpenURL(const std::string &Address, int LinkType, const std::string &ProgramDir) {
  THourglass Busy;
  try {
    const std::string Target = OpenTarget(Address, ProgramDir);
    if (Target.empty())
      return;
    const std::string Command = GetBrowserCommand();
    const std::string Base = UpperCase(BrowserBaseName(Command));
    switch (LinkType) {
    case browDefault:
      if (ShellCanOpen(Target))
        ShellOpen(Target);
      else
        ShellOpenFile(Target);
      break;
    case browDirect: {
      const TDirectLaunch L = DirectLaunch(Command, Target);
      if (!L.Program.empty())
        StartProgram(L.Program, L.Arguments, L.WorkingDir);
      break;
    }
    case browOle:
      if (Base == "NETSCAPE")
        OpenURLByDde(Target);
      else if (Base == "IEXPLORE")
        OpenURLByOle(Target);
      break;
    default:
      break;
    }
  } catch (const std::exception &) {
    // A missing browser, shell or automation object leaves nothing behind.
  }
}

namespace {
THelpMenu *LoadingMenu = nullptr;

// The catalogue's callback carries no context: it reaches the menu being loaded.
void AddHelpMenuItemProc(const std::string &Caption, const std::string &URL, const std::string &ShortCut,
                         int32_t Offset) {
  if (LoadingMenu)
    LoadingMenu->AddHelpMenuItem(Caption, URL, ShortCut, Offset);
}
}  // namespace

THelpMenu::THelpMenu(QMenu *Help, QAction *QuickHelp, std::function<void(const std::string &)> OpenURL,
                     std::string ProgramDir)
    : FHelp(Help), FQuickHelp(QuickHelp), FOpenURL(std::move(OpenURL)),
      FProgramDir(std::move(ProgramDir)) {
  connect(FQuickHelp, &QAction::triggered, this, [this] { mnuHelpGeneral(FQuickHelp); });
}

void THelpMenu::LoadItems(primary::TGetHelpMenuItems GetHelpMenuItems) {
  if (!GetHelpMenuItems)
    return;
  LoadingMenu = this;
  try {
    GetHelpMenuItems(AddHelpMenuItemProc);
  } catch (...) {
    LoadingMenu = nullptr;
    throw;
  }
  LoadingMenu = nullptr;
}

void THelpMenu::AddHelpMenuItem(const std::string &Caption, const std::string &URL, const std::string &ShortCut,
                                int Offset) {
  const QList<QAction *> Items = FHelp->actions();
  const int At = static_cast<int>(Items.indexOf(FQuickHelp)) + Offset + 1;
  auto *Item = new QAction(FromAnsi(Caption), FHelp);
  // A text that names no key gives no shortcut.
  const QKeySequence Keys = QKeySequence::fromString(FromAnsi(ShortCut), QKeySequence::PortableText);
  if (Keys.count() == 1 && Keys[0].key() != Qt::Key_unknown)
    Item->setShortcut(Keys);
  if (At >= 0 && At < Items.size())
    FHelp->insertAction(Items[At], Item);
  else
    FHelp->addAction(Item);
  HelpAddresses.AddObject(URL, Item);
  connect(Item, &QAction::triggered, this, [this, Item] { mnuHelpGeneral(Item); });
}

void THelpMenu::mnuHelpGeneral(QAction *Item) {
  if (Item == FQuickHelp) {
    // "Korvandel.hlp" needs the Windows help engine, which this desktop lacks:
    // the HTML help beside it is the quick help.
    const std::string Page = IncludeTrailingBackslash(FProgramDir) + "Korvandel.html";
    if (FileExists(ResolvePath(Page)))
      FOpenURL(Page);
    return;
  }
  for (int I = 0; I < HelpAddresses.Count(); ++I)
    if (HelpAddresses.GetObject(I) == Item)
      FOpenURL(HelpAddresses[I]);
}
