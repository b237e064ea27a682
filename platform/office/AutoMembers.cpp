#include "platform/office/AutoMembers.h"

#include "platform/Paths.h"
#include "platform/SysUtils.h"

namespace kv::office {

namespace {

[[noreturn]] void WrongType(const std::string &Member, size_t I, const char *Want) {
  throw EOleError(Member + ": argument " + std::to_string(I + 1) + " must be " + Want);
}

}  // namespace

int TBoundArgs::Int(size_t I, int Default) const {
  if (!Given(I))
    return Default;
  if (const int *v = std::get_if<int>(FValues[I]))
    return *v;
  WrongType(FMember, I, "a number");
}

const std::string &TBoundArgs::Text(size_t I) const {
  if (const std::string *v = Given(I) ? std::get_if<std::string>(FValues[I]) : nullptr)
    return *v;
  WrongType(FMember, I, "a text");
}

TAutoRef TBoundArgs::Object(size_t I) const {
  if (const TAutoRef *v = Given(I) ? std::get_if<TAutoRef>(FValues[I]) : nullptr; v && *v)
    return *v;
  WrongType(FMember, I, "an object");
}

const TAutoArray &TBoundArgs::Array(size_t I) const {
  if (const TAutoArray *v = Given(I) ? std::get_if<TAutoArray>(FValues[I]) : nullptr)
    return *v;
  WrongType(FMember, I, "a two-dimensional array");
}

TBoundArgs BindArgs(const std::string &Member, std::initializer_list<const char *> Params, size_t Required,
                    const std::vector<TAutoArg> &Args) {
  const std::vector<const char *> names(Params);
  std::vector<const TAutoValue *> values(names.size(), nullptr);
  if (Args.size() > names.size())
    throw EOleError(Member + ": too many arguments (" + std::to_string(Args.size()) + " given, at most " +
                    std::to_string(names.size()) + " taken)");
  bool named = false;
  for (size_t a = 0; a < Args.size(); ++a) {
    const TAutoArg &arg = Args[a];
    if (arg.Name.empty()) {
      if (named)
        throw EOleError(Member + ": a positional argument follows a named one");
      values[a] = &arg.Value;
      continue;
    }
    named = true;
    size_t p = 0;
    while (p < names.size() && !SameText(arg.Name, names[p]))
      ++p;
    if (p == names.size())
      throw EOleError(Member + ": no parameter named \"" + arg.Name + "\"");
    if (values[p])
      throw EOleError(Member + ": parameter \"" + names[p] + "\" given twice");
    values[p] = &arg.Value;
  }
  for (size_t p = 0; p < Required; ++p)
    if (!values[p])
      throw EOleError(Member + ": parameter \"" + names[p] + "\" is required");
  return TBoundArgs(Member, std::move(values));
}

bool IsMember(const std::string &Name, const char *Member) { return SameText(Name, Member); }

void UnknownMember(const std::string &Object, const std::string &Name) {
  throw EOleError(Object + ": unknown name \"" + Name + "\"");
}

void UnknownProperty(const std::string &Object, const std::string &Name) {
  throw EOleError(Object + ": \"" + Name + "\" is not a property that can be set");
}

void SaveFile(const std::string &Member, const std::string &FileName, const std::string &Data) {
  if (FileName.empty() || !WriteFileAtomic(FileName, Data))
    throw EOleError(Member + ": cannot create file \"" + FileName + "\"");
}

}  // namespace kv::office
