// The dispatch table, variants and the in-process factory, without a bus.
#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/Registry.h"
#include "platform/automation/Automation.h"
#include "tests/support/TestEnv.h"

using namespace kv;

namespace {

class TTable : public IDispatch {
public:
  TTable() {
    T.Add("Add", {TVarType::Integer, TVarType::Integer},
          [](const TOleArgs &A) { return TOleVariant(A[0].AsInteger() + A[1].AsInteger()); });
    T.Add("Minus", {TVarType::Integer, TVarType::Integer},
          [](const TOleArgs &A) { return TOleVariant(A[0].AsInteger() - A[1].AsInteger()); }, {"A", "B"});
    T.Add("Half", {TVarType::Double}, [](const TOleArgs &A) { return TOleVariant(A[0].AsDouble() / 2); });
    T.Add("Shout", {TVarType::String, TVarType::Boolean}, [](const TOleArgs &A) {
      return TOleVariant(A[0].AsString() + (A[1].AsBoolean() ? "!" : ""));
    });
    T.Add("Fail", {TVarType::String}, [](const TOleArgs &A) -> TOleVariant { throw std::runtime_error(A[0].AsString()); });
    T.Add("Cell", {TVarType::Array2D, TVarType::Integer, TVarType::Integer},
          [](const TOleArgs &A) { return TOleVariant(A[0].AsArray().At(A[1].AsInteger(), A[2].AsInteger())); });
  }
  TOleVariant Invoke(const std::string &Name, const TOleArgs &Args, const TNamedArgs &Named) override {
    return T.Invoke(Name, Args, Named);
  }
  TDispatchTable T;
};

struct CallCase {
  const char *Name;
  std::string Member;
  TOleArgs Args;
  TNamedArgs Named;
  TOleVariant Expected;  // empty when an error is expected
  TOleError Error;
  friend void PrintTo(const CallCase &C, std::ostream *Out) { *Out << C.Name; }
};

class DispatchCall : public testing::TestWithParam<CallCase> {};

TEST_P(DispatchCall, GivesResultOrError) {
  TTable T;
  const CallCase &C = GetParam();
  if (!C.Expected.IsEmpty()) {
    EXPECT_EQ(T.Invoke(C.Member, C.Args, C.Named), C.Expected);
    return;
  }
  try {
    T.Invoke(C.Member, C.Args, C.Named);
    FAIL() << "no error";
  } catch (const EOleException &E) {
    EXPECT_EQ(E.Kind(), C.Error);
    if (C.Error == TOleError::Exception)
      EXPECT_STREQ(E.what(), "disk on fire");
  }
}

TVariantArray2D Grid() { return TVariantArray2D{2, 2, {"a", "b", "c", "d"}}; }

INSTANTIATE_TEST_SUITE_P(
    Cases, DispatchCall,
    testing::Values(
        CallCase{"exact", "Add", {2, 3}, {}, 5, {}},
        CallCase{"any_case", "aDD", {2, 3}, {}, 5, {}},
        CallCase{"bool_as_int", "Add", {true, 1}, {}, 0, {}},
        CallCase{"int_as_double", "Half", {5}, {}, 2.5, {}},
        CallCase{"int_as_bool", "Shout", {"hey", 7}, {}, "hey!", {}},
        CallCase{"named", "Minus", {}, {{"b", 1}, {"A", 10}}, 9, {}},
        CallCase{"positional_then_named", "Minus", {10}, {{"B", 4}}, 6, {}},
        CallCase{"array", "Cell", {Grid(), 1, 0}, {}, "c", {}},
        CallCase{"unknown", "Multiply", {2, 3}, {}, {}, TOleError::UnknownName},
        CallCase{"too_few", "Add", {2}, {}, {}, TOleError::BadParamCount},
        CallCase{"too_many", "Add", {2, 3, 4}, {}, {}, TOleError::BadParamCount},
        CallCase{"string_for_int", "Add", {"2", 3}, {}, {}, TOleError::TypeMismatch},
        CallCase{"double_for_int", "Add", {2.0, 3}, {}, {}, TOleError::TypeMismatch},
        CallCase{"int_for_string", "Shout", {1, true}, {}, {}, TOleError::TypeMismatch},
        CallCase{"unknown_named", "Minus", {}, {{"C", 1}, {"A", 2}}, {}, TOleError::UnknownName},
        CallCase{"named_twice", "Minus", {1}, {{"A", 1}, {"B", 2}}, {}, TOleError::UnknownName},
        CallCase{"named_missing", "Minus", {}, {{"A", 1}}, {}, TOleError::BadParamCount},
        CallCase{"raises", "Fail", {"disk on fire"}, {}, {}, TOleError::Exception}),
    [](const testing::TestParamInfo<CallCase> &I) { return std::string(I.param.Name); });

TEST(InProcessClass, IsMadeByItsIdentifierInAnyCase) {
  kvtest::IsolatedEnv Env;
  int Made = 0;
  RegisterInProcessClass("Test.Table", [&Made] {
    ++Made;
    return std::make_shared<TTable>();
  });
  auto A = CreateAutomationObject("test.TABLE");
  auto B = CreateAutomationObject("Test.Table");
  EXPECT_EQ(Made, 2);
  EXPECT_NE(A, B);
  EXPECT_EQ(A->Invoke("add", {1, 2}), TOleVariant(3));
  EXPECT_FALSE(ProxyDead(*A));
  RegisterInProcessClass("Test.Table", {});
  try {
    CreateAutomationObject("Test.Table");
    FAIL() << "still registered";
  } catch (const EOleException &E) {
    EXPECT_EQ(E.Kind(), TOleError::ClassNotFound);
    EXPECT_STREQ(E.what(), "Invalid class string");
  }
}

// Each row seeds the registry; creation must fail as "class not found".
struct MissingCase {
  const char *Name;
  std::vector<std::pair<std::string, std::string>> Keys;  // key -> default value
  friend void PrintTo(const MissingCase &C, std::ostream *Out) { *Out << C.Name; }
};

class MissingClass : public testing::TestWithParam<MissingCase> {};

TEST_P(MissingClass, FailsCreation) {
  kvtest::IsolatedEnv Env;
  TRegistry R;
  R.SetRootKey(HKEY_CLASSES_ROOT);
  for (const auto &[Key, Value] : GetParam().Keys) {
    ASSERT_TRUE(R.OpenKey("\\" + Key, true));
    R.WriteString("", Value);
    R.CloseKey();
  }
  try {
    CreateAutomationObject("Test.Missing");
    FAIL() << "created";
  } catch (const EOleException &E) {
    EXPECT_EQ(E.Kind(), TOleError::ClassNotFound);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MissingClass,
    testing::Values(MissingCase{"nothing", {}},
                    MissingCase{"progid_without_clsid", {{"Test.Missing", "Missing"}}},
                    MissingCase{"clsid_not_registered", {{"Test.Missing\\Clsid", "{1}"}}},
                    MissingCase{"no_local_server", {{"Test.Missing\\Clsid", "{1}"}, {"CLSID\\{1}", "Missing"}}},
                    MissingCase{"empty_local_server",
                                {{"Test.Missing\\Clsid", "{1}"}, {"CLSID\\{1}\\LocalServer32", ""}}}),
    [](const testing::TestParamInfo<MissingCase> &I) { return std::string(I.param.Name); });

}  // namespace
