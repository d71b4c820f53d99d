#include <cstring>
#include <map>
#include <new>
#include <set>

#include "app/entry_name.h"
#include "app/install_plan.h"
#include "app/messages.h"
#include "support/file.h"
#include "support/file_replace.h"
#include "support/path_string.h"

namespace {

enum FolderState { FOLDER_EXISTS, FOLDER_NEW, FOLDER_BLOCKED };

// What a folder holds, by name upper-cased as the reader upper-cases.
struct Installed {
  DWORD attributes;
  std::string spelling;
};
typedef std::map<std::string, Installed> Listing;

struct Folder {
  FolderState state;
  std::size_t anchor;
  std::string full;
  Listing listing;  // of an existing folder
};

// One pass over the folder instead of a question per file.
Listing List(const std::string& full) {
  Listing listing;
  char pattern[QX_MAX_PATH];
  WIN32_FIND_DATAA found;
  if (!JoinPath(pattern, 2, full.c_str(), "*")) return listing;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return listing;
  do {
    char upper[QX_MAX_PATH];
    CopyBytes(upper, found.cFileName, std::strlen(found.cFileName) + 1);
    MakeUpper(upper);
    listing.emplace(upper, Installed{found.dwFileAttributes, found.cFileName});
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return listing;
}

class Planner {
 public:
  Planner(const char* installDir, InstallPlan* plan, InstallFailure* failure)
      : installDir(installDir), plan(plan), failure(failure) {
    plan->anchors.push_back(installDir);
    folders.emplace("", Folder{FOLDER_EXISTS, 0, installDir, List(installDir)});
  }
  void Add(uint32_t index, const char* name, uint32_t size);
  void RefuseFoldersNamedAsFiles();

 private:
  const Folder& Resolve(const std::string& folder);
  bool Fail(const std::string& where) {
    failure->Note(MSG_UPDATE_FILE_FAILED_FMT, where);
    return false;
  }
  bool ReadInstalled(const Folder& folder, const char* name, PlannedEntry* entry);

  const char* installDir;
  InstallPlan* plan;
  InstallFailure* failure;
  std::map<std::string, Folder> folders;  // relative, as the reader spells them; "" the top
  std::set<std::string> names;
};

// Asked once per folder: one that exists is an anchor of its own (it may be
// a link to another volume) and is listed; a new one lands on its parent's.
const Folder& Planner::Resolve(const std::string& folder) {
  auto known = folders.find(folder);
  if (known != folders.end()) return known->second;
  char full[QX_MAX_PATH], parent[QX_MAX_PATH];
  Folder result{FOLDER_BLOCKED, 0, std::string(), Listing()};
  if (JoinPath(full, 2, installDir, folder.c_str())) {
    result.full = full;
    const DWORD attributes = GetFileAttributesA(full);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      plan->anchors.push_back(full);
      result.state = FOLDER_EXISTS;
      result.anchor = plan->anchors.size() - 1;
      result.listing = List(full);
    } else if (attributes == INVALID_FILE_ATTRIBUTES && IsNotFoundError(GetLastError())) {
      const std::string above = GetDirectoryPart(folder.c_str(), parent) ? parent : "";
      const Folder& outer = Resolve(above);
      if (outer.state != FOLDER_BLOCKED) {
        result.state = FOLDER_NEW;
        result.anchor = outer.anchor;
        plan->newDirectories.push_back(folder);
        plan->newDirectoryAnchors.push_back(outer.anchor);
      }
    }
  }
  return folders.emplace(folder, result).first->second;
}

// The installed file's attributes and spelling, from its folder's listing;
// false when what is there cannot be replaced by a file.
bool Planner::ReadInstalled(const Folder& folder, const char* name, PlannedEntry* entry) {
  auto found = folder.listing.find(name);
  if (found == folder.listing.end()) return true;
  if (found->second.attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))
    return Fail(entry->destination);
  char target[QX_MAX_PATH];
  entry->attributes = found->second.attributes;
  if (JoinPath(target, 2, folder.full.c_str(), found->second.spelling.c_str()))
    entry->target = target;
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
  const bool nested = GetDirectoryPart(name, folder) != 0;
  const Folder& where = Resolve(nested ? folder : "");
  if (where.state == FOLDER_BLOCKED) {
    Fail(destination);
    return;
  }
  PlannedEntry entry{
      index,        name,  destination, destination,         staging, size, INVALID_FILE_ATTRIBUTES,
      where.anchor, false, false,       INVALID_HANDLE_VALUE};
  entry.executable = IsExecutableName(name) != 0;
  const char* leaf = nested ? name + std::strlen(folder) + 1 : name;
  // In a folder this run makes there is no installed file to ask about.
  if (where.state == FOLDER_EXISTS && !ReadInstalled(where, leaf, &entry)) return;
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
