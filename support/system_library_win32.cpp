#include "support/path_string.h"
#include "support/system_library.h"

void RestrictDllSearchPath() {
  typedef BOOL(WINAPI * SetDefaultDllDirectoriesFunction)(DWORD);
  // Looked up: kernel32 has it only with the loader update.
  FARPROC found = GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories");
  auto setDefault =
      reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void (*)()>(found));
  if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
  SetDllDirectoryA("");
}

namespace {

HMODULE LoadSystemLibraryByPath(const char* name) {
  char folder[QX_MAX_PATH];
  UINT length = GetSystemDirectoryA(folder, sizeof folder);
  char path[QX_MAX_PATH];
  if (length == 0 || length >= sizeof folder || !JoinPath(path, 2, folder, name)) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return nullptr;
  }
  // A full path alone would still look for the DLL's own imports beside the
  // program; altered, the search starts in the DLL's folder.
  return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace

HMODULE LoadSystemLibrary(const char* name) {
  HMODULE module = LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  // Without the loader update the flag is an invalid parameter.
  if (module || GetLastError() != ERROR_INVALID_PARAMETER) return module;
  return LoadSystemLibraryByPath(name);
}

FARPROC FindSystemFunction(const char* library, const char* name) {
  HMODULE module = LoadSystemLibrary(library);
  return module ? GetProcAddress(module, name) : nullptr;
}

// user32.dll, bound at each function's first call rather than imported.
// Windows maps user32 from the system folder whatever lies beside the
// program, but Wine's user32 imports version.dll, which a static import would
// take from the updater's folder before WinMain could restrict the search.
// A call to a user32 function goes through its import pointer ("__imp__"
// name@argument bytes); each function the updater calls has that pointer
// defined here, first aimed at a binder that looks the function up. One the
// updater starts to call without a line here is imported again, which the
// test over the stub's imports reports. (binutils' delay-import libraries
// would do the same, but leave the i386 pointers zero.)
namespace {

template <typename Function>
void BindUser32(const char* name, Function* pointer) {
  // Without user32 no window could tell why.
  if (!FindSystemFunction("user32.dll", name, pointer)) ExitProcess(ERROR_MOD_NOT_FOUND);
}

}  // namespace

#define QX_LATE_USER32(result, name, bytes, parameters, arguments)                \
  extern result(WINAPI* qxLate##name) parameters asm("__imp__" #name "@" #bytes); \
  namespace {                                                                     \
  result WINAPI Bind##name parameters {                                           \
    BindUser32(#name, &qxLate##name);                                             \
    return qxLate##name arguments;                                                \
  }                                                                               \
  }                                                                               \
  result(WINAPI* qxLate##name) parameters = Bind##name;

QX_LATE_USER32(INT_PTR, DialogBoxParamA, 20,
               (HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC procedure, LPARAM value),
               (instance, name, owner, procedure, value))
QX_LATE_USER32(BOOL, EndDialog, 8, (HWND dialog, INT_PTR result), (dialog, result))
QX_LATE_USER32(HWND, GetDesktopWindow, 0, (), ())
QX_LATE_USER32(BOOL, GetWindowRect, 8, (HWND window, LPRECT rect), (window, rect))
QX_LATE_USER32(BOOL, IsWindow, 4, (HWND window), (window))
QX_LATE_USER32(int, LoadStringA, 16, (HINSTANCE instance, UINT id, LPSTR text, int size),
               (instance, id, text, size))
QX_LATE_USER32(int, MessageBoxA, 16, (HWND owner, LPCSTR text, LPCSTR caption, UINT type),
               (owner, text, caption, type))
QX_LATE_USER32(BOOL, PostMessageA, 16, (HWND window, UINT message, WPARAM w, LPARAM l),
               (window, message, w, l))
QX_LATE_USER32(BOOL, SetRectEmpty, 4, (LPRECT rect), (rect))
QX_LATE_USER32(BOOL, SetWindowPos, 28,
               (HWND window, HWND after, int x, int y, int width, int height, UINT flags),
               (window, after, x, y, width, height, flags))
QX_LATE_USER32(BOOL, ShowWindow, 8, (HWND window, int show), (window, show))
