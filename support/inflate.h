// Inflation of the embedded payload's zlib stream into a caller buffer.
#ifndef QX_SUPPORT_INFLATE_H
#define QX_SUPPORT_INFLATE_H

#include <cstdint>

// How the stream ended, for callers that must not take damage for data.
enum InflateEnd {
  INFLATE_END_CLEAN = 0,      // stream ended, trailer checked, no input left over
  INFLATE_END_TRUNCATED = 1,  // input ran out before the stream ended
  INFLATE_END_DAMAGED = 2,    // bad header, bad data or Adler-32 mismatch
  INFLATE_END_TRAILING = 3,   // stream ended cleanly but bytes followed it
};

// Layout of the payload resource: this header, then one zlib stream.
struct PayloadHeader {
  char packedName[32];    // "__packtmp__.tmp", never read
  uint32_t unpackedSize;  // archive length after inflation
  uint32_t packedSize;    // stream length, never read
};
static_assert(sizeof(PayloadHeader) == 40, "payload header is 40 bytes");

// Inflates source into destination, storing at most capacity bytes, in
// 4096-byte inflate steps. Returns the bytes stored, or -1 when the decoder
// cannot be initialised (nothing written). A step that produces nothing
// zero-fills the rest of the destination. end, when given, receives how the
// stream ended (untouched on -1). A negative capacity stores nothing.
int InflateBuffer(void* destination, int32_t capacity, const void* source, uint32_t sourceLength,
                  InflateEnd* end = nullptr);

#endif
