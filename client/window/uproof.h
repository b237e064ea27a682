#pragma once
// The main window: its creation (catalogue binding, lists, sockets, settings),
// the start-up message that runs the connectivity check and the logon, its
// closing and destruction, and the one status method every progress text
// passes through.
#include <QMainWindow>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "client/uAutomation.h"
#include "client/server/uServer.h"
#include "client/settings/uSettings.h"
#include "platform/StringList.h"
#include "platform/gui/Graphics.h"
#include "platform/qt/Messages.h"

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QStatusBar;
class QTimer;
class QToolButton;
class TPellGifImage;
class TServerSession;
class TAdverts;
class TUpdateCheck;
class TSearchEngine;
class TListPictures;
class THelpMenu;
class TExportCommands;
class TPrintCommands;
class TCommands;
namespace kv {
class TReportListView;
}
using kv::TReportListView;
namespace kv {
class TMsgSocket;
class TWindowBeacon;
}  // namespace kv

// The start-up message the window posts to itself when it is first shown.
constexpr kv::UINT WM_STARTUP = kv::WM_USER + 300;
extern const char *const MainWindowClass;
extern const char *const MainWindowTitle;

// The hover hint of the result list: hidden by standing at x = -500.
class TfrmHint : public QWidget {
  Q_OBJECT
public:
  explicit TfrmHint(QWidget *Owner = nullptr);
  QLabel *lblHint;
  int TargetLeft = -500;
  std::function<void()> OnHintMouseMove;

protected:
  bool eventFilter(QObject *Watched, QEvent *Event) override;
};

class TfrmMain : public QMainWindow {
  Q_OBJECT
public:
  explicit TfrmMain(QWidget *Owner = nullptr);
  ~TfrmMain() override;

  // Components.
  QStatusBar *sb;
  QLabel *sbPanel0, *sbPanel1;
  QWidget *pnlSearch, *pnlCart, *pnlStatus, *pnlHider, *pnlHider2, *pnlBanner, *pnlBanner2, *pnlKVLogo;
  TPellGifImage *gifCart;
  QLabel *imgLogo, *lblTip, *lblSearchFor, *lblSearchInfo, *lblSearchCount, *lblStatus;
  QComboBox *editSearch, *cboSearchType, *cboFilter, *cboCategory;
  QPlainTextEdit *Memo1;
  TReportListView *lstProducts;
  QToolButton *btnLoad, *btnSave, *btnPrint, *btnFindNow, *btnStop, *btnNewSearch, *btnShortages, *btnOptions;
  QMenu *mnuFile, *mnuEdit, *mnuView, *mnuFilter, *mnuHelp, *popProducts;
  QAction *mnuFileLoadPartNos, *mnuFileSaveResultsAs, *mnuExportItem, *mnuExportLowestPrice, *mnuSuggestSite,
      *mnuPrint, *mnuPrinterSetup, *mnuExit, *mnuCopy, *mnuFind, *mnuLoadPart, *mnuEditDatasheet, *mnuList,
      *mnuDetails, *mnuKeywordsOnly, *mnuAdvanced, *mnuOptions, *mnuStatistics, *mnuHelpGeneral,
      *mnuHelpSupport, *mnuAbout, *popLoadPart, *popLoadDatasheet, *popCopy, *popFind;
  QTimer *timStatus, *timTimeOut, *timHint, *timHintShow;
  TfrmHint *frmHint = nullptr;
  // The result list's row and header images and its sort glyphs.
  std::unique_ptr<TListPictures> ListPictures;

  // Fields.
  std::string ProgramDir;
  std::unique_ptr<IAnimator> Animator;
  int StatusTicks = 0;
  bool Destroying = false;
  bool Closing = false;
  bool SettingsChanged = false;
  // Whether the window's creation ran to its end (the catalogue bound).
  bool Created = false;
  int ServerMaxResults = 400;
  std::string LastSearchStatus;
  TWorkingSettings Settings;
  std::unique_ptr<kv::TStringList> FeatureList;
  // The Help menu's items from the catalogue, with their addresses.
  std::unique_ptr<THelpMenu> HelpMenu;
  // The conversations with the maker's server (check, logon, usage record,
  // update check, shortages form).
  std::unique_ptr<TServerSession> Server;
  // The search engine: site selection, site sockets, result rows.
  std::unique_ptr<TSearchEngine> Search;
  // Saving and exporting the results; printing them, with the one printer.
  std::unique_ptr<TExportCommands> ExportCommands;
  std::unique_ptr<TPrintCommands> PrintCommands;
  // The menus' and the result list's commands, the search history.
  std::unique_ptr<TCommands> Commands;
  // The banners (their pictures, timer and advert list) and the update check
  // with its download form.
  std::unique_ptr<TAdverts> Adverts;
  std::unique_ptr<TUpdateCheck> Update;

  // Shows "Error Connecting" modally; true for "Try Again". Scripted runs
  // report the failure and give up; tests replace it.
  std::function<bool(bool AllowRetry)> ErrorConnectingDialog;

  void FormCreate();
  void FormShow();
  void FormActivate();
  void FormClose();
  void FormDestroy();
  void FormResize();
  void WMStartup();
  void SetStatus(const std::string &Text, bool Flash);
  void SetSearchStatus(const std::string &Text);
  void SetSearchCount(const std::string &Text);
  void EnableButton(int Index, bool Enabled);
  bool ButtonEnabled(int Index) const;
  void timStatusTimer();
  // Whether a conversation with the server or any of the engine's sockets
  // (sites and follow-ups) still has a connection.
  bool SessionsOpen() const;
  // The search engine's count of running sites (0 before it exists).
  int ActiveCount() const;
  void RepaintAnimations();
  void LoadSettings();
  void popProductsPopup();
  void lstProducts1MouseMove(int X, int Y);
  // In debug mode, the debug memo's lines into "c:\temp\tamble.txt".
  void SaveDebugMemo();
  void mnuFileClick();
  void mnuStatisticsClick();
  void mnuKeywordsOnlyClick();
  // The one way a page, mail address or HTML help page opens, by the link type.
  void OpenURL(const std::string &Address);
  // Asks before a merchant's own site opens instead of a product page.
  bool ConfirmGotoSite(const std::string &SiteName);
  void mnuHelpSupportClick();
  void imgLogoClick();
  void mnuAboutClick();
  // The options and advanced filter dialogs, modally.
  void mnuOptionsClick();
  void mnuAdvancedClick();
  std::string GetRandomTip();
  std::string GetCustomerDetails() const;
  void btnFindNowClick();
  void FinishSearch();

  kv::HWND Handle() const;
  // Starts answering a second copy's knock (the window's handle exists).
  void CreateHandle();
  // Brings the window forward (restores it when minimised).
  void ShowFromOtherCopy();

protected:
  void showEvent(QShowEvent *Event) override;
  void closeEvent(QCloseEvent *Event) override;
  void resizeEvent(QResizeEvent *Event) override;
  void changeEvent(QEvent *Event) override;
  bool eventFilter(QObject *Watched, QEvent *Event) override;

private:
  void BuildComponents();
  void CreateServerSession();
  void CreateSearchEngine();
  void CreateOutputCommands();
  void CreateCommands();
  void CreateAdverts();
  void CreateUpdateCheck();
  TProxySettings ProxySettings() const;
  void QueueFormResize();
  void WndProc(kv::TMessage &Message);
  QToolButton *Button(int Index) const;
  std::unique_ptr<kv::TMessageTarget> FWindow;
  std::unique_ptr<kv::TWindowBeacon> FBeacon;
  bool FShownOnce = false;
  bool FResizeQueued = false;
};

extern TfrmMain *frmMain;

// The Sleep of the socket handlers: gives up the rest of the time slice.
void GiveUpTimeSlice();
