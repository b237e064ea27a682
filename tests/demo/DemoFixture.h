#pragma once
// The demo server started as a program on free ports in a test's own folder,
// a blocking HTTP client, and the catalogue file read on its own terms.
#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace demotest {

class TDemoServer {
public:
  // Starts the server with its data from the source tree, logging to LogPath,
  // and waits until every port listens.
  TDemoServer(const std::string &Folder);
  // The same with more server arguments ("--shops", "3", "--misbehave", ...).
  TDemoServer(const std::string &Folder, const std::vector<std::string> &ExtraArgs);
  ~TDemoServer();
  TDemoServer(const TDemoServer &) = delete;
  TDemoServer &operator=(const TDemoServer &) = delete;

  bool Started() const { return !FPorts.empty(); }
  // By key ("maker", "tolbrook", "shop03", ...) or by host name.
  int Port(const std::string &KeyOrHost) const;
  const std::string &Hosts() const { return FHosts; }
  std::string Log() const;

private:
  pid_t FPid = -1;
  std::string FLog;
  std::string FHosts;
  std::map<std::string, int> FPorts;
};

// Sends Request and one zero byte, as the client does, and returns the
// whole reply once the server has closed the connection. With EndSending the
// request goes as it is and the sending side is shut after it.
std::string Fetch(int Port, const std::string &Request, bool EndSending = false);
// A plain GET of Path with the lines the client's server requests carry.
std::string Get(int Port, const std::string &Path, const std::string &ExtraLines = "");
// The reply body after the header block.
std::string BodyOf(const std::string &Reply);

struct TCatalogueRow {
  std::string Shop, Sku, PartNumber, Manufacturer, Description, Stock, Quantity;
  std::vector<std::string> Prices;  // the non-empty price columns in order
  std::string Datasheet;
};

// demo/data/catalogue.csv.
const std::vector<TCatalogueRow> &Catalogue();

}  // namespace demotest
