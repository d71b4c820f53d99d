#include <cstring>

#include "app/disk_room.h"
#include "app/entry_name.h"
#include "app/messages.h"
#include "app/update_state.h"
#include "support/disk_space.h"
#include "support/path_string.h"

namespace {

// Sizes are counted in whole clusters of a common size; files that the volume
// keeps in less only make the estimate generous.
const uint64_t kCluster = 4096;

uint64_t ClusterBytes(uint64_t size) { return (size + kCluster - 1) / kCluster * kCluster; }

int Refuse(HWND dialog) {
  MessageBoxA(dialog, MSG_DISK_FULL, MSG_CAPTION_ERROR, MB_OK);
  return 0;
}

// Size of the installed file at path; 0 when there is none.
uint64_t InstalledSize(const char* path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return 0;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return 0;
  return static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

// What the install writes: with exact, the growth over the installed files;
// without, every entry whole (no file system call, an upper bound).
struct InstallNeed {
  uint64_t written = 0;
  uint64_t largest = 0;
  uint64_t logLines = 0;
};

InstallNeed MeasureInstall(qxArchive* reader, uint32_t workFileSize, const char* installDir,
                           bool exact) {
  InstallNeed need;
  const uint64_t dirLength = std::strlen(installDir);
  for (uint32_t i = 0;; ++i) {
    qxArchiveEntry* entry = reader->OpenEntry(i);
    if (entry == NoArchiveEntry()) break;
    char name[QX_MAX_PATH];
    reader->GetName(entry, name);
    uint32_t size = reader->GetSize(entry);
    reader->CloseEntry(entry);
    if (!IsInstallableEntryName(name)) continue;
    uint64_t bytes = ClusterBytes(size < workFileSize ? size : workFileSize);
    if (bytes > need.largest) need.largest = bytes;
    need.logLines += dirLength + std::strlen(name) + 5;  // "DIR\NAME" and CR LF
    if (exact) {
      char destination[QX_MAX_PATH];
      uint64_t old =
          JoinPath(destination, 2, installDir, name) ? ClusterBytes(InstalledSize(destination)) : 0;
      bytes = bytes > old ? bytes - old : 0;
    }
    need.written += bytes;
  }
  return need;
}

uint64_t Needed(const InstallNeed& need, uint64_t logBytes) {
  uint64_t log = ClusterBytes(logBytes + need.logLines);
  return need.written + (need.largest > log ? need.largest : log);
}

}  // namespace

int CheckRoomForWorkFile(HWND dialog, uint32_t unpackedSize) {
  DeleteFileA(g_update.workFile);
  uint64_t free = 0;
  if (!GetFreeBytes(g_update.installDir, &free)) return 1;
  return free >= ClusterBytes(unpackedSize) ? 1 : Refuse(dialog);
}

int CheckRoomForInstall(HWND dialog, qxArchive* reader) {
  const char* installDir = g_update.installDir;
  uint64_t free = 0;
  if (!GetFreeBytes(installDir, &free)) return 1;
  uint64_t work = InstalledSize(g_update.workFile);
  uint32_t workFileSize = work < UINT32_MAX ? static_cast<uint32_t>(work) : UINT32_MAX;
  char logPath[QX_MAX_PATH];
  uint64_t logBytes =
      JoinPath(logPath, 2, installDir, INSTALL_LOG_NAME) ? InstalledSize(logPath) : 0;
  // Every entry whole needs no look at the installed files; only when that
  // does not fit are their sizes asked, one call each.
  if (free >= Needed(MeasureInstall(reader, workFileSize, installDir, false), logBytes)) return 1;
  if (free >= Needed(MeasureInstall(reader, workFileSize, installDir, true), logBytes)) return 1;
  return Refuse(dialog);
}
