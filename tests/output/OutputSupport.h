#pragma once
// Shared pieces of the output tests: a result list with the main window's
// columns, a scripted save dialog, recorded message boxes, a recording
// word processor and spreadsheet, and the outside readers run as processes.
#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "components/replistv.h"
#include "platform/Dialogs.h"
#include "platform/automation/Automation.h"

namespace outputtest {

// A row: part number, description, manufacturer, datasheet, price, stock,
// quantity, supplier.
struct TRow {
  std::string Part, Desc, Maker, Sheet, Price, Stock, Qty, Supplier;
};

// As the main window sets it up.
inline void AddColumns(kv::TReportListView &List) {
  const struct {
    const char *Caption;
    kv::TAlignment Alignment;
  } Columns[] = {{"Part Number", kv::taLeftJustify}, {"Description", kv::taLeftJustify},
                 {"Manufacturer", kv::taLeftJustify}, {"Datasheet", kv::taCenter},
                 {"Price", kv::taRightJustify},       {"In Stock", kv::taCenter},
                 {"Quantity", kv::taRightJustify},    {"Supplier", kv::taLeftJustify}};
  for (const auto &C : Columns)
    List.AddColumn(C.Caption, 60, C.Alignment);
  List.SetSaveHeader(true);
}

inline void AddRow(kv::TReportListView &List, const TRow &R) {
  List.AddItem(kv::TReportItem{R.Part, {R.Desc, R.Maker, R.Sheet, R.Price, R.Stock, R.Qty, R.Supplier}, -1, {}, nullptr});
}

inline std::vector<std::string> Captions(const kv::TReportListView &List) {
  std::vector<std::string> Result;
  for (const kv::TReportItem &I : List.Items())
    Result.push_back(I.Caption);
  return Result;
}

// The save dialog as the user would answer it, one answer per use; what each
// use was shown is kept.
struct TDialogScript {
  struct TAnswer {
    bool Ok = true;
    std::string FileName;
    int FilterIndex = 1;
  };
  std::deque<TAnswer> Answers;
  std::vector<kv::TSaveDialog> Shown;

  TDialogScript() {
    kv::SetSaveDialogHook([this](kv::TSaveDialog &D) {
      Shown.push_back(D);
      if (Answers.empty()) {
        ADD_FAILURE() << "unexpected save dialog " << D.Title;
        return false;
      }
      const TAnswer A = Answers.front();
      Answers.pop_front();
      if (!A.Ok)
        return false;
      D.FileName = A.FileName;
      D.FilterIndex = A.FilterIndex;
      return true;
    });
  }
  ~TDialogScript() { kv::SetSaveDialogHook({}); }
};

// Message boxes, answered with Answer.
struct TBoxRecorder {
  struct TBox {
    std::string Text, Caption;
    unsigned Flags;
  };
  std::vector<TBox> Boxes;
  int Answer = kv::IDYES;

  TBoxRecorder() {
    kv::SetMessageBoxHook([this](const std::string &Text, const std::string &Caption, unsigned Flags) {
      Boxes.push_back({Text, Caption, Flags});
      return Answer;
    });
  }
  ~TBoxRecorder() { kv::SetMessageBoxHook({}); }
};

// A word processor and a spreadsheet that accept every call and log the
// names given to SaveAs, with the program that saved; registered in the
// automation layer in place of the stand-ins while it lives.
struct TOfficeRecorder {
  std::vector<std::string> Saved;  // "word.application:name"

  class TObject : public kv::IDispatch {
  public:
    TObject(TOfficeRecorder &R, std::string ProgID) : R(R), ProgID(std::move(ProgID)) {}
    kv::TOleVariant Invoke(const std::string &Name, const kv::TOleArgs &Args, const kv::TNamedArgs &) override {
      if (Name == "SaveAs") {
        const bool Text = !Args.empty() && Args[0].Type() == kv::TVarType::String;
        R.Saved.push_back(ProgID + ":" + (Text ? Args[0].AsString() : "?"));
        return {};
      }
      if (Name == "Quit" || Name == "InsertAfter" || Name == "Alignment" || Name == "Value")
        return {};
      return kv::TOleVariant(std::shared_ptr<kv::IDispatch>(std::make_shared<TObject>(R, ProgID)));
    }

  private:
    TOfficeRecorder &R;
    std::string ProgID;
  };

  static constexpr const char *ProgIDs[] = {"word.application", "excel.application"};
  TOfficeRecorder() {
    for (const char *ProgID : ProgIDs)
      kv::RegisterInProcessClass(ProgID, [this, ProgID] { return std::make_shared<TObject>(*this, ProgID); });
  }
  ~TOfficeRecorder() {
    for (const char *ProgID : ProgIDs)
      kv::RegisterInProcessClass(ProgID, {});
  }
};

// Runs a program to its end; its standard output, or a failure.
inline std::string RunProgram(const QString &Program, const QStringList &Arguments) {
  QProcess P;
  P.setProcessChannelMode(QProcess::SeparateChannels);
  P.start(Program, Arguments);
  if (!P.waitForFinished(120000) || P.exitStatus() != QProcess::NormalExit || P.exitCode() != 0) {
    ADD_FAILURE() << Program.toStdString() << " " << Arguments.join(' ').toStdString()
                  << " failed: " << P.readAllStandardError().toStdString();
    return std::string();
  }
  return P.readAllStandardOutput().toStdString();
}

}  // namespace outputtest
