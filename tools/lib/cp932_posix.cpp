#ifndef _WIN32

#include <errno.h>
#include <iconv.h>

#include "tools/lib/cp932.h"

namespace {

// Whole-string conversion; false on any character without a form in `to`.
bool Convert(const char* to, const char* from, const std::string& in, std::string* out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == iconv_t(-1)) return false;
  std::string result;
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  bool ok = true;
  char chunk[256];
  while (ok && srcLeft > 0) {
    char* dst = chunk;
    size_t dstLeft = sizeof chunk;
    size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    result.append(chunk, sizeof chunk - dstLeft);
    // A positive count means characters were replaced by look-alikes.
    if (r == size_t(-1) ? errno != E2BIG : r != 0) ok = false;
  }
  iconv_close(cd);
  if (ok) *out = result;
  return ok;
}

}  // namespace

bool EncodeCp932(const std::string& utf8, std::string* cp932) {
  return Convert("CP932", "UTF-8", utf8, cp932);
}

bool Cp932ToUtf8(const std::string& cp932, std::string* utf8) {
  return Convert("UTF-8", "CP932", cp932, utf8);
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

#endif
