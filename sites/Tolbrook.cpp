// Site library of Tolbrook Components (United Kingdom, pounds sterling).
// Its search page lists offers as rows of one HTML table; the price cell
// holds the first break as "qty+ £price" and, when there are more, a link to
// the item page, whose table of breaks is read as a follow-up of the row. A
// "Next page" link follows the table.
#define TWL_DECLARE_EXPORTS

#include <string>

#include "common/Common.h"
#include "sites/twl_abi.h"

namespace {

const char *const Host = "www.tolbrook.test";
int32_t SearchType = TWL_SRCH_PARTNO;
int32_t Stopped = 0;

// The page state of an item page; search pages come with the client's 1.
const int32_t ItemPageState = 2;
// A follow-up page is the whole request: nothing comes after it.
const int16_t FollowUpDone = 3;

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

// Whether the reply is a page the shop found ("HTTP/1.x 200 ...").
bool Found(const char *Page) {
  const std::string Text = Page;
  return Text.rfind("HTTP/1.", 0) == 0 && Text.find(' ') == 8 && Text.compare(9, 3, "200") == 0 &&
         (Text.size() == 12 || Text[12] == ' ' || Text[12] == '\r');
}

// A follow-up address must be a path on the shop's host that fits one
// request line.
bool IsPath(const std::string &Url) {
  if (Url.size() < 2 || Url[0] != '/' || Url.size() > TWL_REQUEST_MAXLEN - 4)
    return false;
  for (unsigned char C : Url)
    if (C <= ' ' || C == 0x7F)
      return false;
  return true;
}

// The item page: its part number and the whole table of breaks. Only the
// part number and the prices are reported, so the row keeps the rest.
int16_t ReadItemPage(const char *Page, TAddProductProc AddProduct, void *Context) {
  if (!Found(Page))
    return FollowUpDone;
  const std::string Text = Body(Page);
  std::string Table = GetTextBetween(Text, "<table class=\"breaks\"", "</table>"), Prices;
  for (int N = 1; N <= 4; ++N) {
    const std::string Price =
        ExtractPriceFromString(ChopLineOut(Table, "<td class=\"price\">", "</td>"), "\xA3");
    if (Price.empty())
      break;
    const std::string Name = "PR" + std::to_string(N);
    Prices += Tag(Name.c_str(), Price);
  }
  if (Prices.empty())
    return FollowUpDone;
  const std::string Product = Tag("PN", GetTextBetween(Text, "<h1 class=\"pn\">", "</h1>"));
  uint8_t Stop = 0;
  AddProduct(Context, Product.c_str(), "", Prices.c_str(), "", &Stop);
  return FollowUpDone;
}

}  // namespace

extern "C" {

TWL_EXPORT void GetSiteName(char *B, int32_t M) { Put(B, M, "Tolbrook Components"); }
TWL_EXPORT void GetSiteLocation(char *B, int32_t M) { Put(B, M, "UK"); }
TWL_EXPORT void GetSiteCurrency(char *B, int32_t M) { Put(B, M, "GBP British Pounds"); }
TWL_EXPORT void GetSiteURL(char *B, int32_t M) { Put(B, M, "http://www.tolbrook.test/"); }
TWL_EXPORT void GetSiteHostName(char *B, int32_t M) { Put(B, M, Host); }
TWL_EXPORT void GetSiteAdvert(char *B, int32_t M) {
  Put(B, M, "8000:::http://www.tolbrook.test/banner.gif:::www.tolbrook.test/");
}
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

TWL_EXPORT int16_t ProcessPage(int32_t PageState, const char *Page, char *NextRequest,
                               TAddProductProc AddProduct, TAddMoreInfoProc AddMoreInfo, void *Context) {
  if (Stopped)
    return 3;
  if (PageState == ItemPageState)
    return ReadItemPage(Page, AddProduct, Context);
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
    // "1+ £0.48" or "1+ £0.48<br><a class="breaks" href="/product/...">more prices</a>"
    std::string Breaks = GetTextBetween(Row, "<td class=\"price\">", "</td>"), Prices;
    const std::string MoreBreaks =
        ReplaceEnumeratedChars(GetTextBetween(Breaks, "<a class=\"breaks\" href=\"", "\""));
    const size_t Anchor = Breaks.find("<a class=\"breaks\"");
    if (Anchor != std::string::npos)
      Breaks.erase(Anchor);
    Breaks += "<br>";
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
    void *Added = AddProduct(Context, Product.c_str(), StockFlag.c_str(), Prices.c_str(), Url.c_str(), &Stop);
    if (Stop)
      return 3;
    // Only a row the client kept is worth its item page.
    if (Added && AddMoreInfo && IsPath(MoreBreaks))
      AddMoreInfo(MoreBreaks.c_str(), Added, ItemPageState, Context);
  }
  if (Next.empty())
    return TWL_PAGE_TERM_DONE;
  StrToBuffer(NextRequest, Next.c_str(), TWL_REQUEST_MAXLEN);
  return TWL_PAGE_NEXT_URL;
}

}  // extern "C"
