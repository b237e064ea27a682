// Binding the catalogue by name, against fake libraries, and the splash
// form's progress.
#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>

#include "client/uApplication.h"
#include "client/uCatalogue.h"
#include "client/window/usplash.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"
#include "tests/client/ClientTestSupport.h"

namespace {

using namespace clienttest;

struct TCall {
  int32_t Total, Done;
  std::string Name;
  bool operator==(const TCall &) const = default;
};
std::vector<TCall> Calls;
void Record(int32_t Total, int32_t Done, const std::string &Name) { Calls.push_back({Total, Done, Name}); }

class Binding : public ::testing::Test {
protected:
  void SetUp() override {
    Calls.clear();
    ResetTerminateRequest();
    kv::SetMessageBoxHook([this](const std::string &Text, const std::string &Caption, unsigned Flags) {
      Boxes.push_back({Text, Caption, Flags});
      return kv::IDOK;
    });
  }
  void TearDown() override {
    UnbindCatalogue();
    kv::SetMessageBoxHook({});
    CatalogueLibraryName = "primary.dll";
  }
  struct TBox {
    std::string Text, Caption;
    unsigned Flags;
  };
  std::vector<TBox> Boxes;
  kvtest::IsolatedEnv Env;
};

TEST_F(Binding, BindsEveryEntryAndReportsProgress) {
  CatalogueLibraryName = FakeLibrary("libfake_primary.so");
  ASSERT_TRUE(BindCatalogue(Record));
  EXPECT_NE(hPrimary, nullptr);
  EXPECT_FALSE(TerminateRequested());
  const std::vector<TCall> Expected{{3, 0, ""}, {3, 1, "Alpha"}, {3, 2, "Alpha"}, {3, 3, "R&D Parts"}};
  EXPECT_EQ(Calls, Expected);
  // The scan's message box came through the client's own dialogs.
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Text, "A fatal error has occured with B.TWL\r\nFile not used");
  EXPECT_EQ(Boxes[0].Caption, "Error");
  ASSERT_NE(Catalogue.GetSiteName, nullptr);
  std::string Name;
  Catalogue.GetSiteName(Name, 1);
  EXPECT_EQ(Name, "R&D Parts");
  EXPECT_NE(Catalogue.SetCustomerDetails, nullptr);
  EXPECT_NE(Catalogue.SetSiteSearchStopped, nullptr);
  // Not exported by the fake: Fetchlet's functions stay empty, no failure.
  EXPECT_EQ(Catalogue.GetFile, nullptr);

  UnbindCatalogue();
  EXPECT_EQ(hPrimary, nullptr);
  EXPECT_EQ(Catalogue.GetSiteName, nullptr);
  EXPECT_EQ(Catalogue.SetCustomerDetails, nullptr);
  EXPECT_EQ(Catalogue.GetStatement, nullptr);
}

struct TFailCase {
  const char *Name;
  const char *Library;
  const char *Why;  // part of CatalogueBindError
};
class BindingFailures : public Binding, public ::testing::WithParamInterface<TFailCase> {};

TEST_P(BindingFailures, ShowTheMessageAndEnd) {
  CatalogueLibraryName = FakeLibrary(GetParam().Library);
  EXPECT_FALSE(BindCatalogue(Record));
  EXPECT_EQ(hPrimary, nullptr);
  EXPECT_TRUE(TerminateRequested());
  EXPECT_TRUE(Calls.empty());
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Text, "Unable to load PRIMARY.DLL please Re-Install");
  EXPECT_EQ(Boxes[0].Flags, kv::MB_OK | kv::MB_ICONERROR);
  EXPECT_NE(CatalogueBindError.find(GetParam().Why), std::string::npos) << CatalogueBindError;
  EXPECT_EQ(Catalogue.GetSiteName, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Binding, BindingFailures,
    ::testing::Values(TFailCase{"MissingLibrary", "libnot_there.so", ""},
                      TFailCase{"MissingEntryPoint", "libfake_primary_nostatement.so", "GetStatement"}),
    [](const auto &Info) { return std::string(Info.param.Name); });

TEST_F(Binding, EntriesTestedBeforeUseMayBeMissing) {
  CatalogueLibraryName = FakeLibrary("libfake_primary_nooptional.so");
  ASSERT_TRUE(BindCatalogue(Record));
  EXPECT_EQ(Catalogue.SetCustomerDetails, nullptr);
  EXPECT_EQ(Catalogue.GetSiteSecurity, nullptr);
  EXPECT_NE(Catalogue.GetStatement, nullptr);
}

TEST_F(Binding, SplashShowsAmpersandsAfterOneBlank) {
  TfrmSplash Splash;
  frmSplash = &Splash;
  SplashInitProgress(3, 2, "R&D Parts");
  EXPECT_EQ(Splash.pbDlls->maximum(), 3);
  EXPECT_EQ(Splash.pbDlls->value(), 2);
  EXPECT_EQ(LabelCaption(Splash.lblRegister), " R&&D Parts");
  EXPECT_EQ(Splash.lblRegister->text(), QString(" R&D Parts"));
  EXPECT_TRUE(Splash.updatesEnabled());
  frmSplash = nullptr;
}

TEST_F(Binding, SplashTakesTheLow16BitsAndEmptyScans) {
  TfrmSplash Splash;
  frmSplash = &Splash;
  SplashInitProgress(65536 + 7, 65536 + 5, "Big");
  EXPECT_EQ(Splash.pbDlls->maximum(), 7);
  EXPECT_EQ(Splash.pbDlls->value(), 5);
  SplashInitProgress(0, 0, "");
  EXPECT_EQ(Splash.pbDlls->maximum(), 0);
  EXPECT_EQ(Splash.lblRegister->text(), QString(" "));
  frmSplash = nullptr;
}

TEST_F(Binding, SplashProgressThroughTheRealScan) {
  AddFixtureSite(kv::GetCurrentDir() + "/Lib", "A1", "Alpha & Sons");
  AddFixtureSite(kv::GetCurrentDir() + "/Lib", "B2", "Beta");
  TfrmSplash Splash;
  frmSplash = &Splash;
  CatalogueLibraryName = std::string(KV_BIN_DIR) + "/libprimary.so";
  ASSERT_TRUE(BindCatalogue(SplashInitProgress));
  EXPECT_EQ(Splash.pbDlls->maximum(), 2);
  EXPECT_EQ(Splash.pbDlls->value(), 2);
  EXPECT_EQ(Splash.lblRegister->text(), QString(" Beta"));
  EXPECT_EQ(Catalogue.GetNumberSites(), 2);
  frmSplash = nullptr;
}

}  // namespace
