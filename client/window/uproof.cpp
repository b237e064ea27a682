#include "client/window/uproof.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <thread>

#include "client/window/FAbout.h"
#include "client/window/FGoSite.h"
#include "client/options/FAddit.h"
#include "client/options/uoptions.h"
#include "client/window/FStat.h"
#include "client/window/uBrowser.h"
#include "client/output/uExport.h"
#include "client/output/uPrintCommands.h"
#include "client/window/uCommands.h"
#include "client/window/uFindDialog.h"
#include "client/window/uFontFit.h"
#include "client/window/uSortColumns.h"
#include "client/window/uWindowFit.h"
#include "client/uApplication.h"
#include "client/uCatalogue.h"
#include "client/server/UDown.h"
#include "client/server/uAdverts.h"
#include "client/server/uErrorConnecting.h"
#include "client/window/uHints.h"
#include "client/window/uHoverHint.h"
#include "client/window/uListPictures.h"
#include "client/search/uSearch.h"
#include "client/server/FSugSite.h"
#include "client/server/uServer.h"
#include "client/server/uServerTimeOuts.h"
#include "client/search/uTimeOuts.h"
#include "client/settings/uUserDetails.h"
#include "client/window/usplash.h"
#include "common/Common.h"
#include "components/GIFImage.h"
#include "components/replistv.h"
#include "net/MsgSocket.h"
#include "net/cTambSoc.h"
#include "platform/DateTime.h"
#include "platform/Dialogs.h"
#include "platform/FileSearch.h"
#include "platform/gui/Cursor.h"
#include "platform/gui/EditControls.h"
#include "platform/gui/ForeignWindow.h"
#include "platform/gui/PlainText.h"
#include "platform/Paths.h"
#include "platform/gui/Shell.h"
#include "platform/office/OfficeStandIns.h"
#include "platform/qt/Codepage.h"
#include "platform/qt/WindowSearch.h"

using namespace kv;

TfrmMain *frmMain = nullptr;
const char *const MainWindowClass = "TfrmMain";
const char *const MainWindowTitle = "Korvandel(tm)";

namespace {

QToolButton *MakeButton(QWidget *Parent, const char *Name, const char *Caption, const char *Hint) {
  auto *B = new TToolbarButton(Parent, 56);
  B->setObjectName(Name);
  if (*Caption)
    B->setText(Caption);
  if (*Hint)
    B->setToolTip(Hint);
  B->setToolButtonStyle(Qt::ToolButtonTextOnly);
  return B;
}

QAction *MakeItem(QMenu *Menu, const char *Name, const char *Caption, const char *ShortCut = "") {
  QAction *A = Menu->addAction(Caption);
  A->setObjectName(Name);
  if (*ShortCut)
    A->setShortcut(QKeySequence(ShortCut));
  return A;
}

}  // namespace

TfrmHint::TfrmHint(QWidget *Owner) : QWidget(Owner, Qt::ToolTip | Qt::FramelessWindowHint) {
  setObjectName("frmHint");
  lblHint = PlainLabel(this);
  lblHint->setObjectName("lblHint");
  lblHint->installEventFilter(this);
  lblHint->setMouseTracking(true);
}

bool TfrmHint::eventFilter(QObject *Watched, QEvent *Event) {
  if (Watched == lblHint && Event->type() == QEvent::MouseMove && OnHintMouseMove)
    OnHintMouseMove();
  return QWidget::eventFilter(Watched, Event);
}

TfrmMain::TfrmMain(QWidget *Owner) : QMainWindow(Owner) {
  setObjectName("frmMain");
  setWindowTitle(MainWindowTitle);
  FWindow = std::make_unique<TMessageTarget>([this](TMessage &M) { WndProc(M); });
  ErrorConnectingDialog = [](bool AllowRetry) {
    // A scripted run has nobody to fill in the proxy form: report and give up.
    if (ScriptedDialogs()) {
      MessageBox("Unable to connect to the Korvandel server.", ApplicationTitle(), MB_OK | MB_ICONERROR);
      return false;
    }
    return RunErrorConnecting(AllowRetry);
  };
  BuildComponents();
  CreateOutputCommands();
  frmMain = this;
  FormCreate();
}

TfrmMain::~TfrmMain() {
  FormDestroy();
  if (frmMain == this)
    frmMain = nullptr;
}

void TfrmMain::BuildComponents() {
  mnuFile = menuBar()->addMenu("&File");
  mnuFileLoadPartNos = MakeItem(mnuFile, "mnuFileLoadPartNos", "&Import Part Numbers");
  mnuFileSaveResultsAs = MakeItem(mnuFile, "mnuFileSaveResultsAs", "&Export Search Results...");
  mnuExportItem = MakeItem(mnuFile, "mnuExportItem", "Export Item...");
  mnuExportLowestPrice = MakeItem(mnuFile, "mnuExportLowestPrice", "Export Lowest Price List...");
  mnuFile->addSeparator();
  mnuSuggestSite = MakeItem(mnuFile, "mnuSuggestSite", "&Submit a Shopping Site...");
  mnuSuggestSite->setVisible(false);
  mnuFile->addSeparator()->setVisible(false);
  mnuPrint = MakeItem(mnuFile, "mnuPrint", "&Print", "Ctrl+P");
  mnuPrint->setEnabled(false);
  mnuPrinterSetup = MakeItem(mnuFile, "mnuPrinterSetup", "Printer Setup...");
  mnuFile->addSeparator();
  mnuExit = MakeItem(mnuFile, "mnuExit", "E&xit", "Ctrl+X");
  connect(mnuExit, &QAction::triggered, this, [this] { close(); });
  connect(mnuFile, &QMenu::aboutToShow, this, [this] { mnuFileClick(); });

  mnuEdit = menuBar()->addMenu("&Edit");
  mnuCopy = MakeItem(mnuEdit, "mnuCopy", "&Copy");
  mnuFind = MakeItem(mnuEdit, "mnuFind", "&Find...", "Ctrl+F");
  mnuView = menuBar()->addMenu("&View");
  mnuLoadPart = MakeItem(mnuView, "mnuLoadPart", "Load &Part");
  mnuEditDatasheet = MakeItem(mnuView, "mnuEditDatasheet", "Load &Datasheet");
  mnuView->addSeparator()->setVisible(false);
  mnuList = MakeItem(mnuView, "mnuList", "&List");
  mnuList->setVisible(false);
  mnuList->setCheckable(true);
  mnuDetails = MakeItem(mnuView, "mnuDetails", "&Details");
  mnuDetails->setVisible(false);
  mnuDetails->setCheckable(true);
  mnuDetails->setChecked(true);
  mnuView->addSeparator();
  mnuFilter = mnuView->addMenu("&Filter");
  mnuFilter->menuAction()->setVisible(false);
  mnuKeywordsOnly = MakeItem(mnuFilter, "mnuKeywordsOnly", "&Keywords Only");
  mnuKeywordsOnly->setCheckable(true);
  connect(mnuKeywordsOnly, &QAction::triggered, this, [this] { mnuKeywordsOnlyClick(); });
  mnuAdvanced = MakeItem(mnuFilter, "mnuAdvanced", "&Advanced...");
  connect(mnuAdvanced, &QAction::triggered, this, [this] { mnuAdvancedClick(); });
  mnuView->addSeparator()->setVisible(false);
  mnuOptions = MakeItem(mnuView, "mnuOptions", "&Options...", "Ctrl+O");
  connect(mnuOptions, &QAction::triggered, this, [this] { mnuOptionsClick(); });
  mnuStatistics = MakeItem(mnuView, "mnuStatistics", "&Statistics...", "Ctrl+S");
  mnuStatistics->setCheckable(true);
  connect(mnuStatistics, &QAction::triggered, this, [this] { mnuStatisticsClick(); });
  for (QAction *A : {mnuCopy, mnuFind, mnuLoadPart, mnuEditDatasheet})
    A->setEnabled(false);
  connect(mnuEdit, &QMenu::aboutToShow, this, [this] { popProductsPopup(); });
  connect(mnuView, &QMenu::aboutToShow, this, [this] { popProductsPopup(); });

  mnuHelp = menuBar()->addMenu("&Help");
  mnuHelpGeneral = MakeItem(mnuHelp, "mnuHelpGeneral", "&Quick Help");
  mnuHelp->addSeparator();
  mnuHelpSupport = MakeItem(mnuHelp, "mnuHelpSupport", "&Support...");
  mnuAbout = MakeItem(mnuHelp, "mnuAbout", "&About...");
  connect(mnuHelpSupport, &QAction::triggered, this, [this] { mnuHelpSupportClick(); });
  connect(mnuAbout, &QAction::triggered, this, [this] { mnuAboutClick(); });

  popProducts = new QMenu(this);
  popProducts->setObjectName("popProducts");
  popLoadPart = MakeItem(popProducts, "popLoadPart", "Load &Part");
  popLoadDatasheet = MakeItem(popProducts, "popLoadDatasheet", "Load &Datasheet");
  popProducts->addSeparator();
  popCopy = MakeItem(popProducts, "popCopy", "&Copy");
  popFind = MakeItem(popProducts, "popFind", "&Find", "Ctrl+F");
  for (QAction *A : {popLoadPart, popLoadDatasheet, popCopy, popFind})
    A->setEnabled(false);
  connect(popProducts, &QMenu::aboutToShow, this, [this] { popProductsPopup(); });

  auto *Central = new QWidget(this);
  auto *Column = new QVBoxLayout(Central);
  Column->setContentsMargins(2, 2, 2, 2);
  Column->setSpacing(2);

  // A window narrower than the toolbar cuts it off at the right.
  auto *pnlToolsRoom = new TOverflowPanel(Central);
  pnlToolsRoom->setObjectName("pnlToolsRoom");
  QWidget *pnlTools = pnlToolsRoom->Content();
  pnlTools->setObjectName("pnlTools");
  auto *Tools = new QHBoxLayout(pnlTools);
  Tools->setContentsMargins(0, 0, 0, 0);
  // Buttons side by side, as a toolbar has them: the whole bar fits 800 pixels.
  Tools->setSpacing(2);
  btnLoad = MakeButton(pnlTools, "btnLoad", "Import", "");
  btnSave = MakeButton(pnlTools, "btnSave", "Export", "");
  btnPrint = MakeButton(pnlTools, "btnPrint", "Print", "");
  btnOptions = MakeButton(pnlTools, "btnOptions", "Options", "");
  btnFindNow = MakeButton(pnlTools, "btnFindNow", "Find", "Start Search");
  btnStop = MakeButton(pnlTools, "btnStop", "Stop", "");
  btnNewSearch = MakeButton(pnlTools, "btnNewSearch", "Clear", "");
  btnShortages = MakeButton(pnlTools, "btnShortages", "Shortages", "Do you have Shortages?");
  for (QToolButton *B : {btnLoad, btnSave, btnPrint, btnOptions, btnFindNow, btnStop, btnNewSearch, btnShortages})
    Tools->addWidget(B);
  connect(btnOptions, &QToolButton::clicked, this, [this] { mnuOptionsClick(); });
  // The tip takes the room the buttons leave, and shows what fits there.
  lblTip = new TElidedLabel(pnlTools);
  lblTip->setObjectName("lblTip");
  lblTip->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  Tools->addWidget(lblTip, 1);
  pnlCart = new QWidget(pnlTools);
  pnlCart->setObjectName("pnlCart");
  pnlCart->setFixedSize(68, 44);
  gifCart = new TPellGifImage(pnlCart);
  gifCart->setObjectName("gifCart");
  gifCart->setGeometry(2, 2, 64, 40);
  Tools->addWidget(pnlCart);
  pnlKVLogo = new QWidget(pnlTools);
  pnlKVLogo->setObjectName("pnlKVLogo");
  pnlKVLogo->setFixedSize(197, 48);
  imgLogo = new QLabel(pnlKVLogo);
  imgLogo->setObjectName("imgLogo");
  imgLogo->setGeometry(2, 2, 193, 44);
  imgLogo->setPixmap(QPixmap(":/client/logo.gif"));
  imgLogo->installEventFilter(this);
  Tools->addWidget(pnlKVLogo);
  Column->addWidget(pnlToolsRoom);

  pnlSearch = new QWidget(Central);
  pnlSearch->setObjectName("pnlSearch");
  auto *Search = new QHBoxLayout(pnlSearch);
  Search->setContentsMargins(0, 0, 0, 0);
  lblSearchFor = new QLabel("&Search For:", pnlSearch);
  lblSearchFor->setObjectName("lblSearchFor");
  editSearch = new QComboBox(pnlSearch);
  editSearch->setObjectName("editSearch");
  editSearch->setEditable(true);
  editSearch->setInsertPolicy(QComboBox::NoInsert);
  lblSearchFor->setBuddy(editSearch);
  cboSearchType = new QComboBox(pnlSearch);
  cboSearchType->setObjectName("cboSearchType");
  cboSearchType->addItems({"Part Number", "Description"});
  cboFilter = new QComboBox(pnlSearch);
  cboFilter->setObjectName("cboFilter");
  cboFilter->addItems({"Any Part Number", "Exact Match", "Contains", "Begins With"});
  cboCategory = new QComboBox(pnlSearch);
  cboCategory->setObjectName("cboCategory");
  // The search box and the category box share the room the row leaves.
  SizeByRoomNotText(*editSearch);
  SizeByRoomNotText(*cboCategory);
  Search->addWidget(lblSearchFor);
  Search->addWidget(editSearch, 2);
  Search->addWidget(cboSearchType);
  Search->addWidget(cboFilter);
  Search->addWidget(cboCategory, 1);
  Column->addWidget(pnlSearch);

  // Each banner panel shows "Banner Disabled" under its hider, which holds
  // the picture; only the second banner's hider is ever hidden.
  auto *pnlBanners = new QWidget(Central);
  pnlBanners->setObjectName("pnlBanners");
  auto *Banners = new QHBoxLayout(pnlBanners);
  Banners->setContentsMargins(0, 0, 0, 0);
  const auto BannerPanel = [pnlBanners](const char *Name, const char *HiderName, QWidget *&Hider) {
    QLabel *Panel = PlainLabel(pnlBanners, "Banner Disabled");
    Panel->setObjectName(Name);
    Panel->setAlignment(Qt::AlignCenter);
    Hider = new QWidget(Panel);
    Hider->setObjectName(HiderName);
    Hider->setAutoFillBackground(true);
    return Panel;
  };
  pnlBanner = BannerPanel("pnlBanner", "pnlHider", pnlHider);
  pnlBanner2 = BannerPanel("pnlBanner2", "pnlHider2", pnlHider2);
  CreateAdverts();
  Banners->addStretch(1);
  Banners->addWidget(pnlBanner);
  Banners->addSpacing(40);
  Banners->addWidget(pnlBanner2);
  Banners->addStretch(1);
  Column->addWidget(pnlBanners);

  auto *pnlInfo = new QWidget(Central);
  auto *Info = new QHBoxLayout(pnlInfo);
  Info->setContentsMargins(0, 0, 0, 0);
  lblSearchInfo = new TElidedLabel(pnlInfo);
  lblSearchInfo->setObjectName("lblSearchInfo");
  lblSearchInfo->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  pnlStatus = new QWidget(pnlInfo);
  pnlStatus->setObjectName("pnlStatus");
  // The animation server's status panel, lent into this one, is 367 x 34:
  // room for all of it, so its text is never cut.
  pnlStatus->setFixedSize(367, 34);
  // The status text of our own, under the server's panel: what shows when
  // there is no server, or when it has gone.
  lblStatus = PlainLabel(pnlStatus);
  lblStatus->setObjectName("lblStatus");
  lblStatus->setGeometry(0, 0, 367, 34);
  lblStatus->setAlignment(Qt::AlignCenter);
  lblSearchCount = new TElidedLabel(pnlInfo);
  lblSearchCount->setObjectName("lblSearchCount");
  Info->addWidget(lblSearchInfo, 1);
  Info->addWidget(pnlStatus);
  Info->addWidget(lblSearchCount);
  Column->addWidget(pnlInfo);

  lstProducts = new TReportListView(Central);
  lstProducts->setObjectName("lstProducts");
  lstProducts->setVisible(false);
  struct TColumn {
    const char *Caption;
    int Width;
    TAlignment Alignment;
  };
  for (const TColumn &C : {TColumn{"Part Number", 114, taLeftJustify}, TColumn{"Description", 160, taLeftJustify},
                           TColumn{"Manufacturer", 80, taLeftJustify}, TColumn{"Datasheet", 61, taCenter},
                           TColumn{"Price", 60, taRightJustify}, TColumn{"In Stock", 55, taCenter},
                           TColumn{"Quantity", 55, taRightJustify}, TColumn{"Supplier", 84, taLeftJustify}})
    lstProducts->AddColumn(C.Caption, C.Width, C.Alignment);
  lstProducts->SetOwnerDraw(true);
  lstProducts->SetSubImages(true);
  lstProducts->SetItemHeight(15);
  lstProducts->SetSortDirection(sdDescending);
  lstProducts->SetSortShow(true);
  lstProducts->SetSortIndicator(siLeft);
  lstProducts->SetHeaderHotTrack(true);
  lstProducts->SetSaveHeader(true);
  lstProducts->SetHoverTime(-1);
  lstProducts->SetURLShow(true);
  lstProducts->SetURLColor(clBlue);
  lstProducts->SetAutoHint(true);
  lstProducts->SetVAlignment(vtaCenter);
  lstProducts->SetSelectionColor(clHighlight);
  lstProducts->SetSelectionTextColor(clHighlightText);
  ListPictures = std::make_unique<TListPictures>();
  ListPictures->ApplyTo(*lstProducts);
  lstProducts->SetHeaderImage(3, HeaderImage::Datasheet);
  // The fit measures cells beside their pictures; the layout sets them again.
  lstProducts->SetSmallImages(&ListPictures->ilstSmallIcons);
  FitListFonts(*lstProducts, ColumnWidths(0, 0));
  lstProducts->OnMouseMove = [this](TReportListView *, int X, int Y) { lstProducts1MouseMove(X, Y); };
  lstProducts->installEventFilter(this);
  Column->addWidget(lstProducts, 1);

  Memo1 = new TMemo(Central);
  Memo1->setObjectName("Memo1");
  Memo1->setVisible(false);
  Memo1->setMaximumHeight(120);
  Column->addWidget(Memo1);
  setCentralWidget(Central);

  sb = statusBar();
  sb->setObjectName("sb");
  sbPanel0 = PlainLabel(sb);
  sbPanel0->setFixedWidth(290);
  sbPanel1 = PlainLabel(sb);
  sbPanel1->setFixedWidth(150);
  sbPanel1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  // The longest status text the window gives (when rows have come) shows whole.
  FitLabelFont(*sbPanel0, "Clicking on the Column Headings will sort your results!");
  sb->addWidget(sbPanel0);
  sb->addPermanentWidget(sbPanel1);

  auto MakeTimer = [this](const char *Name, int Interval) {
    auto *T = new QTimer(this);
    T->setObjectName(Name);
    T->setInterval(Interval);
    return T;
  };
  timStatus = MakeTimer("timStatus", 500);
  connect(timStatus, &QTimer::timeout, this, [this] { timStatusTimer(); });
  timTimeOut = MakeTimer("timTimeOut", 1000);
  connect(timTimeOut, &QTimer::timeout, this, [this] {
    static const TSystemClock Clock;
    const TServerTimeOuts ServerSide = this->Server ? ServerTimeOuts(*this->Server) : TServerTimeOuts{};
    TimeOutTick(this->Server ? &ServerSide : nullptr, this->Search.get(), Clock,
                {[this] { timTimeOut->stop(); }, [this] { close(); },
                 [this] { return Settings.MessageDebugMode; }, [this](const std::string &T) { SetSearchStatus(T); }});
  });
  timHint = MakeTimer("timHint", 3000);
  timHintShow = MakeTimer("timHintShow", 1500);
  CreateCommands();
}

void TfrmMain::CreateCommands() {
  TCommandEvents E;
  E.OpenURL = [this](const std::string &Address) { OpenURL(Address); };
  E.ConfirmGotoSite = [this](const std::string &SiteName) { return ConfirmGotoSite(SiteName); };
  E.GetBrowserCommand = [] { return ::GetBrowserCommand(); };
  E.ButtonEnabled = [this](int Index) { return ButtonEnabled(Index); };
  E.StartSearch = [this] { btnFindNowClick(); };
  E.SetSearchType = [](int SearchType) {
    if (Catalogue.SetSearchType)
      Catalogue.SetSearchType(static_cast<TSearchType>(SearchType));
  };
  TCommandControls C;
  C.Window = this;
  C.Handle = Handle();
  C.List = lstProducts;
  C.editSearch = editSearch;
  C.cboSearchType = cboSearchType;
  C.cboFilter = cboFilter;
  C.lblSearchFor = lblSearchFor;
  C.timHint = timHint;
  C.timHintShow = timHintShow;
  C.Pictures = ListPictures.get();
  Commands = std::make_unique<TCommands>(C, std::move(E), this);
  TCommands *K = Commands.get();

  lstProducts->OnColumnClick = [K](TReportListView *, int Column) { K->lstProducts1ColumnClick(Column); };
  lstProducts->OnDblClick = [K](TReportListView *) { K->lstProducts1DblClick(); };
  lstProducts->OnDrawItemProp = [K](TReportListView *, int Item, int SubItem, TOwnerDrawState State, TBrush &Brush,
                                    TFont &Font, const std::string &Text) {
    K->lstProducts2DrawItemProp(Item, SubItem, State, Brush, Font, Text);
  };
  lstProducts->OnColumnSized = [K](TReportListView *, int Column) { K->lstProducts2ColumnSized(Column); };
  lstProducts->OnClickURL = [K](TReportListView *) { K->lstProducts2ClickURL(); };
  lstProducts->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(lstProducts, &QWidget::customContextMenuRequested, this,
          [this](const QPoint &At) { popProducts->popup(lstProducts->viewport()->mapToGlobal(At)); });

  connect(mnuFileLoadPartNos, &QAction::triggered, K, [K] { K->mnuFileLoadPartNosClick(); });
  connect(btnLoad, &QToolButton::clicked, K, [K] { K->mnuFileLoadPartNosClick(); });
  for (QAction *A : {mnuCopy, popCopy})
    connect(A, &QAction::triggered, K, [K] { K->mnuCopyClick(); });
  for (QAction *A : {mnuFind, popFind})
    connect(A, &QAction::triggered, K, [K] { K->mnuFindClick(); });
  for (QAction *A : {mnuLoadPart, popLoadPart})
    connect(A, &QAction::triggered, K, [K] { K->lstProducts1DblClick(); });
  for (QAction *A : {mnuEditDatasheet, popLoadDatasheet})
    connect(A, &QAction::triggered, K, [K] { K->mnuEditDatasheetClick(); });
  connect(mnuList, &QAction::triggered, this, [this] {
    mnuList->setChecked(true);
    mnuDetails->setChecked(false);
  });
  connect(mnuDetails, &QAction::triggered, this, [this] {
    mnuDetails->setChecked(true);
    mnuList->setChecked(false);
  });
  connect(cboSearchType, &QComboBox::activated, K, [K] { K->cboSearchTypeChange(); });
  connect(timHintShow, &QTimer::timeout, K, [K] { K->timHintShowTimer(); });
  connect(timHint, &QTimer::timeout, K, [K] { K->timHintTimer(QCursor::pos()); });
}

HWND TfrmMain::Handle() const { return FWindow->Handle(); }

void TfrmMain::WndProc(TMessage &Message) {
  if (Message.Msg == WM_STARTUP)
    WMStartup();
  else if (Message.Msg == WM_LOADDATASHEET)
    Commands->WMLoadDatasheet();
}

QToolButton *TfrmMain::Button(int Index) const {
  switch (Index) {
  case 0: return btnLoad;
  case 1: return btnSave;
  case 2: return btnPrint;
  case 3: return btnFindNow;
  case 4: return btnStop;
  case 5: return btnNewSearch;
  case 6: return btnShortages;
  default: return nullptr;
  }
}

void TfrmMain::EnableButton(int Index, bool Enabled) {
  if (QToolButton *B = Button(Index))
    B->setEnabled(Enabled);
}

bool TfrmMain::ButtonEnabled(int Index) const {
  const QToolButton *B = Button(Index);
  return B && B->isEnabled();
}

void TfrmMain::FormCreate() {
  ProgramDir = IncludeTrailingBackslash(ProgramDirectory());
  // The word processor and spreadsheet program the list's DOC and XLS
  // exports drive are ours, made in this process.
  RegisterOfficeStandIns();
  try {
    Animator = CreateOleObject("Animate.TAnimator");
    Animator->SetAnimateParent(LendNativeWindow(pnlCart));
    Animator->SetStatusParent(LendNativeWindow(pnlStatus));
  } catch (const std::exception &) {
    // Without the animation server the window works without animation.
  }
  EnableButton(4, false);
  EnableButton(1, false);
  EnableButton(2, false);
  Commands->EvenRowColor = RGBColor(0xCC, 0xCC, 0x99);
  ServerMaxResults = 400;
  StatusTicks = 0;
  for (QWidget *W : {static_cast<QWidget *>(Adverts->gifBanner1), static_cast<QWidget *>(Adverts->gifBanner2),
                     static_cast<QWidget *>(imgLogo)})
    W->setCursor(Qt::PointingHandCursor);
  for (QWidget *P : {pnlBanner, pnlBanner2})
    P->setFixedSize(234, 62);
  pnlHider->setGeometry(0, 0, 234, 62);
  pnlHider2->setGeometry(0, 0, 234, 62);
  Adverts->gifBanner1->setGeometry(0, 0, 234, 62);
  Adverts->gifBanner2->setGeometry(0, 0, 234, 62);
  cboSearchType->setCurrentIndex(0);
  cboFilter->setCurrentIndex(2);

  if (!BindCatalogue(SplashInitProgress))
    return;

  // The server session, created below, starts with empty replies and its
  // update check pending.
  Destroying = false;
  Adverts->BannerRotating = false;
  CreateUpdateCheck();

  HelpMenu = std::make_unique<THelpMenu>(
      mnuHelp, mnuHelpGeneral, [this](const std::string &URL) { OpenURL(URL); }, ProgramDir);
  Settings.SiteEnabled.clear();
  Settings.CurrencyRates.clear();

  HelpMenu->LoadItems(Catalogue.GetHelpMenuItems);
  // Both socket pools belong to the search engine, created with it below.
  Commands->LoadBrowserIcon();
  Commands->LoadSearchHistory();
  LoadSettings();

  if (QScreen *Screen = QGuiApplication::primaryScreen()) {
    const QRect Area = Screen->geometry();
    setGeometry(0, 0, Area.width(), Area.height() - 30);
  }
  setWindowState(windowState() | Qt::WindowMaximized);
  lstProducts->SetColumnAutoHint(3, false);
  lstProducts->setVisible(true);
  FormResize();
  Memo1->setVisible(Settings.DebugMode);

  TStringList Categories;
  Catalogue.LoadCategories(&Categories);
  cboCategory->clear();
  for (int I = 0; I < Categories.Count(); ++I)
    cboCategory->addItem(FromAnsi(Categories[I]));
  cboCategory->setCurrentIndex(0);

  FeatureList = std::make_unique<TStringList>();
  CreateServerSession();
  CreateSearchEngine();

  frmHint = new TfrmHint(this);
  frmHint->lblHint->clear();
  frmHint->move(-500, frmHint->y());
  frmHint->TargetLeft = -500;
  frmHint->OnHintMouseMove = [this] { Commands->lblHintMouseMove(); };
  Commands->Hint = frmHint;
  frmHint->lblHint->setFixedWidth(300);
  move(0, 0);

  gifCart->LoadFromFile(ResolvePath(ProgramDir + "syscrt.sys"));
  Adverts->gifBanner1->LoadFromFile(ResolvePath(ProgramDir + "ad1.sys"));
  Adverts->gifBanner2->LoadFromFile(ResolvePath(ProgramDir + "ad2.sys"));
  Adverts->gifBanner1->SetAnimate(true);
  Adverts->gifBanner2->SetAnimate(true);
  RepaintAnimations();

  // The timers start only now, when everything they touch exists. The
  // time-out timer waits for a conversation to start it.
  timStatus->start();
  timHint->start();
  Created = true;
}

void TfrmMain::btnFindNowClick() {
  if (Search && ButtonEnabled(3))
    Search->btnFindNowClick(ToAnsi(editSearch->currentText()));
}

void TfrmMain::LoadSettings() {
  LoadSettingsValues(Settings, FeatureList.get(), ServerMaxResults, CommandLineArguments());
  mnuKeywordsOnly->setChecked(false);
  pnlHider->setVisible(Settings.MerchantMessages || Settings.BannerTips);
  lblTip->setText(FromAnsi(Settings.Tip));
  Adverts->LoadClickURLs();
}

void TfrmMain::FormResize() {
  RepaintAnimations();
  lstProducts->SetSmallImages(&ListPictures->ilstSmallIcons);
  Commands->LayOutColumns(width());
}

void TfrmMain::showEvent(QShowEvent *Event) {
  QMainWindow::showEvent(Event);
  if (!FShownOnce) {
    FShownOnce = true;
    // The start-up message may open a modal dialog before the layouts have
    // placed the list: place it now, so the columns fit from the start.
    if (Created) {
      if (QLayout *L = centralWidget()->layout())
        L->activate();
      FormResize();
    }
    FormShow();
  }
}

void TfrmMain::FormShow() { PostMessage(Handle(), WM_STARTUP); }

void TfrmMain::changeEvent(QEvent *Event) {
  QMainWindow::changeEvent(Event);
  if (Event->type() == QEvent::ActivationChange && isActiveWindow())
    FormActivate();
}

void TfrmMain::FormActivate() { RepaintAnimations(); }

void TfrmMain::resizeEvent(QResizeEvent *Event) {
  QMainWindow::resizeEvent(Event);
  QueueFormResize();
}

// The column widths follow the list's width, which the layouts settle only
// after the window's own resize: run the handler once they have.
void TfrmMain::QueueFormResize() {
  if (!Created || FResizeQueued)
    return;
  FResizeQueued = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        FResizeQueued = false;
        if (!Destroying)
          FormResize();
      },
      Qt::QueuedConnection);
}

bool TfrmMain::eventFilter(QObject *Watched, QEvent *Event) {
  if (Watched == lstProducts && Event->type() == QEvent::Resize)
    QueueFormResize();
  if (Watched == imgLogo && Event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent *>(Event)->button() == Qt::LeftButton)
    imgLogoClick();
  return QMainWindow::eventFilter(Watched, Event);
}

void TfrmMain::CreateServerSession() {
  TServerEvents E;
  E.Window = Handle();
  E.Closing = [this] { return Closing; };
  E.DebugMode = [this] { return Settings.DebugMode; };
  E.Proxy = [this] {
    return TProxySettings{Settings.UseProxy, Settings.ProxyServer, Settings.ProxyPort, Settings.ProxyUserName,
                          Settings.ProxyPassword};
  };
  E.SetStatus = [this](const std::string &Text, bool Flash) { SetStatus(Text, Flash); };
  E.EnableButton = [this](int Index, bool Enabled) { EnableButton(Index, Enabled); };
  E.OpenURL = [this](const std::string &Address) { OpenURL(Address); };
  E.ProcessUpdatePage = [this](const std::string &Reply) {
    if (Update)
      Update->ProcessUpdatePage(Reply);
  };
  E.EnableTimeOut = [this](bool Enabled) {
    if (Enabled)
      timTimeOut->start();
    else
      timTimeOut->stop();
  };
  E.LoadSettings = [this] { LoadSettings(); };
  E.ShowErrorDialog = [this](bool AllowRetry) { return ErrorConnectingDialog(AllowRetry); };
  E.LogonAccepted = [this](int MaxResults, const std::vector<std::string> &Features) {
    ServerMaxResults = MaxResults;
    FeatureList->Clear();
    for (const std::string &F : Features)
      FeatureList->Add(F);
  };
  E.ReadUserDetails = [](std::string &ID, std::string &Pass) { ReadUserDetails(ID, Pass); };
  E.WriteUserDetails = [](const std::string &ID, const std::string &Pass) { WriteUserDetails(ID, Pass); };
  E.HasCustomerID = [] { return HasCustomerID(); };
  E.ProgramFolder = [this] { return ProgramDir; };
  Server = std::make_unique<TServerSession>(std::move(E));
  connect(btnShortages, &QToolButton::clicked, this, [this] { Server->btnShortagesClick(); });
  mnuSuggestSite->setVisible(true);
  connect(mnuSuggestSite, &QAction::triggered, this,
          [this] { ShowSuggestSite(this, Settings.ProxyPort, Settings.UseProxy, Settings.ProxyServer); });
}

void TfrmMain::CreateSearchEngine() {
  TSearchEvents E;
  E.Closing = [this] { return Closing; };
  E.SetStatus = [this](const std::string &Text, bool Flash) { SetStatus(Text, Flash); };
  E.SetSearchStatus = [this](const std::string &Text) { SetSearchStatus(Text); };
  E.SetSearchCount = [this](const std::string &Text) { SetSearchCount(Text); };
  E.EnableButton = [this](int Index, bool Enabled) { EnableButton(Index, Enabled); };
  E.CategoryIndex = [this] { return cboCategory->currentIndex(); };
  E.CategoryText = [this] { return ToAnsi(cboCategory->currentText()); };
  E.SearchTypeIndex = [this] { return cboSearchType->currentIndex(); };
  E.FilterIndex = [this] { return cboFilter->currentIndex(); };
  E.SettingsChanged = [this] { return SettingsChanged; };
  E.LoadSettings = [this] { LoadSettings(); };
  E.CustomerDetails = [this] { return GetCustomerDetails(); };
  E.ShowResults = [this] {
    if (lstProducts->isHidden()) {
      lstProducts->show();
      FormResize();
    }
  };
  E.SearchStarting = [this](const std::string &, const std::string &FirstTerm) {
    Commands->dlgFind().SetFindText(FirstTerm);
    Memo1->clear();
    mnuFind->setEnabled(true);
    popFind->setEnabled(true);
    for (QWidget *W : {static_cast<QWidget *>(editSearch), static_cast<QWidget *>(cboSearchType),
                       static_cast<QWidget *>(cboFilter), static_cast<QWidget *>(cboCategory)})
      W->setEnabled(false);
    lstProducts->setVisible(true);
    if (frmHint)
      HideHoverHint(*frmHint);
    Commands->AddToSearchHistory();
  };
  E.SearchControlsBack = [this](bool) {
    editSearch->setEnabled(true);
    cboSearchType->setEnabled(true);
    cboCategory->setEnabled(true);
    cboFilter->setEnabled(cboSearchType->currentIndex() == 0);
  };
  E.SearchCleared = [this] {
    mnuFind->setEnabled(false);
    popFind->setEnabled(false);
    Memo1->hide();
    editSearch->setEditText(QString());
  };
  E.Animate = [this](bool On) {
    gifCart->SetAnimate(On);
    if (!On)
      gifCart->SetCurrentFrame(1);
    try {
      if (Animator) {
        if (On)
          Animator->Start();
        else
          Animator->Stop();
      }
    } catch (const std::exception &) {
    }
  };
  E.EnableTimeOut = [this](bool Enabled) {
    if (Enabled)
      timTimeOut->start();
    else
      timTimeOut->stop();
  };
  E.StopBanner = [this] { Adverts->timBanner->stop(); };
  E.SitesStarted = [this] {
    Adverts->LoadAdverts();
    if (!pnlHider->isHidden())
      Adverts->timBannerTimer();
    if (Update)
      Update->StartUpdateCheck();
  };
  E.SendUsageRecord = [this](const TStrings &Terms, const TStrings &Sites) {
    if (Server)
      Server->SendUsageRecord(Terms, Sites);
  };
  E.EndUsageRecord = [this] {
    if (Server && Server->SockUsage.SocketHandle() != -1)
      Server->SockUsage.Disconnect();
  };
  E.Beep = [] { QApplication::beep(); };
  // The statistics window lives beyond the window; it may not exist in tests.
  E.Statistics = [](bool On) {
    if (!frmStatistics)
      return;
    if (On)
      frmStatistics->StartStatistics();
    else
      frmStatistics->StopStatistics();
  };
  E.SiteStarted = [] {
    if (frmStatistics)
      frmStatistics->SetRemaining(frmStatistics->Remaining() - 1);
  };
  E.SiteCompleted = [] {
    if (frmStatistics)
      frmStatistics->SetComplete(frmStatistics->Complete() + 1);
  };
  E.DebugText = [this](const std::string &Text) { Memo1->insertPlainText(FromAnsi(Text)); };
  E.SaveDebugText = [this] { SaveDebugMemo(); };
  Search = std::make_unique<TSearchEngine>(Settings, lstProducts, std::move(E), this);
  if (frmStatistics) {
    frmStatistics->OnSiteEligible = [this](int Site) { return Search && Search->SiteEligible(Site); };
    frmStatistics->OnRepaintAnimations = [this] { RepaintAnimations(); };
    frmStatistics->OnClose = [this] { mnuStatistics->setChecked(false); };
  }
  connect(btnFindNow, &QToolButton::clicked, this, [this] { btnFindNowClick(); });
  connect(btnStop, &QToolButton::clicked, this, [this] { Search->btnStopClick(); });
  connect(btnNewSearch, &QToolButton::clicked, this, [this] { Search->btnNewSearchClick(); });
}

void TfrmMain::CreateOutputCommands() {
  TExportEvents E;
  E.CompareByPartNumber = CompareByPartNumber;
  E.RowsSorted = [this](int Column, int Direction) { Commands->Sort.RowsSortedBy(*lstProducts, Column, Direction); };
  ExportCommands = std::make_unique<TExportCommands>(lstProducts, std::move(E));
  TPrintEvents P;
  P.SearchText = [this] { return ToAnsi(editSearch->currentText()); };
  PrintCommands = std::make_unique<TPrintCommands>(lstProducts, std::move(P), this);
  connect(mnuFileSaveResultsAs, &QAction::triggered, this, [this] { ExportCommands->mnuFileSaveResultsAsClick(); });
  connect(btnSave, &QToolButton::clicked, this, [this] { ExportCommands->mnuFileSaveResultsAsClick(); });
  connect(mnuExportItem, &QAction::triggered, this, [this] { ExportCommands->mnuExportItemClick(); });
  connect(mnuExportLowestPrice, &QAction::triggered, this, [this] { ExportCommands->mnuExportLowestPriceClick(); });
  connect(mnuPrint, &QAction::triggered, this, [this] { PrintCommands->mnuPrintClick(); });
  // The items' state follows the list, so their shortcuts obey the rule the
  // opening menu applies, whenever they are pressed.
  QAbstractItemModel *Rows = lstProducts->model();
  for (auto Signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
    connect(Rows, Signal, this, [this] { mnuFileClick(); });
  connect(Rows, &QAbstractItemModel::modelReset, this, [this] { mnuFileClick(); });
  connect(lstProducts->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { mnuFileClick(); });
  connect(btnPrint, &QToolButton::clicked, this, [this] { PrintCommands->mnuPrintClick(); });
  connect(mnuPrinterSetup, &QAction::triggered, this, [this] { PrintCommands->mnuPrinterSetupClick(); });
}

void TfrmMain::CreateAdverts() {
  TAdvertEvents E;
  E.ProgramDir = IncludeTrailingBackslash(ProgramDirectory());
  E.GetFile = CatalogueFetchFunctions().GetFile;
  E.SetFileGroupLimits = CatalogueFetchFunctions().SetFileGroupLimits;
  E.Proxy = [this] { return ProxySettings(); };
  E.CustomerID = [this] { return Server ? Server->CustomerID : std::string(); };
  E.Stopping = [this] { return !Search || Search->Stopping; };
  E.CategoryIndex = [this] { return cboCategory->currentIndex(); };
  E.CategoryText = [this] { return ToAnsi(cboCategory->currentText()); };
  E.OpenURL = [this](const std::string &URL) { OpenURL(URL); };
  Adverts = std::make_unique<TAdverts>(Settings, CatalogueAdvertSites(), std::move(E), pnlHider2, pnlHider);
}

void TfrmMain::CreateUpdateCheck() {
  TUpdateEvents E;
  E.ProgramDir = ProgramDir;
  E.Closing = [this] { return Closing; };
  E.Proxy = [this] { return ProxySettings(); };
  E.RequestUpdatePage = [this] {
    if (Server)
      Server->CheckForUpdates();
  };
  E.CheckLibraryVersion = [] { return CheckLibraryVersion(); };
  E.SetLibraryVersion = [](int Version) { SetLibraryVersion(Version); };
  E.SetDownloadStarted = [] { SetDownloadStarted(); };
  E.SetDownloadEnded = [] { SetDownloadEnded(); };
  Update = std::make_unique<TUpdateCheck>(std::move(E), CatalogueFetchFunctions());
}

TProxySettings TfrmMain::ProxySettings() const {
  return TProxySettings{Settings.UseProxy, Settings.ProxyServer, Settings.ProxyPort, Settings.ProxyUserName,
                        Settings.ProxyPassword};
}

void TfrmMain::WMStartup() {
  // Without the catalogue there is no session, and the window is closing.
  if (Closing || !Server)
    return;
  if (!Server->Connected) {
    if (!Server->CheckConnection()) {
      // The check and the dialog let messages run: the window may be closing.
      if (Closing)
        return;
      const bool TryAgain = Server->ShowErrorConnecting(true);
      if (Closing)
        return;
      PostMessage(Handle(), WM_STARTUP);
      if (!TryAgain)
        close();
      return;
    }
    if (Closing)
      return;
  }
  if (!Server->Connected)
    return;
  bool NoDetails = false;
  Server->Logon(NoDetails);
}

void TfrmMain::RepaintAnimations() {
  if (Destroying)
    return;
  try {
    TPellGifImage *gifBanner1 = Adverts->gifBanner1;
    const bool CartOn = gifCart->Animate(), BannerOn = gifBanner1->Animate();
    gifCart->SetAnimate(false);
    gifBanner1->SetAnimate(false);
    ProcessMessages();
    if (Destroying)
      return;
    gifBanner1->DrawFrame();
    gifBanner1->Repaint();
    ProcessMessages();
    if (Destroying)
      return;
    gifCart->DrawFrame();
    gifCart->Repaint();
    ProcessMessages();
    if (Destroying)
      return;
    gifCart->SetAnimate(CartOn);
    gifBanner1->SetAnimate(BannerOn);
  } catch (const std::exception &) {
  }
}

void TfrmMain::SetStatus(const std::string &Text, bool Flash) {
  setWindowTitle(FromAnsi(Text.empty() ? std::string(MainWindowTitle) : std::string(MainWindowTitle) + " - " + Text));
  if (Settings.MessageDebugMode)
    Log(FormatDateTime("dd/mm/yyyy hh:mm:ss", Now()) + " - " + IntToStr(ActiveCount()) + " - " + Text);
  if (Animator) {
    try {
      Animator->DisplayStatus(Text, Flash);
    } catch (const std::exception &) {
    }
  }
  lblStatus->setText(FromAnsi(Text));
  sbPanel0->setText(FromAnsi(Text));
}

void TfrmMain::SetSearchStatus(const std::string &Text) {
  if (Settings.MessageDebugMode)
    Log(FormatDateTime("dd/mm/yyyy hh:mm:ss", Now()) + " - " + IntToStr(ActiveCount()) + " - " + Text);
  LastSearchStatus = Text;
  sbPanel0->setText(FromAnsi(Text));
  lblSearchInfo->setText(FromAnsi(Text));
}

void TfrmMain::SetSearchCount(const std::string &Text) {
  sbPanel1->setText(FromAnsi(Text));
  lblSearchCount->setText(FromAnsi(Text));
}

void TfrmMain::timStatusTimer() {
  ++StatusTicks;
  if (timStatus->interval() * StatusTicks == 15000) {
    lblTip->setText(FromAnsi(GetRandomTip()));
    StatusTicks = 0;
  }
}

std::string TfrmMain::GetRandomTip() { return ::GetRandomTip(); }

std::string TfrmMain::GetCustomerDetails() const {
  return Server ? CustomerDetailsText(Server->CustomerID, Server->Password) : CustomerDetailsText("", "");
}

int TfrmMain::ActiveCount() const { return Search ? Search->ActiveCount() : 0; }

bool TfrmMain::SessionsOpen() const {
  if (Server && Server->SessionsOpen())
    return true;
  return Search && Search->SocketsOpen();
}

void TfrmMain::FinishSearch() {
  if (Search)
    Search->FinishSearch();
}

void TfrmMain::closeEvent(QCloseEvent *Event) {
  FormClose();
  Event->accept();
}

void TfrmMain::FormClose() {
  Closing = true;
  try {
    if (ActiveCount() > 0)
      FinishSearch();
    if (Catalogue.SetSiteSearchStopped)
      Catalogue.SetSiteSearchStopped(1);
    if (Update)
      Update->TerminateUpdateDownload(fgUpdate);
    if (hPrimary) {
      if (Server)
        Server->CloseSessions();
      if (ActiveCount() > 0)
        for (int Round = 0; Round < 51 && SessionsOpen(); ++Round) {
          ProcessMessages();
          std::this_thread::sleep_for(std::chrono::milliseconds(1000));
          FinishSearch();
        }
      timStatus->stop();
      timTimeOut->stop();
    }
  } catch (const std::exception &) {
  }
  RequestTerminate();
}

void TfrmMain::FormDestroy() {
  Destroying = true;
  // Let go of the server's object while its windows still sit in our panels.
  Animator.reset();
  try {
    Adverts->gifBanner1->SetAnimate(false);
    hide();
    Adverts->timBanner->stop();
    timHint->stop();
    timHintShow->stop();
    if (hPrimary) {
      ProcessMessages();
      // Its rows and sockets go before the catalogue they refer to.
      Search.reset();
      // Late callbacks of the banners' and the download's fetches find nothing.
      Adverts.reset();
      Update.reset();
      Settings.CurrencyRates.clear();
      FeatureList.reset();
      Settings.SiteEnabled.clear();
      delete frmHint;
      frmHint = nullptr;
      HelpMenu.reset();
      Commands->SaveSearchHistory();
      UnbindCatalogue();
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  } catch (const std::exception &) {
  }
  // Nothing of the window may run from the loop any more.
  if (frmStatistics) {
    frmStatistics->OnSiteEligible = nullptr;
    frmStatistics->OnRepaintAnimations = nullptr;
    frmStatistics->OnClose = nullptr;
  }
  timStatus->stop();
  timTimeOut->stop();
  FBeacon.reset();
}

void TfrmMain::popProductsPopup() {
  const bool Selected = lstProducts->currentIndex().isValid() && lstProducts->selectionModel() &&
                        lstProducts->selectionModel()->hasSelection();
  for (QAction *A : {mnuCopy, mnuLoadPart, mnuEditDatasheet, popCopy, popLoadPart, popLoadDatasheet})
    A->setEnabled(Selected);
}

void TfrmMain::lstProducts1MouseMove(int X, int Y) {
  if (frmHint)
    ::lstProducts1MouseMove(*lstProducts, *frmHint, *timHintShow, X, Y);
}

// A failed save (no "c:\temp" folder, say) is reported as the message loop
// reports any error, but here: the search's finish may run inside a site
// library's page procedure, which nothing may unwind.
void TfrmMain::SaveDebugMemo() {
  if (!Settings.DebugMode)
    return;
  try {
    TStringList Lines;
    Lines.SetText(ToAnsi(Memo1->toPlainText()));
    Lines.SaveToFile(ResolvePath("c:\\temp\\tamble.txt"));
  } catch (const std::exception &E) {
    ShowException(E);
  }
}

void TfrmMain::mnuFileClick() {
  const bool Rows = lstProducts->ItemCount() > 0;
  const bool Selected = lstProducts->selectionModel() && lstProducts->selectionModel()->hasSelection();
  mnuPrint->setEnabled(Rows);
  mnuFileSaveResultsAs->setEnabled(Rows);
  mnuExportLowestPrice->setEnabled(Rows);
  mnuExportItem->setEnabled(Selected);
}

void TfrmMain::mnuStatisticsClick() {
  // The action has toggled its check already.
  if (frmStatistics)
    frmStatistics->setVisible(mnuStatistics->isChecked());
  RepaintAnimations();
}

void TfrmMain::mnuKeywordsOnlyClick() {
  WriteSettingBool("Advanced", "AllSearchWords", mnuKeywordsOnly->isChecked());
  SettingsChanged = true;
  if (!lstProducts->isHidden())
    MessageBox("Your changes will not take effect\r\nuntil the next time you search.", ApplicationTitle(),
               MB_OK | MB_ICONINFORMATION);
}

void TfrmMain::OpenURL(const std::string &Address) { ::OpenURL(Address, Settings.LinkType, ProgramDir); }

bool TfrmMain::ConfirmGotoSite(const std::string &SiteName) {
  return ::ConfirmGotoSite(SiteName, Settings.ShowGoSite, Settings.GoSite, this);
}

void TfrmMain::mnuHelpSupportClick() { OpenURL(std::string("mailto:") + SupportMailAddress); }

void TfrmMain::imgLogoClick() { OpenURL(ProductWebAddress); }

void TfrmMain::mnuAboutClick() {
  TfrmAbout About(this, [this](const std::string &URL) { OpenURL(URL); }, [this] { RepaintAnimations(); });
  About.exec();
}

// After either dialog's OK: at once when no site is being searched, else at
// the next search.
static void SettingsTakeEffect(TfrmMain &Main) {
  if (!Main.lstProducts->isHidden())
    MessageBox("Your changes will not take effect\r\nuntil the next time you search.", ApplicationTitle(),
               MB_OK | MB_ICONINFORMATION);
  if (Main.ActiveCount() != 0)
    Main.SettingsChanged = true;
  else
    Main.LoadSettings();
}

void TfrmMain::mnuOptionsClick() {
  if (!Created)
    return;
  int Result;
  {
    THourglass Wait;
    TOptionsEvents E;
    E.GetBrowserCommand = [] { return ::GetBrowserCommand(); };
    E.OpenURL = [this](const std::string &Address) { OpenURL(Address); };
    E.SetLinkType = [this](int LinkType) { Settings.LinkType = LinkType; };
    E.AdvancedFilter = [this] { mnuAdvanced->trigger(); };
    E.RepaintAnimations = [this] { RepaintAnimations(); };
    E.BrowserIcon = ListPictures->ilstSmallIcons.Image(1);
    E.Rates = BindRatewell();
    TfrmOptions Options(std::move(E), this);
    Options.Features = FeatureList.get();
    RestoreCursor();
    Result = Options.exec();
  }
  if (Result == QDialog::Accepted)
    SettingsTakeEffect(*this);
}

void TfrmMain::mnuAdvancedClick() {
  if (!Created)
    return;
  TfrmFilter Filter([this](bool Checked) { mnuKeywordsOnly->setChecked(Checked); }, this);
  if (Filter.exec() == QDialog::Accepted)
    SettingsTakeEffect(*this);
}

void TfrmMain::CreateHandle() {
  if (FBeacon)
    return;
  FBeacon = std::make_unique<TWindowBeacon>(MainWindowClass, MainWindowTitle);
  FBeacon->OnShow = [this] { ShowFromOtherCopy(); };
  FBeacon->Listen();
}

void TfrmMain::ShowFromOtherCopy() {
  if (isMinimized())
    showNormal();
  else {
    raise();
    activateWindow();
  }
}

void GiveUpTimeSlice() { YieldProcessor(); }
