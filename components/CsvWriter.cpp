#include "components/CsvWriter.h"

#include "components/TextScan.h"

namespace kv {

void AppendCsvField(std::string &Out, const std::string &Field, char Delimiter) {
  if (!HasAnyByte(Field, Delimiter, '"', '\r', '\n')) {
    Out += Field;
    return;
  }
  Out += '"';
  for (size_t from = 0;;) {
    const size_t quote = Field.find('"', from);
    if (quote == std::string::npos) {
      Out.append(Field, from, std::string::npos);
      break;
    }
    Out.append(Field, from, quote + 1 - from);
    Out += '"';
    from = quote + 1;
  }
  Out += '"';
}

std::string CsvField(const std::string &Field, char Delimiter) {
  std::string r;
  AppendCsvField(r, Field, Delimiter);
  return r;
}

void AppendCsvLine(std::string &Out, const std::string &First, std::span<const std::string> Rest, char Delimiter) {
  AppendCsvField(Out, First, Delimiter);
  for (const std::string &f : Rest) {
    Out += Delimiter;
    AppendCsvField(Out, f, Delimiter);
  }
  Out += "\r\n";
}

void AppendCsvLine(std::string &Out, const std::vector<std::string> &Fields, char Delimiter) {
  if (Fields.empty())
    Out += "\r\n";
  else
    AppendCsvLine(Out, Fields[0], std::span<const std::string>(Fields).subspan(1), Delimiter);
}

}  // namespace kv
