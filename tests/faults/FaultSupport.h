#pragma once
// Shared pieces of the fault tests: the rows the numbered demo shops are
// expected to yield, made by the shops' own offer generator, and the rows a
// result list shows.
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "components/replistv.h"

namespace faulttest {

// One result row as the list shows it: part number, description,
// manufacturer, datasheet cell, first price, stock, quantity, supplier.
using TRow = std::tuple<std::string, std::string, std::string, std::string, std::string, std::string, std::string,
                        std::string>;

std::multiset<TRow> ShownRows(const kv::TReportListView &List);
// Rows per supplier.
std::map<std::string, int> RowsPerSite(const kv::TReportListView &List);

// "Demo Shop 07" for 7.
std::string ShopName(int Shop);
// "shop07" for 7.
std::string ShopKey(int Shop);

// The rows a search for Term should show for shop Shop when it lists Count
// offers (served without --follow-ups).
std::multiset<TRow> ExpectedRows(int Shop, const std::string &Term, int Count);

}  // namespace faulttest
