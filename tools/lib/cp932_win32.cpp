#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include "tools/lib/cp932.h"

namespace {

bool ToWide(UINT codePage, const std::string& in, std::wstring* out) {
  out->clear();
  if (in.empty()) return true;
  int n =
      MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, in.data(), int(in.size()), nullptr, 0);
  if (n <= 0) return false;
  out->resize(size_t(n));
  return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, in.data(), int(in.size()), &(*out)[0],
                             n) == n;
}

// CP_UTF8 allows neither the best-fit flag nor the used-default probe.
bool FromWide(UINT codePage, const std::wstring& in, std::string* out) {
  out->clear();
  if (in.empty()) return true;
  bool utf8 = codePage == CP_UTF8;
  DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  BOOL* probe = utf8 ? nullptr : &usedDefault;
  int n =
      WideCharToMultiByte(codePage, flags, in.data(), int(in.size()), nullptr, 0, nullptr, probe);
  if (n <= 0 || usedDefault) return false;
  out->resize(size_t(n));
  n = WideCharToMultiByte(codePage, flags, in.data(), int(in.size()), &(*out)[0], n, nullptr,
                          probe);
  return n == int(out->size()) && !usedDefault;
}

bool Convert(UINT to, UINT from, const std::string& in, std::string* out) {
  std::wstring wide;
  std::string result;
  if (!ToWide(from, in, &wide) || !FromWide(to, wide, &result)) return false;
  *out = result;
  return true;
}

}  // namespace

bool EncodeCp932(const std::string& utf8, std::string* cp932) {
  return Convert(932, CP_UTF8, utf8, cp932);
}

bool Cp932ToUtf8(const std::string& cp932, std::string* utf8) {
  return Convert(CP_UTF8, 932, cp932, utf8);
}

std::vector<std::string> Utf8Arguments(int, char**) {
  std::vector<std::string> args;
  int n = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &n);
  for (int i = 1; wide && i < n; ++i) {
    std::string utf8;
    FromWide(CP_UTF8, wide[i], &utf8);  // lone surrogates aside, every UTF-16 text has one
    args.push_back(utf8);
  }
  LocalFree(wide);
  return args;
}
