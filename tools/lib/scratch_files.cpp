#include "tools/lib/scratch_files.h"

#include <filesystem>
#include <system_error>

std::string ScratchFiles::Add(const std::string& path) {
  paths_.push_back(path);
  RemoveOnInterrupt(path);
  return path;
}

void ScratchFiles::RemoveAll() {
  for (const std::string& path : paths_) {
    std::error_code ec;
    std::filesystem::remove(std::filesystem::u8path(path), ec);
  }
}
