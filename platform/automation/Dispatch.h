#pragma once
// Late-bound objects: a member is called by name (case-insensitive) with
// variant arguments. The same interface serves objects in this process and
// proxies of objects in a server process. A property is read by calling it
// and set by calling it with the new value as its last argument
// (Visible(True), Value(array)).
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/SysUtils.h"
#include "platform/automation/OleVariant.h"

namespace kv {

enum class TOleError {
  UnknownName,       // no member of that name
  BadParamCount,     // wrong number of arguments
  TypeMismatch,      // an argument of a type the member cannot take
  Exception,         // the member raised; the text is its message
  ClassNotFound,     // the program identifier is not registered
  ServerUnavailable, // no session bus, or the server did not start
  Transport,         // the call did not complete (time limit, server gone)
  Dead,              // an earlier transport failure ended the object
};

class __attribute__((visibility("default"))) EOleException : public Exception {
public:
  EOleException(TOleError Kind, const std::string &Message) : Exception(Message), FKind(Kind) {}
  ~EOleException() override;
  TOleError Kind() const { return FKind; }

private:
  TOleError FKind;
};

// One member as those who look at an object from outside see it.
struct TMemberInfo {
  std::string Name;
  std::vector<TVarType> Params;  // Empty: any value
  std::vector<std::string> ParamNames;
};

class IDispatch {
public:
  virtual ~IDispatch() = default;
  // Raises EOleException.
  virtual TOleVariant Invoke(const std::string &Name, const TOleArgs &Args, const TNamedArgs &Named = {}) = 0;
  // The members, in their order; empty when the object does not tell.
  virtual std::vector<TMemberInfo> Members() const { return {}; }
};

// Invoke of a member that yields an object (Documents, Range, Cell, ...):
// raises EOleException (type mismatch) when it yields anything else.
std::shared_ptr<IDispatch> InvokeObject(IDispatch &Object, const std::string &Name, const TOleArgs &Args = {},
                                        const TNamedArgs &Named = {});

// An object's members for implementers: each member has a name and its
// parameter types; Invoke finds the member regardless of case, checks the
// count and converts the arguments, and turns any exception of the body into
// EOleException(Exception) with its text.
class TDispatchTable {
public:
  using TBody = std::function<TOleVariant(const TOleArgs &Args)>;
  // ParamNames, when given, lets callers pass arguments by name.
  void Add(const std::string &Name, std::vector<TVarType> Params, TBody Body, std::vector<std::string> ParamNames = {});
  TOleVariant Invoke(const std::string &Name, const TOleArgs &Args, const TNamedArgs &Named) const;
  std::vector<TMemberInfo> Members() const;

private:
  struct TMember : TMemberInfo {
    TBody Body;
  };
  std::vector<TMember> FMembers;
};

// The standard texts of the errors above.
std::string OleErrorText(TOleError Kind);

}  // namespace kv
