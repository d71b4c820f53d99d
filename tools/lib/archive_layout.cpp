#include "tools/lib/archive_layout.h"

#include <algorithm>
#include <cstring>
#include <sstream>

#include "archive/blowfish.h"
#include "archive/name_scramble.h"

size_t LayOutArchive(const std::vector<std::string>& names, const std::vector<uint64_t>& lengths,
                     std::vector<ArchiveIndexEntry>* index) {
  index->assign(names.size(), ArchiveIndexEntry());
  uint64_t position = ARCHIVE_HEADER_BYTES + uint64_t(ARCHIVE_INDEX_ENTRY_BYTES) * names.size();
  for (size_t i = 0; i < names.size(); ++i) {
    position += ARCHIVE_INDEX_ENTRY_BYTES;  // the entry's index copy
    if (position + lengths[i] > QX_MAX_ARCHIVE_SIZE) return i;
    ArchiveIndexEntry& e = (*index)[i];
    std::memcpy(e.name, names[i].data(), std::min<size_t>(names[i].size(), ARCHIVE_NAME_BYTES));
    e.offset = uint32_t(position);
    e.size = uint32_t(lengths[i]);
    position += lengths[i];
  }
  return names.size();
}

void EncipherIndex(const BlowfishContext& cipher, uint32_t seed,
                   std::vector<ArchiveIndexEntry>* index) {
  if (index->empty()) return;
  (*index)[0].size = seed;
  char forward[52], reversed[52];
  InitNameAlphabets(forward, reversed);
  for (uint32_t i = 1; i < index->size(); ++i) {
    ArchiveIndexEntry& e = (*index)[i];
    ScrambleName(e.name, ARCHIVE_NAME_SEED_BASE + i, forward, reversed);
    EncipherIndexEntry(&cipher, i, &e);
  }
}

bool EmitArchive(const std::vector<ArchiveIndexEntry>& stored, const ArchiveDataWriter& data,
                 std::ostream& out, std::string* error) {
  char header[ARCHIVE_HEADER_BYTES];
  std::memcpy(header, ARCHIVE_MAGIC, ARCHIVE_MAGIC_BYTES);
  StoreLe32(header + ARCHIVE_MAGIC_BYTES, uint32_t(stored.size()));
  out.write(header, sizeof header);
  char record[ARCHIVE_INDEX_ENTRY_BYTES];
  for (const ArchiveIndexEntry& e : stored) {
    StoreIndexEntry(e, record);
    out.write(record, sizeof record);
  }
  for (size_t i = 0; i < stored.size(); ++i) {
    StoreIndexEntry(stored[i], record);
    out.write(record, sizeof record);
    if (!data(i, out, error)) return false;
  }
  out.flush();
  if (!out) *error = "write failed";
  return bool(out);
}

bool ForEachStoredEntry(ByteRange* file, const StoredEntryVisitor& visit, std::string* problem) {
  unsigned char header[ARCHIVE_HEADER_BYTES];
  if (!file->ReadAt(0, header, sizeof header)) {
    *problem = "header truncated: the file is shorter than 8 bytes";
    return false;
  }
  const uint32_t n = LoadLe32(header + ARCHIVE_MAGIC_BYTES);
  const uint64_t end = ARCHIVE_HEADER_BYTES + uint64_t(ARCHIVE_INDEX_ENTRY_BYTES) * n;
  if (end > file->Size()) {
    *problem = "index truncated: " + std::to_string(n) + " entries need " + std::to_string(end) +
               " bytes, the file holds " + std::to_string(file->Size());
    return false;
  }
  const uint32_t perPiece = 1024;
  std::vector<char> piece(ARCHIVE_INDEX_ENTRY_BYTES * perPiece);
  for (uint32_t first = 0; first < n; first += perPiece) {
    const uint32_t count = std::min(n - first, perPiece);
    if (!file->ReadAt(ARCHIVE_HEADER_BYTES + uint64_t(ARCHIVE_INDEX_ENTRY_BYTES) * first,
                      piece.data(), size_t(ARCHIVE_INDEX_ENTRY_BYTES) * count)) {
      *problem = "index cannot be read whole";
      return false;
    }
    for (uint32_t k = 0; k < count; ++k) {
      ArchiveIndexEntry e;
      LoadIndexEntry(&piece[ARCHIVE_INDEX_ENTRY_BYTES * k], &e);
      if (!visit(first + k, e)) return false;
    }
  }
  return true;
}

std::string BuildArchive(const std::vector<ArchiveBuildEntry>& entries,
                         const ArchiveBuildOptions& options, std::vector<uint32_t>* dataOffsets) {
  std::vector<std::string> names, data;
  if (options.encipher) {
    names.push_back(options.keyName);
    data.push_back(std::string());
  }
  for (const ArchiveBuildEntry& e : entries) {
    names.push_back(e.name);
    data.push_back(e.data);
  }
  std::vector<uint64_t> lengths;
  for (const std::string& d : data) lengths.push_back(d.size());
  std::vector<ArchiveIndexEntry> index;
  LayOutArchive(names, lengths, &index);
  if (dataOffsets) {
    dataOffsets->clear();
    for (const ArchiveIndexEntry& e : index) dataOffsets->push_back(e.offset);
  }
  BlowfishContext cipher;
  if (options.encipher) {
    SetArchiveContentKey(&cipher, options.seed);
    EncipherIndex(cipher, options.seed, &index);
    for (size_t i = 1; i < data.size(); ++i)
      BlowfishEncipherBlocks(&cipher, &data[i][0], data[i].size());
  }
  const size_t first = options.encipher ? 1 : 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].offset >= 0) index[first + i].offset = uint32_t(entries[i].offset);
    if (entries[i].size >= 0) index[first + i].size = uint32_t(entries[i].size);
  }
  std::ostringstream out;
  std::string ignored;
  EmitArchive(
      index,
      [&](size_t i, std::ostream& o, std::string*) {
        return bool(o.write(data[i].data(), std::streamsize(data[i].size())));
      },
      out, &ignored);
  std::string bytes = out.str();
  bytes.replace(0, ARCHIVE_MAGIC_BYTES, options.magic, 0, ARCHIVE_MAGIC_BYTES);
  if (options.count >= 0) StoreLe32(&bytes[ARCHIVE_MAGIC_BYTES], uint32_t(options.count));
  return bytes;
}
