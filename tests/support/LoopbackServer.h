#pragma once
// A scripted TCP server on 127.0.0.1 for network tests. It listens on a free
// port, serves every connection in a thread of its own and records all bytes
// it receives, so tests can check what a client sent and how it behaves when
// replies come in pieces, large, late, never, or end in a close or a reset.
// It uses plain POSIX sockets, independent of the layer under test. Queries
// never block: tests pump their own event loop while they wait.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kvtest {

// What the server does on one connection, step by step. After the last step
// the connection is closed gracefully (unless the script reset it or holds it).
class TServerScript {
public:
  // Waits until what arrived since the previous ReadUntil contains Marker
  // (at most TimeoutMs; the script goes on either way).
  TServerScript &ReadUntil(const std::string &Marker, int TimeoutMs = 10000);
  TServerScript &Send(const std::string &Data);
  // Data in pieces of PieceSize bytes, DelayMs apart.
  TServerScript &SendPieces(const std::string &Data, size_t PieceSize, int DelayMs);
  // Data over and over, Total bytes in all or until the peer goes: a reply
  // that never ends, without holding it in memory.
  TServerScript &Repeat(const std::string &Data, size_t Total);
  // Waits, still recording what arrives.
  TServerScript &Delay(int Ms);
  // Graceful close: the server's side ends, then it records until the peer goes.
  TServerScript &Close();
  // Abortive close (SO_LINGER 0): the peer sees a reset.
  TServerScript &Reset();
  // Says nothing more and holds the connection until the peer goes.
  TServerScript &Silence();

  enum class TKind { ReadUntil, Send, SendPieces, Delay, Close, Reset, Silence, Repeat };
  struct TStep {
    TKind Kind;
    std::string Data;
    size_t PieceSize = 0;
    int Ms = 0;
  };
  std::vector<TStep> Steps;
};

// Common scripts.
// Reads an HTTP request head, then answers Reply and closes.
TServerScript HttpReply(const std::string &Reply);

class TLoopbackServer {
public:
  // Connections take the queued scripts in order, then Default.
  explicit TLoopbackServer(TServerScript Default = TServerScript().Silence());
  ~TLoopbackServer();
  TLoopbackServer(const TLoopbackServer &) = delete;
  TLoopbackServer &operator=(const TLoopbackServer &) = delete;

  uint16_t Port() const { return FPort; }
  std::string PortText() const { return std::to_string(FPort); }
  void Queue(TServerScript Script);

  // Connections accepted so far.
  int Connections() const;
  // What connection Index (0-based, in order of acceptance) has received so far.
  std::string Received(int Index) const;
  // Whether connection Index has finished its script and closed.
  bool Finished(int Index) const;
  // Whether connection Index saw its peer close or reset.
  bool PeerClosed(int Index) const;

private:
  struct TConnection;
  void AcceptLoop();
  void Serve(TConnection *C, TServerScript Script);

  int FListen = -1;
  uint16_t FPort = 0;
  std::atomic<bool> FStop{false};
  mutable std::mutex FLock;
  std::vector<TServerScript> FQueue;
  size_t FNextScript = 0;
  TServerScript FDefault;
  std::vector<std::unique_ptr<TConnection>> FConnections;
  std::thread FAcceptor;
};

// A loopback port where a connection is refused: bound, never listening, and
// held for the object's life so no one else takes it.
class TRefusedPort {
public:
  TRefusedPort();
  ~TRefusedPort();
  TRefusedPort(const TRefusedPort &) = delete;
  TRefusedPort &operator=(const TRefusedPort &) = delete;
  uint16_t Port() const { return FPort; }
  std::string PortText() const { return std::to_string(FPort); }

private:
  int FFd = -1;
  uint16_t FPort = 0;
};

// A free loopback port at the time of the call (for peers started as programs).
uint16_t FreeLoopbackPort();

}  // namespace kvtest
