#pragma once
// The values of late-bound calls: empty, integer, Boolean, string (8-bit
// Windows-1252 text), double, a two-dimensional array of strings (the shape a
// spreadsheet range takes), and a reference to an object (what a member such
// as a document's Range yields; objects live in this process only).
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace kv {

class IDispatch;

struct TVariantArray2D {
  int Rows = 0;
  int Cols = 0;
  std::vector<std::string> Cells;  // row by row, Rows * Cols entries
  const std::string &At(int Row, int Col) const { return Cells[size_t(Row) * size_t(Cols) + size_t(Col)]; }
  std::string &At(int Row, int Col) { return Cells[size_t(Row) * size_t(Cols) + size_t(Col)]; }
  bool operator==(const TVariantArray2D &) const = default;
};

enum class TVarType { Empty, Integer, Boolean, String, Double, Array2D, Dispatch };

class TOleVariant {
public:
  TOleVariant() = default;
  TOleVariant(int V) : FValue(V) {}
  TOleVariant(bool V) : FValue(V) {}
  TOleVariant(const char *V) : FValue(std::string(V)) {}
  TOleVariant(std::string V) : FValue(std::move(V)) {}
  TOleVariant(double V) : FValue(V) {}
  TOleVariant(TVariantArray2D V) : FValue(std::move(V)) {}
  TOleVariant(std::shared_ptr<IDispatch> V) : FValue(std::move(V)) {}

  TVarType Type() const { return TVarType(FValue.index()); }
  bool IsEmpty() const { return Type() == TVarType::Empty; }
  // Each raises EOleException (type mismatch) when the value cannot serve as
  // that type. An integer serves as a Boolean (non-zero is true) and as a
  // double; a Boolean as an integer.
  int AsInteger() const;
  bool AsBoolean() const;
  double AsDouble() const;
  const std::string &AsString() const;
  const TVariantArray2D &AsArray() const;
  // The object referred to; null for a reference to no object.
  const std::shared_ptr<IDispatch> &AsDispatch() const;

  bool operator==(const TOleVariant &) const = default;

private:
  std::variant<std::monostate, int, bool, std::string, double, TVariantArray2D, std::shared_ptr<IDispatch>> FValue;
};

using TOleArgs = std::vector<TOleVariant>;

// An argument passed by name (the word processor's and spreadsheet's methods
// take some that way).
struct TNamedArg {
  std::string Name;
  TOleVariant Value;
};
using TNamedArgs = std::vector<TNamedArg>;

}  // namespace kv
