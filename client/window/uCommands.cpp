#include "client/window/uCommands.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QCursor>
#include <QFileDialog>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QResizeEvent>
#include <QTimer>

#include <algorithm>

#include "client/search/uItemStore.h"
#include "client/server/uServer.h"
#include "client/uTextUtils.h"
#include "client/window/uFindDialog.h"
#include "client/window/uFontFit.h"
#include "client/window/uHoverHint.h"
#include "client/window/uListPictures.h"
#include "client/window/uPartNumbers.h"
#include "client/window/uSearchHistory.h"
#include "client/window/uproof.h"
#include "common/Common.h"
#include "components/replistv.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"
#include "platform/qt/Codepage.h"

using namespace kv;

namespace {

constexpr int DatasheetColumn = 3;
constexpr int DatasheetWidth = 20;
constexpr int StockSubItem = 4;
constexpr int SupplierSubItem = 6;
constexpr int HiddenLeft = -500;

// The first icon of a program file: a picture file is its own icon; a
// program of this system carries none.
QIcon ProgramIcon(const std::string &FileName) {
  const std::string Path = ResolvePath(FileName);
  if (!FileExists(Path))
    return QIcon();
  const QPixmap Picture(QString::fromLocal8Bit(Path.c_str()));
  return Picture.isNull() ? QIcon() : QIcon(Picture);
}

void ReplaceImage(TImageList &List, int Index, const QIcon &Icon) {
  List.Delete(Index);
  List.Insert(Index, Icon.pixmap(List.Width(), List.Height()));
}

}  // namespace

std::string ResultsFrameAddress(const std::string &URL) {
  return "http://" + ServerHost() + "/kv_client/results_frameset.asp?url=" + HTTPEncode(URL);
}

std::array<int, 8> ColumnWidths(int FormWidth, int ClientWidth, const std::array<int, 8> &Least) {
  const int W = ClientWidth;
  std::array<int, 8> Widths = FormWidth < 640
                                  ? std::array<int, 8>{115, 160, 80, 75, 60, 55, 55, 83}
                                  : std::array<int, 8>{W * 5 / 27, W * 2 / 9, W / 7, 75, 60, 55, 55, 0};
  int Used = 0;
  for (size_t C = 0; C < 7; ++C) {
    Widths[C] = std::max(Widths[C], Least[C]);
    Used += Widths[C];
  }
  // The last column takes what is left of a proportional layout.
  if (FormWidth >= 640)
    Widths[7] = W - Used;
  Widths[7] = std::max(Widths[7], Least[7]);
  return Widths;
}

TCommands::TCommands(TCommandControls Controls, TCommandEvents Events, QObject *Owner)
    : QObject(Owner), FControls(Controls), FEvents(std::move(Events)) {
  for (QComboBox *Box : {FControls.editSearch, FControls.cboSearchType, FControls.cboFilter}) {
    if (!Box)
      continue;
    Box->installEventFilter(this);
    if (Box->lineEdit())
      Box->lineEdit()->installEventFilter(this);
  }
  // The datasheet column goes back to a width narrower than the header's
  // own minimum.
  if (FControls.List) {
    FControls.List->header()->setMinimumSectionSize(
        std::min(FControls.List->header()->minimumSectionSize(), DatasheetWidth));
    // The room the columns fill changes without the window: the vertical
    // scroll bar comes and goes with the rows.
    FControls.List->viewport()->installEventFilter(this);
  }
  if (FControls.lblSearchFor) {
    FControls.lblSearchFor->setMouseTracking(true);
    FControls.lblSearchFor->installEventFilter(this);
  }
}

TCommands::~TCommands() = default;

bool TCommands::eventFilter(QObject *Watched, QEvent *Event) {
  if (Event->type() == QEvent::KeyPress) {
    const int Key = static_cast<QKeyEvent *>(Event)->key();
    if ((Key == Qt::Key_Return || Key == Qt::Key_Enter) && editSearchKeyPress('\r'))
      return true;
  } else if (Event->type() == QEvent::MouseMove && Watched == FControls.lblSearchFor) {
    lblHintMouseMove();
  } else if (Event->type() == QEvent::Resize && FControls.List && FControls.Window &&
             Watched == FControls.List->viewport()) {
    const auto *Resize = static_cast<QResizeEvent *>(Event);
    if (Resize->size().width() != Resize->oldSize().width())
      LayOutColumns(FControls.Window->width());
  }
  return QObject::eventFilter(Watched, Event);
}

const TItemStore *TCommands::SelectedStore(int *Row) const {
  const int Selected = FControls.List->Selected();
  if (Row)
    *Row = Selected;
  return Selected < 0 ? nullptr : static_cast<const TItemStore *>(FControls.List->ItemData(Selected));
}

void TCommands::lstProducts1ColumnClick(int Column) { Sort.lstProducts1ColumnClick(*FControls.List, Column); }

void TCommands::lstProducts1DblClick() {
  int Row = -1;
  const TItemStore *Store = SelectedStore(&Row);
  if (!Store)
    return;
  if (!Store->ProductURL.empty()) {
    if (FEvents.OpenURL)
      FEvents.OpenURL(ResultsFrameAddress(Store->ProductURL));
    return;
  }
  // Copied before the question: its dialog lets messages run, which may
  // clear the list.
  const std::string SiteURL = Store->SiteURL;
  const std::string SiteName = SubItemText(FControls.List->Item(Row), SupplierSubItem);
  if (FEvents.ConfirmGotoSite && FEvents.ConfirmGotoSite(SiteName) && FEvents.OpenURL)
    FEvents.OpenURL(ResultsFrameAddress(SiteURL));
}

void TCommands::mnuEditDatasheetClick() {
  const TItemStore *Store = SelectedStore();
  if (Store && !Store->DatasheetURL.empty() && FEvents.OpenURL)
    FEvents.OpenURL(ResultsFrameAddress(Store->DatasheetURL));
}

void TCommands::lstProducts2ClickURL() { PostMessage(FControls.Handle, WM_LOADDATASHEET); }

void TCommands::mnuCopyClick() {
  const TItemStore *Store = SelectedStore();
  if (!Store)
    return;
  const std::string &URL = Store->ProductURL.empty() ? Store->SiteURL : Store->ProductURL;
  QApplication::clipboard()->setText(FromAnsi(URL));
}

TFindDialog &TCommands::dlgFind() {
  if (!FFind) {
    FFind = std::make_unique<TFindDialog>(FControls.Window);
    FFind->OnFind = [this] { dlgFindFind(); };
  }
  return *FFind;
}

void TCommands::mnuFindClick() {
  TFindDialog &Dialog = dlgFind();
  // What the user types replaces the text the dialog holds.
  Dialog.edtFind->selectAll();
  Dialog.edtFind->setFocus();
  Dialog.show();
  Dialog.raise();
  Dialog.activateWindow();
}

void TCommands::dlgFindFind() {
  TReportListView &List = *FControls.List;
  const std::string Pattern = FindPattern(dlgFind().FindText(), dlgFind().WholeWord());
  if (List.ItemCount() == 0)
    return;
  const int Row = FindNextRow(List, Pattern, List.Selected());
  if (Row < 0)
    return;
  List.SetSelected(Row);
  List.SetItemFocused(Row);
  List.scrollTo(List.model()->index(Row, 0));
}

void TCommands::mnuFileLoadPartNosClick() {
  std::string FileName;
  if (FEvents.ChoosePartNumbersFile) {
    FileName = FEvents.ChoosePartNumbersFile();
  } else {
    QFileDialog Dialog(FControls.Window, "Load Part Numbers");
    Dialog.setObjectName("dlgLoadPartNumbers");
    Dialog.setNameFilters({"Comma Delimited Text File (*.CSV)", "Comma Delimited Text File (*.TXT)"});
    Dialog.setDefaultSuffix("CSV");
    Dialog.setFileMode(QFileDialog::ExistingFile);
    Dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (Dialog.exec() == QDialog::Accepted && !Dialog.selectedFiles().isEmpty())
      FileName = Dialog.selectedFiles().first().toLocal8Bit().toStdString();
  }
  if (FileName.empty())
    return;
  std::string PartNumbers;
  if (!LoadPartNumbersFile(FileName, PartNumbers)) {
    MessageBox("Error Reading File!", ApplicationTitle(), MB_OK | MB_ICONERROR);
    return;
  }
  FControls.editSearch->setEditText(FromAnsi(PartNumbers));
}

void TCommands::LoadSearchHistory() { ::LoadSearchHistory(*FControls.editSearch); }
void TCommands::AddToSearchHistory() { ::AddToSearchHistory(*FControls.editSearch); }
void TCommands::SaveSearchHistory() { ::SaveSearchHistory(*FControls.editSearch); }

bool TCommands::editSearchKeyPress(char Key) {
  if (Key != '\r')
    return false;
  if (FEvents.ButtonEnabled && FEvents.ButtonEnabled(ButtonFind) && FEvents.StartSearch)
    FEvents.StartSearch();
  return true;
}

void TCommands::cboSearchTypeChange() {
  const int SearchType = FControls.cboSearchType->currentIndex();
  if (FEvents.SetSearchType)
    FEvents.SetSearchType(SearchType);
  FControls.cboFilter->setEnabled(SearchType == 0);
}

void TCommands::lstProducts2DrawItemProp(int itemindex, int subitemindex, TOwnerDrawState State, TBrush &Brush,
                                         TFont &Font, const std::string &ItemText) {
  TColor Working;
  if (State & odSelected) {
    Working = FControls.List->SelectionColor();
  } else {
    Working = itemindex % 2 == 0 ? EvenRowColor : clWindow;
    Brush.Color = Working;
  }
  if (subitemindex == -1)
    Font.Style |= fsBold;
  // The stock sign says it all; only "Call" is worth reading.
  if (subitemindex == StockSubItem && UpperCase(ItemText) != "CALL")
    Font.Color = Working;
}

void TCommands::LayOutColumns(int FormWidth) {
  TReportListView &List = *FControls.List;
  const std::array<int, 8> Widths =
      ColumnWidths(FormWidth, List.viewport()->width(), LeastColumnWidths(List));
  for (int C = 0; C < 8; ++C)
    List.SetColumnWidth(C, Widths[static_cast<size_t>(C)]);
}

void TCommands::lstProducts2ColumnSized(int Column) {
  if (Column != DatasheetColumn)
    return;
  FControls.List->SetColumnWidth(DatasheetColumn, DatasheetWidth);
  FControls.List->SetHeaderImage(DatasheetColumn, HeaderImage::Datasheet);
}

void TCommands::timHintShowTimer() {
  FControls.timHintShow->stop();
  if (!Hint)
    return;
  Hint->move(Hint->TargetLeft, Hint->y());
  if (!Hint->isVisible())
    Hint->show();
}

void TCommands::timHintTimer(const QPoint &CursorPos) {
  if (!Hint || !Hint->isVisible() || Hint->x() == HiddenLeft)
    return;
  const TReportListView &List = *FControls.List;
  const QPoint P = List.mapFromGlobal(CursorPos);
  if (P.x() < 0 || P.x() > List.width() || P.y() < 0 || P.y() > List.height())
    HideHoverHint(*Hint);
}

void TCommands::lblHintMouseMove() {
  if (Hint)
    HideHoverHint(*Hint);
}

void TCommands::LoadBrowserIcon() {
  QIcon Icon;
  if (!GetExtensionIcon("HTM", Icon)) {
    std::string Command;
    for (char C : FEvents.GetBrowserCommand ? FEvents.GetBrowserCommand() : std::string())
      if (C != '"')
        Command += C;
    // The program's file name with its three-letter extension.
    const size_t Dot = Command.find('.');
    const size_t Length = (Dot == std::string::npos ? 0 : Dot + 1) + 3;
    Icon = ProgramIcon(Command.substr(0, Length));
  }
  if (Icon.isNull() || !FControls.Pictures)
    return;
  ReplaceImage(FControls.Pictures->ilstSmallIcons, ListImage::RowWithPage, Icon);
  ReplaceImage(FControls.Pictures->ilstLargeIcons, ListImage::RowWithPage, Icon);
}
