// Executable version gate: an executable entry replaces the installed file
// only when its FileVersion is not lower. The version library works on files,
// so the entry is extracted into the very sibling that the install step then
// renames over the installed file: one extraction, no second copy.
#ifndef QX_APP_VERSION_GATE_H
#define QX_APP_VERSION_GATE_H

#include <windows.h>

#include <cstdint>

#include "app/entry_copy.h"
#include "archive/archive.h"

enum { VERSION_STRING_SIZE = 256 };

// The version strings of one file (empty when absent, cut to fit) and the
// version words read from its FileVersion string.
struct VersionInfoRecord {
  char comments[VERSION_STRING_SIZE];
  char companyName[VERSION_STRING_SIZE];
  char fileDescription[VERSION_STRING_SIZE];
  char fileVersion[VERSION_STRING_SIZE];
  char internalName[VERSION_STRING_SIZE];
  char legalCopyright[VERSION_STRING_SIZE];
  char legalTrademarks[VERSION_STRING_SIZE];
  char originalFilename[VERSION_STRING_SIZE];
  char productName[VERSION_STRING_SIZE];
  char productVersion[VERSION_STRING_SIZE];
  char privateBuild[VERSION_STRING_SIZE];
  char specialBuild[VERSION_STRING_SIZE];
  uint32_t fileVersionLS;  // third component << 16 | fourth
  uint32_t fileVersionMS;  // first component << 16 | second
};

// Fills record (zeroed first) from the version resource of the file at path,
// using the first language/code-page pair of its translation table. 1 when the
// file has a version resource (without a translation table the record stays
// zero), 0 when it has none, VERSION_NO_MEMORY when its block cannot be
// allocated, VERSION_NO_LIBRARY when the version library cannot be loaded
// from the system folder (neither must ever read as "no version").
enum { VERSION_NO_MEMORY = -1, VERSION_NO_LIBRARY = -2 };
int ReadVersionInfo(const char* path, VersionInfoRecord* record);

enum GateVerdict {
  GATE_INSTALL,  // copyPath holds the whole entry, flushed: rename it into place
  GATE_SKIP,     // lower than the installed file's, or no version resource
  GATE_FAILED,   // *failure tells why; to be reported like any entry's failure
};

// Extracts the executable entry into copyPath and compares its FileVersion
// with the file at installedPath: installed when not lower, or when that file
// is missing or has no version resource. On every verdict but GATE_INSTALL
// the copy is removed. The entry is rewound to its start on return.
GateVerdict CheckExeVersion(qxArchive* reader, qxArchiveEntry* entry, const char* copyPath,
                            const char* installedPath, EntryCopyResult* failure);

#endif
