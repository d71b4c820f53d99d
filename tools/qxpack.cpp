// qxpack: packs an update archive into the updater's payload resource file.
//
//   qxpack ARCHIVE PAYLOAD      pack an existing plain archive
//   qxpack --from DIR PAYLOAD   build the archive from DIR first, then pack it
//
// The archive is checked as the updater will install it (as qxbuild does),
// then deflated from its file into the payload in bounded pieces. Paths are
// taken as UTF-8 (the UTF-16 command line on Windows). On failure: exit
// status 1 and one line on stderr; no output or scratch file is left.
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "tools/lib/archive_writer.h"
#include "tools/lib/byte_stream.h"
#include "tools/lib/cp932.h"
#include "tools/lib/payload_packer.h"
#include "tools/lib/scratch_files.h"
#include "tools/lib/update_check.h"

namespace {

const char kUsage[] = "usage: qxpack ARCHIVE PAYLOAD | qxpack --from DIR PAYLOAD";

int Fail(const std::string& reason) {
  std::fprintf(stderr, "qxpack: %s\n", reason.c_str());
  return 1;
}

// Builds the plain archive of dir into archivePath, without the output and
// scratch files should they lie in the tree.
bool ArchiveFromTree(const std::string& dir, const ScratchFiles& scratch, const std::string& output,
                     const std::string& archivePath, std::string* error) {
  if (!IsDirectory(dir)) {
    *error = "not a directory: " + dir;
    return false;
  }
  std::vector<ArchiveSourceFile> files;
  if (!CollectTree(dir, &files, error)) return false;
  std::vector<std::string> ours = scratch.paths();
  ours.push_back(output);
  LeaveOutFiles(ours, &files);
  if (files.empty()) {
    *error = "no files below " + dir;
    return false;
  }
  return WriteArchive(files, archivePath, error);
}

bool WritePayload(const std::string& archive, const std::string& partial, const std::string& output,
                  std::string* error) {
  OutputFile out;
  return out.Create(partial, error) && PackArchiveFile(archive, &out, error) && out.Close(error) &&
         MoveOver(partial, output, error);
}

int Main(const std::vector<std::string>& args) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) return std::puts(kUsage), 0;
  const bool fromTree = !args.empty() && args[0] == "--from";
  if (args.size() != (fromTree ? 3u : 2u) || (!fromTree && args[0].rfind("-", 0) == 0))
    return Fail(args.empty() || fromTree || args[0].rfind("-", 0) != 0
                    ? std::string(kUsage)
                    : "unknown option " + args[0] + " (" + kUsage + ")");
  const std::string& source = args[fromTree ? 1 : 0];
  const std::string& output = args.back();
  ScratchFiles scratch;  // removed on every way out
  const std::string archiveTmp = scratch.Add(output + ".archive.tmp");
  scratch.Add(PartialPath(archiveTmp));
  const std::string partial = scratch.Add(output + ".partial");
  std::string error;
  std::vector<std::string> warnings;
  if (!fromTree && IsDirectory(source)) return Fail(source + " is a directory (use --from DIR)");
  const std::string archive = fromTree ? archiveTmp : source;
  if ((fromTree && !ArchiveFromTree(source, scratch, output, archiveTmp, &error)) ||
      !CheckUpdateArchive(archive, &warnings, &error) ||
      !WritePayload(archive, partial, output, &error))
    return Fail(error);
  for (const std::string& w : warnings) std::fprintf(stderr, "qxpack: warning: %s\n", w.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Main(Utf8Arguments(argc, argv));
  } catch (const std::bad_alloc&) {
    return Fail("out of memory");
  } catch (const std::exception& e) {
    return Fail(std::string("failed: ") + e.what());
  }
}
