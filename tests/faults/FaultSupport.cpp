#include "tests/faults/FaultSupport.h"

#include <cstdio>
#include <sstream>

#include "client/uOffers.h"
#include "tests/demo/DemoFixture.h"

namespace faulttest {

namespace {

std::vector<std::string> Split(const std::string &Text, char Delimiter) {
  std::vector<std::string> Parts(1);
  for (char C : Text)
    if (C == Delimiter)
      Parts.emplace_back();
    else
      Parts.back() += C;
  return Parts;
}

}  // namespace

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

std::multiset<TRow> ExpectedRows(int Port, int Shop, const std::string &Term) {
  std::multiset<TRow> Rows;
  std::string Path = "/find?q=" + Term + "&by=pn&page=1";
  // A bound on the pages, so a server that links a page to itself cannot
  // keep the test going.
  for (int Page = 0; Page < 1000 && !Path.empty(); ++Page) {
    const std::string Body = demotest::BodyOf(demotest::Get(Port, Path));
    Path.clear();
    std::istringstream In(Body);
    std::string Line;
    while (std::getline(In, Line)) {
      if (!Line.empty() && Line.back() == '\r')
        Line.pop_back();
      if (Line.rfind("next ", 0) == 0) {
        Path = Line.substr(5);
        continue;
      }
      if (Line.rfind("item ", 0) != 0)
        continue;
      const std::vector<std::string> F = Split(Line.substr(5), '|');
      if (F.size() != 8)
        continue;
      std::string Quantity = F[5];
      const std::string Stock = ReadStock(F[4], Quantity);
      const std::string FirstBreak = Split(F[6], ';')[0];
      const size_t Colon = FirstBreak.find(':');
      const std::string Price = Colon == std::string::npos ? "" : FirstBreak.substr(Colon + 1);
      Rows.insert({F[1], F[3], F[2], F[7].empty() ? "" : "http://Datasheet", FormatPrice(Price), Stock, Quantity,
                   ShopName(Shop)});
    }
  }
  return Rows;
}

}  // namespace faulttest
