#include "client/server/uErrorConnecting.h"
#include "common/Common.h"
#include "platform/Registry.h"
#include "tests/server/ProxyConvertedCases.h"
#include "tests/support/TestEnv.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>

#include <gtest/gtest.h>

#include <ostream>
#include <string>

using namespace kv;

namespace {

const char *Key = "\\Software\\Ostrell Technologies\\Korvandel(tm)\\0.00\\Settings";

class ErrorConnectingTest : public ::testing::Test {
protected:
  void Put(const std::string &Name, const std::string &Value) {
    TRegistry r;
    r.RootKey = HKEY_LOCAL_MACHINE;
    ASSERT_TRUE(r.OpenKey(Key, true));
    r.WriteString(Name, Value);
  }
  void PutConverted() {
    TRegistry r;
    r.RootKey = HKEY_LOCAL_MACHINE;
    ASSERT_TRUE(r.OpenKey(Key, true));
    r.WriteInteger("ProxyConverted", 1);
  }
  std::string Get(const std::string &Name) {
    TRegistry r;
    r.RootKey = HKEY_LOCAL_MACHINE;
    if (!r.OpenKeyReadOnly(Key) || !r.ValueExists(Name))
      return "<missing>";
    if (r.GetDataType(Name) == rdInteger)
      return "dword:" + std::to_string(r.ReadInteger(Name));
    return r.ReadString(Name);
  }
  static std::string Text(QLineEdit *E) { return E->text().toStdString(); }

  kvtest::IsolatedEnv Env;
};

TEST_F(ErrorConnectingTest, OpensWithTheMessageAndTheProxyPanelHidden) {
  TfrmErrorConnecting f;
  EXPECT_EQ(f.windowTitle(), "Error Connecting");
  EXPECT_EQ(f.height(), 145);
  EXPECT_TRUE(f.pnlProxyInfo->isHidden());
  EXPECT_EQ(f.Memo1->document()->blockCount(), 6);
  EXPECT_EQ(f.Memo1->document()->findBlockByNumber(4).text(), "(3)  The Korvandel Server is currently ");
  EXPECT_TRUE(f.Memo1->isReadOnly());
  EXPECT_EQ(Text(f.edtPort), "80");
  EXPECT_FALSE(f.edtServer->isEnabled());
  EXPECT_EQ(f.edtProxyPassword->echoMode(), QLineEdit::Password);
  EXPECT_TRUE(f.btnOK->isDefault());
}

TEST_F(ErrorConnectingTest, ProxyDetailsScrambleUnconvertedValuesOnceAndShowThemPlain) {
  Put("ProxyServer", "proxy.test");
  Put("ProxyPort", "3128");
  Put("ProxyUserName", "bob");
  Put("ProxyPassword", "pa ss");
  Put("ProxyInfoSaved", "1");
  TfrmErrorConnecting f;
  f.btnProxyInfoClick();
  EXPECT_EQ(Get("ProxyUserName"), CryptString("bob"));
  EXPECT_EQ(Get("ProxyPassword"), CryptString("pa ss"));
  EXPECT_EQ(Get("ProxyConverted"), "dword:1");
  EXPECT_EQ(Text(f.edtServer), "proxy.test");
  EXPECT_EQ(Text(f.edtPort), "3128");
  EXPECT_EQ(Text(f.edtProxyUserName), "bob");
  EXPECT_EQ(Text(f.edtProxyPassword), "pa ss");
  EXPECT_TRUE(f.cbUseProxy->isChecked());
  EXPECT_TRUE(f.edtServer->isEnabled());
  EXPECT_TRUE(f.edtProxyPassword->isEnabled());
  EXPECT_EQ(f.height(), 335);
  EXPECT_FALSE(f.btnProxyInfo->isEnabled());
  EXPECT_FALSE(f.pnlProxyInfo->isHidden());

  // Converted values are read as they are, never scrambled again.
  TfrmErrorConnecting g;
  g.btnProxyInfoClick();
  EXPECT_EQ(Get("ProxyUserName"), CryptString("bob"));
  EXPECT_EQ(Text(g.edtProxyUserName), "bob");
}

class ProxyConvertedTest : public ErrorConnectingTest, public ::testing::WithParamInterface<kvtest::TConvertedRow> {};

TEST_P(ProxyConvertedTest, ProxyDetailsScrambleTheLoginOnlyWhenTheFlagSaysNot) {
  const kvtest::TConvertedRow &Row = GetParam();
  kvtest::SeedProxyLogin(Row, "bob", "pw");
  for (int Round = 1; Round <= 2; ++Round) {
    SCOPED_TRACE(Round);
    TfrmErrorConnecting f;
    f.btnProxyInfoClick();
    EXPECT_EQ(Get("ProxyUserName"), Row.Converted ? "bob" : CryptString("bob"));
    EXPECT_EQ(Get("ProxyPassword"), Row.Converted ? "pw" : CryptString("pw"));
    EXPECT_EQ(Get("ProxyConverted"), Row.Converted ? kvtest::StoredForm(Row) : "dword:1");
    EXPECT_EQ(Text(f.edtProxyUserName), Row.Converted ? DeCryptString("bob") : "bob");
  }
}

INSTANTIATE_TEST_SUITE_P(Flags, ProxyConvertedTest, ::testing::ValuesIn(kvtest::ConvertedRows),
                         [](const ::testing::TestParamInfo<kvtest::TConvertedRow> &I) {
                           return std::string(I.param.Name);
                         });

TEST_F(ErrorConnectingTest, MissingPortKeepsItsDefaultAndAFlagThatIsNoNumberLeavesTheBoxClear) {
  Put("ProxyServer", "proxy.test");
  Put("ProxyInfoSaved", "yes");
  PutConverted();
  TfrmErrorConnecting f;
  f.btnProxyInfoClick();
  EXPECT_EQ(Text(f.edtPort), "80");
  EXPECT_FALSE(f.cbUseProxy->isChecked());
  EXPECT_FALSE(f.edtServer->isEnabled());
}

TEST_F(ErrorConnectingTest, ClosingWithoutTheProxyDetailsWritesNothing) {
  Put("ProxyUserName", "bob");
  TfrmErrorConnecting f;
  f.open();
  f.btnOK->click();
  EXPECT_EQ(f.result(), mrOk);
  EXPECT_EQ(Get("ProxyUserName"), "bob");
  EXPECT_EQ(Get("ProxyConverted"), "<missing>");
  EXPECT_EQ(Get("ProxyServer"), "<missing>");
}

TEST_F(ErrorConnectingTest, ClosingWritesScrambledValuesWithTheirFlag) {
  // No settings key yet: nothing to read, and nothing says later that the
  // values are scrambled unless the flag goes with them.
  TfrmErrorConnecting f;
  f.open();
  f.btnProxyInfoClick();
  f.cbUseProxy->setChecked(true);
  f.edtServer->setText("proxy.test");
  f.edtPort->setText("8080");
  f.edtProxyUserName->setText("bob");
  f.edtProxyPassword->setText("");
  f.btnReconnect->click();
  EXPECT_EQ(f.result(), mrRetry);
  EXPECT_EQ(Get("ProxyServer"), "proxy.test");
  EXPECT_EQ(Get("ProxyPort"), "8080");
  EXPECT_EQ(Get("ProxyUserName"), CryptString("bob"));
  EXPECT_EQ(Get("ProxyPassword"), CryptString(""));
  EXPECT_EQ(Get("ProxyConverted"), "dword:1");
  EXPECT_EQ(Get("ProxyInfoSaved"), "1");
}

TEST_F(ErrorConnectingTest, TheWindowCloseBoxWritesTooAndIsNoRetry) {
  TfrmErrorConnecting f;
  f.open();
  f.btnProxyInfoClick();
  f.edtServer->setText("proxy.test");
  f.reject();
  EXPECT_NE(f.result(), mrRetry);
  EXPECT_EQ(Get("ProxyServer"), "proxy.test");
  EXPECT_EQ(Get("ProxyInfoSaved"), "0");
}

struct TRunRow {
  const char *Name;
  bool AllowRetry;
  bool PressRetry;
};

void PrintTo(const TRunRow &Row, std::ostream *Out) { *Out << Row.Name; }

class RunErrorConnectingTest : public ErrorConnectingTest, public ::testing::WithParamInterface<TRunRow> {};

TEST_P(RunErrorConnectingTest, AnswersTryAgainOnlyWhenOffered) {
  bool retryVisible = !GetParam().AllowRetry;
  bool seen = false;
  QTimer::singleShot(0, [&] {
    auto *f = dynamic_cast<TfrmErrorConnecting *>(QApplication::activeModalWidget());
    if (!f)
      return;
    seen = true;
    retryVisible = f->btnReconnect->isVisible();
    (GetParam().PressRetry && retryVisible ? f->btnReconnect : f->btnOK)->click();
  });
  const bool retry = RunErrorConnecting(GetParam().AllowRetry);
  ASSERT_TRUE(seen);
  EXPECT_EQ(retryVisible, GetParam().AllowRetry);
  EXPECT_EQ(retry, GetParam().AllowRetry && GetParam().PressRetry);
}

INSTANTIATE_TEST_SUITE_P(Answers, RunErrorConnectingTest,
                         ::testing::Values(TRunRow{"TryAgain", true, true}, TRunRow{"Quit", true, false},
                                           TRunRow{"NoRetryButton", false, true}),
                         [](const ::testing::TestParamInfo<TRunRow> &I) { return std::string(I.param.Name); });

}  // namespace
