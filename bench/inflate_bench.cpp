// The payload's inflation against zlib's one-call uncompress of the same
// stream into the same buffer.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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

namespace {

// Writes every piece to a file, as the unpack step does to its work file.
struct FileSink : InflateSink {
  explicit FileSink(std::FILE* file) : file(file) {}
  int Take(const void* bytes, uint32_t count) override {
    return std::fwrite(bytes, 1, count, file) == count;
  }
  std::FILE* file;
};

std::string WorkPath() {
  const char* dir = std::getenv("QX_BENCH_WORK_DIR");
  return std::string(dir ? dir : "/tmp") + "/qxbench-work.tmp";
}

// The payload streamed into a work file in writes of state.range(0) bytes
// (unbuffered, so each piece is one write()), wall time: the size of the
// unpack step's writes.
void InflateToFile(benchmark::State& state) {
  const Payload& p = GetPayload();
  const uint32_t pieceSize = static_cast<uint32_t>(state.range(0));
  std::vector<uint8_t> buffer(pieceSize);
  const std::string path = WorkPath();
  for (auto _ : state) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
      state.SkipWithError("cannot create the work file");
      break;
    }
    std::setvbuf(file, nullptr, _IONBF, 0);
    FileSink sink(file);
    const InflateResult result =
        InflateStream(p.stream.data(), static_cast<uint32_t>(p.stream.size()),
                      static_cast<uint32_t>(kSize), buffer.data(), pieceSize, &sink);
    std::fclose(file);
    if (result != INFLATE_DONE) {
      state.SkipWithError("InflateStream failed");
      break;
    }
  }
  std::remove(path.c_str());
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSize));
}

// The former unpack step: the whole archive inflated into memory, then one
// write of it all.
void InflateWholeThenWrite(benchmark::State& state) {
  const Payload& p = GetPayload();
  const std::string path = WorkPath();
  for (auto _ : state) {
    std::vector<uint8_t> out(kSize);
    uLongf length = kSize;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || uncompress(out.data(), &length, p.stream.data(), p.stream.size()) != Z_OK) {
      if (file) std::fclose(file);
      state.SkipWithError("uncompress or the work file failed");
      break;
    }
    std::setvbuf(file, nullptr, _IONBF, 0);
    const bool written = std::fwrite(out.data(), 1, length, file) == length;
    std::fclose(file);
    if (!written) {
      state.SkipWithError("the write failed");
      break;
    }
  }
  std::remove(path.c_str());
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSize));
}

}  // namespace

BENCHMARK(InflateToFile)
    ->Name("inflate_to_file/ours")
    ->Arg(16 << 10)
    ->Arg(64 << 10)
    ->Arg(256 << 10)
    ->Arg(1 << 20)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(InflateWholeThenWrite)
    ->Name("inflate_to_file/reference")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
