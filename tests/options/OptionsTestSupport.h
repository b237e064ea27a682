#pragma once
// The options dialog over the real catalogue and fixture sites in the test's
// own "Lib", with the main window's side played by recorders.
#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "client/options/uoptions.h"
#include "client/uCatalogue.h"
#include "components/GlyphChkLs.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"
#include "platform/StringList.h"
#include "tests/client/ClientTestSupport.h"

namespace optionstest {

namespace fs = std::filesystem;

// One fixture site: its library file name (without ".TWL"), its name and
// more settings lines of sites/FixtureSite.cpp.
struct TSiteSpec {
  std::string File, Name, Extra;
};

inline void AddSite(const TSiteSpec &S) {
  const std::string Lib = kv::GetCurrentDir() + "/Lib";
  fs::create_directories(Lib);
  fs::copy_file(std::string(KV_TEST_BIN_DIR) + "/lib/Fixture.TWL", Lib + "/" + S.File + ".TWL",
                fs::copy_options::overwrite_existing);
  std::string Config = "SiteName=" + S.Name +
                       "\nSiteLocation=UK\nSiteURL=http://" + S.File + ".test/\nSiteHostName=" + S.File +
                       ".test\nSiteAdvert=\nSiteLanguage=EN English\nInterfaceVersion=4\n" + S.Extra;
  // Defaults for what the extra lines leave out.
  for (const char *Default : {"SiteCurrency=GBP British Pounds", "Categories=Passives", "Features=Search"}) {
    const std::string Key = std::string(Default).substr(0, std::string(Default).find('=') + 1);
    if (S.Extra.find(Key) == std::string::npos)
      Config += std::string(Default) + "\n";
  }
  kvtest::WriteFile(Lib + "/" + S.File + ".cfg", Config);
}

inline void NoProgress(int32_t, int32_t, const std::string &) {}

class OptionsFixture : public ::testing::Test {
protected:
  void SetUp() override {
    kv::SetMessageBoxHook([this](const std::string &Text, const std::string &, unsigned) {
      Boxes.push_back(Text);
      return kv::IDOK;
    });
  }
  void TearDown() override {
    Dialog.reset();
    if (hPrimary)
      UnbindCatalogue();
    kv::SetMessageBoxHook({});
  }

  void Bind(const std::vector<TSiteSpec> &Sites) {
    for (const TSiteSpec &S : Sites)
      AddSite(S);
    CatalogueLibraryName = std::string(KV_BIN_DIR) + "/libprimary.so";
    ASSERT_TRUE(BindCatalogue(NoProgress)) << CatalogueBindError;
  }

  // Creates and shows the dialog (which loads it) for a logon that granted
  // Granted; nullptr features before any logon.
  void Open(const std::vector<std::string> &Granted = {"Search"}, bool LoggedOn = true) {
    TOptionsEvents E;
    E.GetBrowserCommand = [this] { return BrowserCommand; };
    E.OpenURL = [this](const std::string &URL) { Opened.push_back(URL); };
    E.SetLinkType = [this](int T) { LinkTypes.push_back(T); };
    E.AdvancedFilter = [this] { ++FilterClicks; };
    E.Rates.GetConversionRate = [this](const std::string &From, const std::string &To, bool UseProxy,
                                       const std::string &Host, const std::string &Port, TConversionRateProc Reply,
                                       void *Context) {
      Requests.push_back({From, To, UseProxy, Host, Port, Reply, Context});
    };
    E.Rates.TerminateProcesses = [this] { ++Terminations; };
    Features.Clear();
    for (const std::string &F : Granted)
      Features.Add(F);
    Dialog = std::make_unique<TfrmOptions>(std::move(E));
    Dialog->Features = LoggedOn ? &Features : nullptr;
    Dialog->show();
  }

  // The list's rows as "name" or "name*" (checked).
  std::vector<std::string> Rows() const {
    std::vector<std::string> R;
    for (int I = 0; I < Dialog->lbSites->Count(); ++I)
      R.push_back(Dialog->lbSites->GetItemText(I) + (Dialog->lbSites->Checked(I) ? "*" : ""));
    return R;
  }
  int RowOf(const std::string &Name) const {
    for (int I = 0; I < Dialog->lbSites->Count(); ++I)
      if (Dialog->lbSites->GetItemText(I) == Name)
        return I;
    return -1;
  }
  static std::string Flag(const std::string &File) {
    return clienttest::StoredString("SiteInfo\\Sites", "SiteLIB\\" + File + ".TWL");
  }

  struct TRequest {
    std::string From, To;
    bool UseProxy;
    std::string Host, Port;
    TConversionRateProc Reply;
    void *Context;
  };

  kvtest::IsolatedEnv Env;
  std::unique_ptr<TfrmOptions> Dialog;
  kv::TStringList Features;
  std::string BrowserCommand;
  std::vector<std::string> Opened, Boxes;
  std::vector<int> LinkTypes;
  std::vector<TRequest> Requests;
  int FilterClicks = 0, Terminations = 0;
};

}  // namespace optionstest
