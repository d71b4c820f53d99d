// Inflation of the embedded payload's zlib stream: whole into a caller buffer,
// or streamed in bounded pieces to a sink.
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

// Inflates source into destination, storing at most capacity bytes, in
// 4096-byte inflate steps. Returns the bytes stored, or -1 when the decoder
// cannot be initialised (nothing written). A step that produces nothing
// zero-fills the rest of the destination. end, when given, receives how the
// stream ended (untouched on -1). A negative capacity stores nothing.
int InflateBuffer(void* destination, int32_t capacity, const void* source, uint32_t sourceLength,
                  InflateEnd* end = nullptr);

// Receives the output of InflateStream in order. Take returns 1 to go on, 0 to
// stop the inflation (a failed write).
class InflateSink {
 public:
  virtual ~InflateSink() {}
  virtual int Take(const void* bytes, uint32_t count) = 0;
};

enum InflateResult {
  INFLATE_DONE = 0,       // exactly `expected` bytes handed over, stream ended, Adler-32 good
  INFLATE_NO_MEMORY = 1,  // zlib could not allocate its state or window
  INFLATE_DAMAGED = 2,    // bad data or checksum, cut short, or not `expected` bytes long
  INFLATE_STOPPED = 3,    // the sink refused a piece
};

// Supplies the stream to InflateStream piece by piece, so that it need not be
// in memory whole.
class InflateSource {
 public:
  virtual ~InflateSource() {}
  // Points *data at the next piece and returns its length; 0 when the input
  // has ended or cannot be read (the stream then counts as cut short).
  virtual uint32_t Next(const void** data) = 0;
};

// Inflates the stream that source supplies, as the overload below does.
InflateResult InflateStream(InflateSource* source, uint32_t expected, void* buffer,
                            uint32_t bufferSize, InflateSink* sink);

// Inflates the zlib stream at source through the caller's buffer of
// bufferSize bytes into sink (no buffer, or a size of 0: INFLATE_NO_MEMORY): every piece but the
// last is exactly bufferSize bytes, the last is at most that, and none is empty. Nothing beyond
// `expected` bytes is ever handed over: a longer stream is DAMAGED as soon as it passes that count.
// The last piece goes only after the stream's end and its Adler-32 have been checked, so a sink
// that keeps everything it is given holds the whole archive exactly when the result is
// INFLATE_DONE. Bytes after the end of the stream are padding and ignored.
InflateResult InflateStream(const void* source, uint32_t sourceLength, uint32_t expected,
                            void* buffer, uint32_t bufferSize, InflateSink* sink);

#endif
