#include "tests/faults/FaultSupport.h"

#include <cstdio>

#include "client/search/uOffers.h"
#include "demo/Sites.h"

namespace faulttest {

std::multiset<TRow> ShownRows(const kv::TReportListView &List) {
  std::multiset<TRow> Rows;
  for (int I = 0; I < List.ItemCount(); ++I) {
    const kv::TReportItem &It = List.Item(I);
    std::vector<std::string> Sub = It.SubItems;
    Sub.resize(7);
    Rows.insert({It.Caption, Sub[0], Sub[1], Sub[2], Sub[3], Sub[4], Sub[5], Sub[6]});
  }
  return Rows;
}

std::map<std::string, int> RowsPerSite(const kv::TReportListView &List) {
  std::map<std::string, int> N;
  for (int I = 0; I < List.ItemCount(); ++I) {
    const kv::TReportItem &It = List.Item(I);
    ++N[It.SubItems.size() > 6 ? It.SubItems[6] : std::string()];
  }
  return N;
}

std::string ShopName(int Shop) {
  char Text[32];
  std::snprintf(Text, sizeof Text, "Demo Shop %02d", Shop);
  return Text;
}

std::string ShopKey(int Shop) {
  char Text[16];
  std::snprintf(Text, sizeof Text, "shop%02d", Shop);
  return Text;
}

std::multiset<TRow> ExpectedRows(int Shop, const std::string &Term, int Count) {
  std::multiset<TRow> Rows;
  for (int I = 1; I <= Count; ++I) {
    const kvdemo::TOffer O = kvdemo::NumberedOffer(Shop, Term, I);
    std::string Quantity = O.Quantity;
    const std::string Stock = ReadStock(O.Stock, Quantity);
    Rows.insert({O.PartNumber, O.Description, O.Manufacturer, O.Datasheet.empty() ? "" : "http://Datasheet",
                 FormatPrice(O.Breaks.empty() ? "" : O.Breaks[0].Price), Stock, Quantity, ShopName(Shop)});
  }
  return Rows;
}

}  // namespace faulttest
