// Whether the volumes that receive the update have room for it, asked before
// anything there changes, in whole clusters of each volume. Where a volume
// cannot tell, the check passes: every write is still checked, and a failed
// one rolls the whole update back.
#ifndef QX_APP_DISK_ROOM_H
#define QX_APP_DISK_ROOM_H

#include <windows.h>

#include <cstdint>

#include "app/install_plan.h"

// Before the work file is made: removes a work file left by an earlier run
// (its space is ours), then asks for room for unpackedSize bytes. 1 when there
// is room; 0 after telling the user ("ディスクの空き容量が不足しています",
// owned by dialog), and the caller ends the dialog.
int RemoveWorkFileAndCheckRoom(HWND dialog, uint32_t unpackedSize);

// Before anything is staged: each volume that receives files (the install
// directory's, and that of every folder reached through a link) must hold
// every staging file bound for it and every new folder while the installed
// files still exist; the install directory's volume also the journal twice
// and installDirBytes (the new log beside the old one). 1 when there is room.
int HasRoomForPlan(const InstallPlan& plan, uint64_t installDirBytes);

#endif
