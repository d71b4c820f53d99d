// Replacing a file whole or not at all: the new bytes are written into a
// sibling in the destination's own directory, flushed, and renamed over the
// destination. A kill or a full disk at any moment leaves either the old file
// or the new one, and at worst a sibling, which the next run overwrites.
#ifndef QX_SUPPORT_FILE_REPLACE_H
#define QX_SUPPORT_FILE_REPLACE_H

#include <cstdint>

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

// Writes into out (QX_MAX_PATH bytes) the path of the file that stages archive
// entry index beside destination: "~QX", the index in at least five hex
// digits, ".TMP" (a working name, unique per entry; never a generated short
// name, which holds a "~" after its first character). 0 (out emptied) when
// destination has no directory part or the path would be longer than
// QX_MAX_FILE_PATH.
int FormatStagingPath(const char* destination, uint32_t index, char* out);

// 1 when the first length bytes of component are one of the updater's
// working names: "~QX", anything, ".TMP", in any ASCII case.
int IsWorkingFileName(const char* component, unsigned length);

enum Replaceability {
  REPLACE_ABSENT,     // nothing there: the staged file simply takes the name
  REPLACE_OK,         // a file no other program holds without delete sharing
  REPLACE_HELD,       // open in another program, or access refused
  REPLACE_READ_ONLY,  // read-only
  REPLACE_FOLDER,     // a folder where the file should be
};

// Whether the file at destination can be replaced now. Opening it for delete
// access is the only way to find out whether another program holds it. Win32
// only.
Replaceability CheckReplaceable(const char* destination);

// Renames staged over destination (absent or replaceable). 1 when done; the
// staged file stays where it was on failure. Win32 only.
int CommitStagedFile(const char* staged, const char* destination);

// Writes into out (QX_MAX_PATH bytes) path with its last component spelled as
// the existing file there spells it, or path itself when there is none, so
// that a rename over it keeps the player's spelling. 0 (out emptied) when the
// result does not fit. Win32 only.
int SpellAsInstalled(const char* path, char* out);

// The same through the staged file's own handle, opened FM_RENAMABLE: no
// second open. The handle stays the caller's. Win32 only.
int CommitOpenStagedFile(void* staged, const char* destination);

// Renames sibling over destination (replacing it, through to the disk). 1 when
// done; 0 when refused (destination read-only or in use), sibling then removed.
// Win32 only.
int ReplaceWithSibling(const char* sibling, const char* destination);

#endif
