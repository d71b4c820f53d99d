// Safety check for archive entry names before they are joined to the install
// directory: an entry may only name a file below that directory.
#ifndef QX_APP_ENTRY_NAME_H
#define QX_APP_ENTRY_NAME_H

// 1 when name is a plain relative path; 0 when it is empty, begins with a
// separator ('\' or '/'), contains a ':' (drive letter or stream name) or has
// a ".." component. Walked with the Shift_JIS double-byte rule: a 0x5C that
// ends a double-byte character is not a separator.
int IsSafeEntryName(const char* name);

// The updater's whole rule for an entry it will write: a safe name that is not
// its own sibling's (IsSiblingName). The builders check entries with it too.
int IsInstallableEntryName(const char* name);

#endif
