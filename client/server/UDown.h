#pragma once
// The update check and download: the maker's update page read into rows, the
// question put to the user, and the download form that fetches the files one
// after another into "DownLoad\" beside the program, in the background, with
// its progress in a notification-area icon. Files arrive as "*.part" and take
// their names only when every one of them arrived whole, so a failed or
// stopped download never leaves a file the next start would install.
#include <QDialog>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "client/server/uServer.h"
#include "fetch/Fetchlet.h"
#include "platform/StringList.h"

class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QSystemTrayIcon;

// One row of the page's first table. A cell that is no whole number ends its
// row: HasMessageNumber is false when the fourth cell was not one.
struct TUpdateRow {
  int Version = 0;
  std::string Mandatory;
  std::string URL;
  int MessageNumber = 0;
  bool HasMessageNumber = false;
};

struct TUpdatePage {
  bool HasTables = false;  // both tables were found
  std::vector<TUpdateRow> Rows;  // rows with a numeric version, in page order
  std::vector<std::pair<int, std::string>> Messages;  // numeric first cells only
};

// The page as the server sent it; HTML entities are decoded first.
TUpdatePage ParseUpdatePage(const std::string &Reply);

// What the page offers above the installed version.
struct TUpdateOffer {
  int Newest = 0;
  bool Mandatory = false;  // the last newer row decides
  std::vector<std::string> URLs;
  int MessageNumber = 0;
  std::string MessageText;  // line breaks as "\r\n"
};
TUpdateOffer ChooseUpdate(const TUpdatePage &Page, int Installed);

// A file name an update file may be stored under: not empty, not "." or
// "..", and without any folder separator.
bool SafeUpdateFileName(const std::string &Name);

struct TFetchFunctions {
  TGetFileProc GetFile = nullptr;
  TTerminateFileGroupProc TerminateFileGroup = nullptr;
  TSetFileGroupLimitsProc SetFileGroupLimits = nullptr;
};
// The catalogue's forwarders to the fetching library, looked up at each call;
// unbound, a fetch reports failure at once and a stop does nothing.
TFetchFunctions CatalogueFetchFunctions();

class TfrmDownLoad : public QDialog {
  Q_OBJECT
public:
  // ProgramDir ends with a separator; the files go to its "DownLoad\".
  TfrmDownLoad(const std::string &ProgramDir, TFetchFunctions Fetch, QWidget *Owner = nullptr);
  ~TfrmDownLoad() override;  // FormDestroy

  QLabel *Label1, *lblFilesDone, *Label2, *lblFilesTotal;
  QProgressBar *pbDownLoad;
  QPushButton *btnOk, *btnStop;
  QMenu *mnuDownLoad;
  QAction *mnuDetails, *mnuStop;
  QSystemTrayIcon *TrayIcon;

  // Starts fetching URLs; false (and no callback) while a download runs.
  bool DownloadUpdateFiles(const kv::TStrings &URLs, const std::string &Host, const std::string &Port,
                           const std::string &User, const std::string &Password, const TProxySettings &Proxy,
                           TGetFileDoneProc Callback, intptr_t UserData);
  void DownloadNext(int K);
  void DownloadFileDone(bool Success);
  void mnuDetailsClick();
  void mnuStopClick();
  void TerminateUpdateDownload(int32_t GroupId);

  bool Running() const { return FRunning; }
  int FilesDone() const { return FFilesDone; }
  int FileTotal() const { return FFileTotal; }
  // The notification icon's tip, also kept where no tray exists.
  const std::string &TipText() const { return FTip; }
  bool IconShown() const { return FIconShown; }

protected:
  void closeEvent(QCloseEvent *Event) override;

private:
  void ShowIcon();
  void RemoveIcon();
  void SetTip();
  // DownloadNext(K); true when that file ended before it returned.
  bool StartFile(int K);
  // What follows the end of a file: the next files, the tip, the completion.
  void FileEnded();
  // Renames every "*.part" when AllOk; false when one cannot be renamed.
  bool InstallFiles();
  void Complete();

  std::string FFolder;  // the program folder's "DownLoad\"
  TFetchFunctions FFetch;
  kv::TStringList FURLList;
  int FNextURL = 0;  // the files still to fetch begin here
  // The names fetched so far, by their upper-case spelling, and in order.
  std::unordered_map<std::string, std::string> FNames;
  std::vector<std::string> FInstallOrder;
  bool FStarting = false;
  bool FEndedAtOnce = false;
  int FFilesDone = 0;
  int FFileTotal = 0;
  bool FAllOk = true;
  bool FRunning = false;
  bool FIconShown = false;
  std::string FTip;
  std::string FHost, FPort, FUser, FPassword;
  TProxySettings FProxy;
  TGetFileDoneProc FCallback = nullptr;
  intptr_t FUserData = 0;
};

// What the update check needs of the main window. Unset members do nothing
// (the version reads 0).
struct TUpdateEvents {
  std::string ProgramDir;  // with its trailing separator
  std::function<bool()> Closing;
  std::function<TProxySettings()> Proxy;
  std::function<int()> CheckLibraryVersion;
  std::function<void(int Version)> SetLibraryVersion;
  std::function<void()> SetDownloadStarted;
  std::function<void()> SetDownloadEnded;
  // Asks the maker's server for the update page (its reply comes back to
  // ProcessUpdatePage).
  std::function<void()> RequestUpdatePage;
};

class TUpdateCheck {
public:
  TUpdateCheck(TUpdateEvents Events, TFetchFunctions Fetch);
  ~TUpdateCheck();
  TUpdateCheck(const TUpdateCheck &) = delete;
  TUpdateCheck &operator=(const TUpdateCheck &) = delete;

  // At every search start: the first one asks for the update page.
  void StartUpdateCheck();
  // The update page's whole reply.
  void ProcessUpdatePage(const std::string &Reply);
  // The completion of the download (a TGetFileDoneProc, UserData this).
  static void UpdateDownloadDone(int32_t Success, intptr_t UserData);
  // Stops the download of GroupId (the main window's close stops group 1).
  void TerminateUpdateDownload(int32_t GroupId);

  bool UpdateCheckPending = true;
  bool UpdateStarting = false;
  // The newest version of the page, stored once its download succeeded.
  int NewestVersion = 0;
  TfrmDownLoad *frmDownLoad() const { return FForm.get(); }

private:
  void DownloadDone(bool Success);
  TUpdateEvents FEvents;
  std::unique_ptr<TfrmDownLoad> FForm;
};
