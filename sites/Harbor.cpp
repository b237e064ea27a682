// Site library of Harbor Parts Supply (United States, dollars). The shop
// lists its items in one table and their volume prices in a second one,
// keyed by its own item number; further pages go by a start offset.
#define TWL_DECLARE_EXPORTS

#include <map>
#include <string>
#include <vector>

#include "common/Common.h"
#include "sites/twl_abi.h"

namespace {

const char *const Host = "www.harborparts.test";
int32_t SearchType = TWL_SRCH_PARTNO;
int32_t Stopped = 0;

void Put(char *Buffer, int32_t MaxLen, const std::string &Text) { StrToBuffer(Buffer, Text.c_str(), MaxLen); }

std::string Tag(const std::string &Name, const std::string &Value) { return "<" + Name + ">" + Value + "</" + Name + ">"; }

std::string Body(const char *Page) {
  const std::string Text = Page;
  const size_t End = Text.find("\r\n\r\n");
  return End == std::string::npos ? Text : Text.substr(End + 4);
}

// The data cells of every row of a table (header rows have none).
std::vector<std::vector<std::string>> Rows(std::string Table) {
  std::vector<std::vector<std::string>> Result;
  for (;;) {
    std::string Row = ChopLineOut(Table, "<tr>", "</tr>");
    if (Row.empty())
      break;
    std::vector<std::string> Cells;
    for (std::string Cell = ChopLineOut(Row, "<td>", "</td>"); !Cell.empty(); Cell = ChopLineOut(Row, "<td>", "</td>"))
      Cells.push_back(Cell);
    if (!Cells.empty())
      Result.push_back(Cells);
  }
  return Result;
}

}  // namespace

extern "C" {

TWL_EXPORT void GetSiteName(char *B, int32_t M) { Put(B, M, "Harbor Parts Supply"); }
TWL_EXPORT void GetSiteLocation(char *B, int32_t M) { Put(B, M, "US"); }
TWL_EXPORT void GetSiteCurrency(char *B, int32_t M) { Put(B, M, "USD American Dollars"); }
TWL_EXPORT void GetSiteURL(char *B, int32_t M) { Put(B, M, "http://www.harborparts.test/"); }
TWL_EXPORT void GetSiteHostName(char *B, int32_t M) { Put(B, M, Host); }
TWL_EXPORT void GetSiteAdvert(char *B, int32_t M) {
  Put(B, M, "10000:::http://www.harborparts.test/banner.gif:::www.harborparts.test/");
}
TWL_EXPORT void GetSiteLanguage(char *B, int32_t M) { Put(B, M, "EN English"); }
TWL_EXPORT void GetSiteCategories(TAddStringProc AddString, void *List) {
  for (const char *C : {"Semiconductors", "Passive Components", "Optoelectronics", "Programmable Logic"})
    AddString(C, List);
}
TWL_EXPORT void GetSiteFeatures(TAddStringProc AddString, void *List) { AddString("HARBOR", List); }
TWL_EXPORT int32_t InterfaceVersion() { return 4; }
TWL_EXPORT int16_t IsSiteCertified() { return 1; }
TWL_EXPORT uint8_t GetSiteSecurity() { return TWL_SEC_NONE; }
TWL_EXPORT void SetSearchStopped(int32_t S) { Stopped = S; }
TWL_EXPORT void SetSearchType(int32_t T) { SearchType = T & 0xFF; }
TWL_EXPORT void SetCustomerDetails(const char *) {}

TWL_EXPORT int32_t GetSiteStatement(char *Statement, int32_t MaxLen, char *PostData, int32_t *PageState,
                                    char *NextURL, char *SearchText) {
  (void)PostData;
  (void)PageState;
  if (*NextURL)
    Put(Statement, MaxLen, std::string("GET ") + NextURL);
  else
    Put(Statement, MaxLen,
        "GET /cgi-bin/find?part=" + HTTPEncode(SearchText) +
            "&by=" + (SearchType == TWL_SRCH_DESCRIPTION ? "desc" : "part"));
  return 1;
}

TWL_EXPORT int16_t ProcessPage(int32_t PageState, const char *Page, char *NextRequest, TAddProductProc AddProduct,
                               TAddMoreInfoProc AddMoreInfo, void *Context) {
  (void)PageState;
  (void)AddMoreInfo;
  if (Stopped)
    return 3;
  const std::string Text = Body(Page);
  // Item number -> its prices, in the order the table gives them.
  std::map<std::string, std::vector<std::string>> Pricing;
  for (const auto &Cells : Rows(GetTextBetween(Text, "<table id=\"pricing\"", "</table>")))
    if (Cells.size() >= 3)
      Pricing[Cells[0]].push_back(ExtractPriceFromString(Cells[2], "$"));
  for (const auto &Cells : Rows(GetTextBetween(Text, "<table id=\"items\"", "</table>"))) {
    if (Cells.size() < 6)
      continue;
    std::string StockFlag = "Y", Quantity = Cells[4];
    if (Quantity == "Backordered") {
      StockFlag = "N";
      Quantity = "0";
    } else if (Quantity == "Call") {
      StockFlag = "CALL";
      Quantity = "";
    } else {
      ReplaceStrings(Quantity, ",", "");
    }
    const std::string Link = GetTextBetween(Cells[1], "href=\"", "\"");
    const std::string Product = Tag("PN", GetTextBetween(Cells[1], "\">", "</a>")) + Tag("MANF", Cells[2]) +
                                Tag("DESC", Cells[3]) + Tag("QTY", Quantity) +
                                Tag("DATASHEET", GetTextBetween(Cells[5], "href=\"", "\""));
    std::string Prices;
    const std::vector<std::string> &Breaks = Pricing[Cells[0]];
    for (size_t N = 0; N < Breaks.size() && N < 4; ++N)
      Prices += Tag("PR" + std::to_string(N + 1), Breaks[N]);
    const std::string Url = Link.empty() ? "" : "http://" + std::string(Host) + Link;
    uint8_t Stop = 0;
    AddProduct(Context, Product.c_str(), StockFlag.c_str(), Prices.c_str(), Url.c_str(), &Stop);
    if (Stop)
      return 3;
  }
  const std::string Next =
      ReplaceEnumeratedChars(GetTextBetween(GetTextBetween(Text, "<p class=\"nav\">", "</p>"), "<a href=\"", "\""));
  if (Next.empty())
    return TWL_PAGE_TERM_DONE;
  StrToBuffer(NextRequest, Next.c_str(), TWL_REQUEST_MAXLEN);
  return TWL_PAGE_NEXT_URL;
}

}  // extern "C"
