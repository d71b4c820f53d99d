#include "archive/archive.h"

#include <cstring>
#include <new>

#include "support/path_string.h"

qxArchive::qxArchive(int capacity)
    : capacity(capacity == 0  ? 32
               : capacity < 0 ? 0
                              : capacity),
      index(nullptr),
      nameIndex(nullptr),
      handles(nullptr),
      file(ARCHIVE_NO_FILE),
      count(0),
      enciphered(0),
      descrambler(),
      nameSeedBase(0) {
  // Value-initialised: every marker starts at 0. Without a table the reader
  // simply hands out no handles.
  handles = new (std::nothrow) qxArchiveEntry[this->capacity]();
  if (!handles) this->capacity = 0;
  InitDescrambler();
}

qxArchive::~qxArchive() {
  delete nameIndex;
  delete[] index;
  if (file != ARCHIVE_NO_FILE) ArchiveFileClose(file);
  delete[] handles;
  ReleaseCipher();
}

// Back to the closed state after a failed Open.
void qxArchive::Close() {
  delete nameIndex;
  nameIndex = nullptr;
  delete[] index;
  index = nullptr;
  if (file != ARCHIVE_NO_FILE) ArchiveFileClose(file);
  file = ARCHIVE_NO_FILE;
  count = 0;
  enciphered = 0;
}

int qxArchive::Open(const char* path) { return Open(path, nullptr); }

int qxArchive::Open(const char* path, ArchiveOpenError* why) {
  ArchiveOpenError result = OpenFile(path);
  if (why) *why = result;
  return result == ARCHIVE_OPENED;
}

ArchiveOpenError qxArchive::OpenFile(const char* path) {
  // One archive per reader: a second Open must not disturb the handles given out.
  if (IsOpen() || file != ARCHIVE_NO_FILE) return ARCHIVE_ALREADY_OPEN;
  file = ArchiveFileOpen(path);
  if (file == ARCHIVE_NO_FILE) return ARCHIVE_NOT_READABLE;
  ArchiveOpenError result = ReadIndex(ArchiveFileSize(file));
  if (result != ARCHIVE_OPENED) {
    Close();
    return result;
  }
  // Names are cut before anything looks at them, so that every later scan and
  // copy stops inside the 64-byte field.
  for (uint32_t i = 0; i < count; ++i) index[i].name[sizeof(index[i].name) - 1] = '\0';
  uint32_t first = 0;
  if (count >= 1 && IsKeyEntryName(index[0].name)) {
    if (!SetUpKey(index[0].size)) {
      Close();
      return ARCHIVE_NO_MEMORY;
    }
    DecodeIndex();
    first = 1;
  }
  if (!BuildNameIndex(first)) {
    Close();
    return ARCHIVE_NO_MEMORY;
  }
  return ARCHIVE_OPENED;
}

// Header and index, each with one read; only an index received whole is kept.
// fileSize is 0xFFFFFFFF when unknown, and then only the reads can tell.
ArchiveOpenError qxArchive::ReadIndex(uint32_t fileSize) {
  unsigned char header[ARCHIVE_HEADER_BYTES];
  if (ArchiveFileRead(file, header, ARCHIVE_HEADER_BYTES) != ARCHIVE_HEADER_BYTES) {
    return fileSize < ARCHIVE_HEADER_BYTES ? ARCHIVE_TOO_SHORT : ARCHIVE_NOT_READABLE;
  }
  uint32_t n = LoadLe32(header + 4);  // the magic (header 0-3) is not checked
  uint64_t indexBytes = uint64_t(n) * ARCHIVE_INDEX_ENTRY_BYTES;
  if (indexBytes > 0xFFFFFFFFu) return ARCHIVE_INDEX_BEYOND_FILE;
  if (fileSize != 0xFFFFFFFFu && ARCHIVE_HEADER_BYTES + indexBytes > fileSize) {
    return ARCHIVE_INDEX_BEYOND_FILE;
  }
  index = new (std::nothrow) ArchiveIndexEntry[n];
  if (!index) return ARCHIVE_NO_MEMORY;
  uint32_t want = uint32_t(indexBytes);
  if (ArchiveFileRead(file, index, want) != want) {
    // With the size unknown, a short read is how the end of the file shows.
    return fileSize == 0xFFFFFFFFu ? ARCHIVE_INDEX_BEYOND_FILE : ARCHIVE_NOT_READABLE;
  }
  count = n;
  return ARCHIVE_OPENED;
}

int qxArchive::BuildNameIndex(uint32_t first) {
  nameIndex = new (std::nothrow) std::map<std::string, ArchiveNameSlot>;
  if (!nameIndex) return 0;
  try {
    for (uint32_t i = first; i < count; ++i) {
      ArchiveIndexEntry& e = index[i];
      MakeUpper(e.name);
      // emplace never replaces: of two equal names the first one stays.
      nameIndex->emplace(e.name, ArchiveNameSlot{e.offset, e.size, i});
    }
  } catch (const std::bad_alloc&) {
    return 0;
  }
  return 1;
}

qxArchiveEntry* qxArchive::OpenEntry(uint32_t entryIndex) {
  if (!IsOpen()) return NoArchiveEntry();
  qxArchiveEntry* record = nullptr;
  for (int i = 0; i < capacity && !record; ++i)
    if (handles[i].marker != ARCHIVE_ENTRY_MARKER) record = &handles[i];
  if (entryIndex >= count || !record) return NoArchiveEntry();
  const ArchiveIndexEntry& e = index[entryIndex];
  record->start = record->filePosition = e.offset;
  record->position = 0;
  record->size = e.size;
  CopyBytes(record->name, e.name, std::strlen(e.name) + 1);
  record->index = entryIndex;
  record->marker = ARCHIVE_ENTRY_MARKER;
  return record;
}

int qxArchive::CloseEntry(qxArchiveEntry* entry) {
  if (!IsValid(entry)) return 0;
  entry->marker = 0;
  return 1;
}

// Only records of this reader's own table count, so a stray pointer (or a
// handle of another reader) is refused instead of being written through.
int qxArchive::IsValid(const qxArchiveEntry* entry) const {
  if (!IsOpen() || !entry || entry == NoArchiveEntry() || !handles) return 0;
  uintptr_t p = reinterpret_cast<uintptr_t>(entry);
  uintptr_t begin = reinterpret_cast<uintptr_t>(handles);
  uintptr_t end = reinterpret_cast<uintptr_t>(handles + capacity);
  if (p < begin || p >= end || (p - begin) % sizeof(qxArchiveEntry) != 0) return 0;
  return entry->marker == ARCHIVE_ENTRY_MARKER;
}

const char* qxArchive::GetName(qxArchiveEntry* entry, char* destination) {
  if (!IsValid(entry)) return nullptr;
  if (destination) CopyBytes(destination, entry->name, std::strlen(entry->name) + 1);
  return entry->name;
}

uint32_t qxArchive::GetSize(qxArchiveEntry* entry) { return IsValid(entry) ? entry->size : 0; }

uint32_t qxArchive::GetStart(qxArchiveEntry* entry) { return IsValid(entry) ? entry->start : 0; }

uint32_t qxArchive::GetIndex(qxArchiveEntry* entry) { return IsValid(entry) ? entry->index : 0; }

uint32_t qxArchive::Read(qxArchiveEntry* entry, void* buffer, uint32_t length) {
  if (!IsValid(entry) || length == 0) return 0;
  uint32_t left = entry->size - entry->position;
  uint32_t n = length < left ? length : left;
  if (n == 0) return 0;
  return enciphered ? ReadBlocks(entry, buffer, n) : ReadPlain(entry, buffer, n);
}

uint32_t qxArchive::ReadPlain(qxArchiveEntry* entry, void* buffer, uint32_t n) {
  if (!ArchiveFileSeek(file, entry->filePosition)) return 0;
  uint32_t got = ArchiveFileRead(file, buffer, n);
  if (got > n) got = n;
  entry->filePosition += got;
  entry->position += got;
  return got;
}

uint32_t qxArchive::Seek(qxArchiveEntry* entry, uint32_t offset, int origin) {
  if (!IsValid(entry)) return 0;
  if (origin == 0) {
    entry->position = offset;
    entry->filePosition = entry->start + offset;
  } else if (origin == 1) {
    entry->position += offset;
    entry->filePosition += offset;
  }
  if (entry->position < entry->size) return offset;
  // Never past the last byte; an empty entry has none and stays at its start.
  uint32_t before = entry->position;
  entry->position = entry->size == 0 ? 0 : entry->size - 1;
  entry->filePosition = entry->start + entry->position;
  return offset + entry->size - before;
}
