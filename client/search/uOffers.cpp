#include "client/search/uOffers.h"

#include "common/Common.h"
#include "platform/SysUtils.h"

using namespace kv;

void ReadTaggedFields(const std::string &Text, const char *const *Tags, int Count, std::string *Values) {
  const std::string Upper = UpperCase(Text);
  bool AnyTag = false;
  for (int I = 0; I < Count; ++I)
    if (Pos("<" + UpperCase(Tags[I]) + ">", Upper) != 0)
      AnyTag = true;
  for (int I = 0; I < Count; ++I)
    Values[I].clear();
  if (!AnyTag) {
    if (Count > 0)
      Values[0] = Text;
    return;
  }
  for (int I = 0; I < Count; ++I) {
    std::string Rest = Text;
    Values[I] = ChopLineOut(Rest, "<" + std::string(Tags[I]) + ">", "</" + std::string(Tags[I]) + ">");
  }
}

TOfferText ParseProductText(const std::string &ProductText) {
  static const char *const Tags[] = {"DESC", "PN", "MANF", "QTY", "DATASHEET"};
  std::string V[5];
  ReadTaggedFields(ReplaceEnumeratedChars(Trim(ProductText)), Tags, 5, V);
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
