#include "platform/office/RichText.h"

namespace kv::office {

namespace {

// Letter paper with one-inch margins, in twips.
constexpr int kPageWidth = 12240, kPageHeight = 15840, kMargin = 1440;
constexpr int kTextWidth = kPageWidth - 2 * kMargin;

// A line break inside a cell is a manual line break (\line), not a new
// paragraph, so the cell's alignment covers all of its text. Control bytes
// other than tab and line breaks have no meaning in a document and go.
void AppendRtfText(std::string &Out, const std::string &Text) {
  static const char Hex[] = "0123456789abcdef";
  const size_t n = Text.size();
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(Text[i]);
    if (c >= 0x20 && c < 0x7F) {
      if (c == '\\' || c == '{' || c == '}')
        Out += '\\';
      Out += static_cast<char>(c);
    } else if (c >= 0x80) {
      Out += "\\'";
      Out += Hex[c >> 4];
      Out += Hex[c & 15];
    } else if (c == '\t') {
      Out += "\\tab ";
    } else if (c == '\n') {
      Out += "\\line ";
    } else if (c == '\r') {
      Out += "\\line ";
      if (i + 1 < n && Text[i + 1] == '\n')
        ++i;
    }
  }
}

// The row definition is the same for every row of a table.
std::string RowDefinition(int Columns) {
  std::string r = "\\trowd\\trgaph108\\trleft-108";
  for (int c = 1; c <= Columns; ++c) {
    r += "\\clbrdrt\\brdrs\\brdrw10\\clbrdrl\\brdrs\\brdrw10\\clbrdrb\\brdrs\\brdrw10\\clbrdrr\\brdrs\\brdrw10\\cellx";
    r += std::to_string(static_cast<long long>(kTextWidth) * c / Columns - 108);
  }
  return r;
}

const char *AlignmentWord(int Alignment) {
  switch (Alignment) {
    case 1: return "\\pard\\intbl\\qc ";
    case 2: return "\\pard\\intbl\\qr ";
    default: return "\\pard\\intbl\\ql ";
  }
}

}  // namespace

std::string RichTextDocument(const std::vector<std::shared_ptr<TTextTable>> &Tables) {
  std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}\r\n";
  out += "\\paperw" + std::to_string(kPageWidth) + "\\paperh" + std::to_string(kPageHeight) + "\\margl" +
         std::to_string(kMargin) + "\\margr" + std::to_string(kMargin) + "\\margt" + std::to_string(kMargin) +
         "\\margb" + std::to_string(kMargin) + "\\f0\\fs20\r\n";
  size_t size = out.size();
  for (const auto &t : Tables) {
    size += static_cast<size_t>(t->Rows) * (RowDefinition(t->Columns).size() + 8);
    for (const TTableCell &c : t->Cells)
      size += c.Text.size() + 24;
  }
  out.reserve(size + size / 8);
  for (size_t i = 0; i < Tables.size(); ++i) {
    const TTextTable &t = *Tables[i];
    // Two tables in a row would read as one: a paragraph keeps them apart.
    if (i > 0)
      out += "\\pard\\par\r\n";
    const std::string row = RowDefinition(t.Columns);
    for (int r = 0; r < t.Rows; ++r) {
      out += row;
      out += "\r\n";
      for (int c = 0; c < t.Columns; ++c) {
        const TTableCell &cell = t.Cells[static_cast<size_t>(r) * static_cast<size_t>(t.Columns) +
                                         static_cast<size_t>(c)];
        out += AlignmentWord(cell.Alignment);
        AppendRtfText(out, cell.Text);
        out += "\\cell";
      }
      out += "\\row\r\n";
    }
  }
  out += "\\pard\\par}\r\n";
  return out;
}

}  // namespace kv::office
