#include <memory>
#include <new>

#include "app/entry_copy.h"
#include "app/messages.h"
#include "app/staging.h"
#include "app/version_gate.h"
#include "support/file.h"
#include "support/file_replace.h"
#include "support/flush_queue.h"
#include "support/path_string.h"

namespace {

int StagingMode(DWORD installedAttributes) {
  if (installedAttributes == INVALID_FILE_ATTRIBUTES) return 0;
  return ((installedAttributes & FILE_ATTRIBUTE_HIDDEN) ? FM_HIDDEN : 0) |
         ((installedAttributes & FILE_ATTRIBUTE_SYSTEM) ? FM_SYSTEM : 0);
}

// Staged files kept open for their renames at most; the rest are closed and
// renamed by name. Two file descriptors each under Wine, well within limits.
const int kMaxKeptOpen = 2048;
// Threads that flush staged files while the next are written.
const int kFlushWorkers = 4;

// Stages one entry; an executable refused by the gate is removed and skipped.
// An executable is closed at once, for the gate to read; another file is kept
// open, its flush queued, while there is room.
bool StageEntry(qxArchive* reader, PlannedEntry* planned, char* buffer, FlushQueue* flusher,
                uint32_t tag, int* keptOpen, InstallFailure* failure) {
  qxArchiveEntry* entry = reader->OpenEntry(planned->index);
  if (entry == NoArchiveEntry()) {
    failure->Note(MSG_READ_FILE_FAILED_FMT, planned->destination);
    return false;
  }
  const bool keep = !planned->executable && *keptOpen < kMaxKeptOpen;
  void* handle = nullptr;
  const EntryCopyResult copied =
      CopyEntryToFile(reader, entry, planned->staging.c_str(), StagingMode(planned->attributes),
                      buffer, keep ? &handle : nullptr);
  reader->CloseEntry(entry);
  if (copied != COPY_DONE) {
    failure->Note(CopyFailureFormat(copied), planned->destination);
    return false;
  }
  if (keep) {
    planned->staged = handle;
    ++*keptOpen;
    flusher->Add(handle, tag);
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
  FlushQueue flusher(kFlushWorkers);
  int keptOpen = 0;
  bool staged = true;
  for (std::size_t i = 0; staged && i < plan->entries.size(); ++i)
    staged = StageEntry(reader, &plan->entries[i], buffer.get(), &flusher, static_cast<uint32_t>(i),
                        &keptOpen, failure);
  uint32_t unflushed = 0;
  if (!flusher.Finish(&unflushed) && staged) {
    failure->Note(MSG_WRITE_FILE_FAILED_FMT, plan->entries[unflushed].destination);
    staged = false;
  }
  return staged ? 1 : 0;
}

void CloseStagedFiles(InstallPlan* plan) {
  for (PlannedEntry& entry : plan->entries) {
    if (entry.staged == INVALID_HANDLE_VALUE) continue;
    CloseHandle(entry.staged);
    entry.staged = INVALID_HANDLE_VALUE;
  }
}

int CommitStagedFiles(InstallPlan* plan, InstallFailure* failure) {
  for (PlannedEntry& entry : plan->entries) {
    if (entry.skipped) continue;
    const bool open = entry.staged != INVALID_HANDLE_VALUE;
    const int done = open ? CommitOpenStagedFile(entry.staged, entry.target.c_str())
                          : CommitStagedFile(entry.staging.c_str(), entry.target.c_str());
    if (!done) {
      failure->Note(MSG_UPDATE_FILE_FAILED_FMT, entry.destination);
      CloseStagedFiles(plan);
      return 0;
    }
    if (open) CloseHandle(entry.staged);
    entry.staged = INVALID_HANDLE_VALUE;
  }
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
    const Replaceability state = CheckReplaceable(entry.target.c_str());
    if (state != REPLACE_OK && state != REPLACE_ABSENT)
      failure->Note(MSG_UPDATE_FILE_FAILED_FMT, entry.destination);
  }
  const Replaceability log = CheckReplaceable(logPath);
  if (log != REPLACE_OK && log != REPLACE_ABSENT)
    failure->Note(MSG_UPDATE_FILE_FAILED_FMT, logPath);
  return !failure->Failed();
}
