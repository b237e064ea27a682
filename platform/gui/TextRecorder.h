#pragma once
// A paint device that draws nothing and keeps every run of text painted on
// it: what a widget or a style really draws, with its place and width, read
// back from the painting itself rather than worked out beside it.
#include <QFont>
#include <QPaintDevice>
#include <QRectF>
#include <QSize>
#include <QString>

#include <memory>
#include <vector>

namespace kv {

// Places and widths in device pixels.
struct TTextRun {
  QString Text;
  double Left = 0, Width = 0;
  QFont Font;
  QRectF Clip; // what the painter let show; null: all
};

class TTextRecorder : public QPaintDevice {
public:
  // Size: the area painted on, at the screen's resolution, so text comes out
  // as wide as on screen.
  explicit TTextRecorder(QSize Size);
  ~TTextRecorder() override;
  TTextRecorder(const TTextRecorder &) = delete;
  TTextRecorder &operator=(const TTextRecorder &) = delete;

  // In the order painted.
  const std::vector<TTextRun> &Runs() const;
  // Where pictures were painted, backdrops (filling their clip) left out.
  const std::vector<QRectF> &Pictures() const;
  // The runs that start within [Left, Right), joined.
  QString Text(double Left = -1e9, double Right = 1e9) const;
  // Text shows whole between Left and Right: the runs there read it, and
  // each lies within that span and within its clip, on no picture there.
  bool ShowsWhole(const QString &Text, double Left, double Right) const;
  QPaintEngine *paintEngine() const override;

protected:
  int metric(PaintDeviceMetric Metric) const override;

private:
  class TEngine;
  std::unique_ptr<TEngine> FEngine;
  QSize FSize;
};

}  // namespace kv
