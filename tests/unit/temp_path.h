// Unique paths under the system's temporary directory for tests, removed with
// everything below them when the owning object goes.
#ifndef QX_TESTS_UNIT_TEMP_PATH_H
#define QX_TESTS_UNIT_TEMP_PATH_H

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), std::streamsize(bytes.size()));
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A little-endian 32-bit field of an archive image.
inline uint32_t U32At(const std::string& s, size_t at) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(s.data() + at);
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

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
