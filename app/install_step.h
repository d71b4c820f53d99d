// The install step: every entry of the unpacked work file is written into the
// install directory, executables through the version gate, each written file
// recorded in install.log.
#ifndef QX_APP_INSTALL_STEP_H
#define QX_APP_INSTALL_STEP_H

#include <windows.h>

// Handler of WM_UPDATE_INSTALL. Reports each failing entry and goes on with the
// next; saves the log and shows the completion message after the loop; always
// ends by posting WM_UPDATE_FINISH to dialog, with the work file closed.
void RunInstallStep(HWND dialog);

#endif
