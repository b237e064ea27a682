#include "client/options/uoptions.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "client/settings/uProxyLogin.h"
#include "client/settings/uSettings.h"
#include "client/uCatalogue.h"
#include "common/Common.h"
#include "components/GlyphChkLs.h"
#include "platform/Dialogs.h"
#include "platform/qt/Messages.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/gui/Cursor.h"
#include "platform/gui/EditControls.h"
#include "platform/qt/Codepage.h"

using namespace kv;

TfrmOptions *ActiveOptions = nullptr;

namespace {

constexpr const char *ProxyDictionaryEntry = "http://foldoc.org/proxy+server";
constexpr const char *PortDictionaryEntry = "http://foldoc.org/port";
constexpr const char *AddSitePage = "/kv_homepage/add_site.asp";

// The "new" mark drawn after a new site's name: 30 x 16 on pure red, which
// the list draws as transparent.
QPixmap MakeNewPicture() {
  QPixmap P(30, 16);
  P.fill(QColor(255, 0, 0));
  QPainter G(&P);
  G.fillRect(QRect(1, 2, 28, 12), QColor(255, 204, 0));
  QFont F = G.font();
  F.setPixelSize(9);
  F.setBold(true);
  G.setFont(F);
  G.setPen(QColor(128, 0, 0));
  G.drawText(QRect(1, 2, 28, 12), Qt::AlignCenter, "NEW");
  return P;
}

QLabel *Label(const char *Name, const char *Caption, QWidget *Parent, QWidget *Buddy = nullptr) {
  auto *L = new QLabel(Caption, Parent);
  L->setObjectName(Name);
  if (Buddy)
    L->setBuddy(Buddy);
  return L;
}

template <typename T> T *Named(T *W, const char *Name) {
  W->setObjectName(Name);
  return W;
}

QLineEdit *ReadOnlyEdit(const char *Name, QWidget *Parent) {
  auto *E = Named(new TEdit(Parent), Name);
  E->setReadOnly(true);
  return E;
}

// Selects the item whose text equals Text ignoring case; none when no item does.
void SelectComboText(QComboBox *Combo, const std::string &Text) {
  Combo->setCurrentIndex(-1);
  for (int I = 0; I < Combo->count(); ++I)
    if (UpperCase(ToAnsi(Combo->itemText(I))) == UpperCase(Text)) {
      Combo->setCurrentIndex(I);
      return;
    }
}

void FillCombo(QComboBox *Combo, primary::TLoadList Loader, bool Sorted) {
  TStringList Items;
  Loader(&Items);
  if (Sorted)
    Items.Sort();
  Combo->clear();
  for (int I = 0; I < Items.Count(); ++I)
    Combo->addItem(FromAnsi(Items[I]));
}

// The browser's name: its program's file name cut before the first ".";
// empty when the name has no dot.
std::string BrowserName(const std::string &Command) {
  const std::string File = ExtractFileName(Command);
  const size_t Dot = File.find('.');
  return Dot == std::string::npos ? std::string() : File.substr(0, Dot);
}

}  // namespace

TfrmOptions::TfrmOptions(TOptionsEvents Events, QWidget *Parent) : QDialog(Parent), FEvents(std::move(Events)) {
  setObjectName("frmOptions");
  setWindowTitle("Korvandel(tm) Options");
  setWindowFlags(Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  BuildComponents();
}

TfrmOptions::~TfrmOptions() {
  if (ActiveOptions == this)
    ActiveOptions = nullptr;
}

void TfrmOptions::BuildComponents() {
  auto *Column = new QVBoxLayout(this);
  pagOptions = Named(new QTabWidget(this), "pagOptions");
  tabSites = BuildSitesPage();
  tabProxy = BuildProxyPage();
  tabCurrency = BuildCurrencyPage();
  tabAdvanced = BuildAdvancedPage();
  tabBrowser = BuildBrowserPage();
  tabBanner = BuildBannerPage();
  pagOptions->addTab(tabSites, "Distributor Sites");
  pagOptions->addTab(tabProxy, "Proxy");
  pagOptions->addTab(tabCurrency, "Currency");
  pagOptions->addTab(tabAdvanced, "Advanced");
  pagOptions->addTab(tabBrowser, "Browser");
  pagOptions->addTab(tabBanner, "Banner");
  pagOptions->setTabVisible(pagOptions->indexOf(tabCurrency), false);
  pagOptions->setTabVisible(pagOptions->indexOf(tabBanner), false);
  Column->addWidget(pagOptions);

  auto *Bottom = new QHBoxLayout;
  proRatewell = Named(new QProgressBar(this), "proRatewell");
  proRatewell->setToolTip("Updating prices from internet");
  proRatewell->hide();
  btnOK = Named(new QPushButton("OK", this), "btnOK");
  btnOK->setDefault(true);
  btnCancel = Named(new QPushButton("Cancel", this), "btnCancel");
  Bottom->addWidget(proRatewell, 1);
  Bottom->addStretch();
  Bottom->addWidget(btnOK);
  Bottom->addWidget(btnCancel);
  Column->addLayout(Bottom);
  connect(btnOK, &QPushButton::clicked, this, [this] { done(QDialog::Accepted); });
  connect(btnCancel, &QPushButton::clicked, this, [this] { done(QDialog::Rejected); });
  resize(560, 420);
}

QWidget *TfrmOptions::BuildSitesPage() {
  auto *Page = Named(new QWidget, "tabSites");
  auto *Grid = new QGridLayout(Page);
  lbSites = Named(new TGlyphCheckList(Page), "lbSites");
  lbSites->SetItemHeight(16);
  lbSites->OnDrawItem = [this](TGlyphCheckList *, QPainter *Canvas, int Index, const TRect &Rect, TOwnerDrawState) {
    lbSitesDrawItem(Canvas, Index, Rect);
  };
  lbSites->viewport()->installEventFilter(this);
  lbSites->installEventFilter(this);
  connect(lbSites, &QListWidget::currentRowChanged, this, [this] { lbSitesClick(); });
  lblNoSites = Label("lblNoSites", "", Page);
  btnSelectAll = Named(new QPushButton("&Select All", Page), "btnSelectAll");
  btnDeSelectAll = Named(new QPushButton("&Deselect All", Page), "btnDeSelectAll");
  connect(btnSelectAll, &QPushButton::clicked, this, [this] { btnSelectAllClick(true); });
  connect(btnDeSelectAll, &QPushButton::clicked, this, [this] { btnSelectAllClick(false); });

  pnlFilterCategory = Named(new QWidget(Page), "pnlFilterCategory");
  auto *FilterRow = new QHBoxLayout(pnlFilterCategory);
  FilterRow->setContentsMargins(0, 0, 0, 0);
  cbCategories = Named(new QComboBox(pnlFilterCategory), "cbCategories");
  FilterRow->addWidget(Label("lblFilterCategory", "Filter by Category:", pnlFilterCategory, cbCategories));
  FilterRow->addWidget(cbCategories, 1);
  connect(cbCategories, &QComboBox::activated, this, [this] { cbCategoriesClick(); });

  auto *Left = new QVBoxLayout;
  Left->addWidget(pnlFilterCategory);
  Left->addWidget(lbSites, 1);
  Left->addWidget(lblNoSites);
  auto *Buttons = new QHBoxLayout;
  Buttons->addWidget(btnSelectAll);
  Buttons->addWidget(btnDeSelectAll);
  Left->addLayout(Buttons);
  Grid->addLayout(Left, 0, 0);

  auto *Details = new QGridLayout;
  editURL = ReadOnlyEdit("editURL", Page);
  lblURL = Label("lblURL", "URL:", Page, editURL);
  btnURL = Named(new QToolButton(Page), "btnURL");
  if (!FEvents.BrowserIcon.isNull())
    btnURL->setIcon(FEvents.BrowserIcon);
  else
    btnURL->setText("...");
  connect(btnURL, &QToolButton::clicked, this, [this] { btnURLClick(); });
  editLocation = ReadOnlyEdit("editLocation", Page);
  editCurrency = ReadOnlyEdit("editCurrency", Page);
  editLanguage = ReadOnlyEdit("editLanguage", Page);
  lbCategories = Named(new QListWidget(Page), "lbCategories");
  Details->addWidget(lblURL, 0, 0);
  Details->addWidget(editURL, 0, 1);
  Details->addWidget(btnURL, 0, 2);
  Details->addWidget(Label("lblLocation", "Location:", Page, editLocation), 1, 0);
  Details->addWidget(editLocation, 1, 1, 1, 2);
  Details->addWidget(Label("lblCurrency", "Currency:", Page, editCurrency), 2, 0);
  Details->addWidget(editCurrency, 2, 1, 1, 2);
  Details->addWidget(Label("lblLanguage", "Language:", Page, editLanguage), 3, 0);
  Details->addWidget(editLanguage, 3, 1, 1, 2);
  Details->addWidget(Label("lblCategories", "Categories:", Page, lbCategories), 4, 0, Qt::AlignTop);
  Details->addWidget(lbCategories, 4, 1, 1, 2);

  pnlSiteUserInfo = Named(new QGroupBox("Pay Site User Details:", Page), "pnlSiteUserInfo");
  auto *Login = new QFormLayout(pnlSiteUserInfo);
  edtUserName = Named(new TEdit(pnlSiteUserInfo), "edtUserName");
  edtPassword = Named(new TEdit(pnlSiteUserInfo), "edtPassword");
  edtPassword->setEchoMode(QLineEdit::Password);
  Login->addRow(Label("lblUserName", "User Name:", pnlSiteUserInfo, edtUserName), edtUserName);
  Login->addRow(Label("lblPassword", "Password:", pnlSiteUserInfo, edtPassword), edtPassword);
  connect(edtUserName, &QLineEdit::editingFinished, this, [this] { edtUserNameExit(); });
  connect(edtPassword, &QLineEdit::editingFinished, this, [this] { edtPasswordExit(); });
  pnlSiteUserInfo->hide();
  Details->addWidget(pnlSiteUserInfo, 5, 0, 1, 3);

  imgMerchantRating = Label("imgMerchantRating", "Merchant rating", Page);
  imgMerchantRating->setCursor(Qt::PointingHandCursor);
  imgMerchantRating->installEventFilter(this);
  lblSuggestASite = Label("lblSuggestASite", "Suggest a new site...", Page);
  lblSuggestASite->setCursor(Qt::PointingHandCursor);
  lblSuggestASite->installEventFilter(this);
  auto *Links = new QHBoxLayout;
  Links->addWidget(imgMerchantRating);
  Links->addStretch();
  Links->addWidget(lblSuggestASite);
  Details->addLayout(Links, 6, 0, 1, 3);
  Grid->addLayout(Details, 0, 1);
  Grid->setColumnStretch(0, 1);
  Grid->setColumnStretch(1, 1);
  return Page;
}

QWidget *TfrmOptions::BuildProxyPage() {
  auto *Page = Named(new QWidget, "tabProxy");
  auto *Grid = new QGridLayout(Page);
  // Created row by row: Tab goes in this order.
  chkUseProxy = Named(new QCheckBox("&Use HTTP Proxy", Page), "chkUseProxy");
  editHost = Named(new TEdit(Page), "editHost");
  btnLookUpProxy = Named(new QPushButton("&Look it up", Page), "btnLookUpProxy");
  editPort = Named(new TEdit("80", Page), "editPort");
  btnLookUpPort = Named(new QPushButton("Loo&k it up", Page), "btnLookUpPort");
  edtProxyUserName = Named(new TEdit(Page), "edtProxyUserName");
  edtProxyPassword = Named(new TEdit(Page), "edtProxyPassword");
  edtProxyPassword->setEchoMode(QLineEdit::Password);
  lblHost = Label("lblHost", "&Host:", Page, editHost);
  lblPort = Label("lblPort", "&Port:", Page, editPort);
  lblProxyUserName = Label("lblProxyUserName", "&User Name:", Page, edtProxyUserName);
  lblProxyPassword = Label("lblProxyPassword", "P&assword:", Page, edtProxyPassword);
  Grid->addWidget(chkUseProxy, 0, 0, 1, 3);
  Grid->addWidget(lblHost, 1, 0);
  Grid->addWidget(editHost, 1, 1);
  Grid->addWidget(btnLookUpProxy, 1, 2);
  Grid->addWidget(lblPort, 2, 0);
  Grid->addWidget(editPort, 2, 1);
  Grid->addWidget(btnLookUpPort, 2, 2);
  Grid->addWidget(lblProxyUserName, 3, 0);
  Grid->addWidget(edtProxyUserName, 3, 1);
  Grid->addWidget(lblProxyPassword, 4, 0);
  Grid->addWidget(edtProxyPassword, 4, 1);
  Grid->setRowStretch(5, 1);
  for (QWidget *W : std::initializer_list<QWidget *>{editHost, editPort, edtProxyUserName, edtProxyPassword, lblHost,
                                                    lblPort, lblProxyUserName, lblProxyPassword})
    W->setEnabled(false);
  connect(chkUseProxy, &QCheckBox::toggled, this, [this] { chkUseProxyClick(); });
  connect(btnLookUpProxy, &QPushButton::clicked, this, [this] { btnLookUpProxyClick(); });
  connect(btnLookUpPort, &QPushButton::clicked, this, [this] { btnLookUpPortClick(); });
  return Page;
}

QWidget *TfrmOptions::BuildCurrencyPage() {
  auto *Page = Named(new QWidget, "tabCurrency");
  auto *Column = new QVBoxLayout(Page);
  sbCurrencies = Named(new QScrollArea(Page), "sbCurrencies");
  sbCurrenciesContents = new QWidget;
  sbCurrencies->setWidget(sbCurrenciesContents);
  sbCurrencies->setMinimumHeight(150);
  sbCurrencies->viewport()->installEventFilter(this);
  cbCurrencies = Named(new QComboBox(Page), "cbCurrencies");
  lblLocalCurrency = Label("lblLocalCurrency", "Local Currency:", Page, cbCurrencies);
  chkConvertCurrency = Named(new QCheckBox("&Convert to Local Currency", Page), "chkConvertCurrency");
  chkAutoUpdate = Named(new QCheckBox("&Automatically Update Exchange Rates", Page), "chkAutoUpdate");
  btnUpdate = Named(new QPushButton("&Update Exchange Rates from Internet", Page), "btnUpdate");
  Column->addWidget(sbCurrencies, 1);
  auto *Local = new QHBoxLayout;
  Local->addWidget(lblLocalCurrency);
  Local->addWidget(cbCurrencies, 1);
  Column->addLayout(Local);
  Column->addWidget(chkConvertCurrency);
  Column->addWidget(chkAutoUpdate);
  Column->addWidget(btnUpdate);
  connect(chkConvertCurrency, &QCheckBox::toggled, this, [this] { chkConvertCurrencyClick(); });
  connect(cbCurrencies, &QComboBox::currentIndexChanged, this, [this] { cbCurrenciesChange(); });
  connect(btnUpdate, &QPushButton::clicked, this, [this] { btnUpdateClick(); });
  return Page;
}

QWidget *TfrmOptions::BuildAdvancedPage() {
  auto *Page = Named(new QWidget, "tabAdvanced");
  auto *Grid = new QGridLayout(Page);
  chkLimitResults = Named(new QCheckBox("Limit Search Results", Page), "chkLimitResults");
  editMaxResults = Named(new TEdit(Page), "editMaxResults");
  lblMaxResults = Label("lblMaxResults", "Maximum Results:", Page, editMaxResults);
  rbTotal = Named(new QRadioButton("In Total", Page), "rbTotal");
  rbPerSite = Named(new QRadioButton("Per Site", Page), "rbPerSite");
  rbTotal->setChecked(true);
  for (QWidget *W : std::initializer_list<QWidget *>{lblMaxResults, editMaxResults, rbTotal, rbPerSite})
    W->setEnabled(false);
  edtMaxSockets = Named(new QSpinBox(Page), "edtMaxSockets");
  edtMaxSockets->setRange(1, 32);
  chkInStockOnly = Named(new QCheckBox("Only show items which are \"In Stock\" ", Page), "chkInStockOnly");
  btnAdvancedFilter = Named(new QPushButton("Advanced Filter...", Page), "btnAdvancedFilter");
  Grid->addWidget(chkLimitResults, 0, 0, 1, 2);
  Grid->addWidget(lblMaxResults, 1, 0);
  Grid->addWidget(editMaxResults, 1, 1);
  Grid->addWidget(rbTotal, 2, 0);
  Grid->addWidget(rbPerSite, 2, 1);
  Grid->addWidget(Label("lblMaxSockets", "Maximum Simultaneous Searches", Page, edtMaxSockets), 3, 0);
  Grid->addWidget(edtMaxSockets, 3, 1);
  Grid->addWidget(chkInStockOnly, 4, 0, 1, 2);
  Grid->addWidget(btnAdvancedFilter, 5, 0);

  pnlSearchLimitOptions = Named(new QWidget(Page), "pnlSearchLimitOptions");
  auto *Limits = new QGridLayout(pnlSearchLimitOptions);
  chkLocalSites = Named(new QCheckBox("Limit search to local country", pnlSearchLimitOptions), "chkLocalSites");
  chkRegion = Named(new QCheckBox("Limit search to geographical region", pnlSearchLimitOptions), "chkRegion");
  chkLanguage = Named(new QCheckBox("Limit search by language", pnlSearchLimitOptions), "chkLanguage");
  cbCountries = Named(new QComboBox(pnlSearchLimitOptions), "cbCountries");
  cbRegion = Named(new QComboBox(pnlSearchLimitOptions), "cbRegion");
  cbLanguage = Named(new QComboBox(pnlSearchLimitOptions), "cbLanguage");
  for (QComboBox *C : {cbCountries, cbRegion, cbLanguage})
    C->setEnabled(false);
  Limits->addWidget(chkLocalSites, 0, 0);
  Limits->addWidget(cbCountries, 0, 1);
  Limits->addWidget(chkRegion, 1, 0);
  Limits->addWidget(cbRegion, 1, 1);
  Limits->addWidget(chkLanguage, 2, 0);
  Limits->addWidget(cbLanguage, 2, 1);
  Grid->addWidget(pnlSearchLimitOptions, 6, 0, 1, 2);
  Grid->setRowStretch(7, 1);
  connect(chkLimitResults, &QCheckBox::toggled, this, [this] { chkLimitResultsClick(); });
  connect(chkLocalSites, &QCheckBox::toggled, this, [this] { chkLocalSitesClick(); });
  connect(chkRegion, &QCheckBox::toggled, this, [this] { chkRegionClick(); });
  connect(chkLanguage, &QCheckBox::toggled, this, [this] { chkLanguageClick(); });
  connect(btnAdvancedFilter, &QPushButton::clicked, this, [this] { btnAdvancedFilterClick(); });
  return Page;
}

QWidget *TfrmOptions::BuildBrowserPage() {
  auto *Page = Named(new QWidget, "tabBrowser");
  auto *Column = new QVBoxLayout(Page);
  edtBrowser = ReadOnlyEdit("edtBrowser", Page);
  btnDefault = Named(new QRadioButton("Default method", Page), "btnDefault");
  btnDirect = Named(new QRadioButton("Direct link to ", Page), "btnDirect");
  btnOle = Named(new QRadioButton("OLE link to ", Page), "btnOle");
  btnDefault->setChecked(true);
  Column->addWidget(Label("lblBrowser", "Your default browser is:", Page, edtBrowser));
  Column->addWidget(edtBrowser);
  Column->addWidget(btnDefault);
  Column->addWidget(btnDirect);
  Column->addWidget(btnOle);
  Column->addStretch();
  connect(edtBrowser, &QLineEdit::textChanged, this, [this] { edtBrowserChange(); });
  const std::pair<QRadioButton *, int> Links[] = {{btnDefault, 0}, {btnDirect, 1}, {btnOle, 2}};
  for (const auto &[Button, Type] : Links)
    connect(Button, &QRadioButton::toggled, this, [this, Type = Type](bool On) {
      if (On && FEvents.SetLinkType)
        FEvents.SetLinkType(Type);
    });
  return Page;
}

QWidget *TfrmOptions::BuildBannerPage() {
  auto *Page = Named(new QWidget, "tabBanner");
  auto *Column = new QVBoxLayout(Page);
  chkMerchantMessages = Named(new QCheckBox("Display Merchant Banners", Page), "chkMerchantMessages");
  chkBannerTips = Named(new QCheckBox("Display Korvandel Banners", Page), "chkBannerTips");
  Column->addWidget(chkMerchantMessages);
  Column->addWidget(chkBannerTips);
  Column->addStretch();
  return Page;
}

void TfrmOptions::showEvent(QShowEvent *Event) {
  QDialog::showEvent(Event);
  ActiveOptions = this;
  // Loaded once: coming back from a message box or another program keeps
  // what the user has changed so far.
  if (!FLoaded) {
    FLoaded = true;
    try {
      FormCreate();
    } catch (const std::exception &E) {
      // Half-loaded controls would be saved over the settings: the dialog
      // says why and can only be cancelled.
      FLoadFailed = true;
      pagOptions->setEnabled(false);
      btnOK->setEnabled(false);
      ShowException(E);
    }
  }
}

void TfrmOptions::btnAdvancedFilterClick() {
  if (!FEvents.AdvancedFilter)
    return;
  // The filter saves the in-stock choice itself; what it saved is what this
  // dialog shows and saves from then on.
  const bool Before = ReadSettingBool("Advanced", "InStockOnly", false);
  FEvents.AdvancedFilter();
  const bool After = ReadSettingBool("Advanced", "InStockOnly", false);
  if (After != Before)
    chkInStockOnly->setChecked(After);
}

void TfrmOptions::FormCreate() {
  THourglass Wait;
  // The login conversion and the save at the end go in one write.
  TRegistryBatch Batch;
  NewPicture = MakeNewPicture();
  MergeConfigSites();
  SiteList.clear();

  // Proxy logins stored plain by older versions are scrambled first.
  {
    TRegistry Reg;
    Reg.SetRootKey(HKEY_LOCAL_MACHINE);
    if (Reg.OpenKey(SettingsKey, false))
      ConvertProxyLogin(Reg);
  }
  chkUseProxy->setChecked(ReadSettingBool("", "ProxyInfoSaved", false));
  editHost->setText(FromAnsi(ReadSettingString("", "ProxyServer", "")));
  editPort->setText(FromAnsi(ReadSettingString("", "ProxyPort", "80")));
  edtProxyUserName->setText(FromAnsi(DeCryptString(ReadSettingString("", "ProxyUserName", ""))));
  edtProxyPassword->setText(FromAnsi(DeCryptString(ReadSettingString("", "ProxyPassword", ""))));
  if (chkUseProxy->isChecked() && editHost->text().isEmpty() && editPort->text().isEmpty())
    chkUseProxy->setChecked(false);

  edtMaxSockets->setValue(ReadSettingInteger("Advanced", "MaxSockets", 16));

  SiteList = BuildSiteList();
  FillCombo(cbCategories, Catalogue.LoadCategories, false);
  cbCategories->setCurrentIndex(0);
  FillSiteList();

  chkConvertCurrency->setChecked(ReadSettingBool("Currency", "ConvertToLocal", true));
  chkAutoUpdate->setChecked(ReadSettingBool("Currency", "AutoUpdate", true));
  FillCurrencies();
  LoadRates();

  chkLocalSites->setChecked(ReadSettingBool("Advanced", "FindLocalSites", false));
  chkRegion->setChecked(ReadSettingBool("Advanced", "RegionSites", false));
  chkLanguage->setChecked(ReadSettingBool("Advanced", "LanguageSites", false));
  FillCombo(cbCountries, Catalogue.LoadCountries, false);
  FillCombo(cbRegion, Catalogue.LoadRegions, true);
  FillCombo(cbCurrencies, Catalogue.LoadCurrencies, false);
  FillCombo(cbLanguage, Catalogue.LoadLanguages, true);
  SelectComboText(cbLanguage, ReadSettingString("Advanced", "Language", ""));
  const int Country = ReadSettingInteger("Advanced", "LocalCountry", -1);
  cbCountries->setCurrentIndex(Country >= -1 && Country < cbCountries->count() ? Country : -1);
  const std::string Region = ReadSettingString("Advanced", "Region", "");
  int RegionIndex = 0;
  for (int I = 0; I < cbRegion->count(); ++I)
    if (ToAnsi(cbRegion->itemText(I)) == Region)
      RegionIndex = I;
  cbRegion->setCurrentIndex(cbRegion->count() > 0 ? RegionIndex : -1);
  const int Local = ReadSettingInteger("Advanced", "LocalCurrency", 0);
  cbCurrencies->setCurrentIndex(Local >= -1 && Local < cbCurrencies->count() ? Local : -1);
  cbCurrenciesChange();

  chkLimitResults->setChecked(ReadSettingBool("Advanced", "LimitResults", false));
  editMaxResults->setText(FromAnsi(ReadSettingString("Advanced", "MaxResults", "500")));
  (ReadSettingInteger("Advanced", "ResultsPer", 1) == 1 ? rbTotal : rbPerSite)->setChecked(true);
  chkInStockOnly->setChecked(ReadSettingBool("Advanced", "InStockOnly", false));

  const std::string Browser = BrowserName(FEvents.GetBrowserCommand ? FEvents.GetBrowserCommand() : "");
  edtBrowser->setText(FromAnsi(Browser));
  edtBrowserChange();
  const std::string Upper = UpperCase(Browser);
  if (Upper == "NETSCAPE") {
    QString Caption = btnOle->text();
    Caption.replace("OLE", "DDE");
    btnOle->setText(Caption);
  }
  const int LinkType = ReadSettingInteger("Browser", "LinkType", 0);
  if (LinkType == 0)
    btnDefault->setChecked(true);
  else if (LinkType == 1)
    btnDirect->setChecked(true);
  else if (LinkType == 2)
    btnOle->setChecked(true);
  if (Upper != "NETSCAPE" && Upper != "IEXPLORE") {
    btnOle->setEnabled(false);
    if (btnOle->isChecked())
      btnDefault->setChecked(true);
  }

  chkMerchantMessages->setChecked(ReadSettingBool("Banner", "MerchantMessages", true));
  chkBannerTips->setChecked(ReadSettingBool("Banner", "BannerTips", true));

  pnlSearchLimitOptions->hide();
  pnlFilterCategory->hide();
  pagOptions->setCurrentWidget(tabSites);
  // The dialog's values go back at once, so the registry holds them even
  // when the dialog is cancelled; stale site flags go with this save.
  SaveOptions(false);
  Batch.Commit();
}

bool TfrmOptions::SaveOptions(bool Complain) {
  if (FLoadFailed)
    return false;
  const std::string MaxResultsText = ToAnsi(editMaxResults->text());
  int MaxResults = 0;
  if (!TryStrToInt(MaxResultsText, MaxResults)) {
    if (Complain)
      MessageBox(Format("'%s' is not a valid integer value", MaxResultsText.c_str()), ApplicationTitle(),
                 MB_OK | MB_ICONERROR);
    return false;
  }
  TRegistryBatch Batch;
  {
    TRegIniFile Ini(SettingsKey, HKEY_LOCAL_MACHINE);
    Ini.WriteBool("", "ProxyInfoSaved", chkUseProxy->isChecked());
    Ini.WriteString("", "ProxyServer", ToAnsi(editHost->text()));
    Ini.WriteString("", "ProxyPort", ToAnsi(editPort->text()));
    Ini.WriteString("", "ProxyUserName", CryptString(ToAnsi(edtProxyUserName->text())));
    Ini.WriteString("", "ProxyPassword", CryptString(ToAnsi(edtProxyPassword->text())));
    Ini.WriteInteger("Advanced", "MaxSockets", edtMaxSockets->value());
  }
  SaveSiteFlags();
  SaveCurrencies();
  {
    TRegIniFile Ini(SettingsKey, HKEY_LOCAL_MACHINE);
    Ini.WriteBool("Advanced", "InStockOnly", chkInStockOnly->isChecked());
    Ini.WriteBool("Advanced", "FindLocalSites", chkLocalSites->isChecked());
    Ini.WriteBool("Advanced", "RegionSites", chkRegion->isChecked());
    Ini.WriteBool("Advanced", "LanguageSites", chkLanguage->isChecked());
    Ini.WriteString("Advanced", "Language", ToAnsi(cbLanguage->currentText()));
    Ini.WriteInteger("Advanced", "LocalCountry", cbCountries->currentIndex());
    Ini.WriteString("Advanced", "Region", ToAnsi(cbRegion->currentText()));
    Ini.WriteInteger("Advanced", "LocalCurrency", cbCurrencies->currentIndex());
    Ini.WriteBool("Advanced", "LimitResults", chkLimitResults->isChecked());
    Ini.WriteInteger("Advanced", "MaxResults", MaxResults);
    Ini.WriteInteger("Advanced", "ResultsPer", rbTotal->isChecked() ? 1 : 2);
    if (btnDefault->isChecked() || btnDirect->isChecked() || btnOle->isChecked())
      Ini.WriteInteger("Browser", "LinkType", btnDefault->isChecked() ? 0 : btnDirect->isChecked() ? 1 : 2);
    Ini.WriteBool("Banner", "MerchantMessages", chkMerchantMessages->isChecked());
    Ini.WriteBool("Banner", "BannerTips", chkBannerTips->isChecked());
  }
  Batch.Commit();
  return true;
}

bool TfrmOptions::FormCloseQuery() {
  if (result() == QDialog::Accepted && !FLoadFailed) {
    try {
      if (!SaveOptions(true))
        return false;
    } catch (const std::exception &E) {
      // Nothing of the batch was written; the dialog still closes.
      ShowException(E);
    }
  }
  StopRates();
  return true;
}

void TfrmOptions::done(int Result) {
  setResult(Result);
  if (!FormCloseQuery())
    return;
  if (ActiveOptions == this)
    ActiveOptions = nullptr;
  QDialog::done(Result);
}

bool TfrmOptions::eventFilter(QObject *Watched, QEvent *Event) {
  if (Watched == lbSites->viewport() &&
      (Event->type() == QEvent::MouseButtonPress || Event->type() == QEvent::MouseButtonDblClick)) {
    auto *Mouse = static_cast<QMouseEvent *>(Event);
    if (Mouse->button() != Qt::LeftButton)
      return false;
    const QPoint At = Mouse->position().toPoint();
    lbSites->setFocus();
    lbSitesMouseDown(lbSites->indexAt(At).row(), At.x(), Event->type() == QEvent::MouseButtonDblClick);
    lbSitesClick();
    return true;
  }
  if (Watched == lbSites && Event->type() == QEvent::KeyPress) {
    // The list takes the key first (space toggles the current item).
    lbSites->removeEventFilter(this);
    QCoreApplication::sendEvent(lbSites, Event);
    lbSites->installEventFilter(this);
    lbSitesKeyPress();
    return true;
  }
  if (Watched == sbCurrencies->viewport() && Event->type() == QEvent::Resize)
    PlaceCurrencies();
  if (Event->type() == QEvent::MouseButtonRelease) {
    if (Watched == imgMerchantRating)
      imgMerchantRatingClick();
    else if (Watched == lblSuggestASite)
      lblSuggestASiteClick();
  }
  return QDialog::eventFilter(Watched, Event);
}

void TfrmOptions::chkUseProxyClick() {
  const bool On = chkUseProxy->isChecked();
  for (QWidget *W : std::initializer_list<QWidget *>{editHost, editPort, edtProxyUserName, edtProxyPassword, lblHost,
                                                    lblPort, lblProxyUserName, lblProxyPassword})
    W->setEnabled(On);
}

void TfrmOptions::chkLimitResultsClick() {
  const bool On = chkLimitResults->isChecked();
  for (QWidget *W : std::initializer_list<QWidget *>{lblMaxResults, editMaxResults, rbTotal, rbPerSite})
    W->setEnabled(On);
}

void TfrmOptions::chkLocalSitesClick() {
  cbCountries->setEnabled(chkLocalSites->isChecked());
  cbRegion->setEnabled(false);
  QSignalBlocker Quiet(chkRegion);
  chkRegion->setChecked(false);
}

void TfrmOptions::chkRegionClick() {
  cbCountries->setEnabled(false);
  cbRegion->setEnabled(chkRegion->isChecked());
  QSignalBlocker Quiet(chkLocalSites);
  chkLocalSites->setChecked(false);
}

void TfrmOptions::chkLanguageClick() { cbLanguage->setEnabled(chkLanguage->isChecked()); }

void TfrmOptions::edtBrowserChange() {
  const QString Name = edtBrowser->text();
  btnDefault->setText("Default method");
  btnDirect->setText("Direct link to " + Name);
  btnOle->setText("OLE link to " + Name);
}

void TfrmOptions::btnLookUpProxyClick() {
  if (FEvents.OpenURL)
    FEvents.OpenURL(ProxyDictionaryEntry);
}

void TfrmOptions::btnLookUpPortClick() {
  if (FEvents.OpenURL)
    FEvents.OpenURL(PortDictionaryEntry);
}

void TfrmOptions::lblSuggestASiteClick() {
  if (FEvents.OpenURL)
    FEvents.OpenURL("http://" + std::string(MakerHostName) + AddSitePage);
}
