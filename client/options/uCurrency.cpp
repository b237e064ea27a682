#include "client/options/uCurrency.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>

#include "client/options/uoptions.h"
#include "client/settings/uSettings.h"
#include "client/uCatalogue.h"
#include "platform/DateTime.h"
#include "platform/DynLoad.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"
#include "platform/gui/EditControls.h"
#include "platform/gui/PlainText.h"
#include "platform/qt/Codepage.h"

using namespace kv;

std::string RatewellLibraryName = "Ratewell.dll";

namespace {

// A request's context: the currency number and the update round, packed into
// the pointer the library hands back. No address of an edit leaves the dialog.
constexpr uintptr_t RoundShift = 16;

void *PackContext(int Currency, unsigned Round) {
  return reinterpret_cast<void *>((static_cast<uintptr_t>(Round) << RoundShift) | static_cast<uintptr_t>(Currency));
}

void RateReceived(const char *Rate, void *Context) {
  const auto Packed = reinterpret_cast<uintptr_t>(Context);
  // The dialog that asked has closed: nobody wants the rate any more.
  if (!ActiveOptions)
    return;
  ActiveOptions->CurrencyRateReceived(Rate ? Rate : "", static_cast<int>(Packed & ((1u << RoundShift) - 1)),
                                      static_cast<unsigned>(Packed >> RoundShift));
}

std::string Code(const std::string &Currency) { return Currency.substr(0, 3); }

}  // namespace

TRatewell BindRatewell() {
  // Kept once bound, for the library named; a library missing now may be
  // there at a later call, so a failure is not kept.
  static TRatewell Bound;
  static std::string BoundName;
  if (Bound.Bound() && BoundName == RatewellLibraryName)
    return Bound;
  HMODULE Library = LoadLibrary(RatewellLibraryName);
  if (!Library)
    return TRatewell();
  auto Get = reinterpret_cast<TGetConversionRate>(GetProcAddress(Library, "GetConversionRate"));
  auto Stop = reinterpret_cast<TTerminateProcesses>(GetProcAddress(Library, "TerminateProcesses"));
  if (!Get || !Stop) {
    FreeLibrary(Library);
    return TRatewell();
  }
  TRatewell R;
  R.GetConversionRate = [Get](const std::string &From, const std::string &To, bool UseProxy,
                              const std::string &Host, const std::string &Port, TConversionRateProc Reply,
                              void *Context) {
    Get(From.c_str(), To.c_str(), UseProxy ? 1 : 0, Host.c_str(), Port.c_str(), Reply, Context);
  };
  R.TerminateProcesses = [Stop] { Stop(); };
  Bound = R;
  BoundName = RatewellLibraryName;
  return Bound;
}

bool RateText(const std::string &Rate, std::string &Text) {
  double Value;
  if (!TryStrToFloat(Trim(Rate), Value))
    return false;
  Text = FloatToStr(Value);
  return true;
}

void TfrmOptions::FillCurrencies() {
  TStringList BuiltIn, Sites;
  Catalogue.LoadCurrencies(&BuiltIn);
  Catalogue.LoadSiteCurrencies(&Sites);
  for (int K = 0; K < Sites.Count(); ++K) {
    SiteCurrencies.push_back(Sites[K]);
    std::string Caption;
    for (int B = 0; B < BuiltIn.Count(); ++B)
      if (BuiltIn[B].rfind(Sites[K], 0) == 0)
        Caption = BuiltIn[B];
    QLabel *Label = PlainLabel(sbCurrenciesContents, FromAnsi(Caption));
    Label->setObjectName(QString("lblCurrency%1").arg(K));
    auto *Edit = new TEdit(sbCurrenciesContents);
    Edit->setObjectName(QString("edtCurrency%1").arg(K));
    CurrencyLabels.push_back(Label);
    CurrencyEdits.push_back(Edit);
  }
  PlaceCurrencies();
}

// Each currency is a row of 20 pixels: its label from the left, its edit over
// the last third less a margin. Placed again whenever the box changes width.
void TfrmOptions::PlaceCurrencies() {
  const int Width = sbCurrencies->viewport()->width();
  const int Left = Width * 2 / 3;
  for (size_t K = 0; K < CurrencyEdits.size(); ++K) {
    const int Row = static_cast<int>(K) * 20;
    CurrencyLabels[K]->setGeometry(5, Row + 5, std::max(10, Left - 10), 16);
    CurrencyEdits[K]->setGeometry(Left, Row + 2, std::max(20, Width - Left - 30), 19);
  }
  sbCurrenciesContents->resize(std::max(Width, 1), static_cast<int>(CurrencyEdits.size()) * 20 + 8);
}

void TfrmOptions::LoadRates() {
  for (size_t K = 0; K < CurrencyEdits.size(); ++K)
    CurrencyEdits[K]->setText(
        FromAnsi(ReadSettingString("Currency", "Currency" + Code(SiteCurrencies[K]), "0.00")));
}

void TfrmOptions::chkConvertCurrencyClick() {
  cbCurrencies->setEnabled(chkConvertCurrency->isChecked());
  lblLocalCurrency->setEnabled(chkConvertCurrency->isChecked());
}

void TfrmOptions::cbCurrenciesChange() {
  const bool Chosen = cbCurrencies->currentIndex() >= 0;
  btnUpdate->setEnabled(Chosen && FEvents.Rates.Bound());
  chkConvertCurrency->setEnabled(Chosen);
  chkAutoUpdate->setEnabled(Chosen);
}

void TfrmOptions::btnUpdateClick() {
  if (!FEvents.Rates.Bound() || cbCurrencies->currentIndex() < 0)
    return;
  FEvents.Rates.TerminateProcesses();
  btnUpdate->setEnabled(false);
  Closing = false;
  ++FRateRound;
  FRatesCounted = 0;
  FRatesAllNumbers = true;
  proRatewell->setValue(0);
  proRatewell->setMaximum(std::max(1, static_cast<int>(CurrencyEdits.size())));
  proRatewell->show();
  const std::string To = Code(ToAnsi(cbCurrencies->currentText()));
  const std::string Host = ToAnsi(editHost->text()), Port = ToAnsi(editPort->text());
  const bool UseProxy = chkUseProxy->isChecked();
  if (CurrencyEdits.empty()) {
    edtChange(true, true);
    return;
  }
  for (size_t K = 0; K < CurrencyEdits.size(); ++K) {
    CurrencyEdits[K]->clear();
    FEvents.Rates.GetConversionRate(Code(SiteCurrencies[K]), To, UseProxy, Host, Port, RateReceived,
                                    PackContext(static_cast<int>(K), FRateRound));
  }
}

void TfrmOptions::CurrencyRateReceived(const std::string &Rate, int Currency, unsigned Round) {
  if (Closing || Round != FRateRound || Currency < 0 || Currency >= static_cast<int>(CurrencyEdits.size()))
    return;
  QLineEdit *Edit = CurrencyEdits[static_cast<size_t>(Currency)];
  std::string Text;
  const bool Number = RateText(Rate, Text);
  if (!Number) {
    TIniFile Config("Korvandel.cfg");
    Text = Config.ReadString("Currency", "Currency" + Code(SiteCurrencies[static_cast<size_t>(Currency)]), "0.00");
  }
  Edit->setText(FromAnsi(Text));
  edtChange(true, Number);
}

void TfrmOptions::edtChange(bool FromReply, bool IsRate) {
  if (!FromReply)
    return;
  // Every reply counts, a failed one too, so the update always ends; it
  // counts as done only when every rate came.
  FRatesAllNumbers = FRatesAllNumbers && IsRate;
  ++FRatesCounted;
  proRatewell->setValue(std::min(FRatesCounted, proRatewell->maximum()));
  if (FRatesCounted < static_cast<int>(CurrencyEdits.size()))
    return;
  proRatewell->hide();
  btnUpdate->setEnabled(true);
  if (!Closing && FRatesAllNumbers)
    RatesUpdated = true;
}

void TfrmOptions::SaveCurrencies() {
  TRegIniFile Ini(SettingsKey, HKEY_LOCAL_MACHINE);
  Ini.WriteBool("Currency", "ConvertToLocal", chkConvertCurrency->isChecked());
  if (RatesUpdated)
    Ini.WriteInteger("Currency", "LastUpdated", static_cast<int>(Now()));
  Ini.WriteBool("Currency", "AutoUpdate", chkAutoUpdate->isChecked());
  for (size_t K = 0; K < CurrencyEdits.size(); ++K)
    Ini.WriteString("Currency", "Currency" + Code(SiteCurrencies[K]), ToAnsi(CurrencyEdits[K]->text()));
}

void TfrmOptions::StopRates() {
  Closing = true;
  if (FEvents.Rates.Bound())
    FEvents.Rates.TerminateProcesses();
}
