#include "components/CsvWriter.h"

namespace kv {

std::string CsvField(const std::string &Field, char Delimiter) {
  if (Field.find_first_of(std::string{Delimiter, '"', '\r', '\n'}) == std::string::npos)
    return Field;
  std::string r;
  r.reserve(Field.size() + 2);
  r += '"';
  for (char c : Field) {
    if (c == '"')
      r += '"';
    r += c;
  }
  r += '"';
  return r;
}

void AppendCsvLine(std::string &Out, const std::vector<std::string> &Fields, char Delimiter) {
  for (size_t i = 0; i < Fields.size(); ++i) {
    if (i > 0)
      Out += Delimiter;
    Out += CsvField(Fields[i], Delimiter);
  }
  Out += "\r\n";
}

}  // namespace kv
