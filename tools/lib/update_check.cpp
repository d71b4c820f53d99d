#include "tools/lib/update_check.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "app/entry_name.h"
#include "archive/archive.h"
#include "support/path_string.h"
#include "tools/lib/cp932.h"
#include "tools/lib/payload_packer.h"
#include "tools/lib/pe_image.h"
#include "tools/lib/tool_location.h"

namespace fs = std::filesystem;

namespace {

enum : uint32_t { NAME_FIELD_BYTES = 64, INDEX_ENTRY_BYTES = 72, RT_VERSION_ID = 16 };

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

// Walks the 2-byte-unit strings of a version resource.
struct VersionNode {
  const std::string* block;
  size_t begin, end;  // the node's bytes
  std::u16string key;
  size_t value, valueBytes;
  size_t children;
};

uint32_t Word(const std::string& s, size_t at) {
  return uint32_t(uint8_t(s[at])) | uint32_t(uint8_t(s[at + 1])) << 8;
}

size_t Align4(size_t v) { return (v + 3) & ~size_t(3); }

// The node at begin, within limit. Text values count their length in
// characters, binary ones in bytes.
bool ReadNode(const std::string& block, size_t begin, size_t limit, VersionNode* node) {
  if (begin + 6 > limit) return false;
  const size_t length = Word(block, begin);
  if (length < 6 || begin + length > limit) return false;
  node->block = &block;
  node->begin = begin;
  node->end = begin + length;
  const uint32_t valueLength = Word(block, begin + 2), text = Word(block, begin + 4);
  node->key.clear();
  size_t p = begin + 6;
  for (; p + 2 <= node->end && Word(block, p) != 0; p += 2) node->key += char16_t(Word(block, p));
  p = Align4(p + 2);
  node->value = p;
  node->valueBytes =
      std::min(node->end - std::min(p, node->end), size_t(valueLength) * (text == 1 ? 2 : 1));
  node->children = Align4(p + node->valueBytes);
  return true;
}

// The child of parent whose key is key (ASCII case ignored), if any.
bool FindChild(const VersionNode& parent, const std::u16string& key, VersionNode* child) {
  for (size_t p = parent.children; p < parent.end;) {
    VersionNode n;
    if (!ReadNode(*parent.block, p, parent.end, &n)) return false;
    auto fold = [](char16_t c) { return c >= 'a' && c <= 'z' ? char16_t(c - 32) : c; };
    if (n.key.size() == key.size() &&
        std::equal(key.begin(), key.end(), n.key.begin(),
                   [&](char16_t a, char16_t b) { return fold(a) == fold(b); })) {
      *child = n;
      return true;
    }
    p = Align4(n.end);
  }
  return false;
}

std::u16string Ascii16(const char* s) { return std::u16string(s, s + std::strlen(s)); }

bool VersionBlockHasFileVersion(const std::string& block) {
  VersionNode root, vars, translation, strings, table, field;
  if (!ReadNode(block, 0, block.size(), &root)) return false;
  if (!FindChild(root, u"VarFileInfo", &vars) || !FindChild(vars, u"Translation", &translation) ||
      translation.valueBytes < 4)
    return false;
  char key[16];
  std::snprintf(key, sizeof key, "%04x%04x", Word(block, translation.value),
                Word(block, translation.value + 2));
  if (!FindChild(root, u"StringFileInfo", &strings) || !FindChild(strings, Ascii16(key), &table) ||
      !FindChild(table, u"FileVersion", &field))
    return false;
  return field.valueBytes >= 2 && Word(block, field.value) != 0;
}

// Whether the 64-byte name field of entry i of a plain archive, as stored,
// holds its NUL (the reader cuts a longer name silently).
bool NameFieldTerminated(const std::string& archive, uint32_t i) {
  const size_t at = 8 + size_t(INDEX_ENTRY_BYTES) * i;
  if (at + NAME_FIELD_BYTES > archive.size()) return false;
  return std::memchr(&archive[at], '\0', NAME_FIELD_BYTES) != nullptr;
}

bool CheckEntry(qxArchive* reader, qxArchiveEntry* entry, uint32_t i, const std::string& archive,
                std::map<std::string, std::string>* seen, std::vector<std::string>* warnings,
                std::string* error) {
  const std::string name = reader->GetName(entry, nullptr);
  const std::string shown = Printable(name);
  std::string utf8;
  if (uint64_t(entry->start) + entry->size > archive.size()) {
    *error = "entry lies outside the archive file: " + shown;
  } else if (!NameFieldTerminated(archive, i)) {
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
  if (IsExecutableName(name.c_str())) {
    std::string bytes(entry->size, '\0');
    if (reader->Read(entry, &bytes[0], entry->size) != entry->size) {
      *error = "cannot read entry " + shown;
      return false;
    }
    if (!HasFileVersion(bytes))
      warnings->push_back(shown +
                          ": executable without a FileVersion; the updater will not let it "
                          "replace an installed file that has one");
  }
  return true;
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

bool CheckUpdateArchive(const std::string& nativePath, const std::string& archive,
                        std::vector<std::string>* warnings, std::string* error) {
  error->clear();
  if (!CheckArchiveSize(archive.size(), error)) return false;
  if (archive.compare(0, 4, std::string("QRB\0", 4)) != 0) {
    *error = "not an archive (no QRB magic)";
    return false;
  }
  qxArchive reader(1);
  if (!reader.Open(nativePath.c_str())) {
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
  for (uint32_t i = 0; i < reader.GetCount(); ++i) {
    qxArchiveEntry* entry = reader.OpenEntry(i);
    if (entry == NoArchiveEntry()) {
      *error = "archive entry " + std::to_string(i) + " does not open";
      return false;
    }
    const bool ok = CheckEntry(&reader, entry, i, archive, &seen, warnings, error);
    reader.CloseEntry(entry);
    if (!ok) return false;
  }
  return true;
}

bool ReadCheckedArchive(const std::string& path, std::string* archive,
                        std::vector<std::string>* warnings, std::string* error) {
  std::error_code ec;
  const uintmax_t size = fs::file_size(fs::u8path(path), ec);
  if (ec) {
    *error = "cannot open " + path;
    return false;
  }
  std::string native;
  if (!CheckArchiveSize(size, error) || !ReadWholeFile(path, archive, error)) return false;
  if (!NativePath(path, &native)) {
    *error = "path has no form in the ANSI code page: " + path;
    return false;
  }
  return CheckUpdateArchive(native, *archive, warnings, error);
}

bool HasFileVersion(const std::string& executable) {
  std::vector<PeResource> resources;
  std::string error;
  if (!ReadPeResources(executable, &resources, &error)) return false;
  for (const PeResource& r : resources) {
    if (r.type.isNumber && r.type.id == RT_VERSION_ID && VersionBlockHasFileVersion(r.data))
      return true;
  }
  return false;
}

bool DiffTrees(const std::vector<ArchiveSourceFile>& tree,
               const std::vector<ArchiveSourceFile>& oldTree,
               std::vector<ArchiveSourceFile>* changed, std::vector<std::string>* removed,
               std::string* error) {
  auto upper = [](const std::string& name) {
    std::string u = name;
    MakeUpper(&u[0]);
    return u;
  };
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
    std::ifstream a(fs::u8path(f.hostPath), std::ios::binary);
    std::ifstream b(fs::u8path(found->second->hostPath), std::ios::binary);
    if (!a || !b) {
      *error = "cannot read " + (a ? found->second->hostPath : f.hostPath);
      return false;
    }
    const bool same =
        std::equal(std::istreambuf_iterator<char>(a), {}, std::istreambuf_iterator<char>(b), {});
    if (!same) changed->push_back(f);
    old.erase(found);
  }
  for (const auto& gone : old) removed->push_back(Printable(gone.second->name));
  std::sort(removed->begin(), removed->end());
  return true;
}
