#include "support/file_replace.h"

#include <cstring>

#include "support/path_string.h"

int FormatSiblingPath(const char* destination, char* sibling) {
  sibling[0] = '\0';
  char directory[QX_MAX_PATH];
  if (!GetDirectoryPart(destination, directory)) return 0;
  if (std::strlen(directory) + 1 + std::strlen(QX_SIBLING_NAME) > QX_MAX_FILE_PATH) return 0;
  return JoinPath(sibling, 2, directory, QX_SIBLING_NAME) > 0;
}

int IsSiblingName(const char* name) {
  char directory[QX_MAX_PATH];
  const char* last = GetDirectoryPart(name, directory) ? name + std::strlen(directory) + 1 : name;
  std::size_t length = std::strlen(last);
  while (length > 0 && (last[length - 1] == '.' || last[length - 1] == ' ')) --length;
  const char* want = QX_SIBLING_NAME;
  if (length != std::strlen(want)) return 0;
  for (std::size_t i = 0; i < length; ++i) {
    char a = last[i];
    if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
    if (a != want[i]) return 0;
  }
  return 1;
}
