#include "tools/lib/update_check.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "app/entry_name.h"
#include "app/version_text.h"
#include "archive/archive.h"
#include "support/path_string.h"
#include "tools/lib/archive_layout.h"
#include "tools/lib/cp932.h"
#include "tools/lib/payload_packer.h"
#include "tools/lib/tool_location.h"
#include "tools/lib/version_resource.h"

namespace fs = std::filesystem;

namespace {

// A name for a message: UTF-8 when it has that form, else escaped bytes.
std::string Printable(const std::string& cp932) {
  std::string utf8;
  if (Cp932ToUtf8(cp932, &utf8)) return utf8;
  std::string out;
  for (unsigned char c : cp932) {
    char hex[8];
    std::snprintf(hex, sizeof hex, c < 0x20 || c >= 0x7F ? "\\x%02X" : "%c", c);
    out += hex;
  }
  return out;
}

// One entry's bytes, read where they lie through the updater's reader.
class EntryRange : public ByteRange {
 public:
  EntryRange(qxArchive* reader, qxArchiveEntry* entry) : reader_(reader), entry_(entry) {}
  uint64_t Size() const override { return reader_->GetSize(entry_); }
  bool ReadAt(uint64_t offset, void* to, size_t n) override {
    return offset <= Size() && n <= Size() - offset &&
           reader_->Seek(entry_, uint32_t(offset), 0) == offset &&
           reader_->Read(entry_, to, uint32_t(n)) == n;
  }

 private:
  qxArchive* reader_;
  qxArchiveEntry* entry_;
};

// stored: the entry's index entry as stored (the reader cuts a name without
// its NUL silently).
bool CheckEntry(qxArchive* reader, qxArchiveEntry* entry, const ArchiveIndexEntry& stored,
                uint64_t fileSize, std::map<std::string, std::string>* seen,
                std::vector<std::string>* warnings, std::string* error) {
  const std::string name = reader->GetName(entry, nullptr);
  const std::string shown = Printable(name);
  std::string utf8;
  if (uint64_t(reader->GetStart(entry)) + reader->GetSize(entry) > fileSize) {
    *error = "entry lies outside the archive file: " + shown;
  } else if (!std::memchr(stored.name, '\0', ARCHIVE_NAME_BYTES)) {
    *error = "name longer than 63 bytes in code page 932: " + shown;
  } else if (!Cp932ToUtf8(name, &utf8)) {
    *error = "name has no code page 932 form: " + shown;
  } else if (!EntryNameRefusal(name).empty()) {
    *error = "the updater refuses the name " + shown + ": " + EntryNameRefusal(name);
  } else {
    auto added = seen->emplace(WindowsNameKey(utf8), utf8);
    if (!added.second)
      *error =
          "two entries are one file on Windows (names equal but for case): " + added.first->second +
          " and " + utf8;
  }
  if (!error->empty()) return false;
  EntryRange bytes(reader, entry);
  std::string version;
  if (IsExecutableName(name.c_str()) && !ExecutableFileVersion(&bytes, &version))
    warnings->push_back(shown +
                        ": executable without a FileVersion; the updater will not let it "
                        "replace an installed file that has one");
  return true;
}

// The version gate's words of an executable's FileVersion (false: none).
bool GateVersion(const std::string& path, uint64_t* version, std::string* text) {
  InputFile file;
  std::string ignored;
  if (!file.Open(path, &ignored) || !ExecutableFileVersion(&file, text)) return false;
  uint32_t ms, ls;
  ParseFileVersion(text->c_str(), &ms, &ls);
  *version = FileVersionKey(ms, ls);
  return true;
}

// The UTF-8 name of an archive name, and the folders it lies in (their
// names, '\\' between parts).
std::vector<std::string> Folders(const std::string& cp932, std::string* utf8) {
  std::vector<std::string> folders;
  if (!Cp932ToUtf8(cp932, utf8)) *utf8 = cp932;
  for (size_t cut = utf8->find('\\'); cut != std::string::npos; cut = utf8->find('\\', cut + 1))
    folders.push_back(utf8->substr(0, cut));
  return folders;
}

// A name that the archive's entries (Windows name key -> UTF-8 name) need both
// as a file and as a folder: the updater refuses such an update whole.
bool RefuseFileAndFolder(const std::map<std::string, std::string>& files, std::string* error) {
  for (const auto& file : files) {
    const std::string& name = file.second;
    for (size_t cut = name.find('\\'); cut != std::string::npos; cut = name.find('\\', cut + 1)) {
      auto clash = files.find(WindowsNameKey(name.substr(0, cut)));
      if (clash == files.end()) continue;
      *error = "entries need " + clash->second + " both as a file and as a folder (" + name + ")";
      return false;
    }
  }
  return true;
}

// A name that is a file in one tree and a folder in the other.
bool RefuseFileFolderSwaps(const std::vector<ArchiveSourceFile>& tree,
                           const std::vector<ArchiveSourceFile>& oldTree, std::string* error) {
  struct Side {
    std::map<std::string, const ArchiveSourceFile*> files, folders;  // by Windows name key
  } sides[2];
  const std::vector<ArchiveSourceFile>* trees[2] = {&tree, &oldTree};
  for (int t = 0; t < 2; ++t)
    for (const ArchiveSourceFile& f : *trees[t]) {
      std::string utf8;
      for (const std::string& folder : Folders(f.name, &utf8))
        sides[t].folders.emplace(WindowsNameKey(folder), &f);
      sides[t].files.emplace(WindowsNameKey(utf8), &f);
    }
  for (int t = 0; t < 2; ++t)
    for (const auto& file : sides[t].files) {
      auto folder = sides[1 - t].folders.find(file.first);
      if (folder == sides[1 - t].folders.end()) continue;
      const ArchiveSourceFile* in[2] = {file.second, folder->second};
      const char* which[2] = {t == 0 ? "the new tree" : "the old tree",
                              t == 0 ? "the old tree" : "the new tree"};
      *error = Printable(file.second->name) + " is a file in " + which[0] + " (" + in[0]->hostPath +
               ") but a folder in " + which[1] + " (holding " + in[1]->hostPath +
               "): the updater cannot turn one into the other";
      return false;
    }
  return true;
}

bool SameBytes(const std::string& a, const std::string& b, std::string* error) {
  std::ifstream one(fs::u8path(a), std::ios::binary), other(fs::u8path(b), std::ios::binary);
  if (!one || !other) {
    *error = "cannot read " + (one ? b : a);
    return false;
  }
  std::vector<char> x(1 << 16), y(1 << 16);
  while (one && other) {
    one.read(x.data(), std::streamsize(x.size()));
    other.read(y.data(), std::streamsize(y.size()));
    if (one.gcount() != other.gcount() || std::memcmp(x.data(), y.data(), size_t(one.gcount())))
      return false;
  }
  return one.eof() && other.eof();
}

// Name rule of the install-location folder and file: one component that the
// updater's name rule takes.
bool FitsFileName(const std::string& cp932) {
  for (size_t i = 0; i < cp932.size(); ++i) {
    if (IsDoubleByteChar(&cp932[i])) {
      ++i;
    } else if (cp932[i] == '\\') {
      return false;
    }
  }
  return IsInstallableEntryName(cp932.c_str());
}

}  // namespace

bool CheckProductName(const char* what, const std::string& utf8, std::string* cp932,
                      std::string* error) {
  const std::string w(what);
  if (utf8.empty()) {
    *error = w + " is empty";
  } else if (utf8.find_first_of("\r\n") != std::string::npos) {
    *error = w + " must be one line";
  } else if (!Utf8ToCp932(utf8, cp932)) {
    *error = w + " has no code page 932 form: " + utf8;
  } else if (cp932->size() > 259) {
    *error = w + " is " + std::to_string(cp932->size()) +
             " bytes in code page 932 (at most 259): " + utf8;
  } else if (!FitsFileName(*cp932 + (w == "title" ? ".xml" : ""))) {
    *error = w + " cannot be part of a file name: " + utf8;
  }
  return error->empty();
}

bool CheckUpdateArchive(const std::string& path, std::vector<std::string>* warnings,
                        std::string* error) {
  error->clear();
  InputFile file;
  char first[ARCHIVE_HEADER_BYTES];
  std::string native;
  if (!file.Open(path, error) || !CheckArchiveSize(file.Size(), error)) return false;
  if (file.Size() < sizeof first || !file.ReadAt(0, first, sizeof first) ||
      !HasArchiveMagic(first, sizeof first)) {
    *error = "not an archive (no QRB magic)";
    return false;
  }
  if (!NativePath(path, &native)) {
    *error = "path has no form in the ANSI code page: " + path;
    return false;
  }
  qxArchive reader(1);
  if (!reader.Open(native.c_str())) {
    *error = "archive does not open (not an archive, or its index is damaged)";
    return false;
  }
  if (reader.IsEnciphered()) {
    *error = "archive is enciphered (the updater installs plain archives only)";
    return false;
  }
  if (reader.GetCount() == 0) {
    *error = "archive has no entry";
    return false;
  }
  std::map<std::string, std::string> seen;  // Windows name key -> name (UTF-8)
  // The index as stored, read beside the reader's own copy.
  return ForEachStoredEntry(
             &file,
             [&](uint32_t i, const ArchiveIndexEntry& stored) {
               qxArchiveEntry* entry = reader.OpenEntry(i);
               if (entry == NoArchiveEntry()) {
                 *error = "archive entry " + std::to_string(i) + " does not open";
                 return false;
               }
               const bool ok =
                   CheckEntry(&reader, entry, stored, file.Size(), &seen, warnings, error);
               reader.CloseEntry(entry);
               return ok;
             },
             error) &&
         RefuseFileAndFolder(seen, error);
}

bool DiffTrees(const std::vector<ArchiveSourceFile>& tree,
               const std::vector<ArchiveSourceFile>& oldTree,
               std::vector<ArchiveSourceFile>* changed, std::vector<std::string>* removed,
               std::vector<std::string>* warnings, std::string* error) {
  auto upper = [](const std::string& name) {
    std::string u = name;
    MakeUpper(&u[0]);
    return u;
  };
  if (!RefuseFileFolderSwaps(tree, oldTree, error)) return false;
  std::map<std::string, const ArchiveSourceFile*> old;
  for (const ArchiveSourceFile& f : oldTree) old[upper(f.name)] = &f;
  changed->clear();
  removed->clear();
  for (const ArchiveSourceFile& f : tree) {
    auto found = old.find(upper(f.name));
    if (found == old.end()) {
      changed->push_back(f);
      continue;
    }
    error->clear();
    const std::string& before = found->second->hostPath;
    if (SameBytes(f.hostPath, before, error)) {
      old.erase(found);
      continue;
    }
    if (!error->empty()) return false;
    changed->push_back(f);
    old.erase(found);
    uint64_t newVersion, oldVersion;
    std::string newText, oldText;
    if (IsExecutableName(f.name.c_str()) && GateVersion(f.hostPath, &newVersion, &newText) &&
        GateVersion(before, &oldVersion, &oldText) && newVersion < oldVersion)
      warnings->push_back(Printable(f.name) + ": FileVersion \"" + newText + "\" is lower than \"" +
                          oldText + "\" in the old tree (" + before +
                          "); the updater will keep the installed file");
  }
  for (const auto& gone : old) removed->push_back(Printable(gone.second->name));
  std::sort(removed->begin(), removed->end());
  return true;
}
