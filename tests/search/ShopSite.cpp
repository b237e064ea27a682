// The fixture site library with a page procedure driven by the page itself,
// so each reply of a test shop says what the library reports and returns.
// Lines of the reply's body, after the header block:
//   offer <product text>|<stock>|<price text>|<product URL>
//   ask <url>        a follow-up for no row, page state 7
//   next <text>      written into the next-request buffer
//   result <n>       the page procedure's result (default PageResult, then 0)
// Every call is logged as "ProcessPage <state>", every offer the engine
// refuses to take with Stop as "stopped", and an exception that comes out of
// a callback as "exception" (it is let through, as a careless library would).
#define KV_TWL_NO_PROCESSPAGE
#include "sites/FixtureSite.cpp"

namespace {

std::vector<std::string> SplitAt(const std::string &Text, char Delimiter) {
  std::vector<std::string> Parts;
  std::string Part;
  std::stringstream In(Text);
  while (std::getline(In, Part, Delimiter))
    Parts.push_back(Part);
  while (Parts.size() < 4)
    Parts.emplace_back();
  return Parts;
}

}  // namespace

extern "C" TWL_EXPORT int16_t ProcessPage(int32_t PageState, const char *Page, char *NextRequest,
                                          TAddProductProc AddProduct, TAddMoreInfoProc AddMoreInfo,
                                          void *Context) {
  Enter("ProcessPage", std::to_string(PageState));
  std::string Text = Page;
  const size_t Head = Text.find("\r\n\r\n");
  Text = Head == std::string::npos ? std::string() : Text.substr(Head + 4);
  int Result = GetInt("PageResult", TWL_PAGE_TERM_DONE);
  std::stringstream In(Text);
  std::string Line;
  try {
    while (std::getline(In, Line)) {
      if (!Line.empty() && Line.back() == '\r')
        Line.pop_back();
      if (Line.rfind("offer ", 0) == 0) {
        const std::vector<std::string> F = SplitAt(Line.substr(6), '|');
        uint8_t Stop = 0;
        void *Row = AddProduct(Context, F[0].c_str(), F[1].c_str(), F[2].c_str(), F[3].c_str(), &Stop);
        if (Stop) {
          LogCall("stopped");
          break;
        }
        if (Row && Line.find("|more") != std::string::npos)
          AddMoreInfo("/more", Row, 7, Context);
      } else if (Line.rfind("ask ", 0) == 0) {
        AddMoreInfo(Line.substr(4).c_str(), nullptr, 7, Context);
      } else if (Line.rfind("next ", 0) == 0) {
        StrToBuffer(NextRequest, Line.substr(5).c_str(), TWL_REQUEST_MAXLEN);
      } else if (Line.rfind("result ", 0) == 0) {
        Result = std::atoi(Line.substr(7).c_str());
      }
    }
  } catch (...) {
    LogCall("exception");
    throw;
  }
  return static_cast<int16_t>(Result);
}
