// Site library of Korvandel Direct, the maker's own shop (United Kingdom,
// pounds sterling). Its search answers in a small XML list with a <next>
// address when more parts follow.
#include <string>

#include "common/Common.h"
#include "sites/twl_abi.h"

namespace {

const char *const Host = "direct.korvandel.test";
int32_t SearchType = TWL_SRCH_PARTNO;
int32_t Stopped = 0;

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

TWL_EXPORT int16_t ProcessPage(int32_t PageState, const char *Page, char *NextRequest, TAddProductProc AddProduct,
                               TAddMoreInfoProc AddMoreInfo, void *Context) {
  (void)PageState;
  (void)AddMoreInfo;
  if (Stopped)
    return 3;
  std::string Parts = Body(Page);
  const std::string Next = ReplaceEnumeratedChars(Element(Parts, "next"));
  for (;;) {
    std::string Part = ChopLineOut(Parts, "<part>", "</part>");
    if (Part.empty())
      break;
    const std::string Stock = GetTextBetween(Part, "<stock status=\"", "\"");
    const std::string Product = Tag("PN", Element(Part, "number")) + Tag("MANF", Element(Part, "maker")) +
                                Tag("DESC", Element(Part, "text")) +
                                Tag("QTY", GetTextBetween(Part, "qty=\"", "\"")) +
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
    AddProduct(Context, Product.c_str(), Stock.c_str(), Prices.c_str(), Element(Part, "link").c_str(), &Stop);
    if (Stop)
      return 3;
  }
  if (Next.empty())
    return TWL_PAGE_TERM_DONE;
  StrToBuffer(NextRequest, Next.c_str(), TWL_REQUEST_MAXLEN);
  return TWL_PAGE_NEXT_URL;
}

}  // extern "C"
