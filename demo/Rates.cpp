#include "demo/Rates.h"

#include <cstdio>
#include <map>

namespace kvdemo {
namespace {

// Made-up values of one unit in American dollars, fixed so tests can predict
// every rate. Only some of the currencies the client knows have one.
const std::map<std::string, double> &DollarValues() {
  static const std::map<std::string, double> Values{
      {"USD", 1.0},   {"GBP", 1.25},  {"CHF", 1.1},   {"DEM", 0.5},  {"FRF", 0.16},
      {"JPY", 0.008}, {"CAN", 0.75},  {"AUD", 0.64},  {"XEU", 1.08}, {"NLG", 0.45}};
  return Values;
}

}  // namespace

bool IsRatesPage(const std::string &Path) { return UpperCase(Path) == "/RATEWELL/RATE.ASP"; }

std::string DemoRate(const std::string &From, const std::string &To) {
  const auto F = DollarValues().find(UpperCase(From)), T = DollarValues().find(UpperCase(To));
  if (F == DollarValues().end() || T == DollarValues().end())
    return "n/a";
  char Text[32];
  std::snprintf(Text, sizeof Text, "%.6g", F->second / T->second);
  return Text;
}

TReply RatesPage(const TRequest &Request) {
  TReply R;
  R.ContentType = "text/plain; charset=windows-1252";
  R.Body = DemoRate(FormValue(Request.Query, "from"), FormValue(Request.Query, "to")) + "\r\n";
  return R;
}

}  // namespace kvdemo
