// The conversations against the demo maker's server, started on free ports.
#include "client/server/uServer.h"
#include "platform/Dialogs.h"
#include "platform/qt/Messages.h"
#include "tests/support/TestEnv.h"

#include <QProcess>
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
