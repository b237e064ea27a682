#pragma once
// Shared pieces of the server conversation tests: the maker's server name
// pointed at a local port, and the toolbar as a conversation left it.
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "client/server/uServer.h"

namespace servertest {

// The head of the maker's server's pages.
inline const std::string Ok = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n";

// The maker's server on this machine, at the port of a loopback server or of
// a refused port.
template <class TPort>
void PointAt(const TPort &Port) {
  setenv("KORVANDEL_SERVER", ("127.0.0.1:" + Port.PortText()).c_str(), 1);
}

// Find, Clear and Shortages on, by the last switch of each (Buttons holds
// every switch in order: index and on or off).
inline bool ButtonsEnabledAtEnd(const std::vector<std::pair<int, bool>> &Buttons) {
  bool On[7] = {};
  for (auto [I, Enabled] : Buttons)
    On[I] = Enabled;
  return !Buttons.empty() && On[ButtonFind] && On[ButtonClear] && On[ButtonShortages];
}

}  // namespace servertest
