#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "app/disk_room.h"
#include "app/entry_copy.h"
#include "app/entry_name.h"
#include "app/install_log.h"
#include "app/install_step.h"
#include "app/message_text.h"
#include "app/messages.h"
#include "app/update_state.h"
#include "app/version_gate.h"
#include "archive/archive.h"
#include "support/file_replace.h"
#include "support/path_string.h"

namespace {

// A run that has gone this long since the log was last saved saves it again
// after the entry at hand, so that a kill loses at most this much of the log.
const DWORD kLogCheckpointMs = 2000;

void ShowError(HWND owner, const char* format, const char* path) {
  char text[QX_MAX_PATH];
  FormatWithText(text, format, path);
  MessageBoxA(owner, text, MSG_CAPTION_ERROR, MB_OK);
}

class InstallRun {
 public:
  InstallRun(HWND dialog, qxArchive* reader, InstallLog* log, const char* logPath)
      : dialog(dialog), reader(reader), log(log), installDir(g_update.installDir) {
    FormatSiblingPath(logPath, rootSibling);
  }
  void InstallEntry(qxArchiveEntry* entry);

 private:
  void Log(const char* destination);
  void MarkKnown(const char* directory);
  bool DirectoryExists(const char* directory);
  bool MakeDirectory(const char* directory);
  void InstallExecutable(qxArchiveEntry* entry, const char* directory, const char* destination);
  void Replace(const char* sibling, const char* destination);

  HWND dialog;
  qxArchive* reader;
  InstallLog* log;
  const char* installDir;
  char rootSibling[QX_MAX_PATH];  // the sibling in the install directory itself
  // Directories below the install directory (as the reader spells them) that
  // this run has made or seen: none of them is asked about or made again.
  std::set<std::string> known;
};

void InstallRun::Log(const char* destination) {
  char line[QX_MAX_PATH];
  int n = std::snprintf(line, sizeof line, "\"%s\"", destination);
  if (n > 0 && n < QX_MAX_PATH) log->Add(line);
}

// The directory and every directory above it exist.
void InstallRun::MarkKnown(const char* directory) {
  std::string part = directory;
  char parent[QX_MAX_PATH];
  // A directory already known has its parents known too.
  while (known.insert(part).second && GetDirectoryPart(part.c_str(), parent)) part = parent;
}

// Asked once per directory and run; only the version gate needs to know
// without making it.
bool InstallRun::DirectoryExists(const char* directory) {
  if (known.count(directory)) return true;
  char full[QX_MAX_PATH];
  if (!JoinPath(full, 2, installDir, directory)) return false;
  DWORD attributes = GetFileAttributesA(full);
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    return false;
  MarkKnown(directory);
  return true;
}

// Makes the directory and those above it that this run has not met, outermost
// first: one call for each. One that exists already counts as made.
bool InstallRun::MakeDirectory(const char* directory) {
  if (known.count(directory)) return true;
  char parent[QX_MAX_PATH];
  if (GetDirectoryPart(directory, parent) && !MakeDirectory(parent)) return false;
  char full[QX_MAX_PATH];
  if (!JoinPath(full, 2, installDir, directory)) return false;
  if (!CreateDirectoryA(full, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
  known.insert(directory);
  return true;
}

void InstallRun::Replace(const char* sibling, const char* destination) {
  if (!ReplaceWithSibling(sibling, destination))
    ShowError(dialog, MSG_UPDATE_FILE_FAILED_FMT, destination);
}

// The gate extracts the entry into the sibling that then replaces the
// installed file. In a directory that does not exist yet, the copy goes into
// the install directory, so that a refused executable makes no directory.
void InstallRun::InstallExecutable(qxArchiveEntry* entry, const char* directory,
                                   const char* destination) {
  bool ready = !directory || DirectoryExists(directory);
  char copy[QX_MAX_PATH];
  if (!(ready ? FormatSiblingPath(destination, copy) : JoinPath(copy, 1, rootSibling))) {
    ShowError(dialog, MSG_UPDATE_FILE_FAILED_FMT, destination);
    return;
  }
  EntryCopyResult failure = COPY_DONE;
  GateVerdict verdict = CheckExeVersion(reader, entry, copy, destination, &failure);
  if (verdict == GATE_SKIP) return;
  if (verdict == GATE_FAILED) return ShowCopyFailure(dialog, failure, destination);
  if (!ready && !MakeDirectory(directory)) {
    DeleteFileA(copy);
    ShowError(dialog, MSG_UPDATE_FILE_FAILED_FMT, destination);
    return;
  }
  Log(destination);
  Replace(copy, destination);
}

void InstallRun::InstallEntry(qxArchiveEntry* entry) {
  char name[QX_MAX_PATH];
  reader->GetName(entry, name);
  char destination[QX_MAX_PATH];
  // A name that would leave the install directory, or that is the updater's
  // own sibling, is never written.
  if (!IsInstallableEntryName(name) || !JoinPath(destination, 2, installDir, name)) {
    ShowError(dialog, MSG_UPDATE_FILE_FAILED_FMT, name);
    return;
  }
  char directoryBuffer[QX_MAX_PATH];
  const char* directory = GetDirectoryPart(name, directoryBuffer) ? directoryBuffer : nullptr;
  if (lstrcmpiA(GetExtension(name), "exe") == 0)
    return InstallExecutable(entry, directory, destination);
  if (directory) MakeDirectory(directory);  // a failure shows as the sibling's
  char sibling[QX_MAX_PATH];
  if (!FormatSiblingPath(destination, sibling)) {
    ShowError(dialog, MSG_UPDATE_FILE_FAILED_FMT, destination);
    return;
  }
  int started = 0;
  EntryCopyResult result = CopyEntryToFile(reader, entry, sibling, &started);
  if (started) Log(destination);
  if (result != COPY_DONE) return ShowCopyFailure(dialog, result, destination);
  Replace(sibling, destination);
}

// A log that exists but could not be read is never replaced by one without
// its lines.
bool LogUnreadable(const char* logPath) {
  return GetFileAttributesA(logPath) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

void RunInstallStep(HWND dialog) {
  qxArchive reader(32);
  InstallLog log;
  char logPath[QX_MAX_PATH];
  JoinPath(logPath, 2, g_update.installDir, INSTALL_LOG_NAME);
  const bool keepLog = !log.Load(logPath) && LogUnreadable(logPath);
  if (!reader.Open(g_update.workFile)) {
    MessageBoxA(dialog, MSG_WORK_OPEN_FAILED, MSG_CAPTION_ERROR, MB_OK);
  } else if (CheckRoomForInstall(dialog, &reader)) {
    InstallRun run(dialog, &reader, &log, logPath);
    DWORD saved = GetTickCount();
    for (uint32_t i = 0;; ++i) {
      qxArchiveEntry* entry = reader.OpenEntry(i);
      if (entry == NoArchiveEntry()) break;
      run.InstallEntry(entry);
      // Handing each handle back keeps archives of any length whole.
      reader.CloseEntry(entry);
      if (!keepLog && GetTickCount() - saved >= kLogCheckpointMs) {
        log.SortUnique();
        log.Save(logPath);
        saved = GetTickCount();
      }
    }
    log.SortUnique();
    if (!keepLog) log.Save(logPath);
    ShowWindow(dialog, SW_HIDE);
    MessageBoxA(dialog, MSG_UPDATE_DONE, MSG_CAPTION, MB_OK);
  }
  PostMessageA(dialog, WM_UPDATE_FINISH, 0, 0);
}
