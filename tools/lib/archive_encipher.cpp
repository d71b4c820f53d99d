#include "tools/lib/archive_encipher.h"

#include <filesystem>
#include <fstream>

#include "archive/blowfish.h"
#include "tools/lib/archive_layout.h"

namespace fs = std::filesystem;

namespace {

enum : uint32_t { CHUNK = 1u << 20 };

bool Fail(std::string* error, const std::string& reason) {
  if (error) *error = reason;
  return false;
}

// The stored index: entry 0 the key entry, then every file with true offsets
// laid out one after another, each behind its index copy.
bool BuildIndex(const std::vector<ArchiveSourceFile>& files, uint32_t seed,
                const BlowfishContext& cipher, std::vector<ArchiveIndexEntry>* index,
                std::string* error) {
  std::vector<std::string> names = {ARCHIVE_KEY_ENTRY_NAME};
  std::vector<uint64_t> sizes = {0};  // the key entry has no data of its own
  for (const ArchiveSourceFile& f : files) {
    if (f.name.empty() || f.name.size() >= ARCHIVE_NAME_BYTES)
      return Fail(error, "name too long: " + f.name);
    std::error_code ec;
    sizes.push_back(fs::file_size(fs::u8path(f.hostPath), ec));
    if (ec) return Fail(error, "cannot read " + f.hostPath + ": " + ec.message());
    names.push_back(f.name);
  }
  if (LayOutArchive(names, sizes, index) != names.size())
    return Fail(error, "archive would reach 2 GiB");
  EncipherIndex(cipher, seed, index);
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
  return EmitArchive(
      index,
      [&](size_t i, std::ostream& o, std::string* why) {
        if (i == 0) return true;  // the key entry has no data of its own
        ArchiveIndexEntry e = index[i];
        DecipherIndexEntry(&cipher, uint32_t(i), &e);
        return CopyEnciphered(files[i - 1].hostPath, e.size, cipher, o, why);
      },
      out, error);
}

}  // namespace

bool WriteEncipheredArchive(const std::vector<ArchiveSourceFile>& files,
                            const std::string& archivePath, uint32_t seed, std::string* error) {
  if (files.size() >= (uint64_t(QX_MAX_ARCHIVE_SIZE) + 1 - ARCHIVE_HEADER_BYTES) /
                          (2 * ARCHIVE_INDEX_ENTRY_BYTES)) {
    return Fail(error, "too many files");
  }
  BlowfishContext cipher;
  SetArchiveContentKey(&cipher, seed);
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
