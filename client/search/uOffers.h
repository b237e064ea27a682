#pragma once
// The offer texts a site library reports, read into the values of one result
// row: tagged fields, stock, prices and the part-number match.
#include <string>

// The fields of a product text, decoded.
struct TOfferText {
  std::string Description, PartNumber, Manufacturer, Quantity, Datasheet;
};

// The value of each tag: the text between the first Open (any letter case)
// and the first Close after it; empty when either is missing. When none of
// the opening tags occurs, the whole text is the first field.
void ReadTaggedFields(const std::string &Text, const char *const *Tags, int Count, std::string *Values);

// Trims, decodes the entities and reads the five product fields.
TOfferText ParseProductText(const std::string &ProductText);

// "Y", "N", "Call" or empty; "N" sets Quantity to "0", and an empty stock or
// quantity makes the quantity "Call".
std::string ReadStock(const std::string &StockText, std::string &Quantity);

// A price break as "#,##0.00"; empty when it is no number.
std::string FormatPrice(const std::string &Price);
// The four price breaks of a price text, formatted.
void ParsePrices(const std::string &PriceText, std::string Prices[4]);

// The match of a part number against a search term. SearchType and Filter are
// the indexes of the search-type and match boxes.
bool PartNumberMatches(const std::string &PartNumber, const std::string &Term, int SearchType, int Filter);

// "N products found     " (one product: "product"), as the count shows it.
std::string ProductCountText(int Count);
