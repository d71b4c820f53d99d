// Copying one archive entry into a file in bounded steps, as the install step
// and the version gate both do before a file is renamed into place.
#ifndef QX_APP_ENTRY_COPY_H
#define QX_APP_ENTRY_COPY_H

#include <windows.h>

#include <cstdint>

#include "archive/archive.h"

enum EntryCopyResult {
  COPY_DONE,
  COPY_CREATE_FAILED,       // the file cannot be created
  COPY_NO_MEMORY,           // no buffer
  COPY_READ_SHORT,          // the entry cannot be read whole
  COPY_WRITE_FAILED,        // written short or not flushed (a full disk)
  COPY_NO_VERSION_LIBRARY,  // the version gate cannot read versions (no version.dll)
};

// At most this many bytes are held and written at a time.
const uint32_t ENTRY_COPY_STEP = 1 << 20;

// Creates (or empties) the file at path and copies the entry into it from its
// start, then flushes and closes it. *started becomes 1 once the entry's bytes
// start being written (for an empty entry: once the file is made). On every
// failure after creation the file is deleted again. The entry is rewound to
// its start on return.
EntryCopyResult CopyEntryToFile(qxArchive* reader, qxArchiveEntry* entry, const char* path,
                                int* started);

// Shows the message for a failed copy of an entry bound for destination; only
// "ファイル %s の更新に失敗しました" (the create failure, and the version gate's
// missing library) is owned by the dialog.
void ShowCopyFailure(HWND dialog, EntryCopyResult result, const char* destination);

#endif
