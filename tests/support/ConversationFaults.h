#pragma once
// The ways an outside server misbehaves, as loopback server scripts, for the
// fault tables of every conversation, and the process's resident memory to
// measure what a conversation kept.
#include <unistd.h>

#include <cstddef>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/Limits.h"
#include "tests/support/LoopbackServer.h"

namespace faulttest {

enum class TFault { Refused, Silent, Trickle, ResetHalfway, EndlessBody, EndlessHeaderLine, Junk };

inline const std::vector<TFault> &AllFaults() {
  static const std::vector<TFault> All = {TFault::Refused,     TFault::Silent,           TFault::Trickle,
                                          TFault::ResetHalfway, TFault::EndlessBody,      TFault::EndlessHeaderLine,
                                          TFault::Junk};
  return All;
}

inline const char *FaultName(TFault F) {
  switch (F) {
  case TFault::Refused: return "Refused";
  case TFault::Silent: return "Silent";
  case TFault::Trickle: return "Trickle";
  case TFault::ResetHalfway: return "ResetHalfway";
  case TFault::EndlessBody: return "EndlessBody";
  case TFault::EndlessHeaderLine: return "EndlessHeaderLine";
  case TFault::Junk: return "Junk";
  }
  return "";
}

// Far more than any cap a test sets: "endless" for the client.
inline constexpr size_t Endless = 256 * kv::MiB;

// Bytes without a status line, zero bytes and line breaks among them.
inline std::string Junk() {
  std::string J;
  for (int I = 0; I < 2048; ++I)
    J += static_cast<char>((I * 37 + 11) % 256);
  return J;
}

// The server's side of Fault after it has read the request's head; Head is
// the status line and headers of a good reply. Refused has no server.
inline kvtest::TServerScript FaultScript(TFault F, const std::string &Head) {
  kvtest::TServerScript S;
  S.ReadUntil("\r\n\r\n");
  switch (F) {
  case TFault::Refused:
  case TFault::Silent: return S.Silence();
  case TFault::Trickle: return S.SendPieces(Head + std::string(4000, 't'), 1, 100);
  case TFault::ResetHalfway: return S.Send(Head + "half a pa").Reset();
  case TFault::EndlessBody: return S.Send(Head).Repeat(std::string(64 * kv::KiB, 'b'), Endless);
  case TFault::EndlessHeaderLine:
    return S.Send("HTTP/1.0 200 OK\r\nX-Filler: ").Repeat(std::string(64 * kv::KiB, 'h'), Endless);
  case TFault::Junk: return S.Send(Junk()).Close();
  }
  return S;
}

// The peer of one fault: a refusing port or a loopback server running its script.
class TFaultPeer {
public:
  TFaultPeer(TFault F, const std::string &Head) : Fault(F) {
    if (F == TFault::Refused)
      FRefused = std::make_unique<kvtest::TRefusedPort>();
    else
      FServer = std::make_unique<kvtest::TLoopbackServer>(FaultScript(F, Head));
  }
  std::string PortText() const { return FServer ? FServer->PortText() : FRefused->PortText(); }
  const TFault Fault;

private:
  std::unique_ptr<kvtest::TLoopbackServer> FServer;
  std::unique_ptr<kvtest::TRefusedPort> FRefused;
};

// The process's resident memory, in bytes.
inline size_t ResidentBytes() {
  std::ifstream In("/proc/self/statm");
  size_t Size = 0, Resident = 0;
  In >> Size >> Resident;
  return Resident * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

// What memory may grow by beyond a cap: a few buffers, or under the address
// sanitizer its quarantine of every buffer a growing reply and its reads
// left behind.
inline size_t MemoryMargin(size_t Cap) {
#if defined(__SANITIZE_ADDRESS__)
  return 6 * Cap + 32 * kv::MiB;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  return 6 * Cap + 32 * kv::MiB;
#endif
#endif
  (void)Cap;
  return 8 * kv::MiB;
}

}  // namespace faulttest
