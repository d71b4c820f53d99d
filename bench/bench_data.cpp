#include "bench/bench_data.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>

uint64_t BenchRandom::Next() {
  uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

namespace {

const char* const kWords[] = {
    "stage",  "sprite", "texture", "sound", "voice", "script", "event",  "scene",
    "player", "enemy",  "bullet",  "boss",  "item",  "score",  "config", "window",
    "の",     "データ", "画面",    "音声",  "=",     "0",      "1",      "255",
};

void AppendText(std::vector<uint8_t>* out, std::size_t n, BenchRandom* random) {
  const std::size_t end = out->size() + n;
  while (out->size() < end) {
    const char* word = kWords[random->Below(sizeof kWords / sizeof kWords[0])];
    for (const char* p = word; *p && out->size() < end; ++p) out->push_back(uint8_t(*p));
    if (out->size() < end) out->push_back(random->Below(8) == 0 ? '\n' : ' ');
  }
}

// Deflate output of fresh text: what an archive holds for images or sounds
// that were compressed before packing.
void AppendCompressed(std::vector<uint8_t>* out, std::size_t n, BenchRandom* random) {
  std::vector<uint8_t> text;
  while (text.size() < n) {
    std::vector<uint8_t> chunk;
    AppendText(&chunk, 4 * n, random);
    std::vector<uint8_t> packed = CompressZlib(chunk, 1);
    text.insert(text.end(), packed.begin() + 2, packed.end());  // without the zlib header
  }
  out->insert(out->end(), text.begin(), text.begin() + n);
}

}  // namespace

std::vector<uint8_t> MakeMixedData(std::size_t size, uint64_t seed) {
  BenchRandom random(seed);
  std::vector<uint8_t> out;
  out.reserve(size);
  while (out.size() < size) {
    const std::size_t run =
        std::min<std::size_t>(size - out.size(), 4096 + random.Below(256 << 10));
    const uint32_t kind = random.Below(4);
    if (kind < 2) {
      AppendText(&out, run, &random);
    } else if (kind == 2) {
      AppendCompressed(&out, run, &random);
    } else {
      out.insert(out.end(), run, 0);
    }
  }
  return out;
}

std::vector<uint8_t> CompressZlib(const std::vector<uint8_t>& data, int level) {
  uLongf length = compressBound(data.size());
  std::vector<uint8_t> out(length);
  if (compress2(out.data(), &length, data.data(), data.size(), level) != Z_OK) out.clear();
  out.resize(out.empty() ? 0 : length);
  return out;
}

std::vector<std::string> MakeLogLines(std::size_t count, uint64_t seed) {
  static const char* const kFolders[] = {"DATA",     "DATA\\BGM", "DATA\\SE", "DATA\\STAGE",
                                         "DATA\\CG", "MOVIE",     "MANUAL",   ""};
  static const char* const kExtensions[] = {"DAT", "PNG", "OGG", "WAV", "TXT", "EXE", "DLL"};
  BenchRandom random(seed);
  std::vector<std::string> lines;
  lines.reserve(count);
  char line[260];
  while (lines.size() < count) {
    if (lines.size() > 16 && random.Below(4) == 0) {
      std::string again = lines[random.Below(static_cast<uint32_t>(lines.size()))];
      for (char& c : again) {
        if (random.Below(3) == 0 && c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
      }
      lines.push_back(again);
      continue;
    }
    const char* folder = kFolders[random.Below(8)];
    std::snprintf(line, sizeof line, "\"C:\\Games\\Title\\%s%s%c%c%06u.%s\"", folder,
                  folder[0] ? "\\" : "", 'A' + random.Below(26), 'A' + random.Below(26),
                  random.Below(1000000), kExtensions[random.Below(7)]);
    lines.push_back(line);
  }
  return lines;
}
