#include <windows.h>

#include <filesystem>

#include "tools/lib/scratch_files.h"

namespace {

const LONG kMaxPaths = 16;
wchar_t* g_paths[kMaxPaths];
volatile LONG g_count = 0;

// Runs on a thread of its own; the default handler then ends the process.
BOOL WINAPI RemoveAndExit(DWORD) {
  for (LONG i = 0; i < g_count; ++i) DeleteFileW(g_paths[i]);
  return FALSE;
}

}  // namespace

void RemoveOnInterrupt(const std::string& path) {
  if (g_count == 0) SetConsoleCtrlHandler(RemoveAndExit, TRUE);
  if (g_count >= kMaxPaths) return;
  const std::wstring wide = std::filesystem::u8path(path).wstring();
  g_paths[g_count] = _wcsdup(wide.c_str());
  if (g_paths[g_count]) InterlockedIncrement(&g_count);
}
