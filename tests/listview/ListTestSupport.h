#pragma once
// Shared pieces of the list widget tests: the rows' order and where a cell
// lies on the screen.
#include <QPoint>

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

}  // namespace listtest
