#include "client/output/FPrintin.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

#include "platform/gui/PlainText.h"
#include "platform/qt/Codepage.h"
#include "platform/qt/Messages.h"

namespace {
constexpr int ClientHeight = 41;
}

TfrmPrinting::TfrmPrinting(const std::string &PrinterName, QWidget *Owner)
    : QDialog(Owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName("frmPrinting");
  setWindowTitle("Printing Search Results");
  setModal(false);
  lblPrint = kv::PlainLabel(this);
  lblPrint->setObjectName("lblPrint");
  FormCreate(PrinterName);
}

void TfrmPrinting::FormCreate(const std::string &PrinterName) {
  lblPrint->setText(kv::FromAnsi("Printing to " + (PrinterName.empty() ? std::string("Local Printer") : PrinterName)));
  FitCaption();
}

void TfrmPrinting::FitCaption() {
  lblPrint->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  lblPrint->move(0, lblPrint->y());
  lblPrint->adjustSize();
  const int Width = lblPrint->width() + 30;
  setFixedSize(Width, ClientHeight);
  lblPrint->setGeometry(0, (ClientHeight - lblPrint->height()) / 2, Width, lblPrint->height());
  lblPrint->setAlignment(Qt::AlignCenter);
  if (QScreen *Screen = QGuiApplication::primaryScreen()) {
    const QRect Area = Screen->geometry();
    move(Area.x() + (Area.width() - Width) / 2, Area.y() + (Area.height() - ClientHeight) / 2);
  }
}

void TfrmPrinting::ShowNow() {
  show();
  kv::ProcessMessages();
  repaint();
}
