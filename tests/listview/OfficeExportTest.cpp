// The word-processor and spreadsheet exports with our stand-ins behind them,
// where they must fail: each failure is a clear error, the cursor comes back
// and no file is left, nor an earlier file spoilt.
#include <gtest/gtest.h>

#include <filesystem>

#include <QGuiApplication>

#include "components/replistv.h"
#include "platform/automation/Dispatch.h"
#include "platform/office/OfficeStandIns.h"
#include "tests/support/TestEnv.h"

using namespace kv;

namespace {

struct FailCase {
  const char *Name;
  bool Document;
  int Columns, Rows;
  const char *Target;   // below a folder of its own
  const char *Message;  // the error's text, "%s" standing for the target's path
};

void PrintTo(const FailCase &C, std::ostream *Os) { *Os << C.Name; }

const FailCase kFails[] = {
    {"DocumentInMissingFolder", true, 8, 3, "missing/out.doc", "Document.SaveAs: cannot create file \"%s\""},
    {"WorkbookInMissingFolder", false, 8, 3, "missing/out.xls", "Workbook.SaveAs: cannot create file \"%s\""},
    {"DocumentOverAFolder", true, 8, 3, "folder", "Document.SaveAs: cannot create file \"%s\""},
    {"WorkbookOverAFolder", false, 8, 3, "folder", "Workbook.SaveAs: cannot create file \"%s\""},
    {"DocumentTooWide", true, 64, 3, "out.doc", "Tables.Add: NumColumns must be between 1 and 63 (64 given)"},
    {"DocumentWithoutRows", true, 8, 0, "out.doc", "There is nothing to export: the list has no rows."},
    {"WorkbookWithoutRows", false, 8, 0, "out.xls", "There is nothing to export: the list has no rows."},
};

class OfficeExportFails : public ::testing::TestWithParam<FailCase> {
protected:
  kvtest::IsolatedEnv Env;
  kvtest::TempDir Out;
  TReportListView View;
  void SetUp() override { RegisterOfficeStandIns(); }
};

TEST_P(OfficeExportFails, ClearErrorNoFile) {
  const FailCase &c = GetParam();
  ASSERT_EQ(mkdir((Out / "folder").c_str(), 0755), 0);
  for (int col = 0; col < c.Columns; ++col)
    View.AddColumn("C" + std::to_string(col));
  for (int r = 0; r < c.Rows; ++r)
    View.AddItem(TReportItem{"row", {"a", "b"}, -1, {}, nullptr});
  const std::string target = Out / c.Target;
  std::string message = c.Message;
  if (const size_t p = message.find("%s"); p != std::string::npos)
    message.replace(p, 2, target);
  try {
    c.Document ? View.SaveToDOC(target) : View.SaveToXLS(target);
    FAIL() << "no error";
  } catch (const Exception &e) {
    EXPECT_EQ(std::string(e.what()), message);
  }
  // Nothing new beside the folder the test made: no file, no temporary.
  std::vector<std::string> left;
  for (const auto &e : std::filesystem::recursive_directory_iterator(Out.Path()))
    left.push_back(std::filesystem::relative(e.path(), Out.Path()).string());
  EXPECT_EQ(left, std::vector<std::string>{"folder"});
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Office, OfficeExportFails, ::testing::ValuesIn(kFails),
                         [](const ::testing::TestParamInfo<FailCase> &i) { return std::string(i.param.Name); });

// A failed export leaves the file of an earlier one as it was; a good one
// replaces it whole.
TEST(OfficeExport, FailureKeepsTheEarlierFile) {
  kvtest::IsolatedEnv env;
  RegisterOfficeStandIns();
  TReportListView view;
  for (int col = 0; col < 64; ++col)
    view.AddColumn("C" + std::to_string(col));
  view.AddItem(TReportItem{"row", {"a"}, -1, {}, nullptr});
  const std::string file = env / "out.doc";
  kvtest::WriteFile(file, "earlier export");
  EXPECT_THROW(view.SaveToDOC(file), EOleException);
  EXPECT_EQ(kvtest::ReadFile(file), "earlier export");

  TReportListView narrow;
  narrow.AddColumn("Part");
  narrow.AddItem(TReportItem{"row", {}, -1, {}, nullptr});
  narrow.SaveToDOC(file);
  const std::string rtf = kvtest::ReadFile(file);
  EXPECT_EQ(rtf.rfind("{\\rtf1", 0), 0u);
  EXPECT_NE(rtf.find("\\ql row\\cell\\row"), std::string::npos);
}

}  // namespace
