// Holds a file open the way another program (a game, a virus scanner) does:
// readable by others, never deleted or replaced under it.
//
//   holder FILE MARKER
//
// Creates MARKER once FILE is open and keeps it open until MARKER is removed
// (or a minute has passed). Exit code 0, or 3 when FILE cannot be opened.
#include <windows.h>

int main(int argc, char** argv) {
  if (argc != 3) return 1;
  HANDLE held =
      CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (held == INVALID_HANDLE_VALUE) return 3;
  HANDLE marker = CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  CloseHandle(marker);
  for (int i = 0; i < 600 && GetFileAttributesA(argv[2]) != INVALID_FILE_ATTRIBUTES; ++i)
    Sleep(100);
  CloseHandle(held);
  return 0;
}
