// The install step: the progress dialog's handler of WM_UPDATE_INSTALL.
#ifndef QX_APP_INSTALL_STEP_H
#define QX_APP_INSTALL_STEP_H

#include <windows.h>

// Installs every entry of the work file into the install directory (both from
// g_update) and ends, in every outcome, by posting WM_UPDATE_FINISH to dialog.
// The work file is closed again before it returns.
void RunInstallStep(HWND dialog);

#endif
