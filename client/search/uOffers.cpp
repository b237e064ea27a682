#include "client/search/uOffers.h"

#include "common/Common.h"
#include "common/Entities.h"
#include "platform/SysUtils.h"

using namespace kv;

void ReadTaggedFields(const std::string &Text, const char *const *Tags, int Count, std::string *Values) {
  // Each value is what ChopLineOut takes from the whole text: from the first
  // opening tag to the first closing tag searched from that tag on, empty
  // when that closing tag starts where the opening one does. One upper-cased
  // copy serves every search, instead of a cut-down copy of the text (and a
  // yield) for every field of every offer.
  const std::string Upper = UpperCase(Text);
  std::string Open, Close;
  bool AnyTag = false;
  for (int I = 0; I < Count && !AnyTag; ++I)
    AnyTag = Upper.find("<" + UpperCase(Tags[I]) + ">") != std::string::npos;
  for (int I = 0; I < Count; ++I)
    Values[I].clear();
  if (!AnyTag) {
    if (Count > 0)
      Values[0] = Text;
    return;
  }
  for (int I = 0; I < Count; ++I) {
    const std::string Tag = UpperCase(Tags[I]);
    Open = "<" + Tag + ">";
    Close = "</" + Tag + ">";
    const size_t A = Upper.find(Open);
    if (A == std::string::npos)
      continue;
    const size_t B = Upper.find(Close, A);
    const size_t From = A + Open.size();
    if (B != std::string::npos && B > From)
      Values[I] = Text.substr(From, B - From);
  }
}

TOfferText ParseProductText(const std::string &ProductText) {
  static const char *const Tags[] = {"DESC", "PN", "MANF", "QTY", "DATASHEET"};
  std::string V[5];
  ReadTaggedFields(DecodeEntities(Trim(ProductText)), Tags, 5, V);
  return TOfferText{V[0], V[1], V[2], V[3], V[4]};
}

std::string ReadStock(const std::string &StockText, std::string &Quantity) {
  std::string Stock = UpperCase(StockText);
  if (Stock != "Y" && Stock != "N" && Stock != "CALL")
    Stock.clear();
  if (Stock == "CALL")
    Stock = "Call";
  if (Stock == "N")
    Quantity = "0";
  if (Stock.empty() || Quantity.empty())
    Quantity = "Call";
  return Stock;
}

std::string FormatPrice(const std::string &Price) {
  double Value = 0;
  if (!TryStrToFloat(Price, Value))
    return "";
  return FormatFloat("#,##0.00", Value);
}

void ParsePrices(const std::string &PriceText, std::string Prices[4]) {
  static const char *const Tags[] = {"PR1", "PR2", "PR3", "PR4"};
  ReadTaggedFields(PriceText, Tags, 4, Prices);
  for (int I = 0; I < 4; ++I)
    Prices[I] = FormatPrice(Prices[I]);
}

bool PartNumberMatches(const std::string &PartNumber, const std::string &Term, int SearchType, int Filter) {
  if (SearchType != srchPartNo || Filter == fltrNone)
    return true;
  const std::string T = UpperCase(Term), P = UpperCase(PartNumber);
  const int At = Pos(T, P);
  if (At == 0)
    return false;
  switch (Filter) {
  case fltrExact:
    return T == P;
  case fltrPartial:
    return true;
  case fltrStartsWith:
    return At == 1;
  default:
    return false;
  }
}

std::string ProductCountText(int Count) {
  return IntToStr(Count) + (Count == 1 ? " product found     " : " products found     ");
}
