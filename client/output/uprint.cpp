#include "client/output/uprint.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>

#include "components/replistv.h"
#include "platform/SysUtils.h"
#include "platform/qt/Codepage.h"

using namespace kv;

const char *const TfrmPrintProducts::ReportTitle = "Korvandel(tm) Search Results";

namespace {

const QRect LogoRect(976, 0, 224, 55);

TReportLabel Label(int Left, int Top, int Width, int FontSize, bool Bold, const std::string &Caption = "",
                   bool AlignRight = false) {
  return TReportLabel{Left, Top, Width, FontSize, Bold, AlignRight, Caption};
}

// The page header's fixed texts: the title, the criteria caption and the
// column headings, each heading underlined by a rule as long as itself.
const TReportLabel Title = Label(11, 2, 950, 19, true, TfrmPrintProducts::ReportTitle);
const TReportLabel CriteriaCaption = Label(11, 40, 120, 13, false, "Search Criteria:");
constexpr int HeadingTop = 80;
const TReportLabel Headings[] = {
    Label(11, HeadingTop, 170, 13, true, "Part Number"), Label(191, HeadingTop, 270, 13, true, "Description"),
    Label(472, HeadingTop, 120, 13, true, "Manufacturer"), Label(604, HeadingTop, 50, 13, true, "Price"),
    Label(660, HeadingTop, 66, 13, true, "InStock"),       Label(730, HeadingTop, 70, 13, true, "Quantity"),
    Label(804, HeadingTop, 390, 13, true, "Supplier")};

QFont ReportFont(const TReportLabel &L) {
  QFont F("Arial");
  F.setPixelSize(L.FontSize);
  F.setBold(L.Bold);
  return F;
}

// The longest start of Text that fits Width.
QString FitText(const QString &Text, const QFontMetricsF &Metrics, double Width) {
  if (Metrics.horizontalAdvance(Text) <= Width)
    return Text;
  qsizetype Low = 0, High = Text.size();
  while (Low < High) {
    const qsizetype Mid = (Low + High + 1) / 2;
    if (Metrics.horizontalAdvance(Text.left(Mid)) <= Width)
      Low = Mid;
    else
      High = Mid - 1;
  }
  return Text.left(Low);
}

// Returns the width the text took.
double DrawLabel(QPainter &Canvas, const TReportLabel &L, int BandTop) {
  const QFont F = ReportFont(L);
  Canvas.setFont(F);
  const QFontMetricsF Metrics = Canvas.fontMetrics();
  const QString Text = FitText(FromAnsi(L.Caption), Metrics, L.Width);
  const QRectF Box(L.Left, BandTop + L.Top, L.Width, Metrics.height());
  Canvas.drawText(Box, (L.AlignRight ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop | Qt::TextSingleLine, Text);
  return Metrics.horizontalAdvance(Text);
}

}  // namespace

TfrmPrintProducts::TfrmPrintProducts(const TReportListView &List, const std::string &SearchText) : FList(List) {
  qrlblCriteria = Label(0, CriteriaCaption.Top, 0, 13, true);
  qrlblPartNo = Label(11, 1, 176, 11, false);
  qrlblDesc = Label(191, 1, 273, 11, false);
  qrlblManf = Label(472, 1, 119, 11, false);
  qrlblPrice = Label(604, 1, 46, 11, false, "", true);
  qrlblinStock = Label(660, 1, 66, 11, false);
  qrlblQty = Label(730, 1, 70, 11, false);
  qrlblSupplier = Label(804, 1, 396, 11, false);
  FLogo.load(":/client/logo.gif");
  FormCreate(SearchText);
}

void TfrmPrintProducts::FormCreate(const std::string &SearchText) {
  RowCounter = 0;
  qrlblCriteria.Caption = SearchText;
}

bool TfrmPrintProducts::ProductReportNeedData() {
  if (RowCounter >= FList.ItemCount())
    return false;
  const TReportItem &Row = FList.Item(RowCounter);
  qrlblPartNo.Caption = Row.Caption;
  qrlblDesc.Caption = SubItemText(Row, 0);
  qrlblManf.Caption = SubItemText(Row, 1);
  qrlblPrice.Caption = SubItemText(Row, 3);
  qrlblinStock.Caption = SubItemText(Row, 4);
  qrlblQty.Caption = SubItemText(Row, 5);
  qrlblSupplier.Caption = SubItemText(Row, 6);
  ++RowCounter;
  return true;
}

void TfrmPrintProducts::DrawPageHeader(QPainter &Canvas) {
  DrawLabel(Canvas, Title, 0);
  const double CaptionWidth = DrawLabel(Canvas, CriteriaCaption, 0);
  qrlblCriteria.Left = CriteriaCaption.Left + static_cast<int>(CaptionWidth) + 6;
  qrlblCriteria.Width = LogoRect.left() - 10 - qrlblCriteria.Left;
  DrawLabel(Canvas, qrlblCriteria, 0);
  if (!FLogo.isNull())
    Canvas.drawImage(LogoRect, FLogo);
  for (const TReportLabel &H : Headings) {
    const double Width = DrawLabel(Canvas, H, 0);
    const double RuleTop = H.Top + QFontMetricsF(Canvas.font()).height() + 2;
    Canvas.drawLine(QPointF(H.Left, RuleTop), QPointF(H.Left + Width, RuleTop));
  }
}

void TfrmPrintProducts::DrawDetail(QPainter &Canvas, int Top) {
  for (const TReportLabel *L :
       {&qrlblPartNo, &qrlblDesc, &qrlblManf, &qrlblPrice, &qrlblinStock, &qrlblQty, &qrlblSupplier})
    DrawLabel(Canvas, *L, Top);
}

void TfrmPrintProducts::DrawPageFooter(QPainter &Canvas, int Top, int Page) {
  DrawLabel(Canvas, Label(11, 6, 300, 11, false, "Page " + IntToStr(Page)), Top);
}

// Each page is drawn and handed to the printer before the next one starts,
// so a long list never holds more than one page's drawing.
void TfrmPrintProducts::Print(QPrinter &Printer) {
  Printer.setDocName(ReportTitle);
  Printer.setPageOrientation(QPageLayout::Landscape);
  Printer.setFullPage(false);
  QPainter Canvas;
  if (!Canvas.begin(&Printer))
    throw Exception("The printer could not be started");
  const QRect Area = Printer.pageLayout().paintRectPixels(Printer.resolution());
  const double Scale = static_cast<double>(Area.width()) / BandWidth;
  const int PageHeight = static_cast<int>(Area.height() / Scale);
  const int FooterTop = PageHeight - FooterHeight;
  Canvas.scale(Scale, Scale);
  QPen Rule(Qt::black);
  Rule.setWidthF(1);
  Canvas.setPen(Rule);

  PageNumber = 1;
  DrawPageHeader(Canvas);
  int Top = HeaderHeight;
  while (ProductReportNeedData()) {
    if (Top + DetailHeight > FooterTop) {
      DrawPageFooter(Canvas, FooterTop, PageNumber);
      if (!Printer.newPage())
        throw Exception("The printer could not start page " + IntToStr(PageNumber + 1));
      ++PageNumber;
      DrawPageHeader(Canvas);
      Top = HeaderHeight;
    }
    DrawDetail(Canvas, Top);
    Top += DetailHeight;
  }
  DrawPageFooter(Canvas, FooterTop, PageNumber);
  if (!Canvas.end())
    throw Exception("The printer could not finish the report");
}
