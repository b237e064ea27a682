// The advanced filter dialog over a real registry file.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include <optional>

#include "client/options/FAddit.h"
#include "tests/client/ClientTestSupport.h"

namespace {

using clienttest::SeedString;
using clienttest::StoredString;

class Filter : public ::testing::Test {
protected:
  std::unique_ptr<TfrmFilter> Open() {
    return std::make_unique<TfrmFilter>([this](bool Checked) { KeywordsOnly = Checked; });
  }
  kvtest::IsolatedEnv Env;
  std::optional<bool> KeywordsOnly;
};

TEST_F(Filter, LoadsTheStoredValues) {
  SeedString("Advanced", "InStockOnly", "1");
  SeedString("Advanced", "AllSearchWords", "0");
  SeedString("Advanced", "AdditionalWordsOnly", "1");
  SeedString("Advanced", "AdditionalWords", "ceramic smd");
  auto F = Open();
  EXPECT_EQ(F->windowTitle(), "Advanced Filter");
  EXPECT_TRUE(F->chkInStockOnly->isChecked());
  EXPECT_FALSE(F->chkAllSearchWords->isChecked());
  EXPECT_TRUE(F->chkAdditionalwords->isChecked());
  EXPECT_TRUE(F->edtAdditionalWords->isEnabled());
  EXPECT_EQ(F->edtAdditionalWords->text(), "ceramic smd");
  F->chkAdditionalwords->setChecked(false);
  EXPECT_FALSE(F->edtAdditionalWords->isEnabled());
}

TEST_F(Filter, AFreshRegistryShowsEverythingOff) {
  auto F = Open();
  EXPECT_FALSE(F->chkInStockOnly->isChecked());
  EXPECT_FALSE(F->chkAllSearchWords->isChecked());
  EXPECT_FALSE(F->chkAdditionalwords->isChecked());
  EXPECT_FALSE(F->edtAdditionalWords->isEnabled());
}

struct TOkCase {
  const char *Name;
  bool InStock, AllWords, Additional;
  std::string Words;
};
class FilterOk : public Filter, public ::testing::WithParamInterface<TOkCase> {};
TEST_P(FilterOk, WritesTheFourValuesAndSetsKeywordsOnly) {
  const TOkCase &C = GetParam();
  SeedString("Advanced", "AdditionalWords", "old words");
  auto F = Open();
  F->show();
  F->chkInStockOnly->setChecked(C.InStock);
  F->chkAllSearchWords->setChecked(C.AllWords);
  F->chkAdditionalwords->setChecked(C.Additional);
  F->edtAdditionalWords->setText(QString::fromStdString(C.Words));
  F->btnOK->click();
  EXPECT_EQ(F->result(), QDialog::Accepted);
  EXPECT_EQ(StoredString("Advanced", "InStockOnly"), C.InStock ? "1" : "0");
  EXPECT_EQ(StoredString("Advanced", "AllSearchWords"), C.AllWords ? "1" : "0");
  EXPECT_EQ(StoredString("Advanced", "AdditionalWordsOnly"), C.Additional ? "1" : "0");
  EXPECT_EQ(StoredString("Advanced", "AdditionalWords"), C.Words);
  ASSERT_TRUE(KeywordsOnly.has_value());
  EXPECT_EQ(*KeywordsOnly, C.AllWords);
}
INSTANTIATE_TEST_SUITE_P(Filter, FilterOk,
                         ::testing::Values(TOkCase{"AllOff", false, false, false, ""},
                                           TOkCase{"AllOn", true, true, true, "resistor 1%"},
                                           TOkCase{"AllWordsOnly", false, true, false, "x"}),
                         [](const auto &Info) { return std::string(Info.param.Name); });

TEST_F(Filter, CancelWritesNothing) {
  auto F = Open();
  F->show();
  F->chkInStockOnly->setChecked(true);
  F->chkAllSearchWords->setChecked(true);
  F->btnCancel->click();
  EXPECT_EQ(F->result(), QDialog::Rejected);
  EXPECT_FALSE(KeywordsOnly.has_value());
  for (const char *Name : {"InStockOnly", "AllSearchWords", "AdditionalWordsOnly", "AdditionalWords"})
    EXPECT_EQ(StoredString("Advanced", Name), "<no key>") << Name;
}

}  // namespace
