#include "client/window/FStat.h"

TfrmStatistics *frmStatistics = nullptr;

TfrmStatistics::TfrmStatistics(QWidget *Owner) : QWidget(Owner, Qt::Tool) {
  setObjectName("frmStatistics");
  setWindowTitle("Statistics");
}
