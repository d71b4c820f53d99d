#include <cstdio>

#include "app/entry_name.h"
#include "app/install_log.h"
#include "app/install_step.h"
#include "app/message_text.h"
#include "app/messages.h"
#include "app/update_state.h"
#include "app/version_gate.h"
#include "archive/archive.h"
#include "support/file.h"
#include "support/path_fs.h"
#include "support/path_string.h"

namespace {

void ShowError(HWND owner, const char* format, const char* path) {
  char text[QX_MAX_PATH];
  FormatWithText(text, format, path);
  MessageBoxA(owner, text, MSG_CAPTION_ERROR, MB_OK);
}

// "%s\%s" of the install directory and the entry name; 0 when it does not fit.
int FormatDestination(char* out, const char* installDir, const char* name) {
  int n = std::snprintf(out, QX_MAX_PATH, "%s\\%s", installDir, name);
  if (n < 0 || n >= QX_MAX_PATH) {
    out[0] = '\0';
    return 0;
  }
  return 1;
}

// Opens the destination, logs it and writes the entry's bytes with one call.
void WriteDestination(HWND dialog, const char* destination, const void* data, uint32_t size,
                      InstallLog* log) {
  qxFile file;
  if (!file.Open(destination, FM_WRITE_REPLACE)) {
    ShowError(dialog, MSG_UPDATE_FILE_FAILED_FMT, destination);
    return;
  }
  char line[QX_MAX_PATH];
  int n = std::snprintf(line, sizeof line, "\"%s\"", destination);
  if (n > 0 && n < QX_MAX_PATH) log->Add(line);
  if (file.Write(data, size) != static_cast<int>(size))
    ShowError(nullptr, MSG_WRITE_FILE_FAILED_FMT, destination);
  file.Close();
}

// Reads the entry whole, and only then replaces the installed file, so that a
// failed read leaves that file as it was.
void CopyEntry(HWND dialog, qxArchive* reader, qxArchiveEntry* entry, const char* destination,
               InstallLog* log) {
  uint32_t size = reader->GetSize(entry);
  void* block = GlobalAlloc(GPTR, size ? size : 1);
  if (!block) {
    MessageBoxA(nullptr, MSG_NO_MEMORY, MSG_CAPTION_ERROR, MB_OK);
    return;
  }
  if (reader->Read(entry, block, size) != size)
    ShowError(nullptr, MSG_READ_FILE_FAILED_FMT, destination);
  else
    WriteDestination(dialog, destination, block, size, log);
  GlobalFree(block);
}

void InstallEntry(HWND dialog, qxArchive* reader, qxArchiveEntry* entry, InstallLog* log) {
  const char* installDir = g_update.installDir;
  char name[QX_MAX_PATH];
  reader->GetName(entry, name);
  char destination[QX_MAX_PATH];
  // A name that would leave the install directory is never written.
  if (!IsSafeEntryName(name) || !FormatDestination(destination, installDir, name)) {
    ShowError(dialog, MSG_UPDATE_FILE_FAILED_FMT, name);
    return;
  }
  // Before the gate: its temporary copy goes into the entry's own directory.
  if (GetDirectoryPart(name, nullptr)) {
    char full[QX_MAX_PATH];
    if (JoinPath(full, 2, installDir, name)) MakeDirectories(full, 1);
  }
  if (lstrcmpiA(GetExtension(name), "exe") == 0 &&
      !CheckExeVersion(installDir, reader, entry, name))
    return;
  CopyEntry(dialog, reader, entry, destination, log);
}

}  // namespace

void RunInstallStep(HWND dialog) {
  qxArchive reader(32);
  InstallLog log;
  char logPath[QX_MAX_PATH];
  JoinPath(logPath, 2, g_update.installDir, INSTALL_LOG_NAME);
  log.Load(logPath);
  if (!reader.Open(g_update.workFile)) {
    MessageBoxA(dialog, MSG_WORK_OPEN_FAILED, MSG_CAPTION_ERROR, MB_OK);
  } else {
    for (uint32_t i = 0;; ++i) {
      qxArchiveEntry* entry = reader.OpenEntry(i);
      if (entry == NoArchiveEntry()) break;
      InstallEntry(dialog, &reader, entry, &log);
      // Handing each handle back keeps archives of any length whole.
      reader.CloseEntry(entry);
    }
    log.SortUnique();
    log.Save(logPath);
    ShowWindow(dialog, SW_HIDE);
    MessageBoxA(dialog, MSG_UPDATE_DONE, MSG_CAPTION, MB_OK);
  }
  PostMessageA(dialog, WM_UPDATE_FINISH, 0, 0);
}
