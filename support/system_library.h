// DLLs from the system folder only. The updater runs elevated from wherever
// it was downloaded to, and Windows looks for a DLL in the program's own
// folder first: any DLL found there under a system DLL's name would run with
// the updater's rights. So the updater imports statically only known DLLs,
// which Windows maps from the system folder with their own imports whatever
// lies beside the program, and whose imports are system DLLs under Wine too:
// kernel32, advapi32 and msvcrt. Every other DLL is loaded here; user32's
// functions are bound on their first call (system_library_win32.cpp).
#ifndef QX_SUPPORT_SYSTEM_LIBRARY_H
#define QX_SUPPORT_SYSTEM_LIBRARY_H

#include <windows.h>

// Takes the program's folder out of every later search for a DLL, including
// the loads Windows makes on the updater's behalf (themes, shell helpers):
// the system folder only. Without the 2011 loader update (KB2533623) that
// cannot be set; the current folder at least is then taken out. Called first
// thing in WinMain.
void RestrictDllSearchPath();

// The DLL name (a file name without a folder, "version.dll") loaded from the
// system folder, its own imports too; by its full path where Windows does not
// know LOAD_LIBRARY_SEARCH_SYSTEM32. Null when it cannot be (GetLastError
// tells why). The module stays loaded for the life of the process.
HMODULE LoadSystemLibrary(const char* name);

// The export name of the system DLL library (loaded by LoadSystemLibrary),
// or null when the DLL cannot be loaded or lacks it.
FARPROC FindSystemFunction(const char* library, const char* name);

// The same as the caller's function pointer type: false, *function null,
// when it is missing.
template <typename Function>
bool FindSystemFunction(const char* library, const char* name, Function* function) {
  // Through void (*)(): a pointer to any function, as the compiler sees it.
  *function =
      reinterpret_cast<Function>(reinterpret_cast<void (*)()>(FindSystemFunction(library, name)));
  return *function != nullptr;
}

#endif
