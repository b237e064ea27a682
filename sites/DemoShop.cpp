// Site library of the numbered demo shops. One build serves them all: a copy
// named "ShopNN.TWL" plays shop NN, taking its number from its own file name;
// under any other name it plays shop 00, which no server answers.
// Its pages are plain lines ("item ...", "more ...", "next ...") read with
// plain finds, and it does nothing else, so that a benchmark of many shops
// measures the engine rather than the library.
#define TWL_DECLARE_EXPORTS

#include <dlfcn.h>

#include <cstring>
#include <string>
#include <string_view>

#include "common/Common.h"
#include "sites/twl_abi.h"

namespace {

int32_t SearchType = TWL_SRCH_PARTNO;
int32_t Stopped = 0;

const int32_t StockPage = 20;

struct TIdentity {
  std::string NN, Host;
};

std::string NumberFromFileName() {
  Dl_info Info{};
  if (!dladdr(reinterpret_cast<void *>(&NumberFromFileName), &Info) || !Info.dli_fname)
    return "00";
  std::string Name = Info.dli_fname;
  const size_t Slash = Name.rfind('/');
  if (Slash != std::string::npos)
    Name.erase(0, Slash + 1);
  for (char &C : Name)
    if (C >= 'a' && C <= 'z')
      C = static_cast<char>(C - 'a' + 'A');
  if (Name.size() == 10 && Name.compare(0, 4, "SHOP") == 0 && Name.compare(6, 4, ".TWL") == 0 && Name[4] >= '0' &&
      Name[4] <= '9' && Name[5] >= '0' && Name[5] <= '9')
    return Name.substr(4, 2);
  return "00";
}

const TIdentity &Identity() {
  static const TIdentity I = [] {
    const std::string NN = NumberFromFileName();
    return TIdentity{NN, "shop" + NN + ".demo.test"};
  }();
  return I;
}

void Put(char *Buffer, int32_t MaxLen, const std::string &Text) { StrToBuffer(Buffer, Text.c_str(), MaxLen); }

void AddTag(std::string &To, const char *Name, const std::string &Value) {
  To += '<';
  To += Name;
  To += '>';
  To += Value;
  To += "</";
  To += Name;
  To += '>';
}

// The client decodes the offer texts as HTML: markup characters of a term
// that came back in a field must not open tags of their own.
std::string Escaped(const std::string &Text) {
  if (Text.find_first_of("&<>") == std::string::npos)
    return Text;
  std::string Out;
  for (char C : Text) {
    if (C == '&')
      Out += "&amp;";
    else if (C == '<')
      Out += "&lt;";
    else if (C == '>')
      Out += "&gt;";
    else
      Out += C;
  }
  return Out;
}

// Splits Line at "|" into exactly Count fields; false for any other count.
bool Split(std::string_view Line, size_t From, std::string *Fields, size_t Count) {
  size_t N = 0;
  for (size_t P = From;; ++N) {
    const size_t Bar = Line.find('|', P);
    if (N >= Count)
      return false;
    Fields[N] = Line.substr(P, Bar == std::string_view::npos ? std::string_view::npos : Bar - P);
    if (Bar == std::string_view::npos)
      return N + 1 == Count;
    P = Bar + 1;
  }
}

// "1:0.52;10:0.47" -> "<PR1>0.52</PR1><PR2>0.47</PR2>", four breaks at most.
std::string Prices(const std::string &Breaks) {
  std::string Out;
  size_t P = 0;
  for (int N = 1; N <= 4 && P < Breaks.size(); ++N) {
    size_t End = Breaks.find(';', P);
    if (End == std::string::npos)
      End = Breaks.size();
    const size_t Colon = Breaks.find(':', P);
    if (Colon == std::string::npos || Colon > End)
      break;
    const std::string Name = "PR" + std::to_string(N);
    AddTag(Out, Name.c_str(), Breaks.substr(Colon + 1, End - Colon - 1));
    P = End + 1;
  }
  return Out;
}

bool StartsWith(std::string_view Text, size_t At, const char *Prefix) {
  return At <= Text.size() && Text.substr(At).starts_with(Prefix);
}

}  // namespace

extern "C" {

TWL_EXPORT void GetSiteName(char *B, int32_t M) { Put(B, M, "Demo Shop " + Identity().NN); }
TWL_EXPORT void GetSiteLocation(char *B, int32_t M) { Put(B, M, "UK"); }
TWL_EXPORT void GetSiteCurrency(char *B, int32_t M) { Put(B, M, "GBP British Pounds"); }
TWL_EXPORT void GetSiteURL(char *B, int32_t M) { Put(B, M, "http://" + Identity().Host + "/"); }
TWL_EXPORT void GetSiteHostName(char *B, int32_t M) { Put(B, M, Identity().Host); }
TWL_EXPORT void GetSiteAdvert(char *B, int32_t M) { Put(B, M, ""); }
TWL_EXPORT void GetSiteLanguage(char *B, int32_t M) { Put(B, M, "EN English"); }
TWL_EXPORT void GetSiteCategories(TAddStringProc AddString, void *List) {
  for (const char *C : {"Semiconductors", "Passive Components"})
    AddString(C, List);
}
TWL_EXPORT void GetSiteFeatures(TAddStringProc AddString, void *List) { AddString("DEMOSHOP", List); }
TWL_EXPORT int32_t InterfaceVersion() { return 4; }
TWL_EXPORT int16_t IsSiteCertified() { return 1; }
TWL_EXPORT uint8_t GetSiteSecurity() { return TWL_SEC_NONE; }
TWL_EXPORT void SetSearchStopped(int32_t S) { Stopped = S; }
TWL_EXPORT void SetSearchType(int32_t T) { SearchType = T & 0xFF; }
TWL_EXPORT void SetCustomerDetails(const char *) {}

// A request that does not fit is not made at all: cut short, it would ask
// for some other page.
TWL_EXPORT int32_t GetSiteStatement(char *Statement, int32_t MaxLen, char *PostData, int32_t *PageState,
                                    char *NextURL, char *SearchText) {
  (void)PostData;
  (void)PageState;
  const std::string S = *NextURL ? std::string("GET ") + NextURL
                                 : "GET /find?q=" + HTTPEncode(SearchText) + "&by=" +
                                       (SearchType == TWL_SRCH_DESCRIPTION ? "desc" : "pn") + "&page=1";
  if (MaxLen < 0 || S.size() > static_cast<size_t>(MaxLen))
    return 0;
  Put(Statement, MaxLen, S);
  return 1;
}

TWL_EXPORT int16_t ProcessPage(int32_t PageState, const char *Page, char *NextRequest, TAddProductProc AddProduct,
                               TAddMoreInfoProc AddMoreInfo, void *Context) {
  if (Stopped)
    return 3;
  // Read in place: the page is the engine's, alive for the whole call.
  const std::string_view Text(Page);
  const size_t HeadEnd = Text.find("\r\n\r\n");
  const size_t Body = HeadEnd == std::string_view::npos ? 0 : HeadEnd + 4;
  if (!StartsWith(Text, Body, "KVDEMO-SHOP 1\r\n") && !StartsWith(Text, Body, "KVDEMO-SHOP 1\n"))
    return TWL_PAGE_TERM_DONE;
  const std::string Host = "http://" + Identity().Host + "/item/";
  std::string Next;
  void *LastRow = nullptr;
  std::string F[8];
  // Only whole lines count: a line cut off by a broken connection would
  // report an offer with fields missing.
  for (size_t P = Body, End; (End = Text.find('\n', P)) != std::string_view::npos; P = End + 1) {
    std::string_view Line = Text.substr(P, End - P);
    if (!Line.empty() && Line.back() == '\r')
      Line.remove_suffix(1);
    void *Row = nullptr;
    uint8_t Stop = 0;
    if (PageState == StockPage) {
      if (StartsWith(Line, 0, "stock ") && Split(Line, 6, F, 3)) {
        std::string Product;
        AddTag(Product, "QTY", F[2]);
        AddProduct(Context, Product.c_str(), F[1].c_str(), "", "", &Stop);
        if (Stop)
          return 3;
      }
    } else if (StartsWith(Line, 0, "item ") && Split(Line, 5, F, 8)) {
      std::string Product;
      AddTag(Product, "PN", Escaped(F[1]));
      AddTag(Product, "MANF", Escaped(F[2]));
      AddTag(Product, "DESC", Escaped(F[3]));
      AddTag(Product, "QTY", F[5]);
      AddTag(Product, "DATASHEET", Escaped(F[7]));
      const std::string Url = Host + F[0];
      Row = AddProduct(Context, Product.c_str(), F[4].c_str(), Prices(F[6]).c_str(), Url.c_str(), &Stop);
      if (Stop)
        return 3;
    } else if (StartsWith(Line, 0, "more ")) {
      if (LastRow && AddMoreInfo)
        AddMoreInfo(std::string(Line.substr(5)).c_str(), LastRow, StockPage, Context);
    } else if (StartsWith(Line, 0, "next ")) {
      Next = Line.substr(5);
    } else if (Line == "end") {
      break;
    }
    LastRow = Row;
  }
  // An address too long for the buffer would be cut into another one.
  if (PageState == StockPage || Next.empty() || Next.size() > TWL_REQUEST_MAXLEN)
    return TWL_PAGE_TERM_DONE;
  StrToBuffer(NextRequest, Next.c_str(), TWL_REQUEST_MAXLEN);
  return TWL_PAGE_NEXT_URL;
}

}  // extern "C"
