// The install log's sort and merge of duplicates against std::stable_sort of
// the same records under the same comparison, and its growth with n.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "app/install_log.h"
#include "bench/bench_data.h"

namespace {

const std::vector<std::string>& GetLines(std::size_t n) {
  static std::map<std::size_t, std::vector<std::string>> made;
  auto it = made.find(n);
  if (it == made.end()) it = made.emplace(n, MakeLogLines(n, 7)).first;
  return it->second;
}

bool IsSortedUnique(const InstallLog& log) {
  for (std::size_t i = 1; i < log.GetCount(); ++i) {
    if (InstallLog::CompareLines(log.GetLine(i - 1), log.GetLine(i)) >= 0) return false;
  }
  return log.GetCount() != 0;
}

void SortUniqueOurs(benchmark::State& state) {
  InstallLog base;
  for (const std::string& line : GetLines(state.range(0))) base.Add(line.c_str());
  InstallLog log;
  for (auto _ : state) {
    state.PauseTiming();
    log = base;
    state.ResumeTiming();
    log.SortUnique();
    benchmark::ClobberMemory();
  }
  if (!IsSortedUnique(log)) state.SkipWithError("SortUnique left lines out of order");
  state.SetComplexityN(state.range(0));
  state.counters["kept"] = double(log.GetCount());
}

void SortUniqueReference(benchmark::State& state) {
  std::vector<InstallLogLine> base;
  for (const std::string& line : GetLines(state.range(0))) {
    InstallLogLine record;
    std::memcpy(record.text, line.c_str(), line.size() + 1);
    base.push_back(record);
  }
  auto less = [](const InstallLogLine& a, const InstallLogLine& b) {
    return InstallLog::CompareLines(a.text, b.text) < 0;
  };
  std::vector<InstallLogLine> lines;
  for (auto _ : state) {
    state.PauseTiming();
    lines = base;
    state.ResumeTiming();
    std::stable_sort(lines.begin(), lines.end(), less);
    benchmark::ClobberMemory();
  }
}

}  // namespace

BENCHMARK(SortUniqueOurs)
    ->Name("sort_unique/ours")
    ->RangeMultiplier(10)
    ->Range(10000, 1000000)
    ->Complexity(benchmark::oNLogN)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(SortUniqueReference)
    ->Name("sort_unique/reference")
    ->RangeMultiplier(10)
    ->Range(10000, 1000000)
    ->Unit(benchmark::kMillisecond);
