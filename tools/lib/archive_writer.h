// Writing plain archives, for the host tools (the updater only reads them).
#ifndef QX_TOOLS_ARCHIVE_WRITER_H
#define QX_TOOLS_ARCHIVE_WRITER_H

#include <cstdint>
#include <string>
#include <vector>

struct ArchiveSourceFile {
  std::string name;      // archive name: code page 932, '\' separators, <= 63 bytes
  std::string hostPath;  // where the bytes come from
};

// Every regular file below dir (recursively), named relative to dir with host
// names converted to code page 932 and '/' to '\', in a fixed order (byte
// order of the archive names), so that the same tree gives the same archive.
// False with a one-line reason (missing directory, a name with no code page
// 932 form, a name longer than 63 bytes).
bool CollectTree(const std::string& dir, std::vector<ArchiveSourceFile>* files, std::string* error);

// Writes the archive: magic, count, index, then for each entry a copy of its
// index entry followed by its data. False with a reason on I/O failure.
bool WriteArchive(const std::vector<ArchiveSourceFile>& files, const std::string& archivePath,
                  std::string* error);

#endif
