#include <cstdint>
#include <string>

#include "app/disk_room.h"
#include "app/install_log.h"
#include "app/install_plan.h"
#include "app/install_step.h"
#include "app/messages.h"
#include "app/staging.h"
#include "app/transaction.h"
#include "app/update_state.h"
#include "archive/archive.h"
#include "support/path_string.h"

namespace {

// What the new log needs on the disk beside the old one: the old lines and a
// line per entry.
uint64_t LogBytes(const char* logPath, const InstallPlan& plan) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  uint64_t bytes = 0;
  if (GetFileAttributesExA(logPath, GetFileExInfoStandard, &data))
    bytes = uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
  char line[QX_MAX_PATH];
  for (const PlannedEntry& entry : plan.entries)
    bytes += InstallLog::FormatPathLine(entry.destination.c_str(), line) + 2;  // and CR LF
  return bytes;
}

// Everything up to the commit; false with the failure noted, nothing left.
bool Prepare(qxArchive* reader, InstallLog* log, const char* logPath, InstallPlan* plan,
             InstallFailure* failure) {
  const char* installDir = g_update.installDir;
  if (!LoadInstallLog(logPath, log)) {
    failure->Note(MSG_READ_FILE_FAILED_FMT, logPath);
    return false;
  }
  if (!PlanInstall(reader, installDir, plan, failure)) return false;
  if (!HasRoomForPlan(*plan, LogBytes(logPath, *plan))) {
    failure->Note(MSG_DISK_FULL, std::string());
    return false;
  }
  char journalPath[QX_MAX_PATH];
  JournalPath(installDir, journalPath);
  const Journal staging = JournalOf(*plan, JOURNAL_STAGING);
  if (!WriteJournal(installDir, staging)) {
    failure->Note(MSG_WRITE_FILE_FAILED_FMT, journalPath);
    return false;
  }
  const bool staged =
      MakePlannedFolders(installDir, *plan, failure) && StageEntries(reader, plan, failure);
  if (staged) RemoveEmptyNewFolders(installDir, *plan);
  if (!staged || !CheckDestinations(*plan, logPath, failure) ||
      !WriteJournal(installDir, JournalOf(*plan, JOURNAL_COMMIT))) {
    if (!failure->Failed()) failure->Note(MSG_WRITE_FILE_FAILED_FMT, journalPath);
    CloseStagedFiles(plan);
    RollBack(installDir, staging);
    return false;
  }
  return true;
}

void Install(HWND dialog, qxArchive* reader) {
  char logPath[QX_MAX_PATH];
  JoinPath(logPath, 2, g_update.installDir, INSTALL_LOG_NAME);
  InstallLog log;
  InstallPlan plan;
  InstallFailure failure;
  if (!Prepare(reader, &log, logPath, &plan, &failure)) {
    ShowFailure(dialog, failure, MSG_NOT_APPLIED);
    return;
  }
  // Past this point the journal finishes the update, now or in the next run.
  if (!CommitStagedFiles(&plan, &failure) ||
      !RollForward(g_update.installDir, JournalOf(plan, JOURNAL_COMMIT), &log, &failure, true)) {
    ShowFailure(dialog, failure, MSG_RUN_AGAIN);
    return;
  }
  ShowWindow(dialog, SW_HIDE);
  MessageBoxA(dialog, MSG_UPDATE_DONE, MSG_CAPTION, MB_OK);
}

}  // namespace

void RunInstallStep(HWND dialog) {
  {
    qxArchive reader(32);
    if (reader.Open(g_update.workFile)) {
      Install(dialog, &reader);
    } else {
      MessageBoxA(dialog, MSG_WORK_OPEN_FAILED, MSG_CAPTION_ERROR, MB_OK);
    }
  }
  PostMessageA(dialog, WM_UPDATE_FINISH, 0, 0);
}
