#include <memory>
#include <new>

#include "app/message_text.h"
#include "app/messages.h"
#include "app/transaction.h"
#include "support/file.h"
#include "support/file_replace.h"
#include "support/path_string.h"

namespace {

// A journal is at most this large: a line per entry of 63 bytes or less.
const DWORD kJournalMax = 0x7FFFFFF0;

enum JournalFound {
  JOURNAL_NONE,
  JOURNAL_FOUND,
  JOURNAL_UNREADABLE,  // there, but it cannot be read now (held, refused)
  JOURNAL_DAMAGED,     // read, but it is no journal this updater wrote
};

JournalFound ReadJournal(const char* installDir, Journal* journal) {
  char path[QX_MAX_PATH];
  if (!JournalPath(installDir, path)) return JOURNAL_NONE;
  qxFile file;
  if (!file.Open(path, FM_READ_EXISTING)) {
    return IsNotFoundError(GetLastError()) ? JOURNAL_NONE : JOURNAL_UNREADABLE;
  }
  const int size = file.GetSize();
  if (size < 0 || static_cast<DWORD>(size) > kJournalMax) return JOURNAL_DAMAGED;
  std::string text;
  try {
    text.resize(static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    return JOURNAL_UNREADABLE;
  }
  if (size > 0 && file.Read(&text[0], static_cast<DWORD>(size)) != size) return JOURNAL_UNREADABLE;
  return ParseJournal(text, journal) ? JOURNAL_FOUND : JOURNAL_DAMAGED;
}

void DeleteJournal(const char* installDir) {
  char path[QX_MAX_PATH];
  if (JournalPath(installDir, path)) DeleteFileA(path);
}

// The destination and staging paths of a journal entry; 0 when they do not fit.
int EntryPaths(const char* installDir, const JournalEntry& entry, char* destination,
               char* staging) {
  return JoinPath(destination, 2, installDir, entry.name.c_str()) &&
         FormatStagingPath(destination, entry.index, staging);
}

}  // namespace

int JournalPath(const char* installDir, char* out) {
  return JoinPath(out, 2, installDir, QX_JOURNAL_NAME);
}

void ShowFailure(HWND dialog, const InstallFailure& failure, const char* closing) {
  char text[QX_MAX_REPORT];
  FormatReport(text, failure.format, failure.path.c_str(), failure.more, MSG_MORE_FAILED_FMT,
               closing);
  MessageBoxA(dialog, text, MSG_CAPTION_ERROR, MB_OK);
}

int WriteJournal(const char* installDir, const Journal& journal) {
  char path[QX_MAX_PATH], sibling[QX_MAX_PATH];
  if (!JournalPath(installDir, path) || !FormatSiblingPath(path, sibling)) return 0;
  std::string text;
  try {
    text = FormatJournal(journal);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  qxFile file;
  if (!file.Open(sibling, FM_WRITE_REPLACE)) return 0;
  const bool written =
      file.Write(text.data(), static_cast<DWORD>(text.size())) == static_cast<int>(text.size()) &&
      file.Flush();
  if (!file.Close() || !written) {
    DeleteFileA(sibling);
    return 0;
  }
  return ReplaceWithSibling(sibling, path);
}

int LoadInstallLog(const char* logPath, InstallLog* log) {
  if (log->Load(logPath)) return 1;
  return GetFileAttributesA(logPath) == INVALID_FILE_ATTRIBUTES && IsNotFoundError(GetLastError());
}

void RollBack(const char* installDir, const Journal& journal) {
  char destination[QX_MAX_PATH], staging[QX_MAX_PATH], directory[QX_MAX_PATH];
  for (const JournalEntry& entry : journal.entries)
    if (EntryPaths(installDir, entry, destination, staging)) DeleteFileA(staging);
  for (auto it = journal.directories.rbegin(); it != journal.directories.rend(); ++it)
    if (JoinPath(directory, 2, installDir, it->c_str())) RemoveDirectoryA(directory);
  DeleteJournal(installDir);
}

int RollForward(const char* installDir, const Journal& journal, InstallLog* log,
                InstallFailure* failure, bool renamed) {
  char destination[QX_MAX_PATH], staging[QX_MAX_PATH], line[QX_MAX_PATH], target[QX_MAX_PATH];
  for (const JournalEntry& entry : journal.entries) {
    if (!EntryPaths(installDir, entry, destination, staging)) continue;  // never staged
    // A staging file that is gone was renamed before an interruption. The
    // journal holds names as the archive spells them; the rename keeps the
    // installed file's spelling, as the interrupted run's own would have.
    if (!renamed && !(SpellAsInstalled(destination, target) && CommitStagedFile(staging, target)) &&
        GetLastError() != ERROR_FILE_NOT_FOUND) {
      failure->Note(MSG_UPDATE_FILE_FAILED_FMT, destination);
      return 0;
    }
    if (InstallLog::FormatPathLine(destination, line)) log->Add(line);
  }
  char logPath[QX_MAX_PATH];
  JoinPath(logPath, 2, installDir, INSTALL_LOG_NAME);
  log->SortUnique();
  if (!log->Save(logPath)) {
    failure->Note(MSG_WRITE_FILE_FAILED_FMT, logPath);
    return 0;
  }
  DeleteJournal(installDir);
  return 1;
}

int FinishInterruptedUpdate(HWND dialog, const char* installDir) {
  char sibling[QX_MAX_PATH], path[QX_MAX_PATH], logPath[QX_MAX_PATH];
  if (!JournalPath(installDir, path) || !JoinPath(logPath, 2, installDir, INSTALL_LOG_NAME))
    return 1;
  if (FormatSiblingPath(path, sibling)) DeleteFileA(sibling);
  Journal journal;
  InstallFailure failure;
  InstallLog log;
  const JournalFound found = ReadJournal(installDir, &journal);
  if (found == JOURNAL_NONE) return 1;
  if (found == JOURNAL_DAMAGED) {
    // Nothing it says can be trusted or acted on; this run installs every
    // entry whole anyway.
    DeleteJournal(installDir);
    return 1;
  }
  if (found == JOURNAL_FOUND && journal.state == JOURNAL_STAGING) {
    RollBack(installDir, journal);
    return 1;
  }
  if (found == JOURNAL_UNREADABLE) {
    failure.Note(MSG_READ_FILE_FAILED_FMT, path);
  } else if (!LoadInstallLog(logPath, &log)) {
    failure.Note(MSG_READ_FILE_FAILED_FMT, logPath);
  } else if (RollForward(installDir, journal, &log, &failure)) {
    return 1;
  }
  ShowFailure(dialog, failure, MSG_RESUME_FAILED);
  return 0;
}
