#include "support/inflate.h"

#include <zlib.h>

#include <cstring>

namespace {

enum { kStep = 4096 };

InflateEnd ClassifyEnd(int lastCode, const z_stream& stream) {
  if (lastCode == Z_STREAM_END) {
    return stream.avail_in == 0 ? INFLATE_END_CLEAN : INFLATE_END_TRAILING;
  }
  if (lastCode == Z_DATA_ERROR || lastCode == Z_NEED_DICT || lastCode == Z_MEM_ERROR ||
      lastCode == Z_STREAM_ERROR) {
    return INFLATE_END_DAMAGED;
  }
  return INFLATE_END_TRUNCATED;  // input used up mid-stream, or none given
}

// Runs the 4096-byte steps; returns the last inflate code.
int InflateSteps(z_stream* stream, unsigned char* out, int32_t capacity, int32_t* total) {
  unsigned char scratch[kStep];
  int code = Z_OK;
  for (;;) {
    stream->next_out = scratch;
    stream->avail_out = kStep;
    code = inflate(stream, Z_NO_FLUSH);
    const int32_t produced = kStep - static_cast<int32_t>(stream->avail_out);
    if (produced == 0) {
      // Decoding has stopped for good: clear what was not delivered.
      if (*total < capacity) std::memset(out + *total, 0, capacity - *total);
      return code;
    }
    // 64-bit sum: total + produced may not fit near the signed limit.
    int64_t fits = static_cast<int64_t>(capacity) - *total;
    const int32_t copy = produced > fits ? static_cast<int32_t>(fits) : produced;
    if (copy > 0) {
      std::memcpy(out + *total, scratch, copy);
      *total += copy;
    }
    if (stream->avail_in == 0) return code;
  }
}

}  // namespace

int InflateBuffer(void* destination, int32_t capacity, const void* source, uint32_t sourceLength,
                  InflateEnd* end) {
  z_stream stream;
  std::memset(&stream, 0, sizeof stream);  // default allocator, no input yet
  int32_t total = 0;
  if (inflateInit(&stream) != Z_OK) return -1;
  // A negative capacity stores nothing rather than turning into a huge count.
  if (capacity < 0) capacity = 0;
  stream.next_in = static_cast<Bytef*>(const_cast<void*>(source));
  stream.avail_in = sourceLength;
  int code = Z_BUF_ERROR;
  if (sourceLength != 0) {
    code = InflateSteps(&stream, static_cast<unsigned char*>(destination), capacity, &total);
  }
  if (end) *end = ClassifyEnd(code, stream);
  inflateEnd(&stream);
  return total;
}
