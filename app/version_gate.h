// Executable version gate: an executable entry replaces the installed file
// only when its FileVersion is not lower. The version library works on files,
// so the entry is first extracted to a temporary copy beside the installed one.
#ifndef QX_APP_VERSION_GATE_H
#define QX_APP_VERSION_GATE_H

#include <windows.h>

#include <cstdint>

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
// zero), 0 otherwise.
int ReadVersionInfo(const char* path, VersionInfoRecord* record);

// 1 when the executable entry name (as the reader lists it) is to be installed
// over installDir\name: its FileVersion is not lower than the installed
// file's, or the installed file is missing or has no version resource. 0 when
// it is lower, when the entry has no version resource, and on any failure to
// extract it (a short write is shown to the user). The temporary copy is
// removed on every path; the entry is rewound to its start on return.
int CheckExeVersion(const char* installDir, qxArchive* reader, qxArchiveEntry* entry,
                    const char* name);

#endif
