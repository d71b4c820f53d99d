// qxpack: packs an update archive into the updater's payload resource file.
//
//   qxpack ARCHIVE PAYLOAD      pack an existing plain archive
//   qxpack --from DIR PAYLOAD   build the archive from DIR first, then pack it
//
// The archive is checked as the updater will install it (as qxbuild does).
// Paths are taken as UTF-8 (converted from the ANSI code page on Windows).
// On failure: exit status 1 and one line on stderr; no output file is left.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "tools/lib/archive_writer.h"
#include "tools/lib/cp932.h"
#include "tools/lib/payload_packer.h"
#include "tools/lib/update_check.h"

namespace {

const char kUsage[] = "usage: qxpack ARCHIVE PAYLOAD | qxpack --from DIR PAYLOAD";

int Fail(const std::string& reason) {
  std::fprintf(stderr, "qxpack: %s\n", reason.c_str());
  return 1;
}

bool IsDirectory(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_directory(std::filesystem::u8path(path), ec);
}

// Builds the plain archive of dir, through a scratch file next to the output,
// and checks it as the updater will install it.
bool ArchiveFromTree(const std::string& dir, const std::string& scratch, std::string* archive,
                     std::vector<std::string>* warnings, std::string* error) {
  if (!IsDirectory(dir)) {
    *error = "not a directory: " + dir;
    return false;
  }
  std::vector<ArchiveSourceFile> files;
  if (!CollectTree(dir, &files, error)) return false;
  if (files.empty()) {
    *error = "no files below " + dir;
    return false;
  }
  const bool ok =
      WriteArchive(files, scratch, error) && ReadCheckedArchive(scratch, archive, warnings, error);
  std::error_code ec;
  std::filesystem::remove(std::filesystem::u8path(scratch), ec);
  return ok;
}

bool ArchiveFromFile(const std::string& path, std::string* archive,
                     std::vector<std::string>* warnings, std::string* error) {
  if (IsDirectory(path)) {
    *error = path + " is a directory (use --from DIR)";
    return false;
  }
  return ReadCheckedArchive(path, archive, warnings, error);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args;  // UTF-8, like every path below
  for (int i = 1; i < argc; ++i) args.push_back(ArgumentToUtf8(argv[i]));
  const bool fromTree = !args.empty() && args[0] == "--from";
  if (args.size() != (fromTree ? 3u : 2u) || (!fromTree && args[0].rfind("-", 0) == 0)) {
    return Fail(kUsage);
  }
  const std::string& source = args[fromTree ? 1 : 0];
  const std::string& output = args.back();
  std::string archive;
  std::string payload;
  std::string error;
  std::vector<std::string> warnings;
  const bool read =
      fromTree ? ArchiveFromTree(source, output + ".archive.tmp", &archive, &warnings, &error)
               : ArchiveFromFile(source, &archive, &warnings, &error);
  if (!read || !PackPayload(archive, &payload, &error)) return Fail(error);
  for (const std::string& w : warnings) std::fprintf(stderr, "qxpack: warning: %s\n", w.c_str());
  if (!WriteWholeFile(output, payload, &error)) {
    std::error_code ec;
    std::filesystem::remove(std::filesystem::u8path(output), ec);
    return Fail(error);
  }
  return 0;
}
