#pragma once
// TGetOut: can a TCP connection to IPAddr:Port be made within TimeOut
// seconds? The timer runs from the probe's creation; a connection of the
// inner socket sets Connected, the timer's expiry clears it, and either way
// the probe is Done and the connection is closed again.
#include "net/MsgSocket.h"

#include <QObject>

#include <string>

class QTimer;

namespace kv {

class TGetOut : public QObject {
public:
  explicit TGetOut(QObject *Owner = nullptr);
  ~TGetOut() override;
  TGetOut(const TGetOut &) = delete;
  TGetOut &operator=(const TGetOut &) = delete;

  const std::string &IPAddr() const { return FIPAddr; }
  void SetIPAddr(const std::string &Value);
  const std::string &Port() const { return FPort; }
  void SetPort(const std::string &Value);
  int TimeOut() const { return FTimeOut; }
  // Restarts a running timer with the new interval; a timer that is off stays off.
  void SetTimeOut(int Value);

  QTimer *FTimer;
  TMsgSocket *FSockets;
  // Results.
  bool Done = false;
  bool Connected = false;

private:
  void TimerExpired();
  void SocketConnected();
  void SocketError();
  void DisableTimer();
  void DisconnectSocket();

  std::string FIPAddr;
  std::string FPort;
  int FTimeOut = 0;
  bool FTimerEnabled = true;  // a new timer is enabled
};

}  // namespace kv
