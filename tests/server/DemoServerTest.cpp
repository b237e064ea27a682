// The conversations against the demo maker's server, started on free ports.
#include "client/server/FSugSite.h"
#include "client/server/uServer.h"
#include "platform/Dialogs.h"
#include "platform/qt/Messages.h"
#include "tests/support/TestEnv.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStringList>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

using namespace kv;

namespace {

class DemoServerTest : public ::testing::Test {
protected:
  void SetUp() override {
    SetMessageBoxHook([this](const std::string &Text, const std::string &, unsigned) {
      Boxes.push_back(Text);
      return IDOK;
    });
    const std::string ports = Env / "ports";
    Demo.start(QString::fromUtf8(KV_DEMO_SERVER), {"--ports-file", QString::fromStdString(ports)});
    ASSERT_TRUE(Demo.waitForStarted(5000));
    ASSERT_TRUE(WaitUntil([&] { return kvtest::FileExists(ports); }, 10000));
    std::istringstream lines(kvtest::ReadFile(ports));
    std::string key, port;
    while (lines >> key >> port)
      if (key == "maker")
        setenv("KORVANDEL_SERVER", ("127.0.0.1:" + port).c_str(), 1);
    ASSERT_NE(std::getenv("KORVANDEL_SERVER"), nullptr);
  }
  void TearDown() override {
    SetMessageBoxHook({});
    Demo.kill();
    Demo.waitForFinished(5000);
  }

  kvtest::IsolatedEnv Env;
  QProcess Demo;
  std::vector<std::string> Boxes;
};

struct TCustomerRow {
  const char *Name;
  const char *CustomerID;
  const char *Password;
  int MaxResults;
  std::vector<std::string> Features;
  const char *Box;  // empty: accepted
};

void PrintTo(const TCustomerRow &Row, std::ostream *Out) { *Out << Row.Name; }

class DemoLogonTest : public DemoServerTest, public ::testing::WithParamInterface<TCustomerRow> {};

TEST_P(DemoLogonTest, ChecksTheConnectionAndLogsOn) {
  const TCustomerRow &row = GetParam();
  std::string storedID = row.CustomerID, storedPassword = row.Password;
  int accepted = 0, maxResults = -1;
  std::vector<std::string> features;
  TServerEvents e;
  e.ReadUserDetails = [&](std::string &ID, std::string &P) {
    ID = storedID;
    P = storedPassword;
  };
  e.WriteUserDetails = [&](const std::string &ID, const std::string &P) {
    storedID = ID;
    storedPassword = P;
  };
  e.HasCustomerID = [&] { return !storedID.empty(); };
  e.LogonAccepted = [&](int Max, const std::vector<std::string> &F) {
    ++accepted;
    maxResults = Max;
    features = F;
  };
  TServerSession session(e);
  ASSERT_TRUE(session.CheckConnection());
  bool noDetails = true;
  ASSERT_TRUE(session.Logon(noDetails));
  ASSERT_TRUE(WaitUntil([&] { return !session.LogonActive; }, 10000));
  if (*row.Box) {
    EXPECT_EQ(Boxes, std::vector<std::string>{row.Box});
    EXPECT_EQ(accepted, 0);
    EXPECT_EQ(storedID, "");
    return;
  }
  EXPECT_TRUE(Boxes.empty());
  EXPECT_EQ(accepted, 1);
  EXPECT_EQ(maxResults, row.MaxResults);
  EXPECT_EQ(features, row.Features);
  EXPECT_EQ(storedID, row.CustomerID);
}

INSTANTIATE_TEST_SUITE_P(
    Customers, DemoLogonTest,
    ::testing::Values(
        TCustomerRow{"DemoCustomer", "DEMO1001", "parts4all", 400, {"TOLBROOK", "HALLER", "HARBOR", "DIRECT"}, ""},
        // Blank and "&" in the password reach the server encoded.
        TCustomerRow{"PasswordNeedingEncoding", "TRIAL2002", "trial 2002&go", 25, {"TOLBROOK", "DIRECT"}, ""},
        TCustomerRow{"WrongPassword", "DEMO1001", "parts4none", 0, {}, "Your Password was not recognized."},
        TCustomerRow{"UnknownCustomer", "NOBODY", "x", 0, {}, "Your Customer ID was not recognized."}),
    [](const ::testing::TestParamInfo<TCustomerRow> &I) { return std::string(I.param.Name); });

}  // namespace

namespace {

// The demo fills the shortages form in with what the client posted.
TEST_F(DemoServerTest, ShortagesFormOfTheDemoCustomer) {
  std::string StoredID = "DEMO1001";
  std::vector<std::string> Opened;
  TServerEvents E;
  E.ReadUserDetails = [&](std::string &ID, std::string &P) {
    ID = StoredID;
    P = "parts4all";
  };
  E.HasCustomerID = [&] { return !StoredID.empty(); };
  E.OpenURL = [&](const std::string &A) { Opened.push_back(A); };
  E.ProgramFolder = [&] { return Env.Root(); };
  TServerSession Session(E);
  Session.btnShortagesClick();
  EXPECT_TRUE(Boxes.empty());
  ASSERT_EQ(Opened.size(), 1u);
  const std::string Page = kvtest::ReadFile(Env / "shortages_form.html");
  EXPECT_EQ(Page.find("HTTP/1.0"), std::string::npos) << "the header stays behind";
  // The page as a browser's parser reads it: the form filled in, and no
  // script allowed to run.
  QProcess Reader;
  Reader.start("python3", {QString::fromStdString(kvtest::DataPath("listview", "readback.py")), "form",
                           QString::fromStdString(Env / "shortages_form.html")});
  ASSERT_TRUE(Reader.waitForFinished(30000));
  ASSERT_EQ(Reader.exitCode(), 0) << Reader.readAllStandardError().toStdString();
  const QJsonObject Form = QJsonDocument::fromJson(Reader.readAllStandardOutput()).object();
  const QJsonObject Fields = Form["fields"].toObject();
  for (const auto &[Name, Value] : std::vector<std::pair<const char *, const char *>>{
           {"first_name", "Dana"}, {"last_name", "Whitfield"},
           {"email_address", "dana.whitfield@whitfield.example"}, {"company", "Whitfield Instruments Ltd"},
           {"country", "United Kingdom"}, {"company_size", "11-50"}, {"type_of_company", "Manufacturer"}})
    EXPECT_EQ(Fields[Name].toString().toStdString(), Value) << Name;
  EXPECT_EQ(Form["meta"].toObject()["Content-Security-Policy"].toString().toStdString(),
            "script-src 'none'; object-src 'none'");

  // An unknown customer: the server says "Error", and the exchange ends quietly.
  StoredID = "NOBODY";
  Opened.clear();
  Session.btnShortagesClick();
  EXPECT_TRUE(Boxes.empty());
  EXPECT_TRUE(Opened.empty());
  EXPECT_FALSE(Session.ShortagesBusy);
}

TEST_F(DemoServerTest, SuggestionIsThankedFor) {
  TfrmSuggestSite Form;
  Form.edtName->setText("Dana");
  Form.edtSiteName->setText("Parts & More");
  Form.btnSubmit->click();
  ASSERT_TRUE(WaitUntil([&] { return !Boxes.empty(); }, 10000));
  EXPECT_EQ(Boxes, std::vector<std::string>{SuggestionThanksText});
  EXPECT_TRUE(Form.edtName->text().isEmpty());
}

}  // namespace
