// The text side of the install-location lookup: no file system, no Win32.
#ifndef QX_APP_INSTALL_LOCATION_TEXT_H
#define QX_APP_INSTALL_LOCATION_TEXT_H

// Index of the first occurrence of pattern in text (bytes, case-sensitive,
// never past text's NUL), or -1. An empty pattern in a non-empty text is 0.
int FindSubstring(const char* text, const char* pattern);

// Takes the install directory from the install-location file's text: the bytes
// between the end of the first "<path>" and the start of the first "</path>",
// verbatim. 1 with out (QX_MAX_PATH bytes, zero-filled first) set; 0 with out
// untouched when a tag is missing, the text is empty (the run would write to
// the root of the current drive) or it does not fit 259 bytes.
int ExtractInstallPath(const char* text, char* out);

#endif
