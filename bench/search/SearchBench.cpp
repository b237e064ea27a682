// The search engine over numbered demo shops on loopback beside curl
// fetching the very same pages with the same number of connections.
// Prints both wall times and their ratio for every round and as medians, the
// client's CPU time per 1,000 offers and heap growth per offer, the rows and
// the requests the server saw, and the round trip of one page, from which the ideal time of each
// schedule follows.
// Usage: search_bench [rounds] [--hidden] [--huge] [--shops N] [--pages P] [--offers K]
// Defaults: 3 rounds, 32 shops, 5 pages a term, 50 offers a page; with
// --huge the first shop's pages carry 5 MB each. Each round also reports how
// long the window's thread was kept from its loop: the longest gap between
// ticks of a 10 ms timer during the search. The result
// list is shown (painted offscreen), as the main window shows it during a
// search; with --hidden it is not, so the figures are the engine's alone. The
// engine's clock runs from StartSearch until the search has ended, its last
// rows are published to the list and the list has painted them.
#include <arpa/inet.h>
#include <malloc.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <QApplication>
#include <QTimer>

#include "client/uCatalogue.h"
#include "client/search/uSearch.h"
#include "client/settings/uSettings.h"
#include "components/replistv.h"
#include "platform/StringList.h"
#include "platform/qt/Messages.h"
#include "bench/support/BenchTiming.h"
#include "tests/demo/DemoFixture.h"
#include "tests/support/DemoShops.h"
#include "tests/support/TestEnv.h"

extern char **environ;

namespace {


constexpr int DelayMs = 20, Sockets = 12;
const char *const SearchText = "LM317, NE555, BC547";
const std::vector<std::string> Terms{"LM317", "NE555", "BC547"};

double CpuMs() {
  rusage U{};
  getrusage(RUSAGE_SELF, &U);
  auto Of = [](const timeval &T) { return T.tv_sec * 1000.0 + T.tv_usec / 1000.0; };
  return Of(U.ru_utime) + Of(U.ru_stime);
}

std::string ShopKey(int N) {
  char Key[16];
  std::snprintf(Key, sizeof Key, "shop%02d", N);
  return Key;
}

// Requests the server logged so far; each one starts a "--- <key> " line.
int RequestsLogged(const demotest::TDemoServer &Server) {
  const std::string Log = Server.Log();
  int N = 0;
  for (size_t P = Log.find("--- shop"); P != std::string::npos; P = Log.find("--- shop", P + 1))
    if (P == 0 || Log[P - 1] == '\n')
      ++N;
  return N;
}

// One page over a fresh connection, the time until the server has closed.
// Sent as curl sends it, or as the client does, with a zero byte after the
// request; the sending side stays open either way.
double RoundTrip(int Port, const std::string &Path, bool ZeroByte) {
  const int Fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in A{};
  A.sin_family = AF_INET;
  A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  A.sin_port = htons(static_cast<uint16_t>(Port));
  const auto T0 = Clock::now();
  if (connect(Fd, reinterpret_cast<sockaddr *>(&A), sizeof A) == 0) {
    const std::string Request = "GET " + Path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    send(Fd, Request.data(), Request.size() + (ZeroByte ? 1 : 0), MSG_NOSIGNAL);
    char Buffer[16384];
    pollfd P{Fd, POLLIN, 0};
    while (poll(&P, 1, 10000) > 0 && recv(Fd, Buffer, sizeof Buffer, 0) > 0) {
    }
  }
  const double T = Ms(T0, Clock::now());
  close(Fd);
  return T;
}

struct TCurlRun {
  double WallMs = 0;
  int Ok = 0;  // transfers that got "200"
  int Status = -1;
};

// curl with every URL up front, 12 at a time; each transfer writes its
// status code so a failed page cannot pass unseen. curl's own complaints go
// to Errors. (-s alone leaves the parallel progress meter on.)
TCurlRun RunCurl(const std::string &Config, const std::string &Codes, const std::string &Errors) {
  std::vector<std::string> Args{"curl", "--http1.0", "--parallel", "--parallel-max", std::to_string(Sockets),
                                "-s", "-S", "--no-progress-meter", "-w", "%{http_code}\\n", "-K", Config};
  std::vector<char *> Argv;
  for (std::string &S : Args)
    Argv.push_back(S.data());
  Argv.push_back(nullptr);
  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  posix_spawn_file_actions_addopen(&Actions, 1, Codes.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&Actions, 2, Errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  TCurlRun R;
  pid_t Pid = -1;
  const auto T0 = Clock::now();
  if (posix_spawnp(&Pid, "curl", &Actions, nullptr, Argv.data(), environ) == 0) {
    int Status = 0;
    waitpid(Pid, &Status, 0);
    R.WallMs = Ms(T0, Clock::now());
    R.Status = WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
  }
  posix_spawn_file_actions_destroy(&Actions);
  std::ifstream In(Codes);
  std::string Line;
  while (std::getline(In, Line))
    R.Ok += Line == "200";
  return R;
}

// Bytes the heap has handed out and not taken back.
double HeapInUse() { return static_cast<double>(mallinfo2().uordblks); }

struct TEngineRun {
  double WallMs = 0, CpuMs = 0;
  double HeapBytes = 0;  // heap growth from the start to the end of the search
  int Rows = 0, PartNumbers = 0;  // rows, and distinct part numbers among them
  bool Ended = false;
  double LongestGapMs = 0;  // between ticks of a 10 ms timer
};

}  // namespace

int main(int argc, char **argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  int Rounds = 3, Shops = 32, Pages = 5, Offers = 50;
  bool Shown = true, Huge = false;
  for (int I = 1; I < argc; ++I) {
    const std::string A = argv[I];
    int *Count = A == "--shops" ? &Shops : A == "--pages" ? &Pages : A == "--offers" ? &Offers : nullptr;
    if (A == "--hidden") {
      Shown = false;
    } else if (A == "--huge") {
      Huge = true;
    } else if (Count && I + 1 < argc && std::atoi(argv[I + 1]) > 0) {
      *Count = std::atoi(argv[++I]);
    } else if (!Count && std::atoi(A.c_str()) > 0) {
      Rounds = std::atoi(A.c_str());
    } else {
      std::fprintf(stderr, "usage: search_bench [rounds] [--hidden] [--huge] [--shops N] [--pages P] [--offers K]\n");
      return 2;
    }
  }
  if (Shops > 99) {
    std::fprintf(stderr, "FAIL: the demo server serves at most 99 shops\n");
    return 2;
  }
  const int PagesFetched = Shops * static_cast<int>(Terms.size()) * Pages;
  const int ExpectedRows = PagesFetched * Offers;
  // Before the application, which reads XDG_RUNTIME_DIR.
  kvtest::IsolatedEnv Env;
  QApplication App(argc, argv);

  std::vector<std::string> ServerArgs{"--shops",       std::to_string(Shops),  "--shop-pages",
                                      std::to_string(Pages), "--shop-offers", std::to_string(Offers),
                                      "--delay",       std::to_string(DelayMs)};
  if (Huge)
    ServerArgs.insert(ServerArgs.end(), {"--misbehave", ShopKey(1) + "=huge"});
  demotest::TDemoServer Server(Env.Root(), ServerArgs);
  if (!Server.Started() || Server.Port(ShopKey(Shops)) <= 0) {
    std::fprintf(stderr, "FAIL: the demo server did not start its %d shops\n", Shops);
    return 1;
  }
  kvtest::InstallDemoShops(Env / "cwd", Shops);

  // The same pages curl fetches: every page of every term of every shop.
  const std::string Config = Env / "curl.cfg", Codes = Env / "codes.txt", CurlErrors = Env / "curl.err";
  {
    std::ofstream Out(Config);
    for (int S = 1; S <= Shops; ++S)
      for (const std::string &T : Terms)
        for (int P = 1; P <= Pages; ++P)
          Out << "url = \"http://127.0.0.1:" << Server.Port(ShopKey(S)) << "/find?q=" << T << "&by=pn&page=" << P
              << "\"\noutput = \"/dev/null\"\n";
  }

  setenv("KORVANDEL_HOSTS", Server.Hosts().c_str(), 1);
  WriteSettingString("Advanced", "MaxSockets", std::to_string(Sockets));
  CatalogueLibraryName = std::string(KV_BIN_DIR) + "/libprimary.so";
  if (!BindCatalogue([](int32_t, int32_t, const std::string &) {})) {
    std::fprintf(stderr, "FAIL: %s\n", CatalogueBindError.c_str());
    return 1;
  }
  TWorkingSettings Settings;
  kv::TStringList Features;
  Features.Add("DEMOSHOP");
  LoadSettingsValues(Settings, &Features, ExpectedRows, {});
  // Every offer is to become a row.
  Settings.LimitResults = false;
  Settings.InStockOnly = false;
  const int Enabled = static_cast<int>(std::count(Settings.SiteEnabled.begin(), Settings.SiteEnabled.end(), 1));
  if (Enabled != Shops || Settings.MaxSockets != Sockets) {
    std::fprintf(stderr, "FAIL: %d sites enabled (expected %d), MaxSockets %d\n", Enabled, Shops,
                 Settings.MaxSockets);
    return 1;
  }

  // The result list as the main window sets it up: its columns, owner
  // drawing with sub-item pictures, row height and link cells.
  kv::TReportListView List;
  struct TColumn {
    const char *Caption;
    int Width;
    kv::TAlignment Alignment;
  };
  const TColumn Columns[] = {{"Part Number", 114, kv::taLeftJustify}, {"Description", 160, kv::taLeftJustify},
                             {"Manufacturer", 80, kv::taLeftJustify}, {"Datasheet", 61, kv::taCenter},
                             {"Price", 60, kv::taRightJustify},       {"In Stock", 55, kv::taCenter},
                             {"Quantity", 55, kv::taRightJustify},    {"Supplier", 84, kv::taLeftJustify}};
  for (const TColumn &C : Columns)
    List.AddColumn(C.Caption, C.Width, C.Alignment);
  List.SetOwnerDraw(true);
  List.SetSubImages(true);
  List.SetItemHeight(15);
  List.SetURLShow(true);
  List.SetURLColor(kv::clBlue);
  List.resize(1000, 600);
  if (Shown)
    List.show();

  TEngineRun Current;
  TSearchEvents Events;
  Events.SetStatus = [&](const std::string &Text, bool) {
    if (Text == "Search Complete!")
      Current.Ended = true;
  };
  auto EnginePtr = std::make_unique<TSearchEngine>(Settings, &List, Events);
  TSearchEngine &Engine = *EnginePtr;

  auto RunEngine = [&] {
    // The rows of the last round go before the clock starts.
    Engine.ClearResults();
    App.processEvents();
    Current = TEngineRun{};
    const double HeapStart = HeapInUse();
    const double CpuStart = CpuMs();
    const Clock::time_point Start = Clock::now();
    QTimer Beat;
    Beat.setInterval(10);
    Clock::time_point LastBeat = Start;
    QObject::connect(&Beat, &QTimer::timeout, [&] {
      const Clock::time_point Now = Clock::now();
      Current.LongestGapMs = std::max(Current.LongestGapMs, Ms(LastBeat, Now));
      LastBeat = Now;
    });
    Beat.start();
    Engine.StartSearch(SearchText);
    // A search past the limit is stopped, so curl never shares the server.
    if (!kv::WaitUntil([&] { return !Engine.Searching(); }, 600000)) {
      Engine.btnStopClick();
      kv::WaitUntil([&] { return !Engine.Searching(); }, 60000);
      Current.Ended = false;
    }
    // The search has ended and published its last rows; the clock stops once
    // the list has laid them out and painted (a shown list only).
    Beat.stop();
    App.processEvents();
    if (Shown)
      List.viewport()->repaint();
    Current.WallMs = Ms(Start, Clock::now());
    Current.CpuMs = CpuMs() - CpuStart;
    Current.HeapBytes = HeapInUse() - HeapStart;
    Current.Rows = List.ItemCount();
    std::set<std::string> Seen;
    for (int I = 0; I < Current.Rows; ++I)
      Seen.insert(List.GetCellText(0, I));
    Current.PartNumbers = static_cast<int>(Seen.size());
    return Current;
  };

  std::vector<double> EngineWall, EngineCpu, CurlWall, EngineHeap, EngineGap;
  bool Failed = false;
  std::printf("workload: %d shops x %zu terms x %d pages x %d offers = %d offers on %d pages; delay %d ms; "
              "%d sockets; result list %s%s\n",
              Shops, Terms.size(), Pages, Offers, ExpectedRows, PagesFetched, DelayMs, Sockets,
              Shown ? "shown" : "hidden", Huge ? "; shop01's pages 5 MB each" : "");
  for (int R = 0; R < Rounds; ++R) {
    TEngineRun E;
    TCurlRun C;
    int EngineRequests = 0, CurlRequests = 0;
    // Alternating which goes first evens out any drift of the machine.
    for (int Which = 0; Which < 2; ++Which) {
      const int Before = RequestsLogged(Server);
      if ((Which == 0) == (R % 2 == 0)) {
        E = RunEngine();
        EngineRequests = RequestsLogged(Server) - Before;
      } else {
        C = RunCurl(Config, Codes, CurlErrors);
        CurlRequests = RequestsLogged(Server) - Before;
      }
    }
    std::printf("round %d: engine %8.1f ms, cpu %7.1f ms (%.1f per 1,000 offers), heap %.0f bytes per offer, rows %d, "
                "requests %d, longest gap %.1f ms | curl %8.1f ms, pages ok %d, requests %d | ratio %.2f\n",
                R + 1, E.WallMs, E.CpuMs, E.CpuMs * 1000.0 / ExpectedRows, E.HeapBytes / ExpectedRows, E.Rows,
                EngineRequests, E.LongestGapMs, C.WallMs, C.Ok, CurlRequests, C.WallMs > 0 ? E.WallMs / C.WallMs : 0);
    if (!E.Ended || E.Rows != ExpectedRows || E.PartNumbers != ExpectedRows) {
      std::printf("FAIL: the search %s with %d rows of %d part numbers, expected %d\n",
                  E.Ended ? "ended" : "was stopped at 10 minutes", E.Rows, E.PartNumbers, ExpectedRows);
      Failed = true;
    }
    bool TermsSplit = Engine.SearchTerms.Count() == static_cast<int>(Terms.size());
    for (int I = 0; TermsSplit && I < Engine.SearchTerms.Count(); ++I)
      TermsSplit = Engine.SearchTerms.Get(I) == Terms[static_cast<size_t>(I)];
    if (!TermsSplit) {
      std::printf("FAIL: the engine did not split \"%s\" into the three terms\n", SearchText);
      Failed = true;
    }
    if (C.Status != 0 || C.Ok != PagesFetched) {
      std::printf("FAIL: curl exited with %d, %d of %d pages answered 200\n%s", C.Status, C.Ok, PagesFetched,
                  kvtest::ReadFile(CurlErrors).c_str());
      Failed = true;
    }
    EngineWall.push_back(E.WallMs);
    EngineCpu.push_back(E.CpuMs);
    EngineHeap.push_back(E.HeapBytes);
    EngineGap.push_back(E.LongestGapMs);
    CurlWall.push_back(C.WallMs);
  }

  std::vector<double> CurlLike, ClientLike;
  for (int I = 0; I < 9; ++I) {
    CurlLike.push_back(RoundTrip(Server.Port("shop01"), "/find?q=LM317&by=pn&page=1", false));
    ClientLike.push_back(RoundTrip(Server.Port("shop01"), "/find?q=LM317&by=pn&page=1", true));
  }
  const double CurlTrip = Median(CurlLike), ClientTrip = Median(ClientLike);
  // Engine: each shop's pages of every term one after another on one socket,
  // 12 shops at a time, so ceil(shops/12) shops' worth in a row. curl: every
  // page on its own, 12 at a time.
  const int EngineTrips = (Shops + Sockets - 1) / Sockets * static_cast<int>(Terms.size()) * Pages;
  const int CurlTrips = (PagesFetched + Sockets - 1) / Sockets;

  const double EW = Median(EngineWall), CW = Median(CurlWall), Cpu = Median(EngineCpu);
  const double Ratio = CW > 0 ? EW / CW : 0;
  const double CpuPer1000 = Cpu * 1000.0 / ExpectedRows;
  std::printf("\nmedians of %d rounds\n", Rounds);
  std::printf("engine wall (StartSearch to painted)  %8.1f ms\n", EW);
  std::printf("curl wall                             %8.1f ms\n", CW);
  std::printf("ratio engine/curl                     %8.2f    (target <= 1.20)%s\n", Ratio,
              Ratio <= 1.2 ? "" : "  MISSED");
  std::printf("client cpu                            %8.1f ms = %.1f ms per 1,000 offers (target <= 15)%s\n", Cpu,
              CpuPer1000, CpuPer1000 <= 15 ? "" : "  MISSED");
  std::printf("client heap                           %8.0f bytes per offer (rows, their stores, the list)\n",
              Median(EngineHeap) / ExpectedRows);
  std::printf("longest gap of a 10 ms timer            %8.1f ms (the window's thread kept from its loop)\n",
              Median(EngineGap));
  std::printf("one page's round trip                  %8.1f ms as curl sends, %.1f ms with the zero byte\n", CurlTrip,
              ClientTrip);
  std::printf("ideal: engine %d trips in a row = %.1f ms, curl %d = %.1f ms, ratio %.3f\n", EngineTrips,
              EngineTrips * ClientTrip, CurlTrips, CurlTrips * CurlTrip,
              EngineTrips * ClientTrip / (CurlTrips * CurlTrip));
  EnginePtr.reset();
  UnbindCatalogue();
  return Failed ? 1 : 0;
}
