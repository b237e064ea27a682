#include "platform/office/WordApplication.h"

#include "platform/office/AutoMembers.h"
#include "platform/office/RichText.h"

namespace kv::office {

namespace {

// A table holds at most this many columns, as in the word processor it
// stands in for; wider ones would not open there.
constexpr int kMaxColumns = 63;

struct TDocumentData {
  std::vector<std::shared_ptr<TTextTable>> Tables;
};

class TParagraphFormat : public IDispatch {
public:
  TParagraphFormat(std::shared_ptr<TTextTable> Table, TTableCell &Cell) : FTable(std::move(Table)), FCell(Cell) {}
  // Alignment(value) sets the alignment.
  TOleVariant Invoke(const std::string &Name, const TOleArgs &Args, const TNamedArgs &Named) override {
    if (!IsMember(Name, "Alignment"))
      UnknownMember("ParagraphFormat", Name);
    const TOleVariant &value = BindArgs("ParagraphFormat.Alignment", {"Value"}, 1, Args, Named).Value(0);
    const int a = value.Type() == TVarType::Integer ? value.AsInteger() : -1;
    if (a < 0 || a > 2)
      Fail("ParagraphFormat.Alignment: the value must be 0 (left), 1 (centre) or 2 (right)");
    FCell.Alignment = a;
    return {};
  }

private:
  std::shared_ptr<TTextTable> FTable;  // keeps FCell alive
  TTableCell &FCell;
};

class TCellRange : public IDispatch {
public:
  TCellRange(std::shared_ptr<TTextTable> Table, TTableCell &Cell) : FTable(std::move(Table)), FCell(Cell) {}
  TOleVariant Invoke(const std::string &Name, const TOleArgs &Args, const TNamedArgs &Named) override {
    if (IsMember(Name, "InsertAfter")) {
      FCell.Text += BindArgs("Range.InsertAfter", {"Text"}, 1, Args, Named).Text(0);
      return {};
    }
    if (IsMember(Name, "ParagraphFormat")) {
      BindArgs("Range.ParagraphFormat", {}, 0, Args, Named);
      return Object(std::make_shared<TParagraphFormat>(FTable, FCell));
    }
    UnknownMember("Cell.Range", Name);
  }

private:
  std::shared_ptr<TTextTable> FTable;
  TTableCell &FCell;
};

class TCell : public IDispatch {
public:
  TCell(std::shared_ptr<TTextTable> Table, TTableCell &Cell) : FTable(std::move(Table)), FCell(Cell) {}
  TOleVariant Invoke(const std::string &Name, const TOleArgs &Args, const TNamedArgs &Named) override {
    if (!IsMember(Name, "Range"))
      UnknownMember("Cell", Name);
    BindArgs("Cell.Range", {}, 0, Args, Named);
    return Object(std::make_shared<TCellRange>(FTable, FCell));
  }

private:
  std::shared_ptr<TTextTable> FTable;
  TTableCell &FCell;
};

class TTable : public IDispatch {
public:
  explicit TTable(std::shared_ptr<TTextTable> Table) : FTable(std::move(Table)) {}
  TOleVariant Invoke(const std::string &Name, const TOleArgs &Args, const TNamedArgs &Named) override {
    if (!IsMember(Name, "Cell"))
      UnknownMember("Table", Name);
    const TBoundArgs a = BindArgs("Table.Cell", {"Row", "Column"}, 2, Args, Named);
    const int row = a.Int(0), column = a.Int(1);
    if (row < 1 || row > FTable->Rows || column < 1 || column > FTable->Columns)
      Fail("Table.Cell: there is no cell at row " + std::to_string(row) + ", column " +
                      std::to_string(column) + " in a table of " + std::to_string(FTable->Rows) + " rows and " +
                      std::to_string(FTable->Columns) + " columns");
    return Object(std::make_shared<TCell>(FTable, FTable->At(row - 1, column - 1)));
  }

private:
  std::shared_ptr<TTextTable> FTable;
};

// A place in a document, where a table can go.
class TDocumentRange : public IDispatch {
public:
  TDocumentRange(std::shared_ptr<TDocumentData> Document, int Start, int End)
      : Document(std::move(Document)), Start(Start), End(End) {}
  TOleVariant Invoke(const std::string &Name, const TOleArgs &, const TNamedArgs &) override {
    UnknownMember("Range", Name);
  }

  const std::shared_ptr<TDocumentData> Document;
  const int Start, End;
};

class TTables : public IDispatch {
public:
  explicit TTables(std::shared_ptr<TDocumentData> Document) : FDocument(std::move(Document)) {}
  TOleVariant Invoke(const std::string &Name, const TOleArgs &Args, const TNamedArgs &Named) override {
    if (!IsMember(Name, "Add"))
      UnknownMember("Tables", Name);
    const TBoundArgs a = BindArgs("Tables.Add", {"Range", "NumRows", "NumColumns"}, 3, Args, Named);
    auto *range = dynamic_cast<TDocumentRange *>(a.Object(0).get());
    if (!range || range->Document != FDocument)
      Fail("Tables.Add: the range is not a range of this document");
    const int rows = a.Int(1), columns = a.Int(2);
    if (rows < 1)
      Fail("Tables.Add: NumRows must be at least 1 (" + std::to_string(rows) + " given)");
    if (columns < 1 || columns > kMaxColumns)
      Fail("Tables.Add: NumColumns must be between 1 and " + std::to_string(kMaxColumns) + " (" +
                      std::to_string(columns) + " given)");
    auto table = std::make_shared<TTextTable>();
    table->Rows = rows;
    table->Columns = columns;
    table->Cells.resize(static_cast<size_t>(rows) * static_cast<size_t>(columns));
    FDocument->Tables.push_back(table);
    return Object(std::make_shared<TTable>(std::move(table)));
  }

private:
  std::shared_ptr<TDocumentData> FDocument;
};

class TDocument : public IDispatch {
public:
  TDocument() : FData(std::make_shared<TDocumentData>()) {}
  TOleVariant Invoke(const std::string &Name, const TOleArgs &Args, const TNamedArgs &Named) override {
    if (IsMember(Name, "Range")) {
      const TBoundArgs a = BindArgs("Document.Range", {"Start", "End"}, 0, Args, Named);
      const int start = a.Int(0), end = a.Int(1, start);
      if (start < 0 || end < start)
        Fail("Document.Range: Start " + std::to_string(start) + " and End " + std::to_string(end) +
                        " do not make a range");
      return Object(std::make_shared<TDocumentRange>(FData, start, end));
    }
    if (IsMember(Name, "Tables")) {
      BindArgs("Document.Tables", {}, 0, Args, Named);
      return Object(std::make_shared<TTables>(FData));
    }
    if (IsMember(Name, "SaveAs")) {
      const std::string &file = BindArgs("Document.SaveAs", {"FileName"}, 1, Args, Named).Text(0);
      SaveFile("Document.SaveAs", file, RichTextDocument(FData->Tables));
      return {};
    }
    UnknownMember("Document", Name);
  }

private:
  std::shared_ptr<TDocumentData> FData;
};

class TDocuments : public IDispatch {
public:
  TOleVariant Invoke(const std::string &Name, const TOleArgs &Args, const TNamedArgs &Named) override {
    if (!IsMember(Name, "Add"))
      UnknownMember("Documents", Name);
    BindArgs("Documents.Add", {}, 0, Args, Named);
    return Object(std::make_shared<TDocument>());
  }
};

class TWordApplication : public IDispatch {
public:
  TOleVariant Invoke(const std::string &Name, const TOleArgs &Args, const TNamedArgs &Named) override {
    if (IsMember(Name, "Documents")) {
      BindArgs("Documents", {}, 0, Args, Named);
      return Object(std::make_shared<TDocuments>());
    }
    if (IsMember(Name, "Quit")) {
      BindArgs("Quit", {}, 0, Args, Named);
      return {};
    }
    UnknownMember("word.application", Name);
  }
};

}  // namespace

std::shared_ptr<IDispatch> CreateWordApplication() { return std::make_shared<TWordApplication>(); }

}  // namespace kv::office
