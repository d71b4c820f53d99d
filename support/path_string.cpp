#include "support/path_string.h"

#include <cstdarg>
#include <cstring>

namespace {

bool IsSeparator(unsigned char c) { return c == '\\' || c == '/'; }

bool IsTrailByte(unsigned char c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC); }

// Steps over one character: two bytes for a double-byte character, else one.
std::size_t CharLength(const char* p) { return IsDoubleByteChar(p) ? 2 : 1; }

// Whether the last character of the first len bytes of s is a backslash. A
// 0x5C that ends a double-byte character is not one, so s is walked from the
// start: only there are character boundaries known.
bool EndsWithBackslash(const char* s, std::size_t len) {
  std::size_t last = len;
  for (std::size_t i = 0; i < len; i += CharLength(s + i)) last = i;
  return last < len && s[last] == '\\';
}

// Index of the last '\\' or '/' that is a character of its own; len if none.
std::size_t LastSeparator(const char* s, std::size_t len) {
  std::size_t found = len;
  for (std::size_t i = 0; i < len; i += CharLength(s + i))
    if (IsSeparator(static_cast<unsigned char>(s[i]))) found = i;
  return found;
}

// Appends the first count bytes of src to out (current length len) if the
// whole result still fits.
bool Append(char* out, std::size_t& len, const char* src, std::size_t count) {
  if (len + count >= QX_MAX_PATH) return false;
  std::memcpy(out + len, src, count);
  len += count;
  out[len] = '\0';
  return true;
}

// A first part keeps its trailing backslash only when it is a root (C:\, \\).
bool KeepsTrailingBackslash(const char* part, std::size_t len) {
  if (len >= 2 && part[1] == ':') return len < 4;
  if (len >= 2 && part[0] == '\\' && part[1] == '\\') return len < 3;
  return false;
}

}  // namespace

// Each part's trailing backslash is dropped before it is appended, so that a
// result is refused only when what remains does not fit.
int JoinPath(char* out, int n, ...) {
  if (!out) return 0;
  out[0] = '\0';
  if (n <= 0) return 0;
  va_list parts;
  va_start(parts, n);
  std::size_t len = 0;
  const char* first = va_arg(parts, const char*);
  std::size_t count = std::strlen(first);
  if (EndsWithBackslash(first, count) && !KeepsTrailingBackslash(first, count)) --count;
  bool fits = Append(out, len, first, count);
  for (int i = 1; fits && i < n; ++i) {
    // "\" and the part, less one trailing backslash: an empty part adds nothing.
    const char* part = va_arg(parts, const char*);
    count = std::strlen(part);
    if (count == 0) continue;
    if (EndsWithBackslash(part, count)) --count;
    fits = Append(out, len, "\\", 1) && Append(out, len, part, count);
  }
  va_end(parts);
  if (!fits) {
    out[0] = '\0';
    return 0;
  }
  return static_cast<int>(len);
}

int GetDirectoryPart(const char* path, char* out) {
  if (!path || !path[0]) return 0;
  const std::size_t len = std::strlen(path);
  const std::size_t last = LastSeparator(path, len);
  if (last == len || last == 0 || last >= QX_MAX_PATH) return 0;
  if (out) {
    std::memcpy(out, path, last);
    out[last] = '\0';
  }
  return 1;
}

int GetFileNamePart(const char* path, char* out) {
  if (!out) return 0;
  out[0] = '\0';
  if (!path) return 1;
  std::size_t len = std::strlen(path);
  std::size_t start = LastSeparator(path, len);
  // None, or only one at index 0 (which stays part of the name): the whole path.
  start = start == len || start == 0 ? 0 : start + 1;
  if (len - start >= QX_MAX_PATH) return 0;
  std::memcpy(out, path + start, len - start + 1);
  return 1;
}

const char* GetExtension(const char* path) {
  if (!path) return nullptr;
  const std::size_t len = std::strlen(path);
  const std::size_t separator = LastSeparator(path, len);
  const std::size_t nameStart = separator == len ? 0 : separator + 1;
  std::size_t dot = len;
  for (std::size_t i = nameStart; i < len; i += CharLength(path + i))
    if (path[i] == '.') dot = i;
  return dot == len ? path + len : path + dot + 1;
}

char* GetExtension(char* path) {
  return const_cast<char*>(GetExtension(static_cast<const char*>(path)));
}

int IsDoubleByteChar(const char* p) {
  if (!p || !p[0]) return 0;
  unsigned char lead = static_cast<unsigned char>(p[0]);
  unsigned char trail = static_cast<unsigned char>(p[1]);
  bool isLead = (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xEF);
  return isLead && IsTrailByte(trail) ? 1 : 0;
}

int IsSplitAsWindowsDoes(const char* path) {
  for (const char* p = path; *p; p += CharLength(p)) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c >= 0xF0 && c <= 0xFC && IsTrailByte(static_cast<unsigned char>(p[1]))) return 0;
  }
  return 1;
}

int ReadLine(const char* text, char* out, unsigned* lineLength) {
  out[0] = '\0';
  std::size_t i = 0;
  int consumed;
  for (;; ++i) {
    char c = text[i];
    if (c == '\0') {
      consumed = static_cast<int>(i);
      break;
    }
    if (c == '\n') {
      consumed = static_cast<int>(i + 1);
      break;
    }
    if (c == '\r' && text[i + 1] == '\n') {
      consumed = static_cast<int>(i + 2);
      break;
    }
  }
  if (lineLength) *lineLength = static_cast<unsigned>(i);
  if (i < QX_MAX_PATH) {
    CopyBytes(out, text, i);
    out[i] = '\0';
    if (i + 1 < QX_MAX_PATH) out[i + 1] = '\0';
  }
  return consumed;
}

int MakeUpper(char* s) {
  std::size_t len = std::strlen(s);
  for (std::size_t i = 0; i < len;) {
    if (IsDoubleByteChar(s + i)) {
      i += 2;
      continue;
    }
    if (s[i] >= 'a' && s[i] <= 'z') s[i] = static_cast<char>(s[i] - 'a' + 'A');
    ++i;
  }
  return static_cast<int>(len);
}

void CopyBytes(void* destination, const void* source, std::size_t n) {
  if (n) std::memcpy(destination, source, n);
}

void ZeroBytes(void* destination, std::size_t n) {
  if (n) std::memset(destination, 0, n);
}
