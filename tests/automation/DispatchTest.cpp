// The dispatch table, variants and the in-process factory, without a bus.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "platform/Registry.h"
#include "platform/automation/Automation.h"
#include "platform/automation/Wire.h"
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
    T.Add("Same", {TVarType::Dispatch}, [](const TOleArgs &A) { return A[0]; });
    T.Add("Nothing", {}, [](const TOleArgs &) { return TOleVariant(); });
    T.Add("NoObject", {}, [](const TOleArgs &) { return TOleVariant(std::shared_ptr<IDispatch>()); });
    T.Add("Table", {},
          [](const TOleArgs &) { return TOleVariant(std::shared_ptr<IDispatch>(std::make_shared<TTable>())); });
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
    if (C.Error == TOleError::Exception) {
      EXPECT_STREQ(E.what(), "disk on fire");
    }
  }
}

TVariantArray2D Grid() { return TVariantArray2D{2, 2, {"a", "b", "c", "d"}}; }
// One object for the rows that pass one.
std::shared_ptr<IDispatch> Thing() {
  static const std::shared_ptr<IDispatch> T = std::make_shared<TTable>();
  return T;
}

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
        CallCase{"object", "Same", {Thing()}, {}, Thing(), {}},
        CallCase{"object_missing", "Same", {}, {}, {}, TOleError::BadParamCount},
        CallCase{"int_for_object", "Same", {1}, {}, {}, TOleError::TypeMismatch},
        CallCase{"string_for_object", "Same", {"x"}, {}, {}, TOleError::TypeMismatch},
        CallCase{"object_for_int", "Add", {Thing(), 1}, {}, {}, TOleError::TypeMismatch},
        CallCase{"object_for_string", "Shout", {Thing(), true}, {}, {}, TOleError::TypeMismatch},
        CallCase{"object_for_array", "Cell", {Thing(), 0, 0}, {}, {}, TOleError::TypeMismatch},
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

// What each type of value serves as: the rest are type mismatches.
TEST(Variant, AnObjectServesOnlyAsAnObject) {
  const TOleVariant O(Thing()), None(std::shared_ptr<IDispatch>{});
  EXPECT_EQ(O.Type(), TVarType::Dispatch);
  EXPECT_EQ(O.AsDispatch(), Thing());
  EXPECT_EQ(None.Type(), TVarType::Dispatch);
  EXPECT_EQ(None.AsDispatch(), nullptr);
  EXPECT_EQ(O, TOleVariant(Thing()));
  EXPECT_FALSE(O == None);
  EXPECT_FALSE(O == TOleVariant(std::shared_ptr<IDispatch>(std::make_shared<TTable>())));
  const struct {
    const char *Case;
    std::function<void()> Use;
  } Rows[] = {
      {"as_integer", [&] { O.AsInteger(); }},   {"as_boolean", [&] { O.AsBoolean(); }},
      {"as_double", [&] { O.AsDouble(); }},     {"as_string", [&] { O.AsString(); }},
      {"as_array", [&] { O.AsArray(); }},       {"empty_as_object", [] { TOleVariant().AsDispatch(); }},
      {"integer_as_object", [] { TOleVariant(1).AsDispatch(); }},
      {"string_as_object", [] { TOleVariant("x").AsDispatch(); }},
  };
  for (const auto &R : Rows) {
    SCOPED_TRACE(R.Case);
    try {
      R.Use();
      ADD_FAILURE() << "no error";
    } catch (const EOleException &E) {
      EXPECT_EQ(E.Kind(), TOleError::TypeMismatch);
    }
  }
}

TEST(Variant, InvokeObjectNeedsAnObject) {
  TTable T;
  const auto Made = InvokeObject(T, "table");
  ASSERT_NE(Made, nullptr);
  EXPECT_EQ(Made->Invoke("Add", {1, 2}), TOleVariant(3));
  EXPECT_EQ(InvokeObject(T, "Same", {Thing()}), Thing());
  for (const char *Member : {"Nothing", "NoObject"}) {
    SCOPED_TRACE(Member);
    try {
      InvokeObject(T, Member);
      ADD_FAILURE() << "no error";
    } catch (const EOleException &E) {
      EXPECT_EQ(E.Kind(), TOleError::TypeMismatch);
      EXPECT_EQ(std::string(E.what()), std::string("Member ") + Member + " did not yield an object");
    }
  }
  // The member's own failure goes on unchanged.
  try {
    InvokeObject(T, "Fail", {"disk on fire"});
    ADD_FAILURE() << "no error";
  } catch (const EOleException &E) {
    EXPECT_EQ(E.Kind(), TOleError::Exception);
  }
}

// Without a bus at all: an object has no form on the wire, as an argument
// or as an argument by name, and the message is left unsent.
TEST(Wire, AnObjectHasNoBusForm) {
  const struct {
    const char *Case;
    TOleArgs Args;
    TNamedArgs Named;
  } Rows[] = {
      {"positional", {1, Thing()}, {}},
      {"by_name", {1}, {{"B", Thing()}}},
      {"no_object", {std::shared_ptr<IDispatch>()}, {}},
  };
  for (const auto &R : Rows) {
    SCOPED_TRACE(R.Case);
    QDBusMessage M = QDBusMessage::createMethodCall("org.example.None", "/objects/1", wire::Interface, "Echo");
    try {
      wire::AppendArguments(M, R.Args, R.Named);
      ADD_FAILURE() << "no error";
    } catch (const EOleException &E) {
      EXPECT_EQ(E.Kind(), TOleError::TypeMismatch);
    }
    EXPECT_TRUE(M.arguments().isEmpty());
  }
}

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
