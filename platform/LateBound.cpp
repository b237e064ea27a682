#include "platform/LateBound.h"

namespace kv {

EOleError::~EOleError() = default;

namespace {

TCreateAutoObject &Factory() {
  static TCreateAutoObject f;
  return f;
}

}  // namespace

TAutoRef CreateAutoObject(const std::string &ProgID) {
  TAutoRef r = Factory() ? Factory()(ProgID) : nullptr;
  if (!r)
    throw EOleError("Invalid class string (" + ProgID + ")");
  return r;
}

void SetAutoObjectFactory(TCreateAutoObject F) { Factory() = std::move(F); }

TAutoRef InvokeObject(IAutoObject &Object, const std::string &Name, const std::vector<TAutoArg> &Args) {
  TAutoValue v = Object.Invoke(Name, Args);
  if (auto *o = std::get_if<TAutoRef>(&v); o && *o)
    return *o;
  throw EOleError("Member " + Name + " did not yield an object");
}

}  // namespace kv
