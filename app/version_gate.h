// Executable version gate: an executable entry replaces the installed file
// only when its FileVersion is not lower. The version library works on files,
// so the gate reads the entry's staged copy, the very file that the commit
// then renames over the installed one.
#ifndef QX_APP_VERSION_GATE_H
#define QX_APP_VERSION_GATE_H

#include <windows.h>

#include <cstdint>

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
// zero), 0 when it has none (or is no executable at all), VERSION_NO_MEMORY
// when its block cannot be allocated, VERSION_UNREADABLE when the file cannot
// be read (missing, held, access refused) and VERSION_NO_LIBRARY when the
// version library cannot be loaded from the system folder: none of those may
// ever read as "no version".
enum { VERSION_NO_MEMORY = -1, VERSION_UNREADABLE = -2, VERSION_NO_LIBRARY = -3 };
int ReadVersionInfo(const char* path, VersionInfoRecord* record);

enum GateVerdict {
  GATE_INSTALL,  // not lower than the installed file's, or nothing to compare with
  GATE_SKIP,     // lower than the installed file's, or the new one has no version resource
  GATE_FAILED,   // the versions cannot be compared: *failureFormat tells why
};

// Compares the FileVersion of the staged executable with that of the file at
// installedPath (installed: whether there is one). An installed file without
// a version resource is replaced; one whose version cannot be read stops the
// update (*failureFormat: MSG_VERSION_UNREADABLE_FMT, MSG_NO_MEMORY, or
// MSG_UPDATE_FILE_FAILED_FMT without the version library), never downgrading
// a newer executable that the updater may not read.
GateVerdict CheckExeVersion(const char* stagedPath, const char* installedPath, bool installed,
                            const char** failureFormat);

#endif
