#include "net/cTambSoc.h"

#include "platform/qt/Messages.h"

namespace kv {

TTambleSocket::TTambleSocket(QObject *Owner) : TMsgSocket(Owner) {
  OnSessionConnected = [this](TMsgSocket *, int) { SessionConnected(); };
  OnSessionClosed = [this](TMsgSocket *, int) { SessionClosed(); };
}

void TTambleSocket::SessionConnected() {
  Busy = true;
  if (Cancelled) {
    Cancel();
    return;
  }
  Response.clear();
  // The request goes with its terminating zero byte, as the servers expect.
  int len = static_cast<int>(Request.size()) + 1;
  SSend(SocketHandle(), Request.c_str(), len);
  ProcessMessages();
}

void TTambleSocket::SessionClosed() {
  Disconnect();
  Busy = false;
  if (OnDone) {
    TNotifyEvent done = OnDone;
    done(this);
  }
}

void TTambleSocket::Cancel() {
  if (!Busy)
    return;
  if (SocketHandle() != -1) {
    try {
      Disconnect();
    } catch (...) {
    }
  }
  Request.clear();
  StartTime = 0;
  Busy = false;
  if (OnDone) {
    TNotifyEvent done = OnDone;
    done(this);
  }
}

}  // namespace kv
