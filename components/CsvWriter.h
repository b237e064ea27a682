#pragma once
// Delimited text that spreadsheets read back cell for cell. A field is
// written unchanged unless it holds the delimiter, a double quote or a line
// break; then it is put in double quotes with its own double quotes doubled
// (RFC 4180), so it stays one field. Bytes pass through as they are.
#include <span>
#include <string>
#include <vector>

namespace kv {

std::string CsvField(const std::string &Field, char Delimiter);
void AppendCsvField(std::string &Out, const std::string &Field, char Delimiter);
// Appends the fields, each through CsvField, joined by the delimiter and
// ended by carriage return and line feed.
void AppendCsvLine(std::string &Out, const std::vector<std::string> &Fields, char Delimiter);
// The same for the fields First, then Rest.
void AppendCsvLine(std::string &Out, const std::string &First, std::span<const std::string> Rest, char Delimiter);

}  // namespace kv
