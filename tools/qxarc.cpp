// qxarc: lists, extracts, creates and checks archives, plain or enciphered.
// The usage text below is the command's reference.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <new>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "support/path_string.h"
#include "tools/lib/archive_encipher.h"
#include "tools/lib/archive_layout.h"
#include "tools/lib/archive_writer.h"
#include "tools/lib/byte_stream.h"
#include "tools/lib/cp932.h"
#include "tools/lib/scratch_files.h"
#include "tools/lib/tool_location.h"
#include "tools/lib/updater_payload.h"

namespace fs = std::filesystem;

namespace {

enum { EXIT_OK = 0, EXIT_FAILED = 1, EXIT_USAGE = 2 };

const char kUsage[] =
    "usage: qxarc list ARCHIVE\n"
    "       qxarc extract ARCHIVE DIR [NAME...]\n"
    "       qxarc create DIR ARCHIVE [--encipher SEED]\n"
    "       qxarc verify ARCHIVE\n"
    "       qxarc --help\n"
    "\n"
    "ARCHIVE may be an updater made by qxbuild: its payload is checked and\n"
    "inflated as the updater does it, and its archive is read.\n"
    "list     one line per entry: INDEX<TAB>OFFSET<TAB>SIZE<TAB>NAME, the name as\n"
    "         the updater's reader gives it (upper-cased, '\\' separators) in UTF-8.\n"
    "         In an enciphered archive entry 0 is the key entry: its size is the seed.\n"
    "extract  every entry, or the NAMEs given (any case, '\\' or '/'), into DIR, with\n"
    "         '\\' as the host's separator. The key entry is never extracted. Refused,\n"
    "         one line each: names the updater refuses, data outside the file, and an\n"
    "         entry that would land on a file or directory of an earlier one.\n"
    "create   every regular file below DIR, in name order, named relative to DIR in\n"
    "         code page 932; SEED (32 bits, decimal or 0x-hex) enciphers the archive.\n"
    "         Links, FIFOs and other special files are refused, one line each. An\n"
    "         earlier ARCHIVE is left out of the tree and kept when create fails.\n"
    "verify   the archive as the updater would install it: nothing printed when\n"
    "         sound, else one line per problem on stdout.\n"
    "\n"
    "exit status: 0 success; 1 failure, with one line per problem (on stderr, but\n"
    "for verify); 2 usage error.\n";

int Usage(std::FILE* to, int status) {
  std::fputs(kUsage, to);
  return status;
}

// An archive name (code page 932) as UTF-8, separators kept; false when it
// has no UTF-8 form.
bool NameToUtf8(const char* name, std::string* utf8) { return Cp932ToUtf8(name, utf8); }

// The name for messages: UTF-8 when it has a form, else the stored bytes.
std::string Shown(const char* name) {
  std::string utf8;
  return NameToUtf8(name, &utf8) ? utf8 : std::string(name);
}

// Where a name lands below a target directory: '\' and '/' both separate, and
// empty and "." components add nothing. Two names with one landing path
// would write one file.
std::string LandingPath(const std::string& utf8) {
  std::string path;
  size_t start = 0;
  while (start <= utf8.size()) {
    size_t end = utf8.find_first_of("\\/", start);
    if (end == std::string::npos) end = utf8.size();
    std::string part = utf8.substr(start, end - start);
    if (!part.empty() && part != ".") path += (path.empty() ? "" : "/") + part;
    start = end + 1;
  }
  return path;
}

// The landing path of a name given on the command line, upper-cased as the
// reader lists names; empty when it has no code page 932 form.
std::string GivenLanding(const std::string& utf8) {
  std::string cp932, upper;
  if (!Utf8ToCp932(utf8, &cp932) || cp932.size() >= QX_MAX_PATH) return std::string();
  char buffer[QX_MAX_PATH];
  std::memcpy(buffer, cp932.c_str(), cp932.size() + 1);
  MakeUpper(buffer);
  return NameToUtf8(buffer, &upper) ? LandingPath(upper) : std::string();
}

// Size of the archive file; 0xFFFFFFFF when unknown or 4 GiB or more.
uint32_t ArchiveBytes(const std::string& path) {
  InputFile file;
  std::string ignored;
  if (!file.Open(path, &ignored) || file.Size() >= 0xFFFFFFFFu) return 0xFFFFFFFFu;
  return uint32_t(file.Size());
}

const char* OpenFailure(ArchiveOpenError why) {
  switch (why) {
    case ARCHIVE_TOO_SHORT:
      return "the file is shorter than the 8-byte header";
    case ARCHIVE_INDEX_BEYOND_FILE:
      return "the index reaches beyond the end of the file";
    case ARCHIVE_NO_MEMORY:
      return "no memory for the index";
    default:
      return "the file cannot be opened or read";
  }
}

// What ARCHIVE on the command line stands for: the file read (the file
// itself, or the archive out of an updater), as UTF-8 and as the path the
// reader opens, and the name to show.
struct Input {
  std::string path;
  std::string native;
  std::string shown;
};

bool OpenArchive(qxArchive& reader, const Input& in) {
  ArchiveOpenError why;
  if (reader.Open(in.native.c_str(), &why)) return true;
  std::fprintf(stderr, "qxarc: cannot open %s as an archive: %s\n", in.shown.c_str(),
               OpenFailure(why));
  return false;
}

// A scratch file's path in the temporary folder.
std::string TemporaryFile() {
  std::error_code ec;
  char name[32];
  std::snprintf(name, sizeof name, "qxarc-%08x.qrb", unsigned(std::random_device()()));
  return (fs::temp_directory_path(ec) / name).u8string();
}

// Resolves ARCHIVE: an updater's archive goes into a scratch file; a file
// that starts as neither is refused. Files that do not open are left to the
// reader, which says why. False with one line printed.
bool ResolveInput(const std::string& given, ScratchFiles* scratch, Input* in) {
  InputFile file;
  std::string first, error;
  in->shown = given;
  if (file.Open(given, &error)) {
    first.resize(size_t(std::min<uint64_t>(file.Size(), 4)));
    if (!file.Read(&first[0], first.size(), &error)) first.clear();
  }
  std::string path = given;
  if (LooksLikeExecutable(first)) {
    path = scratch->Add(TemporaryFile());
    OutputFile out;
    if (!out.Create(path, &error) || !ExtractUpdaterArchive(&file, &out, &error) ||
        !out.Close(&error)) {
      std::fprintf(stderr, "qxarc: %s: %s\n", given.c_str(), error.c_str());
      return false;
    }
  } else if (first.size() == ARCHIVE_MAGIC_BYTES && !HasArchiveMagic(first.data(), first.size())) {
    std::fprintf(stderr, "qxarc: %s is neither an archive nor an updater\n", given.c_str());
    return false;
  }
  in->path = path;
  if (!NativePath(path, &in->native)) {
    std::fprintf(stderr, "qxarc: %s: the path has no form in the ANSI code page\n", given.c_str());
    return false;
  }
  return true;
}

// Walks every entry with a one-record table, closing each handle after use.
template <typename Visit>
void ForEachEntry(qxArchive& reader, Visit visit) {
  qxArchiveEntry* h;
  for (uint32_t i = 0; (h = reader.OpenEntry(i)) != NoArchiveEntry(); ++i) {
    visit(i, h);
    reader.CloseEntry(h);
  }
}

bool IsKeyEntry(qxArchive& reader, uint32_t i) { return i == 0 && reader.IsEnciphered(); }

// What keeps an entry from being installed or extracted: a name the updater
// refuses or one without a UTF-8 form, or data that lies outside the file or
// beyond the reader's 2 GiB reach. Empty when there is nothing.
std::string EntryProblem(qxArchive& reader, qxArchiveEntry* h, uint32_t fileSize) {
  const char* name = reader.GetName(h, nullptr);
  const uint32_t start = reader.GetStart(h), size = reader.GetSize(h);
  std::string utf8, where = "entry " + std::to_string(reader.GetIndex(h)) + ": ";
  const std::string refusal = EntryNameRefusal(name);
  if (!refusal.empty())
    return where + "the updater refuses the name " + Shown(name) + ": " + refusal;
  if (!NameToUtf8(name, &utf8)) return where + "the name has no UTF-8 form";
  uint64_t end = uint64_t(start) + size;
  where += "data at " + std::to_string(start) + ", " + std::to_string(size) + " bytes, ";
  if (fileSize != 0xFFFFFFFFu && end > fileSize) return where + "lies outside the file";
  if (end > uint64_t(QX_MAX_ARCHIVE_SIZE) + 1)
    return where + "lies beyond 2 GiB, out of the reader's reach";
  return std::string();
}

// The files and directories that the entries seen so far land on.
class Landings {
 public:
  // Empty when entry index of this name may land on its path, which it then
  // claims; otherwise why it may not (an earlier entry holds that file, or
  // needs it as a directory, or is a file where this one needs a directory).
  std::string Claim(uint32_t index, const char* name) {
    std::string utf8;
    NameToUtf8(name, &utf8);
    // Windows folds names: two that fold alike land on one file.
    const std::string path = WindowsNameKey(LandingPath(utf8));
    const Owner self{index, utf8};
    auto file = files_.find(path);
    if (file != files_.end()) {
      if (file->second.name == utf8) return Pair(file->second, self) + " share the name " + utf8;
      return Pair(file->second, self) + " land on the same file " + path;
    }
    auto dir = directories_.find(path);
    if (dir != directories_.end())
      return Pair(dir->second, self) + " need " + path + " as a directory and as a file";
    for (size_t cut = path.find('/'); cut != std::string::npos; cut = path.find('/', cut + 1)) {
      auto parent = files_.find(path.substr(0, cut));
      if (parent != files_.end())
        return Pair(parent->second, self) + " need " + parent->first +
               " as a file and as a directory";
    }
    files_.emplace(path, self);
    for (size_t cut = path.find('/'); cut != std::string::npos; cut = path.find('/', cut + 1))
      directories_.emplace(path.substr(0, cut), self);
    return std::string();
  }

 private:
  struct Owner {
    uint32_t index;
    std::string name;
  };
  static std::string Pair(const Owner& a, const Owner& b) {
    return "entries " + std::to_string(a.index) + " and " + std::to_string(b.index);
  }
  std::map<std::string, Owner> files_;
  std::map<std::string, Owner> directories_;
};

int List(const Input& archive) {
  qxArchive reader(1);
  if (!OpenArchive(reader, archive)) return EXIT_FAILED;
  ForEachEntry(reader, [&](uint32_t i, qxArchiveEntry* h) {
    std::printf("%u\t%u\t%u\t%s\n", unsigned(i), unsigned(reader.GetStart(h)),
                unsigned(reader.GetSize(h)), Shown(reader.GetName(h, nullptr)).c_str());
  });
  return EXIT_OK;
}

// Copies one entry into root/name; a short read leaves no file behind.
bool ExtractEntry(qxArchive& reader, qxArchiveEntry* h, const fs::path& root) {
  std::string name;
  const uint32_t size = reader.GetSize(h);
  NameToUtf8(reader.GetName(h, nullptr), &name);
  fs::path target = root / fs::u8path(LandingPath(name));
  std::error_code ec;
  fs::create_directories(target.parent_path(), ec);
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  std::vector<char> buffer(1 << 20);
  uint32_t done = 0;
  while (out && done < size) {
    uint32_t got = reader.Read(h, buffer.data(), uint32_t(buffer.size()));
    if (got == 0) break;
    out.write(buffer.data(), got);
    done += got;
  }
  out.close();
  if (out && done == size) return true;
  std::fprintf(stderr, "qxarc: entry %u: cannot extract %s (%u of %u bytes)\n",
               unsigned(reader.GetIndex(h)), name.c_str(), unsigned(done), unsigned(size));
  fs::remove(target, ec);
  return false;
}

int Extract(const Input& archive, const std::string& dir, const std::vector<std::string>& names) {
  qxArchive reader(1);
  if (!OpenArchive(reader, archive)) return EXIT_FAILED;
  const uint32_t fileSize = ArchiveBytes(archive.path);
  std::map<std::string, std::string> wanted;  // landing path -> as given
  for (const std::string& n : names) wanted[GivenLanding(n)] = n;
  std::set<std::string> found;
  Landings landings;
  fs::path root = fs::u8path(dir);
  bool ok = true;
  ForEachEntry(reader, [&](uint32_t i, qxArchiveEntry* h) {
    if (IsKeyEntry(reader, i)) return;  // the key entry holds no file
    std::string utf8;
    const char* name = reader.GetName(h, nullptr);
    if (!wanted.empty()) {
      if (!NameToUtf8(name, &utf8) || !wanted.count(LandingPath(utf8))) return;
      found.insert(LandingPath(utf8));
    }
    std::string problem = EntryProblem(reader, h, fileSize);
    if (problem.empty()) problem = landings.Claim(i, name);
    if (!problem.empty()) {
      std::fprintf(stderr, "qxarc: %s; entry %u not extracted\n", problem.c_str(), unsigned(i));
      ok = false;
    } else if (!ExtractEntry(reader, h, root)) {
      ok = false;
    }
  });
  for (const auto& w : wanted) {
    if (found.count(w.first)) continue;
    std::fprintf(stderr, "qxarc: no entry named %s\n", w.second.c_str());
    ok = false;
  }
  return ok ? EXIT_OK : EXIT_FAILED;
}

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A 32-bit seed in decimal or 0x-hex: digits only after the one prefix.
bool ParseSeed(const char* text, uint32_t* seed) {
  int base = 10;
  if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text += 2;
  }
  if (!*text) return false;
  uint64_t value = 0;
  for (; *text; ++text) {
    int digit = DigitValue(*text);
    if (digit < 0 || digit >= base) return false;
    value = value * unsigned(base) + unsigned(digit);
    if (value > 0xFFFFFFFFu) return false;
  }
  *seed = uint32_t(value);
  return true;
}

// Each line of a reason, as one line of the tool's own.
void PrintLines(const std::string& text) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::fprintf(stderr, "qxarc: %s\n", text.substr(start, end - start).c_str());
    start = end + 1;
  }
}

int Create(const std::string& dir, const std::string& archive, const uint32_t* seed) {
  std::vector<ArchiveSourceFile> files;
  std::string error;
  bool ok = CollectTree(dir, &files, &error);
  if (ok) {
    LeaveOutFile(archive, &files);
    ok = seed ? WriteEncipheredArchive(files, archive, *seed, &error)
              : WriteArchive(files, archive, &error);
  }
  if (ok) return EXIT_OK;
  PrintLines(error);
  return EXIT_FAILED;
}

// What the reader does not show: a truncated header or index, and name fields
// without their NUL (the reader cuts those). Reports problems into problems.
bool CheckRawIndex(const Input& archive, uint32_t* fileSize, std::vector<std::string>* problems) {
  InputFile file;
  std::string problem;
  if (!file.Open(archive.path, &problem)) {
    problems->push_back("cannot open " + archive.shown);
    return false;
  }
  *fileSize = file.Size() >= 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(file.Size());
  if (*fileSize == 0xFFFFFFFFu && file.Size() >= ARCHIVE_HEADER_BYTES) {
    problems->push_back("file size unknown or 4 GiB or more");
    return false;
  }
  const bool whole = ForEachStoredEntry(
      &file,
      [&](uint32_t i, const ArchiveIndexEntry& stored) {
        if (!std::memchr(stored.name, 0, ARCHIVE_NAME_BYTES))
          problems->push_back("entry " + std::to_string(i) + ": name is not NUL-terminated");
        return true;
      },
      &problem);
  if (!whole) problems->push_back(problem);
  return whole;
}

int Verify(const Input& archive) {
  std::vector<std::string> problems;
  uint32_t fileSize = 0;
  if (CheckRawIndex(archive, &fileSize, &problems)) {
    qxArchive reader(1);
    ArchiveOpenError why;
    if (reader.Open(archive.native.c_str(), &why)) {
      Landings landings;
      ForEachEntry(reader, [&](uint32_t i, qxArchiveEntry* h) {
        // The key entry's size is the seed, not a length of data in the file.
        if (IsKeyEntry(reader, i)) return;
        std::string problem = EntryProblem(reader, h, fileSize);
        if (problem.empty()) problem = landings.Claim(i, reader.GetName(h, nullptr));
        if (!problem.empty()) problems.push_back(problem);
      });
    } else {
      problems.push_back(std::string("the reader refuses the archive: ") + OpenFailure(why));
    }
  }
  for (const std::string& p : problems) std::printf("%s: %s\n", archive.shown.c_str(), p.c_str());
  return problems.empty() ? EXIT_OK : EXIT_FAILED;
}

// list, verify or extract on ARCHIVE (an archive or an updater).
int Read(const std::vector<std::string>& args) {
  ScratchFiles scratch;  // an updater's archive, removed on every way out
  Input in;
  if (!ResolveInput(args[1], &scratch, &in)) return EXIT_FAILED;
  if (args[0] == "list") return List(in);
  if (args[0] == "verify") return Verify(in);
  return Extract(in, args[2], std::vector<std::string>(args.begin() + 3, args.end()));
}

int Main(const std::vector<std::string>& args) {
  const size_t n = args.size();
  if (n < 1) return Usage(stderr, EXIT_USAGE);
  const std::string& command = args[0];
  if ((command == "--help" || command == "-h") && n == 1) return Usage(stdout, EXIT_OK);
  if (((command == "list" || command == "verify") && n == 2) || (command == "extract" && n >= 3))
    return Read(args);
  if (command == "create" && n == 3) return Create(args[1], args[2], nullptr);
  if (command == "create" && n == 5 && args[3] == "--encipher") {
    uint32_t seed;
    if (!ParseSeed(args[4].c_str(), &seed)) {
      std::fprintf(stderr, "qxarc: not a 32-bit seed: %s\n", args[4].c_str());
      return EXIT_USAGE;
    }
    return Create(args[1], args[2], &seed);
  }
  return Usage(stderr, EXIT_USAGE);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Main(Utf8Arguments(argc, argv));
  } catch (const std::bad_alloc&) {
    std::fputs("qxarc: out of memory\n", stderr);
  }
  return EXIT_FAILED;
}
