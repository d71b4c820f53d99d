// Whether the install directory's volume has room for the update, asked
// before anything there changes. Where the volume cannot tell, both checks
// pass: each file is then still replaced whole or not at all.
#ifndef QX_APP_DISK_ROOM_H
#define QX_APP_DISK_ROOM_H

#include <windows.h>

#include <cstdint>

#include "archive/archive.h"

// Before the work file is made: removes a work file left by an earlier run
// (its space is ours), then asks for room for unpackedSize bytes. 1 when there
// is room; 0 after telling the user ("ディスクの空き容量が不足しています",
// owned by dialog), and the caller ends the dialog.
int CheckRoomForWorkFile(HWND dialog, uint32_t unpackedSize);

// Before the first entry: room for the growth of every destination (the new
// size less the installed file's) plus the largest sibling that exists beside
// its old file: an entry's, or the new install.log's. An entry counts at most
// the work file's size. 1 when there is room; 0 after telling the user as
// above.
int CheckRoomForInstall(HWND dialog, qxArchive* reader);

#endif
