// The numbered demo shops "shop01".."shop99": one plain line format shared by
// all of them and offers made up from the term, so any number of shops can
// be searched at once without a catalogue to match.
#include <algorithm>
#include <cstdio>

#include "demo/Sites.h"

namespace kvdemo {
namespace {

const char *const Manufacturers[] = {"Arden Semiconductor", "Belmont Devices", "Corvex Micro", "Dunmore Passives",
                                     "Elstree Opto"};
const char *const BreakQuantities[] = {"1", "10", "100", "1000"};

std::string TwoDigits(int N) {
  char Text[16];
  std::snprintf(Text, sizeof Text, "%02d", N);
  return Text;
}

// At least four digits: more only when a shop lists 10000 offers or more.
std::string IndexText(int N) {
  char Text[16];
  std::snprintf(Text, sizeof Text, "%04d", N);
  return Text;
}

std::string Cents(int C) {
  char Text[24];
  std::snprintf(Text, sizeof Text, "%d.%02d", C / 100, C % 100);
  return Text;
}

// A term goes back into "|"-separated lines: its own bars and line breaks
// would split them.
std::string Printable(const std::string &Text) {
  std::string Out = Text;
  for (char &C : Out)
    if (C == '|' || static_cast<unsigned char>(C) < ' ')
      C = ' ';
  return Out;
}

std::string SkuTerm(const std::string &Term) {
  std::string Out;
  for (char C : UpperCase(Term))
    if ((C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9'))
      Out += C;
  return Out;
}

void StockOf(int Index, std::string &Stock, std::string &Quantity) {
  if (Index % 10 == 0) {
    Stock = "CALL";
    Quantity.clear();
  } else if (Index % 10 == 5) {
    Stock = "N";
    Quantity = "0";
  } else {
    Stock = "Y";
    Quantity = std::to_string(10 * (1 + (Index * 37) % 500));
  }
}

class TNumberedShop : public TSite {
public:
  TNumberedShop(int Number, int Pages, int PerPage, bool FollowUps)
      : FNumber(Number), FNN(TwoDigits(Number)), FPages(Pages), FPerPage(PerPage), FFollowUps(FollowUps) {}

  std::string Key() const override { return "shop" + FNN; }
  std::string Host() const override { return "shop" + FNN + ".demo.test"; }

  TReply Serve(const TRequest &R) override {
    if (R.Path == "/find")
      return Find(R);
    if (R.Path.rfind("/stock/", 0) == 0)
      return Stock(UrlDecode(R.Path.substr(7)));
    return NotFound();
  }

private:
  static TReply Text(const std::string &Lines) {
    TReply R;
    R.ContentType = "text/plain; charset=windows-1252";
    R.Body = "KVDEMO-SHOP 1\r\n" + Lines + "end\r\n";
    return R;
  }

  static TReply NotFound() {
    TReply R;
    R.Status = 404;
    R.ContentType = "text/plain; charset=windows-1252";
    R.Body = "not found\r\n";
    return R;
  }

  TReply Find(const TRequest &R) const {
    const std::string Term = Trim(FormValue(R.Query, "q"));
    const std::string By = FormValue(R.Query, "by") == "desc" ? "desc" : "pn";
    const int Page = std::max(1, WholeNumber(FormValue(R.Query, "page"), 1));
    const int Pages = Term.empty() ? 0 : FPages;
    std::string B = "shop shop" + FNN + " page " + std::to_string(Page) + " of " + std::to_string(Pages) + "\r\n";
    if (Page <= Pages) {
      for (int I = (Page - 1) * FPerPage + 1; I <= Page * FPerPage; ++I) {
        const TOffer O = NumberedOffer(FNumber, Term, I);
        std::string Prices;
        for (const TPriceBreak &P : O.Breaks)
          Prices += (Prices.empty() ? "" : ";") + P.Quantity + ":" + P.Price;
        B += "item " + O.Sku + "|" + O.PartNumber + "|" + O.Manufacturer + "|" + O.Description + "|" +
             (FFollowUps ? "" : O.Stock) + "|" + (FFollowUps ? "" : O.Quantity) + "|" + Prices + "|" + O.Datasheet +
             "\r\n";
        if (FFollowUps)
          B += "more /stock/" + O.Sku + "\r\n";
      }
      if (Page < Pages)
        B += "next /find?q=" + UrlEncode(Term) + "&by=" + By + "&page=" + std::to_string(Page + 1) + "\r\n";
    }
    return Text(B);
  }

  // "NN-<term letters and digits>-<index>", of this shop and within its offers.
  TReply Stock(const std::string &Sku) const {
    const size_t Dash = Sku.rfind('-');
    if (Sku.compare(0, 3, FNN + "-") != 0 || Dash == std::string::npos || Dash < 3 || Sku.size() - Dash - 1 < 4 ||
        SkuTerm(Sku.substr(3, Dash - 3)) != Sku.substr(3, Dash - 3))
      return NotFound();
    const int Index = WholeNumber(Sku.substr(Dash + 1), 0);
    if (Index < 1 || Index > FPages * FPerPage || IndexText(Index) != Sku.substr(Dash + 1))
      return NotFound();
    std::string Flag, Quantity;
    StockOf(Index, Flag, Quantity);
    return Text("stock " + Sku + "|" + Flag + "|" + Quantity + "\r\n");
  }

  const int FNumber;
  const std::string FNN;
  const int FPages, FPerPage;
  const bool FFollowUps;
};

}  // namespace

TOffer NumberedOffer(int Shop, const std::string &Term, int Index) {
  const std::string NN = TwoDigits(Shop), I = IndexText(Index), Shown = Printable(Term);
  TOffer O;
  O.Shop = "shop" + NN;
  O.Sku = NN + "-" + SkuTerm(Term) + "-" + I;
  O.PartNumber = UpperCase(Shown) + "-" + NN + "-" + I;
  O.Manufacturer = Manufacturers[(Index - 1) % 5];
  O.Description = "Demo part " + std::to_string(Index) + " of shop " + NN + " for " + Shown;
  StockOf(Index, O.Stock, O.Quantity);
  const int Base = 20 + (Index * 13 + Shop * 7) % 480;
  for (int B = 0; B <= (Index - 1) % 4; ++B)
    O.Breaks.push_back({BreakQuantities[B], Cents(Base - B * Base / 10)});
  if (Index % 6 != 0)
    O.Datasheet = "http://shop" + NN + ".demo.test/ds/" + O.Sku + ".pdf";
  return O;
}

std::vector<std::unique_ptr<TSite>> MakeNumberedShops(int Count, int Pages, int PerPage, bool FollowUps) {
  std::vector<std::unique_ptr<TSite>> Shops;
  for (int N = 1; N <= Count; ++N)
    Shops.push_back(std::make_unique<TNumberedShop>(N, Pages, PerPage, FollowUps));
  return Shops;
}

}  // namespace kvdemo
