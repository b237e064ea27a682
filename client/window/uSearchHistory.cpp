#include "client/window/uSearchHistory.h"

#include <QComboBox>

#include "client/settings/uSettings.h"
#include "platform/Registry.h"
#include "platform/SysUtils.h"
#include "platform/qt/Codepage.h"

using namespace kv;

namespace {

const char *const HistoryKey = "Searches";

std::string ValueName(int Position) { return "Search" + IntToStr(Position); }

}  // namespace

void LoadSearchHistory(QComboBox &Box) {
  for (int I = 0; I < MaxSearchHistory; ++I) {
    const std::string Item = ReadSettingString(HistoryKey, ValueName(I), "");
    if (!Item.empty())
      Box.addItem(FromAnsi(Item));
  }
  Box.setCurrentIndex(-1);
  Box.setEditText(QString());
}

void AddToSearchHistory(QComboBox &Box) {
  const QString Text = Box.currentText();
  const std::string Ansi = ToAnsi(Text);
  Box.setCurrentIndex(-1);
  for (int I = 0; I < Box.count(); ++I)
    if (SameText(ToAnsi(Box.itemText(I)), Ansi)) {
      Box.removeItem(I);
      break;
    }
  Box.insertItem(0, Text);
  while (Box.count() > MaxSearchHistory)
    Box.removeItem(MaxSearchHistory);
  Box.setCurrentIndex(-1);
  Box.setEditText(Text);
}

void SaveSearchHistory(const QComboBox &Box) {
  const int Count = Box.count();
  for (int I = 0; I < Count; ++I)
    WriteSettingString(HistoryKey, ValueName(I), ToAnsi(Box.itemText(I)));
  TRegIniFile Ini(SettingsKey, HKEY_LOCAL_MACHINE);
  for (int I = Count; I < MaxSearchHistory; ++I)
    Ini.DeleteKey(HistoryKey, ValueName(I));
}
