#include "support/inflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

const unsigned char kSentinel = 0xA5;

// Compressible but not trivial, so every size spans several inflate steps.
std::string SampleData(size_t n) {
  std::string s(n, '\0');
  uint32_t x = 12345;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    s[i] = static_cast<char>('a' + (x >> 16) % 7);
  }
  return s;
}

std::string Deflate(const std::string& data, int windowBits = 15, const std::string& dict = "") {
  z_stream z;
  std::memset(&z, 0, sizeof z);
  EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY), Z_OK);
  if (!dict.empty()) {
    deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(dict.data()), dict.size());
  }
  std::string out(deflateBound(&z, data.size()) + 32, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = data.size();
  z.next_out = reinterpret_cast<Bytef*>(&out[0]);
  z.avail_out = out.size();
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// Destination of `capacity` bytes inside a larger sentinel-filled buffer, so
// that writes past the capacity are seen.
struct Target {
  explicit Target(int32_t capacity) : capacity(capacity), bytes(capacity + 64, kSentinel) {}
  int Inflate(const std::string& stream, InflateEnd* end) {
    return InflateBuffer(bytes.data(), capacity, stream.data(), stream.size(), end);
  }
  std::string Stored(size_t n) const { return std::string(bytes.begin(), bytes.begin() + n); }
  bool AllEqual(size_t from, size_t to, unsigned char value) const {
    for (size_t i = from; i < to; ++i) {
      if (bytes[i] != value) return false;
    }
    return true;
  }
  int32_t capacity;
  std::vector<unsigned char> bytes;
};

// A zlib stream of one non-final stored block of n bytes of data, followed by
// `after` (for example a block of the reserved type).
std::string StoredBlockStream(const std::string& data, const std::string& after) {
  std::string s("\x78\x01", 2);
  const uint16_t n = data.size();
  s += '\0';  // BFINAL 0, BTYPE 00, then aligned
  s += static_cast<char>(n & 0xFF);
  s += static_cast<char>(n >> 8);
  s += static_cast<char>(~n & 0xFF);
  s += static_cast<char>((~n >> 8) & 0xFF);
  return s + data + after;
}

}  // namespace

TEST(InflateBuffer, EmptySourceWritesNothing) {
  Target t(100);
  InflateEnd end = INFLATE_END_CLEAN;
  EXPECT_EQ(InflateBuffer(t.bytes.data(), t.capacity, "x", 0, &end), 0);
  EXPECT_TRUE(t.AllEqual(0, t.bytes.size(), kSentinel));
  EXPECT_EQ(end, INFLATE_END_TRUNCATED);
}

TEST(InflateBuffer, StreamShorterThanCapacityLeavesTail) {
  const std::string data = SampleData(10000);
  Target t(12000);
  InflateEnd end = INFLATE_END_DAMAGED;
  EXPECT_EQ(t.Inflate(Deflate(data), &end), 10000);
  EXPECT_EQ(t.Stored(10000), data);
  EXPECT_TRUE(t.AllEqual(10000, t.bytes.size(), kSentinel));
  EXPECT_EQ(end, INFLATE_END_CLEAN);
  // The end report is optional.
  Target u(12000);
  EXPECT_EQ(u.Inflate(Deflate(data), nullptr), 10000);
}

TEST(InflateBuffer, TrailingBytesZeroFillTheRest) {
  const std::string data = SampleData(10000);
  Target t(12000);
  InflateEnd end = INFLATE_END_CLEAN;
  EXPECT_EQ(t.Inflate(Deflate(data) + "junk", &end), 10000);
  EXPECT_EQ(t.Stored(10000), data);
  EXPECT_TRUE(t.AllEqual(10000, 12000, 0));
  EXPECT_TRUE(t.AllEqual(12000, t.bytes.size(), kSentinel));
  EXPECT_EQ(end, INFLATE_END_TRAILING);
}

TEST(InflateBuffer, OutputBeyondCapacityIsDroppedButDecoded) {
  const std::string data = SampleData(20000);
  std::string stream = Deflate(data);
  Target t(5000);
  InflateEnd end = INFLATE_END_DAMAGED;
  EXPECT_EQ(t.Inflate(stream, &end), 5000);
  EXPECT_EQ(t.Stored(5000), data.substr(0, 5000));
  EXPECT_TRUE(t.AllEqual(5000, t.bytes.size(), kSentinel));
  EXPECT_EQ(end, INFLATE_END_CLEAN);  // the trailer was reached and checked
  // Proof that decoding went on to the end: a bad trailer is still seen.
  stream[stream.size() - 1] ^= 1;
  Target u(5000);
  EXPECT_EQ(u.Inflate(stream, &end), 5000);
  EXPECT_EQ(end, INFLATE_END_DAMAGED);
}

TEST(InflateBuffer, ZeroAndNegativeCapacityStoreNothing) {
  const std::string stream = Deflate(SampleData(9000));
  for (int32_t capacity : {0, -1, -5000}) {
    std::vector<unsigned char> bytes(64, kSentinel);
    InflateEnd end = INFLATE_END_DAMAGED;
    EXPECT_EQ(InflateBuffer(bytes.data(), capacity, stream.data(), stream.size(), &end), 0);
    EXPECT_EQ(std::vector<unsigned char>(64, kSentinel), bytes) << capacity;
    EXPECT_EQ(end, INFLATE_END_CLEAN) << capacity;
  }
  EXPECT_EQ(InflateBuffer(nullptr, 0, stream.data(), stream.size()), 0);
}

TEST(InflateBuffer, ExactCapacity) {
  const std::string data = SampleData(8192);  // two full steps
  Target t(8192);
  InflateEnd end = INFLATE_END_DAMAGED;
  EXPECT_EQ(t.Inflate(Deflate(data), &end), 8192);
  EXPECT_EQ(t.Stored(8192), data);
  EXPECT_TRUE(t.AllEqual(8192, t.bytes.size(), kSentinel));
  EXPECT_EQ(end, INFLATE_END_CLEAN);
}

TEST(InflateBuffer, RefusedHeadersZeroFillEverything) {
  const std::string data = SampleData(3000);
  const std::string gzip = Deflate(data, 31);
  ASSERT_EQ(static_cast<unsigned char>(gzip[0]), 0x1F);
  const std::string withDictionary = Deflate(data, 15, "abcdefg");
  const std::string raw = Deflate(data, -15);
  for (const std::string* stream : {&gzip, &withDictionary, &raw}) {
    Target t(4000);
    InflateEnd end = INFLATE_END_CLEAN;
    EXPECT_EQ(t.Inflate(*stream, &end), 0);
    EXPECT_TRUE(t.AllEqual(0, 4000, 0));
    EXPECT_TRUE(t.AllEqual(4000, t.bytes.size(), kSentinel));
    EXPECT_EQ(end, INFLATE_END_DAMAGED);
  }
}

TEST(InflateBuffer, DamageAfterOutputKeepsWhatCameBefore) {
  const std::string data = SampleData(5000);  // more than one step
  // Reserved block type 11, then input left over.
  Target t(8000);
  InflateEnd end = INFLATE_END_CLEAN;
  EXPECT_EQ(t.Inflate(StoredBlockStream(data, "\x07more input"), &end), 5000);
  EXPECT_EQ(t.Stored(5000), data);
  EXPECT_TRUE(t.AllEqual(5000, 8000, 0));
  EXPECT_TRUE(t.AllEqual(8000, t.bytes.size(), kSentinel));
  EXPECT_EQ(end, INFLATE_END_DAMAGED);
  // A stored block whose length check fails, as the second block.
  Target u(8000);
  const std::string badLengths("\x01\x04\x00\x04\x00xxxx", 9);
  EXPECT_EQ(u.Inflate(StoredBlockStream(data, badLengths), &end), 5000);
  EXPECT_TRUE(u.AllEqual(5000, 8000, 0));
  EXPECT_EQ(end, INFLATE_END_DAMAGED);
}

TEST(InflateBuffer, DamageAsLastByteLeavesTail) {
  // The faulty byte is the last input: the loop ends on empty input, no fill.
  const std::string data = SampleData(1000);
  Target t(2000);
  InflateEnd end = INFLATE_END_CLEAN;
  EXPECT_EQ(t.Inflate(StoredBlockStream(data, "\x07"), &end), 1000);
  EXPECT_EQ(t.Stored(1000), data);
  EXPECT_TRUE(t.AllEqual(1000, t.bytes.size(), kSentinel));
  EXPECT_EQ(end, INFLATE_END_DAMAGED);
}

TEST(InflateBuffer, WrongAdlerGivesFullOutput) {
  const std::string data = SampleData(10000);
  std::string stream = Deflate(data);
  stream[stream.size() - 2] ^= 0x40;
  Target t(12000);
  InflateEnd end = INFLATE_END_CLEAN;
  EXPECT_EQ(t.Inflate(stream, &end), 10000);
  EXPECT_EQ(t.Stored(10000), data);
  EXPECT_TRUE(t.AllEqual(10000, t.bytes.size(), kSentinel));
  EXPECT_EQ(end, INFLATE_END_DAMAGED);
}

TEST(InflateBuffer, TruncatedStream) {
  const std::string data = SampleData(30000);
  const std::string stream = Deflate(data);
  // Cut inside the trailer: all data is out, the check is missing.
  Target t(40000);
  InflateEnd end = INFLATE_END_CLEAN;
  EXPECT_EQ(t.Inflate(stream.substr(0, stream.size() - 2), &end), 30000);
  EXPECT_EQ(t.Stored(30000), data);
  EXPECT_TRUE(t.AllEqual(30000, t.bytes.size(), kSentinel));
  EXPECT_EQ(end, INFLATE_END_TRUNCATED);
  // Cut in the middle: a prefix of the data, the rest left as it was.
  Target u(40000);
  const int got = u.Inflate(stream.substr(0, stream.size() / 2), &end);
  EXPECT_GT(got, 0);
  EXPECT_LT(got, 30000);
  EXPECT_EQ(u.Stored(got), data.substr(0, got));
  EXPECT_TRUE(u.AllEqual(got, u.bytes.size(), kSentinel));
  EXPECT_EQ(end, INFLATE_END_TRUNCATED);
  // Only the header: the one step produces nothing.
  Target v(100);
  EXPECT_EQ(v.Inflate(stream.substr(0, 2), &end), 0);
  EXPECT_TRUE(v.AllEqual(0, 100, 0));
  EXPECT_EQ(end, INFLATE_END_TRUNCATED);
}

// Found by fuzzing: a stream cut short where the input runs out just as the
// first 4096-byte step fills. zlib still holds the rest of what the input
// gives (105 bytes), which no later step asks for: the result is one whole
// step and the end is reported cut short, which the unpack step refuses.
TEST(InflateBuffer, InputEndingAsAStepFillsIsCutShort) {
  const std::string stream(
      "\x78\xda\x0b\x20\x07\xa4\x00\xa9\xd4\xcc\xf4\x8c\x12\xbd\xa4\x06"
      "\xf2\xc0\x1a\x6a\x6a\xdd\xb9\x9b\x78\x78\x78\x78\x78\x78\x78\x78"
      "\x78\x78\x78\x78\x78\x78\x78\x78\x78\x78\x78\x78\x78\x78\x78\x78"
      "\x78\x78\x78\x78\x78\x78\x78\x78\x78\x78\x78\x78\x78\x78\x78\x78"
      "\x78\x78\x78\x78\x78\x78\x78\x78\x78\x78\x78\x78\x78\x78\x78\x78"
      "\x78\x78\x78\x78\x78\x78\x78",
      87);
  std::string all(1 << 16, '\0');
  uLongf produced = all.size();
  uLong used = stream.size();
  uncompress2(reinterpret_cast<Bytef*>(&all[0]), &produced,
              reinterpret_cast<const Bytef*>(stream.data()), &used);
  ASSERT_EQ(produced, 4201u);
  Target t(9279);
  InflateEnd end = INFLATE_END_CLEAN;
  EXPECT_EQ(t.Inflate(stream, &end), 4096);
  EXPECT_EQ(end, INFLATE_END_TRUNCATED);
  EXPECT_EQ(t.Stored(4096), all.substr(0, 4096));
  EXPECT_TRUE(t.AllEqual(4096, 9279, kSentinel));
}

namespace {

// Keeps every piece it is given; refuses the piece numbered refuseAt (from 1).
struct RecordingSink : InflateSink {
  int Take(const void* bytes, uint32_t count) override {
    sizes.push_back(count);
    if (static_cast<int>(sizes.size()) == refuseAt) return 0;
    kept.append(static_cast<const char*>(bytes), count);
    return 1;
  }
  std::string kept;
  std::vector<uint32_t> sizes;
  int refuseAt = 0;
};

// Hands out a stream a few bytes at a time.
struct PieceSource : InflateSource {
  PieceSource(const std::string& stream, size_t piece) : stream(stream), piece(piece) {}
  uint32_t Next(const void** data) override {
    const size_t n = std::min(piece, stream.size() - at);
    *data = stream.data() + at;
    at += n;
    return static_cast<uint32_t>(n);
  }
  const std::string& stream;
  size_t piece, at = 0;
};

}  // namespace

// The unpack step's whole contract: exact size, a clean end, the checksum,
// never a byte past the expected size, and pieces of the buffer's size.
TEST(InflateStream, DeliversExactlyTheCheckedArchive) {
  const std::string data = SampleData(300000);
  const std::string good = Deflate(data);
  std::string flipped = good;
  flipped[flipped.size() / 2] ^= 0x10;
  std::string badAdler = good;
  badAdler[badAdler.size() - 1] ^= 0x01;
  const uint32_t n = data.size();
  struct Case {
    const char* what;
    std::string stream;
    uint32_t expected;
    uint32_t buffer;
    int refuseAt;
    InflateResult result;
  } cases[] = {
      {"good, pieces of 64 KiB", good, n, 65536, 0, INFLATE_DONE},
      {"good, a buffer larger than the archive", good, n, 1 << 20, 0, INFLATE_DONE},
      {"good, the archive a whole number of pieces", good, n, n / 4, 0, INFLATE_DONE},
      {"padding after the stream", good + std::string(16, '\0'), n, 65536, 0, INFLATE_DONE},
      {"cut in the middle", good.substr(0, good.size() / 2), n, 65536, 0, INFLATE_DAMAGED},
      {"cut inside the trailer", good.substr(0, good.size() - 2), n, 65536, 0, INFLATE_DAMAGED},
      {"flipped byte", flipped, n, 65536, 0, INFLATE_DAMAGED},
      {"wrong Adler-32", badAdler, n, 65536, 0, INFLATE_DAMAGED},
      {"stream longer than the header says", good, n - 1, 65536, 0, INFLATE_DAMAGED},
      {"stream far longer than the header says", good, 100000, 65536, 0, INFLATE_DAMAGED},
      {"stream shorter than the header says", good, n + 1, 65536, 0, INFLATE_DAMAGED},
      {"gzip wrapper", Deflate(data, 31), n, 65536, 0, INFLATE_DAMAGED},
      {"empty input", "", n, 65536, 0, INFLATE_DAMAGED},
      {"the sink refuses the second piece", good, n, 65536, 2, INFLATE_STOPPED},
      {"the sink refuses the last piece", good, n, 65536, 5, INFLATE_STOPPED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<char> buffer(c.buffer);
    RecordingSink sink;
    sink.refuseAt = c.refuseAt;
    EXPECT_EQ(
        InflateStream(c.stream.data(), c.stream.size(), c.expected, buffer.data(), c.buffer, &sink),
        c.result);
    // Whatever the outcome: no more than expected (a prefix of the data but
    // where a byte was flipped), every piece but the last full, none empty.
    EXPECT_LE(sink.kept.size(), c.expected);
    if (c.stream != flipped) {
      EXPECT_TRUE(sink.kept == data.substr(0, sink.kept.size()));
    }
    for (size_t i = 0; i < sink.sizes.size(); ++i) {
      EXPECT_GT(sink.sizes[i], 0u);
      if (i + 1 < sink.sizes.size()) {
        EXPECT_EQ(sink.sizes[i], c.buffer);
      }
    }
    if (c.result == INFLATE_DONE) {
      EXPECT_TRUE(sink.kept == data);
    } else {
      EXPECT_LT(sink.kept.size(), data.size());  // damage found at the end keeps the last piece
    }
    // The same stream read in pieces of 7 bytes (a file read as it goes).
    PieceSource pieces(c.stream, 7);
    RecordingSink again;
    again.refuseAt = c.refuseAt;
    EXPECT_EQ(InflateStream(&pieces, c.expected, buffer.data(), c.buffer, &again), c.result);
    EXPECT_TRUE(again.kept == sink.kept);
  }
  RecordingSink sink;
  EXPECT_EQ(InflateStream(good.data(), good.size(), n, nullptr, 65536, &sink), INFLATE_NO_MEMORY);
  EXPECT_TRUE(sink.sizes.empty());
}
