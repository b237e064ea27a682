#pragma once
// The search statistics window; its counters come with the search.
#include <QWidget>

class TfrmStatistics : public QWidget {
  Q_OBJECT
public:
  explicit TfrmStatistics(QWidget *Owner = nullptr);
};

extern TfrmStatistics *frmStatistics;
