#include "client/options/uSiteList.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QToolButton>

#include <algorithm>

#include "client/options/uoptions.h"
#include "client/settings/uSettings.h"
#include "client/uCatalogue.h"
#include "common/Common.h"
#include "components/GlyphChkLs.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"
#include "platform/gui/Cursor.h"
#include "platform/qt/Codepage.h"

using namespace kv;

namespace {

// The one site that can never be switched off.
constexpr const char *KorvandelDirectName = "Korvandel Direct";
constexpr const char *NoOptionDisplayFeature = "NO OPTION DISPLAY";

constexpr const char *ConfigFile = "Korvandel.cfg";
// Where a site's number rides on its list item.
constexpr int SiteRole = Qt::UserRole + 7;
// The comparison-shopping service's report of a merchant.
constexpr const char *MerchantRatingAddress =
    "http://www.shopcompare.test/search.asp?listingtype=search&viewtype=description&type=bypass&cat=";

std::string SiteName(int Site) {
  std::string Name;
  Catalogue.GetSiteName(Name, Site);
  return Name;
}

// "Site" + the site's library name: its flag in "SiteInfo\Sites" and
// "SiteInfo\NewSites", and its key in the configuration's [Sites].
std::string SiteFlagName(int Site) {
  std::string Library;
  Catalogue.GetLibraryName(Library, Site);
  return "Site" + Library;
}

bool IsKorvandelDirect(int Site) { return SiteName(Site) == KorvandelDirectName; }

// Whether a site is listed in the dialog: allowed by the features and not
// marked "NO OPTION DISPLAY".
bool SiteListed(int Site, TStrings *Features) {
  return Catalogue.CanUseSite(Site, Features) && !Catalogue.SiteHasFeature(Site, NoOptionDisplayFeature);
}

// The flag a site is saved with. Before a logon (no features) a site keeps
// its choice, as do sites hidden by "NO OPTION DISPLAY".
bool SavedSiteFlag(int Site, const TSite &S, TStrings *Features) {
  if (IsKorvandelDirect(Site))
    return true;
  // Before a logon nothing is allowed yet; that is no reason to forget.
  if (!Features || Features->Count() == 0)
    return S.Enabled;
  if (Catalogue.SiteHasFeature(Site, NoOptionDisplayFeature))
    return S.Enabled;
  return Catalogue.CanUseSite(Site, Features) && S.Enabled;
}

// "1 Supplier Site" for fewer than two, else "<n> Distributor Sites".
std::string SiteCountText(int Count) {
  return Count < 2 ? std::string("1 Supplier Site") : IntToStr(Count) + " Distributor Sites";
}

// Adds the sites in order of their names, ignoring case, as a sorted list box.
void AddSites(TGlyphCheckList *List, std::vector<int> Sites) {
  std::vector<std::pair<std::string, int>> Named;
  for (int S : Sites)
    Named.emplace_back(SiteName(S), S);
  std::stable_sort(Named.begin(), Named.end(),
                   [](const auto &A, const auto &B) { return CompareText(A.first, B.first) < 0; });
  for (const auto &[Name, S] : Named) {
    const int Row = List->AddItem(Name);
    List->item(Row)->setData(SiteRole, S);
  }
}

}  // namespace

void MergeConfigSites() {
  TIniFile Config(ConfigFile);
  TStringList Known;
  Config.ReadSection("Sites", Known);
  const int Sites = Catalogue.GetNumberSites();
  if (Known.Count() == 0 || Known.Count() >= Sites)
    return;
  Config.EraseSection("NewSites");
  for (int I = 0; I < Sites; ++I) {
    const std::string Key = SiteFlagName(I);
    bool Listed = false;
    for (int K = 0; K < Known.Count() && !Listed; ++K)
      Listed = Known[K] == Key;
    if (!Listed)
      Config.WriteString("NewSites", Key, "1");
  }
}

std::vector<TSite> BuildSiteList() {
  std::vector<TSite> List;
  const int Sites = Catalogue.GetNumberSites();
  for (int I = 0; I < Sites; ++I) {
    TSite S;
    const std::string Flag = SiteFlagName(I);
    S.Enabled = IsKorvandelDirect(I) || ReadSettingBool("SiteInfo\\Sites", Flag, true);
    S.IsNew = ReadSettingBool("SiteInfo\\NewSites", Flag, false);
    List.push_back(S);
  }
  return List;
}

int TfrmOptions::SiteOfItem(int Index) const {
  const QListWidgetItem *Item = lbSites->item(Index);
  return Item ? Item->data(SiteRole).toInt() : -1;
}

void TfrmOptions::FillSiteList() {
  THourglass Wait;
  lbSites->setUpdatesEnabled(false);
  lbSites->Clear();
  std::vector<int> Sites;
  for (int I = 0; I < Catalogue.GetNumberSites(); ++I)
    if (SiteListed(I, Features))
      Sites.push_back(I);
  {
    QSignalBlocker Quiet(lbSites);
    AddSites(lbSites, Sites);
    for (int R = 0; R < lbSites->Count(); ++R)
      lbSites->SetChecked(R, SiteList[static_cast<size_t>(SiteOfItem(R))].Enabled);
    if (lbSites->Count() > 0)
      lbSites->setCurrentRow(0, QItemSelectionModel::NoUpdate);
  }
  lbSites->setUpdatesEnabled(true);
  lbSites->viewport()->update();
  cbCategoriesChange();
}

void TfrmOptions::cbCategoriesChange() {
  if (FEvents.RepaintAnimations)
    FEvents.RepaintAnimations();
  lblNoSites->setText(FromAnsi(SiteCountText(lbSites->Count())));
}

void TfrmOptions::cbCategoriesClick() {
  const int Chosen = cbCategories->currentIndex();
  if (Chosen < 0)
    return;
  THourglass Wait;
  if (Chosen == 0) {
    FillSiteList();
  } else {
    const std::string Category = ToAnsi(cbCategories->currentText());
    QSignalBlocker Quiet(lbSites);
    lbSites->Clear();
    std::vector<int> Sites;
    for (int I = 0; I < Catalogue.GetNumberSites(); ++I)
      if (Catalogue.SiteHasCategory(I, Category))
        Sites.push_back(I);
    AddSites(lbSites, Sites);
    for (int R = 0; R < lbSites->Count(); ++R)
      lbSites->SetChecked(R, SiteList[static_cast<size_t>(SiteOfItem(R))].Enabled);
  }
  for (QLineEdit *E : {editURL, editLocation, editCurrency, editLanguage})
    E->clear();
  lbCategories->clear();
}

void TfrmOptions::lbSitesClick() {
  const int Row = lbSites->currentRow();
  if (Row < 0)
    return;
  const int S = SiteOfItem(Row);
  std::string Text;
  Catalogue.GetSiteURL(Text, S);
  editURL->setText(FromAnsi(Text));
  Catalogue.GetSiteLocation(Text, S);
  editLocation->setText(FromAnsi(Text));
  Catalogue.GetSiteCurrency(Text, S);
  editCurrency->setText(FromAnsi(Text));
  Catalogue.GetSiteLanguage(Text, S);
  editLanguage->setText(FromAnsi(Text));
  TStringList Categories;
  Catalogue.LoadSiteCategories(S, &Categories);
  lbCategories->clear();
  for (int I = 0; I < Categories.Count(); ++I)
    lbCategories->addItem(FromAnsi(Categories[I]));
  lbCategories->sortItems();
  SiteList[static_cast<size_t>(S)].Enabled = lbSites->Checked(Row);
  if (Catalogue.GetSiteSecurity) {
    const int Security = Catalogue.GetSiteSecurity(S);
    if (Security == secParams || Security == secBasic) {
      std::string User, Password;
      Catalogue.GetSiteSecurityDetails(S, User, Password);
      pnlSiteUserInfo->show();
      edtUserName->setText(FromAnsi(User));
      edtPassword->setText(FromAnsi(Password));
    } else {
      pnlSiteUserInfo->hide();
      edtUserName->clear();
      edtPassword->clear();
    }
  }
  if (IsKorvandelDirect(S) && !lbSites->Checked(Row)) {
    QSignalBlocker Quiet(lbSites);
    lbSites->SetChecked(Row, true);
  }
  std::string Library;
  Catalogue.GetLibraryName(Library, S);
  const bool Shown = UpperCase(Library).find("IHS.TWL") == std::string::npos;
  for (QWidget *W : {static_cast<QWidget *>(editURL), static_cast<QWidget *>(lblURL),
                     static_cast<QWidget *>(btnURL)})
    W->setVisible(Shown);
}

void TfrmOptions::lbSitesKeyPress() {
  const int Row = lbSites->currentRow();
  if (Row < 0)
    return;
  const int S = SiteOfItem(Row);
  if (IsKorvandelDirect(S)) {
    QSignalBlocker Quiet(lbSites);
    lbSites->SetChecked(Row, true);
  }
  SiteList[static_cast<size_t>(S)].Enabled = lbSites->Checked(Row);
}

void TfrmOptions::lbSitesMouseDown(int Row, int X, bool DoubleClick) {
  if (Row < 0 || Row >= lbSites->Count())
    return;
  const int S = SiteOfItem(Row);
  TSite &Site = SiteList[static_cast<size_t>(S)];
  QSignalBlocker Quiet(lbSites);
  lbSites->setCurrentRow(Row, QItemSelectionModel::NoUpdate);
  if (X > 12) {
    // On the name: a double click toggles, a single click changes nothing.
    if (DoubleClick && !IsKorvandelDirect(S))
      lbSites->SetChecked(Row, !Site.Enabled);
    else
      lbSites->SetChecked(Row, Site.Enabled);
  } else {
    // On the box: the list toggles, as a check box does.
    lbSites->SetChecked(Row, !lbSites->Checked(Row));
  }
  Site.Enabled = lbSites->Checked(Row);
}

void TfrmOptions::btnSelectAllClick(bool Select) {
  lbSites->setUpdatesEnabled(false);
  {
    QSignalBlocker Quiet(lbSites);
    for (int R = 0; R < lbSites->Count(); ++R) {
      const int S = SiteOfItem(R);
      if (IsKorvandelDirect(S))
        continue;
      lbSites->SetChecked(R, Select);
      SiteList[static_cast<size_t>(S)].Enabled = Select;
    }
  }
  lbSites->setUpdatesEnabled(true);
  lbSites->viewport()->update();
}

void TfrmOptions::lbSitesDrawItem(QPainter *Canvas, int Index, const TRect &Rect) {
  const QString Name = FromAnsi(lbSites->GetItemText(Index));
  Canvas->drawText(QRect(Rect.Left, Rect.Top, std::max(0, Rect.Width()), Rect.Height()),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, Name);
  const int S = SiteOfItem(Index);
  if (!NewPicture.isNull() && S >= 0 && SiteList[static_cast<size_t>(S)].IsNew) {
    QPixmap Picture = NewPicture;
    Picture.setMask(Picture.createMaskFromColor(QColor(255, 0, 0), Qt::MaskInColor));
    Canvas->drawPixmap(Rect.Left + Canvas->fontMetrics().horizontalAdvance(Name), Rect.Top, Picture);
  }
}

void TfrmOptions::edtUserNameExit() {
  const int Row = lbSites->currentRow();
  if (Row < 0)
    return;
  Catalogue.SetSiteSecurityDetails(SiteOfItem(Row), ToAnsi(edtUserName->text()), ToAnsi(edtPassword->text()));
}

void TfrmOptions::btnURLClick() {
  const std::string URL = ToAnsi(editURL->text());
  if (!URL.empty() && FEvents.OpenURL)
    FEvents.OpenURL(URL);
}

void TfrmOptions::imgMerchantRatingClick() {
  if (FEvents.OpenURL)
    FEvents.OpenURL(MerchantRatingAddress + HTTPEncode(ToAnsi(editURL->text())));
}

void TfrmOptions::SaveSiteFlags() {
  const int Sites = Catalogue.GetNumberSites();
  TRegIniFile Ini(SettingsKey, HKEY_LOCAL_MACHINE);
  std::vector<std::string> Current;
  for (int I = 0; I < Sites; ++I) {
    Current.push_back(SiteFlagName(I));
    Ini.WriteBool("SiteInfo\\Sites", Current.back(), SavedSiteFlag(I, SiteList[static_cast<size_t>(I)], Features));
  }
  // Only then the flags of libraries no longer present go.
  TStringList Stored;
  Ini.ReadSection("SiteInfo\\Sites", Stored);
  for (int K = 0; K < Stored.Count(); ++K)
    if (std::none_of(Current.begin(), Current.end(), [&](const std::string &C) { return SameText(C, Stored[K]); }))
      Ini.DeleteKey("SiteInfo\\Sites", Stored[K]);
}
