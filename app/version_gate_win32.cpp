#include <cstddef>
#include <cstdio>
#include <memory>
#include <new>

#include "app/messages.h"
#include "app/version_gate.h"
#include "app/version_text.h"
#include "support/path_string.h"
#include "support/system_library.h"

namespace {

// The version library's functions, from the system folder (never statically
// imported: version.dll is no known DLL).
struct VersionLibrary {
  DWORD(WINAPI* getSize)(LPCSTR, LPDWORD);
  BOOL(WINAPI* getInfo)(LPCSTR, DWORD, DWORD, LPVOID);
  BOOL(WINAPI* query)(LPCVOID, LPCSTR, LPVOID*, PUINT);
};

// Looked up once; null when any function is missing.
const VersionLibrary* GetVersionLibrary() {
  static const VersionLibrary* const library = [] {
    static VersionLibrary found;
    bool all = FindSystemFunction("version.dll", "GetFileVersionInfoSizeA", &found.getSize) &&
               FindSystemFunction("version.dll", "GetFileVersionInfoA", &found.getInfo) &&
               FindSystemFunction("version.dll", "VerQueryValueA", &found.query);
    return all ? &found : nullptr;
  }();
  return library;
}

struct VersionField {
  const char* name;
  std::size_t offset;
};

const VersionField kFields[] = {
    {"Comments", offsetof(VersionInfoRecord, comments)},
    {"CompanyName", offsetof(VersionInfoRecord, companyName)},
    {"FileDescription", offsetof(VersionInfoRecord, fileDescription)},
    {"FileVersion", offsetof(VersionInfoRecord, fileVersion)},
    {"InternalName", offsetof(VersionInfoRecord, internalName)},
    {"LegalCopyright", offsetof(VersionInfoRecord, legalCopyright)},
    {"LegalTrademarks", offsetof(VersionInfoRecord, legalTrademarks)},
    {"OriginalFilename", offsetof(VersionInfoRecord, originalFilename)},
    {"ProductName", offsetof(VersionInfoRecord, productName)},
    {"ProductVersion", offsetof(VersionInfoRecord, productVersion)},
    {"PrivateBuild", offsetof(VersionInfoRecord, privateBuild)},
    {"SpecialBuild", offsetof(VersionInfoRecord, specialBuild)},
};

void ReadStrings(const VersionLibrary& version, void* block, DWORD key, VersionInfoRecord* record) {
  for (const VersionField& field : kFields) {
    char query[64];
    std::snprintf(query, sizeof query, "\\StringFileInfo\\%08lx\\%s", key, field.name);
    void* value = nullptr;
    UINT length = 0;
    if (!version.query(block, query, &value, &length) || !value || length == 0) continue;
    char* target = reinterpret_cast<char*>(record) + field.offset;
    CopyFieldText(target, VERSION_STRING_SIZE, static_cast<const char*>(value), length);
  }
}

// Errors by which the version library says a file has no version resource
// (or is no executable), as against one it cannot read.
bool IsNoVersion(DWORD error) {
  switch (error) {
    case ERROR_RESOURCE_DATA_NOT_FOUND:
    case ERROR_RESOURCE_TYPE_NOT_FOUND:
    case ERROR_RESOURCE_NAME_NOT_FOUND:
    case ERROR_RESOURCE_LANG_NOT_FOUND:
    case ERROR_BAD_EXE_FORMAT:
    case ERROR_BAD_FORMAT:
      return true;
    default:
      return false;
  }
}

}  // namespace

int ReadVersionInfo(const char* path, VersionInfoRecord* record) {
  ZeroBytes(record, sizeof *record);
  const VersionLibrary* version = GetVersionLibrary();
  if (!version) return VERSION_NO_LIBRARY;
  DWORD ignored = 0;
  DWORD size = version->getSize(path, &ignored);
  if (size == 0) return IsNoVersion(GetLastError()) ? 0 : VERSION_UNREADABLE;
  std::unique_ptr<char[]> block(new (std::nothrow) char[size]);
  if (!block) return VERSION_NO_MEMORY;
  if (!version->getInfo(path, 0, size, block.get())) return VERSION_UNREADABLE;
  void* table = nullptr;
  UINT length = 0;
  if (!version->query(block.get(), "\\VarFileInfo\\Translation", &table, &length) || !table ||
      length < 2 * sizeof(WORD))
    return 1;
  const WORD* pair = static_cast<const WORD*>(table);
  DWORD key = static_cast<DWORD>(pair[0]) << 16 | pair[1];
  ReadStrings(*version, block.get(), key, record);
  ParseFileVersion(record->fileVersion, &record->fileVersionMS, &record->fileVersionLS);
  return 1;
}

GateVerdict CheckExeVersion(const char* stagedPath, const char* installedPath, bool installed,
                            const char** failureFormat) {
  std::unique_ptr<VersionInfoRecord> fresh(new (std::nothrow) VersionInfoRecord);
  std::unique_ptr<VersionInfoRecord> old(new (std::nothrow) VersionInfoRecord);
  *failureFormat = MSG_NO_MEMORY;
  if (!fresh || !old) return GATE_FAILED;
  const int readNew = ReadVersionInfo(stagedPath, fresh.get());
  if (readNew == 0) return GATE_SKIP;  // a new executable without a version never goes in
  const int readOld = readNew == 1 && installed ? ReadVersionInfo(installedPath, old.get()) : 0;
  if (readNew < 0 || readOld < 0) {
    if (readNew == VERSION_UNREADABLE || readOld == VERSION_UNREADABLE)
      *failureFormat = MSG_VERSION_UNREADABLE_FMT;
    if (readNew == VERSION_NO_LIBRARY) *failureFormat = MSG_UPDATE_FILE_FAILED_FMT;
    return GATE_FAILED;
  }
  if (readOld == 0) return GATE_INSTALL;
  return FileVersionKey(fresh->fileVersionMS, fresh->fileVersionLS) >=
                 FileVersionKey(old->fileVersionMS, old->fileVersionLS)
             ? GATE_INSTALL
             : GATE_SKIP;
}
