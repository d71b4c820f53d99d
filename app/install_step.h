// The install step: the entries of the unpacked work file go into the
// install directory as one transaction. Every entry is staged beside its
// destination and every destination checked before anything installed
// changes; only then are the staged files renamed into place and their paths
// added to install.log, all under a journal (app/journal.h). So the game ends
// exactly as it was or exactly the new version, and the player is told which.
#ifndef QX_APP_INSTALL_STEP_H
#define QX_APP_INSTALL_STEP_H

#include <windows.h>

// Handler of WM_UPDATE_INSTALL. Shows at most one box: the completion text
// when every entry is installed and the log saved; otherwise why the update
// stopped (the first failure, how many more) and that nothing was changed.
// Always ends by posting WM_UPDATE_FINISH to dialog, with the work file closed.
void RunInstallStep(HWND dialog);

#endif
