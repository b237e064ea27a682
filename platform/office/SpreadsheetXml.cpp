#include "platform/office/SpreadsheetXml.h"

#include "platform/Ansi.h"

namespace kv::office {

namespace {

void AppendUtf8(std::string &Out, char16_t U) {
  if (U < 0x80) {
    Out += static_cast<char>(U);
  } else if (U < 0x800) {
    Out += static_cast<char>(0xC0 | (U >> 6));
    Out += static_cast<char>(0x80 | (U & 0x3F));
  } else {
    Out += static_cast<char>(0xE0 | (U >> 12));
    Out += static_cast<char>(0x80 | ((U >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (U & 0x3F));
  }
}

// A line break inside a cell is a line feed, as the spreadsheet keeps it;
// characters written as references survive the parser's line-end and
// white-space handling. Control bytes XML 1.0 does not allow are dropped.
void AppendXmlText(std::string &Out, const std::string &Text) {
  const size_t n = Text.size();
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(Text[i]);
    switch (c) {
      case '&': Out += "&amp;"; break;
      case '<': Out += "&lt;"; break;
      case '>': Out += "&gt;"; break;
      case '"': Out += "&quot;"; break;
      case '\t': Out += "&#9;"; break;
      case '\n': Out += "&#10;"; break;
      case '\r':
        Out += "&#10;";
        if (i + 1 < n && Text[i + 1] == '\n')
          ++i;
        break;
      default:
        if (c >= 0x80)
          AppendUtf8(Out, AnsiToUnicode(c));
        else if (c >= 0x20)
          Out += static_cast<char>(c);
    }
  }
}

}  // namespace

std::string SpreadsheetXml(const std::vector<std::shared_ptr<TSheet>> &Sheets) {
  static const TSheet Empty{"Sheet1", {}};
  std::vector<const TSheet *> sheets;
  for (const auto &s : Sheets)
    sheets.push_back(s.get());
  if (sheets.empty())
    sheets.push_back(&Empty);

  size_t size = 512;
  for (const TSheet *s : sheets)
    for (const auto &[r, row] : s->Cells) {
      size += 16;
      for (const auto &[c, text] : row)
        size += text.size() + text.size() / 4 + 48;
    }
  std::string out;
  out.reserve(size);
  out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
         "<?mso-application progid=\"Excel.Sheet\"?>\r\n"
         "<Workbook xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\"\r\n"
         " xmlns:o=\"urn:schemas-microsoft-com:office:office\"\r\n"
         " xmlns:x=\"urn:schemas-microsoft-com:office:excel\"\r\n"
         " xmlns:ss=\"urn:schemas-microsoft-com:office:spreadsheet\">\r\n";
  for (const TSheet *s : sheets) {
    out += " <Worksheet ss:Name=\"";
    AppendXmlText(out, s->Name);
    out += "\">\r\n  <Table>\r\n";
    // An empty cell is skipped with the next one's index. Skipped rows are
    // written empty instead: LibreOffice ignores a row's index.
    int lastRow = 0;
    for (const auto &[r, row] : s->Cells) {
      for (++lastRow; lastRow < r; ++lastRow)
        out += "   <Row/>\r\n";
      out += "   <Row>";
      int lastColumn = 0;
      for (const auto &[c, text] : row) {
        out += c == lastColumn + 1 ? "<Cell>" : "<Cell ss:Index=\"" + std::to_string(c) + "\">";
        out += "<Data ss:Type=\"String\">";
        AppendXmlText(out, text);
        out += "</Data></Cell>";
        lastColumn = c;
      }
      out += "</Row>\r\n";
      lastRow = r;
    }
    out += "  </Table>\r\n </Worksheet>\r\n";
  }
  out += "</Workbook>\r\n";
  return out;
}

}  // namespace kv::office
