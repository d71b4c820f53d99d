#include <windows.h>

#include <filesystem>
#include <string>

#include "tools/lib/tool_location.h"

std::string ToolDirectory() {
  wchar_t self[32768];
  DWORD n = GetModuleFileNameW(nullptr, self, sizeof self / sizeof self[0]);
  if (n == 0 || n >= sizeof self / sizeof self[0]) return std::string();
  return std::filesystem::path(std::wstring(self, n)).parent_path().u8string();
}

namespace {

bool ToAnsi(const std::wstring& wide, std::string* native) {
  native->clear();
  if (wide.empty()) return true;
  BOOL usedDefault = FALSE;
  int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), int(wide.size()), nullptr,
                              0, nullptr, &usedDefault);
  if (n <= 0 || usedDefault) return false;
  native->resize(size_t(n));
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), int(wide.size()), &(*native)[0], n,
                      nullptr, &usedDefault);
  return !usedDefault;
}

}  // namespace

bool NativePath(const std::string& utf8, std::string* native) {
  const std::wstring wide = std::filesystem::u8path(utf8).wstring();
  if (ToAnsi(wide, native)) return true;
  // A name outside the ANSI code page: the short (8.3) form of an existing
  // file, where its volume keeps one, is all ASCII.
  const DWORD n = GetShortPathNameW(wide.c_str(), nullptr, 0);
  if (n == 0) return false;
  std::wstring shortPath(n, L'\0');
  const DWORD got = GetShortPathNameW(wide.c_str(), &shortPath[0], n);
  if (got == 0 || got >= n) return false;
  shortPath.resize(got);
  return ToAnsi(shortPath, native);
}
