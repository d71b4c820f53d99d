// Finding the installed game from its install-location file.
#ifndef QX_APP_INSTALL_LOCATION_H
#define QX_APP_INSTALL_LOCATION_H

// Non-zero with the install directory in out (QX_MAX_PATH bytes), or 0.
int GetInstallPath(char* out, const char* brand, const char* title);

#endif
