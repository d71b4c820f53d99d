// Replacing a file whole or not at all: the new bytes are written into a
// sibling in the destination's own directory, flushed, and renamed over the
// destination. A kill or a full disk at any moment leaves either the old file
// or the new one, and at worst a sibling, which the next run overwrites.
#ifndef QX_SUPPORT_FILE_REPLACE_H
#define QX_SUPPORT_FILE_REPLACE_H

// The sibling's file name. It is one of the updater's working names
// (IsWorkingFileName), which no archive entry may carry in any component, so
// it never stands for a game file. It is a short (8.3) name of its own, and
// generated short names end in "~" and a digit, so no other file's short name
// can be it either.
#define QX_SIBLING_NAME "~QXNEW~.TMP"

// Longest path the file object opens (its stored name holds 255 bytes).
enum { QX_MAX_FILE_PATH = 255 };

// Writes into sibling (QX_MAX_PATH bytes) the path of the sibling beside
// destination. 0 (sibling emptied) when destination has no directory part or
// the sibling's path would be longer than QX_MAX_FILE_PATH.
int FormatSiblingPath(const char* destination, char* sibling);

// 1 when the first length bytes of component are one of the updater's
// working names: "~QX", anything, ".TMP", in any ASCII case.
int IsWorkingFileName(const char* component, unsigned length);

// Renames sibling over destination (replacing it, through to the disk). 1 when
// done; 0 when refused (destination read-only or in use), sibling then removed.
// Win32 only.
int ReplaceWithSibling(const char* sibling, const char* destination);

#endif
