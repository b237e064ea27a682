#pragma once
// The rates page the currency library's stand-in asks:
//   GET /ratewell/rate.asp?from=GBP&to=USD
// answers, as plain text, how many units of "to" one unit of "from" buys,
// or "n/a" for a pair it has no rate for.
#include <string>

#include "demo/Http.h"

namespace kvdemo {

// True for the page's address (any letter case).
bool IsRatesPage(const std::string &Path);
TReply RatesPage(const TRequest &Request);
// The rate text the page gives for a pair ("n/a" when it has none).
std::string DemoRate(const std::string &From, const std::string &To);

}  // namespace kvdemo
