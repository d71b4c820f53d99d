// A whole-entry read of an enciphered archive (file in the page cache) against
// OpenSSL's Blowfish deciphering the same blocks in memory.
#include <benchmark/benchmark.h>
#include <openssl/blowfish.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "archive/archive.h"
#include "archive/blowfish.h"
#include "archive/mt19937.h"
#include "bench/bench_data.h"
#include "tools/lib/archive_encipher.h"

namespace {

const std::size_t kSize = 64u << 20;
const uint32_t kSeed = 0x5EED1234u;

uint32_t Swap(uint32_t v) { return __builtin_bswap32(v); }

// Every 32-bit word of data byte-swapped: the family's halves are
// little-endian, OpenSSL's big-endian.
std::vector<uint8_t> SwapWords(const std::vector<uint8_t>& data) {
  std::vector<uint8_t> out(data.size());
  for (std::size_t i = 0; i + 4 <= data.size(); i += 4) {
    uint32_t v;
    std::memcpy(&v, &data[i], 4);
    v = Swap(v);
    std::memcpy(&out[i], &v, 4);
  }
  return out;
}

void ContentKey(uint8_t key[4]) {
  uint32_t word;
  {
    MtKeyedUse use(kSeed);
    word = MtDraw();
  }
  for (int i = 0; i < 4; ++i) key[i] = uint8_t(word >> (8 * i));
}

struct EncipheredArchive {
  std::string directory;
  std::string path;
  std::vector<uint8_t> plain;
  std::vector<uint8_t> cipher;  // the entry's bytes as stored
  ~EncipheredArchive() {
    std::remove(path.c_str());
    std::remove((directory + "/entry.bin").c_str());
    std::remove(directory.c_str());
  }
};

// Writes the archive, and reads it once so that it is in the page cache.
const EncipheredArchive* GetArchive() {
  static EncipheredArchive made;
  static bool ready = false;
  if (ready) return made.path.empty() ? nullptr : &made;
  ready = true;
  char pattern[] = "/tmp/qxbench.XXXXXX";
  if (!mkdtemp(pattern)) return nullptr;
  made.directory = pattern;
  made.plain = MakeMixedData(kSize, 2);
  const std::string source = made.directory + "/entry.bin";
  std::ofstream(source, std::ios::binary)
      .write(reinterpret_cast<const char*>(made.plain.data()), kSize);
  std::string error;
  const std::string path = made.directory + "/enciphered.arc";
  if (!WriteEncipheredArchive({{"DATA\\ENTRY.BIN", source}}, path, kSeed, &error)) return nullptr;
  made.path = path;
  made.cipher = made.plain;
  uint8_t key[4];
  ContentKey(key);
  BlowfishContext context;
  BlowfishSetKey(&context, key);
  BlowfishEncipherBlocks(&context, made.cipher.data(), kSize);
  std::ifstream warm(path, std::ios::binary);
  std::vector<char> sink(1 << 20);
  while (warm.read(sink.data(), sink.size())) {
  }
  return &made;
}

void ReadOurs(benchmark::State& state) {
  const EncipheredArchive* archive = GetArchive();
  qxArchive reader(0);
  if (!archive || !reader.Open(archive->path.c_str()) || !reader.IsEnciphered()) {
    state.SkipWithError("cannot write or open the enciphered archive");
    return;
  }
  std::vector<uint8_t> out(kSize, 1);
  for (auto _ : state) {
    qxArchiveEntry* entry = reader.OpenEntry(1);
    uint32_t got = reader.Read(entry, out.data(), uint32_t(kSize));
    reader.CloseEntry(entry);
    if (got != kSize) {
      state.SkipWithError("short read");
      break;
    }
    benchmark::DoNotOptimize(out.data());
  }
  if (out != archive->plain) state.SkipWithError("the reader gave other bytes");
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSize));
}

void DecipherReference(benchmark::State& state) {
  const EncipheredArchive* archive = GetArchive();
  if (!archive) {
    state.SkipWithError("cannot write the enciphered archive");
    return;
  }
  uint8_t key[4];
  ContentKey(key);
  BF_KEY schedule;
  BF_set_key(&schedule, 4, key);
  const std::vector<uint8_t> in = SwapWords(archive->cipher);
  std::vector<uint8_t> out(kSize, 1);
  for (auto _ : state) {
    for (std::size_t i = 0; i < kSize; i += 8) {
      BF_ecb_encrypt(&in[i], &out[i], &schedule, BF_DECRYPT);
    }
    benchmark::DoNotOptimize(out.data());
  }
  if (SwapWords(out) != archive->plain) state.SkipWithError("OpenSSL gave other bytes");
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSize));
}

}  // namespace

BENCHMARK(ReadOurs)->Name("blowfish_read/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(DecipherReference)->Name("blowfish_read/reference")->Unit(benchmark::kMillisecond);
