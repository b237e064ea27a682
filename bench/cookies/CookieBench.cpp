// One shop reply with many Set-Cookie lines into an empty cookie file, from
// 1,250 to 20,000 lines. Storing is linear in the reply: time per line stays
// flat while the file stays within its bounds (50 cookies of one domain).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "net/CookieFile.h"

namespace {

void BM_ParseManySetCookies(benchmark::State &State) {
  const std::filesystem::path Folder =
      std::filesystem::temp_directory_path() / ("cookie_bench." + std::to_string(getpid()));
  std::filesystem::create_directories(Folder);
  setenv("KORVANDEL_WINDIR", Folder.c_str(), 1);
  std::string Reply = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n";
  for (int I = 0; I < State.range(0); ++I)
    Reply += "Set-Cookie: c" + std::to_string(I) + "=" + std::to_string(I) + "\r\n";
  Reply += "\r\n";
  for (auto _ : State) {
    State.PauseTiming();
    std::filesystem::remove(Folder / "COOKIE.TXT");
    State.ResumeTiming();
    kv::ParseSetCookies(Reply, "www.shop.test");
  }
  State.SetComplexityN(State.range(0));
  std::filesystem::remove_all(Folder);
}
BENCHMARK(BM_ParseManySetCookies)->RangeMultiplier(2)->Range(1250, 20000)->Complexity(benchmark::oN)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
