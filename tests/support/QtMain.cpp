// main() of every test program: applies the program's fixed environment
// (KV_TEST_ENV, "NAME=value" entries separated by "|"), then runs the tests,
// with a QApplication (KV_TEST_GUI), a QCoreApplication (KV_TEST_QCORE) or no
// Qt application at all.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#ifdef KV_TEST_GUI
#include <QApplication>
using App = QApplication;
#elif defined(KV_TEST_QCORE)
#include <QCoreApplication>
using App = QCoreApplication;
#endif

#ifndef KV_TEST_ENV
#define KV_TEST_ENV ""
#endif

static void ApplyEnvironment() {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  std::string all = KV_TEST_ENV;
  size_t i = 0;
  while (i < all.size()) {
    size_t j = all.find('|', i);
    if (j == std::string::npos)
      j = all.size();
    std::string entry = all.substr(i, j - i);
    auto eq = entry.find('=');
    if (eq != std::string::npos)
      setenv(entry.substr(0, eq).c_str(), entry.substr(eq + 1).c_str(), 1);
    i = j + 1;
  }
}

int main(int argc, char **argv) {
  ApplyEnvironment();
  ::testing::InitGoogleTest(&argc, argv);
#if defined(KV_TEST_GUI) || defined(KV_TEST_QCORE)
  App app(argc, argv);
#endif
  return RUN_ALL_TESTS();
}
