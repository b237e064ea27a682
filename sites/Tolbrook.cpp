// Site library of Tolbrook Components (United Kingdom, pounds sterling).
// Its search page lists offers as rows of one HTML table; the price cell
// holds the breaks as "qty+ £price" lines and a "Next page" link follows.
#include <string>

#include "common/Common.h"
#include "sites/twl_abi.h"

namespace {

const char *const Host = "www.tolbrook.test";
int32_t SearchType = TWL_SRCH_PARTNO;
int32_t Stopped = 0;

void Put(char *Buffer, int32_t MaxLen, const std::string &Text) { StrToBuffer(Buffer, Text.c_str(), MaxLen); }

std::string Tag(const char *Name, const std::string &Value) {
  return std::string("<") + Name + ">" + Value + "</" + Name + ">";
}

// The page without its reply header.
std::string Body(const char *Page) {
  const std::string Text = Page;
  const size_t End = Text.find("\r\n\r\n");
  return End == std::string::npos ? Text : Text.substr(End + 4);
}

}  // namespace

extern "C" {

TWL_EXPORT void GetSiteName(char *B, int32_t M) { Put(B, M, "Tolbrook Components"); }
TWL_EXPORT void GetSiteLocation(char *B, int32_t M) { Put(B, M, "UK"); }
TWL_EXPORT void GetSiteCurrency(char *B, int32_t M) { Put(B, M, "GBP British Pounds"); }
TWL_EXPORT void GetSiteURL(char *B, int32_t M) { Put(B, M, "http://www.tolbrook.test/"); }
TWL_EXPORT void GetSiteHostName(char *B, int32_t M) { Put(B, M, Host); }
TWL_EXPORT void GetSiteAdvert(char *B, int32_t M) { Put(B, M, ""); }
TWL_EXPORT void GetSiteLanguage(char *B, int32_t M) { Put(B, M, "EN English"); }
TWL_EXPORT void GetSiteCategories(TAddStringProc AddString, void *List) {
  for (const char *C : {"Semiconductors", "Passive Components", "Electromechanical", "Optoelectronics"})
    AddString(C, List);
}
TWL_EXPORT void GetSiteFeatures(TAddStringProc AddString, void *List) { AddString("TOLBROOK", List); }
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
  if (*NextURL) {
    Put(Statement, MaxLen, std::string("GET ") + NextURL);
    return 1;
  }
  Put(Statement, MaxLen,
      "GET /search?q=" + HTTPEncode(SearchText) + "&type=" + (SearchType == TWL_SRCH_DESCRIPTION ? "kw" : "pn") +
          "&page=1");
  return 1;
}

TWL_EXPORT int16_t ProcessPage(int32_t PageState, const char *Page, char *NextRequest, TAddProductProc AddProduct,
                               TAddMoreInfoProc AddMoreInfo, void *Context) {
  (void)PageState;
  (void)AddMoreInfo;
  if (Stopped)
    return 3;
  std::string Rows = Body(Page);
  const std::string Next = ReplaceEnumeratedChars(GetTextBetween(Rows, "<a class=\"next\" href=\"", "\""));
  for (;;) {
    const std::string Row = ChopLineOut(Rows, "<tr class=\"item\">", "</tr>");
    if (Row.empty())
      break;
    const std::string PnCell = GetTextBetween(Row, "<td class=\"pn\">", "</td>");
    const std::string Link = GetTextBetween(PnCell, "href=\"", "\"");
    const std::string Stock = GetTextBetween(Row, "<td class=\"stock\">", "</td>");
    std::string StockFlag = "CALL", Quantity;
    if (Stock.rfind("In stock", 0) == 0) {
      StockFlag = "Y";
      Quantity = ExtractPriceFromString(Stock, "In stock: ");
    } else if (Stock.rfind("Out of stock", 0) == 0) {
      StockFlag = "N";
      Quantity = "0";
    }
    std::string Product = Tag("PN", GetTextBetween(PnCell, "\">", "</a>")) +
                          Tag("MANF", GetTextBetween(Row, "<td class=\"mfr\">", "</td>")) +
                          Tag("DESC", GetTextBetween(Row, "<td class=\"desc\">", "</td>")) + Tag("QTY", Quantity) +
                          Tag("DATASHEET", GetTextBetween(GetTextBetween(Row, "<td class=\"ds\">", "</td>"),
                                                          "href=\"", "\""));
    // "1+ £0.48<br>10+ £0.42..."
    std::string Breaks = GetTextBetween(Row, "<td class=\"price\">", "</td>") + "<br>", Prices;
    for (int N = 1; N <= 4; ++N) {
      const size_t End = Breaks.find("<br>");
      if (End == std::string::npos)
        break;
      const std::string Price = ExtractPriceFromString(Breaks.substr(0, End), "\xA3");
      Breaks.erase(0, End + 4);
      if (Price.empty())
        break;
      const std::string Name = "PR" + std::to_string(N);
      Prices += Tag(Name.c_str(), Price);
    }
    const std::string Url = Link.empty() ? "" : "http://" + std::string(Host) + Link;
    uint8_t Stop = 0;
    AddProduct(Context, Product.c_str(), StockFlag.c_str(), Prices.c_str(), Url.c_str(), &Stop);
    if (Stop)
      return 3;
  }
  if (Next.empty())
    return TWL_PAGE_TERM_DONE;
  StrToBuffer(NextRequest, Next.c_str(), TWL_REQUEST_MAXLEN);
  return TWL_PAGE_NEXT_URL;
}

}  // extern "C"
