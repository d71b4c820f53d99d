// The unpack step on a hostile payload resource: the header check, then
// InflateBuffer into a buffer of the header's capacity (cut down to keep runs
// fast) with a guard zone behind it, and InflateStream of the same size in
// pieces of a size the input picks. zlib's own one-shot decoder is the
// reference for what a stream holds and how it ends.
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "support/inflate.h"
#include "support/payload.h"

namespace {

enum : uint32_t {
  kMaxInput = 64 * 1024,
  kMaxCapacity = 64 * 1024,
  kReferenceRoom = 256 * 1024,
  kGuard = 64,
};
const unsigned char kFill = 0xA5;  // what the buffer holds before inflation

void CheckHeader(const uint8_t* data, size_t size, int accepted, const PayloadHeader& header) {
  const bool fits = size >= QX_PAYLOAD_HEADER_SIZE;
  const uint32_t unpacked = fits ? LoadLe32(data + QX_PAYLOAD_UNPACKED_SIZE_AT) : 0;
  FUZZ_CHECK(accepted == (fits && unpacked < 0x80000000u));
  if (!accepted) return;
  FUZZ_CHECK(header.unpackedSize == unpacked &&
             header.packedSize == LoadLe32(data + QX_PAYLOAD_PACKED_SIZE_AT));
  FUZZ_CHECK(std::memcmp(header.packedName, data, 32) == 0);
}

struct Reference {
  int code;        // uncompress2's result
  uLong produced;  // bytes it delivered before it stopped
  uLong consumed;  // stream bytes it used
  const unsigned char* out;
};

Reference Decode(const uint8_t* stream, uLong length) {
  static unsigned char room[kReferenceRoom];  // one buffer for every run
  Reference r;
  r.out = room;
  r.produced = kReferenceRoom;
  r.consumed = length;
  r.code = uncompress2(room, &r.produced, stream, &r.consumed);
  return r;
}

// The bytes past the stored ones are either untouched or all zero-filled.
bool RestIsUniform(const unsigned char* buffer, int32_t from, int32_t capacity,
                   unsigned char* kind) {
  if (from == capacity) return true;
  *kind = buffer[from];
  if (*kind != 0 && *kind != kFill) return false;
  for (int32_t i = from; i < capacity; ++i)
    if (buffer[i] != *kind) return false;
  return true;
}

void CheckAgainstReference(const Reference& ref, const unsigned char* buffer, int32_t capacity,
                           int stored, InflateEnd end, uLong streamLength) {
  if (ref.code == Z_BUF_ERROR && ref.produced == kReferenceRoom) return;  // too big to compare
  const bool good = ref.code == Z_OK;
  FUZZ_CHECK((end == INFLATE_END_CLEAN) == (good && ref.consumed == streamLength));
  FUZZ_CHECK((end == INFLATE_END_TRAILING) == (good && ref.consumed < streamLength));
  const uLong expected = ref.produced < uLong(capacity) ? ref.produced : uLong(capacity);
  if (uLong(stored) != expected) {
    // Input that runs out exactly as a 4096-byte step fills ends the loop
    // while zlib may still hold output: only a stream cut short loses it.
    FUZZ_CHECK(end == INFLATE_END_TRUNCATED && uLong(stored) < expected);
    FUZZ_CHECK(stored > 0 && stored % 4096 == 0);
  }
  FUZZ_CHECK(std::memcmp(buffer, ref.out, stored) == 0);
  unsigned char kind = 0;
  FUZZ_CHECK(RestIsUniform(buffer, stored, capacity, &kind));
  // After the end of the stream the next step produces nothing: zero fill.
  if (end == INFLATE_END_TRAILING && stored < capacity) FUZZ_CHECK(kind == 0);
}

// Keeps what it is given, and the size of every piece.
struct KeepingSink : InflateSink {
  int Take(const void* bytes, uint32_t count) override {
    sizes.push_back(count);
    kept.insert(kept.end(), static_cast<const unsigned char*>(bytes),
                static_cast<const unsigned char*>(bytes) + count);
    return 1;
  }
  std::vector<unsigned char> kept;
  std::vector<uint32_t> sizes;
};

// Streamed: never past `expected`, the reference's bytes, pieces of the
// buffer's size, and done exactly when the reference found a sound stream
// of that length.
void CheckStream(const Reference& ref, const uint8_t* stream, uint32_t streamLength,
                 uint32_t expected, uint32_t bufferSize) {
  std::vector<unsigned char> buffer(bufferSize);
  KeepingSink sink;
  const InflateResult result =
      InflateStream(stream, streamLength, expected, buffer.data(), bufferSize, &sink);
  FUZZ_CHECK(result == INFLATE_DONE || result == INFLATE_DAMAGED);
  FUZZ_CHECK(sink.kept.size() <= expected);
  for (size_t i = 0; i < sink.sizes.size(); ++i) {
    FUZZ_CHECK(sink.sizes[i] > 0);
    if (i + 1 < sink.sizes.size()) FUZZ_CHECK(sink.sizes[i] == bufferSize);
  }
  if (ref.code == Z_BUF_ERROR && ref.produced == kReferenceRoom) return;  // too big to compare
  FUZZ_CHECK(sink.kept.size() <= ref.produced);
  FUZZ_CHECK(sink.kept.empty() || std::memcmp(sink.kept.data(), ref.out, sink.kept.size()) == 0);
  FUZZ_CHECK((result == INFLATE_DONE) == (ref.code == Z_OK && ref.produced == expected));
  if (result == INFLATE_DONE) FUZZ_CHECK(sink.kept.size() == expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxInput) return 0;
  PayloadHeader header;
  std::memset(&header, 0x5A, sizeof header);
  const int accepted = CheckPayload(data, uint32_t(size), &header);
  CheckHeader(data, size, accepted, header);
  if (!accepted) return 0;

  int32_t capacity = int32_t(header.unpackedSize);
  if (uint32_t(capacity) > kMaxCapacity) capacity = int32_t(header.unpackedSize % kMaxCapacity);
  std::vector<unsigned char> buffer(size_t(capacity) + kGuard, kFill);
  const uint8_t* stream = data + QX_PAYLOAD_HEADER_SIZE;
  const uint32_t streamLength = uint32_t(size) - QX_PAYLOAD_HEADER_SIZE;
  InflateEnd end = InflateEnd(-1);
  const int stored = InflateBuffer(buffer.data(), capacity, stream, streamLength, &end);

  FUZZ_CHECK(stored >= 0 && stored <= capacity);  // -1 only without memory
  for (uint32_t i = 0; i < kGuard; ++i) FUZZ_CHECK(buffer[size_t(capacity) + i] == kFill);
  FUZZ_CHECK(end >= INFLATE_END_CLEAN && end <= INFLATE_END_TRAILING);
  if (streamLength == 0) {
    FUZZ_CHECK(stored == 0 && end == INFLATE_END_TRUNCATED);
    for (int32_t i = 0; i < capacity; ++i) FUZZ_CHECK(buffer[i] == kFill);
    return 0;
  }
  const Reference ref = Decode(stream, streamLength);
  CheckAgainstReference(ref, buffer.data(), capacity, stored, end, streamLength);
  CheckStream(ref, stream, streamLength, uint32_t(capacity), 1 + data[0] % 9000);
  return 0;
}
