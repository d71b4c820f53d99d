#include <cstdint>
#include <memory>
#include <new>

#include "app/disk_room.h"
#include "app/install_step.h"
#include "app/messages.h"
#include "app/update_dialog.h"
#include "app/update_state.h"
#include "support/file.h"
#include "support/inflate.h"
#include "support/payload.h"
#include "support/process.h"

namespace {

const char kPayloadType[] = "UPDATEDATA";
const char kPayloadName[] = "DATA";
const INT_PTR kDialogEndCode = 2;

void EndWithError(HWND dialog, const char* text) {
  MessageBoxA(dialog, text, MSG_CAPTION_ERROR, MB_OK);
  EndDialog(dialog, kDialogEndCode);
}

// The archive as inflated from the payload, owned until it is written.
struct UnpackedArchive {
  std::unique_ptr<char[]> bytes;
  uint32_t size = 0;
};

enum InflateOutcome { INFLATED, REFUSED, NO_MEMORY, DAMAGED };

InflateOutcome InflatePayload(const void* resource, DWORD size, UnpackedArchive* archive) {
  PayloadHeader header;
  if (!CheckPayload(resource, size, &header)) return REFUSED;
  // One byte of room beyond the header's size tells a stream that is longer
  // than the header says (its archive would be cut short) from a true one.
  const uint32_t room = header.unpackedSize < INT32_MAX ? header.unpackedSize + 1 : INT32_MAX;
  archive->bytes.reset(new (std::nothrow) char[room]);
  if (!archive->bytes) return NO_MEMORY;
  archive->size = header.unpackedSize;
  const int32_t capacity = static_cast<int32_t>(room);
  InflateEnd end = INFLATE_END_DAMAGED;
  const int stored = InflateBuffer(archive->bytes.get(), capacity,
                                   static_cast<const char*>(resource) + QX_PAYLOAD_HEADER_SIZE,
                                   size - QX_PAYLOAD_HEADER_SIZE, &end);
  if (stored < 0) return NO_MEMORY;
  // Bytes after a stream that ended with a good checksum are only padding.
  const bool ended = end == INFLATE_END_CLEAN || end == INFLATE_END_TRAILING;
  if (static_cast<uint32_t>(stored) != header.unpackedSize || !ended) return DAMAGED;
  return INFLATED;
}

// Writes the archive to the work file; the work file is created (and left
// empty) before a zero-size or unlockable resource is reported.
void WriteWorkFile(HWND dialog, DWORD resourceSize, const void* resource,
                   const UnpackedArchive& archive) {
  qxFile work;
  if (!work.Open(g_update.workFile, FM_WRITE_REPLACE)) {
    return EndWithError(dialog, MSG_WORK_CREATE_FAILED);
  }
  if (resourceSize == 0) return EndWithError(dialog, MSG_PAYLOAD_SIZE_FAILED);
  if (!resource) return EndWithError(dialog, MSG_PAYLOAD_LOCK_FAILED);
  const int written = work.Write(archive.bytes.get(), archive.size);
  if (written < 0 || static_cast<uint32_t>(written) != archive.size) {
    MessageBoxA(dialog, MSG_WORK_WRITE_FAILED, MSG_CAPTION_ERROR, MB_OK);
    work.Close();
    DeleteFileA(g_update.workFile);
    EndDialog(dialog, kDialogEndCode);
    return;
  }
  work.Close();
  PostMessageA(dialog, WM_UPDATE_INSTALL, 0, 0);
}

// The payload is inflated and checked before the work file is made, so that a
// refused or damaged payload leaves the install directory as it was.
void RunUnpackStep(HWND dialog) {
  HRSRC found = FindResourceA(g_update.instance, kPayloadName, kPayloadType);
  if (!found) return EndWithError(dialog, MSG_PAYLOAD_NOT_FOUND);
  HGLOBAL loaded = LoadResource(g_update.instance, found);
  if (!loaded) return EndWithError(dialog, MSG_PAYLOAD_NOT_LOADED);
  const DWORD size = SizeofResource(g_update.instance, found);
  const void* resource = LockResource(loaded);
  UnpackedArchive archive;
  if (size != 0 && resource) {
    switch (InflatePayload(resource, size, &archive)) {
      case INFLATED:
        if (!CheckRoomForWorkFile(dialog, archive.size))
          return (void)EndDialog(dialog, kDialogEndCode);
        break;
      case REFUSED:
        return EndWithError(dialog, MSG_PAYLOAD_NOT_LOADED);
      case NO_MEMORY:
        return EndWithError(dialog, MSG_NO_MEMORY);
      case DAMAGED:
        DeleteFileA(g_update.workFile);  // one left by an earlier run is not ours to keep
        return EndWithError(dialog, MSG_PAYLOAD_DAMAGED);
    }
  }
  WriteWorkFile(dialog, size, resource, archive);
}

void RunFinishStep(HWND dialog) {
  DeleteFileA(g_update.workFile);
  EndDialog(dialog, kDialogEndCode);
}

}  // namespace

INT_PTR CALLBACK UpdateDialogProc(HWND dialog, UINT message, WPARAM, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      CenterWindow(GetDesktopWindow(), dialog);
      PostMessageA(dialog, WM_UPDATE_UNPACK, 0, 0);
      break;
    case WM_UPDATE_UNPACK:
      RunUnpackStep(dialog);
      break;
    case WM_UPDATE_INSTALL:
      RunInstallStep(dialog);
      break;
    case WM_UPDATE_FINISH:
      RunFinishStep(dialog);
      break;
  }
  return FALSE;
}
