// Copying one archive entry into a file in bounded steps: how every entry is
// staged before the commit.
#ifndef QX_APP_ENTRY_COPY_H
#define QX_APP_ENTRY_COPY_H

#include <cstdint>

#include "archive/archive.h"

enum EntryCopyResult {
  COPY_DONE,
  COPY_CREATE_FAILED,  // the file cannot be created
  COPY_READ_SHORT,     // the entry cannot be read whole
  COPY_WRITE_FAILED,   // written short or not flushed (a full disk)
};

// At most this many bytes are held and written at a time.
const uint32_t ENTRY_COPY_STEP = 1 << 20;

// Creates (or empties) the file at path, opened with FM_WRITE_REPLACE and
// extraMode (FM_HIDDEN, FM_SYSTEM), and copies the freshly opened entry into
// it through buffer (ENTRY_COPY_STEP bytes). Then, with keep null, flushes and
// closes it; otherwise hands the file over still open, unflushed and renamable
// (FM_RENAMABLE) in *keep, for the caller to flush, rename and close. On every
// failure after creation the file is deleted again.
EntryCopyResult CopyEntryToFile(qxArchive* reader, qxArchiveEntry* entry, const char* path,
                                int extraMode, char* buffer, void** keep);

// The message that reports a failed copy of an entry bound for a destination,
// with one %s for that destination.
const char* CopyFailureFormat(EntryCopyResult result);

#endif
