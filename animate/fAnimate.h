#pragma once
// The server's one form: the animation and the status panel it lends to its
// clients' windows, and the timer that shows (or blinks) the status text.
#include <QLabel>
#include <QTimer>
#include <QWidget>

#include <string>

#include "animate/AviPlayer.h"
#include "platform/gui/ForeignWindow.h"

// The clip's path in the program folder Folder, with or without a trailing "\".
std::string AnimationFileName(const std::string &Folder);

class TfrmAnimate : public QWidget {
public:
  TfrmAnimate();
  ~TfrmAnimate() override;
  QLabel *pnlStatus;
  TAnimate *aniSearch;
  QTimer *timStatus;

  void FormCreate();
  void timStatusTimer();
  // Stores the text and flag; the next tick shows them.
  void DisplayStatus(const std::string &Text, bool Flash);
  // Put the control into the client's window Parent; raise on a handle that
  // names no window. Without X11 the control stays in this hidden form.
  void SetAnimateParent(quintptr Parent);
  void SetStatusParent(quintptr Parent);
  const std::string &StatusText() const { return FStatusText; }
  bool Flash() const { return FFlash; }

private:
  void Lend(QWidget *W, quintptr Parent, QPoint Pos);
  void TakeBack(QWidget *W);
  std::string FStatusText;
  bool FFlash = false;
  kv::TForeignEmbedder FEmbedder;
};
