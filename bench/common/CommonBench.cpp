// A shop's result page of 256 KB to 4 MB through the text helpers. Each
// benchmark reports its complexity over the page size. The helpers' own work
// is linear: time per byte stays flat from 256 KB to 4 MB. The one exception
// is the row loop over ChopLineOut: the routine hands the rest of the text
// back in place, so every call moves what is left of the page, and k rows
// cost k times the page whatever the routine does inside.
#include <benchmark/benchmark.h>

#include <string>

#include "common/Common.h"

namespace {

// A page of table rows, each a few cells with tags, entities and blanks.
std::string MakePage(size_t Bytes) {
  static const std::string row =
      "<tr>\r\n  <td class=\"pn\"><a href=\"/p?id=42&amp;s=1\">LM317T</a></td>\r\n"
      "  <td>Regulator&nbsp;1.5A &amp; adjustable</td>\t<td>Price:1,234.56</td>\r\n</tr>\r\n";
  std::string page = "<html><body><table>\r\n";
  while (page.size() < Bytes)
    page += row;
  page += "</table></body></html>";
  return page;
}

void Args(benchmark::internal::Benchmark *B) {
  B->RangeMultiplier(2)->Range(256 << 10, 4 << 20)->Complexity(benchmark::oN)->Unit(benchmark::kMillisecond);
}

// A delimiter near the end of the page: one scan of the whole text.
void BM_GetTextBetweenAtTheEnd(benchmark::State &State) {
  const std::string page = MakePage(static_cast<size_t>(State.range(0)));
  for (auto _ : State)
    benchmark::DoNotOptimize(GetTextBetween(page, "</TABLE>", "</HTML>"));
  State.SetComplexityN(State.range(0));
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations()) * State.range(0));
}
BENCHMARK(BM_GetTextBetweenAtTheEnd)->Apply(Args);

// What a site library does with its page: row by row, cell by cell (see the
// note at the top: this loop grows with rows times page size).
void BM_ChopLineOutRows(benchmark::State &State) {
  const std::string page = MakePage(static_cast<size_t>(State.range(0)));
  for (auto _ : State) {
    std::string rest = page;
    size_t cells = 0;
    for (std::string row; !(row = ChopLineOut(rest, "<TR>", "</TR>")).empty();) {
      cells += GetTextBetween(row, "<td class=\"pn\">", "</td>").size();
      cells += ExtractPriceFromString(row, "Price:").size();
      cells += GetTextNotInBrackets("<", ">", ChopLineOutNotTags(row, "<td>", "</td>")).size();
    }
    benchmark::DoNotOptimize(cells);
  }
  State.SetComplexityN(State.range(0));
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations()) * State.range(0));
}
BENCHMARK(BM_ChopLineOutRows)->Apply(Args);

void BM_GetTextNotInBracketsWholePage(benchmark::State &State) {
  const std::string page = MakePage(static_cast<size_t>(State.range(0)));
  for (auto _ : State)
    benchmark::DoNotOptimize(GetTextNotInBrackets("<", ">", page));
  State.SetComplexityN(State.range(0));
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations()) * State.range(0));
}
BENCHMARK(BM_GetTextNotInBracketsWholePage)->Apply(Args);

void BM_ReplaceEnumeratedChars(benchmark::State &State) {
  const std::string page = MakePage(static_cast<size_t>(State.range(0)));
  for (auto _ : State)
    benchmark::DoNotOptimize(ReplaceEnumeratedChars(page));
  State.SetComplexityN(State.range(0));
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations()) * State.range(0));
}
BENCHMARK(BM_ReplaceEnumeratedChars)->Apply(Args);

// Collapsing runs of blanks: every replacement forms the next occurrence.
void BM_ReplaceStringsCollapsingBlanks(benchmark::State &State) {
  const std::string page(static_cast<size_t>(State.range(0)), ' ');
  for (auto _ : State) {
    std::string t = page;
    ReplaceStrings(t, "  ", " ");
    benchmark::DoNotOptimize(t);
  }
  State.SetComplexityN(State.range(0));
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations()) * State.range(0));
}
BENCHMARK(BM_ReplaceStringsCollapsingBlanks)->Apply(Args);

// A replacement that contains the searched text.
void BM_ReplaceStringsSelfContaining(benchmark::State &State) {
  const std::string page = MakePage(static_cast<size_t>(State.range(0)));
  for (auto _ : State) {
    std::string t = page;
    ReplaceStrings(t, "<td", "<td><td");
    benchmark::DoNotOptimize(t);
  }
  State.SetComplexityN(State.range(0));
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations()) * State.range(0));
}
BENCHMARK(BM_ReplaceStringsSelfContaining)->Apply(Args);

}  // namespace

BENCHMARK_MAIN();
