// The four file operations of the archive reader. The product calls Win32
// directly; the host build (tools, sanitizers, fuzzing) maps them onto POSIX.
#ifndef QX_ARCHIVE_ARCHIVE_FILE_H
#define QX_ARCHIVE_ARCHIVE_FILE_H

#include <cstdint>

#ifdef _WIN32
#include <windows.h>
typedef HANDLE ArchiveFileHandle;
#define ARCHIVE_NO_FILE INVALID_HANDLE_VALUE

// CreateFileA: GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL.
inline ArchiveFileHandle ArchiveFileOpen(const char* path) {
  return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}
// Size of the file, for checking the index's claims; 0xFFFFFFFF when unknown
// or when it does not fit 32 bits (a size taken modulo 2^32 would refuse good
// archives of 4 GiB or more).
inline uint32_t ArchiveFileSize(ArchiveFileHandle file) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file, &size) || size.QuadPart < 0 || size.QuadPart >= 0xFFFFFFFFll) {
    return 0xFFFFFFFFu;
  }
  return static_cast<uint32_t>(size.QuadPart);
}
// SetFilePointer from FILE_BEGIN with no high part: positions are below 2 GiB.
// 0 when the pointer did not move (a position of 2 GiB or more among others),
// so that a read never delivers bytes from wherever the pointer was left.
inline int ArchiveFileSeek(ArchiveFileHandle file, uint32_t position) {
  return SetFilePointer(file, static_cast<LONG>(position), nullptr, FILE_BEGIN) !=
         INVALID_SET_FILE_POINTER;
}
inline uint32_t ArchiveFileRead(ArchiveFileHandle file, void* buffer, uint32_t n) {
  DWORD got = 0;
  if (!ReadFile(file, buffer, n, &got, nullptr)) return 0;
  return got;
}
inline void ArchiveFileClose(ArchiveFileHandle file) { CloseHandle(file); }

#else
typedef int ArchiveFileHandle;
#define ARCHIVE_NO_FILE (-1)

ArchiveFileHandle ArchiveFileOpen(const char* path);
uint32_t ArchiveFileSize(ArchiveFileHandle file);
int ArchiveFileSeek(ArchiveFileHandle file, uint32_t position);
uint32_t ArchiveFileRead(ArchiveFileHandle file, void* buffer, uint32_t n);
void ArchiveFileClose(ArchiveFileHandle file);
#endif

#endif
