#include "net/cGetOut.h"

#include <QTimer>

#include <climits>

namespace kv {

namespace {
constexpr int DefaultTimerInterval = 1000;
}

TGetOut::TGetOut(QObject *Owner) : QObject(Owner), FTimer(new QTimer(this)), FSockets(new TMsgSocket(this)) {
  FTimer->start(DefaultTimerInterval);
  QObject::connect(FTimer, &QTimer::timeout, this, [this] { TimerExpired(); });
  FSockets->OnSessionConnected = [this](TMsgSocket *, int) { SocketConnected(); };
  FSockets->OnErrorOccurred = [this](TMsgSocket *, int, int, const std::string &) { SocketError(); };
  SetTimeOut(10);
  SetIPAddr("");
  SetPort("");
}

TGetOut::~TGetOut() {
  delete FTimer;
  FTimer = nullptr;
  DisconnectSocket();
  delete FSockets;
  FSockets = nullptr;
}

void TGetOut::SetIPAddr(const std::string &Value) {
  FIPAddr = Value;
  FSockets->IPAddr = Value;
}

void TGetOut::SetPort(const std::string &Value) {
  FPort = Value;
  FSockets->Port = Value;
}

void TGetOut::SetTimeOut(int Value) {
  FTimeOut = Value;
  // An interval of 0 or less stops the timer, as an interval of 0 does.
  const int ms = Value <= 0 ? 0 : Value > INT_MAX / 1000 ? INT_MAX : Value * 1000;
  if (FTimerEnabled && ms > 0)
    FTimer->start(ms);
  else
    FTimer->stop();
}

void TGetOut::DisableTimer() {
  FTimerEnabled = false;
  FTimer->stop();
}

void TGetOut::DisconnectSocket() {
  if (FSockets && FSockets->SocketHandle() != -1)
    FSockets->Disconnect();
}

void TGetOut::TimerExpired() {
  DisableTimer();
  Connected = false;
  Done = true;
  DisconnectSocket();
}

void TGetOut::SocketConnected() {
  DisableTimer();
  Connected = true;
  DisconnectSocket();
  Done = true;
}

void TGetOut::SocketError() { DisconnectSocket(); }

}  // namespace kv
