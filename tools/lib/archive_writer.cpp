#include "tools/lib/archive_writer.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "app/entry_name.h"
#include "support/path_string.h"
#include "tools/lib/archive_layout.h"
#include "tools/lib/byte_stream.h"
#include "tools/lib/cp932.h"
#include "tools/lib/scratch_files.h"

namespace fs = std::filesystem;

namespace {

// The archive name of a path relative to the tree: code page 932, '\\', and
// one the updater will write.
bool ArchiveName(const std::string& relativeUtf8, std::string* name, std::string* error) {
  if (relativeUtf8.find('\\') != std::string::npos) {
    *error = "a backslash in a file name would read as a separator: " + relativeUtf8;
    return false;
  }
  if (!Utf8ToCp932(relativeUtf8, name)) {
    *error = "name has no code page 932 form that reads back as itself: " + relativeUtf8;
    return false;
  }
  // A '/' byte is never part of a double-byte character, so this is safe.
  std::replace(name->begin(), name->end(), '/', '\\');
  if (name->size() >= ARCHIVE_NAME_BYTES) {
    *error = "name longer than 63 bytes in code page 932: " + relativeUtf8;
    return false;
  }
  const std::string refusal = EntryNameRefusal(*name);
  if (!refusal.empty()) *error = "the updater refuses the name " + relativeUtf8 + ": " + refusal;
  return refusal.empty();
}

// Windows folds names to compare them, so two names with one fold would be
// one file on the player's machine, and a file whose fold is a folder's
// could not be written beside it.
bool RefuseCollisions(const std::vector<ArchiveSourceFile>& files, std::string* error) {
  std::map<std::string, std::string> seen, folders;  // key -> the first name (UTF-8)
  for (const ArchiveSourceFile& f : files) {
    std::string utf8;
    Cp932ToUtf8(f.name, &utf8);
    auto added = seen.emplace(WindowsNameKey(utf8), utf8);
    if (!added.second) {
      *error =
          "two files are one file on Windows (names equal but for case): " + added.first->second +
          " and " + utf8;
      return false;
    }
    for (size_t cut = utf8.find('\\'); cut != std::string::npos; cut = utf8.find('\\', cut + 1))
      folders.emplace(WindowsNameKey(utf8.substr(0, cut)), utf8);
  }
  for (const auto& folder : folders) {
    auto file = seen.find(folder.first);
    if (file == seen.end()) continue;
    *error =
        "a file and a folder are one name on Windows: " + file->second + " and " + folder.second;
    return false;
  }
  return true;
}

}  // namespace

bool PlanArchive(const std::vector<ArchiveSourceFile>& files, std::vector<std::string>* names,
                 std::vector<uint64_t>* sizes, std::vector<ArchiveIndexEntry>* index,
                 std::string* error) {
  const size_t before = names->size();
  for (const ArchiveSourceFile& f : files) {
    if (f.name.empty() || f.name.size() >= ARCHIVE_NAME_BYTES ||
        f.name.find('\0') != std::string::npos) {
      *error = "unusable archive name for " + f.hostPath;
      return false;
    }
    std::error_code ec;
    uint64_t size = fs::file_size(fs::u8path(f.hostPath), ec);
    if (ec) {
      *error = "cannot read " + f.hostPath + ": " + ec.message();
      return false;
    }
    if (!std::ifstream(fs::u8path(f.hostPath), std::ios::binary)) {
      *error = "cannot read " + f.hostPath + " (no permission to read it?)";
      return false;
    }
    names->push_back(f.name);
    sizes->push_back(size);
  }
  const size_t fit = LayOutArchive(*names, *sizes, index);
  if (fit == names->size()) return true;
  *error = "archive would pass the updater's limit of " + std::to_string(QX_MAX_ARCHIVE_SIZE) +
           " bytes at " + files[fit < before ? 0 : fit - before].hostPath;
  return false;
}

namespace {

// Appends exactly size bytes of the file through buffer; false when it has
// changed meanwhile.
bool CopyData(const std::string& hostPath, uint64_t size, std::vector<char>* scratch,
              std::ostream& out) {
  std::ifstream in(fs::u8path(hostPath), std::ios::binary);
  std::vector<char>& buffer = *scratch;
  uint64_t done = 0;
  while (in && done < size) {
    in.read(buffer.data(), std::streamsize(std::min<uint64_t>(buffer.size(), size - done)));
    out.write(buffer.data(), in.gcount());
    done += uint64_t(in.gcount());
  }
  return done == size && in.peek() == std::ifstream::traits_type::eof();
}

bool WriteAll(const std::vector<ArchiveSourceFile>& files,
              const std::vector<ArchiveIndexEntry>& index, std::ostream& out, std::string* error) {
  std::vector<char> buffer(1 << 16);
  return EmitArchive(
      index,
      [&](size_t i, std::ostream& o, std::string* why) {
        if (CopyData(files[i].hostPath, index[i].size, &buffer, o)) return true;
        *why = "cannot read " + files[i].hostPath + " whole (changed while writing?)";
        return false;
      },
      out, error);
}

// What a directory entry is when it is neither a regular file nor a directory.
const char* SpecialKind(fs::file_type type) {
  switch (type) {
    case fs::file_type::symlink:
      return "symbolic link";
    case fs::file_type::fifo:
      return "FIFO";
    case fs::file_type::socket:
      return "socket";
    case fs::file_type::block:
    case fs::file_type::character:
      return "device";
    default:
      return "special file";
  }
}

}  // namespace

bool CollectTree(const std::string& dir, std::vector<ArchiveSourceFile>* files,
                 std::string* error) {
  files->clear();
  fs::path root = fs::u8path(dir);
  std::error_code ec;
  if (!IsDirectory(dir)) {
    *error = "not a directory: " + dir;
    return false;
  }
  std::vector<ArchiveSourceFile> found;
  std::string refused;  // one line per file that cannot be packed
  // Folder by folder, so that a folder that cannot be listed is named.
  std::vector<fs::path> pending = {root};
  while (!pending.empty()) {
    const fs::path folder = pending.back();
    pending.pop_back();
    fs::directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
      fs::file_type type = it->symlink_status(ec).type();
      if (ec) break;
      if (type == fs::file_type::directory) {
        pending.push_back(it->path());
        continue;
      }
      if (type != fs::file_type::regular) {
        refused += std::string(refused.empty() ? "" : "\n") + "not a regular file (" +
                   SpecialKind(type) + "): " + it->path().u8string();
        continue;
      }
      std::string relative = it->path().lexically_relative(root).generic_u8string();
      ArchiveSourceFile f;
      if (!ArchiveName(relative, &f.name, error)) return false;
      f.hostPath = it->path().u8string();
      found.push_back(f);
    }
    if (ec) {
      *error = "cannot list " + folder.u8string() + ": " + ec.message();
      return false;
    }
  }
  if (!refused.empty()) {
    *error = refused;
    return false;
  }
  std::sort(found.begin(), found.end(),
            [](const ArchiveSourceFile& a, const ArchiveSourceFile& b) { return a.name < b.name; });
  if (!RefuseCollisions(found, error)) return false;
  *files = found;
  return true;
}

void LeaveOutFile(const std::string& path, std::vector<ArchiveSourceFile>* files) {
  LeaveOutFiles({path}, files);
}

void LeaveOutFiles(const std::vector<std::string>& paths, std::vector<ArchiveSourceFile>* files) {
  std::vector<fs::path> present;
  for (const std::string& p : paths) {
    std::error_code ec;
    if (fs::exists(fs::u8path(p), ec)) present.push_back(fs::u8path(p));
  }
  files->erase(std::remove_if(files->begin(), files->end(),
                              [&](const ArchiveSourceFile& f) {
                                return std::any_of(
                                    present.begin(), present.end(), [&](const fs::path& target) {
                                      std::error_code ec;
                                      return fs::equivalent(fs::u8path(f.hostPath), target, ec);
                                    });
                              }),
               files->end());
}

std::string PartialPath(const std::string& path) { return path + ".partial"; }

bool WriteReplacing(const std::string& path,
                    const std::function<bool(std::ostream& out, std::string* error)>& write,
                    std::string* error) {
  ScratchFiles partial;  // gone on every way out, an interruption included
  const std::string scratch = partial.Add(PartialPath(path));
  std::ofstream out(fs::u8path(scratch), std::ios::binary | std::ios::trunc);
  if (!out) {
    *error = "cannot create " + path;
    return false;
  }
  bool ok = write(out, error);
  out.close();
  if (ok && !out) *error = "cannot write " + path;
  return ok && out && MoveOver(scratch, path, error);
}

bool WriteArchive(const std::vector<ArchiveSourceFile>& files, const std::string& archivePath,
                  std::string* error) {
  std::vector<std::string> names;
  std::vector<uint64_t> sizes;
  std::vector<ArchiveIndexEntry> index;
  if (!PlanArchive(files, &names, &sizes, &index, error)) return false;
  return WriteReplacing(
      archivePath,
      [&](std::ostream& out, std::string* why) { return WriteAll(files, index, out, why); }, error);
}

std::string EntryNameRefusal(const std::string& cp932) {
  switch (CheckEntryName(cp932.c_str())) {
    case ENTRY_NAME_OK:
      return std::string();
    case ENTRY_NAME_EMPTY:
      return "a part of it is empty";
    case ENTRY_NAME_DOT_COMPONENT:
      return "a part of it is \".\" or \"..\"";
    case ENTRY_NAME_TRAILING_DOT_OR_BLANK:
      return "a part of it ends in a dot or a blank, which Windows drops";
    case ENTRY_NAME_FORBIDDEN_CHARACTER:
      return "it holds a character Windows forbids (< > : \" / | ? * or a control character)";
    case ENTRY_NAME_UNKNOWN_CHARACTER:
      return "it holds a character the updater cannot read (code page 932 lead byte "
             "0xF0-0xFC, or a byte that is no character)";
    case ENTRY_NAME_DEVICE:
      return "it is a Windows device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9)";
    case ENTRY_NAME_WORKING_FILE:
      return "it is one of the updater's own files (install.log, __updatetmp__.tmd, ~QX*.TMP)";
  }
  return "it is no name the updater writes";
}
