// The printed report read back from its PDF by poppler's pdftotext and
// pdfinfo: every page in landscape with the title, the criteria, the
// headings and its "Page n"; the rows in the order the list shows them with
// all their printed fields; the columns where the layout puts them.
#include <gtest/gtest.h>

#include <QPageSize>
#include <QPrinter>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>

#include "client/output/uPrintCommands.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"
#include "tests/output/OutputSupport.h"
#include "tests/support/TestEnv.h"

using namespace kv;
using namespace outputtest;

namespace {

const char *const Headings[] = {"Part Number", "Description", "Manufacturer", "Price", "InStock", "Quantity", "Supplier"};

struct TWord {
  std::string Text;
  double XMin, YMin, XMax, YMax;
};

int PageCount(const std::string &Pdf) {
  const std::string Info = RunProgram("pdfinfo", {QString::fromStdString(Pdf)});
  const QRegularExpressionMatch M = QRegularExpression("^Pages:\\s+(\\d+)", QRegularExpression::MultilineOption)
                                        .match(QString::fromStdString(Info));
  return M.hasMatch() ? M.captured(1).toInt() : -1;
}

// Width and height of every page, in points.
std::vector<std::pair<double, double>> PageSizes(const std::string &Pdf, int Pages) {
  const std::string Info =
      RunProgram("pdfinfo", {"-f", "1", "-l", QString::number(Pages), QString::fromStdString(Pdf)});
  std::vector<std::pair<double, double>> Sizes;
  QRegularExpressionMatchIterator It =
      QRegularExpression("^Page\\s+\\d+ size:\\s+([\\d.]+) x ([\\d.]+) pts", QRegularExpression::MultilineOption)
          .globalMatch(QString::fromStdString(Info));
  while (It.hasNext()) {
    const QRegularExpressionMatch M = It.next();
    Sizes.emplace_back(M.captured(1).toDouble(), M.captured(2).toDouble());
  }
  return Sizes;
}

// The text of each page, laid out as printed.
std::vector<std::string> PageTexts(const std::string &Pdf) {
  const std::string All = RunProgram("pdftotext", {"-layout", QString::fromStdString(Pdf), "-"});
  std::vector<std::string> Pages;
  size_t Start = 0;
  for (size_t Feed; (Feed = All.find('\f', Start)) != std::string::npos; Start = Feed + 1)
    Pages.push_back(All.substr(Start, Feed - Start));
  return Pages;
}

std::vector<std::string> Lines(const std::string &Text) {
  std::vector<std::string> Result;
  size_t Start = 0;
  for (size_t End; Start <= Text.size(); Start = End + 1) {
    End = Text.find('\n', Start);
    if (End == std::string::npos)
      End = Text.size();
    Result.push_back(Text.substr(Start, End - Start));
  }
  return Result;
}

// The words of page Page with their boxes (points, from the top left).
std::vector<TWord> PageWords(const std::string &Pdf, int Page) {
  const std::string Html = RunProgram(
      "pdftotext", {"-bbox", "-f", QString::number(Page), "-l", QString::number(Page), QString::fromStdString(Pdf), "-"});
  std::vector<TWord> Words;
  QRegularExpressionMatchIterator It =
      QRegularExpression("<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>")
          .globalMatch(QString::fromStdString(Html));
  while (It.hasNext()) {
    const QRegularExpressionMatch M = It.next();
    Words.push_back({M.captured(5).toStdString(), M.captured(1).toDouble(), M.captured(2).toDouble(),
                     M.captured(3).toDouble(), M.captured(4).toDouble()});
  }
  return Words;
}

const TWord *FindWord(const std::vector<TWord> &Words, const std::string &Text) {
  for (const TWord &W : Words)
    if (W.Text == Text)
      return &W;
  ADD_FAILURE() << "no word " << Text;
  return nullptr;
}

double PriceValue(const std::string &Price) {
  std::string Plain = Price;
  Plain.erase(std::remove(Plain.begin(), Plain.end(), ','), Plain.end());
  return StrToFloatDef(Plain, 0);
}

class PrintReadback : public ::testing::Test {
protected:
  void SetUp() override {
    AddColumns(List);
    setenv("KORVANDEL_PRINT_PDF", Pdf.c_str(), 1);
  }
  // Rows with every printed field told apart: the stock text included,
  // which the screen hides, and prices of 1,000 and more.
  void Fill(int Rows) {
    static const char *const Stock[] = {"Y", "N", "Call"};
    List.BeginUpdate();
    for (int I = 0; I < Rows; ++I) {
      const std::string N = Format("%04d", I);
      const double Price = (I * 7919 % 2500) + 0.25;
      AddRow(List, {"PN" + N, "Desc" + N, "Maker" + N, "http://ds.test/" + N, FormatFloat("#,##0.00", Price),
                    Stock[I % 3], "Q" + N, "Shop" + N});
    }
    List.EndUpdate();
  }
  void Print(TPrintEvents E = {}) {
    E.SearchText = [this] { return Criteria; };
    TPrintCommands Commands(&List, std::move(E), nullptr);
    Commands.mnuPrintClick();
    ASSERT_TRUE(Boxes.Boxes.empty()) << Boxes.Boxes[0].Text;
  }

  kvtest::IsolatedEnv Env;
  std::string Pdf = Env / "report.pdf";
  TReportListView List;
  TBoxRecorder Boxes;
  std::string Criteria;
};

TEST_F(PrintReadback, EveryRowInDisplayOrderOnLandscapePages) {
  Fill(1000);
  // Shown sorted by price, not in the order the rows came.
  List.CustomSort([](const TReportItem &A, const TReportItem &B) {
    return PriceValue(A.SubItems[3]) > PriceValue(B.SubItems[3]) ? 1 : -1;
  });
  Criteria = "LM317, NE555";
  Print();

  const int Pages = PageCount(Pdf);
  ASSERT_GT(Pages, 1);
  const std::vector<std::pair<double, double>> Sizes = PageSizes(Pdf, Pages);
  ASSERT_EQ(static_cast<int>(Sizes.size()), Pages);
  for (int P = 0; P < Pages; ++P)
    EXPECT_GT(Sizes[P].first, Sizes[P].second) << "page " << P + 1 << " is not landscape";

  const std::vector<std::string> Texts = PageTexts(Pdf);
  ASSERT_EQ(static_cast<int>(Texts.size()), Pages);
  std::vector<std::string> Printed;
  std::vector<int> RowsOnPage;
  const QRegularExpression Part("PN\\d{4}");
  for (int P = 0; P < Pages; ++P) {
    SCOPED_TRACE("page " + std::to_string(P + 1));
    const std::string &Text = Texts[P];
    EXPECT_NE(Text.find("Korvandel(tm) Search Results"), std::string::npos);
    EXPECT_NE(Text.find("Search Criteria:"), std::string::npos);
    EXPECT_NE(Text.find("LM317, NE555"), std::string::npos);
    for (const char *H : Headings)
      EXPECT_NE(Text.find(H), std::string::npos) << H;
    int Footers = 0, Rows = 0;
    for (const std::string &Line : Lines(Text)) {
      if (Trim(Line) == "Page " + std::to_string(P + 1))
        ++Footers;
      const QRegularExpressionMatch M = Part.match(QString::fromStdString(Line));
      if (!M.hasMatch())
        continue;
      ++Rows;
      Printed.push_back(M.captured().toStdString());
      // Every printed field of the row, in column order, on its line.
      const std::string N = Printed.back().substr(2);
      const size_t Index = Printed.size() - 1;
      if (Index >= static_cast<size_t>(List.ItemCount()))
        continue;
      const TReportItem &Row = List.Item(static_cast<int>(Index));
      size_t At = 0;
      for (const std::string &Field : {Row.Caption, Row.SubItems[0], Row.SubItems[1], Row.SubItems[3], Row.SubItems[4],
                                       Row.SubItems[5], Row.SubItems[6]}) {
        At = Line.find(Field, At);
        ASSERT_NE(At, std::string::npos) << "\"" << Field << "\" missing or out of order in: " << Line;
        At += Field.size();
      }
      EXPECT_EQ(Line.find("http://ds.test/"), std::string::npos) << "the datasheet is not printed";
    }
    EXPECT_EQ(Footers, 1);
    RowsOnPage.push_back(Rows);
  }
  EXPECT_EQ(Printed, Captions(List));
  // Full pages but the last.
  const int PerPage = RowsOnPage.front();
  for (int P = 0; P + 1 < Pages; ++P)
    EXPECT_EQ(RowsOnPage[P], PerPage) << "page " << P + 1;
  EXPECT_GE(RowsOnPage.back(), 1);
  EXPECT_EQ(Pages, (1000 + PerPage - 1) / PerPage);
}

TEST_F(PrintReadback, EmptyListPrintsOnePageWithHeaderAndFooter) {
  Criteria = "nothing found";
  Print();
  ASSERT_EQ(PageCount(Pdf), 1);
  const std::vector<std::string> Texts = PageTexts(Pdf);
  ASSERT_EQ(Texts.size(), 1u);
  EXPECT_NE(Texts[0].find("Korvandel(tm) Search Results"), std::string::npos);
  EXPECT_NE(Texts[0].find("nothing found"), std::string::npos);
  for (const char *H : Headings)
    EXPECT_NE(Texts[0].find(H), std::string::npos) << H;
  EXPECT_NE(Texts[0].find("Page 1"), std::string::npos);
}

// The headings stand at 11, 191, 472, 604, 660, 730 and 804 of the band's
// 1200; each row's fields under them, the price right-aligned in its 46,
// texts cut at their widths; the title larger than the headings, the
// headings larger than the rows; the logo on every page.
TEST_F(PrintReadback, ColumnsStandWhereTheLayoutPutsThem) {
  AddRow(List, {"SHORT", "Narrow", "Mk", "", "1.00", "Y", "5", "S1"});
  AddRow(List, {"LONG", std::string(60, 'W') + " tail", std::string(40, 'M') + " tail", "", "1,234.00", "Call", "50",
                "S2"});
  Criteria = "X";
  Print();
  const std::vector<TWord> Words = PageWords(Pdf, 1);
  const TWord *Part = FindWord(Words, "Part"), *Supplier = FindWord(Words, "Supplier");
  ASSERT_TRUE(Part && Supplier);
  const double Unit = (Supplier->XMin - Part->XMin) / (804 - 11);
  const auto At = [&](int Position) { return Part->XMin + (Position - 11) * Unit; };
  const std::map<std::string, int> Positions = {{"Description", 191}, {"Manufacturer", 472}, {"Price", 604},
                                                {"InStock", 660},     {"Quantity", 730}};
  for (const auto &[Heading, Position] : Positions)
    if (const TWord *W = FindWord(Words, Heading)) {
      EXPECT_NEAR(W->XMin, At(Position), 1.0) << Heading;
    }

  const TWord *Short = FindWord(Words, "SHORT"), *Narrow = FindWord(Words, "Narrow"), *Mk = FindWord(Words, "Mk");
  ASSERT_TRUE(Short && Narrow && Mk);
  EXPECT_NEAR(Short->XMin, At(11), 1.0);
  EXPECT_NEAR(Narrow->XMin, At(191), 1.0);
  EXPECT_NEAR(Mk->XMin, At(472), 1.0);
  const TWord *Cheap = FindWord(Words, "1.00"), *Dear = FindWord(Words, "1,234.00");
  ASSERT_TRUE(Cheap && Dear);
  EXPECT_NEAR(Cheap->XMax, At(650), 1.0);
  EXPECT_NEAR(Dear->XMax, At(650), 1.0);
  for (const TWord &W : Words)
    if (W.Text == "tail" || W.Text.find("WWW") != std::string::npos) {
      EXPECT_LT(W.XMax, At(191 + 273) + 0.5) << "the description runs past its width";
    } else if (W.Text.find("MMM") != std::string::npos) {
      EXPECT_LT(W.XMax, At(472 + 119) + 0.5) << "the manufacturer runs past its width";
    }

  const TWord *Title = FindWord(Words, "Korvandel(tm)");
  ASSERT_TRUE(Title);
  EXPECT_GT(Title->YMax - Title->YMin, Supplier->YMax - Supplier->YMin);
  EXPECT_GT(Supplier->YMax - Supplier->YMin, Short->YMax - Short->YMin);
  EXPECT_LT(Title->YMax, Supplier->YMin);
  EXPECT_LT(Supplier->YMax, Short->YMin);

  const std::string Images = RunProgram("pdfimages", {"-list", QString::fromStdString(Pdf)});
  EXPECT_NE(Images.find("\n   1     0 image"), std::string::npos) << Images;
}

// What the set-up dialog chose holds for every later print.
TEST_F(PrintReadback, SetupChoicesHoldForLaterPrints) {
  Fill(3);
  TPrintEvents E;
  int Setups = 0;
  E.PrinterSetupDialog = [&Setups](QPrinter &P) {
    ++Setups;
    P.setPageSize(QPageSize(QPageSize::A5));
  };
  E.SearchText = [this] { return Criteria; };
  TPrintCommands Commands(&List, std::move(E), nullptr);
  Commands.mnuPrinterSetupClick();
  for (int Run = 0; Run < 2; ++Run) {
    SCOPED_TRACE("print " + std::to_string(Run + 1));
    Commands.mnuPrintClick();
    ASSERT_EQ(PageCount(Pdf), 1);
    const std::vector<std::pair<double, double>> Sizes = PageSizes(Pdf, 1);
    ASSERT_EQ(Sizes.size(), 1u);
    EXPECT_NEAR(Sizes[0].first, 595.3, 1);
    EXPECT_NEAR(Sizes[0].second, 419.5, 1);
  }
  EXPECT_EQ(Setups, 1);
  EXPECT_TRUE(Boxes.Boxes.empty());
}

// A start the printer refuses leaves it usable: the set-up then picks a
// PDF file, and that print and the next one write it, with the page size
// chosen before the failure.
TEST_F(PrintReadback, SetupAfterARefusedStartPrintsToItsFile) {
  struct TCase {
    const char *Name;
    std::function<void(QPrinter &)> Refused;
  };
  const std::string Missing = Env / "missing/report.pdf";
  const TCase Cases[] = {
      {"no printer: a PDF writer without a file",
       [](QPrinter &P) {
         P.setOutputFileName({});
         P.setOutputFormat(QPrinter::PdfFormat);
       }},
      {"a file in a missing folder", [&Missing](QPrinter &P) { P.setOutputFileName(QString::fromStdString(Missing)); }},
  };
  unsetenv("KORVANDEL_PRINT_PDF");
  Fill(3);
  Criteria = "after a failure";
  for (const TCase &C : Cases) {
    SCOPED_TRACE(C.Name);
    kv::DeleteFile(Pdf);
    Boxes.Boxes.clear();
    std::function<void(QPrinter &)> Setup = [&C](QPrinter &P) {
      C.Refused(P);
      P.setPageSize(QPageSize(QPageSize::A5));
    };
    TPrintEvents E;
    E.PrinterSetupDialog = [&Setup](QPrinter &P) { Setup(P); };
    E.SearchText = [this] { return Criteria; };
    TPrintCommands Commands(&List, std::move(E), nullptr);
    Commands.mnuPrinterSetupClick();
    Commands.mnuPrintClick();
    ASSERT_EQ(Boxes.Boxes.size(), 1u);
    EXPECT_EQ(Boxes.Boxes[0].Text, "The printer could not be started.");
    Setup = [this](QPrinter &P) { P.setOutputFileName(QString::fromStdString(Pdf)); };
    Commands.mnuPrinterSetupClick();
    for (int Run = 0; Run < 2; ++Run) {
      SCOPED_TRACE("print " + std::to_string(Run + 1));
      kv::DeleteFile(Pdf);
      Commands.mnuPrintClick();
      EXPECT_EQ(Boxes.Boxes.size(), 1u);
      ASSERT_EQ(PageCount(Pdf), 1);
      const std::vector<std::string> Texts = PageTexts(Pdf);
      ASSERT_EQ(Texts.size(), 1u);
      EXPECT_NE(Texts[0].find("Korvandel(tm) Search Results"), std::string::npos);
      EXPECT_NE(Texts[0].find("after a failure"), std::string::npos);
      EXPECT_NE(Texts[0].find("PN0002"), std::string::npos);
      const std::vector<std::pair<double, double>> Sizes = PageSizes(Pdf, 1);
      ASSERT_EQ(Sizes.size(), 1u);
      EXPECT_NEAR(Sizes[0].first, 595.3, 1);
      EXPECT_NEAR(Sizes[0].second, 419.5, 1);
    }
  }
}

}  // namespace
