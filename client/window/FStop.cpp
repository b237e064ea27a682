#include "client/window/FStop.h"

TfrmStop *frmStop = nullptr;

TfrmStop::TfrmStop(QWidget *Owner) : QWidget(Owner, Qt::Dialog) {
  setObjectName("frmStop");
  setWindowTitle("Stopping");
}
