#pragma once
// The demo server as a child process of a window test, in the test's own
// folder: the program's server names map onto its ports through
// $KORVANDEL_HOSTS, and every request it receives goes to "requests.log".
#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>

#include <cstdlib>
#include <string>

#include "platform/qt/Messages.h"
#include "tests/support/Poll.h"
#include "tests/support/TestEnv.h"

namespace clienttest {

// Starts it with More arguments and waits for its hosts file; call through
// ASSERT_NO_FATAL_FAILURE.
inline void StartDemoServer(QProcess &Demo, const kvtest::IsolatedEnv &Env, const QStringList &More = {}) {
  const std::string Hosts = Env / "hosts";
  Demo.start(QString::fromUtf8(KV_DEMO_SERVER),
             QStringList{"--hosts-file", QString::fromStdString(Hosts), "--log",
                         QString::fromStdString(Env / "requests.log")} +
                 More);
  ASSERT_TRUE(Demo.waitForStarted(kvtest::WaitLimitMs));
  ASSERT_TRUE(kv::WaitUntil([&] { return kvtest::FileExists(Hosts); }, kvtest::WaitLimitMs));
  setenv("KORVANDEL_HOSTS", kvtest::ReadFile(Hosts).c_str(), 1);
}

inline void StopDemoServer(QProcess &Demo) {
  Demo.kill();
  Demo.waitForFinished(5000);
}

}  // namespace clienttest
