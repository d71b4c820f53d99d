#include <cstdint>
#include <memory>
#include <new>

#include "app/disk_room.h"
#include "app/install_step.h"
#include "app/messages.h"
#include "app/transaction.h"
#include "app/update_dialog.h"
#include "app/update_state.h"
#include "support/file.h"
#include "support/inflate.h"
#include "support/payload.h"
#include "support/process.h"

namespace {

const INT_PTR kDialogEndCode = 2;

void EndWithError(HWND dialog, const char* text) {
  MessageBoxA(dialog, text, MSG_CAPTION_ERROR, MB_OK);
  EndDialog(dialog, kDialogEndCode);
}

// Bytes per write of the work file: the inflater's buffer. Large enough that
// the system calls cost nothing next to inflation, small enough that no write
// stalls the disk and that memory does not grow with the update.
const uint32_t kWorkWriteSize = 256 * 1024;

// Writes each piece of the inflated archive to the work file.
class WorkFileSink : public InflateSink {
 public:
  explicit WorkFileSink(qxFile* file) : file(file) {}
  int Take(const void* bytes, uint32_t count) override {
    const int written = file->Write(bytes, count);
    return written >= 0 && static_cast<uint32_t>(written) == count;
  }

 private:
  qxFile* file;
};

// The payload's stream read from the updater's own file in pieces, as far as
// the resource reaches: its pages never join the process's memory, however
// large the update.
class PayloadFileSource : public InflateSource {
 public:
  PayloadFileSource(HANDLE file, uint32_t left, char* buffer, uint32_t bufferSize)
      : file(file), left(left), buffer(buffer), bufferSize(bufferSize) {}
  uint32_t Next(const void** data) override {
    DWORD got = 0;
    const DWORD want = left < bufferSize ? left : bufferSize;
    if (want == 0 || !ReadFile(file, buffer, want, &got, nullptr)) return 0;
    left -= got;
    *data = buffer;
    return got;
  }

 private:
  HANDLE file;
  uint32_t left;
  char* buffer;
  uint32_t bufferSize;
};

// The updater's own file, positioned at the payload's stream; null when the
// resource cannot be read from it (the mapped resource is used then).
HANDLE OpenPayloadStream(const void* resource, uint32_t size) {
  uint32_t offset = 0;
  wchar_t self[32768];
  const DWORD n = GetModuleFileNameW(g_update.instance, self, sizeof self / sizeof self[0]);
  if (n == 0 || n >= sizeof self / sizeof self[0] ||
      !FindInImageFile(g_update.instance, resource, size, &offset))
    return nullptr;
  HANDLE file = CreateFileW(self, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  if (SetFilePointer(file, static_cast<LONG>(offset + QX_PAYLOAD_HEADER_SIZE), nullptr,
                     FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
    CloseHandle(file);
    return nullptr;
  }
  return file;
}

// Inflates the payload into the work file: read from the updater's file when
// it can be, else from the mapped resource.
InflateResult UnpackPayload(const void* resource, uint32_t size, uint32_t unpackedSize,
                            char* buffer, InflateSink* sink) {
  const uint32_t streamLength = size - QX_PAYLOAD_HEADER_SIZE;
  HANDLE file = OpenPayloadStream(resource, size);
  if (!file) {
    return InflateStream(static_cast<const char*>(resource) + QX_PAYLOAD_HEADER_SIZE, streamLength,
                         unpackedSize, buffer, kWorkWriteSize, sink);
  }
  std::unique_ptr<char[]> input(new (std::nothrow) char[kWorkWriteSize]);
  InflateResult result = INFLATE_NO_MEMORY;
  if (input) {
    PayloadFileSource source(file, streamLength, input.get(), kWorkWriteSize);
    result = InflateStream(&source, unpackedSize, buffer, kWorkWriteSize, sink);
  }
  CloseHandle(file);
  return result;
}

const char* InflateFailureText(InflateResult result) {
  switch (result) {
    case INFLATE_NO_MEMORY:
      return MSG_NO_MEMORY;
    case INFLATE_STOPPED:
      return MSG_WORK_WRITE_FAILED;
    default:
      return MSG_PAYLOAD_DAMAGED;
  }
}

// The payload is streamed into the work file. Its header is checked before
// the work file is made; a stream that turns out damaged, or a failed write,
// removes the work file before the box, so that the install directory is left
// as it was.
void RunUnpackStep(HWND dialog) {
  // What a killed run left is finished first, and its files leave room.
  if (!FinishInterruptedUpdate(dialog, g_update.installDir))
    return (void)EndDialog(dialog, kDialogEndCode);
  HRSRC found = FindResourceA(g_update.instance, QX_PAYLOAD_NAME, QX_PAYLOAD_TYPE);
  if (!found) return EndWithError(dialog, MSG_PAYLOAD_NOT_FOUND);
  HGLOBAL loaded = LoadResource(g_update.instance, found);
  if (!loaded) return EndWithError(dialog, MSG_PAYLOAD_NOT_LOADED);
  const DWORD size = SizeofResource(g_update.instance, found);
  const void* resource = LockResource(loaded);
  PayloadHeader header = {};
  if (size != 0 && resource && !CheckPayload(resource, size, &header)) {
    return EndWithError(dialog, MSG_PAYLOAD_NOT_LOADED);
  }
  // The header is known and nothing has been made yet: the work file must fit.
  if (!RemoveWorkFileAndCheckRoom(dialog, header.unpackedSize))
    return (void)EndDialog(dialog, kDialogEndCode);
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kWorkWriteSize]);
  if (!buffer) return EndWithError(dialog, MSG_NO_MEMORY);

  qxFile work;
  if (!work.Open(g_update.workFile, FM_WRITE_REPLACE | FM_TEMPORARY)) {
    return EndWithError(dialog, MSG_WORK_CREATE_FAILED);
  }
  // Reported with the work file made and left empty, as they always were.
  if (size == 0) return EndWithError(dialog, MSG_PAYLOAD_SIZE_FAILED);
  if (!resource) return EndWithError(dialog, MSG_PAYLOAD_LOCK_FAILED);
  WorkFileSink sink(&work);
  const InflateResult result =
      UnpackPayload(resource, size, header.unpackedSize, buffer.get(), &sink);
  const bool closed = work.Close() != 0;
  if (result != INFLATE_DONE || !closed) {
    DeleteFileA(g_update.workFile);
    return EndWithError(
        dialog, result == INFLATE_DONE ? MSG_WORK_WRITE_FAILED : InflateFailureText(result));
  }
  PostMessageA(dialog, WM_UPDATE_INSTALL, 0, 0);
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
