// KorvandelDemoServer: the maker's server and the demo shops on 127.0.0.1,
// one port each, for the demo and the tests.
//
//   KorvandelDemoServer [--port N] [--data DIR] [--log FILE]
//                       [--ports-file FILE] [--hosts-file FILE]
//
// --port N puts the maker's server on N and the shops on N+1..N+4; without it
// every site gets a free port. --ports-file writes "key port" lines and
// --hosts-file the KORVANDEL_HOSTS value once every port listens (each file
// appears whole, by rename). --log appends every request received.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "demo/Sites.h"

namespace {

using namespace kvdemo;

std::atomic<bool> Stopping{false};
std::atomic<int> Serving{0};
std::mutex LogLock;
std::string LogPath;

void OnSignal(int) { Stopping = true; }

struct TListener {
  TSite *Site;
  int Fd = -1;
  uint16_t Port = 0;
};

std::vector<TListener> Listeners;

int Listen(uint16_t Port, uint16_t &Bound) {
  const int Fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (Fd < 0)
    return -1;
  const int On = 1;
  setsockopt(Fd, SOL_SOCKET, SO_REUSEADDR, &On, sizeof On);
  sockaddr_in A{};
  A.sin_family = AF_INET;
  A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  A.sin_port = htons(Port);
  socklen_t Len = sizeof A;
  if (bind(Fd, reinterpret_cast<sockaddr *>(&A), sizeof A) < 0 || listen(Fd, 64) < 0 ||
      getsockname(Fd, reinterpret_cast<sockaddr *>(&A), &Len) < 0) {
    close(Fd);
    return -1;
  }
  Bound = ntohs(A.sin_port);
  return Fd;
}

void LogRequest(const TListener &L, const std::string &Data) {
  if (LogPath.empty())
    return;
  std::string Shown;
  for (char C : Data)
    Shown += C == '\0' ? std::string("\\0") : std::string(1, C);
  std::lock_guard<std::mutex> Guard(LogLock);
  std::ofstream Out(LogPath, std::ios::binary | std::ios::app);
  Out << "--- " << L.Site->Key() << " " << L.Port << " " << Data.size() << " bytes\n" << Shown << "\n";
}

bool WaitReadable(int Fd, int Ms) {
  pollfd P{Fd, POLLIN, 0};
  return poll(&P, 1, Ms) > 0;
}

// A request for another demo host in the absolute form goes to that host,
// so any port also serves as a proxy to the demo sites.
TSite *SiteFor(const TListener &L, const TRequest &R) {
  if (R.Raw.compare(0, R.Method.size() + 8, R.Method + " http://") != 0 &&
      R.Raw.compare(0, R.Method.size() + 8, R.Method + " HTTP://") != 0)
    return L.Site;
  for (const TListener &Other : Listeners)
    if (UpperCase(Other.Site->Host()) == UpperCase(R.Host))
      return Other.Site;
  return L.Site;
}

void Serve(const TListener &L, int Fd) {
  std::string Data;
  TRequest Request;
  bool Complete = false;
  char Buffer[16384];
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (!Complete && Data.size() < (1u << 20) && std::chrono::steady_clock::now() < Deadline) {
    if (!WaitReadable(Fd, 250))
      continue;
    const ssize_t N = recv(Fd, Buffer, sizeof Buffer, 0);
    if (N <= 0)
      break;
    Data.append(Buffer, static_cast<size_t>(N));
    Complete = ParseRequest(Data, Request);
  }
  // The client ends its request with a line end and a zero byte after the
  // header or body; take what is already on its way so the close stays clean.
  while (WaitReadable(Fd, 20)) {
    const ssize_t N = recv(Fd, Buffer, sizeof Buffer, 0);
    if (N <= 0)
      break;
    Data.append(Buffer, static_cast<size_t>(N));
  }
  LogRequest(L, Data);
  // A connection that never completes its request is closed without a word,
  // as a web server drops an idle client.
  const std::string Text = Complete ? SiteFor(L, Request)->Serve(Request).Text() : "";
  for (size_t Sent = 0; Sent < Text.size();) {
    const ssize_t N = send(Fd, Text.data() + Sent, Text.size() - Sent, MSG_NOSIGNAL);
    if (N <= 0)
      break;
    Sent += static_cast<size_t>(N);
  }
  // Close our side, then read until the client goes: unread bytes at close
  // would turn the end of the reply into a reset.
  shutdown(Fd, SHUT_WR);
  const auto Linger = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < Linger && WaitReadable(Fd, 250))
    if (recv(Fd, Buffer, sizeof Buffer, 0) <= 0)
      break;
  close(Fd);
}

bool WriteWhole(const std::string &Path, const std::string &Text) {
  const std::string Temp = Path + ".tmp";
  {
    std::ofstream Out(Temp, std::ios::binary | std::ios::trunc);
    Out << Text;
    if (!Out)
      return false;
  }
  return std::rename(Temp.c_str(), Path.c_str()) == 0;
}

std::string ProgramFolder(const char *Argv0) {
  char Path[4096];
  const ssize_t N = readlink("/proc/self/exe", Path, sizeof Path - 1);
  std::string P = N > 0 ? std::string(Path, static_cast<size_t>(N)) : std::string(Argv0);
  const size_t Slash = P.rfind('/');
  return Slash == std::string::npos ? "." : P.substr(0, Slash);
}

int Usage() {
  std::cerr << "usage: KorvandelDemoServer [--port N] [--data DIR] [--log FILE] [--ports-file FILE] "
               "[--hosts-file FILE]\n";
  return 2;
}

}  // namespace

int main(int argc, char **argv) {
  std::string DataDir = ProgramFolder(argv[0]) + "/data", PortsFile, HostsFile;
  int FixedPort = 0;
  for (int I = 1; I < argc; ++I) {
    const std::string A = argv[I];
    if (I + 1 >= argc)
      return Usage();
    const std::string V = argv[++I];
    if (A == "--port") {
      FixedPort = std::atoi(V.c_str());
      if (FixedPort <= 0 || FixedPort > 65535 - 4)
        return Usage();
    } else if (A == "--data")
      DataDir = V;
    else if (A == "--log")
      LogPath = V;
    else if (A == "--ports-file")
      PortsFile = V;
    else if (A == "--hosts-file")
      HostsFile = V;
    else
      return Usage();
  }

  std::vector<TOffer> Catalogue;
  std::vector<std::unique_ptr<TSite>> Sites;
  try {
    Catalogue = LoadCatalogue(DataDir + "/catalogue.csv");
    Sites.push_back(MakeMakerServer(DataDir + "/customers.txt"));
  } catch (const std::exception &E) {
    std::cerr << "KorvandelDemoServer: " << E.what() << "\n";
    return 1;
  }
  for (auto &Shop : MakeShops(Catalogue))
    Sites.push_back(std::move(Shop));

  signal(SIGPIPE, SIG_IGN);
  signal(SIGINT, OnSignal);
  signal(SIGTERM, OnSignal);

  std::string Ports, Hosts;
  for (size_t I = 0; I < Sites.size(); ++I) {
    TListener L{Sites[I].get()};
    L.Fd = Listen(FixedPort ? static_cast<uint16_t>(FixedPort + I) : 0, L.Port);
    if (L.Fd < 0) {
      std::cerr << "KorvandelDemoServer: cannot listen for " << L.Site->Key() << ": " << std::strerror(errno) << "\n";
      return 1;
    }
    Ports += L.Site->Key() + " " + std::to_string(L.Port) + "\n";
    Hosts += (I ? "," : "") + L.Site->Host() + "=127.0.0.1:" + std::to_string(L.Port);
    Listeners.push_back(L);
  }
  if ((!PortsFile.empty() && !WriteWhole(PortsFile, Ports)) ||
      (!HostsFile.empty() && !WriteWhole(HostsFile, Hosts + "\n"))) {
    std::cerr << "KorvandelDemoServer: cannot write the ports or hosts file\n";
    return 1;
  }
  std::cout << "KORVANDEL_SERVER=127.0.0.1:" << Listeners[0].Port << "\nKORVANDEL_HOSTS=" << Hosts << std::endl;

  std::vector<pollfd> Watch;
  for (const TListener &L : Listeners)
    Watch.push_back({L.Fd, POLLIN, 0});
  while (!Stopping) {
    if (poll(Watch.data(), Watch.size(), 250) <= 0)
      continue;
    for (size_t I = 0; I < Watch.size(); ++I) {
      if (!(Watch[I].revents & POLLIN))
        continue;
      const int Fd = accept4(Watch[I].fd, nullptr, nullptr, SOCK_CLOEXEC);
      if (Fd < 0)
        continue;
      ++Serving;
      std::thread([&L = Listeners[I], Fd] {
        Serve(L, Fd);
        --Serving;
      }).detach();
    }
  }
  for (const TListener &L : Listeners)
    close(L.Fd);
  for (int Wait = 0; Serving > 0 && Wait < 100; ++Wait)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return 0;
}
