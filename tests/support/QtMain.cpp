// main() for tests that need a Qt application object: a QApplication when the
// test links widgets (KV_TEST_GUI), else a QCoreApplication.
#include <gtest/gtest.h>

#ifdef KV_TEST_GUI
#include <QApplication>
using App = QApplication;
#else
#include <QCoreApplication>
using App = QCoreApplication;
#endif

int main(int argc, char **argv) {
  ::testing::InitGoogleTest(&argc, argv);
#ifdef KV_TEST_GUI
  // CTest lists the tests without the test environment; a GUI test must still
  // start where there is no display.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
  App app(argc, argv);
  return RUN_ALL_TESTS();
}
