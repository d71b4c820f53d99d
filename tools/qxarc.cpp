// qxarc: lists, extracts, creates and checks archives, plain or enciphered.
// The usage text below is the command's reference.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "support/path_string.h"
#include "tools/lib/archive_encipher.h"
#include "tools/lib/archive_writer.h"
#include "tools/lib/cp932.h"

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
uint32_t ArchiveBytes(const char* path) {
  ArchiveFileHandle file = ArchiveFileOpen(path);
  if (file == ARCHIVE_NO_FILE) return 0xFFFFFFFFu;
  uint32_t size = ArchiveFileSize(file);
  ArchiveFileClose(file);
  return size;
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

bool OpenArchive(qxArchive& reader, const char* path) {
  ArchiveOpenError why;
  if (reader.Open(path, &why)) return true;
  std::fprintf(stderr, "qxarc: cannot open %s as an archive: %s\n", path, OpenFailure(why));
  return false;
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
std::string EntryProblem(const qxArchiveEntry* h, uint32_t fileSize) {
  std::string utf8, where = "entry " + std::to_string(h->index) + ": ";
  const std::string refusal = EntryNameRefusal(h->name);
  if (!refusal.empty())
    return where + "the updater refuses the name " + Shown(h->name) + ": " + refusal;
  if (!NameToUtf8(h->name, &utf8)) return where + "the name has no UTF-8 form";
  uint64_t end = uint64_t(h->start) + h->size;
  where += "data at " + std::to_string(h->start) + ", " + std::to_string(h->size) + " bytes, ";
  if (fileSize != 0xFFFFFFFFu && end > fileSize) return where + "lies outside the file";
  if (end > 0x80000000u) return where + "lies beyond 2 GiB, out of the reader's reach";
  return std::string();
}

// The files and directories that the entries seen so far land on.
class Landings {
 public:
  // Empty when entry h may land on its path, which it then claims; otherwise
  // why it may not (an earlier entry holds that file, or needs it as a
  // directory, or is a file where this one needs a directory).
  std::string Claim(const qxArchiveEntry* h) {
    std::string utf8;
    NameToUtf8(h->name, &utf8);
    // Windows folds names: two that fold alike land on one file.
    const std::string path = WindowsNameKey(LandingPath(utf8));
    const Owner self{h->index, utf8};
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

int List(const char* archive) {
  qxArchive reader(1);
  if (!OpenArchive(reader, archive)) return EXIT_FAILED;
  ForEachEntry(reader, [&](uint32_t i, qxArchiveEntry* h) {
    std::printf("%u\t%u\t%u\t%s\n", unsigned(i), unsigned(h->start), unsigned(h->size),
                Shown(h->name).c_str());
  });
  return EXIT_OK;
}

// Copies one entry into root/name; a short read leaves no file behind.
bool ExtractEntry(qxArchive& reader, qxArchiveEntry* h, const fs::path& root) {
  std::string name;
  NameToUtf8(h->name, &name);
  fs::path target = root / fs::u8path(LandingPath(name));
  std::error_code ec;
  fs::create_directories(target.parent_path(), ec);
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  std::vector<char> buffer(1 << 20);
  uint32_t done = 0;
  while (out && done < h->size) {
    uint32_t got = reader.Read(h, buffer.data(), uint32_t(buffer.size()));
    if (got == 0) break;
    out.write(buffer.data(), got);
    done += got;
  }
  out.close();
  if (out && done == h->size) return true;
  std::fprintf(stderr, "qxarc: entry %u: cannot extract %s (%u of %u bytes)\n", unsigned(h->index),
               name.c_str(), unsigned(done), unsigned(h->size));
  fs::remove(target, ec);
  return false;
}

int Extract(const char* archive, const std::string& dir, const std::vector<std::string>& names) {
  qxArchive reader(1);
  if (!OpenArchive(reader, archive)) return EXIT_FAILED;
  const uint32_t fileSize = ArchiveBytes(archive);
  std::map<std::string, std::string> wanted;  // landing path -> as given
  for (const std::string& n : names) wanted[GivenLanding(n)] = n;
  std::set<std::string> found;
  Landings landings;
  fs::path root = fs::u8path(dir);
  bool ok = true;
  ForEachEntry(reader, [&](uint32_t i, qxArchiveEntry* h) {
    if (IsKeyEntry(reader, i)) return;  // the key entry holds no file
    std::string utf8;
    if (!wanted.empty()) {
      if (!NameToUtf8(h->name, &utf8) || !wanted.count(LandingPath(utf8))) return;
      found.insert(LandingPath(utf8));
    }
    std::string problem = EntryProblem(h, fileSize);
    if (problem.empty()) problem = landings.Claim(h);
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

uint32_t LoadU32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// What the reader does not show: a truncated header or index, and name fields
// without their NUL (the reader cuts those). Reports problems into problems.
bool CheckRawIndex(const char* archive, uint32_t* fileSize, std::vector<std::string>* problems) {
  ArchiveFileHandle file = ArchiveFileOpen(archive);
  if (file == ARCHIVE_NO_FILE) {
    problems->push_back(std::string("cannot open ") + archive);
    return false;
  }
  *fileSize = ArchiveFileSize(file);
  unsigned char header[8];
  bool whole = ArchiveFileRead(file, header, 8) == 8;
  uint64_t n = whole ? LoadU32(header + 4) : 0;
  uint64_t indexBytes = 72 * n;
  if (!whole) {
    problems->push_back("header truncated: the file is shorter than 8 bytes");
  } else if (*fileSize == 0xFFFFFFFFu) {
    problems->push_back("file size unknown or 4 GiB or more");
    whole = false;
  } else if (8 + indexBytes > *fileSize) {
    problems->push_back("index truncated: " + std::to_string(n) + " entries need " +
                        std::to_string(8 + indexBytes) + " bytes, the file holds " +
                        std::to_string(*fileSize));
    whole = false;
  }
  std::vector<unsigned char> index(whole ? size_t(indexBytes) : 0);
  if (whole && ArchiveFileRead(file, index.data(), uint32_t(indexBytes)) != indexBytes) {
    problems->push_back("index cannot be read whole");
    whole = false;
  }
  ArchiveFileClose(file);
  for (uint64_t i = 0; whole && i < n; ++i)
    if (!std::memchr(&index[size_t(72 * i)], 0, 64))
      problems->push_back("entry " + std::to_string(i) + ": name is not NUL-terminated");
  return whole;
}

int Verify(const char* archive) {
  std::vector<std::string> problems;
  uint32_t fileSize = 0;
  if (CheckRawIndex(archive, &fileSize, &problems)) {
    qxArchive reader(1);
    ArchiveOpenError why;
    if (reader.Open(archive, &why)) {
      Landings landings;
      ForEachEntry(reader, [&](uint32_t i, qxArchiveEntry* h) {
        // The key entry's size is the seed, not a length of data in the file.
        if (IsKeyEntry(reader, i)) return;
        std::string problem = EntryProblem(h, fileSize);
        if (problem.empty()) problem = landings.Claim(h);
        if (!problem.empty()) problems.push_back(problem);
      });
    } else {
      problems.push_back(std::string("the reader refuses the archive: ") + OpenFailure(why));
    }
  }
  for (const std::string& p : problems) std::printf("%s: %s\n", archive, p.c_str());
  return problems.empty() ? EXIT_OK : EXIT_FAILED;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage(stderr, EXIT_USAGE);
  std::string command = argv[1];
  if ((command == "--help" || command == "-h") && argc == 2) return Usage(stdout, EXIT_OK);
  if (command == "list" && argc == 3) return List(argv[2]);
  if (command == "verify" && argc == 3) return Verify(argv[2]);
  if (command == "create" && argc == 4)
    return Create(ArgumentToUtf8(argv[2]), ArgumentToUtf8(argv[3]), nullptr);
  if (command == "create" && argc == 6 && std::strcmp(argv[4], "--encipher") == 0) {
    uint32_t seed;
    if (!ParseSeed(argv[5], &seed)) {
      std::fprintf(stderr, "qxarc: not a 32-bit seed: %s\n", argv[5]);
      return EXIT_USAGE;
    }
    return Create(ArgumentToUtf8(argv[2]), ArgumentToUtf8(argv[3]), &seed);
  }
  if (command == "extract" && argc >= 4) {
    std::vector<std::string> names;
    for (int i = 4; i < argc; ++i) names.push_back(ArgumentToUtf8(argv[i]));
    return Extract(argv[2], ArgumentToUtf8(argv[3]), names);
  }
  return Usage(stderr, EXIT_USAGE);
}
