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

namespace {

// The whole stream as one piece.
class MemorySource : public InflateSource {
 public:
  MemorySource(const void* data, uint32_t length) : data(data), length(length) {}
  uint32_t Next(const void** piece) override {
    *piece = data;
    const uint32_t n = length;
    length = 0;
    return n;
  }

 private:
  const void* data;
  uint32_t length;
};

}  // namespace

InflateResult InflateStream(const void* source, uint32_t sourceLength, uint32_t expected,
                            void* buffer, uint32_t bufferSize, InflateSink* sink) {
  MemorySource memory(source, sourceLength);
  return InflateStream(&memory, expected, buffer, bufferSize, sink);
}

InflateResult InflateStream(InflateSource* source, uint32_t expected, void* buffer,
                            uint32_t bufferSize, InflateSink* sink) {
  if (!buffer || bufferSize == 0) return INFLATE_NO_MEMORY;
  z_stream stream;
  std::memset(&stream, 0, sizeof stream);
  if (inflateInit(&stream) != Z_OK) return INFLATE_NO_MEMORY;
  unsigned char* out = static_cast<unsigned char*>(buffer);
  uint32_t filled = 0;  // bytes in buffer not yet handed over
  uint64_t total = 0;   // bytes inflated so far
  InflateResult result = INFLATE_DAMAGED;
  for (;;) {
    if (stream.avail_in == 0) {
      const void* piece = nullptr;
      stream.avail_in = source->Next(&piece);
      stream.next_in = static_cast<Bytef*>(const_cast<void*>(piece));
    }
    // A full buffer has been handed over, so there is always room here and
    // Z_BUF_ERROR can only mean that the input ran out mid-stream.
    stream.next_out = out + filled;
    stream.avail_out = bufferSize - filled;
    const int code = inflate(&stream, Z_NO_FLUSH);
    const uint32_t produced = bufferSize - filled - stream.avail_out;
    filled += produced;
    total += produced;
    if (total > expected) break;
    if (code == Z_STREAM_END) {
      if (total == expected)
        result = filled == 0 || sink->Take(out, filled) ? INFLATE_DONE : INFLATE_STOPPED;
      break;
    }
    // Input is fetched whenever it is used up, so Z_BUF_ERROR means it ended.
    if (code != Z_OK) {
      if (code == Z_MEM_ERROR) result = INFLATE_NO_MEMORY;
      break;
    }
    if (filled == bufferSize) {
      if (!sink->Take(out, filled)) {
        result = INFLATE_STOPPED;
        break;
      }
      filled = 0;
    }
  }
  inflateEnd(&stream);
  return result;
}
