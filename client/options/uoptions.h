#pragma once
// TfrmOptions, the options dialog: the sites searched and their logins, the
// proxy, the result limits, simultaneous searches, the in-stock filter, how
// pages open, and the hidden currency and banner pages. It loads every value
// once, when first shown, writes them back at once (so the registry holds
// the dialog's defaults even after Cancel) and again on OK, each time in one
// registry batch.
#include <QDialog>
#include <QPixmap>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "client/options/uCurrency.h"
#include "client/options/uSiteList.h"
#include "components/replistv_rules.h"
#include "platform/StringList.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QSpinBox;
class QTabWidget;
class QToolButton;
class QWidget;
namespace kv {
class TGlyphCheckList;
}

// What the dialog needs of the main window and the rest of the program.
struct TOptionsEvents {
  // The browser's command line (empty when none is registered).
  std::function<std::string()> GetBrowserCommand;
  // Opens an address in the browser as the user chose.
  std::function<void(const std::string &URL)> OpenURL;
  // Sets the main window's link type at once.
  std::function<void(int LinkType)> SetLinkType;
  // Clicks the main window's "Advanced..." filter item.
  std::function<void()> AdvancedFilter;
  std::function<void()> RepaintAnimations;
  // The browser icon of the site-address button.
  QPixmap BrowserIcon;
  // The currency library; unbound when it is missing.
  TRatewell Rates;
};

class TfrmOptions : public QDialog {
public:
  explicit TfrmOptions(TOptionsEvents Events, QWidget *Parent = nullptr);
  ~TfrmOptions() override;

  // The logon reply's feature list, set before showing; nullptr or empty
  // before a logon (then no site is listed and the stored choices are kept).
  kv::TStrings *Features = nullptr;
  std::vector<TSite> SiteList;
  QPixmap NewPicture;
  bool RatesUpdated = false;
  bool Closing = false;

  QTabWidget *pagOptions;
  QWidget *tabSites, *tabProxy, *tabCurrency, *tabAdvanced, *tabBrowser, *tabBanner;
  // Sites.
  kv::TGlyphCheckList *lbSites;
  QLineEdit *editURL, *editLocation, *editCurrency, *editLanguage;
  QLabel *lblURL, *lblNoSites, *lblSuggestASite, *imgMerchantRating;
  QToolButton *btnURL;
  QListWidget *lbCategories;
  QWidget *pnlSiteUserInfo, *pnlFilterCategory;
  QLineEdit *edtUserName, *edtPassword;
  QPushButton *btnSelectAll, *btnDeSelectAll;
  QComboBox *cbCategories;
  // Proxy.
  QCheckBox *chkUseProxy;
  QLineEdit *editHost, *editPort, *edtProxyUserName, *edtProxyPassword;
  QLabel *lblHost, *lblPort, *lblProxyUserName, *lblProxyPassword;
  QPushButton *btnLookUpProxy, *btnLookUpPort;
  // Currency.
  QScrollArea *sbCurrencies;
  QWidget *sbCurrenciesContents;
  QComboBox *cbCurrencies;
  QLabel *lblLocalCurrency;
  QCheckBox *chkConvertCurrency, *chkAutoUpdate;
  QPushButton *btnUpdate;
  std::vector<QLineEdit *> CurrencyEdits;  // by currency number
  std::vector<QLabel *> CurrencyLabels;
  // Advanced.
  QCheckBox *chkLimitResults, *chkInStockOnly, *chkLocalSites, *chkRegion, *chkLanguage;
  QLabel *lblMaxResults;
  QLineEdit *editMaxResults;
  QRadioButton *rbTotal, *rbPerSite;
  QSpinBox *edtMaxSockets;
  QPushButton *btnAdvancedFilter;
  QWidget *pnlSearchLimitOptions;
  QComboBox *cbCountries, *cbRegion, *cbLanguage;
  // Browser.
  QLineEdit *edtBrowser;
  QRadioButton *btnDefault, *btnDirect, *btnOle;
  // Banner.
  QCheckBox *chkMerchantMessages, *chkBannerTips;
  QPushButton *btnOK, *btnCancel;
  QProgressBar *proRatewell;

  // Loads every control and writes the values back (once, at first showing).
  void FormCreate();
  // Writes every value in one registry batch. False, with nothing written,
  // when "Maximum Results" holds no whole number (Complain shows why) or the
  // dialog could not load.
  bool SaveOptions(bool Complain);
  // True when loading failed: the dialog said why and saves nothing.
  bool LoadFailed() const { return FLoadFailed; }
  // On every close: saves on OK (a refused save keeps the dialog open),
  // stops the currency library. True when the dialog may close.
  bool FormCloseQuery();

  // Sites.
  void FillSiteList();
  void cbCategoriesChange();
  void cbCategoriesClick();
  void lbSitesClick();
  void lbSitesKeyPress();
  // A left press (DoubleClick for the second of two) at X on Row.
  void lbSitesMouseDown(int Row, int X, bool DoubleClick);
  void btnSelectAllClick(bool Select);
  void lbSitesDrawItem(QPainter *Canvas, int Index, const kv::TRect &Rect);
  void edtUserNameExit();
  void edtPasswordExit() { edtUserNameExit(); }
  void btnURLClick();
  void imgMerchantRatingClick();
  // The site number of list item Index.
  int SiteOfItem(int Index) const;
  // Currency.
  void FillCurrencies();
  void PlaceCurrencies();
  void LoadRates();
  void btnUpdateClick();
  void CurrencyRateReceived(const std::string &Rate, int Currency, unsigned Round);
  // Counts one reply of an update (FromReply; a user's typing counts
  // nothing); IsRate tells whether it brought a rate.
  void edtChange(bool FromReply, bool IsRate);
  void chkConvertCurrencyClick();
  void cbCurrenciesChange();
  // The site currency texts, by currency number.
  std::vector<std::string> SiteCurrencies;
  // Handlers of the other pages.
  void chkUseProxyClick();
  void chkLimitResultsClick();
  void chkLocalSitesClick();
  void chkRegionClick();
  void chkLanguageClick();
  void edtBrowserChange();
  void btnLookUpProxyClick();
  void btnLookUpPortClick();
  void lblSuggestASiteClick();
  // Opens the advanced filter; the in-stock tick follows what it saved.
  void btnAdvancedFilterClick();

  void done(int Result) override;

protected:
  void showEvent(QShowEvent *Event) override;
  bool eventFilter(QObject *Watched, QEvent *Event) override;

private:
  void BuildComponents();
  QWidget *BuildSitesPage();
  QWidget *BuildProxyPage();
  QWidget *BuildCurrencyPage();
  QWidget *BuildAdvancedPage();
  QWidget *BuildBrowserPage();
  QWidget *BuildBannerPage();
  void SaveSiteFlags();
  void SaveCurrencies();
  void StopRates();
  TOptionsEvents FEvents;
  bool FLoaded = false, FLoadFailed = false;
  // Rate replies of the update now running; those of an earlier round or
  // after the dialog closed are dropped.
  unsigned FRateRound = 0;
  int FRatesCounted = 0;
  bool FRatesAllNumbers = true;
};

// The options dialog now shown, which rate replies are delivered to.
extern TfrmOptions *ActiveOptions;
