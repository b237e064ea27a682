#include "platform/gui/TextRecorder.h"

#include <QGuiApplication>
#include <QPaintEngine>
#include <QPainter>
#include <QScreen>
#include <QTextItem>

#include <climits>

namespace kv {

class TTextRecorder::TEngine : public QPaintEngine {
public:
  // Every feature claimed, so the painter hands text over as text and never
  // emulates anything through paths or images.
  TEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}
  std::vector<TTextRun> Runs;
  std::vector<QRectF> Pictures;

  bool begin(QPaintDevice *) override { return true; }
  bool end() override { return true; }
  void updateState(const QPaintEngineState &) override {}
  Type type() const override { return QPaintEngine::User; }
  void drawPixmap(const QRectF &Target, const QPixmap &, const QRectF &) override { Picture(Target); }
  void drawImage(const QRectF &Target, const QImage &, const QRectF &, Qt::ImageConversionFlags) override {
    Picture(Target);
  }
  void drawTiledPixmap(const QRectF &Target, const QPixmap &, const QPointF &) override { Picture(Target); }
  void drawPath(const QPainterPath &) override {}
  void drawPolygon(const QPointF *, int, PolygonDrawMode) override {}
  void drawPolygon(const QPoint *, int, PolygonDrawMode) override {}
  void drawTextItem(const QPointF &At, const QTextItem &Item) override {
    const QTransform Device = painter()->deviceTransform();
    Runs.push_back({Item.text(), Device.map(At).x(), Item.width() * Device.m11(), Item.font(),
                    painter()->hasClipping() ? Device.mapRect(painter()->clipBoundingRect()) : QRectF()});
  }

private:
  // A picture that fills what the painter lets show is a backdrop: text on
  // it is meant to be.
  void Picture(const QRectF &Target) {
    const QTransform Device = painter()->deviceTransform();
    const QRectF Shown =
        painter()->hasClipping()
            ? Device.mapRect(painter()->clipBoundingRect())
            : QRectF(QPointF(0, 0), QSizeF(painter()->device()->width(), painter()->device()->height()));
    const QRectF Rect = Device.mapRect(Target);
    if (!Rect.contains(Shown))
      Pictures.push_back(Rect);
  }
};

TTextRecorder::TTextRecorder(QSize Size) : FEngine(std::make_unique<TEngine>()), FSize(Size) {}

TTextRecorder::~TTextRecorder() = default;

const std::vector<TTextRun> &TTextRecorder::Runs() const {
  return FEngine->Runs;
}

const std::vector<QRectF> &TTextRecorder::Pictures() const {
  return FEngine->Pictures;
}

QString TTextRecorder::Text(double Left, double Right) const {
  QString Joined;
  for (const TTextRun &Run : FEngine->Runs)
    if (Run.Left >= Left && Run.Left < Right)
      Joined += Run.Text;
  return Joined;
}

bool TTextRecorder::ShowsWhole(const QString &Text, double Left, double Right) const {
  if (this->Text(Left, Right) != Text)
    return false;
  for (const TTextRun &Run : FEngine->Runs) {
    if (Run.Left < Left || Run.Left >= Right)
      continue;
    const double RunRight = Run.Left + Run.Width;
    if (RunRight > Right ||
        (!Run.Clip.isNull() && (Run.Left < Run.Clip.left() || RunRight > Run.Clip.right())))
      return false;
    for (const QRectF &Picture : FEngine->Pictures)
      if (Picture.left() < RunRight && Picture.right() > Run.Left)
        return false;
  }
  return true;
}

QPaintEngine *TTextRecorder::paintEngine() const {
  return FEngine.get();
}

int TTextRecorder::metric(PaintDeviceMetric Metric) const {
  const QScreen *Screen = QGuiApplication::primaryScreen();
  const int DpiX = Screen ? qRound(Screen->logicalDotsPerInchX()) : 96;
  const int DpiY = Screen ? qRound(Screen->logicalDotsPerInchY()) : 96;
  switch (Metric) {
  case PdmWidth:
    return FSize.width();
  case PdmHeight:
    return FSize.height();
  case PdmWidthMM:
    return FSize.width() * 254 / (DpiX * 10);
  case PdmHeightMM:
    return FSize.height() * 254 / (DpiY * 10);
  case PdmDpiX:
  case PdmPhysicalDpiX:
    return DpiX;
  case PdmDpiY:
  case PdmPhysicalDpiY:
    return DpiY;
  case PdmDepth:
    return 32;
  case PdmNumColors:
    return INT_MAX;
  case PdmDevicePixelRatio:
    return 1;
  case PdmDevicePixelRatioScaled:
    return static_cast<int>(devicePixelRatioFScale());
  default:
    return QPaintDevice::metric(Metric);
  }
}

}  // namespace kv
