#include <memory>
#include <new>

#include "app/entry_copy.h"
#include "app/messages.h"
#include "app/staging.h"
#include "app/version_gate.h"
#include "support/file.h"
#include "support/file_replace.h"
#include "support/path_string.h"

namespace {

int StagingMode(DWORD installedAttributes) {
  if (installedAttributes == INVALID_FILE_ATTRIBUTES) return 0;
  return ((installedAttributes & FILE_ATTRIBUTE_HIDDEN) ? FM_HIDDEN : 0) |
         ((installedAttributes & FILE_ATTRIBUTE_SYSTEM) ? FM_SYSTEM : 0);
}

// Stages one entry; an executable refused by the gate is removed and skipped.
bool StageEntry(qxArchive* reader, PlannedEntry* planned, char* buffer, InstallFailure* failure) {
  qxArchiveEntry* entry = reader->OpenEntry(planned->index);
  if (entry == NoArchiveEntry()) {
    failure->Note(MSG_READ_FILE_FAILED_FMT, planned->destination);
    return false;
  }
  const EntryCopyResult copied =
      CopyEntryToFile(reader, entry, planned->staging.c_str(), StagingMode(planned->attributes),
                      buffer, ENTRY_COPY_STEP);
  reader->CloseEntry(entry);
  if (copied != COPY_DONE) {
    failure->Note(CopyFailureFormat(copied), planned->destination);
    return false;
  }
  if (!planned->executable) return true;
  const char* why = nullptr;
  switch (CheckExeVersion(planned->staging.c_str(), planned->destination.c_str(),
                          planned->attributes != INVALID_FILE_ATTRIBUTES, &why)) {
    case GATE_INSTALL:
      return true;
    case GATE_SKIP:
      planned->skipped = true;
      DeleteFileA(planned->staging.c_str());
      return true;
    case GATE_FAILED:
      break;
  }
  failure->Note(why, planned->destination);
  return false;
}

}  // namespace

Journal JournalOf(const InstallPlan& plan, JournalState state) {
  Journal journal;
  journal.state = state;
  journal.directories = plan.newDirectories;
  for (const PlannedEntry& entry : plan.entries)
    if (state == JOURNAL_STAGING || !entry.skipped)
      journal.entries.push_back({entry.index, entry.name});
  return journal;
}

int MakePlannedFolders(const char* installDir, const InstallPlan& plan, InstallFailure* failure) {
  char full[QX_MAX_PATH];
  for (const std::string& folder : plan.newDirectories) {
    if (!JoinPath(full, 2, installDir, folder.c_str()) ||
        (!CreateDirectoryA(full, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)) {
      failure->Note(MSG_UPDATE_FILE_FAILED_FMT, full);
      return 0;
    }
  }
  return 1;
}

int StageEntries(qxArchive* reader, InstallPlan* plan, InstallFailure* failure) {
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[ENTRY_COPY_STEP]);
  if (!buffer) {
    failure->Note(MSG_NO_MEMORY, std::string());
    return 0;
  }
  for (PlannedEntry& entry : plan->entries)
    if (!StageEntry(reader, &entry, buffer.get(), failure)) return 0;
  return 1;
}

void RemoveEmptyNewFolders(const char* installDir, const InstallPlan& plan) {
  char full[QX_MAX_PATH];
  for (auto it = plan.newDirectories.rbegin(); it != plan.newDirectories.rend(); ++it)
    if (JoinPath(full, 2, installDir, it->c_str())) RemoveDirectoryA(full);
}

int CheckDestinations(const InstallPlan& plan, const char* logPath, InstallFailure* failure) {
  for (const PlannedEntry& entry : plan.entries) {
    if (entry.skipped || entry.attributes == INVALID_FILE_ATTRIBUTES) continue;
    const Replaceability state = CheckReplaceable(entry.destination.c_str());
    if (state != REPLACE_OK && state != REPLACE_ABSENT)
      failure->Note(MSG_UPDATE_FILE_FAILED_FMT, entry.destination);
  }
  const Replaceability log = CheckReplaceable(logPath);
  if (log != REPLACE_OK && log != REPLACE_ABSENT)
    failure->Note(MSG_UPDATE_FILE_FAILED_FMT, logPath);
  return !failure->Failed();
}
