// Free space of the volume that holds a directory, asked before the update
// writes anything there.
#ifndef QX_SUPPORT_DISK_SPACE_H
#define QX_SUPPORT_DISK_SPACE_H

#include <cstdint>

// 1 with *bytes set to what the calling user may still write on the volume of
// directory; 0 when the volume cannot tell (the caller then relies on each
// write being checked).
int GetFreeBytes(const char* directory, uint64_t* bytes);

#endif
