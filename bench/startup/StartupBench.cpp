// The catalogue's start-up scan of 200 site libraries (copies of the demo shop
// library in a temporary program folder's "Lib"), without and then with their
// ".TWI" caches, timed from Init to the last progress report, beside 200 bare
// dlopen/dlclose pairs of the same files in the same run.
// Usage: startup_bench [rounds]
// Medians of the rounds (default 5) are reported, with the two ratios to the
// bare loading and whether they meet their targets: below 1 with caches, at
// most 1.5 without. Beside them, the same libraries opened and kept open, as
// the scan leaves them: the part of its cost that is loading.
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/support/BenchTiming.h"
#include "catalogue/primary.h"
#include "tests/support/TestEnv.h"

namespace {

namespace fs = std::filesystem;
using namespace kv::primary;

constexpr int Libraries = 200;
// The loader's flags, as the platform layer loads site libraries.
constexpr int LoadFlags = RTLD_NOW | RTLD_LOCAL;

[[noreturn]] void Fail(const std::string &Why) {
  std::fprintf(stderr, "startup_bench: %s\n", Why.c_str());
  std::exit(1);
}

// What the scan reported.
int Reports = 0;
int LastDone = -1;
Clock::time_point LastReport;
int MessagesShown = 0;

void Progress(int32_t, int32_t Done, const std::string &) {
  LastReport = Clock::now();
  LastDone = Done;
  ++Reports;
}

int Message(const char *Text, const char *, unsigned) {
  std::fprintf(stderr, "startup_bench: the scan said: %s\n", Text);
  ++MessagesShown;
  return 1;
}

std::string LibName(int N) {
  char Name[32];
  std::snprintf(Name, sizeof Name, "Site%03d.TWL", N);
  return Name;
}

// One scan by a fresh copy of libprimary.so (Init runs once per load); the
// copy gives back every site library before it is freed, so the next scan
// starts with none loaded. Milliseconds from Init to the last report.
double Scan(const std::string &Folder, int Round, bool Cached) {
  const std::string Copy = Folder + "/libprimary-" + std::to_string(Round) + (Cached ? "c" : "n") + ".so";
  fs::copy_file(std::string(KV_BIN_DIR) + "/libprimary.so", Copy, fs::copy_options::overwrite_existing);
  void *Primary = dlopen(Copy.c_str(), LoadFlags);
  if (!Primary)
    Fail(dlerror());
  auto Bind = [&](const char *Name) {
    void *P = dlsym(Primary, Name);
    if (!P)
      Fail(std::string("libprimary.so lacks ") + Name);
    return P;
  };
  auto SetHook = reinterpret_cast<TSetMessageBoxHook>(Bind("SetMessageBoxHook"));
  auto Init = reinterpret_cast<TInit>(Bind("Init"));
  auto NumberSites = reinterpret_cast<TGetNumberSites>(Bind("GetNumberSites"));
  auto NumberLoaded = reinterpret_cast<TNumberLoaded>(Bind("NumberLoaded"));
  auto Finished = reinterpret_cast<TSiteFlag>(Bind("FinishedWithSite"));
  SetHook(Message);
  Reports = 0;
  LastDone = -1;
  const Clock::time_point Start = Clock::now();
  Init(Progress);
  const double Took = Ms(Start, LastReport);
  if (Reports != Libraries + 1 || LastDone != Libraries || NumberSites() != Libraries || MessagesShown)
    Fail("the scan did not accept every library");
  for (int Round = 0; Round < 10 && NumberLoaded() > 0; ++Round)
    for (int32_t I = 0; I < NumberSites(); ++I)
      Finished(I);
  dlclose(Primary);
  fs::remove(Copy);
  return Took;
}

// The bare loading: the same libraries opened and closed, one after another.
double LoadAll(const std::string &Folder) {
  const Clock::time_point Start = Clock::now();
  for (int N = 0; N < Libraries; ++N) {
    void *H = dlopen((Folder + "/Lib/" + LibName(N)).c_str(), LoadFlags);
    if (!H)
      Fail(dlerror());
    dlclose(H);
  }
  return Ms(Start, Clock::now());
}

// The loading a scan cannot avoid: it leaves every accepted library loaded,
// so the same libraries opened one after another and kept open; closed again
// after the clock stops.
double LoadAllKept(const std::string &Folder) {
  std::vector<void *> Handles;
  const Clock::time_point Start = Clock::now();
  for (int N = 0; N < Libraries; ++N) {
    void *H = dlopen((Folder + "/Lib/" + LibName(N)).c_str(), LoadFlags);
    if (!H)
      Fail(dlerror());
    Handles.push_back(H);
  }
  const double Took = Ms(Start, Clock::now());
  for (void *H : Handles)
    dlclose(H);
  return Took;
}

void RemoveCaches(const std::string &Folder) {
  for (const auto &E : fs::directory_iterator(Folder + "/Lib"))
    if (E.path().extension() == ".TWI")
      fs::remove(E.path());
}

}  // namespace

int main(int argc, char **argv) {
  const int Rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  kvtest::IsolatedEnv Env;
  const std::string Folder = Env.Root();
  // A program folder as the system installs itself: the runtime and the
  // fetch library beside it, which the libraries find through their RUNPATH.
  for (const char *Beside : {"libTavrel.so", "libFetchlet.so"})
    fs::create_symlink(std::string(KV_BIN_DIR) + "/" + Beside, Folder + "/" + Beside);
  fs::create_directories(Folder + "/Lib");
  for (int N = 0; N < Libraries; ++N)
    fs::copy_file(std::string(KV_BIN_DIR) + "/Lib/DemoShop.TWL", Folder + "/Lib/" + LibName(N));
  if (chdir(Folder.c_str()) != 0)
    Fail("cannot enter " + Folder);
  // The runtime stays loaded throughout, as it does while the client runs, so
  // no pair below pays for loading it again.
  void *Runtime = dlopen((Folder + "/libTavrel.so").c_str(), LoadFlags);
  if (!Runtime)
    Fail(dlerror());

  std::vector<double> Bare, Kept, Fresh, Cached;
  // A warm-up of each, so every figure reads files the system has cached.
  LoadAll(Folder);
  RemoveCaches(Folder);
  Scan(Folder, 0, false);
  for (int Round = 1; Round <= Rounds; ++Round) {
    RemoveCaches(Folder);
    Fresh.push_back(Scan(Folder, Round, false));
    Cached.push_back(Scan(Folder, Round, true));
    Bare.push_back(LoadAll(Folder));
    Kept.push_back(LoadAllKept(Folder));
    std::printf("round %d: without caches %.1f ms, with caches %.1f ms, dlopen/dlclose %.1f ms, dlopen kept %.1f ms\n",
                Round, Fresh.back(), Cached.back(), Bare.back(), Kept.back());
  }
  const double B = Median(Bare), K = Median(Kept), F = Median(Fresh), C = Median(Cached);
  std::printf("\n%d libraries, medians of %d rounds\n", Libraries, Rounds);
  std::printf("  dlopen/dlclose pairs   %8.1f ms  (%.0f us a library)\n", B, B * 1000 / Libraries);
  std::printf("  dlopen, all kept open  %8.1f ms  (%.0f us a library)  ratio %.2f\n", K, K * 1000 / Libraries, K / B);
  std::printf("  scan without caches    %8.1f ms  (%.0f us a library)  ratio %.2f  target <= 1.5  %s\n", F,
              F * 1000 / Libraries, F / B, F / B <= 1.5 ? "met" : "MISSED");
  std::printf("  scan with caches       %8.1f ms  (%.0f us a library)  ratio %.2f  target < 1    %s\n", C,
              C * 1000 / Libraries, C / B, C / B < 1 ? "met" : "MISSED");
  dlclose(Runtime);
  return 0;
}
