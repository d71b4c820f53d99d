// The shared generator's draws against the standard library's generator of
// the same recurrence and tempering.
#include <benchmark/benchmark.h>

#include <random>

#include "archive/mt19937.h"

namespace {

const int kDraws = 1 << 20;

void DrawOurs(benchmark::State& state) {
  MtSeed(4357);
  for (auto _ : state) {
    uint32_t mix = 0;
    for (int i = 0; i < kDraws; ++i) mix ^= MtDraw();
    benchmark::DoNotOptimize(mix);
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kDraws);
}

void DrawReference(benchmark::State& state) {
  std::mt19937 generator(4357);
  for (auto _ : state) {
    uint32_t mix = 0;
    for (int i = 0; i < kDraws; ++i) mix ^= static_cast<uint32_t>(generator());
    benchmark::DoNotOptimize(mix);
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kDraws);
}

}  // namespace

BENCHMARK(DrawOurs)->Name("mt19937/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(DrawReference)->Name("mt19937/reference")->Unit(benchmark::kMillisecond);
