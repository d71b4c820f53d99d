#include <windows.h>

#include "support/disk_space.h"

int GetFreeBytes(const char* directory, uint64_t* bytes) {
  ULARGE_INTEGER available;
  // The directory itself, not its root: a mounted folder has its own volume.
  if (!GetDiskFreeSpaceExA(directory, &available, nullptr, nullptr)) return 0;
  *bytes = available.QuadPart;
  return 1;
}
