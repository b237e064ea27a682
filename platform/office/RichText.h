#pragma once
// The word processor's documents as Rich Text: tables of text cells, each
// with its paragraph alignment. Text is Windows-1252, as the document's code
// page says.
#include <memory>
#include <string>
#include <vector>

namespace kv::office {

struct TTableCell {
  std::string Text;
  int Alignment = 0;  // 0 left, 1 centre, 2 right
};

struct TTextTable {
  int Rows = 0, Columns = 0;
  std::vector<TTableCell> Cells;  // row by row
  TTableCell &At(int Row, int Column) {
    return Cells[static_cast<size_t>(Row) * static_cast<size_t>(Columns) + static_cast<size_t>(Column)];
  }
};

// The whole document: the tables one after another, each as wide as the
// page's text area, its columns of equal width, with single borders.
std::string RichTextDocument(const std::vector<std::shared_ptr<TTextTable>> &Tables);

}  // namespace kv::office
