#include <windows.h>

#include "support/file.h"
#include "support/file_replace.h"
#include "support/path_string.h"

int ReplaceWithSibling(const char* sibling, const char* destination) {
  // Windows refuses to rename over a read-only file, but Wine's rename does
  // not: the refusal is made here, so that both keep such a file.
  DWORD attributes = GetFileAttributesA(destination);
  bool refused = attributes != INVALID_FILE_ATTRIBUTES &&
                 (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY));
  if (!refused &&
      MoveFileExA(sibling, destination, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return 1;
  DeleteFileA(sibling);
  return 0;
}

Replaceability CheckReplaceable(const char* destination) {
  const DWORD attributes = GetFileAttributesA(destination);
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return IsNotFoundError(GetLastError()) ? REPLACE_ABSENT : REPLACE_HELD;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return REPLACE_FOLDER;
  if (attributes & FILE_ATTRIBUTE_READONLY) return REPLACE_READ_ONLY;
  // Every sharing is allowed here, so only a program that denies delete
  // sharing makes this fail, as it would make the rename fail.
  HANDLE file =
      CreateFileA(destination, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return REPLACE_HELD;
  CloseHandle(file);
  return REPLACE_OK;
}

int CommitStagedFile(const char* staged, const char* destination) {
  return MoveFileExA(staged, destination, MOVEFILE_REPLACE_EXISTING) ? 1 : 0;
}

int SpellAsInstalled(const char* path, char* out) {
  WIN32_FIND_DATAA found;
  char folder[QX_MAX_PATH];
  const HANDLE find = FindFirstFileA(path, &found);
  if (find == INVALID_HANDLE_VALUE) return JoinPath(out, 1, path);
  FindClose(find);
  if (!GetDirectoryPart(path, folder)) return JoinPath(out, 1, path);
  return JoinPath(out, 2, folder, found.cFileName);
}

namespace {

struct IoStatus {
  LONG status;
  ULONG_PTR information;
};
struct RenameInformation {
  BOOLEAN replaceIfExists;
  HANDLE rootDirectory;
  ULONG fileNameLength;
  WCHAR fileName[QX_MAX_PATH + 8];
};
typedef LONG(WINAPI* SetInformationFn)(HANDLE, IoStatus*, void*, ULONG, int);
const int kFileRenameInformation = 10;

// destination as the native calls name it: "\??\C:\..." or "\??\UNC\server\...".
ULONG NativePath(const char* destination, WCHAR* out, ULONG room) {
  const bool unc = destination[0] == '\\' && destination[1] == '\\';
  const WCHAR* prefix = unc ? L"\\??\\UNC" : L"\\??\\";
  ULONG n = 0;
  while (prefix[n]) out[n] = prefix[n], ++n;
  const int converted =
      MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, destination + (unc ? 1 : 0), -1, out + n,
                          static_cast<int>(room - n));
  return converted > 0 ? n + static_cast<ULONG>(converted) - 1 : 0;
}

}  // namespace

int CommitOpenStagedFile(void* staged, const char* destination) {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  FARPROC found = ntdll ? GetProcAddress(ntdll, "NtSetInformationFile") : nullptr;
  SetInformationFn set = reinterpret_cast<SetInformationFn>(reinterpret_cast<void*>(found));
  RenameInformation info = {};
  info.replaceIfExists = TRUE;
  const ULONG length = NativePath(destination, info.fileName, QX_MAX_PATH + 8);
  if (!set || length == 0) return 0;
  info.fileNameLength = length * sizeof(WCHAR);
  IoStatus io = {};
  return set(staged, &io, &info, sizeof info, kFileRenameInformation) >= 0;
}
