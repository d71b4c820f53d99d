#include "tools/lib/archive_encipher.h"

#include <cstring>
#include <filesystem>
#include <fstream>

#include "archive/archive.h"
#include "archive/blowfish.h"
#include "archive/mt19937.h"
#include "archive/name_scramble.h"

namespace fs = std::filesystem;

namespace {

enum : uint32_t { HEADER_BYTES = 8, ENTRY_BYTES = 72, CHUNK = 1u << 20 };
const uint64_t READABLE_LIMIT = 0x80000000ull;  // positions are signed 32-bit

void PutU32(char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = char(v >> (8 * i));
}

void StoreEntry(char* p, const ArchiveIndexEntry& e) {
  std::memcpy(p, e.name, sizeof e.name);
  PutU32(p + 64, e.offset);
  PutU32(p + 68, e.size);
}

bool Fail(std::string* error, const std::string& reason) {
  if (error) *error = reason;
  return false;
}

void KeyFromSeed(uint32_t seed, BlowfishContext* cipher) {
  uint32_t word;
  {
    MtKeyedUse use(seed);
    word = MtDraw();
  }
  const uint8_t key[4] = {uint8_t(word), uint8_t(word >> 8), uint8_t(word >> 16),
                          uint8_t(word >> 24)};
  BlowfishSetKey(cipher, key);
}

// The stored index: entry 0 the key entry, then every file with true offsets
// laid out one after another, each behind its index copy.
bool BuildIndex(const std::vector<ArchiveSourceFile>& files, uint32_t seed,
                const BlowfishContext& cipher, std::vector<ArchiveIndexEntry>* index,
                std::string* error) {
  const uint32_t n = uint32_t(files.size()) + 1;
  index->assign(n, ArchiveIndexEntry());
  ArchiveIndexEntry& key = (*index)[0];
  std::memcpy(key.name, "__key__.dat", sizeof "__key__.dat");
  uint64_t position = HEADER_BYTES + uint64_t(ENTRY_BYTES) * n + ENTRY_BYTES;
  key.offset = uint32_t(position);
  key.size = seed;
  char forward[52], reversed[52];
  InitNameAlphabets(forward, reversed);
  for (uint32_t i = 1; i < n; ++i) {
    const ArchiveSourceFile& f = files[i - 1];
    if (f.name.empty() || f.name.size() > 63) return Fail(error, "name too long: " + f.name);
    std::error_code ec;
    const uint64_t size = fs::file_size(fs::u8path(f.hostPath), ec);
    if (ec) return Fail(error, "cannot read " + f.hostPath + ": " + ec.message());
    position += ENTRY_BYTES;
    if (position + size >= READABLE_LIMIT) return Fail(error, "archive would reach 2 GiB");
    ArchiveIndexEntry& e = (*index)[i];
    std::memcpy(e.name, f.name.data(), f.name.size());
    ScrambleName(e.name, ARCHIVE_NAME_SEED_BASE + i, forward, reversed);
    uint32_t left = uint32_t(position), right = uint32_t(size);
    BlowfishEncipher(&cipher, &left, &right);
    e.offset = left - i;
    e.size = right;
    position += size;
  }
  return true;
}

// Copies one file, enciphering its whole blocks; chunks are multiples of 8,
// so only the last one can end in the plain partial block.
bool CopyEnciphered(const std::string& hostPath, uint32_t size, const BlowfishContext& cipher,
                    std::ostream& out, std::string* error) {
  std::ifstream in(fs::u8path(hostPath), std::ios::binary);
  if (!in) return Fail(error, "cannot open " + hostPath);
  std::vector<char> buffer(CHUNK);
  for (uint32_t done = 0; done < size;) {
    const uint32_t want = size - done < CHUNK ? size - done : uint32_t(CHUNK);
    in.read(buffer.data(), want);
    if (uint32_t(in.gcount()) != want) return Fail(error, "cannot read " + hostPath + " whole");
    BlowfishEncipherBlocks(&cipher, buffer.data(), want);
    out.write(buffer.data(), want);
    done += want;
  }
  if (in.peek() != std::ifstream::traits_type::eof()) {
    return Fail(error, hostPath + " grew while it was archived");
  }
  return true;
}

bool WriteAll(const std::vector<ArchiveSourceFile>& files,
              const std::vector<ArchiveIndexEntry>& index, const BlowfishContext& cipher,
              std::ostream& out, std::string* error) {
  char header[HEADER_BYTES] = {'Q', 'R', 'B', '\0'};
  PutU32(header + 4, uint32_t(index.size()));
  out.write(header, HEADER_BYTES);
  char stored[ENTRY_BYTES];
  for (const ArchiveIndexEntry& e : index) {
    StoreEntry(stored, e);
    out.write(stored, ENTRY_BYTES);
  }
  for (size_t i = 0; i < index.size(); ++i) {
    StoreEntry(stored, index[i]);
    out.write(stored, ENTRY_BYTES);
    if (i == 0) continue;  // the key entry has no data of its own
    uint32_t offset = index[i].offset + uint32_t(i), size = index[i].size;
    BlowfishDecipher(&cipher, &offset, &size);
    if (!CopyEnciphered(files[i - 1].hostPath, size, cipher, out, error)) return false;
  }
  return true;
}

}  // namespace

bool WriteEncipheredArchive(const std::vector<ArchiveSourceFile>& files,
                            const std::string& archivePath, uint32_t seed, std::string* error) {
  if (files.size() >= (READABLE_LIMIT - HEADER_BYTES) / (2 * ENTRY_BYTES)) {
    return Fail(error, "too many files");
  }
  BlowfishContext cipher;
  KeyFromSeed(seed, &cipher);
  std::vector<ArchiveIndexEntry> index;
  if (!BuildIndex(files, seed, cipher, &index, error)) return false;
  std::string reason;
  const bool ok = WriteReplacing(
      archivePath,
      [&](std::ostream& out, std::string* why) { return WriteAll(files, index, cipher, out, why); },
      &reason);
  if (!ok) Fail(error, reason);
  return ok;
}
