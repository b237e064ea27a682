#pragma once
// TMsgSocket: one outgoing TCP connection over the WinSock layer. Network
// events arrive as messages to the component's own window and become event
// calls on the GUI thread.
#include "platform/qt/Messages.h"
#include "platform/qt/WinSock.h"

#include <QObject>

#include <cstddef>
#include <functional>
#include <string>

namespace kv {

class TMsgSocket;

using TDataAvailable = std::function<void(TMsgSocket *Sender, int Socket)>;
using TDataNeeded = std::function<void(TMsgSocket *Sender, int Socket)>;
using TSessionClosed = std::function<void(TMsgSocket *Sender, int Socket)>;
using TSessionAvailable = std::function<void(TMsgSocket *Sender, int Socket)>;
using TSessionConnected = std::function<void(TMsgSocket *Sender, int Socket)>;
using TErrorOccurred =
    std::function<void(TMsgSocket *Sender, int Socket, int Error, const std::string &Msg)>;

// The text of a WinSock error code; "Not a WinSock error" for any other code.
std::string ErrorText(int Code);

class TMsgSocket : public QObject {
public:
  explicit TMsgSocket(QObject *Owner = nullptr);
  ~TMsgSocket() override;
  TMsgSocket(const TMsgSocket &) = delete;
  TMsgSocket &operator=(const TMsgSocket &) = delete;

  // Opens the connection to IPAddr:Port; the outcome arrives later as
  // OnSessionConnected or OnErrorOccurred. An empty IPAddr or Port, or a host
  // that cannot be resolved, does nothing at all. A Port that is neither a
  // known service nor a number from 0 to 65535 raises EConvertError.
  void SConnect();
  // Sends Len bytes of Buf. What the connection cannot take at once is kept
  // and sent when it becomes writable, so Len (the full count) comes back;
  // negative on failure. Socket -1 returns 0 and leaves Len alone.
  int SSend(int Socket, const char *Buf, int &Len);
  // One receive of at most MaximumReceiveLength bytes, as text up to the first
  // zero byte; empty when nothing is open, nothing has arrived, or the peer
  // has closed. LastReceived counts what it took off the connection, zero
  // bytes and what follows them included.
  std::string GetText();
  size_t LastReceived = 0;
  // Abortive close (the connection is reset); nothing when no socket is open.
  void Disconnect();
  void ReportError(int Socket, const std::string &Where, int Error);

  // -1 while no socket is open.
  int SocketHandle() const { return FSocket; }
  HWND Handle() const { return FWindow.Handle(); }

  bool NonBlocking() const { return FNonBlocking == 1; }
  void SetNonBlocking(bool Value) { FNonBlocking = Value ? 1 : 0; }

  // Published properties.
  int MaximumReceiveLength = 8192;
  std::string IPAddr;
  std::string Port;
  int Timeout = 30;
  TDataAvailable OnDataAvailable;
  TDataNeeded OnDataNeeded;
  TSessionClosed OnSessionClosed;
  TSessionAvailable OnSessionAvailable;
  TSessionConnected OnSessionConnected;
  TErrorOccurred OnErrorOccurred;

protected:
  virtual void WndProc(TMessage &Message);

private:
  void SocketMessage(const TMessage &Message);
  void BlockingTimer();
  void ArmBlockingTimer();
  void DisarmBlockingTimer();
  bool FlushPending();
  void CloseQuietly();

  const ws::servent *FServEnt = nullptr;
  const ws::hostent *FHostEnt = nullptr;
  const ws::protoent *FProtoEnt = nullptr;
  ws::sockaddr_in FSockAddr;
  ws::WSADATA FWSAData;
  int FSocket = -1;
  int FNonBlocking = 1;
  TMessageTarget FWindow;
  bool FTimedOut = false;
  std::string FPending;  // bytes a send could not take yet
};

}  // namespace kv
