#pragma once
// Shared pieces of the fault tests: the rows the numbered demo shops are
// expected to yield, made by the shops' own offer generator, and the rows a
// result list shows.
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "components/replistv.h"
#include "tests/demo/DemoFixture.h"
#include "tests/support/TestEnv.h"

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

// The main window's world for a test: a customer of the test's own whom the
// demo server grants Features, the server with the numbered shops (Shops of
// them, Pages pages of Offers offers) and Extra arguments, their site
// libraries, and the client run from a copy of the program folder with the
// customer's details stored. Null when the server did not start.
std::unique_ptr<demotest::TDemoServer> StartWindowWorld(const kvtest::IsolatedEnv &Env, const std::string &Customer,
                                                        const std::string &Password, const std::string &Features,
                                                        int Shops, int Pages, int Offers,
                                                        const std::vector<std::string> &Extra);

}  // namespace faulttest
