// qxbench_tree DIR FILES BYTES: writes FILES files of mixed content, BYTES in
// all, below DIR (DATA\Dnn\Fnnnnn.DAT, heavy-tailed sizes: 1 KiB to 700 KiB),
// the same tree on every run. The update benchmark installs it.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "bench/bench_data.h"

namespace {

// Heavy-tailed sizes that add up to total exactly.
std::vector<std::size_t> FileSizes(std::size_t files, std::size_t total, BenchRandom* random) {
  std::vector<double> weights(files);
  double sum = 0;
  for (double& w : weights) {
    const double r = double(random->Below(1000)) / 1000.0;
    w = 1.0 + 400.0 * r * r * r * r;
    sum += w;
  }
  std::vector<std::size_t> sizes(files);
  std::size_t given = 0;
  for (std::size_t i = 0; i < files; ++i) given += sizes[i] = std::size_t(total * weights[i] / sum);
  sizes.back() += total - given;
  return sizes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: qxbench_tree DIR FILES BYTES\n");
    return 1;
  }
  const std::filesystem::path root = argv[1];
  const std::size_t files = std::strtoull(argv[2], nullptr, 10);
  const std::size_t total = std::strtoull(argv[3], nullptr, 10);
  if (files == 0 || total < files) {
    std::fprintf(stderr, "qxbench_tree: need at least one byte per file\n");
    return 1;
  }
  BenchRandom random(3);
  const std::vector<std::size_t> sizes = FileSizes(files, total, &random);
  const std::vector<uint8_t> data = MakeMixedData(total, 4);
  std::size_t at = 0;
  for (std::size_t i = 0; i < files; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "DATA/D%02zu/F%05zu.DAT", i % 20, i);
    const std::filesystem::path path = root / name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data() + at), std::streamsize(sizes[i]));
    at += sizes[i];
    if (!out) {
      std::fprintf(stderr, "qxbench_tree: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
