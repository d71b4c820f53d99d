#include <windows.h>

#include "support/disk_space.h"
#include "support/file.h"
#include "support/file_replace.h"
#include "support/path_string.h"

namespace {

// The native calls that answer for an open handle, whatever links led to it;
// ntdll is in every process, so nothing is loaded for them.
struct IoStatus {
  LONG status;
  ULONG_PTR information;
};
struct FsFullSize {
  LARGE_INTEGER totalUnits, callerAvailableUnits, actualAvailableUnits;
  ULONG sectorsPerUnit, bytesPerSector;
};
struct StandardInfo {
  LARGE_INTEGER allocationSize, endOfFile;
  ULONG links;
  BOOLEAN deletePending, directory;
};
typedef LONG(WINAPI* QueryVolumeFn)(HANDLE, IoStatus*, void*, ULONG, int);
typedef LONG(WINAPI* QueryFileFn)(HANDLE, IoStatus*, void*, ULONG, int);
const int kFileFsFullSizeInformation = 7;
const int kFileStandardInformation = 5;

template <typename Function>
Function Native(const char* name) {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  FARPROC found = ntdll ? GetProcAddress(ntdll, name) : nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(found));
}

}  // namespace

int QueryVolumeSpace(const char* directory, VolumeSpace* space) {
  QueryVolumeFn query = Native<QueryVolumeFn>("NtQueryVolumeInformationFile");
  if (!query) return 0;
  HANDLE folder = CreateFileA(directory, FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return 0;
  BY_HANDLE_FILE_INFORMATION info;
  FsFullSize size = {};
  IoStatus io = {};
  const bool known = GetFileInformationByHandle(folder, &info) &&
                     query(folder, &io, &size, sizeof size, kFileFsFullSizeInformation) >= 0;
  CloseHandle(folder);
  if (!known) return 0;
  const uint64_t unit = uint64_t(size.sectorsPerUnit) * size.bytesPerSector;
  if (unit == 0 || unit > 0xFFFFFFFFu) return 0;
  space->serial = info.dwVolumeSerialNumber;
  space->cluster = static_cast<uint32_t>(unit);
  space->totalBytes = uint64_t(size.totalUnits.QuadPart) * unit;
  space->freeBytes = uint64_t(size.callerAvailableUnits.QuadPart) * unit;
  return 1;
}

uint32_t ProbeAllocationUnit(const char* directory) {
  QueryFileFn query = Native<QueryFileFn>("NtQueryInformationFile");
  char path[QX_MAX_PATH];
  if (!query || !JoinPath(path, 2, directory, QX_SIBLING_NAME)) return 0;
  qxFile probe;
  if (!probe.Open(path, FM_WRITE_REPLACE)) return 0;
  StandardInfo info = {};
  IoStatus io = {};
  // Flushed, so that a volume that allocates late has allocated.
  const bool seen =
      probe.Write("q", 1) == 1 && probe.Flush() &&
      query(probe.GetHandle(), &io, &info, sizeof info, kFileStandardInformation) >= 0;
  probe.Close();
  DeleteFileA(path);
  const uint64_t unit = seen ? uint64_t(info.allocationSize.QuadPart) : 0;
  return unit <= 0xFFFFFFFFu ? static_cast<uint32_t>(unit) : 0;
}
