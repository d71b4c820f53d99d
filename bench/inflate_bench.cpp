// The payload's inflation against zlib's one-call uncompress of the same
// stream into the same buffer.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstring>

#include "bench/bench_data.h"
#include "support/inflate.h"

namespace {

const std::size_t kSize = 64u << 20;

struct Payload {
  std::vector<uint8_t> data;
  std::vector<uint8_t> stream;
};

const Payload& GetPayload() {
  static const Payload payload = [] {
    Payload p;
    p.data = MakeMixedData(kSize, 1);
    p.stream = CompressZlib(p.data);
    return p;
  }();
  return payload;
}

void InflateOurs(benchmark::State& state) {
  const Payload& p = GetPayload();
  std::vector<uint8_t> out(kSize, 1);
  for (auto _ : state) {
    InflateEnd end = INFLATE_END_DAMAGED;
    int n = InflateBuffer(out.data(), static_cast<int32_t>(kSize), p.stream.data(),
                          static_cast<uint32_t>(p.stream.size()), &end);
    if (n != static_cast<int>(kSize) || end != INFLATE_END_CLEAN) {
      state.SkipWithError("InflateBuffer did not inflate the stream whole");
      break;
    }
    benchmark::DoNotOptimize(out.data());
  }
  if (out != p.data) state.SkipWithError("InflateBuffer gave other bytes");
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSize));
  state.counters["packed_percent"] = 100.0 * double(p.stream.size()) / double(kSize);
}

void InflateReference(benchmark::State& state) {
  const Payload& p = GetPayload();
  std::vector<uint8_t> out(kSize, 1);
  for (auto _ : state) {
    uLongf length = kSize;
    if (uncompress(out.data(), &length, p.stream.data(), p.stream.size()) != Z_OK ||
        length != kSize) {
      state.SkipWithError("uncompress failed");
      break;
    }
    benchmark::DoNotOptimize(out.data());
  }
  if (out != p.data) state.SkipWithError("uncompress gave other bytes");
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSize));
}

}  // namespace

BENCHMARK(InflateOurs)->Name("inflate/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(InflateReference)->Name("inflate/reference")->Unit(benchmark::kMillisecond);
