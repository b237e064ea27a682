#include "tests/faults/FaultSupport.h"

#include <cstdio>
#include <filesystem>

#include "client/search/uOffers.h"
#include "client/settings/uUserDetails.h"
#include "demo/Sites.h"
#include "tests/client/ClientTestSupport.h"
#include "tests/support/DemoShops.h"

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

std::unique_ptr<demotest::TDemoServer> StartWindowWorld(const kvtest::IsolatedEnv &Env, const std::string &Customer,
                                                        const std::string &Password, const std::string &Features,
                                                        int Shops, int Pages, int Offers,
                                                        const std::vector<std::string> &Extra) {
  namespace fs = std::filesystem;
  fs::create_directories(Env / "demodata");
  fs::copy_file(std::string(KV_SOURCE_DIR) + "/demo/data/catalogue.csv", Env / "demodata/catalogue.csv");
  kvtest::WriteFile(Env / "demodata/customers.txt",
                    "[" + Customer + "]\nPassword=" + Password + "\nMaxResults=5000\nFeatures=" + Features +
                        "\nDetails=Kim|Faulkner|Faulkner Test|Engineer|+44 1632 960555||||||||United Kingdom|"
                        "Manufacturer||||||1-10\n");
  fs::create_directories(Env / "shops");
  std::vector<std::string> Args{"--data",        Env / "demodata",       "--shops",
                                std::to_string(Shops), "--shop-pages", std::to_string(Pages),
                                "--shop-offers", std::to_string(Offers)};
  Args.insert(Args.end(), Extra.begin(), Extra.end());
  auto Server = std::make_unique<demotest::TDemoServer>(Env / "shops", Args);
  if (!Server->Started())
    return nullptr;
  kvtest::InstallDemoShops(Env / "cwd", Shops);
  setenv("KORVANDEL_HOSTS", Server->Hosts().c_str(), 1);
  clienttest::StartFromProgramFolder(Env);
  WriteUserDetails(Customer, Password);
  return Server;
}

}  // namespace faulttest
