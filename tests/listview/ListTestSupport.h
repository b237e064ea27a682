#pragma once
// Shared pieces of the list widget tests: the rows' order, where a cell
// lies on the screen, where text starts in a picture of it, and a test run
// again at another display scale.
#include <gtest/gtest.h>

#include <QColor>
#include <QCoreApplication>
#include <QImage>
#include <QPoint>
#include <QProcess>
#include <QRect>

#include <cstdlib>

#include <string>
#include <vector>

#include "components/replistv.h"

namespace listtest {

// The captions in the list's order.
inline std::vector<std::string> Captions(const kv::TReportListView &View) {
  std::vector<std::string> r;
  for (const auto &it : View.Items())
    r.push_back(it.Caption);
  return r;
}

// The middle of a cell, in the viewport's coordinates.
inline QPoint CellCenter(const kv::TReportListView &View, int Row, int Col) {
  return View.visualRect(View.model()->index(Row, Col)).center();
}

// The first pixel column of Area (device pixels of Shot) holding a dark
// pixel, where drawn text starts; -1 when none does.
inline int FirstInkColumn(const QImage &Shot, const QRect &Area) {
  for (int X = Area.left(); X <= Area.right(); ++X)
    for (int Y = Area.top(); Y <= Area.bottom(); ++Y) {
      const QColor C = Shot.pixelColor(X, Y);
      if (C.red() < 110 && C.green() < 110 && C.blue() < 110)
        return X;
    }
  return -1;
}

// A logical rectangle in the device pixels of a picture taken at Ratio.
inline QRect DeviceRect(const QRect &Logical, qreal Ratio) {
  return QRect(QPoint(qRound(Logical.left() * Ratio), qRound(Logical.top() * Ratio)),
               QPoint(qRound((Logical.right() + 1) * Ratio) - 1, qRound((Logical.bottom() + 1) * Ratio) - 1));
}

// The display scale is fixed when the application starts: the current test
// runs again in a child process at Factor. Nothing to do (true) inside that
// child; otherwise whether the child passed, with its output in Output.
inline bool PassesScaled(const char *Factor, std::string &Output) {
  if (std::getenv("QT_SCALE_FACTOR"))
    return true;
  const testing::TestInfo *Self = testing::UnitTest::GetInstance()->current_test_info();
  QProcessEnvironment Environment = QProcessEnvironment::systemEnvironment();
  Environment.insert("QT_SCALE_FACTOR", Factor);
  for (const char *Name : {"GTEST_OUTPUT", "GTEST_FILTER", "GTEST_SHARD_INDEX", "GTEST_TOTAL_SHARDS"})
    Environment.remove(Name);
  QProcess Child;
  Child.setProcessEnvironment(Environment);
  Child.setProcessChannelMode(QProcess::MergedChannels);
  Child.start(QCoreApplication::applicationFilePath(),
              {QString("--gtest_filter=%1.%2").arg(Self->test_suite_name(), Self->name())});
  const bool Ended = Child.waitForFinished(60000);
  Output = Child.readAll().toStdString();
  return Ended && Child.exitStatus() == QProcess::NormalExit && Child.exitCode() == 0;
}

}  // namespace listtest
