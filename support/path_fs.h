// Path operations that touch the file system.
#ifndef QX_SUPPORT_PATH_FS_H
#define QX_SUPPORT_PATH_FS_H

enum { PROBE_ABSENT = 0, PROBE_FILE = 1, PROBE_DIRECTORY = 2 };

// What a FindFirstFileA search finds at path (a drive root with its backslash
// is not found). Null is absent.
int ProbePath(const char* path);

// Creates the missing directories of path, outermost first; with parentOnly,
// those above the file that path names. 1 when the directory exists now; 0 when
// a file is in the way, creation fails, or the chain of parents reaches
// neither a drive nor an existing directory.
int MakeDirectories(const char* path, int parentOnly);

#endif
