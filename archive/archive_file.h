// The four file operations of the archive reader: Win32 in the product
// (archive_file_win32.cpp), POSIX in the host build (archive_file_posix.cpp,
// for tools, sanitizers and fuzzing).
#ifndef QX_ARCHIVE_ARCHIVE_FILE_H
#define QX_ARCHIVE_ARCHIVE_FILE_H

#include <cstdint>

#ifdef _WIN32
typedef void* ArchiveFileHandle;  // a HANDLE
#define ARCHIVE_NO_FILE (reinterpret_cast<ArchiveFileHandle>(~uintptr_t(0)))
#else
typedef int ArchiveFileHandle;
#define ARCHIVE_NO_FILE (-1)
#endif

// Opens an existing file for reading, shared with other readers; ARCHIVE_NO_FILE
// when it cannot (a folder included).
ArchiveFileHandle ArchiveFileOpen(const char* path);
// Size of the file, for checking the index's claims; 0xFFFFFFFF when unknown
// or when it does not fit 32 bits (a size taken modulo 2^32 would refuse good
// archives of 4 GiB or more).
uint32_t ArchiveFileSize(ArchiveFileHandle file);
// Moves to position from the start: 0 when the position cannot be reached
// (2 GiB or more among others), so that a read never delivers bytes from
// wherever the last one left off.
int ArchiveFileSeek(ArchiveFileHandle file, uint32_t position);
// Bytes read, at most n: short only at the end of the file or on error.
uint32_t ArchiveFileRead(ArchiveFileHandle file, void* buffer, uint32_t n);
void ArchiveFileClose(ArchiveFileHandle file);

#endif
