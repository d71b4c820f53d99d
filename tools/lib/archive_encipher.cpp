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
              const std::vector<ArchiveIndexEntry>& index, const std::vector<uint64_t>& sizes,
              const BlowfishContext& cipher, std::ostream& out, std::string* error) {
  return EmitArchive(
      index,
      [&](size_t i, std::ostream& o, std::string* why) {
        if (i == 0) return true;  // the key entry has no data of its own
        return CopyEnciphered(files[i - 1].hostPath, uint32_t(sizes[i]), cipher, o, why);
      },
      out, error);
}

}  // namespace

bool WriteEncipheredArchive(const std::vector<ArchiveSourceFile>& files,
                            const std::string& archivePath, uint32_t seed, std::string* error) {
  // Entry 0 is the key entry, with no data of its own.
  std::vector<std::string> names = {ARCHIVE_KEY_ENTRY_NAME};
  std::vector<uint64_t> sizes = {0};
  std::vector<ArchiveIndexEntry> index;
  std::string reason;
  if (!PlanArchive(files, &names, &sizes, &index, &reason)) return Fail(error, reason);
  BlowfishContext cipher;
  SetArchiveContentKey(&cipher, seed);
  EncipherIndex(cipher, seed, &index);
  const bool ok = WriteReplacing(
      archivePath,
      [&](std::ostream& out, std::string* why) {
        return WriteAll(files, index, sizes, cipher, out, why);
      },
      &reason);
  if (!ok) Fail(error, reason);
  return ok;
}
