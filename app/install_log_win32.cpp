#include "app/install_log.h"
#include "support/file.h"
#include "support/process.h"

// Room behind the text: ReadLine may look one byte past a final CR, and the
// text must end in a NUL.
enum : DWORD { LOAD_SLACK = 8, LOAD_MAX = 0x7FFFFFFF - LOAD_SLACK - 4 };

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
  qxFile file;
  if (!file.Open(path, FM_WRITE_REPLACE)) return 0;
  char formatted[INSTALL_LOG_FORMATTED_SIZE];
  for (const InstallLogLine& line : lines) {
    std::size_t n = FormatLine(line.text, formatted);
    file.Write(formatted, static_cast<DWORD>(n));
  }
  file.Close();
  return 1;
}
