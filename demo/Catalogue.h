#pragma once
// The demo shops' stock: catalogue.csv, one line per offer of one shop, in
// the order the shops list them.
#include <string>
#include <vector>

namespace kvdemo {

struct TPriceBreak {
  std::string Quantity;  // the order quantity the price starts at
  std::string Price;     // as written in the file: "." decimals, no thousands
};

struct TOffer {
  std::string Shop, Sku, PartNumber, Manufacturer, Description;
  std::string Stock;     // "Y", "N" or "CALL"
  std::string Quantity;  // empty for CALL
  std::vector<TPriceBreak> Breaks;  // one to four
  std::string Datasheet; // absolute address on the shop's host, or empty
};

// Splits one CSV line ("," between fields, fields in double quotes may hold
// commas and doubled quotes).
std::vector<std::string> SplitCsvLine(const std::string &Line);

// Reads the file; throws std::runtime_error when it cannot be read or a line
// is malformed.
std::vector<TOffer> LoadCatalogue(const std::string &Path);

// The shop's offers whose part number (or, searching descriptions, whose
// description) contains Term, ignoring letter case. A blank term finds nothing.
std::vector<const TOffer *> FindOffers(const std::vector<TOffer> &Catalogue, const std::string &Shop,
                                       const std::string &Term, bool ByDescription);

}  // namespace kvdemo
