#include <windows.h>

#include "support/file_replace.h"

int ReplaceWithSibling(const char* sibling, const char* destination) {
  // Windows refuses to rename over a read-only file, but Wine's rename does
  // not: the refusal is made here, so that both keep such a file.
  DWORD attributes = GetFileAttributesA(destination);
  bool refused = attributes != INVALID_FILE_ATTRIBUTES &&
                 (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY));
  if (!refused &&
      MoveFileExA(sibling, destination, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return 1;
  DeleteFileA(sibling);
  return 0;
}
