#include "client/server/UDown.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QVBoxLayout>

#include "client/uCatalogue.h"
#include "client/uTextUtils.h"
#include "common/Common.h"
#include "platform/Dialogs.h"
#include "platform/FileSearch.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"
#include "platform/qt/Codepage.h"

using namespace kv;

namespace {

// The one download form of the run; fetches of a form that is gone find none.
TfrmDownLoad *ActiveForm = nullptr;

void FileDone(int32_t Success, intptr_t) {
  if (ActiveForm)
    ActiveForm->DownloadFileDone(Success != 0);
}

const char *const PartSuffix = ".part";

void CatalogueGetFile(const char *URL, const char *FileName, const char *Host, const char *Port, const char *User,
                      const char *Password, const char *ProxyHost, const char *ProxyPort, const char *ProxyUser,
                      const char *ProxyPassword, TGetFileDoneProc Callback, bool UseProxy, intptr_t UserData,
                      int32_t GroupId) {
  if (auto GetFile = reinterpret_cast<TGetFileProc>(Catalogue.GetFile))
    GetFile(URL, FileName, Host, Port, User, Password, ProxyHost, ProxyPort, ProxyUser, ProxyPassword, Callback,
            UseProxy, UserData, GroupId);
  else if (Callback)
    Callback(0, UserData);
}

void CatalogueTerminateFileGroup(int32_t GroupId) {
  if (auto Terminate = reinterpret_cast<TTerminateFileGroupProc>(Catalogue.TerminateFileGroup))
    Terminate(GroupId);
}

void CatalogueSetFileGroupLimits(int32_t GroupId, uint64_t MaxReply, int32_t NoData, int32_t InAll) {
  if (auto Set = reinterpret_cast<TSetFileGroupLimitsProc>(Catalogue.SetFileGroupLimits))
    Set(GroupId, MaxReply, NoData, InAll);
}

}  // namespace

TFetchFunctions CatalogueFetchFunctions() {
  return {CatalogueGetFile, CatalogueTerminateFileGroup, CatalogueSetFileGroupLimits};
}

namespace {

char Up(char C) { return C >= 'a' && C <= 'z' ? char(C - 32) : C; }

// UpNeedle is upper case.
size_t FindNoCase(std::string_view Text, std::string_view UpNeedle, size_t From) {
  const size_t M = UpNeedle.size();
  if (M == 0 || From > Text.size() || Text.size() - From < M)
    return std::string_view::npos;
  const char *const Begin = Text.data();
  const char *const Last = Begin + (Text.size() - M);
  const char *const Needle = UpNeedle.data();
  const char First = Needle[0];
  const char Lower = First >= 'A' && First <= 'Z' ? char(First + 32) : First;
  for (const char *P = Begin + From; P <= Last; ++P) {
    if (First == Lower) {
      P = static_cast<const char *>(std::memchr(P, First, size_t(Last - P) + 1));
      if (!P)
        break;
    } else if (*P != First && *P != Lower) {
      continue;
    }
    size_t K = 1;
    while (K < M && Up(P[K]) == Needle[K])
      ++K;
    if (K == M)
      return size_t(P - Begin);
  }
  return std::string_view::npos;
}

// ChopLineOut by position: Take gives what ChopLineOut would give for the
// text from the cursor on, and moves the cursor to where ChopLineOut would
// leave that text beginning. Nothing is erased from the front or copied, so
// taking every row of a page costs one pass over it. The delimiters are
// given in upper case (they match in any case).
class TChopCursor {
public:
  explicit TChopCursor(std::string_view Text) : FText(Text) {}

  std::string_view Take(std::string_view Start, std::string_view End) {
    const size_t A = FindNoCase(FText, Start, FPos);
    if (A == std::string_view::npos)
      return {};
    // End is searched from Start on, as ChopLineOut does.
    const size_t B = FindNoCase(FText, End, A);
    if (B == std::string_view::npos || B == A) {
      FPos = A;
      return {};
    }
    const size_t From = A + Start.size();
    FPos = B + End.size();
    return B > From ? FText.substr(From, B - From) : std::string_view();
  }

private:
  std::string_view FText;
  size_t FPos = 0;
};

bool CellToInt(std::string_view Cell, int &Value) { return TryStrToInt(std::string(Cell), Value); }

}  // namespace

TUpdatePage ParseUpdatePage(const std::string &Reply) {
  TUpdatePage Page;
  const std::string Text = DecodeHtmlEntities(Reply);
  TChopCursor Tables(Text);
  const std::string_view First = Tables.Take("<TABLE", "</TABLE");
  const std::string_view Second = Tables.Take("<TABLE", "</TABLE");
  if (First.empty() || Second.empty())
    return Page;
  Page.HasTables = true;
  TChopCursor Rows(First);
  for (std::string_view Row; !(Row = Rows.Take("<TR", "</TR")).empty();) {
    TChopCursor Cells(Row);
    TUpdateRow R;
    if (!CellToInt(Cells.Take("<TD>", "</TD>"), R.Version))
      continue;
    R.Mandatory = Cells.Take("<TD>", "</TD>");
    R.URL = Cells.Take("<TD>", "</TD>");
    R.HasMessageNumber = CellToInt(Cells.Take("<TD>", "</TD>"), R.MessageNumber);
    Page.Rows.push_back(std::move(R));
  }
  TChopCursor Messages(Second);
  for (std::string_view Row; !(Row = Messages.Take("<TR", "</TR")).empty();) {
    TChopCursor Cells(Row);
    int Number = 0;
    if (!CellToInt(Cells.Take("<TD>", "</TD>"), Number))
      continue;
    Page.Messages.emplace_back(Number, std::string(Cells.Take("<TD>", "</TD>")));
  }
  return Page;
}

TUpdateOffer ChooseUpdate(const TUpdatePage &Page, int Installed) {
  TUpdateOffer Offer;
  Offer.Newest = Installed;
  for (const TUpdateRow &R : Page.Rows) {
    if (R.Version <= Installed)
      continue;
    Offer.Mandatory = R.Mandatory == "1";
    Offer.Newest = std::max(Offer.Newest, R.Version);
    Offer.URLs.push_back(R.URL);
    if (R.HasMessageNumber)
      Offer.MessageNumber = std::max(Offer.MessageNumber, R.MessageNumber);
  }
  for (const auto &[Number, Text] : Page.Messages)
    if (Number == Offer.MessageNumber)
      Offer.MessageText = Text;
  ReplaceStrings(Offer.MessageText, "<br>", "\r\n");
  ReplaceStrings(Offer.MessageText, "<BR>", "\r\n");
  return Offer;
}

bool SafeUpdateFileName(const std::string &Name) {
  return !Name.empty() && Name != "." && Name != ".." && Name.find('/') == std::string::npos &&
         Name.find('\\') == std::string::npos;
}

TfrmDownLoad::TfrmDownLoad(const std::string &ProgramDir, TFetchFunctions Fetch, QWidget *Owner)
    : QDialog(Owner, Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      FFolder(IncludeTrailingBackslash(ProgramDir) + "DownLoad\\"), FFetch(Fetch) {
  setObjectName("frmDownLoad");
  setWindowTitle("Downloading Korvandel(tm) Update Files");
  auto *Column = new QVBoxLayout(this);
  auto *Counts = new QHBoxLayout;
  auto *Image1 = new QLabel(this);
  Image1->setObjectName("Image1");
  Image1->setPixmap(style()->standardIcon(QStyle::SP_ArrowDown).pixmap(32, 32));
  Label1 = new QLabel("Downloaded", this);
  lblFilesDone = new QLabel("0", this);
  lblFilesDone->setObjectName("lblFilesDone");
  Label2 = new QLabel("of", this);
  lblFilesTotal = new QLabel("0", this);
  lblFilesTotal->setObjectName("lblFilesTotal");
  for (QLabel *L : {lblFilesDone, lblFilesTotal})
    L->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  Counts->addWidget(Image1);
  for (QLabel *L : {Label1, lblFilesDone, Label2, lblFilesTotal})
    Counts->addWidget(L);
  Counts->addStretch(1);
  Column->addLayout(Counts);
  pbDownLoad = new QProgressBar(this);
  pbDownLoad->setObjectName("pbDownLoad");
  // A range of 0..0 would show Qt's busy bar.
  pbDownLoad->setRange(0, 1);
  Column->addWidget(pbDownLoad);
  auto *Buttons = new QHBoxLayout;
  btnOk = new QPushButton("OK", this);
  btnOk->setObjectName("btnOk");
  btnOk->setDefault(true);
  btnStop = new QPushButton("&Stop", this);
  btnStop->setObjectName("btnStop");
  btnStop->setEnabled(false);
  Buttons->addStretch(1);
  Buttons->addWidget(btnOk);
  Buttons->addWidget(btnStop);
  Column->addLayout(Buttons);
  connect(btnOk, &QPushButton::clicked, this, [this] { hide(); });
  connect(btnStop, &QPushButton::clicked, this, [this] { mnuStopClick(); });

  mnuDownLoad = new QMenu(this);
  mnuDownLoad->setObjectName("mnuDownLoad");
  mnuDetails = mnuDownLoad->addAction("Details...");
  mnuStop = mnuDownLoad->addAction("&Stop");
  connect(mnuDetails, &QAction::triggered, this, [this] { mnuDetailsClick(); });
  connect(mnuStop, &QAction::triggered, this, [this] { mnuStopClick(); });

  TrayIcon = new QSystemTrayIcon(this);
  TrayIcon->setIcon(style()->standardIcon(QStyle::SP_ArrowDown));
  TrayIcon->setContextMenu(mnuDownLoad);
  connect(TrayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason Reason) {
    if (Reason == QSystemTrayIcon::DoubleClick)
      mnuDetailsClick();
  });
  ActiveForm = this;
}

TfrmDownLoad::~TfrmDownLoad() {
  if (ActiveForm == this)
    ActiveForm = nullptr;
  RemoveIcon();
}

bool TfrmDownLoad::DownloadUpdateFiles(const TStrings &URLs, const std::string &Host, const std::string &Port,
                                       const std::string &User, const std::string &Password,
                                       const TProxySettings &Proxy, TGetFileDoneProc Callback, intptr_t UserData) {
  if (FRunning)
    return false;
  FHost = Host;
  FPort = Port;
  FUser = User;
  FPassword = Password;
  FProxy = Proxy;
  FCallback = Callback;
  FUserData = UserData;
  FAllOk = true;
  FNames.clear();
  FInstallOrder.clear();
  FURLList.Clear();
  FNextURL = 0;
  FRunning = true;
  btnStop->setEnabled(true);
  mnuStop->setEnabled(true);
  FFilesDone = 0;
  FFileTotal = URLs.Count();
  pbDownLoad->setMaximum(std::max(FFileTotal, 1));
  lblFilesTotal->setText(QString::number(FFileTotal));
  SetTip();
  ShowIcon();
  for (int I = 0; I < URLs.Count(); ++I)
    FURLList.Add(URLs[I]);
  SetFetchLimits(FFetch.SetFileGroupLimits, fgUpdate, limits::UpdateFile);
  if (StartFile(0))
    FileEnded();
  return true;
}

void TfrmDownLoad::DownloadNext(int K) {
  FFilesDone = K;
  pbDownLoad->setValue(std::min(K, pbDownLoad->maximum()));
  lblFilesDone->setText(QString::number(K));
  if (FNextURL >= FURLList.Count())
    return;
  const std::string URL = FURLList[FNextURL++];
  std::string Name = GetFileNameFromUrl(URL);
  if (!SafeUpdateFileName(Name)) {
    // Reported as a fetch that could not start: the rest still follow.
    DownloadFileDone(false);
    return;
  }
  // Names are one file when they differ only in case, as paths resolve: the
  // later file replaces the earlier under the first one's name.
  const auto [Known, New] = FNames.try_emplace(UpperCase(Name), Name);
  Name = Known->second;
  if (New)
    FInstallOrder.push_back(Name);
  const std::string Target = ResolvePath(FFolder + Name + PartSuffix);
  if (!FFetch.GetFile) {
    DownloadFileDone(false);
    return;
  }
  FFetch.GetFile(URL.c_str(), Target.c_str(), FHost.c_str(), FPort.c_str(), FUser.c_str(), FPassword.c_str(),
                 FProxy.ProxyServer.c_str(), FProxy.ProxyPort.c_str(), FProxy.ProxyUserName.c_str(),
                 FProxy.ProxyPassword.c_str(), FileDone, FProxy.UseProxy, FUserData, fgUpdate);
}

void TfrmDownLoad::DownloadFileDone(bool Success) {
  if (!FRunning)
    return;
  if (!Success)
    FAllOk = false;
  // A file that ends while it is being started (a refused name, a fetch that
  // fails inside GetFile) leaves the next one to the walk that started it:
  // one stack frame for the whole list, however many files end at once.
  if (FStarting) {
    FEndedAtOnce = true;
    return;
  }
  FileEnded();
}

bool TfrmDownLoad::StartFile(int K) {
  FStarting = true;
  FEndedAtOnce = false;
  DownloadNext(K);
  FStarting = false;
  return FEndedAtOnce;
}

void TfrmDownLoad::FileEnded() {
  while (StartFile(FFilesDone + 1)) {
  }
  SetTip();
  if (FFilesDone >= FFileTotal)
    Complete();
}

void TfrmDownLoad::Complete() {
  FRunning = false;
  btnStop->setEnabled(false);
  mnuStop->setEnabled(false);
  RemoveIcon();
  const bool Ok = FAllOk && InstallFiles();
  if (FCallback) {
    try {
      FCallback(Ok ? 1 : 0, FUserData);
    } catch (...) {
    }
  }
}

bool TfrmDownLoad::InstallFiles() {
  for (const std::string &Name : FInstallOrder) {
    const std::string Part = ResolvePath(FFolder + Name + PartSuffix);
    const std::string Final = ResolvePath(FFolder + Name);
    if (FileExists(Final) && !DeleteFile(Final))
      return false;
    if (!RenameFile(Part, Final))
      return false;
  }
  return true;
}

void TfrmDownLoad::SetTip() {
  FTip = "Downloading " + IntToStr(FFilesDone + 1) + " of " + IntToStr(FFileTotal);
  TrayIcon->setToolTip(FromAnsi(FTip));
}

void TfrmDownLoad::ShowIcon() {
  FIconShown = true;
  if (QSystemTrayIcon::isSystemTrayAvailable())
    TrayIcon->show();
  else
    // Without a tray the form itself keeps Stop within reach.
    show();
}

void TfrmDownLoad::RemoveIcon() {
  FIconShown = false;
  TrayIcon->hide();
}

void TfrmDownLoad::mnuDetailsClick() {
  show();
  raise();
  activateWindow();
}

void TfrmDownLoad::mnuStopClick() {
  if (!FRunning)
    return;
  if (MessageBox("Are you sure you wish to stop downloading files", ApplicationTitle(),
                 MB_YESNO | MB_ICONWARNING) == IDYES)
    TerminateUpdateDownload(fgUpdate);
}

void TfrmDownLoad::TerminateUpdateDownload(int32_t GroupId) {
  if (FFetch.TerminateFileGroup)
    FFetch.TerminateFileGroup(GroupId);
}

void TfrmDownLoad::closeEvent(QCloseEvent *Event) {
  // Closing only hides: the download goes on.
  Event->ignore();
  hide();
}

TUpdateCheck::TUpdateCheck(TUpdateEvents Events, TFetchFunctions Fetch)
    : FEvents(std::move(Events)), FForm(std::make_unique<TfrmDownLoad>(FEvents.ProgramDir, Fetch)) {}

TUpdateCheck::~TUpdateCheck() = default;

void TUpdateCheck::StartUpdateCheck() {
  if (!UpdateCheckPending)
    return;
  UpdateCheckPending = false;
  if (FEvents.RequestUpdatePage)
    FEvents.RequestUpdatePage();
}

void TUpdateCheck::ProcessUpdatePage(const std::string &Reply) {
  UpdateStarting = false;
  const int Installed = FEvents.CheckLibraryVersion ? FEvents.CheckLibraryVersion() : 0;
  const TUpdatePage Page = ParseUpdatePage(Reply);
  if (!Page.HasTables)
    return;
  const TUpdateOffer Offer = ChooseUpdate(Page, Installed);
  NewestVersion = Offer.Newest;
  if (Offer.Newest == Installed || Offer.URLs.empty())
    return;
  if (MessageBox(Offer.MessageText, ApplicationTitle(),
                 MB_YESNO | (Offer.Mandatory ? MB_ICONWARNING : MB_ICONQUESTION)) != IDYES)
    return;
  if (FEvents.SetDownloadStarted)
    FEvents.SetDownloadStarted();
  const std::string Folder = ResolvePath(FEvents.ProgramDir + "DownLoad");
  if (!DirectoryExists(Folder) && !ForceDirectories(Folder)) {
    MessageBox("Unable to create directory for download.", ApplicationTitle(), MB_OK | MB_ICONERROR);
    return;
  }
  TStringList URLs;
  for (const std::string &U : Offer.URLs)
    URLs.Add(U);
  UpdateStarting = true;
  // The update files are fetched without the server's authorisation.
  FForm->DownloadUpdateFiles(URLs, "", "", "", "", FEvents.Proxy ? FEvents.Proxy() : TProxySettings{},
                             UpdateDownloadDone, reinterpret_cast<intptr_t>(this));
  UpdateStarting = false;
}

void TUpdateCheck::UpdateDownloadDone(int32_t Success, intptr_t UserData) {
  if (auto *Check = reinterpret_cast<TUpdateCheck *>(UserData))
    Check->DownloadDone(Success != 0);
}

void TUpdateCheck::DownloadDone(bool Success) {
  const bool Closing = FEvents.Closing && FEvents.Closing();
  if (Success) {
    if (FEvents.SetLibraryVersion)
      FEvents.SetLibraryVersion(NewestVersion);
    if (FEvents.SetDownloadEnded)
      FEvents.SetDownloadEnded();
    MessageBox("Download of update complete.\r\n\r\nChanges will take effect when Korvandel(tm) is restarted.",
               ApplicationTitle(), MB_OK | MB_ICONINFORMATION);
    return;
  }
  DeleteDirectory(FEvents.ProgramDir + "DownLoad");
  // A download stopped by the window's close needs no box the user cannot act on.
  if (!Closing)
    MessageBox("Download of update failed.\r\n\r\nYou can retry download when Korvandel(tm) is restarted.",
               ApplicationTitle(), MB_OK | MB_ICONWARNING);
}

void TUpdateCheck::TerminateUpdateDownload(int32_t GroupId) {
  if (FForm->Running())
    FForm->TerminateUpdateDownload(GroupId);
}
