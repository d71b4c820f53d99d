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

// zlib alone under the step size the payload's inflation must keep (4096
// bytes of output per inflate call), straight into the destination: what is
// left between it and InflateBuffer is our code (the copy out of the scratch
// buffer and the loop).
void InflateSteps(benchmark::State& state) {
  const Payload& p = GetPayload();
  std::vector<uint8_t> out(kSize, 1);
  for (auto _ : state) {
    z_stream stream;
    std::memset(&stream, 0, sizeof stream);
    inflateInit(&stream);
    stream.next_in = const_cast<Bytef*>(p.stream.data());
    stream.avail_in = static_cast<uInt>(p.stream.size());
    std::size_t total = 0;
    int code = Z_OK;
    while (code == Z_OK && total < kSize) {
      stream.next_out = out.data() + total;
      stream.avail_out = 4096;
      code = inflate(&stream, Z_NO_FLUSH);
      total = stream.total_out;
    }
    inflateEnd(&stream);
    if (code != Z_STREAM_END || total != kSize) {
      state.SkipWithError("inflate in steps failed");
      break;
    }
    benchmark::DoNotOptimize(out.data());
  }
  if (out != p.data) state.SkipWithError("inflate in steps gave other bytes");
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSize));
}

}  // namespace

BENCHMARK(InflateOurs)->Name("inflate/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(InflateReference)->Name("inflate/reference")->Unit(benchmark::kMillisecond);
BENCHMARK(InflateSteps)->Name("inflate_4k/reference")->Unit(benchmark::kMillisecond);
