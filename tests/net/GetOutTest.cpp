#include "net/cGetOut.h"
#include "platform/SysUtils.h"
#include "platform/qt/Messages.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TestEnv.h"

#include <QTimer>
#include <gtest/gtest.h>

using namespace kv;

class GetOutTest : public ::testing::Test {
protected:
  kvtest::IsolatedEnv Env;
};

TEST_F(GetOutTest, DefaultsOfANewProbe) {
  TGetOut p;
  EXPECT_EQ(p.TimeOut(), 10);
  EXPECT_TRUE(p.IPAddr().empty());
  EXPECT_TRUE(p.Port().empty());
  EXPECT_FALSE(p.Done);
  EXPECT_FALSE(p.Connected);
  EXPECT_TRUE(p.FTimer->isActive());
  EXPECT_EQ(p.FTimer->interval(), 10000);
  p.SetIPAddr("shop1.test");
  p.SetPort("80");
  EXPECT_EQ(p.FSockets->IPAddr, "shop1.test");
  EXPECT_EQ(p.FSockets->Port, "80");
}

TEST_F(GetOutTest, AProbeLeftAloneIsDoneAndNotConnectedAfterItsTimeOutOnce) {
  TGetOut p;
  const uint32_t t0 = GetTickCount();
  p.SetTimeOut(1);
  ASSERT_TRUE(WaitUntil([&] { return p.Done; }, 10000));
  EXPECT_GE(GetTickCount() - t0, 900u);
  EXPECT_FALSE(p.Connected);
  EXPECT_FALSE(p.FTimer->isActive());
  // The timer stays off, even when the time-out changes afterwards.
  p.Done = false;
  p.SetTimeOut(1);
  WaitUntil([&] { return p.Done; }, 1500);
  EXPECT_FALSE(p.Done);
}

TEST_F(GetOutTest, AConnectionMadeInTimeSetsConnectedAndClosesAgain) {
  kvtest::TLoopbackServer server;
  TGetOut p;
  p.SetIPAddr("127.0.0.1");
  p.SetPort(server.PortText());
  p.FSockets->SConnect();
  ASSERT_TRUE(WaitUntil([&] { return p.Done; }, 10000));
  EXPECT_TRUE(p.Connected);
  EXPECT_EQ(p.FSockets->SocketHandle(), -1);
  EXPECT_FALSE(p.FTimer->isActive());
  EXPECT_TRUE(WaitUntil([&] { return server.Finished(0); }, 10000));
}

TEST_F(GetOutTest, ASocketErrorAloneNeitherFinishesNorChangesTheResult) {
  kvtest::TRefusedPort refused;
  TGetOut p;
  p.SetIPAddr("127.0.0.1");
  p.SetPort(refused.PortText());
  p.SetTimeOut(2);
  p.FSockets->SConnect();
  ASSERT_NE(p.FSockets->SocketHandle(), -1);
  ASSERT_TRUE(WaitUntil([&] { return p.FSockets->SocketHandle() == -1; }, 10000));
  EXPECT_FALSE(p.Done);
  EXPECT_FALSE(p.Connected);
  EXPECT_TRUE(p.FTimer->isActive());
  // The timer decides.
  ASSERT_TRUE(WaitUntil([&] { return p.Done; }, 10000));
  EXPECT_FALSE(p.Connected);
}
