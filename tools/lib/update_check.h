// What a publisher's build checks before it ships an updater: the names that
// go into its string table, the archive it will unpack and install, and a
// patch's file list against the previous release. Every rule the updater
// itself applies is taken from the updater's own code, never restated.
#ifndef QX_TOOLS_UPDATE_CHECK_H
#define QX_TOOLS_UPDATE_CHECK_H

#include <string>
#include <vector>

#include "tools/lib/archive_writer.h"

// Brand or title (UTF-8): one non-empty line with a code page 932 form of at
// most 259 bytes (the updater loads it into a 260-byte buffer) that can be
// part of a file name (it names the install-location folder and file). On
// success *cp932 holds that form; else false with a one-line reason.
bool CheckProductName(const char* what, const std::string& utf8, std::string* cp932,
                      std::string* error);

// Checks the archive file at path (UTF-8) as the updater will install it,
// with the updater's own reader, reading only its index and its executables,
// one at a time. Refuses, with a one-line reason, what the updater cannot
// install: an archive larger than it can hold, one without the archive magic
// or that does not open, one that is enciphered or has no entry, an entry
// lying outside the file, a name the updater refuses (EntryNameRefusal), two
// names that are one file on Windows, a name field of 64 bytes with no NUL, a
// name with no code page 932 form. Warns (one line each) about an ".exe"
// entry without a "FileVersion" string, which the version gate refuses over a
// versioned installed file.
bool CheckUpdateArchive(const std::string& path, std::vector<std::string>* warnings,
                        std::string* error);

// A patch: the files of tree that are new or whose bytes differ from the file
// of the same name (upper-cased, as the updater sees it) in oldTree, in tree's
// order; and the names (UTF-8) that oldTree has and tree lacks, sorted.
// Refuses, with a one-line reason naming both files, a name that is a file in
// one tree and a folder in the other: the updater writes files and makes
// folders, it never turns one into the other. Warns (one line each) about a
// changed executable whose FileVersion is lower than the old one's, as the
// version gate compares them: the updater would keep the installed file.
bool DiffTrees(const std::vector<ArchiveSourceFile>& tree,
               const std::vector<ArchiveSourceFile>& oldTree,
               std::vector<ArchiveSourceFile>* changed, std::vector<std::string>* removed,
               std::vector<std::string>* warnings, std::string* error);

#endif
