// Finding the installed game: the special-folder resolver and the lookup of
// the install-location file "<shared app data>\<brand>\<title>.xml".
#ifndef QX_APP_INSTALL_LOCATION_H
#define QX_APP_INSTALL_LOCATION_H

#include "app/install_location_text.h"

// Folder selector codes (8 is the one the lookup uses).
enum {
  FOLDER_DESKTOP = 0,
  FOLDER_COMMON_DESKTOP = 1,
  FOLDER_START_MENU = 2,
  FOLDER_PROGRAMS = 3,
  FOLDER_COMMON_PROGRAMS = 4,
  FOLDER_PERSONAL = 5,
  FOLDER_TEMP = 6,
  FOLDER_WINDOWS = 7,
  FOLDER_COMMON_APPDATA = 8,
  FOLDER_APPDATA = 9,
  FOLDER_PROGRAM_FILES = 10,
  FOLDER_MY_PICTURES = 11,
};

// 1 with the folder's path in out (at least 260 bytes): the shell first, then
// SHGetSpecialFolderPathA, then the user's Shell Folders registry key; codes 6
// and 7 ask GetTempPathA and GetWindowsDirectoryA alone. 0 when every source
// fails, or the folder does not fit 260 bytes with its NUL (out then holds no
// partial path), or the code is above 11 (out untouched).
int GetSpecialFolder(unsigned code, char* out);

// Non-zero with the install directory in out (260 bytes); 0 when the file is
// missing or unreadable, a tag is missing, or the directory is empty or too
// long. Shows nothing.
int GetInstallPath(char* out, const char* brand, const char* title);

#endif
