// The archive reader on a hostile work file, plain or enciphered, checked
// against a model of the format: every handle's position, every count that
// Read and Seek return, every byte delivered and every name.
//
// Input: flags (1 byte), ops length (2 bytes, little-endian), the ops, then
// the archive file. Flags: bit 0 makes entry 0 the key entry (so the
// enciphered branch is reached), bit 1 writes its name in capitals, bits 2-4
// pick the handle capacity, bit 5 tries a second Open. Each op is an opcode
// byte (kind in bits 0-2, Seek origin in bits 3-4, bit 7 for a raw index or
// offset) and a 32-bit little-endian value whose top byte picks the handle.
// After the ops every entry is walked with one handle at a time, read in
// pieces whose sizes come from the ops.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/blowfish.h"
#include "archive/mt19937.h"
#include "archive/name_scramble.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_model.h"
#include "support/path_string.h"

namespace {

enum : uint32_t {
  kMaxRead = 8 * 1024,
  kMaxHandles = 64,
  kMaxWalk = 4096,
  kGuard = 16,
  kWalkBytes = 4 * 1024,
  kWalkReads = 64
};

// A name descrambled letter by letter: place m of A-Z a-z becomes place
// (51 - m - s - k) mod 52, s the byte sum of the seed's first draw.
std::string Descramble(std::string name, uint32_t seed) {
  uint32_t c;
  {
    MtKeyedUse use(seed);
    c = MtDraw();
  }
  const uint32_t s = ((c & 0xFF) + ((c >> 8) & 0xFF) + ((c >> 16) & 0xFF) + (c >> 24)) & 0xFF;
  for (uint32_t k = 0; k < name.size(); ++k) {
    char ch = name[k];
    int m = (ch >= 'A' && ch <= 'Z') ? ch - 'A' : (ch >= 'a' && ch <= 'z') ? ch - 'a' + 26 : -1;
    if (m < 0) continue;
    int to = int((51u + 52u * 10u - uint32_t(m) - s - k % 52u) % 52u);
    name[k] = to < 26 ? char('A' + to) : char('a' + to - 26);
  }
  return name;
}

struct ModelEntry {
  std::string name;  // as GetName must give it
  uint32_t start;
  uint32_t size;
};

struct Model {
  std::vector<uint8_t> file;
  bool opens = false;
  bool enciphered = false;
  BlowfishContext cipher;
  std::vector<ModelEntry> entries;

  uint8_t FileByte(uint64_t at) const { return at < file.size() ? file[at] : 0; }
  // Bytes a plain read of n can get at file position f (32-bit positions,
  // 2 GiB or more unreachable).
  uint32_t Available(uint32_t f, uint32_t n) const {
    if (f > 0x7FFFFFFFu || f >= file.size()) return 0;
    uint64_t left = file.size() - f;
    return left < n ? uint32_t(left) : n;
  }
  // Bytes p .. p + n - 1 of an enciphered entry: whole 8-byte blocks
  // deciphered, the partial trailing block as stored, unreachable or missing
  // bytes zero.
  void EncipheredBytes(const ModelEntry& e, uint32_t p, uint32_t n, uint8_t* out) const {
    for (uint32_t i = 0; i < n;) {
      const uint32_t at = p + i, blockStart = at - at % 8;
      if (e.size - blockStart < 8) {
        const uint32_t f = e.start + at;
        out[i++] = f > 0x7FFFFFFFu ? 0 : FileByte(f);
        continue;
      }
      const uint32_t f = e.start + blockStart;
      uint8_t block[8] = {0};
      if (f <= 0x7FFFFFFFu)
        for (int j = 0; j < 8; ++j) block[j] = FileByte(uint64_t(f) + j);
      BlowfishDecipherBlock(&cipher, block, block);
      for (uint32_t j = at % 8; j < 8 && i < n; ++j) out[i++] = block[j];
    }
  }
};

Model BuildModel(const uint8_t* data, size_t size) {
  Model m;
  m.file.assign(data, data + size);
  if (size < ARCHIVE_HEADER_BYTES) return m;
  const uint64_t n = LoadLe32(data + 4);
  if (ARCHIVE_HEADER_BYTES + ARCHIVE_INDEX_ENTRY_BYTES * n > size) return m;
  m.opens = true;
  std::vector<ArchiveIndexEntry> index(n);
  for (uint64_t i = 0; i < n; ++i) {
    LoadIndexEntry(data + ARCHIVE_HEADER_BYTES + ARCHIVE_INDEX_ENTRY_BYTES * i, &index[i]);
    index[i].name[ARCHIVE_NAME_BYTES - 1] = '\0';
  }
  m.enciphered = n >= 1 && IsKeyEntryName(index[0].name);
  if (m.enciphered) SetArchiveContentKey(&m.cipher, index[0].size);
  for (uint32_t i = 0; i < n; ++i) {
    ModelEntry e = {index[i].name, index[i].offset, index[i].size};
    if (m.enciphered && i == 0) {  // the key entry is kept as stored
      m.entries.push_back(e);
      continue;
    }
    if (m.enciphered) {
      DecipherIndexEntry(&m.cipher, i, &index[i]);
      e = {Descramble(e.name, ARCHIVE_NAME_SEED_BASE + i), index[i].offset, index[i].size};
    }
    e.name = FuzzUpper(e.name);
    m.entries.push_back(e);
  }
  return m;
}

struct Handle {
  qxArchiveEntry* h;
  uint32_t index;
  uint32_t position;
  bool live;
};

class Session {
 public:
  Session(const Model& model, int capacity, const char* path)
      : model_(model),
        capacity_(capacity == 0  ? 32
                  : capacity < 0 ? 0
                                 : capacity),
        reader_(capacity) {
    FUZZ_CHECK(reader_.Open(path) == (model.opens ? 1 : 0));
    FUZZ_CHECK(reader_.IsOpen() == (model.opens ? 1 : 0));
    if (!model.opens) return;
    FUZZ_CHECK(reader_.GetCount() == model.entries.size());
    FUZZ_CHECK(reader_.IsEnciphered() == (model.enciphered ? 1 : 0));
  }

  void SecondOpen(const char* path) {
    FUZZ_CHECK(reader_.Open(path) == 0);
    FUZZ_CHECK(reader_.IsOpen() == (model_.opens ? 1 : 0));
    if (model_.opens) FUZZ_CHECK(reader_.GetCount() == model_.entries.size());
  }

  void RunOp(uint8_t op, uint32_t value, const std::vector<uint32_t>& pieces);
  void Walk(const std::vector<uint32_t>& pieces);

 private:
  size_t Live() const {
    size_t n = 0;
    for (const Handle& h : handles_) n += h.live;
    return n;
  }
  Handle* Pick(uint32_t value) {
    return handles_.empty() ? nullptr : &handles_[value % handles_.size()];
  }
  void Open(uint32_t index);
  void Close(Handle* h);
  void CheckRecord(const Handle& h);
  void Read(Handle* h, uint32_t length);
  void Seek(Handle* h, uint32_t offset, int origin);

  const Model& model_;
  int capacity_;
  qxArchive reader_;
  std::vector<Handle> handles_;
};

void Session::Open(uint32_t index) {
  qxArchiveEntry* h = reader_.OpenEntry(index);
  const bool expected = model_.opens && index < model_.entries.size() && Live() < size_t(capacity_);
  FUZZ_CHECK((h != NoArchiveEntry()) == expected);
  if (!expected) return;
  for (const Handle& other : handles_) FUZZ_CHECK(!other.live || other.h != h);
  // A freed record is handed out again: older copies of its address now
  // stand for the new handle.
  for (size_t i = handles_.size(); i-- > 0;)
    if (handles_[i].h == h) handles_.erase(handles_.begin() + long(i));
  Handle record{h, index, 0, true};
  CheckRecord(record);
  if (handles_.size() < kMaxHandles) {
    handles_.push_back(record);
  } else {
    FUZZ_CHECK(reader_.CloseEntry(h) == 1);
  }
}

void Session::Close(Handle* h) {
  FUZZ_CHECK(reader_.CloseEntry(h->h) == (h->live ? 1 : 0));
  h->live = false;
  // A freed handle is refused by every operation.
  char name[QX_MAX_PATH];
  FUZZ_CHECK(reader_.GetName(h->h, name) == nullptr && reader_.GetSize(h->h) == 0);
  FUZZ_CHECK(reader_.Read(h->h, name, sizeof name) == 0 && reader_.Seek(h->h, 1, 0) == 0);
}

void Session::CheckRecord(const Handle& h) {
  if (!h.live) return;
  const ModelEntry& e = model_.entries[h.index];
  FUZZ_CHECK(h.h->marker == ARCHIVE_ENTRY_MARKER && h.h->index == h.index);
  FUZZ_CHECK(h.h->position == h.position && h.h->filePosition == e.start + h.position);
  FUZZ_CHECK(h.h->start == e.start && reader_.GetSize(h.h) == e.size);
  // A Seek never leaves the end; only Read gets there.
  FUZZ_CHECK(h.position <= e.size);
  char name[QX_MAX_PATH + kGuard];
  std::memset(name, 0x7E, sizeof name);
  const char* at = reader_.GetName(h.h, name);
  FUZZ_CHECK(at == h.h->name);
  FUZZ_CHECK(memchr(name, 0, QX_MAX_PATH) != nullptr && std::strlen(name) < 64);
  for (uint32_t i = QX_MAX_PATH; i < sizeof name; ++i) FUZZ_CHECK(name[i] == 0x7E);
  FUZZ_CHECK(e.name == name && std::strcmp(at, name) == 0);
}

void Session::Read(Handle* h, uint32_t length) {
  std::vector<uint8_t> buffer(length ? length : 1, 0);
  const uint32_t got = reader_.Read(h->h, buffer.data(), length);
  if (!h->live) {
    FUZZ_CHECK(got == 0);
    return;
  }
  const ModelEntry& e = model_.entries[h->index];
  const uint32_t left = e.size - h->position;
  uint32_t n = length < left ? length : left;
  if (!model_.enciphered) n = model_.Available(e.start + h->position, n);
  FUZZ_CHECK(got == n);
  // Entries that run past 4 GiB of file positions have no sound bytes.
  const bool wraps = uint64_t(e.start) + e.size > 0x100000000ull;
  if (!wraps) {
    std::vector<uint8_t> want(n ? n : 1, 0);
    if (model_.enciphered) {
      model_.EncipheredBytes(e, h->position, n, want.data());
    } else {
      for (uint32_t i = 0; i < n; ++i)
        want[i] = model_.FileByte(uint32_t(e.start + h->position + i));
    }
    FUZZ_CHECK(std::memcmp(buffer.data(), want.data(), n) == 0);
  }
  h->position += n;
  CheckRecord(*h);
}

void Session::Seek(Handle* h, uint32_t offset, int origin) {
  const uint32_t result = reader_.Seek(h->h, offset, origin);
  if (!h->live) {
    FUZZ_CHECK(result == 0);
    return;
  }
  const uint32_t size = model_.entries[h->index].size;
  uint32_t p = origin == 0 ? offset : origin == 1 ? h->position + offset : h->position;
  uint32_t expected = offset;
  if (p >= size) {
    expected = offset + size - p;
    p = size == 0 ? 0 : size - 1;
  }
  FUZZ_CHECK(result == expected);
  h->position = p;
  CheckRecord(*h);
}

void Session::RunOp(uint8_t op, uint32_t value, const std::vector<uint32_t>& pieces) {
  Handle* h = Pick(value >> 24);
  switch (op & 7) {
    case 0:
    case 6:
      Open(op & 0x80 ? value : value % uint32_t(model_.entries.size() + 2));
      break;
    case 1:
      if (h) Close(h);
      break;
    case 2:
    case 7:
      if (h) Read(h, value % (kMaxRead + 1));
      break;
    case 3:
      if (h) Seek(h, op & 0x80 ? value : value % 64 - 32, (op >> 3) & 3);
      break;
    case 4:
      if (h) CheckRecord(*h);
      break;
    case 5:
      // Read the rest in pieces, then once more: nothing is left.
      if (!h) break;
      for (uint32_t i = 0; i < pieces.size() && h->live; ++i) Read(h, pieces[i]);
      Read(h, value % (kMaxRead + 1));
      break;
  }
}

// Every entry, one handle at a time: a handed-back handle keeps any number of
// entries reachable with a small table.
void Session::Walk(const std::vector<uint32_t>& pieces) {
  for (Handle& h : handles_)
    if (h.live) Close(&h);
  const uint32_t n = model_.entries.size() < kMaxWalk ? uint32_t(model_.entries.size()) : kMaxWalk;
  for (uint32_t i = 0; i < n + 1; ++i) {
    qxArchiveEntry* entry = reader_.OpenEntry(i);
    if (capacity_ == 0 || i == model_.entries.size()) {
      FUZZ_CHECK(entry == NoArchiveEntry());
      continue;
    }
    FUZZ_CHECK(entry != NoArchiveEntry());
    handles_.assign(1, Handle{entry, i, 0, true});
    CheckRecord(handles_[0]);
    uint32_t budget = kWalkBytes;
    for (uint32_t k = 0; budget > 0 && k < kWalkReads; ++k) {
      uint32_t piece = pieces.empty() ? budget : pieces[k % pieces.size()] + 1;
      if (piece > budget) piece = budget;
      budget -= piece;
      Read(&handles_[0], piece);
    }
    Close(&handles_[0]);
  }
}

// The archive as a file the reader opens by path, without touching the disk.
class MemoryFile {
 public:
  explicit MemoryFile(const std::vector<uint8_t>& bytes) : fd_(memfd_create("archive", 0)) {
    FUZZ_CHECK(fd_ >= 0);
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
      FUZZ_CHECK(n > 0);
      done += size_t(n);
    }
    std::snprintf(path_, sizeof path_, "/proc/self/fd/%d", fd_);
  }
  ~MemoryFile() { close(fd_); }
  const char* path() const { return path_; }

 private:
  int fd_;
  char path_[64];
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint8_t flags = data[0];
  size_t opsLength = size_t(data[1]) | size_t(data[2]) << 8;
  if (opsLength > size - 3) opsLength = size - 3;
  const uint8_t* ops = data + 3;
  std::vector<uint8_t> archive(ops + opsLength, data + size);
  if ((flags & 1) && archive.size() >= 8 + 72) {
    const char* key = (flags & 2) ? "__KEY__.DAT" : "__key__.dat";
    std::memset(&archive[8], 0, 64);
    std::memcpy(&archive[8], key, 11);
  }
  static const int kCapacities[8] = {0, 1, 2, 3, 5, 8, 32, -1};
  const Model model = BuildModel(archive.data(), archive.size());
  MemoryFile file(archive);
  Session session(model, kCapacities[(flags >> 2) & 7], file.path());
  if (flags & 0x20) session.SecondOpen(file.path());

  std::vector<uint32_t> pieces;
  for (size_t i = 0; i + 5 <= opsLength && pieces.size() < 16; i += 5)
    pieces.push_back(LoadLe32(ops + i + 1) % 300);
  for (size_t i = 0; i + 5 <= opsLength; i += 5)
    session.RunOp(ops[i], LoadLe32(ops + i + 1), pieces);
  session.Walk(pieces);
  return 0;
}
