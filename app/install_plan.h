// What an update will do, found before anything is written: each entry's
// destination and staging file, the installed file it replaces, the folders
// the run must make and the existing folders (anchors) the entries land
// under, which tell the volumes that receive files.
#ifndef QX_APP_INSTALL_PLAN_H
#define QX_APP_INSTALL_PLAN_H

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/transaction.h"
#include "archive/archive.h"

struct PlannedEntry {
  uint32_t index;           // in the archive; it names the staging file
  std::string name;         // relative, as the reader lists it
  std::string destination;  // the install directory and the name, as logged and shown
  std::string target;       // the same file as the folder spells it, for renaming over
  std::string staging;      // beside the destination
  uint32_t size;
  DWORD attributes;    // of the installed file; INVALID_FILE_ATTRIBUTES: none
  std::size_t anchor;  // index in InstallPlan::anchors
  bool executable;     // goes through the version gate
  bool skipped;        // refused by the gate once staged: nothing to commit
  HANDLE staged;       // the staging file kept open for its rename, or INVALID_HANDLE_VALUE
};

struct InstallPlan {
  std::vector<PlannedEntry> entries;
  std::vector<std::string> newDirectories;  // relative, outermost first
  std::vector<std::size_t> newDirectoryAnchors;
  std::vector<std::string> anchors;  // full paths of existing folders; 0 is the install directory
};

// Walks every entry of the open archive into plan; each existing folder that
// receives entries is listed once, which tells every installed file's
// attributes and spelling. Notes each entry the
// updater cannot write: a name it refuses, one already taken, a path too long,
// a folder or read-only file where the file should be, a file where a folder
// should be, a name needed both as file and as folder. 1 when nothing was
// noted.
int PlanInstall(qxArchive* reader, const char* installDir, InstallPlan* plan,
                InstallFailure* failure);

#endif
