// Laying out archives (archive/archive_format.h) for every writer of the
// tools and for the tests: the header, the index, then each entry's index
// copy followed by its data.
#ifndef QX_TOOLS_ARCHIVE_LAYOUT_H
#define QX_TOOLS_ARCHIVE_LAYOUT_H

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "tools/lib/byte_stream.h"

struct BlowfishContext;

// The index of entries with these names (raw bytes, at most 64: a name of 64
// fills its field without a NUL) and data lengths: true offsets, the data of
// each after its index copy. Returns how many entries end within
// QX_MAX_ARCHIVE_SIZE: all of them when the archive fits.
size_t LayOutArchive(const std::vector<std::string>& names, const std::vector<uint64_t>& lengths,
                     std::vector<ArchiveIndexEntry>* index);

// Turns a laid-out index into an enciphered archive's: entry 0, the key
// entry (named by the caller, no data), gets the seed as its size; every
// other entry i gets its name scrambled and its offset and size enciphered.
// cipher holds the content key of seed (SetArchiveContentKey).
void EncipherIndex(const BlowfishContext& cipher, uint32_t seed,
                   std::vector<ArchiveIndexEntry>* index);

// Writes the archive of the stored index: magic, count, the index, then each
// entry's index copy and what data(i) writes for entry i. False with data's
// reason, or when the stream fails.
typedef std::function<bool(size_t i, std::ostream& out, std::string* error)> ArchiveDataWriter;
bool EmitArchive(const std::vector<ArchiveIndexEntry>& stored, const ArchiveDataWriter& data,
                 std::ostream& out, std::string* error);

// Hands visit each index entry as the file that range reads stores it, in
// order and a piece of the index at a time, for the checks the reader does
// not make (it cuts a name without its NUL silently). False with a one-line
// reason when the header or the index is not there whole (before any visit),
// or when visit returns false (the walk then stops).
typedef std::function<bool(uint32_t i, const ArchiveIndexEntry& stored)> StoredEntryVisitor;
bool ForEachStoredEntry(ByteRange* file, const StoredEntryVisitor& visit, std::string* problem);

// An archive in memory, for tests: entries the tools would refuse can be
// made, and the overrides make hostile ones.
struct ArchiveBuildEntry {
  std::string name;  // raw bytes, at most 64
  std::string data;
  int64_t offset = -1;  // stored instead of the true offset when >= 0
  int64_t size = -1;    // stored instead of the true size when >= 0
};
struct ArchiveBuildOptions {
  std::string magic = std::string(ARCHIVE_MAGIC, ARCHIVE_MAGIC_BYTES);
  int64_t count = -1;  // stored instead of the number of entries when >= 0
  // Enciphered: a key entry of this name first, then the entries enciphered
  // (overrides apply to what is stored).
  bool encipher = false;
  uint32_t seed = 0;
  std::string keyName = ARCHIVE_KEY_ENTRY_NAME;
};
// The archive's bytes; *dataOffsets, when given, receives the true offset of
// each stored entry's data (the key entry's first).
std::string BuildArchive(const std::vector<ArchiveBuildEntry>& entries,
                         const ArchiveBuildOptions& options = ArchiveBuildOptions(),
                         std::vector<uint32_t>* dataOffsets = nullptr);

#endif
