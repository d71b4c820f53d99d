// Unique paths under the system's temporary directory for tests, removed with
// everything below them when the owning object goes.
#ifndef QX_TESTS_UNIT_TEMP_PATH_H
#define QX_TESTS_UNIT_TEMP_PATH_H

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "archive/archive_format.h"
#include "tools/lib/byte_stream.h"

inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), std::streamsize(bytes.size()));
}

// The file's bytes; empty when it cannot be read.
inline std::string ReadFile(const std::filesystem::path& path) {
  std::string bytes, ignored;
  ReadWholeFile(path.u8string(), &bytes, &ignored);
  return bytes;
}

// A little-endian 32-bit field of an archive image.
inline uint32_t U32At(const std::string& s, size_t at) { return LoadLe32(s.data() + at); }

class TempPath {
 public:
  explicit TempPath(const std::string& stem) {
    static unsigned serial = 0;
    auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = std::filesystem::temp_directory_path() /
            (stem + "-" + std::to_string(ticks) + "-" + std::to_string(++serial));
  }
  ~TempPath() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempPath(const TempPath&) = delete;
  TempPath& operator=(const TempPath&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The path as the narrow string that file APIs of the product take.
  std::string str() const { return path_.string(); }

  bool Write(const std::string& bytes) const {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    return bool(out);
  }

 private:
  std::filesystem::path path_;
};

#endif
