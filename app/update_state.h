// Process-wide state of one update run, written once by the entry point
// before the progress dialog runs.
#ifndef QX_APP_UPDATE_STATE_H
#define QX_APP_UPDATE_STATE_H

#include <windows.h>

#include "support/path_string.h"

enum {
  WM_UPDATE_UNPACK = WM_USER + 1,
  WM_UPDATE_INSTALL = WM_USER + 2,
  WM_UPDATE_FINISH = WM_USER + 10,
};

struct UpdateState {
  HINSTANCE instance;
  char installDir[QX_MAX_PATH];
  char workFile[QX_MAX_PATH];
  char brand[QX_MAX_PATH];
  char title[QX_MAX_PATH];
  char pathTag[QX_MAX_PATH];
  char gameMutex[QX_MAX_PATH];
  char configMutex[QX_MAX_PATH];
};

extern UpdateState g_update;

#endif
