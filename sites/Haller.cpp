// Site library of Haller Elektronik (Switzerland, Swiss francs). The shop
// searches by a posted form and lists each offer as a block; numbers are
// grouped with apostrophes (1'250), and the next page is a form to post again.
#define TWL_DECLARE_EXPORTS

#include <string>

#include "common/Common.h"
#include "sites/twl_abi.h"

namespace {

const char *const Host = "www.haller-elektronik.test";
int32_t SearchType = TWL_SRCH_PARTNO;
int32_t Stopped = 0;

void Put(char *Buffer, int32_t MaxLen, const std::string &Text) { StrToBuffer(Buffer, Text.c_str(), MaxLen); }

std::string Tag(const std::string &Name, const std::string &Value) { return "<" + Name + ">" + Value + "</" + Name + ">"; }

std::string Body(const char *Page) {
  const std::string Text = Page;
  const size_t End = Text.find("\r\n\r\n");
  return End == std::string::npos ? Text : Text.substr(End + 4);
}

// The number right after Label, with the apostrophes of its grouping dropped.
std::string Number(std::string Text, const std::string &Label) {
  ReplaceStrings(Text, "'", "");
  return ExtractPriceFromString(Text, Label);
}

// The hidden fields of the "weiter" form as a form body.
std::string NextPageForm(const std::string &Page) {
  std::string Form = GetTextBetween(Page, "<form class=\"weiter\"", "</form>"), Post;
  for (;;) {
    const std::string Input = ChopLineOut(Form, "<input type=\"hidden\"", ">");
    if (Input.empty())
      break;
    if (!Post.empty())
      Post += "&";
    Post += GetTextBetween(Input, "name=\"", "\"") + "=" +
            HTTPEncode(ReplaceEnumeratedChars(GetTextBetween(Input, "value=\"", "\"")));
  }
  return Post;
}

}  // namespace

extern "C" {

TWL_EXPORT void GetSiteName(char *B, int32_t M) { Put(B, M, "Haller Elektronik"); }
TWL_EXPORT void GetSiteLocation(char *B, int32_t M) { Put(B, M, "CH"); }
TWL_EXPORT void GetSiteCurrency(char *B, int32_t M) { Put(B, M, "CHF Swiss Francs"); }
TWL_EXPORT void GetSiteURL(char *B, int32_t M) { Put(B, M, "http://www.haller-elektronik.test/"); }
TWL_EXPORT void GetSiteHostName(char *B, int32_t M) { Put(B, M, Host); }
TWL_EXPORT void GetSiteAdvert(char *B, int32_t M) { Put(B, M, ""); }
TWL_EXPORT void GetSiteLanguage(char *B, int32_t M) { Put(B, M, "DE German"); }
TWL_EXPORT void GetSiteCategories(TAddStringProc AddString, void *List) {
  for (const char *C : {"Semiconductors", "Passive Components", "Electromechanical"})
    AddString(C, List);
}
TWL_EXPORT void GetSiteFeatures(TAddStringProc AddString, void *List) { AddString("HALLER", List); }
TWL_EXPORT int32_t InterfaceVersion() { return 4; }
TWL_EXPORT int16_t IsSiteCertified() { return 0; }
TWL_EXPORT uint8_t GetSiteSecurity() { return TWL_SEC_NONE; }
TWL_EXPORT void SetSearchStopped(int32_t S) { Stopped = S; }
TWL_EXPORT void SetSearchType(int32_t T) { SearchType = T & 0xFF; }
TWL_EXPORT void SetCustomerDetails(const char *) {}

// A next page comes back as the form body to post; a first page posts the
// search form itself.
TWL_EXPORT int32_t GetSiteStatement(char *Statement, int32_t MaxLen, char *PostData, int32_t *PageState,
                                    char *NextURL, char *SearchText) {
  (void)PageState;
  (void)NextURL;
  Put(Statement, MaxLen, "POST /suche");
  if (!*PostData)
    Put(PostData, TWL_REQUEST_MAXLEN,
        "suchbegriff=" + HTTPEncode(SearchText) +
            "&modus=" + (SearchType == TWL_SRCH_DESCRIPTION ? "text" : "artikel") + "&seite=1");
  return 1;
}

TWL_EXPORT int16_t ProcessPage(int32_t PageState, const char *Page, char *NextRequest, TAddProductProc AddProduct,
                               TAddMoreInfoProc AddMoreInfo, void *Context) {
  (void)PageState;
  (void)AddMoreInfo;
  if (Stopped)
    return 3;
  std::string Blocks = Body(Page);
  const std::string Next = NextPageForm(Blocks);
  for (;;) {
    const std::string Block = ChopLineOut(Blocks, "<div class=\"artikel\">", "</div>");
    if (Block.empty())
      break;
    const std::string Title = GetTextBetween(Block, "<h3>", "</h3>");
    const std::string Link = GetTextBetween(Title, "href=\"", "\"");
    const std::string Stock = GetTextBetween(Block, "<p class=\"lager\">", "</p>");
    std::string StockFlag = "CALL", Quantity;
    if (Stock.rfind("ab Lager:", 0) == 0) {
      StockFlag = "Y";
      Quantity = Number(Stock, "ab Lager: ");
    } else if (Stock.rfind("nicht an Lager", 0) == 0) {
      StockFlag = "N";
      Quantity = "0";
    }
    std::string Datasheet = GetTextBetween(Block, "class=\"datenblatt\" href=\"", "\"");
    if (!Datasheet.empty() && Datasheet[0] == '/')
      Datasheet = "http://" + std::string(Host) + Datasheet;
    const std::string Product = Tag("PN", GetTextBetween(Title, "\">", "</a>")) +
                                Tag("MANF", GetTextBetween(Block, "<p class=\"hersteller\">Hersteller: ", "</p>")) +
                                Tag("DESC", GetTextBetween(Block, "<p class=\"text\">", "</p>")) +
                                Tag("QTY", Quantity) + Tag("DATASHEET", Datasheet);
    std::string Breaks = GetTextBetween(Block, "<ul class=\"staffel\">", "</ul>"), Prices;
    for (int N = 1; N <= 4; ++N) {
      const std::string Price = Number(ChopLineOut(Breaks, "<li>", "</li>"), "CHF ");
      if (Price.empty())
        break;
      Prices += Tag("PR" + std::to_string(N), Price);
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
  return TWL_PAGE_NEXT_POST;
}

}  // extern "C"
