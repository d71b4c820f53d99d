#include <windows.h>

#include <cstring>

#include "support/path_fs.h"
#include "support/path_string.h"

int ProbePath(const char* path) {
  if (!path) return PROBE_ABSENT;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(path, &found);
  if (search == INVALID_HANDLE_VALUE) return PROBE_ABSENT;
  FindClose(search);
  return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? PROBE_DIRECTORY : PROBE_FILE;
}

namespace {

bool IsDriveSpec(const char* path) {
  char c = path[0];
  bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  return letter && path[1] == ':' && path[2] == '\0';
}

}  // namespace

int MakeDirectories(const char* path, int parentOnly) {
  if (!path) return 0;
  if (IsDriveSpec(path)) return 1;
  char target[QX_MAX_PATH];
  if (parentOnly) {
    if (!GetDirectoryPart(path, target)) return 0;
  } else {
    if (std::strlen(path) >= sizeof(target)) return 0;
    std::strcpy(target, path);
  }
  int found = ProbePath(target);
  if (found == PROBE_DIRECTORY) return 1;
  if (found == PROBE_FILE) return 0;
  // Each level is strictly shorter than the last, so this ends; a chain that
  // runs out of parents without meeting a drive or a directory fails.
  char parent[QX_MAX_PATH];
  if (!GetDirectoryPart(target, parent)) return 0;
  if (!MakeDirectories(parent, 0)) return 0;
  return CreateDirectoryA(target, nullptr) ? 1 : 0;
}
