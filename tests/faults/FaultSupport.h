#pragma once
// Shared pieces of the fault tests: the rows the numbered demo shops are
// expected to yield, read from a well-behaved demo server, and the rows a
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

// The rows a search for Term should show for shop Shop, as the server at
// Port (started without --follow-ups) serves them on every page.
std::multiset<TRow> ExpectedRows(int Port, int Shop, const std::string &Term);

}  // namespace faulttest
