#pragma once
// Opening web pages, mail addresses and the program's own HTML pages outside
// the program, by the user's choice of link type (the shell's association,
// the registered browser program, or the browser's automation object), and
// the Help menu whose items open such pages.
//
// Only http:, https: and mailto: addresses and .html/.htm files inside the
// program folder are ever handed on, and never through a shell: an address
// that starts with "-" or holds control bytes is ignored.
//
// The browser's command line comes from HKEY_CLASSES_ROOT written the
// Windows way ("C:\Browser\NETSCAPE.EXE -h "%1""). Started directly, the
// program is the browser's base name in the command's folder, mapped through
// the platform's paths (drive "C:\" to its folder) and matched without regard
// to case; as the Windows shell adds ".exe" to a bare name, the name with
// ".exe" is tried when the bare name is no file. Without a folder the base
// name is looked up on the PATH.
#include <QObject>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/primary.h"
#include "platform/StringList.h"

class QAction;
class QMenu;

// The members of the browser's automation object that are called.
class IWebBrowserApp {
public:
  virtual ~IWebBrowserApp() = default;
  virtual void SetVisible(bool Visible) = 0;
  virtual void Navigate(const std::string &URL) = 0;
};

using TCreateBrowserObject = std::function<std::unique_ptr<IWebBrowserApp>(const std::string &ProgID)>;
// Raises EOleSysError ("Invalid class string") when the class is not
// registered; no automation class of a browser is registered here.
std::unique_ptr<IWebBrowserApp> CreateBrowserObject(const std::string &ProgID);
// Replaces the factory (the automation layer, tests); empty restores the default.
void SetBrowserObjectFactory(TCreateBrowserObject Factory);

// Removes every "%" with the character after it; the last character is
// never looked at, so a single "%" at the end stays.
std::string StripCommandArgs(const std::string &Command);
// The command line registered for web pages, placeholders removed; "" when none.
std::string GetBrowserCommand();
// The browser's base name: the command's file name cut before its first ".".
std::string BrowserBaseName(const std::string &Command);

// What opening Address directly with the browser of Command starts; an empty
// Program when there is no browser.
struct TDirectLaunch {
  std::string Program;
  std::vector<std::string> Arguments;
  std::string WorkingDir;
};
TDirectLaunch DirectLaunch(const std::string &Command, const std::string &Address);

// What may be handed on for Address: the address itself (http, https,
// mailto), the real path of an existing .html/.htm file inside ProgramDir,
// or "" when it may not be opened.
std::string OpenTarget(const std::string &Address, const std::string &ProgramDir);

void OpenURLByOle(const std::string &URL);
void OpenURLByDde(const std::string &URL);
// Opens Address by LinkType (a TBrowserLink); failures are swallowed.
void OpenURL(const std::string &Address, int LinkType, const std::string &ProgramDir);

// The Help menu: "&Quick Help" and the items the catalogue supplies, each
// opening its addresses through OpenURL.
class THelpMenu : public QObject {
public:
  THelpMenu(QMenu *Help, QAction *QuickHelp, std::function<void(const std::string &URL)> OpenURL,
            std::string ProgramDir);
  // Asks the catalogue for its items (GetHelpMenuItems with AddHelpMenuItem).
  void LoadItems(kv::primary::TGetHelpMenuItems GetHelpMenuItems);
  // One item below "&Quick Help" at Offset; its URL joins the list.
  void AddHelpMenuItem(const std::string &Caption, const std::string &URL, const std::string &ShortCut,
                       int Offset);
  void mnuHelpGeneral(QAction *Item);
  // One entry per supplied item: its URL, with the menu item as object.
  kv::TStringList HelpAddresses;

private:
  QMenu *FHelp;
  QAction *FQuickHelp;
  std::function<void(const std::string &)> FOpenURL;
  std::string FProgramDir;
};
