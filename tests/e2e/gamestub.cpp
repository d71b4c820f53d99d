// Stand-in for the game or its configuration tool: holds the named mutex given
// on the command line, as they do while they run, until told to quit.
//
//   gamestub NAME
//
// Signals the event "NAME.ready" once the mutex is owned and exits when the
// event "NAME.quit" is set (or after two minutes). Exit code 0, or 3 when the
// mutex could not be made its own.
#include <windows.h>

#include <string>

int main(int argc, char** argv) {
  if (argc != 2) return 1;
  const std::string name = argv[1];
  HANDLE quit = CreateEventA(nullptr, TRUE, FALSE, (name + ".quit").c_str());
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, (name + ".ready").c_str());
  HANDLE mutex = CreateMutexA(nullptr, TRUE, name.c_str());
  if (!mutex || GetLastError() == ERROR_ALREADY_EXISTS || !quit || !ready) return 3;
  SetEvent(ready);
  WaitForSingleObject(quit, 120000);
  CloseHandle(mutex);
  return 0;
}
