// KorvandelDemoServer: the maker's server and the demo shops on 127.0.0.1,
// one port each, for the demo and the tests.
//
//   KorvandelDemoServer [--port N] [--data DIR] [--log FILE]
//                       [--ports-file FILE] [--hosts-file FILE]
//                       [--shops N] [--shop-pages P] [--shop-offers K] [--follow-ups]
//                       [--delay MS] [--misbehave KEY=MODE]... [--trickle-ms MS]
//                       [--update-fail N]
//
// --port N puts the maker's server on N and the shops on N+1..N+4 (and the
// numbered shops on the ports after them); without it every site gets a free
// port. --ports-file writes "key port" lines and --hosts-file the
// KORVANDEL_HOSTS value once every port listens (each file appears whole, by
// rename). --log appends every request received; the log is the owner's
// alone (0600), as it holds the logon's password and the shops' cookies.
//
// --shops N (0..99) adds the numbered shops shop01..shopNN on
// shopNN.demo.test, where every term finds P pages (--shop-pages, 1..1000,
// default 3) of K offers (--shop-offers, 1..1000, default 10); with
// --follow-ups each offer's stock is on a page of its own.
// --delay MS (0..60000) holds every shop reply (not the maker's) MS ms.
// --misbehave KEY=MODE makes a site misbehave (once per site), for fault tests:
//   silent   reads the request and never answers
//   trickle  sends its reply a byte every --trickle-ms ms (default 1000)
//   reset    sends half its reply, then resets the connection
//   refuse   refuses connections (its port stays bound, not listening)
//   close    accepts each connection and closes it at once, unread
//   huge     carries 5 MiB of filler lines before the end of its page
//   garbage  answers a few KB of binary bytes without a reply header
// --update-fail N (1..3) answers update file N of the update page with a
// server error, so its download fails.
#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "demo/Sites.h"
#include "demo/UpdatesAndBanners.h"
#include "platform/Paths.h"

namespace {

using namespace kvdemo;

std::atomic<bool> Stopping{false};
std::atomic<int> Serving{0};
std::mutex LogLock;
int LogFd = -1;

void OnSignal(int) { Stopping = true; }

enum class TMode { Normal, Silent, Trickle, Reset, Refuse, Close, Huge, Garbage };

const std::map<std::string, TMode> ModeNames{{"silent", TMode::Silent}, {"trickle", TMode::Trickle},
                                             {"reset", TMode::Reset},   {"refuse", TMode::Refuse},
                                             {"close", TMode::Close},
                                             {"huge", TMode::Huge},     {"garbage", TMode::Garbage}};

int DelayMs = 0;
int TrickleMs = 1000;
std::map<const TSite *, TMode> Modes;

TMode ModeOf(const TSite *Site) {
  const auto It = Modes.find(Site);
  return It == Modes.end() ? TMode::Normal : It->second;
}

struct TListener {
  TSite *Site;
  int Fd = -1;
  uint16_t Port = 0;
};

std::vector<TListener> Listeners;

// Refusing sites bind without listening, so connects are refused while the
// port stays theirs; without SO_REUSEADDR nobody else can bind it meanwhile.
int Listen(uint16_t Port, uint16_t &Bound, bool Refusing) {
  const int Fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (Fd < 0)
    return -1;
  const int On = 1;
  if (!Refusing)
    setsockopt(Fd, SOL_SOCKET, SO_REUSEADDR, &On, sizeof On);
  sockaddr_in A{};
  A.sin_family = AF_INET;
  A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  A.sin_port = htons(Port);
  socklen_t Len = sizeof A;
  if (bind(Fd, reinterpret_cast<sockaddr *>(&A), sizeof A) < 0 || (!Refusing && listen(Fd, 64) < 0) ||
      getsockname(Fd, reinterpret_cast<sockaddr *>(&A), &Len) < 0) {
    close(Fd);
    return -1;
  }
  Bound = ntohs(A.sin_port);
  return Fd;
}

// Made 0600 whatever the umask, and an existing log narrowed to it: it holds
// passwords and session cookies.
int OpenLog(const std::string &Path) {
  const int Fd = kv::OpenForSave(Path, O_WRONLY | O_APPEND, 0600);
  if (Fd >= 0 && fchmod(Fd, 0600) != 0) {
    const int Error = errno;
    close(Fd);
    errno = Error;
    return -1;
  }
  return Fd;
}

void LogRequest(const TListener &L, const std::string &Data) {
  if (LogFd < 0)
    return;
  std::string Entry = "--- " + L.Site->Key() + " " + std::to_string(L.Port) + " " + std::to_string(Data.size()) +
                      " bytes\n";
  for (char C : Data)
    Entry += C == '\0' ? std::string("\\0") : std::string(1, C);
  Entry += "\n";
  std::lock_guard<std::mutex> Guard(LogLock);
  for (size_t Done = 0; Done < Entry.size();) {
    const ssize_t N = write(LogFd, Entry.data() + Done, Entry.size() - Done);
    if (N < 0 && errno == EINTR)
      continue;
    if (N <= 0)
      break;
    Done += static_cast<size_t>(N);
  }
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

// Sleeps Ms, in slices so that a stopping server is not held up.
bool Pause(int Ms) {
  const auto Until = std::chrono::steady_clock::now() + std::chrono::milliseconds(Ms);
  while (!Stopping) {
    const auto Left = Until - std::chrono::steady_clock::now();
    if (Left <= std::chrono::milliseconds(0))
      return true;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(Left, std::chrono::milliseconds(50)));
  }
  return false;
}

// True once the client has closed its side (or the connection failed).
bool ClientGone(int Fd) {
  char Byte[512];
  if (!WaitReadable(Fd, 0))
    return false;
  return recv(Fd, Byte, sizeof Byte, MSG_DONTWAIT) <= 0;
}

// Sends without blocking past a stop; false when the client went away.
bool SendAll(int Fd, const char *Data, size_t Size) {
  for (size_t Sent = 0; Sent < Size;) {
    if (Stopping)
      return false;
    pollfd P{Fd, POLLOUT, 0};
    if (poll(&P, 1, 250) <= 0)
      continue;
    const ssize_t N = send(Fd, Data + Sent, Size - Sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (N < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
      continue;
    if (N <= 0)
      return false;
    Sent += static_cast<size_t>(N);
  }
  return true;
}

// 5 MiB of lines that no page reader takes for data, before the page's last
// line ("end", or the end of an HTML body).
std::string WithFiller(const std::string &Body) {
  std::string Filler;
  const std::string Line = "x " + std::string(1020, 'x') + "\r\n";
  Filler.reserve(5u << 20);
  while (Filler.size() < (5u << 20))
    Filler += Line;
  size_t At = Body.size();
  if (Body.size() >= 5 && Body.compare(Body.size() - 5, 5, "end\r\n") == 0)
    At = Body.size() - 5;
  else if (const size_t Html = Body.rfind("</body>"); Html != std::string::npos)
    At = Html;
  return Body.substr(0, At) + Filler + Body.substr(At);
}

// Bytes no site library can read: no reply header, zero bytes and 0xFF among them.
std::string Garbage() {
  std::string G(4096, '\0');
  uint32_t X = 2463534242u;
  for (size_t I = 0; I < G.size(); ++I) {
    X ^= X << 13;
    X ^= X >> 17;
    X ^= X << 5;
    G[I] = static_cast<char>(I % 64 == 0 ? 0xFF : I % 64 == 1 ? 0 : X & 0xFF);
  }
  return G;
}

void Serve(const TListener &L, int Fd) {
  if (ModeOf(L.Site) == TMode::Close) {
    close(Fd);
    return;
  }
  std::string Data;
  TRequest Request;
  bool Complete = false;
  char Buffer[16384];
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (!Complete && !Stopping && Data.size() < (1u << 20) && std::chrono::steady_clock::now() < Deadline) {
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
  std::string Text;
  if (Complete) {
    TSite *Site = SiteFor(L, Request);
    const TMode Mode = ModeOf(Site);
    if (Mode == TMode::Silent) {
      while (!Stopping && !ClientGone(Fd))
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      close(Fd);
      return;
    }
    if (Mode == TMode::Garbage) {
      Text = Garbage();
    } else {
      TReply Reply = Site->Serve(Request);
      if (Mode == TMode::Huge)
        Reply.Body = WithFiller(Reply.Body);
      Text = Reply.Text();
    }
    if (Site->Key() != "maker" && DelayMs > 0 && !Pause(DelayMs)) {
      close(Fd);
      return;
    }
    if (Mode == TMode::Trickle) {
      for (size_t I = 0; I < Text.size(); ++I)
        if ((I > 0 && !Pause(TrickleMs)) || ClientGone(Fd) || !SendAll(Fd, Text.data() + I, 1))
          break;
    } else if (Mode == TMode::Reset) {
      SendAll(Fd, Text.data(), Text.size() / 2);
      // Let the half leave first: a reset drops whatever is still queued.
      int Queued = 0;
      for (int Wait = 0; Wait < 100 && ioctl(Fd, SIOCOUTQ, &Queued) == 0 && Queued > 0; ++Wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      const linger Abort{1, 0};
      setsockopt(Fd, SOL_SOCKET, SO_LINGER, &Abort, sizeof Abort);
      close(Fd);
      return;
    } else {
      SendAll(Fd, Text.data(), Text.size());
    }
  }
  // Close our side, then read until the client goes: unread bytes at close
  // would turn the end of the reply into a reset.
  shutdown(Fd, SHUT_WR);
  const auto Linger = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!Stopping && std::chrono::steady_clock::now() < Linger && WaitReadable(Fd, 250))
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
               "[--hosts-file FILE] [--shops N] [--shop-pages P] [--shop-offers K] [--follow-ups] "
               "[--delay MS] [--misbehave KEY=MODE]... [--trickle-ms MS] [--update-fail N]\n";
  return 2;
}

// A whole number within Low..High, else false.
bool Whole(const std::string &Text, int Low, int High, int &Value) {
  Value = WholeNumber(Text, -1);
  return Value >= Low && Value <= High;
}

}  // namespace

int main(int argc, char **argv) {
  std::string DataDir = ProgramFolder(argv[0]) + "/data", LogPath, PortsFile, HostsFile;
  int FixedPort = 0, ShopCount = 0, ShopPages = 3, ShopOffers = 10;
  bool FollowUps = false;
  std::vector<std::pair<std::string, TMode>> Misbehaving;
  for (int I = 1; I < argc; ++I) {
    const std::string A = argv[I];
    if (A == "--follow-ups") {
      FollowUps = true;
      continue;
    }
    if (I + 1 >= argc)
      return Usage();
    const std::string V = argv[++I];
    if (A == "--port") {
      if (!Whole(V, 1, 65535, FixedPort))
        return Usage();
    } else if (A == "--shops") {
      if (!Whole(V, 0, 99, ShopCount))
        return Usage();
    } else if (A == "--shop-pages") {
      if (!Whole(V, 1, 1000, ShopPages))
        return Usage();
    } else if (A == "--shop-offers") {
      if (!Whole(V, 1, 1000, ShopOffers))
        return Usage();
    } else if (A == "--delay") {
      if (!Whole(V, 0, 60000, DelayMs))
        return Usage();
    } else if (A == "--trickle-ms") {
      if (!Whole(V, 1, 60000, TrickleMs))
        return Usage();
    } else if (A == "--misbehave") {
      const size_t Eq = V.find('=');
      const auto Mode = Eq == std::string::npos ? ModeNames.end() : ModeNames.find(V.substr(Eq + 1));
      if (Mode == ModeNames.end())
        return Usage();
      Misbehaving.emplace_back(V.substr(0, Eq), Mode->second);
    } else if (A == "--update-fail") {
      int Number = 0;
      if (!Whole(V, 1, UpdateFileCount, Number))
        return Usage();
      SetFailingUpdateFile(Number);
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
  for (auto &Shop : MakeNumberedShops(ShopCount, ShopPages, ShopOffers, FollowUps))
    Sites.push_back(std::move(Shop));
  if (FixedPort && FixedPort + Sites.size() - 1 > 65535)
    return Usage();
  for (const auto &[Key, Mode] : Misbehaving) {
    const TSite *Found = nullptr;
    for (const auto &Site : Sites)
      if (Site->Key() == Key)
        Found = Site.get();
    if (!Found) {
      std::cerr << "KorvandelDemoServer: no site " << Key << " to misbehave\n";
      return 2;
    }
    Modes[Found] = Mode;
  }

  if (!LogPath.empty() && (LogFd = OpenLog(LogPath)) < 0) {
    std::cerr << "KorvandelDemoServer: cannot open the log " << LogPath << ": " << std::strerror(errno) << "\n";
    return 1;
  }

  signal(SIGPIPE, SIG_IGN);
  signal(SIGINT, OnSignal);
  signal(SIGTERM, OnSignal);

  std::string Ports, Hosts;
  for (size_t I = 0; I < Sites.size(); ++I) {
    TListener L{Sites[I].get()};
    L.Fd = Listen(FixedPort ? static_cast<uint16_t>(FixedPort + I) : 0, L.Port, ModeOf(L.Site) == TMode::Refuse);
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

  // A refusing site's socket is not watched: it never listens.
  std::vector<pollfd> Watch;
  std::vector<const TListener *> Watched;
  for (const TListener &L : Listeners)
    if (ModeOf(L.Site) != TMode::Refuse) {
      Watch.push_back({L.Fd, POLLIN, 0});
      Watched.push_back(&L);
    }
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
      std::thread([&L = *Watched[I], Fd] {
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
