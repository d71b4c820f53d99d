#include "tools/lib/pe_image.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "archive/archive_format.h"

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
  MAX_HEADER_OFFSET = 1u << 20,  // where the PE header may start, far beyond any linker's
};

uint32_t Get16(const std::string& s, size_t at) { return LoadLe16(s.data() + at); }
uint32_t Get32(const std::string& s, size_t at) { return LoadLe32(s.data() + at); }
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

// image holds at least the headers and the section table (ReadHeaders).
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

// The headers and section table of the image that range reads: enough for
// ParseLayout, never the sections themselves. False when they cannot be read.
bool ReadHeaders(ByteRange* range, std::string* headers) {
  const uint64_t size = range->Size();
  auto grow = [&](uint64_t want) {
    want = std::min(want, size);
    if (want <= headers->size()) return true;
    const size_t had = headers->size();
    headers->resize(size_t(want));
    return range->ReadAt(had, &(*headers)[had], size_t(want - had));
  };
  headers->clear();
  if (!grow(64)) return false;
  const uint64_t pe = headers->size() < 64 ? 0 : Get32(*headers, 0x3C);
  if (pe == 0 || pe > MAX_HEADER_OFFSET) return true;  // ParseLayout refuses it
  if (!grow(pe + 24)) return false;
  if (headers->size() < pe + 24) return true;
  const uint32_t count = Get16(*headers, size_t(pe) + 6);
  const uint32_t optionalSize = Get16(*headers, size_t(pe) + 20);
  return grow(pe + 24 + optionalSize + uint64_t(SECTION_HEADER_BYTES) * count);
}

// Walks the resource tree held in bytes [0, size) of the section.
class TreeReader {
 public:
  TreeReader(ByteRange* range, const Layout& layout, const Section& section)
      : range(range), layout(layout), base(section.rawPointer), size(section.rawSize) {
    const uint64_t file = range->Size();
    size = std::min<uint64_t>(size, file - std::min<uint64_t>(base, file));
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

  // The 16- or 32-bit word at at, which Fits has vouched for; 0 when unread.
  uint32_t Word(uint64_t at, size_t bytes) const {
    unsigned char b[4] = {0, 0, 0, 0};
    range->ReadAt(base + at, b, bytes);
    return LoadLe32(b);
  }
  uint32_t At16(uint64_t at) const { return Word(at, 2); }
  uint32_t At32(uint64_t at) const { return Word(at, 4); }

  bool Name(uint32_t field, PeResourceName* name) const {
    if (!(field & SUBDIRECTORY_BIT)) {
      *name = PeNumber(uint16_t(field));
      return field <= 0xFFFF;
    }
    const uint32_t at = field & ~SUBDIRECTORY_BIT;
    if (!Fits(at, 2)) return false;
    const uint32_t n = At16(at);
    if (!Fits(at + 2, 2 * uint64_t(n))) return false;
    name->isNumber = false;
    name->id = 0;
    name->text.clear();
    for (uint32_t i = 0; i < n; ++i) name->text += char16_t(At16(at + 2 + 2 * uint64_t(i)));
    return true;
  }

  bool Leaf(uint32_t at, const PeResource& path, std::vector<PeResource>* out) const {
    if (!Fits(at, 16) || out->size() >= MAX_RESOURCE_LEAVES) return false;
    PeResource r = path;
    const uint32_t rva = At32(at), n = At32(at + 4);
    r.codePage = At32(at + 8);
    const Section* s = SectionAt(layout, rva);
    if (!s) return false;
    const uint64_t file = uint64_t(s->rawPointer) + (rva - s->virtualAddress);
    if (file > range->Size() || n > range->Size() - file) return false;
    r.dataOffset = file;
    r.dataSize = n;
    out->push_back(r);
    return true;
  }

  // depth 0: types, 1: names, 2: languages.
  bool Directory(uint32_t at, int depth, PeResource* path, std::vector<PeResource>* out) const {
    if (!Fits(at, 16)) return false;
    const uint32_t entries = At16(at + 12) + At16(at + 14);
    if (!Fits(at + 16, 8 * uint64_t(entries))) return false;
    for (uint32_t i = 0; i < entries; ++i) {
      const uint64_t e = at + 16 + 8 * uint64_t(i);
      const uint32_t nameField = At32(e), target = At32(e + 4);
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

  ByteRange* range;
  const Layout& layout;
  uint64_t base;
  uint64_t size;
};

// The loader's image checksum, summed piece by piece: 16-bit little-endian
// words with end-around carry, which is their sum modulo 0xFFFF (0 only when
// every word is), plus the file's length.
class ChecksumSum {
 public:
  // Adds n bytes that lie at offset in the file.
  void Add(uint64_t offset, const void* bytes, size_t n) {
    const unsigned char* p = static_cast<const unsigned char*>(bytes);
    if (n > 0 && (offset & 1)) {
      sum_ += uint64_t(*p++) << 8;
      --n;
    }
    uint64_t low = 0, high = 0;  // the words' low and high bytes
    for (size_t i = 0; i + 1 < n; i += 2) {
      low += p[i];
      high += p[i + 1];
    }
    if (n & 1) low += p[n - 1];
    sum_ += low + (high << 8);
  }

  uint32_t Finish(uint64_t fileSize) const {
    const uint64_t folded = sum_ == 0 ? 0 : (sum_ - 1) % 0xFFFF + 1;
    return uint32_t(folded + fileSize);
  }

 private:
  uint64_t sum_ = 0;
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

// The resource section for a section at rva, in two parts around the data of
// one leaf that is streamed (none: tail is empty): `head` up to its first
// byte, `tail` after its last. Layout: all directory tables (root, types,
// names), data entries, name strings, then data, each item on an 8-byte
// boundary.
struct SectionBytes {
  std::string head, tail;
  uint64_t size = 0;  // of the whole section, the streamed data included
};

SectionBytes BuildSection(const Types& tree, uint32_t rva, const PeResource* streamed,
                          uint32_t streamedSize) {
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
  // Where each leaf's data go, in tree order.
  std::map<const PeResource*, uint64_t> placed;
  uint64_t end = at, split = 0;
  auto length = [&](const PeResource* r) {
    return r == streamed ? uint64_t(streamedSize) : uint64_t(r->data.size());
  };
  for (const auto& type : tree)
    for (const auto& name : type.second)
      for (const auto& lang : name.second) {
        placed[lang.second] = end;
        if (lang.second == streamed) split = end;
        end += (length(lang.second) + 7) / 8 * 8;
      }
  SectionBytes out;
  out.size = end;
  out.head.assign(size_t(streamed ? split : end), '\0');
  if (streamed) out.tail.assign(size_t(end - split - streamedSize), '\0');
  auto put = [&](uint64_t where, const std::string& bytes) {
    if (!streamed || where < split) {
      std::memcpy(&out.head[size_t(where)], bytes.data(), bytes.size());
    } else {
      std::memcpy(&out.tail[size_t(where - split - streamedSize)], bytes.data(), bytes.size());
    }
  };
  std::string& head = out.head;
  for (const auto& s : strings) {
    Put16(&head, s.second, uint32_t(s.first.size()));
    for (size_t i = 0; i < s.first.size(); ++i) Put16(&head, s.second + 2 + 2 * i, s.first[i]);
  }

  uint32_t nextDirectory = 0, nextLeaf = directories;
  auto nameField = [&](const PeResourceName& n) {
    return n.isNumber ? uint32_t(n.id) : (strings[n.text] | SUBDIRECTORY_BIT);
  };
  auto header = [&](uint32_t where, size_t named, size_t numbered) {
    Put16(&head, where + 12, uint32_t(named));
    Put16(&head, where + 14, uint32_t(numbered));
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
    Put32(&head, slot, nameField(type.first));
    Put32(&head, slot + 4, nextDirectory | SUBDIRECTORY_BIT);
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
      Put32(&head, slot, nameField(name.first));
      Put32(&head, slot + 4, nextDirectory | SUBDIRECTORY_BIT);
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
      Put32(&head, slot, lang.first);
      Put32(&head, slot + 4, nextLeaf);
      Put32(&head, nextLeaf, rva + uint32_t(placed[&r]));
      Put32(&head, nextLeaf + 4, uint32_t(length(&r)));
      Put32(&head, nextLeaf + 8, r.codePage);
      if (&r != streamed) put(placed[&r], r.data);
      nextLeaf += 16;
      slot += 8;
    }
  }
  return out;
}

// The image with new resources, around the data of the streamed resource:
// `before` ends where they begin, `after` begins where they end. The
// checksum is left 0, at checksumAt.
struct ImageParts {
  std::string before, after;
  size_t checksumAt = 0;
};

bool LayOut(const std::string& image, const std::vector<PeResource>& resources,
            const PeResource* streamed, uint32_t streamedSize, uint32_t timeStamp,
            ImageParts* parts, std::string* error) {
  Layout layout;
  if (!ParseLayout(image, &layout, error)) return false;
  if (layout.plus || layout.directories <= DIRECTORY_RELOCATION) {
    *error = "not a 32-bit Windows executable";
    return false;
  }
  if (Get32(image, layout.Directory(DIRECTORY_SECURITY) + 4) != 0) {
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
  // The headers are rewritten in the bytes before the resource section, and
  // the sections behind it are moved: each must lie after the headers and
  // inside the file.
  const size_t headersEnd = layout.sections.back().header + SECTION_HEADER_BYTES;
  for (size_t i = rsrc; i < layout.sections.size(); ++i) {
    const Section& s = layout.sections[i];
    if (s.rawPointer < headersEnd || uint64_t(s.rawPointer) + s.rawSize > image.size()) {
      *error = "the stub's sections do not hold together";
      return false;
    }
  }
  // Behind the last section only the COFF symbol and string table may
  // follow (a stripped image keeps the string table of long section names);
  // it refers to no file offset and moves as it is.
  const Section& last = layout.sections.back();
  const uint64_t end = uint64_t(last.rawPointer) + last.rawSize;
  const uint32_t symbols = Get32(image, layout.coff + 8);
  if (end > image.size() || (end != image.size() && symbols != end)) {
    *error = "the stub carries data after its last section (strip it)";
    return false;
  }
  const std::string trailer = image.substr(size_t(end));
  const uint32_t sectionAlign = Get32(image, layout.optional + 32);
  const uint32_t fileAlign = Get32(image, layout.optional + 36);
  if (sectionAlign == 0 || fileAlign == 0) {
    *error = "bad section alignment in the stub";
    return false;
  }

  Types tree;
  for (const PeResource& r : resources) tree[r.type][r.name][r.language] = &r;
  const Section old = layout.sections[rsrc];
  SectionBytes section = BuildSection(tree, old.virtualAddress, streamed, streamedSize);
  std::string tail;  // the relocation sections' bytes, moved as they are
  for (size_t i = rsrc + 1; i < layout.sections.size(); ++i)
    tail += image.substr(layout.sections[i].rawPointer, layout.sections[i].rawSize);
  const uint64_t raw = (section.size + fileAlign - 1) / fileAlign * fileAlign;
  const uint64_t nextFile64 = old.rawPointer + raw;
  if (nextFile64 + tail.size() + trailer.size() > 0xFFFFFFFFu ||
      uint64_t(old.virtualAddress) + section.size + sectionAlign + tail.size() > 0x7FFFFFFFu) {
    *error = "the updater would pass what a Windows executable can hold";
    return false;
  }

  std::string& out = parts->before;
  out = image.substr(0, old.rawPointer);
  Put32(&out, old.header + 8, uint32_t(section.size));
  Put32(&out, old.header + 16, uint32_t(raw));
  uint32_t initialised = Get32(out, layout.optional + 8) - old.rawSize + uint32_t(raw);

  uint32_t nextRva = AlignUp(old.virtualAddress + uint32_t(section.size), sectionAlign);
  uint32_t nextFile = uint32_t(nextFile64);
  const uint32_t relocation = Get32(out, layout.Directory(DIRECTORY_RELOCATION));
  for (size_t i = rsrc + 1; i < layout.sections.size(); ++i) {
    const Section& s = layout.sections[i];
    if (relocation >= s.virtualAddress && relocation - s.virtualAddress < s.virtualSize)
      Put32(&out, layout.Directory(DIRECTORY_RELOCATION), relocation - s.virtualAddress + nextRva);
    Put32(&out, s.header + 12, nextRva);
    Put32(&out, s.header + 20, nextFile);
    nextRva = AlignUp(nextRva + std::max(s.virtualSize, s.rawSize), sectionAlign);
    nextFile += s.rawSize;
  }
  if (symbols != 0) Put32(&out, layout.coff + 8, trailer.empty() ? 0 : nextFile);
  Put32(&out, layout.optional + 8, initialised);
  Put32(&out, layout.optional + 56, nextRva);  // SizeOfImage
  Put32(&out, layout.Directory(DIRECTORY_RESOURCE), old.virtualAddress);
  Put32(&out, layout.Directory(DIRECTORY_RESOURCE) + 4, uint32_t(section.size));
  Put32(&out, layout.coff + 4, timeStamp);
  Put32(&out, layout.ChecksumAt(), 0);
  parts->checksumAt = layout.ChecksumAt();

  out += section.head;
  parts->after = section.tail;
  parts->after.resize(size_t(raw - section.size + section.tail.size()), '\0');
  parts->after += tail;
  parts->after += trailer;
  return true;
}

// Passes the streamed data on to the image file, counting and summing them.
class DataSink : public ByteSink {
 public:
  DataSink(OutputFile* file, ChecksumSum* sum) : file_(file), sum_(sum), at_(file->Position()) {}
  bool Write(const void* bytes, size_t n, std::string* error) override {
    sum_->Add(at_ + written, bytes, n);
    written += n;
    return file_->Write(bytes, n, error);
  }
  // Fills in over zeros, which added nothing to the sum.
  bool Fill(uint64_t offset, const void* bytes, size_t n, std::string* error) override {
    sum_->Add(at_ + offset, bytes, n);
    return file_->Fill(at_ + offset, bytes, n, error);
  }
  uint64_t written = 0;

 private:
  OutputFile* file_;
  ChecksumSum* sum_;
  uint64_t at_;
};

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

bool ListPeResources(ByteRange* range, std::vector<PeResource>* resources, std::string* error) {
  resources->clear();
  std::string headers;
  Layout layout;
  if (!ReadHeaders(range, &headers)) {
    *error = "cannot read the executable's headers";
    return false;
  }
  if (!ParseLayout(headers, &layout, error)) return false;
  if (layout.directories <= DIRECTORY_RESOURCE) return true;
  const uint32_t rva = Get32(headers, layout.Directory(DIRECTORY_RESOURCE));
  if (rva == 0 || Get32(headers, layout.Directory(DIRECTORY_RESOURCE) + 4) == 0) return true;
  const Section* section = SectionAt(layout, rva);
  if (!section || rva != section->virtualAddress) {
    *error = "resource directory outside its section";
    return false;
  }
  return TreeReader(range, layout, *section).Read(0, resources, error);
}

bool ReadPeResources(const std::string& image, std::vector<PeResource>* resources,
                     std::string* error) {
  MemoryRange range(image);
  if (!ListPeResources(&range, resources, error)) return false;
  for (PeResource& r : *resources) r.data = image.substr(size_t(r.dataOffset), r.dataSize);
  return true;
}

uint32_t PeChecksum(const std::string& image) {
  Layout layout;
  std::string ignored;
  const size_t skip = ParseLayout(image, &layout, &ignored) ? layout.ChecksumAt() : image.size();
  ChecksumSum sum;
  sum.Add(0, image.data(), std::min(skip, image.size()));
  if (skip + 4 < image.size()) sum.Add(skip + 4, image.data() + skip + 4, image.size() - skip - 4);
  return sum.Finish(image.size());
}

bool WritePeResources(std::string* image, const std::vector<PeResource>& resources,
                      uint32_t timeStamp, std::string* error) {
  ImageParts parts;
  if (!LayOut(*image, resources, nullptr, 0, timeStamp, &parts, error)) return false;
  *image = parts.before + parts.after;
  Put32(image, parts.checksumAt, PeChecksum(*image));
  return true;
}

bool WritePeResourcesFile(const std::string& image, const std::vector<PeResource>& resources,
                          size_t streamed, const PeDataWriter& writeData, uint32_t timeStamp,
                          const std::string& path, std::string* error) {
  if (streamed >= resources.size()) {
    *error = "no resource to stream";
    return false;
  }
  const PeResource* data = &resources[streamed];
  // The parts before the data do not depend on their length: write them now
  // and again once the length is known.
  ImageParts parts;
  OutputFile file;
  ChecksumSum sum;
  if (!LayOut(image, resources, data, 0, timeStamp, &parts, error) || !file.Create(path, error) ||
      !file.Write(parts.before.data(), parts.before.size(), error))
    return false;
  const size_t at = parts.before.size();
  DataSink sink(&file, &sum);
  if (!writeData(&sink, error)) return false;
  if (sink.written > 0xFFFFFFFFu) {
    *error = "the updater would pass what a Windows executable can hold";
    return false;
  }
  if (!LayOut(image, resources, data, uint32_t(sink.written), timeStamp, &parts, error))
    return false;
  if (parts.before.size() != at) {
    *error = "resource layout moved";  // cannot happen: the directory does not depend on it
    return false;
  }
  const uint64_t size = at + sink.written + parts.after.size();
  sum.Add(0, parts.before.data(), parts.before.size());
  sum.Add(at + sink.written, parts.after.data(), parts.after.size());
  Put32(&parts.before, parts.checksumAt, sum.Finish(size));
  return file.Write(parts.after.data(), parts.after.size(), error) &&
         file.Fill(0, parts.before.data(), parts.before.size(), error) && file.Close(error);
}
