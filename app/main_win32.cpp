// Entry point of the updater: refuses to run beside the game, asks for
// confirmation, finds the installation and runs the progress dialog.
#include <windows.h>

#include "app/install_location.h"
#include "app/message_text.h"
#include "app/messages.h"
#include "app/update_dialog.h"
#include "app/update_state.h"
#include "resources/resource.h"
#include "support/file_replace.h"
#include "support/path_string.h"
#include "support/process.h"
#include "support/system_library.h"

namespace {

const DWORD kPrivateHeapSize = 10485760;

void LoadStrings(HINSTANCE instance) {
  LoadStringA(instance, IDS_BRAND, g_update.brand, QX_MAX_PATH);
  LoadStringA(instance, IDS_TITLE, g_update.title, QX_MAX_PATH);
  LoadStringA(instance, IDS_PATH_TAG, g_update.pathTag, QX_MAX_PATH);
  LoadStringA(instance, IDS_GAME_MUTEX, g_update.gameMutex, QX_MAX_PATH);
  LoadStringA(instance, IDS_CONFIG_MUTEX, g_update.configMutex, QX_MAX_PATH);
}

int ShowTitleMessage(const char* format, UINT buttons) {
  char text[QX_MAX_PATH];
  FormatWithText(text, format, g_update.title);
  return MessageBoxA(nullptr, text, MSG_CAPTION, buttons);
}

// An empty install directory would put every path at the root of the current
// drive, one that does not exist holds no game, one too long for the work
// file's path (the file object opens at most QX_MAX_FILE_PATH bytes) cannot
// be used, and one the updater would split elsewhere than Windows does could
// have files written beside it: each counts as no installation. The path is
// used as Windows resolves it ('/' separators, "." parts and doubled
// separators tidied), since the native rename at commit takes it literally.
int FindInstallation() {
  char written[QX_MAX_PATH], installDir[QX_MAX_PATH];
  if (!GetInstallPath(written, g_update.brand, g_update.title) || !written[0]) return 0;
  const DWORD length = GetFullPathNameA(written, QX_MAX_PATH, installDir, nullptr);
  if (length == 0 || length >= QX_MAX_PATH || !IsSplitAsWindowsDoes(installDir)) return 0;
  DWORD attributes = GetFileAttributesA(installDir);
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return 0;
  const int workLength = JoinPath(g_update.workFile, 2, installDir, WORK_FILE_NAME);
  if (workLength == 0 || workLength > QX_MAX_FILE_PATH) return 0;
  CopyBytes(g_update.installDir, installDir, sizeof installDir);
  return 1;
}

void RunUpdate() {
  if (ShowTitleMessage(MSG_CONFIRM_FMT, MB_OKCANCEL) != IDOK) return;
  if (!FindInstallation()) {
    ShowTitleMessage(MSG_NOT_INSTALLED_FMT, MB_OK);
    return;
  }
  CreatePrivateHeap(kPrivateHeapSize);
  DialogBoxParamA(g_update.instance, MAKEINTRESOURCEA(IDD_UPDATE), nullptr, UpdateDialogProc, 0);
  DestroyPrivateHeap();
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  RestrictDllSearchPath();
  LoadStrings(instance);
  int gameRunning = 1;
  int configRunning = 1;
  // Destroyed in reverse order: the configuration tool's guard first.
  NamedMutexGuard gameGuard(g_update.gameMutex, &gameRunning);
  NamedMutexGuard configGuard(g_update.configMutex, &configRunning);
  if (gameRunning || configRunning) {
    MessageBoxA(nullptr, MSG_GAME_RUNNING, MSG_CAPTION, MB_OK);
    return 0;
  }
  g_update.instance = instance;
  RunUpdate();
  return 0;
}
