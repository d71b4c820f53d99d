#include <memory>
#include <new>

#include "app/install_log.h"
#include "support/file.h"
#include "support/file_replace.h"
#include "support/process.h"

// Room behind the text: ReadLine may look one byte past a final CR, and the
// text must end in a NUL.
enum : DWORD { LOAD_SLACK = 8, LOAD_MAX = 0x7FFFFFFF - LOAD_SLACK - 4 };
// Lines are written in pieces of at most this size, not one call per line.
enum : DWORD { SAVE_BUFFER = 64 * 1024 };

int InstallLog::Load(const char* path) {
  qxFile file;
  if (!file.Open(path, FM_READ_EXISTING)) return 0;
  int size = file.GetSize();
  if (size < 0 || static_cast<DWORD>(size) > LOAD_MAX) return 0;
  DWORD blockSize = static_cast<DWORD>(size) + LOAD_SLACK;
  char* text = static_cast<char*>(AllocHeapBlock(blockSize));
  if (!text) return 0;
  ZeroBytes(text, blockSize);
  if (file.Read(text, static_cast<DWORD>(size)) != size) {
    ReleaseHeapBlock(text);
    return 0;
  }
  file.Close();
  LoadText(text);
  ReleaseHeapBlock(text);
  return 1;
}

int InstallLog::Save(const char* path) const {
  char sibling[QX_MAX_PATH];
  if (!FormatSiblingPath(path, sibling)) return 0;
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[SAVE_BUFFER]);
  if (!buffer) return 0;
  qxFile file;
  if (!file.Open(sibling, FM_WRITE_REPLACE)) return 0;
  DWORD used = 0;
  int ok = 1;
  for (const InstallLogLine& line : lines) {
    if (used > SAVE_BUFFER - INSTALL_LOG_FORMATTED_SIZE) {
      ok = ok && file.Write(buffer.get(), used) == static_cast<int>(used);
      used = 0;
    }
    used += static_cast<DWORD>(FormatLine(line.text, buffer.get() + used));
  }
  ok = ok && file.Write(buffer.get(), used) == static_cast<int>(used) && file.Flush();
  ok = file.Close() && ok;
  if (!ok) {
    DeleteFileA(sibling);
    return 0;
  }
  return ReplaceWithSibling(sibling, path);
}
