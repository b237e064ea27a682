#pragma once
// What the stand-in automation objects share: binding a call's positional and
// named arguments to a member's parameters, with the errors a caller sees
// when a name, a count or a type is wrong. Names compare without regard to
// case, as automation does.
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "platform/automation/Dispatch.h"

namespace kv::office {

// A call's arguments bound to the member's parameters, in their order.
class TBoundArgs {
public:
  TBoundArgs(std::string Member, std::vector<const TOleVariant *> Values)
      : FMember(std::move(Member)), FValues(std::move(Values)) {}
  bool Given(size_t I) const { return FValues[I] != nullptr; }
  const TOleVariant &Value(size_t I) const { return *FValues[I]; }
  int Int(size_t I, int Default = 0) const;
  const std::string &Text(size_t I) const;
  std::shared_ptr<IDispatch> Object(size_t I) const;
  const TVariantArray2D &Array(size_t I) const;

private:
  std::string FMember;
  std::vector<const TOleVariant *> FValues;
};

// Binds the positional Args, then the Named ones (a name matches a parameter
// case-insensitively), to Params; the first Required parameters must be
// given. Member names the call in errors, e.g. "Tables.Add".
TBoundArgs BindArgs(const std::string &Member, std::initializer_list<const char *> Params, size_t Required,
                    const TOleArgs &Args, const TNamedArgs &Named);

// An object as a member's result.
inline TOleVariant Object(std::shared_ptr<IDispatch> O) { return TOleVariant(std::move(O)); }

// The call names a member of Object ("Document", "Cell.Range", ...).
bool IsMember(const std::string &Name, const char *Member);
[[noreturn]] void UnknownMember(const std::string &Object, const std::string &Name);
// A member's failure, with its text.
[[noreturn]] void Fail(const std::string &Text);

// Writes Data to FileName through a temporary file; fails naming the file
// when it cannot be written.
void SaveFile(const std::string &Member, const std::string &FileName, const std::string &Data);

}  // namespace kv::office
