// The hidden currency page: its rate edits, the update through the currency
// library (a recorder here, answering when the test says) and the rates it
// stores.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QtTest/QTest>

#include "platform/DateTime.h"
#include "platform/qt/Codepage.h"
#include "tests/options/OptionsTestSupport.h"

namespace {

using namespace optionstest;
using clienttest::SeedString;
using clienttest::StoredString;

class Rates : public OptionsFixture {
protected:
  void OpenWithThreeCurrencies() {
    Bind({{"Pounds", "Pounds Shop", "SiteCurrency=GBP British Pounds\n"},
          {"Dollars", "Dollars Shop", "SiteCurrency=USD American Dollars\n"},
          {"Francs", "Francs Shop", "SiteCurrency=CHF Swiss Francs\n"},
          {"Pounds2", "More Pounds", "SiteCurrency=GBP British Pounds\n"}});
    Open();
    ASSERT_EQ(Dialog->CurrencyEdits.size(), 3u);
  }
  QLineEdit *Edit(const std::string &Code) const {
    for (size_t K = 0; K < Dialog->SiteCurrencies.size(); ++K)
      if (Dialog->SiteCurrencies[K].substr(0, 3) == Code)
        return Dialog->CurrencyEdits[K];
    return nullptr;
  }
  // Answers the request for the rate from Code.
  void Answer(const std::string &Code, const char *Rate) {
    for (const TRequest &R : Requests)
      if (R.From == Code) {
        R.Reply(Rate, R.Context);
        return;
      }
    ADD_FAILURE() << "no request for " << Code;
  }
  std::string Text(const std::string &Code) const { return kv::ToAnsi(Edit(Code)->text()); }
};

TEST_F(Rates, OneEditPerSiteCurrencyWithItsStoredRate) {
  SeedString("Currency", "CurrencyUSD", "1.25");
  OpenWithThreeCurrencies();
  EXPECT_EQ(Text("USD"), "1.25");
  EXPECT_EQ(Text("GBP"), "0.00");
  EXPECT_EQ(Text("CHF"), "0.00");
  for (size_t K = 0; K < 3; ++K) {
    auto *Label = Dialog->sbCurrenciesContents->findChild<QLabel *>(QString("lblCurrency%1").arg(K));
    ASSERT_NE(Label, nullptr);
    EXPECT_EQ(Label->y(), static_cast<int>(K) * 20 + 5);
    EXPECT_EQ(Label->x(), 5);
    EXPECT_EQ(Dialog->CurrencyEdits[K]->y(), static_cast<int>(K) * 20 + 2);
    EXPECT_EQ(Label->text().toStdString().substr(0, 3), Dialog->SiteCurrencies[K].substr(0, 3));
  }
  EXPECT_EQ(Dialog->cbCurrencies->count(), 56);
  EXPECT_EQ(Dialog->cbCurrencies->currentIndex(), 0);
  EXPECT_TRUE(Dialog->btnUpdate->isEnabled());
  EXPECT_TRUE(Dialog->chkConvertCurrency->isChecked());
  EXPECT_TRUE(Dialog->chkAutoUpdate->isChecked());
}

TEST_F(Rates, ACurrencyNoBuiltInEntryBeginsWithGetsALabelWithoutCaption) {
  Bind({{"Odd", "Odd Shop", "SiteCurrency=ZZZ Zorkmids\n"}});
  Open();
  auto *Label = Dialog->sbCurrenciesContents->findChild<QLabel *>("lblCurrency0");
  ASSERT_NE(Label, nullptr);
  EXPECT_EQ(Label->text(), "");
}

TEST_F(Rates, ThreeAnswersFinishTheUpdate) {
  OpenWithThreeCurrencies();
  Dialog->cbCurrencies->setCurrentIndex(1);  // GBP British Pounds
  Dialog->chkUseProxy->setChecked(true);
  Dialog->editHost->setText("proxy.test");
  Dialog->editPort->setText("3128");
  Dialog->btnUpdate->click();
  ASSERT_EQ(Requests.size(), 3u);
  for (const TRequest &R : Requests) {
    EXPECT_EQ(R.To, "GBP");
    EXPECT_TRUE(R.UseProxy);
    EXPECT_EQ(R.Host, "proxy.test");
    EXPECT_EQ(R.Port, "3128");
  }
  EXPECT_EQ(Terminations, 1);  // earlier requests stopped first
  EXPECT_FALSE(Dialog->btnUpdate->isEnabled());
  EXPECT_FALSE(Dialog->proRatewell->isHidden());
  EXPECT_EQ(Text("USD"), "");
  Answer("USD", "1.5");
  Answer("GBP", "1.50");
  EXPECT_FALSE(Dialog->proRatewell->isHidden());
  EXPECT_EQ(Dialog->proRatewell->value(), 2);
  Answer("CHF", " 0.685400 ");
  EXPECT_TRUE(Dialog->proRatewell->isHidden());
  EXPECT_TRUE(Dialog->btnUpdate->isEnabled());
  EXPECT_TRUE(Dialog->RatesUpdated);
  EXPECT_EQ(Text("USD"), "1.5");
  EXPECT_EQ(Text("GBP"), "1.5");
  EXPECT_EQ(Text("CHF"), "0.6854");
  Dialog->btnOK->click();
  EXPECT_EQ(StoredString("Currency", "CurrencyUSD"), "1.5");
  EXPECT_EQ(StoredString("Currency", "CurrencyCHF"), "0.6854");
  EXPECT_EQ(StoredString("Currency", "LastUpdated"), std::to_string(static_cast<int>(kv::Now())));
}

struct TFailedCase {
  const char *Name;
  const char *Reply;
  std::string Config;    // Korvandel.cfg
  std::string Shown;     // the CHF edit afterwards
};
class FailedRate : public Rates, public ::testing::WithParamInterface<TFailedCase> {};
TEST_P(FailedRate, FallsBackToTheConfigurationAndStillEndsTheUpdate) {
  const TFailedCase &C = GetParam();
  kvtest::WriteFile(Env / "windows/Korvandel.cfg", C.Config);
  OpenWithThreeCurrencies();
  Dialog->btnUpdate->click();
  Answer("USD", "1");
  Answer("CHF", C.Reply);
  EXPECT_EQ(Text("CHF"), C.Shown);
  Answer("GBP", "1.27");
  // Every reply counts, so the update ends; it did not bring every rate.
  EXPECT_TRUE(Dialog->proRatewell->isHidden());
  EXPECT_TRUE(Dialog->btnUpdate->isEnabled());
  EXPECT_FALSE(Dialog->RatesUpdated);
  Dialog->btnOK->click();
  EXPECT_EQ(StoredString("Currency", "LastUpdated"), "<missing>");
  EXPECT_EQ(StoredString("Currency", "CurrencyCHF"), C.Shown);
  EXPECT_EQ(StoredString("Currency", "CurrencyGBP"), "1.27");
}
INSTANTIATE_TEST_SUITE_P(
    Rates, FailedRate,
    ::testing::Values(TFailedCase{"NotAvailableWithFallback", "n/a", "[Currency]\r\nCurrencyCHF=0.72\r\n", "0.72"},
                      TFailedCase{"NotAvailableWithoutFallback", "n/a", "[Currency]\r\nCurrencyUSD=9\r\n", "0.00"},
                      TFailedCase{"EmptyReply", "", "[Currency]\r\nCurrencyCHF=0.72\r\n", "0.72"},
                      TFailedCase{"GarbageReply", "1.5e", "", "0.00"},
                      TFailedCase{"InfinityIsNoRate", "inf", "", "0.00"}),
    [](const auto &Info) { return std::string(Info.param.Name); });

TEST_F(Rates, TypingIntoARateMovesNeitherTheBarNorTheState) {
  OpenWithThreeCurrencies();
  Dialog->btnUpdate->click();
  Answer("USD", "2");
  QTest::keyClicks(Edit("GBP"), "1.1");
  QTest::keyClicks(Edit("CHF"), "0.9");
  EXPECT_EQ(Dialog->proRatewell->value(), 1);
  EXPECT_FALSE(Dialog->proRatewell->isHidden());
  EXPECT_FALSE(Dialog->RatesUpdated);
  Dialog->btnOK->click();
  EXPECT_EQ(StoredString("Currency", "CurrencyGBP"), "1.1");
  EXPECT_EQ(StoredString("Currency", "CurrencyCHF"), "0.9");
  EXPECT_EQ(StoredString("Currency", "CurrencyUSD"), "2");
}

TEST_F(Rates, RepliesOfAnEarlierUpdateAreDropped) {
  OpenWithThreeCurrencies();
  Dialog->btnUpdate->click();
  const std::vector<TRequest> First = Requests;
  Requests.clear();
  // The button is disabled meanwhile; the handler runs anyway.
  Dialog->btnUpdateClick();
  ASSERT_EQ(Requests.size(), 3u);
  for (const TRequest &R : First)
    R.Reply("7", R.Context);
  EXPECT_EQ(Text("USD"), "");
  EXPECT_FALSE(Dialog->proRatewell->isHidden());
  EXPECT_EQ(Terminations, 2);
}

TEST_F(Rates, RepliesAfterTheDialogClosedAreDropped) {
  OpenWithThreeCurrencies();
  Dialog->btnUpdate->click();
  Answer("USD", "1");
  const std::vector<TRequest> Pending = Requests;
  Dialog->btnCancel->click();
  EXPECT_TRUE(Dialog->Closing);
  EXPECT_EQ(Terminations, 2);  // one at the update, one at the close
  // A library that answers anyway, while the dialog still exists ...
  Pending[1].Reply("3", Pending[1].Context);
  EXPECT_FALSE(Dialog->RatesUpdated);
  // ... and after it is gone.
  Dialog.reset();
  Pending[2].Reply("3", Pending[2].Context);
  EXPECT_EQ(ActiveOptions, nullptr);
  EXPECT_EQ(StoredString("Currency", "LastUpdated"), "<missing>");
}

TEST_F(Rates, NoCurrencyChosenDisablesTheUpdate) {
  SeedString("Advanced", "LocalCurrency", "-1");
  OpenWithThreeCurrencies();
  EXPECT_EQ(Dialog->cbCurrencies->currentIndex(), -1);
  EXPECT_FALSE(Dialog->btnUpdate->isEnabled());
  EXPECT_FALSE(Dialog->chkConvertCurrency->isEnabled());
  EXPECT_FALSE(Dialog->chkAutoUpdate->isEnabled());
  Dialog->cbCurrencies->setCurrentIndex(3);
  EXPECT_TRUE(Dialog->btnUpdate->isEnabled());
  Dialog->chkConvertCurrency->setChecked(false);
  EXPECT_FALSE(Dialog->cbCurrencies->isEnabled());
  EXPECT_FALSE(Dialog->lblLocalCurrency->isEnabled());
  Dialog->btnOK->click();
  EXPECT_EQ(StoredString("Advanced", "LocalCurrency"), "3");
  EXPECT_EQ(StoredString("Currency", "ConvertToLocal"), "0");
}

}  // namespace

namespace {

TEST(RatewellBinding, AMissingLibraryLeavesTheUpdateOff) {
  kvtest::IsolatedEnv Env;
  RatewellLibraryName = "NoSuchRates.dll";
  EXPECT_FALSE(BindRatewell().Bound());
}

// A library missing at one call is looked for again at the next.
TEST(RatewellBinding, AFailedBindingIsNotKept) {
  kvtest::IsolatedEnv Env;
  RatewellLibraryName = "NoSuchRates.dll";
  EXPECT_FALSE(BindRatewell().Bound());
  RatewellLibraryName = std::string(KV_BIN_DIR) + "/libRatewell.so";
  EXPECT_TRUE(BindRatewell().Bound());
  RatewellLibraryName = "NoSuchRates.dll";
  EXPECT_FALSE(BindRatewell().Bound()) << "another name is another library";
}

TEST(RatewellBinding, TheLibraryIsBoundByName) {
  kvtest::IsolatedEnv Env;
  RatewellLibraryName = std::string(KV_BIN_DIR) + "/libRatewell.so";
  const TRatewell R = BindRatewell();
  EXPECT_TRUE(R.Bound());
}

class RatesWithoutLibrary : public optionstest::OptionsFixture {};
TEST_F(RatesWithoutLibrary, TheUpdateButtonStaysDisabled) {
  Bind({{"Pounds", "Pounds Shop", ""}});
  Open();
  // What the program passes when the library is missing.
  TOptionsEvents E;
  auto D = std::make_unique<TfrmOptions>(std::move(E));
  D->show();
  EXPECT_EQ(D->cbCurrencies->currentIndex(), 0);
  EXPECT_FALSE(D->btnUpdate->isEnabled());
  D->btnUpdateClick();
  EXPECT_TRUE(D->proRatewell->isHidden());
  D->btnCancel->click();
  EXPECT_FALSE(D->isVisible());
}

}  // namespace
