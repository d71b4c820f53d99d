#ifndef _WIN32

#include <filesystem>
#include <system_error>

#include "tools/lib/tool_location.h"

std::string ToolDirectory() {
  std::error_code ec;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : self.parent_path().u8string();
}

bool NativePath(const std::string& utf8, std::string* native) {
  *native = utf8;
  return true;
}

#endif
