#include "platform/qt/WindowSearch.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <csignal>
#include <gtest/gtest.h>

#include "tests/support/TestEnv.h"

using namespace kv;

namespace {

const char *const Class = "TfrmMain";
const char *const Title = "Korvandel(tm)";

// A beacon in a second process; waits until it listens.
bool StartBeacon(QProcess &P, const char *Title = ::Title, int Ms = 20000) {
  P.start(WINDOW_HELPER, {"beacon", Class, Title, QString::number(Ms)});
  if (!P.waitForStarted(5000))
    return false;
  while (!P.canReadLine())
    if (!P.waitForReadyRead(5000))
      return false;
  return P.readLine() == "ready\n";
}

int KnockFromHelper(const char *Title = ::Title) {
  QProcess p;
  p.start(WINDOW_HELPER, {"knock", Class, Title, "3000"});
  // The event loop must run meanwhile so a beacon of this process can answer.
  QElapsedTimer t;
  t.start();
  while (p.state() != QProcess::NotRunning && t.elapsed() < 10000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    p.waitForFinished(10);
  }
  return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

}  // namespace

TEST(WindowSearch, AKnockReachesTheRunningWindowInAnotherProcess) {
  kvtest::IsolatedEnv env;
  QProcess first;
  ASSERT_TRUE(StartBeacon(first));
  EXPECT_TRUE(KnockOnWindow(Class, Title, 3000));
  ASSERT_TRUE(first.waitForReadyRead(3000) || first.canReadLine());
  EXPECT_EQ(first.readLine(), "shown\n");
  // Another title is another window.
  EXPECT_FALSE(KnockOnWindow(Class, "Korvandel", 500));
  first.kill();
  first.waitForFinished(5000);
}

TEST(WindowSearch, NobodyAnswersWhenNoWindowRuns) {
  kvtest::IsolatedEnv env;
  EXPECT_FALSE(KnockOnWindow(Class, Title, 500));
}

TEST(WindowSearch, ABeaconOfThisProcessShowsItsWindow) {
  kvtest::IsolatedEnv env;
  TWindowBeacon beacon(Class, Title);
  int calls = 0, emitted = 0;
  beacon.OnShow = [&] { ++calls; };
  QObject::connect(&beacon, &TWindowBeacon::ShowRequested, [&] { ++emitted; });
  ASSERT_TRUE(beacon.Listen());
  EXPECT_EQ(KnockFromHelper(), 0);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(emitted, 1);
  EXPECT_EQ(KnockFromHelper("Other"), 1);
  EXPECT_EQ(calls, 1);
}

TEST(WindowSearch, ALiveBeaconKeepsItsNameAndADeadOneLosesIt) {
  kvtest::IsolatedEnv env;
  QProcess first;
  ASSERT_TRUE(StartBeacon(first));
  {
    TWindowBeacon second(Class, Title);
    EXPECT_FALSE(second.Listen());
  }
  EXPECT_TRUE(KnockOnWindow(Class, Title, 3000));  // the first still answers
  first.kill();  // leaves its socket file behind
  first.waitForFinished(5000);
  EXPECT_FALSE(KnockOnWindow(Class, Title, 500));
  TWindowBeacon next(Class, Title);
  int calls = 0;
  next.OnShow = [&] { ++calls; };
  ASSERT_TRUE(next.Listen());
  EXPECT_EQ(KnockFromHelper(), 0);
  EXPECT_EQ(calls, 1);
}

TEST(WindowSearch, LongNamesStillMakeAUsableSocket) {
  kvtest::IsolatedEnv env;
  const std::string title(300, 'T');
  EXPECT_LT(WindowBeaconPath(Class, title).size(), 104u);
  EXPECT_NE(WindowBeaconPath(Class, title), WindowBeaconPath(Class, title + "x"));
  TWindowBeacon beacon(Class, title);
  ASSERT_TRUE(beacon.Listen());
  EXPECT_EQ(KnockFromHelper(title.c_str()), 0);
}
