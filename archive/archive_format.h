// The archive format, stated once for the reader, every writer and the tests.
//
// Layout (little-endian): magic "QRB\0" (4 bytes), entry count N (4), N index
// entries of 72 bytes {name[64], offset, size}, then the data. Writers put a
// copy of each entry's index entry right before its data.
//
// The magic: every writer writes it; the updater's reader never looks at it
// (an archive whose first four bytes are anything else opens all the same);
// the tools' checks before an archive ships refuse one without it, through
// HasArchiveMagic alone.
//
// Enciphered archives: entry 0 is the key entry (named "__key__.dat" in any
// ASCII case), whose size field is the seed of the content key. Entry i >= 1
// stores its name scrambled with ARCHIVE_NAME_SEED_BASE + i and its offset
// and size as one enciphered block (see docs/ARCHIVES.md).
#ifndef QX_ARCHIVE_ARCHIVE_FORMAT_H
#define QX_ARCHIVE_ARCHIVE_FORMAT_H

#include <cstddef>
#include <cstdint>

enum : uint32_t {
  ARCHIVE_MAGIC_BYTES = 4,
  ARCHIVE_HEADER_BYTES = 8,  // magic, count
  ARCHIVE_NAME_BYTES = 64,   // NUL-terminated: names of at most 63 bytes
  ARCHIVE_INDEX_ENTRY_BYTES = 72,
  // The family's constant: entry i's name is scrambled with this plus i.
  ARCHIVE_NAME_SEED_BASE = 0x51524200,
};

// With its NUL, the four bytes of the magic.
const char ARCHIVE_MAGIC[ARCHIVE_MAGIC_BYTES] = {'Q', 'R', 'B', '\0'};
const char ARCHIVE_KEY_ENTRY_NAME[] = "__key__.dat";

// The largest archive an updater installs, and the end of what the reader
// reaches: its file positions are signed 32-bit.
const uint32_t QX_MAX_ARCHIVE_SIZE = 0x7FFFFFFFu;

// An index entry as the reader holds it; stored in the file with the fields
// in this order, little-endian.
struct ArchiveIndexEntry {
  char name[ARCHIVE_NAME_BYTES];
  uint32_t offset;
  uint32_t size;
};
static_assert(sizeof(ArchiveIndexEntry) == ARCHIVE_INDEX_ENTRY_BYTES, "index entries are 72 bytes");

inline uint32_t LoadLe32(const void* at) {
  const unsigned char* p = static_cast<const unsigned char*>(at);
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline uint16_t LoadLe16(const void* at) {
  const unsigned char* p = static_cast<const unsigned char*>(at);
  return uint16_t(p[0] | p[1] << 8);
}

inline void StoreLe32(void* at, uint32_t v) {
  unsigned char* p = static_cast<unsigned char*>(at);
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// 1 when the first n bytes of a file start with the magic: the one test of
// it, made by the tools before an archive ships.
inline int HasArchiveMagic(const void* first, size_t n) {
  if (n < ARCHIVE_MAGIC_BYTES) return 0;
  const char* p = static_cast<const char*>(first);
  for (uint32_t i = 0; i < ARCHIVE_MAGIC_BYTES; ++i)
    if (p[i] != ARCHIVE_MAGIC[i]) return 0;
  return 1;
}

// The 72 bytes of an index entry as stored, and back.
void StoreIndexEntry(const ArchiveIndexEntry& entry, void* out);
void LoadIndexEntry(const void* stored, ArchiveIndexEntry* entry);

// 1 when entry 0's name marks the archive as enciphered (the key entry):
// "__key__.dat" in any mix of ASCII case.
int IsKeyEntryName(const char* name);

struct BlowfishContext;

// Sets up cipher with the content key of seed: the first draw of the shared
// generator seeded with it (as a keyed use), its bytes little-endian.
void SetArchiveContentKey(BlowfishContext* cipher, uint32_t seed);

// Entry i's (i >= 1) true offset and size as an enciphered archive stores
// them: (L - i, R), where (L, R) is (offset, size) enciphered as one block.
void EncipherIndexEntry(const BlowfishContext* cipher, uint32_t i, ArchiveIndexEntry* entry);
// The inverse, for readers.
void DecipherIndexEntry(const BlowfishContext* cipher, uint32_t i, ArchiveIndexEntry* entry);

#endif
