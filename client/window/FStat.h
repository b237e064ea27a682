#pragma once
// The search statistics window: how many sites of the current search are
// complete, active and remaining, the elapsed time and the average time per
// site. Created once at start-up; the search engine's calls move it, and the
// last figures stay until the next search starts.
#include <QDialog>

#include <functional>
#include <string>

#include "platform/DateTime.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

// "hh:nn:ss" of an elapsed time.
std::string FormatElapsed(kv::TDateTime Elapsed);
// The average time per completed site ("1m:15.3s"; the whole time while none
// is complete); "0m:0s" when it cannot be computed.
std::string FormatAverage(double ElapsedSeconds, int Complete);

// A dialog, so Escape and Enter work as in any window with a Close button.
class TfrmStatistics : public QDialog {
  Q_OBJECT
public:
  explicit TfrmStatistics(QWidget *Owner = nullptr);

  QLabel *lblComplete, *lblActive, *lblLeft, *lblElasped, *lblAverage;
  QProgressBar *pbSearch;
  QPushButton *btnClose;
  QTimer *timTime;

  // Bound by the main window: its site-selection test, its animations'
  // repaint, and unchecking its "&Statistics..." item.
  std::function<bool(int Site)> OnSiteEligible;
  std::function<void()> OnRepaintAnimations;
  std::function<void()> OnClose;
  // The clock of the elapsed time (tests set their own).
  std::function<kv::TDateTime()> Clock = [] { return kv::Now(); };

  void FormCreate();
  void FormShow();
  void SetTotal(int N);
  void SetComplete(int N);
  void SetRemaining(int N);
  void UpdateActive(int N);
  void StartStatistics();
  void StopStatistics();
  bool SiteEligible(int Site) const;
  void timTimeTimer();
  void btnCloseClick();
  // Escape and the title bar's close do what Close does.
  void reject() override;

  int Total() const { return FTotal; }
  int Complete() const { return FComplete; }
  int Remaining() const { return FRemaining; }
  int Active() const { return FActive; }
  kv::TDateTime StartTime() const { return FStartTime; }

protected:
  void showEvent(QShowEvent *Event) override;

private:
  void SetBarMaximum(int N);
  void SetBarPosition(int N);
  int FTotal = 0, FComplete = 0, FRemaining = 0, FActive = 0;
  kv::TDateTime FStartTime = 0;
  // Between StartStatistics and StopStatistics.
  bool FTiming = false;
};

extern TfrmStatistics *frmStatistics;
