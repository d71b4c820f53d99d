// The one rule for the names of archive entries that the updater writes: a
// name must stay below the install directory and be one that every player's
// Windows can hold as it stands. The install step, the room check and every
// publisher's tool check names with it, so that what builds also installs.
#ifndef QX_APP_ENTRY_NAME_H
#define QX_APP_ENTRY_NAME_H

// Why the updater would not write an entry of a name. Components are split at
// '\', walked character by character (a 0x5C that ends a double-byte
// character is no separator).
enum EntryNameProblem {
  ENTRY_NAME_OK = 0,
  ENTRY_NAME_EMPTY,                  // no name, or an empty component ("\x", "a\\b", "a\")
  ENTRY_NAME_DOT_COMPONENT,          // a component "." or ".."
  ENTRY_NAME_TRAILING_DOT_OR_BLANK,  // Windows drops them: "a." and "a" are one file
  ENTRY_NAME_FORBIDDEN_CHARACTER,    // a byte below 0x20, or < > : " / | ? *
  ENTRY_NAME_UNKNOWN_CHARACTER,      // a byte that starts no character the updater reads:
                                     // 0x80, 0xA0, 0xF0-0xFF, a lead byte without its trail
  ENTRY_NAME_DEVICE,                 // CON PRN AUX NUL COM1-9 LPT1-9 CONIN$ CONOUT$, any
                                     // extension, any case
  ENTRY_NAME_WORKING_FILE,           // the updater's own: a staging or temporary name in any
                                     // component, install.log or the work file at the top
};

// ENTRY_NAME_OK when the updater may write an entry of this name; else the
// first problem found. A null name is ENTRY_NAME_EMPTY.
EntryNameProblem CheckEntryName(const char* name);

// CheckEntryName(name) == ENTRY_NAME_OK, as 1 or 0.
int IsInstallableEntryName(const char* name);

// 1 when the name's extension is "exe" in any case: such an entry goes
// through the version gate.
int IsExecutableName(const char* name);

#endif
