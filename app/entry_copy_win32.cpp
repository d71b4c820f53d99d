#include <memory>
#include <new>

#include "app/entry_copy.h"
#include "app/message_text.h"
#include "app/messages.h"
#include "support/file.h"
#include "support/path_string.h"

namespace {

EntryCopyResult CopySteps(qxArchive* reader, qxArchiveEntry* entry, qxFile* file, char* buffer,
                          uint32_t step, int* started) {
  uint32_t left = reader->GetSize(entry);
  while (left > 0) {
    uint32_t n = left < step ? left : step;
    if (reader->Read(entry, buffer, n) != n) return COPY_READ_SHORT;
    *started = 1;
    if (file->Write(buffer, n) != static_cast<int>(n)) return COPY_WRITE_FAILED;
    left -= n;
  }
  *started = 1;
  return file->Flush() ? COPY_DONE : COPY_WRITE_FAILED;
}

}  // namespace

EntryCopyResult CopyEntryToFile(qxArchive* reader, qxArchiveEntry* entry, const char* path,
                                int* started) {
  *started = 0;
  reader->Seek(entry, 0, 0);
  uint32_t size = reader->GetSize(entry);
  uint32_t step = size < ENTRY_COPY_STEP ? size : ENTRY_COPY_STEP;
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[step ? step : 1]);
  if (!buffer) return COPY_NO_MEMORY;
  qxFile file;
  if (!file.Open(path, FM_WRITE_REPLACE)) return COPY_CREATE_FAILED;
  EntryCopyResult result = CopySteps(reader, entry, &file, buffer.get(), step, started);
  if (!file.Close() && result == COPY_DONE) result = COPY_WRITE_FAILED;
  if (result != COPY_DONE) DeleteFileA(path);
  reader->Seek(entry, 0, 0);
  return result;
}

void ShowCopyFailure(HWND dialog, EntryCopyResult result, const char* destination) {
  const char* format = nullptr;
  switch (result) {
    case COPY_DONE:
      return;
    case COPY_NO_MEMORY:
      MessageBoxA(nullptr, MSG_NO_MEMORY, MSG_CAPTION_ERROR, MB_OK);
      return;
    case COPY_CREATE_FAILED:
    case COPY_NO_VERSION_LIBRARY:
      format = MSG_UPDATE_FILE_FAILED_FMT;
      break;
    case COPY_READ_SHORT:
      format = MSG_READ_FILE_FAILED_FMT;
      dialog = nullptr;
      break;
    case COPY_WRITE_FAILED:
      format = MSG_WRITE_FILE_FAILED_FMT;
      dialog = nullptr;
      break;
  }
  char text[QX_MAX_PATH];
  FormatWithText(text, format, destination);
  MessageBoxA(dialog, text, MSG_CAPTION_ERROR, MB_OK);
}
