// Path and text helpers over NUL-terminated code page 932 strings.
//
// None of these allocate. Outputs are caller buffers of QX_MAX_PATH bytes; a
// result that would not fit is refused (result 0, output emptied) instead of
// overrunning the buffer. Separators written are always backslashes.
//
// Every function walks a path from its start, character by character: a 0x5C
// that ends a double-byte character (ソ 表 能 ...) is never a separator, and
// nothing is ever trimmed or split inside a character.
#ifndef QX_SUPPORT_PATH_STRING_H
#define QX_SUPPORT_PATH_STRING_H

#include <cstddef>

// Size of every path, name and message buffer of the updater (MAX_PATH).
enum { QX_MAX_PATH = 260 };

// Joins n parts with single backslashes into out (QX_MAX_PATH bytes); a
// part's trailing backslash is dropped (but for a root: C:\, \\). Returns the length of the result;
// 0 when out is null, n <= 0, or the result does not fit (out is then the empty string).
int JoinPath(char* out, int n, ...);

// 1 when path has a directory part, copied (without the final separator) into
// out when out is non-null. 0 (out untouched) when there is none or it would
// not fit.
int GetDirectoryPart(const char* path, char* out);

// Copies the text after the last '\' or '/' into out, or the whole path when
// there is none or the only one is at index 0. 0 when out is null or the
// result does not fit (out emptied).
int GetFileNamePart(const char* path, char* out);

// Pointer into path just after the last '.' of the last component, or at its
// terminating NUL when there is none. Null for a null path.
const char* GetExtension(const char* path);
char* GetExtension(char* path);

// 1 when p[0], p[1] form a Shift_JIS double-byte character
// (lead 0x81-0x9F or 0xE0-0xEF, trail 0x40-0x7E or 0x80-0xFC).
int IsDoubleByteChar(const char* p);

// 0 when path holds a double-byte character whose lead byte (0xF0-0xFC, the
// IBM and user-defined rows) Windows takes and IsDoubleByteChar does not: the
// updater would split such a path elsewhere than Windows does.
int IsSplitAsWindowsDoes(const char* path);

// Takes one line (ended by CR LF, LF or NUL) from text into out without its
// terminator and returns the bytes consumed; 0 only at the text's NUL.
// lineLength, when given, receives the line's length. A line too long for a
// QX_MAX_PATH buffer is not copied: out is left empty and *lineLength tells.
int ReadLine(const char* text, char* out, unsigned* lineLength = nullptr);

// Upper-cases a-z in place, stepping over double-byte characters whole.
// Returns the length of s.
int MakeUpper(char* s);

void CopyBytes(void* destination, const void* source, std::size_t n);
void ZeroBytes(void* destination, std::size_t n);

#endif
