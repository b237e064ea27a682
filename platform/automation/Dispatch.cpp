#include "platform/automation/Dispatch.h"

#include <strings.h>

namespace kv {

EOleException::~EOleException() = default;

std::string OleErrorText(TOleError Kind) {
  switch (Kind) {
  case TOleError::UnknownName: return "Unknown name.";
  case TOleError::BadParamCount: return "Invalid number of parameters.";
  case TOleError::TypeMismatch: return "Type mismatch.";
  case TOleError::Exception: return "Exception occurred.";
  case TOleError::ClassNotFound: return "Invalid class string";
  case TOleError::ServerUnavailable: return "Server execution failed";
  case TOleError::Transport: return "The remote procedure call failed.";
  case TOleError::Dead: return "The object invoked has disconnected from its clients.";
  }
  return "Unspecified error";
}

static void Mismatch() { throw EOleException(TOleError::TypeMismatch, OleErrorText(TOleError::TypeMismatch)); }

int TOleVariant::AsInteger() const {
  if (auto *I = std::get_if<int>(&FValue))
    return *I;
  if (auto *B = std::get_if<bool>(&FValue))
    return *B ? -1 : 0;  // an automation Boolean's true is all bits set
  Mismatch();
  return 0;
}

bool TOleVariant::AsBoolean() const {
  if (auto *B = std::get_if<bool>(&FValue))
    return *B;
  if (auto *I = std::get_if<int>(&FValue))
    return *I != 0;
  Mismatch();
  return false;
}

double TOleVariant::AsDouble() const {
  if (auto *D = std::get_if<double>(&FValue))
    return *D;
  if (auto *I = std::get_if<int>(&FValue))
    return *I;
  Mismatch();
  return 0;
}

const std::string &TOleVariant::AsString() const {
  if (auto *S = std::get_if<std::string>(&FValue))
    return *S;
  Mismatch();
  static const std::string None;
  return None;
}

const TVariantArray2D &TOleVariant::AsArray() const {
  if (auto *A = std::get_if<TVariantArray2D>(&FValue))
    return *A;
  Mismatch();
  static const TVariantArray2D None;
  return None;
}

const std::shared_ptr<IDispatch> &TOleVariant::AsDispatch() const {
  if (auto *D = std::get_if<std::shared_ptr<IDispatch>>(&FValue))
    return *D;
  Mismatch();
  static const std::shared_ptr<IDispatch> None;
  return None;
}

std::shared_ptr<IDispatch> InvokeObject(IDispatch &Object, const std::string &Name, const TOleArgs &Args,
                                        const TNamedArgs &Named) {
  const TOleVariant V = Object.Invoke(Name, Args, Named);
  if (V.Type() == TVarType::Dispatch && V.AsDispatch())
    return V.AsDispatch();
  throw EOleException(TOleError::TypeMismatch, "Member " + Name + " did not yield an object");
}

void TDispatchTable::Add(const std::string &Name, std::vector<TVarType> Params, TBody Body,
                         std::vector<std::string> ParamNames) {
  FMembers.push_back({{Name, std::move(Params), std::move(ParamNames)}, std::move(Body)});
}

std::vector<TMemberInfo> TDispatchTable::Members() const { return {FMembers.begin(), FMembers.end()}; }

// Brings an argument to the parameter's type, or raises a type mismatch.
static TOleVariant Coerce(const TOleVariant &V, TVarType To) {
  switch (To) {
  case TVarType::Integer: return V.AsInteger();
  case TVarType::Boolean: return V.AsBoolean();
  case TVarType::Double: return V.AsDouble();
  case TVarType::String: return V.AsString();
  case TVarType::Array2D: return V.AsArray();
  case TVarType::Dispatch: return V.AsDispatch();
  case TVarType::Empty: return V;  // any value
  }
  return V;
}

TOleVariant TDispatchTable::Invoke(const std::string &Name, const TOleArgs &Args, const TNamedArgs &Named) const {
  for (const TMember &M : FMembers) {
    if (strcasecmp(M.Name.c_str(), Name.c_str()) != 0)
      continue;
    TOleArgs All = Args;
    if (!Named.empty()) {
      // Named arguments fill the parameters after the positional ones.
      All.resize(M.Params.size());
      std::vector<bool> Given(M.Params.size(), false);
      for (size_t i = 0; i < Args.size() && i < Given.size(); ++i)
        Given[i] = true;
      for (const TNamedArg &A : Named) {
        size_t i = 0;
        while (i < M.ParamNames.size() && strcasecmp(M.ParamNames[i].c_str(), A.Name.c_str()) != 0)
          ++i;
        if (i >= M.ParamNames.size() || i >= Given.size() || Given[i])
          throw EOleException(TOleError::UnknownName, OleErrorText(TOleError::UnknownName));
        All[i] = A.Value;
        Given[i] = true;
      }
      for (bool G : Given)
        if (!G)
          throw EOleException(TOleError::BadParamCount, OleErrorText(TOleError::BadParamCount));
    }
    if (All.size() != M.Params.size())
      throw EOleException(TOleError::BadParamCount, OleErrorText(TOleError::BadParamCount));
    TOleArgs Converted;
    Converted.reserve(All.size());
    for (size_t i = 0; i < All.size(); ++i)
      Converted.push_back(Coerce(All[i], M.Params[i]));
    try {
      return M.Body(Converted);
    } catch (const EOleException &) {
      throw;
    } catch (const std::exception &E) {
      throw EOleException(TOleError::Exception, E.what());
    } catch (...) {
      throw EOleException(TOleError::Exception, OleErrorText(TOleError::Exception));
    }
  }
  throw EOleException(TOleError::UnknownName, OleErrorText(TOleError::UnknownName));
}

}  // namespace kv
