#pragma once
// What the user does with the main window besides searching: sorting the
// result list by a column, finding a part number, copying a row's address,
// opening a row's page or datasheet, importing part numbers, the search box
// history, Enter in the search bar, the search type, the drawing of rows, the
// column layout, the delayed hover hint and the browser's icon in the list.
// The window owns one TCommands and reaches the rest of itself through
// TCommandEvents.
#include <QObject>
#include <QPointer>

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "client/window/uSortColumns.h"
#include "platform/gui/Graphics.h"
#include "platform/qt/Messages.h"

class QComboBox;
class QLabel;
class QPoint;
class QTimer;
class QWidget;
class TFindDialog;
class TfrmHint;
class TListPictures;
struct TItemStore;
namespace kv {
class TReportListView;
}

// Posted to the window by a click on a link cell: the datasheet opens once
// the click has been handled.
constexpr kv::UINT WM_LOADDATASHEET = kv::WM_USER + 301;

// What the commands need of the window. Unset members do nothing (and answer
// false or empty).
struct TCommandEvents {
  // The one way a page opens.
  std::function<void(const std::string &Address)> OpenURL;
  // Asked before a merchant's own site opens in place of a product page.
  std::function<bool(const std::string &SiteName)> ConfirmGotoSite;
  // The browser's registered command line, "" when none.
  std::function<std::string()> GetBrowserCommand;
  std::function<bool(int Index)> ButtonEnabled;
  // The Find button.
  std::function<void()> StartSearch;
  // The catalogue's SetSearchType, when it is bound.
  std::function<void(int SearchType)> SetSearchType;
  // The file to import part numbers from; "" when the user cancels. Unset:
  // the open dialog "Load Part Numbers".
  std::function<std::string()> ChoosePartNumbersFile;
};

// The window's controls the commands work on.
struct TCommandControls {
  QWidget *Window = nullptr;
  kv::HWND Handle = 0;
  kv::TReportListView *List = nullptr;
  QComboBox *editSearch = nullptr, *cboSearchType = nullptr, *cboFilter = nullptr;
  QLabel *lblSearchFor = nullptr;
  QTimer *timHint = nullptr, *timHintShow = nullptr;
  TListPictures *Pictures = nullptr;
};

// The address that shows URL inside the maker's results frame.
std::string ResultsFrameAddress(const std::string &URL);
// The widths of the eight columns for a window FormWidth wide whose list has
// ClientWidth pixels inside, none narrower than Least gives it.
std::array<int, 8> ColumnWidths(int FormWidth, int ClientWidth, const std::array<int, 8> &Least = {});

class TCommands : public QObject {
public:
  TCommands(TCommandControls Controls, TCommandEvents Events, QObject *Owner = nullptr);
  ~TCommands() override;
  TCommands(const TCommands &) = delete;
  TCommands &operator=(const TCommands &) = delete;

  // The colour of rows with an even index.
  kv::TColor EvenRowColor = kv::clWindow;
  TColumnSort Sort;
  // The hover hint form, once the window made it.
  QPointer<TfrmHint> Hint;

  void lstProducts1ColumnClick(int Column);
  void lstProducts1DblClick();
  void mnuEditDatasheetClick();
  void WMLoadDatasheet() { mnuEditDatasheetClick(); }
  void lstProducts2ClickURL();
  void mnuCopyClick();
  void mnuFindClick();
  void dlgFindFind();
  TFindDialog &dlgFind();
  void mnuFileLoadPartNosClick();
  void LoadSearchHistory();
  void AddToSearchHistory();
  void SaveSearchHistory();
  // A key typed into the search bar; true when it is swallowed.
  bool editSearchKeyPress(char Key);
  void cboSearchTypeChange();
  void lstProducts2DrawItemProp(int itemindex, int subitemindex, kv::TOwnerDrawState State, kv::TBrush &Brush,
                                kv::TFont &Font, const std::string &ItemText);
  // The column widths for a window FormWidth wide, the number columns as
  // wide as the list's font needs.
  void LayOutColumns(int FormWidth);
  void lstProducts2ColumnSized(int Column);
  void timHintShowTimer();
  // CursorPos: the mouse in screen coordinates.
  void timHintTimer(const QPoint &CursorPos);
  void lblHintMouseMove();
  void LoadBrowserIcon();

protected:
  bool eventFilter(QObject *Watched, QEvent *Event) override;

private:
  // The selected row's store; nullptr when no row is selected.
  const TItemStore *SelectedStore(int *Row = nullptr) const;
  TCommandControls FControls;
  TCommandEvents FEvents;
  std::unique_ptr<TFindDialog> FFind;
};
