// Writing plain archives, for the host tools (the updater only reads them).
#ifndef QX_TOOLS_ARCHIVE_WRITER_H
#define QX_TOOLS_ARCHIVE_WRITER_H

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

struct ArchiveSourceFile {
  std::string name;      // archive name: code page 932, '\' separators, <= 63 bytes
  std::string hostPath;  // where the bytes come from
};

// Every regular file below dir (recursively), named relative to dir with host
// names converted to code page 932 and '/' to '\', in a fixed order (byte
// order of the archive names), so that the same tree gives the same archive.
// Links are not followed. False with a one-line reason naming the file or
// folder: a missing directory, a folder that cannot be listed, a name with no
// code page 932 form that reads back as itself, one longer than 63 bytes or
// that the updater refuses (EntryNameRefusal), two names that are one file on
// Windows, a file whose name is also a folder's on Windows; or, one line each,
// every link, FIFO or other file that is neither regular nor a directory.
bool CollectTree(const std::string& dir, std::vector<ArchiveSourceFile>* files, std::string* error);

// Why the updater refuses an entry name (code page 932), as a clause ("a part
// of it is empty"); empty when it writes it.
std::string EntryNameRefusal(const std::string& cp932);

// Drops from files the file at path (the same file, by any name), so that an
// archive written into its own source tree never packs an earlier copy of itself.
void LeaveOutFile(const std::string& path, std::vector<ArchiveSourceFile>* files);
// The same for each of paths that exists (a tool's output and its scratch files).
void LeaveOutFiles(const std::vector<std::string>& paths, std::vector<ArchiveSourceFile>* files);

// The index of an archive of files, behind the entries already in names and
// sizes (an enciphered archive's key entry), which it extends. False with a
// one-line reason naming the file: a name that does not fit (63 bytes) or
// holds a NUL, a file that cannot be read, or an archive that would pass
// QX_MAX_ARCHIVE_SIZE there.
struct ArchiveIndexEntry;
bool PlanArchive(const std::vector<ArchiveSourceFile>& files, std::vector<std::string>* names,
                 std::vector<uint64_t>* sizes, std::vector<ArchiveIndexEntry>* index,
                 std::string* error);

// Writes the archive: magic, count, index, then for each entry a copy of its
// index entry followed by its data. False with a reason on I/O failure or a
// file that cannot be read (refused before anything is written); a failure
// leaves whatever was at archivePath before as it was.
bool WriteArchive(const std::vector<ArchiveSourceFile>& files, const std::string& archivePath,
                  std::string* error);

// The scratch file WriteReplacing writes beside path ("PATH.partial"), for a
// tool that leaves its own scratch files out of a tree.
std::string PartialPath(const std::string& path);

// Runs write on PartialPath(path) and renames it to path only when write
// succeeded and the stream stayed good; otherwise path is left alone. The
// scratch file is removed on every way out, an interruption included. path is
// UTF-8.
bool WriteReplacing(const std::string& path,
                    const std::function<bool(std::ostream& out, std::string* error)>& write,
                    std::string* error);

#endif
