#pragma once
// The main window on the real catalogue over a fixture site, with two rows
// in its list, recorded message boxes and a scripted save dialog; printing
// goes to a PDF file of the test's own.
#include <gtest/gtest.h>

#include <cstdlib>

#include "client/uApplication.h"
#include "client/uCatalogue.h"
#include "client/window/uproof.h"
#include "components/replistv.h"
#include "platform/Paths.h"
#include "tests/client/ClientTestSupport.h"
#include "tests/output/OutputSupport.h"
#include "tests/support/TestEnv.h"

namespace outputtest {

class TMainWindowTest : public ::testing::Test {
protected:
  void SetUp() override {
    ResetTerminateRequest();
    clienttest::AddFixtureSite(kv::GetCurrentDir() + "/Lib", "A1", "Alpha");
    clienttest::StartFromProgramFolder(Env);
    setenv("KORVANDEL_PRINT_PDF", Pdf.c_str(), 1);
    Main = new TfrmMain();
    ASSERT_TRUE(Main->Created) << CatalogueBindError;
    AddRow(*Main->lstProducts, {"B2", "d", "m", "", "2.00", "Y", "1", "S1"});
    AddRow(*Main->lstProducts, {"A1", "d", "m", "", "1.00", "Y", "1", "S2"});
    Main->EnableButton(1, true);
    Main->EnableButton(2, true);
  }
  void TearDown() override {
    delete Main;
    clienttest::StopUsingProgramFolder();
  }

  kvtest::IsolatedEnv Env;
  std::string Pdf = Env / "report.pdf";
  TBoxRecorder Boxes;
  TDialogScript Dialog;
  TfrmMain *Main = nullptr;
};

}  // namespace outputtest
