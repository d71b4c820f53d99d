#include <cstring>

#include "support/file.h"

// Base bodies: a file interface that has no file behind it fails everything.
int qxFileBase::Open(const char*, int) { return 0; }
int qxFileBase::Close() { return 0; }
int qxFileBase::Read(void*, DWORD) { return -1; }
int qxFileBase::Write(const void*, DWORD) { return -1; }
int qxFileBase::Flush() { return 0; }
int qxFileBase::Tell() { return -1; }
DWORD qxFileBase::Seek(DWORD) { return 0xFFFFFFFF; }
const char* qxFileBase::GetName(char*) { return nullptr; }
DWORD qxFileBase::SizeOf(const char*) { return 0xFFFFFFFF; }
int qxFileBase::GetSize() { return -1; }
HANDLE qxFileBase::GetHandle() { return INVALID_HANDLE_VALUE; }
int qxFileBase::IsFile(const char*) { return 0; }
DWORD qxFileBase::GetAttributes(const char*) { return 0xFFFFFFFF; }
int qxFileBase::SetAttributes(const char*, DWORD) { return 0; }
int qxFileBase::Remove(const char*, int) { return 0; }

qxFile::qxFile() : mode(-1), handle(INVALID_HANDLE_VALUE), name{}, position(0) {}

qxFile::~qxFile() { CloseHandleOnly(); }

int qxFile::Open(const char* path, int openMode) {
  // The stored name holds 255 bytes; a longer path is refused rather than cut.
  if (!path || std::strlen(path) >= sizeof(name)) return 0;
  if (handle != INVALID_HANDLE_VALUE) return 0;
  HANDLE h;
  if (openMode & FM_REPLACE) {
    // Create; if anything stops that (it exists, mostly), empty the one there.
    DWORD attributes = (openMode & FM_TEMPORARY) ? FILE_ATTRIBUTE_TEMPORARY : 0;
    if (openMode & FM_HIDDEN) attributes |= FILE_ATTRIBUTE_HIDDEN;
    if (openMode & FM_SYSTEM) attributes |= FILE_ATTRIBUTE_SYSTEM;
    if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;
    const bool renamable = (openMode & FM_RENAMABLE) != 0;
    const DWORD access = GENERIC_WRITE | (renamable ? DELETE : 0);
    const DWORD share = renamable ? FILE_SHARE_READ | FILE_SHARE_DELETE : 0;
    h = CreateFileA(path, access, share, nullptr, CREATE_NEW, attributes, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      DWORD again = share | ((openMode & FM_READ) ? FILE_SHARE_READ : 0);
      h = CreateFileA(path, access, again, nullptr, TRUNCATE_EXISTING, attributes, nullptr);
    }
  } else {
    bool read = (openMode & FM_READ) != 0;
    DWORD access = read ? GENERIC_READ : GENERIC_WRITE;
    DWORD share = read ? FILE_SHARE_READ : 0;
    DWORD attributes = read ? 0 : FILE_ATTRIBUTE_NORMAL;
    DWORD disposition = ((openMode & FM_EXISTING) ? 3 : 0) | ((openMode & FM_NEW) ? 1 : 0) |
                        ((openMode & FM_ALWAYS) ? 4 : 0);
    h = CreateFileA(path, access, share, nullptr, disposition, attributes, nullptr);
  }
  handle = h;
  if (h == INVALID_HANDLE_VALUE) return 0;
  std::strcpy(name, path);
  mode = openMode;
  position = 0;
  return 1;
}

int qxFile::CloseHandleOnly() {
  if (handle == INVALID_HANDLE_VALUE) return 0;
  if (!CloseHandle(handle)) return 0;
  mode = -1;
  handle = INVALID_HANDLE_VALUE;
  name[0] = '\0';
  position = 0;
  return 1;
}

int qxFile::Close() { return CloseHandleOnly(); }

HANDLE qxFile::Release() {
  HANDLE released = handle;
  mode = -1;
  handle = INVALID_HANDLE_VALUE;
  name[0] = '\0';
  position = 0;
  return released;
}

int qxFile::Read(void* buffer, DWORD count) {
  if (handle == INVALID_HANDLE_VALUE) return -1;
  DWORD done = 0;
  if (!ReadFile(handle, buffer, count, &done, nullptr)) return -1;
  position += done;
  return static_cast<int>(done);
}

int qxFile::Write(const void* buffer, DWORD count) {
  if (handle == INVALID_HANDLE_VALUE) return -1;
  DWORD done = 0;
  if (!WriteFile(handle, buffer, count, &done, nullptr)) return -1;
  position += done;
  return static_cast<int>(done);
}

int qxFile::Flush() {
  if (handle == INVALID_HANDLE_VALUE) return 0;
  return FlushFileBuffers(handle) ? 1 : 0;
}

int qxFile::Tell() {
  if (handle == INVALID_HANDLE_VALUE) return -1;
  return static_cast<int>(position);
}

DWORD qxFile::Seek(DWORD offset) {
  if (handle == INVALID_HANDLE_VALUE) return 0xFFFFFFFF;
  DWORD size = GetFileSize(handle, nullptr);
  DWORD target = offset < size ? offset : size - 1;
  position = SetFilePointer(handle, static_cast<LONG>(target), nullptr, FILE_BEGIN);
  return position;
}

const char* qxFile::GetName(char* destination) {
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  if (destination) std::strcpy(destination, name);
  return name;
}

DWORD qxFile::SizeOf(const char* path) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(path, &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  FindClose(search);
  if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return 0;
  return found.nFileSizeLow;
}

int qxFile::GetSize() {
  if (handle == INVALID_HANDLE_VALUE) return -1;
  DWORD size = GetFileSize(handle, nullptr);
  if (size == 0xFFFFFFFF) return -1;
  return static_cast<int>(size);
}

HANDLE qxFile::GetHandle() { return handle; }

int qxFile::IsFile(const char* path) {
  UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS);
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(path, &found);
  int result = 0;
  if (search != INVALID_HANDLE_VALUE) {
    result = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : 1;
    FindClose(search);
  }
  SetErrorMode(previous);
  return result;
}

DWORD qxFile::GetAttributes(const char* path) {
  UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS);
  DWORD attributes = GetFileAttributesA(path);
  SetErrorMode(previous);
  return attributes;
}

int qxFile::SetAttributes(const char* path, DWORD attributes) {
  return SetFileAttributesA(path, attributes);
}

int qxFile::Remove(const char* path, int force) {
  DWORD attributes = GetAttributes(path);
  if (attributes == 0xFFFFFFFF) return 0;
  if (!force) {
    if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                      FILE_ATTRIBUTE_DIRECTORY))
      return 0;
    return DeleteFileA(path);
  }
  SetAttributes(path, FILE_ATTRIBUTE_NORMAL);
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return 0;
  return DeleteFileA(path);
}
