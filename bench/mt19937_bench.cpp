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

// std::mt19937 holds uint_fast32_t words, 64 bits on x86-64 Linux; the same
// engine on 32-bit words is the closer match to ours.
typedef std::mersenne_twister_engine<uint32_t, 32, 624, 397, 31, 0x9908B0DFu, 11, 0xFFFFFFFFu, 7,
                                     0x9D2C5680u, 15, 0xEFC60000u, 18, 1812433253u>
    Mt19937Words32;

template <typename Engine>
void DrawReference(benchmark::State& state) {
  Engine generator(4357);
  for (auto _ : state) {
    uint32_t mix = 0;
    for (int i = 0; i < kDraws; ++i) mix ^= static_cast<uint32_t>(generator());
    benchmark::DoNotOptimize(mix);
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kDraws);
}

}  // namespace

BENCHMARK(DrawOurs)->Name("mt19937/ours")->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(DrawReference, std::mt19937)
    ->Name("mt19937/reference")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(DrawReference, Mt19937Words32)
    ->Name("mt19937_32/reference")
    ->Unit(benchmark::kMillisecond);
