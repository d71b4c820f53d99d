#include "archive/archive_format.h"

#include <cstring>

#include "archive/blowfish.h"
#include "archive/mt19937.h"

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

}  // namespace

void StoreIndexEntry(const ArchiveIndexEntry& entry, void* out) {
  char* p = static_cast<char*>(out);
  std::memcpy(p, entry.name, ARCHIVE_NAME_BYTES);
  StoreLe32(p + ARCHIVE_NAME_BYTES, entry.offset);
  StoreLe32(p + ARCHIVE_NAME_BYTES + 4, entry.size);
}

void LoadIndexEntry(const void* stored, ArchiveIndexEntry* entry) {
  const char* p = static_cast<const char*>(stored);
  std::memcpy(entry->name, p, ARCHIVE_NAME_BYTES);
  entry->offset = LoadLe32(p + ARCHIVE_NAME_BYTES);
  entry->size = LoadLe32(p + ARCHIVE_NAME_BYTES + 4);
}

int IsKeyEntryName(const char* name) {
  for (int i = 0;; ++i) {
    if (LowerAscii(name[i]) != ARCHIVE_KEY_ENTRY_NAME[i]) return 0;
    if (name[i] == '\0') return 1;
  }
}

void SetArchiveContentKey(BlowfishContext* cipher, uint32_t seed) {
  uint32_t word;
  {
    MtKeyedUse use(seed);
    word = MtDraw();
  }
  const uint8_t key[4] = {uint8_t(word), uint8_t(word >> 8), uint8_t(word >> 16),
                          uint8_t(word >> 24)};
  BlowfishSetKey(cipher, key);
}

void EncipherIndexEntry(const BlowfishContext* cipher, uint32_t i, ArchiveIndexEntry* entry) {
  BlowfishEncipher(cipher, &entry->offset, &entry->size);
  entry->offset -= i;
}

void DecipherIndexEntry(const BlowfishContext* cipher, uint32_t i, ArchiveIndexEntry* entry) {
  entry->offset += i;
  BlowfishDecipher(cipher, &entry->offset, &entry->size);
}
