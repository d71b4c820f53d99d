#include <map>
#include <new>
#include <set>

#include "app/entry_name.h"
#include "app/install_plan.h"
#include "app/messages.h"
#include "support/file_replace.h"
#include "support/path_string.h"

namespace {

enum FolderState { FOLDER_EXISTS, FOLDER_NEW, FOLDER_BLOCKED };

struct Folder {
  FolderState state;
  std::size_t anchor;
};

bool IsAbsent(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

class Planner {
 public:
  Planner(const char* installDir, InstallPlan* plan, InstallFailure* failure)
      : installDir(installDir), plan(plan), failure(failure) {
    plan->anchors.push_back(installDir);
  }
  void Add(uint32_t index, const char* name, uint32_t size);
  void RefuseFoldersNamedAsFiles();

 private:
  Folder Resolve(const std::string& folder);
  bool Fail(const std::string& where) {
    failure->Note(MSG_UPDATE_FILE_FAILED_FMT, where);
    return false;
  }
  bool ReadInstalled(PlannedEntry* entry);

  const char* installDir;
  InstallPlan* plan;
  InstallFailure* failure;
  std::map<std::string, Folder> folders;  // relative, as the reader spells them
  std::set<std::string> names;
};

// Asked once per folder: one that exists is an anchor of its own (it may be
// a link to another volume); a new one lands on its parent's.
Folder Planner::Resolve(const std::string& folder) {
  auto known = folders.find(folder);
  if (known != folders.end()) return known->second;
  char full[QX_MAX_PATH], parent[QX_MAX_PATH];
  Folder result{FOLDER_BLOCKED, 0};
  if (JoinPath(full, 2, installDir, folder.c_str())) {
    const DWORD attributes = GetFileAttributesA(full);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      plan->anchors.push_back(full);
      result = {FOLDER_EXISTS, plan->anchors.size() - 1};
    } else if (attributes == INVALID_FILE_ATTRIBUTES && IsAbsent(GetLastError())) {
      const Folder above =
          GetDirectoryPart(folder.c_str(), parent) ? Resolve(parent) : Folder{FOLDER_EXISTS, 0};
      if (above.state != FOLDER_BLOCKED) {
        result = {FOLDER_NEW, above.anchor};
        plan->newDirectories.push_back(folder);
        plan->newDirectoryAnchors.push_back(above.anchor);
      }
    }
  }
  folders.emplace(folder, result);
  return result;
}

// The installed file's attributes; false when what is there cannot be
// replaced by a file.
bool Planner::ReadInstalled(PlannedEntry* entry) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  entry->attributes = INVALID_FILE_ATTRIBUTES;
  if (!GetFileAttributesExA(entry->destination.c_str(), GetFileExInfoStandard, &data))
    return IsAbsent(GetLastError()) || Fail(entry->destination);
  if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))
    return Fail(entry->destination);
  entry->attributes = data.dwFileAttributes;
  return true;
}

void Planner::Add(uint32_t index, const char* name, uint32_t size) {
  char destination[QX_MAX_PATH], staging[QX_MAX_PATH], folder[QX_MAX_PATH];
  if (!IsInstallableEntryName(name) || !names.insert(name).second) {
    Fail(name);
    return;
  }
  if (!JoinPath(destination, 2, installDir, name) ||
      !FormatStagingPath(destination, index, staging)) {
    Fail(destination[0] ? destination : name);
    return;
  }
  const Folder where = GetDirectoryPart(name, folder) ? Resolve(folder) : Folder{FOLDER_EXISTS, 0};
  if (where.state == FOLDER_BLOCKED) {
    Fail(destination);
    return;
  }
  PlannedEntry entry{index,        name,  destination, staging, size, INVALID_FILE_ATTRIBUTES,
                     where.anchor, false, false};
  entry.executable = lstrcmpiA(GetExtension(name), "exe") == 0;
  // In a folder this run makes there is no installed file to ask about.
  if (where.state == FOLDER_EXISTS && !ReadInstalled(&entry)) return;
  plan->entries.push_back(entry);
}

void Planner::RefuseFoldersNamedAsFiles() {
  char full[QX_MAX_PATH];
  for (const std::string& folder : plan->newDirectories)
    if (names.count(folder) && JoinPath(full, 2, installDir, folder.c_str())) Fail(full);
}

}  // namespace

int PlanInstall(qxArchive* reader, const char* installDir, InstallPlan* plan,
                InstallFailure* failure) {
  try {
    Planner planner(installDir, plan, failure);
    for (uint32_t i = 0;; ++i) {
      qxArchiveEntry* entry = reader->OpenEntry(i);
      if (entry == NoArchiveEntry()) break;
      char name[QX_MAX_PATH];
      reader->GetName(entry, name);
      const uint32_t size = reader->GetSize(entry);
      reader->CloseEntry(entry);
      planner.Add(i, name, size);
    }
    planner.RefuseFoldersNamedAsFiles();
  } catch (const std::bad_alloc&) {
    failure->Note(MSG_NO_MEMORY, std::string());
  }
  return !failure->Failed();
}
