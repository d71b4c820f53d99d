#include "tools/lib/version_resource.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "archive/archive_format.h"
#include "tools/lib/cp932.h"
#include "tools/lib/pe_image.h"

const char* const kVersionInfoKeys[5] = {"CompanyName", "FileDescription", "LegalCopyright",
                                         "ProductName", "ProductVersion"};

namespace {

enum : uint32_t {
  RT_VERSION_ID = 16,
  MAX_VALUE_CHARACTERS = 255,
  MAX_VERSION_BLOCK = 0xFFFF,  // its length is a 16-bit word
};

uint32_t Word(const std::string& s, size_t at) { return LoadLe16(s.data() + at); }

size_t Align4(size_t v) { return (v + 3) & ~size_t(3); }

void Append16(std::string* out, uint32_t v) {
  out->push_back(char(v & 0xFF));
  out->push_back(char(v >> 8 & 0xFF));
}

void Append32(std::string* out, uint32_t v) {
  Append16(out, v & 0xFFFF);
  Append16(out, v >> 16);
}

// One node: its length, the value's length (characters for text, else
// bytes), the type (1: text), the key with its NUL, the value and the
// children, each on a 4-byte boundary. The length leaves out the padding
// after the node.
std::string Node(const std::u16string& key, const std::string& value, uint32_t valueLength,
                 bool text, const std::vector<std::string>& children) {
  std::string out(6, '\0');
  for (char16_t c : key) Append16(&out, c);
  Append16(&out, 0);
  out.resize(Align4(out.size()), '\0');
  out += value;
  for (const std::string& child : children) {
    out.resize(Align4(out.size()), '\0');
    out += child;
  }
  out[0] = char(out.size() & 0xFF);
  out[1] = char(out.size() >> 8 & 0xFF);
  out[2] = char(valueLength & 0xFF);
  out[3] = char(valueLength >> 8 & 0xFF);
  out[4] = text ? 1 : 0;
  return out;
}

std::u16string Ascii16(const char* s) { return std::u16string(s, s + std::strlen(s)); }

std::string StringNode(const char* key, const std::u16string& value) {
  std::string bytes;
  for (char16_t c : value) Append16(&bytes, c);
  Append16(&bytes, 0);
  return Node(Ascii16(key), bytes, uint32_t(value.size() + 1), true, {});
}

// Walks the 2-byte-unit strings of a version resource.
struct VersionNode {
  const std::string* block;
  size_t begin, end;  // the node's bytes
  std::u16string key;
  size_t value, valueBytes;
  size_t children;
};

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

}  // namespace

bool SetFileVersion(const std::string& text, VersionInfo* info, std::string* error) {
  uint32_t parts[4];
  int n = 0;
  size_t at = 0;
  for (; n < 4; ++n) {
    size_t digits = 0;
    uint32_t v = 0;
    while (at + digits < text.size() && text[at + digits] >= '0' && text[at + digits] <= '9' &&
           digits < 6)
      v = v * 10 + uint32_t(text[at + digits++] - '0');
    if (digits == 0 || v > 0xFFFF) break;
    parts[n] = v;
    at += digits;
    if (n < 3 && (at >= text.size() || text[at++] != '.')) break;
  }
  if (n != 4 || at != text.size()) {
    *error = "--file-version wants four numbers of 0-65535 with dots (1.0.2.5): " + text;
    return false;
  }
  info->hasFileVersion = true;
  for (int i = 0; i < 4; ++i) info->fileVersion[i] = uint16_t(parts[i]);
  return true;
}

bool AddVersionString(const std::string& keyValue, VersionInfo* info, std::string* error) {
  const size_t eq = keyValue.find('=');
  const std::string key = keyValue.substr(0, eq),
                    value = eq == std::string::npos ? "" : keyValue.substr(eq + 1);
  const bool known = std::any_of(std::begin(kVersionInfoKeys), std::end(kVersionInfoKeys),
                                 [&](const char* k) { return key == k; });
  std::u16string utf16;
  std::string why;
  if (eq == std::string::npos || !known) {
    why =
        "--version-info wants KEY=VALUE, KEY one of CompanyName, FileDescription, "
        "LegalCopyright, ProductName, ProductVersion (--file-version sets FileVersion): " +
        keyValue;
  } else if (value.empty() || value.find_first_of("\r\n") != std::string::npos) {
    why = "--version-info " + key + " wants one line of text";
  } else if (!Utf8ToUtf16(value, &utf16) || utf16.size() > MAX_VALUE_CHARACTERS) {
    why = "--version-info " + key + " is not UTF-8 text of at most 255 characters";
  } else {
    for (const auto& given : info->strings)
      if (given.first == key) why = "--version-info " + key + " given twice";
  }
  if (!why.empty()) {
    *error = why;
    return false;
  }
  info->strings.emplace_back(key, value);
  return true;
}

bool WantsVersionResource(const VersionInfo& info) {
  return info.hasFileVersion || !info.strings.empty();
}

std::string BuildVersionResource(const VersionInfo& info) {
  const uint16_t* v = info.fileVersion;
  std::string fixed;
  Append32(&fixed, 0xFEEF04BDu);             // signature
  Append32(&fixed, 0x00010000u);             // structure version
  for (int twice = 0; twice < 2; ++twice) {  // file, then product version
    Append32(&fixed, uint32_t(v[0]) << 16 | v[1]);
    Append32(&fixed, uint32_t(v[2]) << 16 | v[3]);
  }
  Append32(&fixed, 0x3F);         // flags mask
  Append32(&fixed, 0);            // flags
  Append32(&fixed, 0x00040004u);  // VOS_NT_WINDOWS32
  Append32(&fixed, 1);            // VFT_APP
  Append32(&fixed, 0);            // subtype
  Append32(&fixed, 0);            // date
  Append32(&fixed, 0);

  std::vector<std::pair<std::string, std::string>> strings = info.strings;
  if (info.hasFileVersion) {
    char text[32];
    std::snprintf(text, sizeof text, "%u, %u, %u, %u", v[0], v[1], v[2], v[3]);
    strings.emplace_back("FileVersion", text);
  }
  std::sort(strings.begin(), strings.end());
  std::vector<std::string> nodes;
  for (const auto& s : strings) {
    std::u16string value;
    Utf8ToUtf16(s.second, &value);
    nodes.push_back(StringNode(s.first.c_str(), value));
  }
  const std::string table = Node(u"041104b0", "", 0, true, nodes);
  std::string translation;
  Append16(&translation, 0x0411);  // Japanese
  Append16(&translation, 1200);    // Unicode
  const std::string var = Node(u"Translation", translation, 4, false, {});
  return Node(
      u"VS_VERSION_INFO", fixed, uint32_t(fixed.size()), false,
      {Node(u"StringFileInfo", "", 0, true, {table}), Node(u"VarFileInfo", "", 0, true, {var})});
}

bool VersionBlockFileVersion(const std::string& block, std::string* text) {
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
  text->clear();
  for (size_t p = field.value; p + 2 <= field.value + field.valueBytes; p += 2) {
    const uint32_t c = Word(block, p);
    if (c == 0) break;
    *text += c < 0x80 ? char(c) : '?';
  }
  return !text->empty();
}

bool ExecutableFileVersion(ByteRange* range, std::string* text) {
  std::vector<PeResource> resources;
  std::string error;
  if (!ListPeResources(range, &resources, &error)) return false;
  for (const PeResource& r : resources) {
    if (!r.type.isNumber || r.type.id != RT_VERSION_ID || r.dataSize > MAX_VERSION_BLOCK) continue;
    std::string block(r.dataSize, '\0');
    if (range->ReadAt(r.dataOffset, &block[0], block.size()) &&
        VersionBlockFileVersion(block, text))
      return true;
  }
  return false;
}
