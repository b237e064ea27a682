#pragma once
// Offer-like rows for the list benchmarks, from a fixed seed: made-up part
// numbers, four-word descriptions, makers, datasheet links, prices with
// thousands separators (one in ten empty), stock, quantities and suppliers;
// each row's data is its number.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "components/replistv_rules.h"
#include "platform/SysUtils.h"

struct TOfferMix {
  bool ShopTexts = false;     // commas, quotes, markup and accented letters in the texts
  bool MixedCase = false;     // the part numbers' second letter in lower case
  bool CallQuantity = false;  // quantity "Call" where the stock is "Call" or unknown
};

inline std::vector<kv::TReportItem> MakeOffers(int Rows, const TOfferMix &Mix = {}) {
  std::mt19937 Rng(2026);
  const char *Words[] = {"resistor", "capacitor", "ceramic", "film", "SMD", "through-hole", "0805", "1206",
                         "low", "noise", "precision", "power", "diode", "schottky", "MOSFET", "regulator"};
  const char *Makers[] = {"Vishay", "Murata", "Yageo", "Kemet", "TI", "ST", "NXP", "Onsemi", "Bourns",
                          "M\xFCller & S\xF6hne"};
  const char *Shops[] = {"Shop One", "Shop Two", "Parts Hub", "Chip Yard", "Volt Mart"};
  const char *Stock[] = {"Y", "N", "Call", ""};
  const unsigned MakerCount = Mix.ShopTexts ? 10 : 9;
  std::vector<kv::TReportItem> Items(static_cast<size_t>(Rows));
  for (int I = 0; I < Rows; ++I) {
    kv::TReportItem &It = Items[static_cast<size_t>(I)];
    It.Caption = kv::Format("%c%c%05u-%02u", 'A' + static_cast<int>(Rng() % 26),
                            (Mix.MixedCase ? 'a' : 'A') + static_cast<int>(Rng() % 26),
                            static_cast<unsigned>(Rng() % 100000), static_cast<unsigned>(Rng() % 100));
    std::string Desc;
    for (int W = 0; W < 4; ++W)
      Desc += std::string(W ? (Mix.ShopTexts && Rng() % 8 == 0 ? ", " : " ") : "") + Words[Rng() % 16];
    if (Mix.ShopTexts && Rng() % 20 == 0)
      Desc += " 1/4\" lead";
    const double Price = (Rng() % 10 == 0) ? -1 : (Rng() % 2000000) / 100.0;
    const char *S = Stock[Rng() % 4];
    const bool Call = Mix.CallQuantity && (std::string(S) == "Call" || !*S);
    const unsigned Shop = Rng() % 5;
    It.SubItems = {Desc,
                   Makers[Rng() % MakerCount],
                   Rng() % 2 ? "http://Datasheet" : "",
                   Price < 0 ? "" : kv::FormatFloat("#,##0.00", Price),
                   S,
                   Call ? "Call" : kv::IntToStr(static_cast<int>(Rng() % 5000)),
                   Mix.ShopTexts && Shop == 4 ? "\xC9lectronique <Volt>" : Shops[Shop]};
    It.Data = reinterpret_cast<void *>(static_cast<intptr_t>(I));
  }
  return Items;
}
