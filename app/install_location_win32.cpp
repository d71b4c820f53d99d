#include <shlobj.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "app/install_location.h"
#include "support/file.h"
#include "support/path_string.h"
#include "support/system_library.h"

namespace {

struct FolderSource {
  int csidl;
  const char* registryValue;  // null: no fallback
};

// Indexed by selector code; 6 and 7 do not use the shell.
const FolderSource kFolders[12] = {
    {CSIDL_DESKTOPDIRECTORY, "Desktop"},
    {CSIDL_COMMON_DESKTOPDIRECTORY, nullptr},
    {CSIDL_STARTMENU, "Start Menu"},
    {CSIDL_PROGRAMS, "Programs"},
    {CSIDL_COMMON_PROGRAMS, nullptr},
    {CSIDL_PERSONAL, "Personal"},
    {0, nullptr},
    {0, nullptr},
    {CSIDL_COMMON_APPDATA, "AppData"},
    {CSIDL_APPDATA, "AppData"},
    {CSIDL_PROGRAM_FILES, nullptr},
    {CSIDL_MYPICTURES, "My Pictures"},
};

const char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

}  // namespace

// Last resort of GetSpecialFolder; the registry type of the value is not checked.
// A value need not end in a NUL: one shorter than the buffer gets one, one that
// fills the buffer must carry its own.
int GetSpecialFolderFromRegistry(const char* valueName, char* out) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kShellFolders, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  DWORD size = QX_MAX_PATH;
  LONG status =
      RegQueryValueExA(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(out), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || size > QX_MAX_PATH) return 0;
  if (size < QX_MAX_PATH) {
    out[size] = '\0';
  } else if (out[QX_MAX_PATH - 1] != '\0') {
    out[0] = '\0';
    return 0;
  }
  return 1;
}

namespace {

// A system folder query (GetTempPathA, GetWindowsDirectoryA) that reports 0
// on failure and the size it needs when the buffer is too small.
int FitsBuffer(UINT length, char* out) {
  if (length == 0 || length >= QX_MAX_PATH) {
    out[0] = '\0';
    return 0;
  }
  return 1;
}

}  // namespace

int GetSpecialFolder(unsigned code, char* out) {
  if (code > 11) return 0;
  if (code == FOLDER_TEMP) return FitsBuffer(GetTempPathA(QX_MAX_PATH, out), out);
  if (code == FOLDER_WINDOWS) return FitsBuffer(GetWindowsDirectoryA(out, QX_MAX_PATH), out);
  const FolderSource& source = kFolders[code];
  // The shell is loaded here, after WinMain restricted the DLL search: it
  // brings many DLLs with it, safe only where the system treats them all as
  // known (under Wine its shlwapi took shcore.dll from the updater's folder).
  HRESULT(WINAPI * folderPath)(HWND, int, HANDLE, DWORD, LPSTR) = nullptr;
  BOOL(WINAPI * specialFolderPath)(HWND, LPSTR, int, BOOL) = nullptr;
  if (FindSystemFunction("shell32.dll", "SHGetFolderPathA", &folderPath) &&
      folderPath(nullptr, source.csidl, nullptr, 0, out) >= 0)
    return 1;
  if (FindSystemFunction("shell32.dll", "SHGetSpecialFolderPathA", &specialFolderPath) &&
      specialFolderPath(nullptr, out, source.csidl, FALSE))
    return 1;
  if (!source.registryValue) return 0;
  return GetSpecialFolderFromRegistry(source.registryValue, out);
}

namespace {

// The whole file plus 8 zero bytes, so the text is always terminated.
char* ReadWholeFile(const char* path) {
  qxFile file;
  if (!file.Open(path, FM_READ_EXISTING)) return nullptr;
  int size = file.GetSize();
  if (size < 0 || size > 0x7FFFFFF0) return nullptr;
  char* text = new (std::nothrow) char[static_cast<unsigned>(size) + 8]();
  if (!text) return nullptr;
  if (file.Read(text, static_cast<DWORD>(size)) != size) {
    delete[] text;
    return nullptr;
  }
  return text;
}

}  // namespace

int GetInstallPath(char* out, const char* brand, const char* title) {
  char folder[QX_MAX_PATH];
  if (!GetSpecialFolder(FOLDER_COMMON_APPDATA, folder)) return 0;
  char fileName[QX_MAX_PATH];
  int n = std::snprintf(fileName, sizeof(fileName), "%s.xml", title);
  if (n < 0 || n >= static_cast<int>(sizeof(fileName))) return 0;
  char path[QX_MAX_PATH];
  if (!JoinPath(path, 3, folder, brand, fileName)) return 0;
  char* text = ReadWholeFile(path);
  if (!text) return 0;
  int found = ExtractInstallPath(text, out);
  delete[] text;
  return found;
}
