#include "support/file_replace.h"

#include <cstdio>
#include <cstring>

#include "support/path_string.h"

int FormatSiblingPath(const char* destination, char* sibling) {
  sibling[0] = '\0';
  char directory[QX_MAX_PATH];
  if (!GetDirectoryPart(destination, directory)) return 0;
  if (std::strlen(directory) + 1 + std::strlen(QX_SIBLING_NAME) > QX_MAX_FILE_PATH) return 0;
  return JoinPath(sibling, 2, directory, QX_SIBLING_NAME) > 0;
}

int FormatStagingPath(const char* destination, uint32_t index, char* out) {
  out[0] = '\0';
  char directory[QX_MAX_PATH], name[16];
  if (!GetDirectoryPart(destination, directory)) return 0;
  std::snprintf(name, sizeof name, "~QX%05X.TMP", static_cast<unsigned>(index));
  if (std::strlen(directory) + 1 + std::strlen(name) > QX_MAX_FILE_PATH) return 0;
  return JoinPath(out, 2, directory, name) > 0;
}

namespace {

bool EqualsIgnoringAsciiCase(const char* a, const char* b, unsigned n) {
  for (unsigned i = 0; i < n; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

int IsWorkingFileName(const char* component, unsigned length) {
  static const char kPrefix[] = "~QX", kSuffix[] = ".TMP";
  const unsigned prefix = sizeof kPrefix - 1, suffix = sizeof kSuffix - 1;
  return length >= prefix + suffix && EqualsIgnoringAsciiCase(component, kPrefix, prefix) &&
         EqualsIgnoringAsciiCase(component + length - suffix, kSuffix, suffix);
}
