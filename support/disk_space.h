// The room on the volumes that receive an update's files, asked before the
// update writes anything there.
#ifndef QX_SUPPORT_DISK_SPACE_H
#define QX_SUPPORT_DISK_SPACE_H

#include <cstdint>

struct VolumeSpace {
  uint32_t serial;  // with totalBytes, tells volumes apart
  uint64_t totalBytes;
  uint64_t freeBytes;  // what the calling user may still write
  uint32_t cluster;    // bytes of the unit every file takes whole
};

// The volume that holds directory, reached through any link on the way. 1 with
// *space set; 0 when the volume cannot tell (the caller then relies on every
// write being checked).
int QueryVolumeSpace(const char* directory, VolumeSpace* space);

// The allocation unit that a file of one byte takes in directory, seen by
// writing one (a working file, removed again): some volumes report a smaller
// cluster than they allocate. 0 when it cannot be seen.
uint32_t ProbeAllocationUnit(const char* directory);

// size rounded up to whole clusters.
inline uint64_t ClusterBytes(uint64_t size, uint32_t cluster) {
  return cluster ? (size + cluster - 1) / cluster * cluster : size;
}

#endif
