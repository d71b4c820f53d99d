// Win32 file access of the archive reader.
#include <windows.h>

#include "archive/archive_file.h"

static_assert(sizeof(ArchiveFileHandle) == sizeof(HANDLE), "a handle is a HANDLE");

ArchiveFileHandle ArchiveFileOpen(const char* path) {
  return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

uint32_t ArchiveFileSize(ArchiveFileHandle file) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file, &size) || size.QuadPart < 0 || size.QuadPart >= 0xFFFFFFFFll) {
    return 0xFFFFFFFFu;
  }
  return static_cast<uint32_t>(size.QuadPart);
}

// SetFilePointer from FILE_BEGIN with no high part: positions are below 2 GiB.
int ArchiveFileSeek(ArchiveFileHandle file, uint32_t position) {
  return SetFilePointer(file, static_cast<LONG>(position), nullptr, FILE_BEGIN) !=
         INVALID_SET_FILE_POINTER;
}

uint32_t ArchiveFileRead(ArchiveFileHandle file, void* buffer, uint32_t n) {
  DWORD got = 0;
  if (!ReadFile(file, buffer, n, &got, nullptr)) return 0;
  return got;
}

void ArchiveFileClose(ArchiveFileHandle file) { CloseHandle(file); }
