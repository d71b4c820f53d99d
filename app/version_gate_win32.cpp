#include <cstddef>
#include <memory>
#include <new>

#include "app/messages.h"
#include "app/version_gate.h"
#include "app/version_text.h"
#include "support/file.h"
#include "support/path_string.h"

namespace {

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

void ReadStrings(void* block, DWORD key, VersionInfoRecord* record) {
  for (const VersionField& field : kFields) {
    char query[64];
    wsprintfA(query, "\\StringFileInfo\\%08x\\%s", key, field.name);
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block, query, &value, &length) || !value || length == 0) continue;
    char* target = reinterpret_cast<char*>(record) + field.offset;
    CopyFieldText(target, VERSION_STRING_SIZE, static_cast<const char*>(value), length);
  }
}

// Writes the whole entry into the open file. 0 when the entry cannot be read
// whole or the file is written short (which the user is told about).
int ExtractEntry(qxArchive* reader, qxArchiveEntry* entry, qxFile* copy) {
  uint32_t size = reader->GetSize(entry);
  void* block = GlobalAlloc(GPTR, size ? size : 1);
  if (!block) return 0;
  int ok = reader->Read(entry, block, size) == size;
  reader->Seek(entry, 0, 0);
  if (ok && copy->Write(block, size) != static_cast<int>(size)) {
    MessageBoxA(nullptr, MSG_GATE_WRITE_FAILED, MSG_CAPTION_ERROR, MB_OK);
    ok = 0;
  }
  GlobalFree(block);
  return ok;
}

// The gate's verdict on an extracted copy against the installed file.
int CompareVersions(const char* newPath, const char* installedPath) {
  std::unique_ptr<VersionInfoRecord> fresh(new (std::nothrow) VersionInfoRecord);
  std::unique_ptr<VersionInfoRecord> old(new (std::nothrow) VersionInfoRecord);
  if (!fresh || !old) return 0;
  if (!ReadVersionInfo(newPath, fresh.get())) return 0;
  if (!ReadVersionInfo(installedPath, old.get())) return 1;
  if (fresh->fileVersionMS != old->fileVersionMS)
    return fresh->fileVersionMS > old->fileVersionMS ? 1 : 0;
  return fresh->fileVersionLS >= old->fileVersionLS ? 1 : 0;
}

}  // namespace

int ReadVersionInfo(const char* path, VersionInfoRecord* record) {
  ZeroBytes(record, sizeof *record);
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(path, &ignored);
  if (size == 0) return 0;
  std::unique_ptr<char[]> block(new (std::nothrow) char[size]);
  if (!block || !GetFileVersionInfoA(path, 0, size, block.get())) return 0;
  void* table = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.get(), "\\VarFileInfo\\Translation", &table, &length) || !table ||
      length < 2 * sizeof(WORD))
    return 1;
  const WORD* pair = static_cast<const WORD*>(table);
  DWORD key = static_cast<DWORD>(pair[0]) << 16 | pair[1];
  ReadStrings(block.get(), key, record);
  ParseFileVersion(record->fileVersion, &record->fileVersionMS, &record->fileVersionLS);
  return 1;
}

int CheckExeVersion(const char* installDir, qxArchive* reader, qxArchiveEntry* entry,
                    const char* name) {
  reader->Seek(entry, 0, 0);
  char tempPath[QX_MAX_PATH];
  char installedPath[QX_MAX_PATH];
  if (!FormatGatePaths(installDir, name, tempPath, installedPath)) return 0;
  qxFile copy;
  if (!copy.Open(tempPath, FM_WRITE_REPLACE)) return 0;
  int result = 0;
  if (ExtractEntry(reader, entry, &copy)) {
    copy.Close();
    result = CompareVersions(tempPath, installedPath);
  }
  copy.Close();
  DeleteFileA(tempPath);
  reader->Seek(entry, 0, 0);
  return result;
}
