#pragma once
// The late-bound calls the exports make on automation objects ("word.application",
// "excel.application"): methods and properties by name, with positional and
// named arguments. The automation layer binds itself here through
// SetAutoObjectFactory; until then creating an object fails, as on a machine
// where no such server is registered.
#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "platform/SysUtils.h"

namespace kv {

class IAutoObject;
using TAutoRef = std::shared_ptr<IAutoObject>;

// A two-dimensional array of texts, bounds 0..Rows-1 and 0..Columns-1.
struct TAutoArray {
  int Rows = 0, Columns = 0;
  std::vector<std::string> Cells;  // row by row
  std::string &At(int Row, int Column) { return Cells[static_cast<size_t>(Row) * static_cast<size_t>(Columns) +
                                                      static_cast<size_t>(Column)]; }
};

using TAutoValue = std::variant<std::monostate, int, std::string, TAutoRef, TAutoArray>;

struct TAutoArg {
  std::string Name;  // empty: positional
  TAutoValue Value;
};

class IAutoObject {
public:
  virtual ~IAutoObject() = default;
  // A method call or a property read (with the property's index arguments).
  virtual TAutoValue Invoke(const std::string &Name, const std::vector<TAutoArg> &Args = {}) = 0;
  virtual void Put(const std::string &Name, const TAutoValue &Value) = 0;
};

// Raised when an automation object cannot be created or a call on it fails.
class EOleError : public Exception {
public:
  using Exception::Exception;
  ~EOleError() override;
};

using TCreateAutoObject = std::function<TAutoRef(const std::string &ProgID)>;
// Raises EOleError when the object cannot be created.
TAutoRef CreateAutoObject(const std::string &ProgID);
// Replaces the factory; empty restores the one that always fails.
void SetAutoObjectFactory(TCreateAutoObject Factory);

// Invoke that must yield an object: raises EOleError otherwise.
TAutoRef InvokeObject(IAutoObject &Object, const std::string &Name, const std::vector<TAutoArg> &Args = {});

}  // namespace kv
