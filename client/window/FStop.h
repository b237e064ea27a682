#pragma once
// The small progress window shown while a search stops; its content comes
// with the search.
#include <QWidget>

class TfrmStop : public QWidget {
  Q_OBJECT
public:
  explicit TfrmStop(QWidget *Owner = nullptr);
};

extern TfrmStop *frmStop;
