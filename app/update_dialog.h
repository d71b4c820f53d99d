// The progress dialog (template IDD_UPDATE) inside which the whole update runs.
#ifndef QX_APP_UPDATE_DIALOG_H
#define QX_APP_UPDATE_DIALOG_H

#include <windows.h>

// Dialog procedure, run with DialogBoxParamA after g_update is filled in.
// WM_INITDIALOG centres the dialog on the desktop and posts WM_UPDATE_UNPACK;
// the unpack step writes the payload to the work file and posts
// WM_UPDATE_INSTALL; the install step posts WM_UPDATE_FINISH, which deletes the
// work file. Every failure is shown and ends the dialog with code 2. No command
// is handled, so the user cannot close it. Returns FALSE for every message.
INT_PTR CALLBACK UpdateDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif
