#include "LoopbackServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace kvtest {

namespace {

using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point T) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - T).count();
}

int BindLoopback(uint16_t &Port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0)
    throw std::runtime_error("socket failed");
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
    ::close(fd);
    throw std::runtime_error("bind failed");
  }
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
  Port = ntohs(a.sin_port);
  return fd;
}

}  // namespace

TServerScript &TServerScript::ReadUntil(const std::string &Marker, int TimeoutMs) {
  Steps.push_back({TKind::ReadUntil, Marker, 0, TimeoutMs});
  return *this;
}
TServerScript &TServerScript::Send(const std::string &Data) {
  Steps.push_back({TKind::Send, Data, 0, 0});
  return *this;
}
TServerScript &TServerScript::SendPieces(const std::string &Data, size_t PieceSize, int DelayMs) {
  Steps.push_back({TKind::SendPieces, Data, PieceSize ? PieceSize : 1, DelayMs});
  return *this;
}
TServerScript &TServerScript::Repeat(const std::string &Data, size_t Total) {
  Steps.push_back({TKind::Repeat, Data, Total, 0});
  return *this;
}
TServerScript &TServerScript::Delay(int Ms) {
  Steps.push_back({TKind::Delay, {}, 0, Ms});
  return *this;
}
TServerScript &TServerScript::Close() {
  Steps.push_back({TKind::Close, {}, 0, 0});
  return *this;
}
TServerScript &TServerScript::Reset() {
  Steps.push_back({TKind::Reset, {}, 0, 0});
  return *this;
}
TServerScript &TServerScript::Silence() {
  Steps.push_back({TKind::Silence, {}, 0, 0});
  return *this;
}

TServerScript HttpReply(const std::string &Reply) {
  return TServerScript().ReadUntil("\r\n\r\n").Send(Reply).Close();
}

struct TLoopbackServer::TConnection {
  int Fd = -1;
  std::string Data;
  bool Finished = false;
  bool PeerClosed = false;
  std::thread Worker;
};

TLoopbackServer::TLoopbackServer(TServerScript Default) : FDefault(std::move(Default)) {
  FListen = BindLoopback(FPort);
  if (::listen(FListen, 64) != 0)
    throw std::runtime_error("listen failed");
  FAcceptor = std::thread([this] { AcceptLoop(); });
}

TLoopbackServer::~TLoopbackServer() {
  FStop = true;
  FAcceptor.join();
  ::close(FListen);
  for (auto &c : FConnections)
    if (c->Worker.joinable())
      c->Worker.join();
}

void TLoopbackServer::Queue(TServerScript Script) {
  std::lock_guard<std::mutex> g(FLock);
  FQueue.push_back(std::move(Script));
}

int TLoopbackServer::Connections() const {
  std::lock_guard<std::mutex> g(FLock);
  return static_cast<int>(FConnections.size());
}

std::string TLoopbackServer::Received(int Index) const {
  std::lock_guard<std::mutex> g(FLock);
  if (Index < 0 || Index >= static_cast<int>(FConnections.size()))
    return std::string();
  return FConnections[static_cast<size_t>(Index)]->Data;
}

bool TLoopbackServer::Finished(int Index) const {
  std::lock_guard<std::mutex> g(FLock);
  return Index >= 0 && Index < static_cast<int>(FConnections.size()) &&
         FConnections[static_cast<size_t>(Index)]->Finished;
}

bool TLoopbackServer::PeerClosed(int Index) const {
  std::lock_guard<std::mutex> g(FLock);
  return Index >= 0 && Index < static_cast<int>(FConnections.size()) &&
         FConnections[static_cast<size_t>(Index)]->PeerClosed;
}

void TLoopbackServer::AcceptLoop() {
  while (!FStop) {
    pollfd p{FListen, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0)
      continue;
    const int fd = ::accept4(FListen, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
      continue;
    std::lock_guard<std::mutex> g(FLock);
    auto c = std::make_unique<TConnection>();
    c->Fd = fd;
    TServerScript script = FNextScript < FQueue.size() ? FQueue[FNextScript++] : FDefault;
    TConnection *raw = c.get();
    FConnections.push_back(std::move(c));
    raw->Worker = std::thread([this, raw, script] { Serve(raw, script); });
  }
}

void TLoopbackServer::Serve(TConnection *C, TServerScript Script) {
  const int fd = C->Fd;
  bool peerGone = false;
  size_t searchFrom = 0;

  // Records whatever is there within WaitMs; false once the peer has gone.
  auto pump = [&](int WaitMs) {
    if (peerGone)
      return false;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, WaitMs) <= 0)
      return true;
    char buf[65536];
    const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
    if (n > 0) {
      std::lock_guard<std::mutex> g(FLock);
      C->Data.append(buf, static_cast<size_t>(n));
      return true;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
      return true;
    peerGone = true;
    std::lock_guard<std::mutex> g(FLock);
    C->PeerClosed = true;
    return false;
  };
  auto sendAll = [&](const char *Data, size_t Len) {
    size_t sent = 0;
    while (sent < Len && !FStop) {
      pollfd p{fd, POLLOUT, 0};
      if (::poll(&p, 1, 20) <= 0) {
        pump(0);
        continue;
      }
      const ssize_t n = ::send(fd, Data + sent, Len - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0)
        sent += static_cast<size_t>(n);
      else if (n < 0 && errno != EAGAIN && errno != EINTR)
        return false;
      pump(0);
    }
    return sent == Len;
  };
  auto holdUntilPeerGoes = [&](int LimitMs) {
    const auto t0 = Clock::now();
    while (!FStop && pump(20) && (LimitMs < 0 || MsSince(t0) < LimitMs)) {
    }
  };

  bool closed = false;
  for (const auto &step : Script.Steps) {
    if (FStop || closed)
      break;
    switch (step.Kind) {
      case TServerScript::TKind::ReadUntil: {
        const auto t0 = Clock::now();
        for (;;) {
          {
            std::lock_guard<std::mutex> g(FLock);
            const size_t at = C->Data.find(step.Data, searchFrom);
            if (at != std::string::npos) {
              searchFrom = at + step.Data.size();
              break;
            }
          }
          if (FStop || !pump(20) || MsSince(t0) >= step.Ms)
            break;
        }
        break;
      }
      case TServerScript::TKind::Send:
        sendAll(step.Data.data(), step.Data.size());
        break;
      case TServerScript::TKind::SendPieces:
        for (size_t at = 0; at < step.Data.size() && !FStop; at += step.PieceSize) {
          if (at > 0) {
            const auto t0 = Clock::now();
            while (MsSince(t0) < step.Ms && !FStop)
              if (!pump(5))
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
          }
          sendAll(step.Data.data() + at, std::min(step.PieceSize, step.Data.size() - at));
        }
        break;
      case TServerScript::TKind::Repeat:
        for (size_t at = 0; at < step.PieceSize && !FStop && !step.Data.empty(); at += step.Data.size())
          if (!sendAll(step.Data.data(), std::min(step.Data.size(), step.PieceSize - at)))
            break;
        break;
      case TServerScript::TKind::Delay: {
        const auto t0 = Clock::now();
        while (MsSince(t0) < step.Ms && !FStop)
          if (!pump(5))
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        break;
      }
      case TServerScript::TKind::Close:
        ::shutdown(fd, SHUT_WR);
        holdUntilPeerGoes(10000);
        closed = true;
        break;
      case TServerScript::TKind::Reset: {
        ::linger l{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        closed = true;
        break;
      }
      case TServerScript::TKind::Silence:
        holdUntilPeerGoes(-1);
        closed = true;
        break;
    }
  }
  if (!closed) {
    ::shutdown(fd, SHUT_WR);
    holdUntilPeerGoes(10000);
  }
  ::close(fd);
  std::lock_guard<std::mutex> g(FLock);
  C->Finished = true;
}

TRefusedPort::TRefusedPort() { FFd = BindLoopback(FPort); }

TRefusedPort::~TRefusedPort() { ::close(FFd); }

uint16_t FreeLoopbackPort() {
  uint16_t port = 0;
  const int fd = BindLoopback(port);
  ::close(fd);
  return port;
}

}  // namespace kvtest
