#include "platform/office/AutoMembers.h"

#include "platform/Paths.h"
#include "platform/SysUtils.h"

namespace kv::office {

namespace {

[[noreturn]] void WrongType(const std::string &Member, size_t I, const char *Want) {
  throw EOleException(TOleError::TypeMismatch, Member + ": argument " + std::to_string(I + 1) + " must be " + Want);
}

[[noreturn]] void BadName(const std::string &Text) { throw EOleException(TOleError::UnknownName, Text); }

}  // namespace

int TBoundArgs::Int(size_t I, int Default) const {
  if (!Given(I))
    return Default;
  if (FValues[I]->Type() == TVarType::Integer)
    return FValues[I]->AsInteger();
  WrongType(FMember, I, "a number");
}

const std::string &TBoundArgs::Text(size_t I) const {
  if (Given(I) && FValues[I]->Type() == TVarType::String)
    return FValues[I]->AsString();
  WrongType(FMember, I, "a text");
}

std::shared_ptr<IDispatch> TBoundArgs::Object(size_t I) const {
  if (Given(I) && FValues[I]->Type() == TVarType::Dispatch && FValues[I]->AsDispatch())
    return FValues[I]->AsDispatch();
  WrongType(FMember, I, "an object");
}

const TVariantArray2D &TBoundArgs::Array(size_t I) const {
  if (Given(I) && FValues[I]->Type() == TVarType::Array2D)
    return FValues[I]->AsArray();
  WrongType(FMember, I, "a two-dimensional array");
}

TBoundArgs BindArgs(const std::string &Member, std::initializer_list<const char *> Params, size_t Required,
                    const TOleArgs &Args, const TNamedArgs &Named) {
  const std::vector<const char *> names(Params);
  std::vector<const TOleVariant *> values(names.size(), nullptr);
  const size_t given = Args.size() + Named.size();
  if (given > names.size())
    throw EOleException(TOleError::BadParamCount, Member + ": too many arguments (" + std::to_string(given) +
                                                      " given, at most " + std::to_string(names.size()) + " taken)");
  for (size_t a = 0; a < Args.size(); ++a)
    values[a] = &Args[a];
  for (const TNamedArg &arg : Named) {
    size_t p = 0;
    while (p < names.size() && !SameText(arg.Name, names[p]))
      ++p;
    if (p == names.size())
      BadName(Member + ": no parameter named \"" + arg.Name + "\"");
    if (values[p])
      BadName(Member + ": parameter \"" + names[p] + "\" given twice");
    values[p] = &arg.Value;
  }
  for (size_t p = 0; p < Required; ++p)
    if (!values[p])
      throw EOleException(TOleError::BadParamCount, Member + ": parameter \"" + names[p] + "\" is required");
  return TBoundArgs(Member, std::move(values));
}

bool IsMember(const std::string &Name, const char *Member) { return SameText(Name, Member); }

void UnknownMember(const std::string &Object, const std::string &Name) {
  BadName(Object + ": unknown name \"" + Name + "\"");
}

void Fail(const std::string &Text) { throw EOleException(TOleError::Exception, Text); }

void SaveFile(const std::string &Member, const std::string &FileName, const std::string &Data) {
  if (FileName.empty() || !WriteFileAtomic(FileName, Data))
    Fail(Member + ": cannot create file \"" + FileName + "\"");
}

}  // namespace kv::office
