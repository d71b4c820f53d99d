// qxlocate BRAND TITLE: prints the install directory an updater built with
// that brand and title would find, or says why it finds none. For publishers
// and support; arguments in code page 932.
#include <windows.h>

#include <cstdio>

#include "app/install_location.h"
#include "support/path_string.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: qxlocate BRAND TITLE\n");
    return 2;
  }
  char folder[QX_MAX_PATH] = {};
  if (!GetSpecialFolder(FOLDER_COMMON_APPDATA, folder)) {
    std::fprintf(stderr, "qxlocate: the shared application-data folder cannot be resolved\n");
    return 1;
  }
  char installDir[QX_MAX_PATH];
  if (!GetInstallPath(installDir, argv[1], argv[2])) {
    std::fprintf(stderr, "qxlocate: no install directory in %s\\%s\\%s.xml\n", folder, argv[1],
                 argv[2]);
    return 1;
  }
  std::printf("%s\n", installDir);
  return 0;
}
