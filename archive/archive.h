// Archive reader: a flat container of named entries with its index at the head,
// plain or enciphered. Entries are handed out by index as handles.
//
// The layout is archive_format.h's; the magic is not checked.
//
// Enciphered archives: the key entry is kept as stored. Entries 1 .. N-1 have
// their names and index entries decoded by Open; their whole 8-byte blocks
// are enciphered (Blowfish, ECB), a partial trailing block is stored plain,
// and Read deciphers on the way. Bytes that the file does not hold read as
// zeros there, and the count is the request.
#ifndef QX_ARCHIVE_ARCHIVE_H
#define QX_ARCHIVE_ARCHIVE_H

#include <cstdint>
#include <map>
#include <string>

#include "archive/archive_file.h"
#include "archive/archive_format.h"

enum : uint32_t { ARCHIVE_ENTRY_MARKER = 0x4E45504F };  // "OPEN" in memory order

// One entry handle record of a reader's fixed table.
struct qxArchiveEntry {
  uint32_t marker;        // ARCHIVE_ENTRY_MARKER while in use, 0 while free
  uint32_t start;         // file position of the entry's first byte
  uint32_t filePosition;  // start + position
  uint32_t position;      // next byte within the entry
  uint32_t size;
  char name[260];
  uint32_t index;
};

// The value that stands for "no entry".
inline qxArchiveEntry* NoArchiveEntry() { return reinterpret_cast<qxArchiveEntry*>(~uintptr_t(0)); }

struct BlowfishContext;

// Owned by the reader: the cipher (made at the first enciphered Open) and the
// two alphabets that name descrambling maps between.
struct ArchiveDescrambler {
  BlowfishContext* cipher;
  char forward[52];   // A-Z a-z
  char reversed[52];  // z-a Z-A
};

struct ArchiveNameSlot {
  uint32_t offset;
  uint32_t size;
  uint32_t index;
};

// Why Open failed, for tools that explain it; the updater needs only 0 or 1.
enum ArchiveOpenError {
  ARCHIVE_OPENED = 0,
  ARCHIVE_NOT_READABLE,       // the file cannot be opened or read
  ARCHIVE_TOO_SHORT,          // shorter than its 8-byte header
  ARCHIVE_INDEX_BEYOND_FILE,  // the index claims more bytes than the file (or 32 bits) holds
  ARCHIVE_NO_MEMORY,          // the index or the name index cannot be allocated
  ARCHIVE_ALREADY_OPEN,       // this reader holds an archive already
};

class qxArchive {
 public:
  explicit qxArchive(int capacity);  // 0 means 32; a negative one gives no handles
  ~qxArchive();
  qxArchive(const qxArchive&) = delete;
  qxArchive& operator=(const qxArchive&) = delete;

  // 1 when the archive was opened. Fails (0, reader still closed) when the file
  // cannot be opened, is shorter than its header, its index does not fit in the
  // file or in 32 bits, cannot be read whole or allocated. On a reader that is
  // already open it fails and leaves the open archive as it was.
  // Names are cut at 63 bytes and upper-cased (double-byte characters kept).
  int Open(const char* path);
  // The same, with the reason for a failure in *why (ARCHIVE_OPENED on success).
  int Open(const char* path, ArchiveOpenError* why);
  // A new handle on entry index, at its start; NoArchiveEntry() when closed,
  // index >= N, or every record is taken.
  qxArchiveEntry* OpenEntry(uint32_t index);
  // Frees the handle's record for reuse, so that any number of entries can be
  // walked with a bounded table. 1 when it was a valid handle.
  int CloseEntry(qxArchiveEntry* entry);
  // Address of the handle's name (copied into destination, 260 bytes, when
  // non-null); null for an invalid handle.
  const char* GetName(qxArchiveEntry* entry, char* destination);
  uint32_t GetSize(qxArchiveEntry* entry);
  // Where the entry's data starts in the file, and the entry's index; 0 for
  // an invalid handle.
  uint32_t GetStart(qxArchiveEntry* entry);
  uint32_t GetIndex(qxArchiveEntry* entry);
  // Bytes delivered, at most length and at most what the entry has left; 0
  // when the entry's file position cannot be reached (2 GiB or more).
  uint32_t Read(qxArchiveEntry* entry, void* buffer, uint32_t length);
  // Origin 0: from the entry's start; 1: from the current position. Clamps to
  // the last byte (the start for an empty entry); returns offset less overshoot.
  uint32_t Seek(qxArchiveEntry* entry, uint32_t offset, int origin);

  uint32_t GetCount() const { return count; }
  int IsOpen() const { return nameIndex != nullptr; }
  int IsEnciphered() const { return enciphered; }

 private:
  int IsValid(const qxArchiveEntry* entry) const;
  ArchiveOpenError ReadIndex(uint32_t fileSize);
  ArchiveOpenError OpenFile(const char* path);
  int BuildNameIndex(uint32_t first);
  void Close();
  uint32_t ReadPlain(qxArchiveEntry* entry, void* buffer, uint32_t n);

  // The enciphered variant (archive_cipher.cpp).
  void InitDescrambler();
  void ReleaseCipher();
  uint32_t ReadBlocks(qxArchiveEntry* entry, void* buffer, uint32_t n);
  void ReadThroughBlock(qxArchiveEntry* entry, uint8_t* destination, uint32_t from, uint32_t count);
  // 0 when the cipher context cannot be made.
  int SetUpKey(uint32_t seed);
  void DecodeIndex();

  int capacity;
  ArchiveIndexEntry* index;
  std::map<std::string, ArchiveNameSlot>* nameIndex;
  qxArchiveEntry* handles;
  ArchiveFileHandle file;
  uint32_t count;
  int enciphered;
  ArchiveDescrambler descrambler;
  uint32_t nameSeedBase;
};

#endif
