#include <windows.h>

#include "support/file_replace.h"

int ReplaceWithSibling(const char* sibling, const char* destination) {
  if (MoveFileExA(sibling, destination, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return 1;
  DeleteFileA(sibling);
  return 0;
}
