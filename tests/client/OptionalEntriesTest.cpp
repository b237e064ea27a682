// The catalogue entries the client calls only when present: with a catalogue
// that has them each call reaches it, and with one that lacks them every
// caller carries on.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "client/uApplication.h"
#include "client/uCatalogue.h"
#include "client/search/uSearch.h"
#include "client/settings/uSettings.h"
#include "client/window/uproof.h"
#include "components/replistv.h"
#include "platform/Dialogs.h"
#include "platform/DynLoad.h"
#include "tests/client/ClientTestSupport.h"

namespace {

using namespace clienttest;

void NoProgress(int32_t, int32_t, const std::string &) {}

const char *const Details = "<CUSTOMER_ID>C1</CUSTOMER_ID><CUSTOMER_PW>pw</CUSTOMER_PW>";

// What a row does with the engine (or the window) once the catalogue is bound.
enum class TAction { Find, FindThenStop, Clear, CloseWindow };

struct TOptionalCase {
  const char *Name;
  const char *Library;
  TAction Action;
  std::string Calls;  // what the optional entries received, in order
};
void PrintTo(const TOptionalCase &C, std::ostream *Out) { *Out << C.Name; }

class OptionalEntries : public ::testing::TestWithParam<TOptionalCase> {
protected:
  void SetUp() override {
    ResetTerminateRequest();
    kv::SetMessageBoxHook([](const std::string &, const std::string &, unsigned) { return kv::IDOK; });
  }
  void TearDown() override {
    Engine.reset();
    delete Main;
    if (hPrimary)
      UnbindCatalogue();
    kv::SetMessageBoxHook({});
    CatalogueLibraryName = "primary.dll";
    SetProgramDirectory("");
  }
  std::string CallsSoFar() {
    using TCalls = void (*)(std::string &);
    auto Read = reinterpret_cast<TCalls>(kv::GetProcAddress(hPrimary, "FakeOptionalCalls"));
    std::string R;
    if (Read)
      Read(R);
    return R;
  }

  kvtest::IsolatedEnv Env;
  TWorkingSettings Settings;
  kv::TReportListView List;
  std::unique_ptr<TSearchEngine> Engine;
  TfrmMain *Main = nullptr;
};

TEST_P(OptionalEntries, AreCalledOnlyWhenPresent) {
  const TOptionalCase &C = GetParam();
  CatalogueLibraryName = FakeLibrary(C.Library);
  std::string Calls;
  if (C.Action == TAction::CloseWindow) {
    SetProgramDirectory(kvtest::ProgramFolderCopy(KV_BIN_DIR, Env.Root()));
    CommandLineArguments() = {"QZBOOTSTRAPPED"};
    Main = new TfrmMain();
    ASSERT_TRUE(Main->Created) << CatalogueBindError;
    CallsSoFar();
    Main->close();
    Calls = CallsSoFar();
    EXPECT_TRUE(Main->Closing);
  } else {
    ASSERT_TRUE(BindCatalogue(NoProgress)) << CatalogueBindError;
    Settings.SiteEnabled = {1, 1};
    Settings.MaxSockets = 12;
    TSearchEvents E;
    E.CustomerDetails = [] { return std::string(Details); };
    Engine = std::make_unique<TSearchEngine>(Settings, &List, E);
    if (C.Action != TAction::Clear) {
      // The fake builds no request: no site starts and the search ends at once.
      Engine->StartSearch("LM317");
      EXPECT_FALSE(Engine->Searching());
    }
    if (C.Action == TAction::FindThenStop)
      Engine->btnStopClick();
    if (C.Action == TAction::Clear)
      Engine->btnNewSearchClick();
    Calls = CallsSoFar();
  }
  EXPECT_EQ(Calls, C.Calls);
}

INSTANTIATE_TEST_SUITE_P(
    Client, OptionalEntries,
    ::testing::Values(
        TOptionalCase{"FindWithEntries", "libfake_primary.so", TAction::Find,
                      "SetSiteSearchStopped 0|SetCustomerDetails " + std::string(Details) +
                          "|SetSiteSearchStopped 1|"},
        TOptionalCase{"FindWithoutEntries", "libfake_primary_nooptional.so", TAction::Find, ""},
        TOptionalCase{"StopWithEntries", "libfake_primary.so", TAction::FindThenStop,
                      "SetSiteSearchStopped 0|SetCustomerDetails " + std::string(Details) +
                          "|SetSiteSearchStopped 1|SetSiteSearchStopped 1|"},
        TOptionalCase{"StopWithoutEntries", "libfake_primary_nooptional.so", TAction::FindThenStop, ""},
        TOptionalCase{"ClearWithEntries", "libfake_primary.so", TAction::Clear, "SetSiteSearchStopped 1|"},
        TOptionalCase{"ClearWithoutEntries", "libfake_primary_nooptional.so", TAction::Clear, ""},
        TOptionalCase{"CloseWithEntries", "libfake_primary.so", TAction::CloseWindow, "SetSiteSearchStopped 1|"},
        TOptionalCase{"CloseWithoutEntries", "libfake_primary_nooptional.so", TAction::CloseWindow, ""}),
    [](const auto &Info) { return std::string(Info.param.Name); });

}  // namespace
