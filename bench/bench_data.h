// Deterministic inputs for the benchmarks: the same bytes on every run and
// machine, so that ratios can be compared across runs.
#ifndef QX_BENCH_BENCH_DATA_H
#define QX_BENCH_BENCH_DATA_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// splitmix64: small, fast and fully specified.
class BenchRandom {
 public:
  explicit BenchRandom(uint64_t seed) : state(seed) {}
  uint64_t Next();
  uint32_t Below(uint32_t bound) { return static_cast<uint32_t>(Next() % bound); }

 private:
  uint64_t state;
};

// size bytes of mixed content in runs of a few KiB to a few hundred KiB:
// about half text (words and line ends), a quarter bytes that are already
// deflate output, a quarter zeros.
std::vector<uint8_t> MakeMixedData(std::size_t size, uint64_t seed);

// The zlib stream of data; the highest level is what the payload packer uses.
std::vector<uint8_t> CompressZlib(const std::vector<uint8_t>& data, int level = 9);

// count installed-file paths as an updater would log them ("C:\...\NAME.EXT"
// in quotes); about one in four repeats an earlier line with its ASCII case
// changed, as a second run over the same installation does.
std::vector<std::string> MakeLogLines(std::size_t count, uint64_t seed);

#endif
