#include "tools/lib/pe_image.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace {

enum : uint32_t {
  SECTION_HEADER_BYTES = 40,
  DIRECTORY_RESOURCE = 2,
  DIRECTORY_RELOCATION = 5,
  DIRECTORY_SECURITY = 4,
  PE32_MAGIC = 0x10B,
  PE32_PLUS_MAGIC = 0x20B,
  SUBDIRECTORY_BIT = 0x80000000u,
  MAX_RESOURCE_LEAVES = 1u << 16,
};

uint32_t Get16(const std::string& s, size_t at) {
  return uint32_t(uint8_t(s[at])) | uint32_t(uint8_t(s[at + 1])) << 8;
}
uint32_t Get32(const std::string& s, size_t at) { return Get16(s, at) | Get16(s, at + 2) << 16; }
void Put16(std::string* s, size_t at, uint32_t v) {
  (*s)[at] = char(v & 0xFF);
  (*s)[at + 1] = char((v >> 8) & 0xFF);
}
void Put32(std::string* s, size_t at, uint32_t v) {
  Put16(s, at, v & 0xFFFF);
  Put16(s, at + 2, v >> 16);
}
uint32_t AlignUp(uint32_t v, uint32_t a) { return (v + a - 1) / a * a; }

struct Section {
  size_t header;  // file offset of its header
  std::string name;
  uint32_t virtualSize, virtualAddress, rawSize, rawPointer;
};

// Where the headers say things are.
struct Layout {
  size_t coff = 0;      // file offset of the COFF header
  size_t optional = 0;  // of the optional header
  bool plus = false;
  uint32_t directories = 0;  // NumberOfRvaAndSizes
  std::vector<Section> sections;

  size_t Directory(uint32_t i) const { return optional + (plus ? 112 : 96) + 8 * i; }
  size_t ChecksumAt() const { return optional + 64; }
};

bool ParseLayout(const std::string& image, Layout* layout, std::string* error) {
  *error = "not a Windows executable (headers do not hold together)";
  if (image.size() < 64 || image.compare(0, 2, "MZ") != 0) return false;
  const size_t pe = Get32(image, 0x3C);
  if (pe > image.size() || image.size() - pe < 24 || image.compare(pe, 4, std::string("PE\0\0", 4)))
    return false;
  layout->coff = pe + 4;
  layout->optional = layout->coff + 20;
  const uint32_t count = Get16(image, layout->coff + 2);
  const uint32_t optionalSize = Get16(image, layout->coff + 16);
  const size_t table = layout->optional + optionalSize;
  if (optionalSize < 2 || table + size_t(count) * SECTION_HEADER_BYTES > image.size()) return false;
  const uint32_t magic = Get16(image, layout->optional);
  if (magic != PE32_MAGIC && magic != PE32_PLUS_MAGIC) return false;
  layout->plus = magic == PE32_PLUS_MAGIC;
  const size_t fixed = layout->plus ? 112 : 96;
  if (optionalSize < fixed) return false;
  layout->directories = Get32(image, layout->optional + fixed - 4);
  layout->directories = std::min<uint32_t>(layout->directories, (optionalSize - fixed) / 8);
  layout->sections.clear();
  for (uint32_t i = 0; i < count; ++i) {
    const size_t h = table + size_t(i) * SECTION_HEADER_BYTES;
    Section s;
    s.header = h;
    s.name = image.substr(h, 8).c_str();
    s.virtualSize = Get32(image, h + 8);
    s.virtualAddress = Get32(image, h + 12);
    s.rawSize = Get32(image, h + 16);
    s.rawPointer = Get32(image, h + 20);
    layout->sections.push_back(s);
  }
  error->clear();
  return true;
}

// The section holding rva, or null.
const Section* SectionAt(const Layout& layout, uint32_t rva) {
  for (const Section& s : layout.sections) {
    const uint32_t span = std::max(s.virtualSize, s.rawSize);
    if (rva >= s.virtualAddress && rva - s.virtualAddress < span) return &s;
  }
  return nullptr;
}

// Walks the resource tree held in bytes [0, size) of the section.
class TreeReader {
 public:
  TreeReader(const std::string& image, const Layout& layout, const Section& section)
      : image(image), layout(layout), base(section.rawPointer), size(section.rawSize) {
    if (base > image.size()) size = 0;
    size = std::min<uint64_t>(size, image.size() - std::min<size_t>(base, image.size()));
  }

  bool Read(uint32_t directory, std::vector<PeResource>* out, std::string* error) {
    PeResource path;
    if (!Directory(directory, 0, &path, out)) {
      *error = "damaged resource directory";
      return false;
    }
    return true;
  }

 private:
  bool Fits(uint64_t at, uint64_t n) const { return at <= size && n <= size - at; }

  bool Name(uint32_t field, PeResourceName* name) const {
    if (!(field & SUBDIRECTORY_BIT)) {
      *name = PeNumber(uint16_t(field));
      return field <= 0xFFFF;
    }
    const uint32_t at = field & ~SUBDIRECTORY_BIT;
    if (!Fits(at, 2)) return false;
    const uint32_t n = Get16(image, base + at);
    if (!Fits(at + 2, 2 * uint64_t(n))) return false;
    name->isNumber = false;
    name->id = 0;
    name->text.clear();
    for (uint32_t i = 0; i < n; ++i) name->text += char16_t(Get16(image, base + at + 2 + 2 * i));
    return true;
  }

  bool Leaf(uint32_t at, const PeResource& path, std::vector<PeResource>* out) const {
    if (!Fits(at, 16) || out->size() >= MAX_RESOURCE_LEAVES) return false;
    PeResource r = path;
    const uint32_t rva = Get32(image, base + at), n = Get32(image, base + at + 4);
    r.codePage = Get32(image, base + at + 8);
    const Section* s = SectionAt(layout, rva);
    if (!s) return false;
    const uint64_t file = uint64_t(s->rawPointer) + (rva - s->virtualAddress);
    if (file > image.size() || n > image.size() - file) return false;
    r.data = image.substr(size_t(file), n);
    out->push_back(r);
    return true;
  }

  // depth 0: types, 1: names, 2: languages.
  bool Directory(uint32_t at, int depth, PeResource* path, std::vector<PeResource>* out) const {
    if (!Fits(at, 16)) return false;
    const uint32_t entries = Get16(image, base + at + 12) + Get16(image, base + at + 14);
    if (!Fits(at + 16, 8 * uint64_t(entries))) return false;
    for (uint32_t i = 0; i < entries; ++i) {
      const size_t e = base + at + 16 + 8 * i;
      const uint32_t nameField = Get32(image, e), target = Get32(image, e + 4);
      PeResourceName name;
      if (!Name(nameField, &name)) return false;
      const bool sub = (target & SUBDIRECTORY_BIT) != 0;
      if (sub != (depth < 2)) return false;  // exactly three levels
      if (depth == 0) path->type = name;
      if (depth == 1) path->name = name;
      if (depth == 2) {
        if (!name.isNumber) return false;
        path->language = name.id;
        if (!Leaf(target, *path, out)) return false;
      } else if (!Directory(target & ~SUBDIRECTORY_BIT, depth + 1, path, out)) {
        return false;
      }
    }
    return true;
  }

  const std::string& image;
  const Layout& layout;
  uint64_t base;
  uint64_t size;
};

// Loader order: named entries first, by their UTF-16 text; then numbers.
struct NameOrder {
  bool operator()(const PeResourceName& a, const PeResourceName& b) const {
    if (a.isNumber != b.isNumber) return !a.isNumber;
    return a.isNumber ? a.id < b.id : a.text < b.text;
  }
};

typedef std::map<uint16_t, const PeResource*> Languages;
typedef std::map<PeResourceName, Languages, NameOrder> Names;
typedef std::map<PeResourceName, Names, NameOrder> Types;

// The resource section's bytes for a section at rva. Layout: all directory
// tables (root, types, names), data entries, name strings, then data, each
// item on an 8-byte boundary.
std::string BuildSection(const Types& tree, uint32_t rva) {
  uint32_t directories = 16 + 8 * uint32_t(tree.size());
  uint32_t leaves = 0;
  std::map<std::u16string, uint32_t> strings;
  for (const auto& type : tree) {
    directories += 16 + 8 * uint32_t(type.second.size());
    if (!type.first.isNumber) strings[type.first.text] = 0;
    for (const auto& name : type.second) {
      directories += 16 + 8 * uint32_t(name.second.size());
      leaves += uint32_t(name.second.size());
      if (!name.first.isNumber) strings[name.first.text] = 0;
    }
  }
  uint32_t at = directories + 16 * leaves;
  for (auto& s : strings) {
    s.second = at;
    at += 2 + 2 * uint32_t(s.first.size());
  }
  at = AlignUp(at, 8);
  uint32_t dataSize = 0;
  for (const auto& type : tree)
    for (const auto& name : type.second)
      for (const auto& lang : name.second)
        dataSize += AlignUp(uint32_t(lang.second->data.size()), 8);
  std::string out(at + dataSize, '\0');
  for (const auto& s : strings) {
    Put16(&out, s.second, uint32_t(s.first.size()));
    for (size_t i = 0; i < s.first.size(); ++i) Put16(&out, s.second + 2 + 2 * i, s.first[i]);
  }

  uint32_t nextDirectory = 0, nextLeaf = directories, nextData = at;
  auto nameField = [&](const PeResourceName& n) {
    return n.isNumber ? uint32_t(n.id) : (strings[n.text] | SUBDIRECTORY_BIT);
  };
  auto header = [&](uint32_t where, size_t named, size_t numbered) {
    Put16(&out, where + 12, uint32_t(named));
    Put16(&out, where + 14, uint32_t(numbered));
  };
  auto counts = [](const auto& level, size_t* named) {
    *named = 0;
    for (const auto& e : level) *named += e.first.isNumber ? 0 : 1;
  };
  // Directories in breadth order: the root, every type's, every name's.
  const uint32_t root = nextDirectory;
  nextDirectory += 16 + 8 * uint32_t(tree.size());
  size_t named;
  counts(tree, &named);
  header(root, named, tree.size() - named);
  std::vector<std::pair<uint32_t, const Names*>> typeTables;
  uint32_t slot = root + 16;
  for (const auto& type : tree) {
    Put32(&out, slot, nameField(type.first));
    Put32(&out, slot + 4, nextDirectory | SUBDIRECTORY_BIT);
    typeTables.push_back({nextDirectory, &type.second});
    nextDirectory += 16 + 8 * uint32_t(type.second.size());
    slot += 8;
  }
  std::vector<std::pair<uint32_t, const Languages*>> nameTables;
  for (const auto& t : typeTables) {
    counts(*t.second, &named);
    header(t.first, named, t.second->size() - named);
    slot = t.first + 16;
    for (const auto& name : *t.second) {
      Put32(&out, slot, nameField(name.first));
      Put32(&out, slot + 4, nextDirectory | SUBDIRECTORY_BIT);
      nameTables.push_back({nextDirectory, &name.second});
      nextDirectory += 16 + 8 * uint32_t(name.second.size());
      slot += 8;
    }
  }
  for (const auto& n : nameTables) {
    header(n.first, 0, n.second->size());
    slot = n.first + 16;
    for (const auto& lang : *n.second) {
      const PeResource& r = *lang.second;
      Put32(&out, slot, lang.first);
      Put32(&out, slot + 4, nextLeaf);
      Put32(&out, nextLeaf, rva + nextData);
      Put32(&out, nextLeaf + 4, uint32_t(r.data.size()));
      Put32(&out, nextLeaf + 8, r.codePage);
      std::memcpy(&out[nextData], r.data.data(), r.data.size());
      nextData += AlignUp(uint32_t(r.data.size()), 8);
      nextLeaf += 16;
      slot += 8;
    }
  }
  return out;
}

}  // namespace

PeResourceName PeNumber(uint16_t id) {
  PeResourceName n;
  n.id = id;
  return n;
}

PeResourceName PeText(const char* ascii) {
  PeResourceName n;
  n.isNumber = false;
  for (const char* p = ascii; *p; ++p) n.text += char16_t(uint8_t(*p));
  return n;
}

bool ReadPeResources(const std::string& image, std::vector<PeResource>* resources,
                     std::string* error) {
  resources->clear();
  Layout layout;
  if (!ParseLayout(image, &layout, error)) return false;
  if (layout.directories <= DIRECTORY_RESOURCE) return true;
  const uint32_t rva = Get32(image, layout.Directory(DIRECTORY_RESOURCE));
  if (rva == 0 || Get32(image, layout.Directory(DIRECTORY_RESOURCE) + 4) == 0) return true;
  const Section* section = SectionAt(layout, rva);
  if (!section || rva != section->virtualAddress) {
    *error = "resource directory outside its section";
    return false;
  }
  return TreeReader(image, layout, *section).Read(0, resources, error);
}

uint32_t PeChecksum(const std::string& image) {
  Layout layout;
  std::string ignored;
  const bool headers = ParseLayout(image, &layout, &ignored);
  const size_t skip = headers ? layout.ChecksumAt() : image.size();
  uint64_t sum = 0;
  for (size_t i = 0; i < image.size(); i += 2) {
    if (i == skip || i == skip + 2) continue;
    sum += i + 1 < image.size() ? Get16(image, i) : uint8_t(image[i]);
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return uint32_t(sum + image.size());
}

bool WritePeResources(std::string* image, const std::vector<PeResource>& resources,
                      uint32_t timeStamp, std::string* error) {
  Layout layout;
  if (!ParseLayout(*image, &layout, error)) return false;
  if (layout.plus || layout.directories <= DIRECTORY_RELOCATION) {
    *error = "not a 32-bit Windows executable";
    return false;
  }
  if (Get32(*image, layout.Directory(DIRECTORY_SECURITY) + 4) != 0) {
    *error = "the stub is signed; stamp an unsigned stub and sign the result";
    return false;
  }
  // The resource section, and behind it nothing but relocations.
  size_t rsrc = layout.sections.size();
  for (size_t i = 0; i < layout.sections.size(); ++i)
    if (layout.sections[i].name == ".rsrc") rsrc = i;
  if (rsrc == layout.sections.size()) {
    *error = "the stub has no resource section";
    return false;
  }
  for (size_t i = rsrc + 1; i < layout.sections.size(); ++i) {
    if (layout.sections[i].name != ".reloc") {
      *error = "the resource section is not the stub's last section";
      return false;
    }
  }
  // Behind the last section only the COFF symbol and string table may
  // follow (a stripped image keeps the string table of long section names);
  // it refers to no file offset and moves as it is.
  const Section& last = layout.sections.back();
  const uint64_t end = uint64_t(last.rawPointer) + last.rawSize;
  const uint32_t symbols = Get32(*image, layout.coff + 8);
  if (end > image->size() || (end != image->size() && symbols != end)) {
    *error = "the stub carries data after its last section (strip it)";
    return false;
  }
  const std::string trailer = image->substr(size_t(end));
  const uint32_t sectionAlign = Get32(*image, layout.optional + 32);
  const uint32_t fileAlign = Get32(*image, layout.optional + 36);
  if (sectionAlign == 0 || fileAlign == 0) {
    *error = "bad section alignment in the stub";
    return false;
  }

  Types tree;
  for (const PeResource& r : resources) tree[r.type][r.name][r.language] = &r;
  const Section old = layout.sections[rsrc];
  const std::string section = BuildSection(tree, old.virtualAddress);
  std::string tail;  // the relocation sections' bytes, moved as they are
  for (size_t i = rsrc + 1; i < layout.sections.size(); ++i)
    tail += image->substr(layout.sections[i].rawPointer, layout.sections[i].rawSize);

  const uint32_t raw = AlignUp(uint32_t(section.size()), fileAlign);
  image->resize(old.rawPointer);
  image->append(section);
  image->resize(old.rawPointer + raw, '\0');
  Put32(image, old.header + 8, uint32_t(section.size()));
  Put32(image, old.header + 16, raw);
  uint32_t initialised = Get32(*image, layout.optional + 8) - old.rawSize + raw;

  uint32_t nextRva = AlignUp(old.virtualAddress + uint32_t(section.size()), sectionAlign);
  uint32_t nextFile = old.rawPointer + raw;
  const uint32_t relocation = Get32(*image, layout.Directory(DIRECTORY_RELOCATION));
  for (size_t i = rsrc + 1; i < layout.sections.size(); ++i) {
    const Section& s = layout.sections[i];
    if (relocation >= s.virtualAddress && relocation - s.virtualAddress < s.virtualSize)
      Put32(image, layout.Directory(DIRECTORY_RELOCATION), relocation - s.virtualAddress + nextRva);
    Put32(image, s.header + 12, nextRva);
    Put32(image, s.header + 20, nextFile);
    nextRva = AlignUp(nextRva + std::max(s.virtualSize, s.rawSize), sectionAlign);
    nextFile += s.rawSize;
  }
  image->append(tail);
  if (symbols != 0) Put32(image, layout.coff + 8, trailer.empty() ? 0 : uint32_t(image->size()));
  image->append(trailer);

  Put32(image, layout.optional + 8, initialised);
  Put32(image, layout.optional + 56, nextRva);  // SizeOfImage
  Put32(image, layout.Directory(DIRECTORY_RESOURCE), old.virtualAddress);
  Put32(image, layout.Directory(DIRECTORY_RESOURCE) + 4, uint32_t(section.size()));
  Put32(image, layout.coff + 4, timeStamp);
  Put32(image, layout.ChecksumAt(), 0);
  Put32(image, layout.ChecksumAt(), PeChecksum(*image));
  return true;
}
