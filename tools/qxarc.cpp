// qxarc: lists, extracts, creates and checks archives, plain or enciphered.
//
//   qxarc list ARCHIVE               INDEX<TAB>OFFSET<TAB>SIZE<TAB>NAME per entry
//   qxarc extract ARCHIVE DIR [NAME...]
//   qxarc create DIR ARCHIVE [--encipher SEED]
//   qxarc verify ARCHIVE             exit 1 and one line per problem when unsound
//
// Names are shown and taken in UTF-8 with '/' separators, and listed the way
// the updater's reader lists them (upper-cased). In an enciphered archive the
// key entry (entry 0, its size field the seed, given in decimal or 0x-hex) is
// listed as stored but never extracted: it holds no file. Exit codes:
// 0 success, 1 failure, 2 usage.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
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

int Usage() {
  std::fputs(
      "usage: qxarc list ARCHIVE\n"
      "       qxarc extract ARCHIVE DIR [NAME...]\n"
      "       qxarc create DIR ARCHIVE [--encipher SEED]\n"
      "       qxarc verify ARCHIVE\n",
      stderr);
  return EXIT_USAGE;
}

// Archive name (code page 932, '\') as host text (UTF-8, '/'); false when the
// name has no UTF-8 form.
bool HostName(const char* name, std::string* host) {
  if (!Cp932ToUtf8(name, host)) return false;
  for (char& c : *host)
    if (c == '\\') c = '/';
  return true;
}

// The name the reader would list for a name given on the command line.
std::string ReaderName(const std::string& utf8) {
  std::string cp932;
  if (!Utf8ToCp932(utf8, &cp932) || cp932.size() >= QX_MAX_PATH) return std::string();
  for (char& c : cp932)
    if (c == '/') c = '\\';
  char upper[QX_MAX_PATH];
  std::memcpy(upper, cp932.c_str(), cp932.size() + 1);
  MakeUpper(upper);
  return upper;
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

bool OpenArchive(qxArchive& reader, const char* path) {
  if (reader.Open(path)) return true;
  std::fprintf(stderr, "qxarc: cannot open %s as an archive\n", path);
  return false;
}

int List(const char* archive) {
  qxArchive reader(1);
  if (!OpenArchive(reader, archive)) return EXIT_FAILED;
  ForEachEntry(reader, [&](uint32_t i, qxArchiveEntry* h) {
    std::string name;
    if (!HostName(reader.GetName(h, nullptr), &name)) name = reader.GetName(h, nullptr);
    std::printf("%u\t%u\t%u\t%s\n", unsigned(i), unsigned(h->start), unsigned(h->size),
                name.c_str());
  });
  return EXIT_OK;
}

// A relative path that stays inside the target directory.
bool IsContained(const std::string& name) {
  if (name.empty() || name[0] == '/') return false;
  if (name.size() >= 2 && name[1] == ':') return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    if (name.compare(start, end - start, "..") == 0) return false;
    start = end + 1;
  }
  return true;
}

// Copies one entry into root/name; a short read leaves no file behind.
bool ExtractEntry(qxArchive& reader, qxArchiveEntry* h, const fs::path& root) {
  const char* stored = reader.GetName(h, nullptr);
  std::string name;
  if (!HostName(stored, &name) || !IsContained(name)) {
    std::fprintf(stderr, "qxarc: entry %u: refusing name %s\n", unsigned(h->index),
                 name.empty() ? stored : name.c_str());
    return false;
  }
  fs::path target = root / fs::u8path(name);
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
  std::map<std::string, std::string> wanted;  // reader name -> as given
  for (const std::string& n : names) wanted[ReaderName(n)] = n;
  std::set<std::string> found;
  fs::path root = fs::u8path(dir);
  bool ok = true;
  ForEachEntry(reader, [&](uint32_t i, qxArchiveEntry* h) {
    if (i == 0 && reader.IsEnciphered()) return;  // the key entry holds no file
    std::string name = reader.GetName(h, nullptr);
    if (!wanted.empty() && !wanted.count(name)) return;
    found.insert(name);
    if (!ExtractEntry(reader, h, root)) ok = false;
  });
  for (const auto& w : wanted) {
    if (found.count(w.first)) continue;
    std::fprintf(stderr, "qxarc: no entry named %s\n", w.second.c_str());
    ok = false;
  }
  return ok ? EXIT_OK : EXIT_FAILED;
}

// A 32-bit seed in decimal or 0x-hex, nothing else around it.
bool ParseSeed(const char* text, uint32_t* seed) {
  int base = 10;
  if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text += 2;
  }
  if (!std::isxdigit(static_cast<unsigned char>(text[0]))) return false;
  char* end = nullptr;
  errno = 0;
  unsigned long long value = std::strtoull(text, &end, base);
  if (errno != 0 || *end != '\0' || value > 0xFFFFFFFFull) return false;
  *seed = uint32_t(value);
  return true;
}

int Create(const std::string& dir, const std::string& archive, const uint32_t* seed) {
  std::vector<ArchiveSourceFile> files;
  std::string error;
  if (!CollectTree(dir, &files, &error) ||
      !(seed ? WriteEncipheredArchive(files, archive, *seed, &error)
             : WriteArchive(files, archive, &error))) {
    std::fprintf(stderr, "qxarc: %s\n", error.c_str());
    return EXIT_FAILED;
  }
  return EXIT_OK;
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

// Through the reader: every entry inside the file, no two names alike.
void CheckEntries(qxArchive& reader, uint32_t fileSize, std::vector<std::string>* problems) {
  std::map<std::string, uint32_t> names;
  ForEachEntry(reader, [&](uint32_t i, qxArchiveEntry* h) {
    std::string name = reader.GetName(h, nullptr);
    std::string shown;
    if (!HostName(name.c_str(), &shown)) shown = name;
    // The key entry's size is the seed, not a length of data in the file.
    if (i == 0 && reader.IsEnciphered()) return;
    uint64_t end = uint64_t(h->start) + h->size;
    std::string where = "entry " + std::to_string(i) + ": data at " + std::to_string(h->start) +
                        ", " + std::to_string(h->size) + " bytes, ";
    if (end > fileSize)
      problems->push_back(where + "lies outside the file");
    else if (end > 0x80000000u)
      problems->push_back(where + "lies beyond 2 GiB, out of the reader's reach");
    auto inserted = names.emplace(name, i);
    if (!inserted.second)
      problems->push_back("entries " + std::to_string(inserted.first->second) + " and " +
                          std::to_string(i) + " share the name " + shown);
  });
}

int Verify(const char* archive) {
  std::vector<std::string> problems;
  uint32_t fileSize = 0;
  if (CheckRawIndex(archive, &fileSize, &problems)) {
    qxArchive reader(1);
    if (reader.Open(archive))
      CheckEntries(reader, fileSize, &problems);
    else
      problems.push_back("the reader refuses the archive");
  }
  for (const std::string& p : problems) std::printf("%s: %s\n", archive, p.c_str());
  return problems.empty() ? EXIT_OK : EXIT_FAILED;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  std::string command = argv[1];
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
  return Usage();
}
