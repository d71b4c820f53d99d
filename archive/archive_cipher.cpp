// The enciphered variant of the archive: key entry, index decoding, block
// reads. Entry 0 named "__key__.dat" (any ASCII case) carries the content-key
// seed in its size field; every whole 8-byte block of an entry is enciphered,
// a partial trailing block is stored plain.
#include <new>

#include "archive/archive.h"
#include "archive/blowfish.h"
#include "archive/name_scramble.h"
#include "support/path_string.h"

namespace {

enum : uint32_t { BLOCK = 8 };

// Reads n bytes at position into destination; bytes the file does not
// deliver (end of file, unreachable position) are zeros, never stale ones.
void ReadZeroFilled(ArchiveFileHandle file, uint32_t position, uint8_t* destination, uint32_t n) {
  uint32_t got = ArchiveFileSeek(file, position) ? ArchiveFileRead(file, destination, n) : 0;
  if (got > n) got = n;
  ZeroBytes(destination + got, n - got);
}

}  // namespace

void qxArchive::InitDescrambler() {
  descrambler.cipher = nullptr;
  InitNameAlphabets(descrambler.forward, descrambler.reversed);
  nameSeedBase = ARCHIVE_NAME_SEED_BASE;
}

void qxArchive::ReleaseCipher() {
  delete descrambler.cipher;
  descrambler.cipher = nullptr;
}

int qxArchive::SetUpKey(uint32_t seed) {
  enciphered = 1;
  if (!descrambler.cipher) descrambler.cipher = new (std::nothrow) BlowfishContext;
  if (!descrambler.cipher) return 0;
  SetArchiveContentKey(descrambler.cipher, seed);
  return 1;
}

void qxArchive::DecodeIndex() {
  for (uint32_t i = 1; i < count; ++i) {
    ArchiveIndexEntry& e = index[i];
    DecipherIndexEntry(descrambler.cipher, i, &e);
    DescrambleName(e.name, nameSeedBase + i, descrambler.forward, descrambler.reversed);
  }
}

// The block that holds the entry's next byte, through an 8-byte buffer:
// deciphered when whole, as stored when it is the partial trailing block.
// Copies count bytes from place `from` of the block (from + count <= 8).
void qxArchive::ReadThroughBlock(qxArchiveEntry* entry, uint8_t* destination, uint32_t from,
                                 uint32_t count) {
  uint8_t block[BLOCK];
  const uint32_t blockStart = entry->position - from;
  ReadZeroFilled(file, entry->filePosition - from, block, BLOCK);
  if (entry->size - blockStart >= BLOCK) BlowfishDecipherBlock(descrambler.cipher, block, block);
  CopyBytes(destination, block + from, count);
  entry->filePosition += count;
  entry->position += count;
}

// Head (rest of a block begun earlier), middle (whole blocks straight into the
// caller's buffer), tail (start of a whole block, or the plain trailing bytes).
// n has been clamped to what the entry has left.
uint32_t qxArchive::ReadBlocks(qxArchiveEntry* entry, void* buffer, uint32_t n) {
  uint8_t* out = static_cast<uint8_t*>(buffer);
  uint32_t left = n;
  const uint32_t a = entry->position % BLOCK;
  if (a != 0) {
    const uint32_t d = BLOCK - a < left ? BLOCK - a : left;
    ReadThroughBlock(entry, out, a, d);
    out += d;
    left -= d;
  }
  if (left >= BLOCK) {
    const uint32_t m = left - left % BLOCK;
    ReadZeroFilled(file, entry->filePosition, out, m);
    BlowfishDecipherBlocks(descrambler.cipher, out, m);
    entry->filePosition += m;
    entry->position += m;
    out += m;
    left -= m;
  }
  if (left != 0) {
    if (entry->size - entry->position >= BLOCK) {
      ReadThroughBlock(entry, out, 0, left);
    } else {
      ReadZeroFilled(file, entry->filePosition, out, left);
      entry->filePosition += left;
      entry->position += left;
    }
  }
  return n;
}
