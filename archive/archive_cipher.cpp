// The enciphered variant of the archive: key entry, index decoding, block
// reads. Reading enciphered archives is not enabled yet: IsKeyEntryName takes
// no entry for the key entry, so Open never sets the enciphered flag and the
// three steps below are never reached; they keep the reader's shape until the
// cipher lands.
#include "archive/archive.h"
#include "archive/blowfish.h"
#include "archive/name_scramble.h"

int IsKeyEntryName(const char* name) {
  (void)name;
  return 0;
}

void qxArchive::InitDescrambler() {
  descrambler.cipher = nullptr;
  for (int i = 0; i < 26; ++i) {
    descrambler.forward[i] = char('A' + i);
    descrambler.forward[26 + i] = char('a' + i);
  }
  for (int i = 0; i < 52; ++i) descrambler.reversed[i] = descrambler.forward[51 - i];
  nameSeedBase = ARCHIVE_NAME_SEED_BASE;
}

void qxArchive::ReleaseCipher() {
  delete descrambler.cipher;
  descrambler.cipher = nullptr;
}

void qxArchive::SetUpKey(uint32_t seed) { (void)seed; }

void qxArchive::DecodeIndex() {}

uint32_t qxArchive::ReadBlocks(qxArchiveEntry* entry, void* buffer, uint32_t n) {
  (void)entry;
  (void)buffer;
  return n;
}
