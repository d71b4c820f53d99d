#include <windows.h>

#include "app/entry_copy.h"
#include "app/messages.h"
#include "support/file.h"

namespace {

EntryCopyResult CopySteps(qxArchive* reader, qxArchiveEntry* entry, qxFile* file, char* buffer,
                          uint32_t step) {
  for (uint32_t left = reader->GetSize(entry); left > 0;) {
    const uint32_t n = left < step ? left : step;
    if (reader->Read(entry, buffer, n) != n) return COPY_READ_SHORT;
    if (file->Write(buffer, n) != static_cast<int>(n)) return COPY_WRITE_FAILED;
    left -= n;
  }
  return COPY_DONE;
}

}  // namespace

EntryCopyResult CopyEntryToFile(qxArchive* reader, qxArchiveEntry* entry, const char* path,
                                int extraMode, char* buffer, void** keep) {
  qxFile file;
  if (!file.Open(path, FM_WRITE_REPLACE | extraMode | (keep ? FM_RENAMABLE : 0)))
    return COPY_CREATE_FAILED;
  EntryCopyResult result = CopySteps(reader, entry, &file, buffer, ENTRY_COPY_STEP);
  if (result == COPY_DONE && keep) {
    *keep = file.Release();
  } else {
    if (result == COPY_DONE && !file.Flush()) result = COPY_WRITE_FAILED;
    if (!file.Close() && result == COPY_DONE) result = COPY_WRITE_FAILED;
    if (result != COPY_DONE) DeleteFileA(path);
  }
  return result;
}

const char* CopyFailureFormat(EntryCopyResult result) {
  switch (result) {
    case COPY_READ_SHORT:
      return MSG_READ_FILE_FAILED_FMT;
    case COPY_WRITE_FAILED:
      return MSG_WRITE_FILE_FAILED_FMT;
    default:
      return MSG_UPDATE_FILE_FAILED_FMT;
  }
}
