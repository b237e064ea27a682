// Site library of Korvandel Direct, the maker's own shop (United Kingdom,
// pounds sterling). Its search answers in a small XML list with a <next>
// address when more parts follow. A part in stock comes without its
// quantity, which its stock document gives as a follow-up of the row.
#define TWL_DECLARE_EXPORTS

#include <string>

#include "common/Common.h"
#include "sites/twl_abi.h"

namespace {

const char *const Host = "direct.korvandel.test";
int32_t SearchType = TWL_SRCH_PARTNO;
int32_t Stopped = 0;

// The page state of a stock document; search pages come with the client's 1.
const int32_t StockPageState = 2;
// A follow-up page is the whole request: nothing comes after it.
const int16_t FollowUpDone = 3;

void Put(char *Buffer, int32_t MaxLen, const std::string &Text) { StrToBuffer(Buffer, Text.c_str(), MaxLen); }

std::string Tag(const std::string &Name, const std::string &Value) { return "<" + Name + ">" + Value + "</" + Name + ">"; }

std::string Body(const char *Page) {
  const std::string Text = Page;
  const size_t End = Text.find("\r\n\r\n");
  return End == std::string::npos ? Text : Text.substr(End + 4);
}

std::string Element(const std::string &Text, const std::string &Name) {
  return GetTextBetween(Text, "<" + Name + ">", "</" + Name + ">");
}

std::string Attribute(const std::string &Tag, const std::string &Name) {
  return GetTextBetween(Tag, " " + Name + "=\"", "\"");
}

// Whether the reply is a document the shop found ("HTTP/1.x 200 ...").
bool Found(const char *Page) {
  const std::string Text = Page;
  return Text.rfind("HTTP/1.", 0) == 0 && Text.find(' ') == 8 && Text.compare(9, 3, "200") == 0 &&
         (Text.size() == 12 || Text[12] == ' ' || Text[12] == '\r');
}

bool IsCount(const std::string &Text) {
  if (Text.empty() || Text.size() > 9)
    return false;
  for (char C : Text)
    if (C < '0' || C > '9')
      return false;
  return true;
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

// The stock document: <stock status="Y" qty="48"/>. Only the part number,
// the stock flag and the quantity are reported, so the row keeps the rest.
int16_t ReadStockDocument(const char *Page, TAddProductProc AddProduct, void *Context) {
  if (!Found(Page))
    return FollowUpDone;
  const std::string Text = Body(Page);
  const std::string Stock = " " + GetTextBetween(Text, "<stock", "/>");
  std::string Status = Attribute(Stock, "status");
  const std::string Quantity = Attribute(Stock, "qty");
  for (char &C : Status)
    C = C >= 'a' && C <= 'z' ? static_cast<char>(C - 'a' + 'A') : C;
  if (Status != "Y" && Status != "N" && Status != "CALL")
    return FollowUpDone;
  if (Status == "Y" ? !IsCount(Quantity) : !Quantity.empty() && !IsCount(Quantity))
    return FollowUpDone;
  const std::string Product = Tag("PN", Element(Text, "number")) + Tag("QTY", Quantity);
  uint8_t Stop = 0;
  AddProduct(Context, Product.c_str(), Status.c_str(), "", "", &Stop);
  return FollowUpDone;
}

}  // namespace

extern "C" {

TWL_EXPORT void GetSiteName(char *B, int32_t M) { Put(B, M, "Korvandel Direct"); }
TWL_EXPORT void GetSiteLocation(char *B, int32_t M) { Put(B, M, "UK"); }
TWL_EXPORT void GetSiteCurrency(char *B, int32_t M) { Put(B, M, "GBP British Pounds"); }
TWL_EXPORT void GetSiteURL(char *B, int32_t M) { Put(B, M, "http://direct.korvandel.test/"); }
TWL_EXPORT void GetSiteHostName(char *B, int32_t M) { Put(B, M, Host); }
TWL_EXPORT void GetSiteAdvert(char *B, int32_t M) { Put(B, M, ""); }
TWL_EXPORT void GetSiteLanguage(char *B, int32_t M) { Put(B, M, "EN English"); }
TWL_EXPORT void GetSiteCategories(TAddStringProc AddString, void *List) {
  for (const char *C : {"Semiconductors", "Passive Components", "Electromechanical", "Optoelectronics",
                        "Programmable Logic"})
    AddString(C, List);
}
TWL_EXPORT void GetSiteFeatures(TAddStringProc AddString, void *List) { AddString("DIRECT", List); }
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
        "GET /api/search?q=" + HTTPEncode(SearchText) +
            "&mode=" + (SearchType == TWL_SRCH_DESCRIPTION ? "text" : "pn"));
  return 1;
}

TWL_EXPORT int16_t ProcessPage(int32_t PageState, const char *Page, char *NextRequest,
                               TAddProductProc AddProduct, TAddMoreInfoProc AddMoreInfo, void *Context) {
  if (Stopped)
    return 3;
  if (PageState == StockPageState)
    return ReadStockDocument(Page, AddProduct, Context);
  std::string Parts = Body(Page);
  const std::string Next = ReplaceEnumeratedChars(Element(Parts, "next"));
  for (;;) {
    std::string Part = ChopLineOut(Parts, "<part>", "</part>");
    if (Part.empty())
      break;
    // <stock status="N" qty="0"/>, or <stock status="Y" qty="" href="/part/KD-0001/stock"/>
    const std::string StockTag = " " + GetTextBetween(Part, "<stock", "/>");
    const std::string Stock = Attribute(StockTag, "status"), Quantity = Attribute(StockTag, "qty");
    const std::string StockURL = ReplaceEnumeratedChars(Attribute(StockTag, "href"));
    const std::string Product = Tag("PN", Element(Part, "number")) + Tag("MANF", Element(Part, "maker")) +
                                Tag("DESC", Element(Part, "text")) + Tag("QTY", Quantity) +
                                Tag("DATASHEET", Element(Part, "datasheet"));
    std::string Prices;
    for (int N = 1; N <= 4; ++N) {
      // <price from="10">0.44</price>
      std::string Price = ChopLineOut(Part, "<price", "</price>");
      const size_t Close = Price.find('>');
      if (Close == std::string::npos)
        break;
      Prices += Tag("PR" + std::to_string(N), Price.substr(Close + 1));
    }
    uint8_t Stop = 0;
    void *Added = AddProduct(Context, Product.c_str(), Stock.c_str(), Prices.c_str(),
                             Element(Part, "link").c_str(), &Stop);
    if (Stop)
      return 3;
    // Only a row the client kept is worth its stock document.
    if (Added && AddMoreInfo && Quantity.empty() && IsPath(StockURL))
      AddMoreInfo(StockURL.c_str(), Added, StockPageState, Context);
  }
  if (Next.empty())
    return TWL_PAGE_TERM_DONE;
  StrToBuffer(NextRequest, Next.c_str(), TWL_REQUEST_MAXLEN);
  return TWL_PAGE_NEXT_URL;
}

}  // extern "C"
