#pragma once
// The small progress window: a picture, a text and a progress bar for one of
// three long jobs (stopping the searches, updating the exchange rates,
// starting the searches). Created once at start-up, hidden when not in use.
#include <QWidget>

#include <cstdint>

class QLabel;
class QProgressBar;

class TfrmStop : public QWidget {
  Q_OBJECT
public:
  explicit TfrmStop(QWidget *Owner = nullptr);

  QLabel *imgStop, *imgCurrency, *imgStart;
  QLabel *lblStop, *lblCurrency, *lblStart;
  QProgressBar *pbSearches;

  void FormCreate();
  // Shows the picture and text of Mode (0 to 2), whose text becomes the caption.
  void SetMode(uint8_t Mode);
  uint8_t Mode() const { return FMode; }

private:
  uint8_t FMode = 0;
};

extern TfrmStop *frmStop;
