#include "tools/lib/parallel_deflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>

#include "support/inflate.h"

namespace {

// Text-like bytes with repeats a few KiB back, so that matches cross blocks.
std::string Sample(size_t size) {
  std::string s;
  uint32_t x = 11;
  while (s.size() < size) {
    x = x * 1664525u + 1013904223u;
    if (s.size() > 5000 && (x >> 28) < 6) {
      s.append(s, s.size() - 4000 - (x >> 20 & 0xFF), 40);
    } else {
      s += static_cast<char>('a' + (x >> 24) % 20);
    }
  }
  s.resize(size);
  return s;
}

std::string Deflate(const std::string& in, unsigned threads, size_t blockSize) {
  std::string out = "kept", error;
  EXPECT_TRUE(DeflateParallelBlocks(in.data(), in.size(), threads, blockSize, &out, &error))
      << error;
  EXPECT_EQ(out.compare(0, 4, "kept"), 0);  // appended, not replaced
  return out.substr(4);
}

}  // namespace

TEST(DeflateParallel, OneStreamThatBothInflatersRead) {
  const size_t block = QX_DEFLATE_BLOCK_SIZE;
  struct Case {
    size_t size;
    size_t blockSize;
  } cases[] = {
      {0, block},       {1, block}, {block, block}, {block + 1, block}, {5000, 4096},
      {3 * 4096, 4096}, {600, 1},   {300000, 4096}, {70000, 33000},  // dictionaries reaching back
                                                                     // over a short block
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.size << " bytes, blocks of " << c.blockSize);
    const std::string in = Sample(c.size);
    const std::string stream = Deflate(in, 1, c.blockSize);
    ASSERT_GE(stream.size(), 6u);
    EXPECT_EQ(static_cast<unsigned char>(stream[0]), 0x78);
    EXPECT_EQ(static_cast<unsigned char>(stream[1]), 0xDA);
    for (unsigned threads : {2u, 4u, 0u}) EXPECT_EQ(Deflate(in, threads, c.blockSize), stream);

    std::string viaZlib(in.size() + 1, '\0');
    uLongf length = viaZlib.size();
    ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(&viaZlib[0]), &length,
                         reinterpret_cast<const Bytef*>(stream.data()), stream.size()),
              Z_OK);
    viaZlib.resize(length);
    EXPECT_TRUE(viaZlib == in);

    std::string ours(in.size(), '\x5A');
    InflateEnd end = INFLATE_END_DAMAGED;
    EXPECT_EQ(
        InflateBuffer(&ours[0], int32_t(ours.size()), stream.data(), uint32_t(stream.size()), &end),
        int(in.size()));
    EXPECT_EQ(end, INFLATE_END_CLEAN);
    EXPECT_TRUE(ours == in);
  }
}

TEST(DeflateParallel, OneBlockIsZlibsOwnStream) {
  const std::string in = Sample(200000);
  std::string zlib(compressBound(in.size()), '\0');
  uLongf length = zlib.size();
  ASSERT_EQ(compress2(reinterpret_cast<Bytef*>(&zlib[0]), &length,
                      reinterpret_cast<const Bytef*>(in.data()), in.size(), 9),
            Z_OK);
  zlib.resize(length);
  EXPECT_TRUE(Deflate(in, 2, QX_DEFLATE_BLOCK_SIZE) == zlib);
}

TEST(DeflateParallel, BlocksReachBackIntoTheBlockBefore) {
  // 16 KiB of noise, then the same 16 KiB again in every later block: primed
  // blocks store each repeat as a few matches, unprimed ones as literals.
  std::string noise;
  uint32_t x = 5;
  for (int i = 0; i < 16384; ++i) noise += static_cast<char>((x = x * 69069u + 1) >> 24);
  std::string in;
  for (int i = 0; i < 8; ++i) in += noise;
  EXPECT_LT(Deflate(in, 2, 16384).size(), noise.size() + 2000);
}

// A source that ends early or a sink that refuses stops the stream with its
// reason, whatever the threads (which are all joined: the test ends).
TEST(DeflateParallel, StreamStopsAtAFailingSourceOrSink) {
  class Short : public ByteSource {
   public:
    explicit Short(size_t left) : left_(left) {}
    bool Read(void* to, size_t n, std::string* error) override {
      if (n > left_) *error = "source ended";
      if (n > left_) return false;
      std::memset(to, 'q', n);
      left_ -= n;
      return true;
    }

   private:
    size_t left_;
  };
  class Full : public ByteSink {
   public:
    bool Write(const void*, size_t n, std::string* error) override {
      if ((taken_ += n) > 3000) *error = "sink full";
      return taken_ <= 3000;
    }
    bool Fill(uint64_t, const void*, size_t, std::string*) override { return true; }

   private:
    size_t taken_ = 0;
  };
  for (unsigned threads : {1u, 4u}) {
    SCOPED_TRACE(threads);
    std::string out, error;
    Short shortSource(5 * 4096 + 7);
    StringSink sink(&out);
    EXPECT_FALSE(DeflateStreamBlocks(&shortSource, 20 * 4096, threads, 4096, &sink, &error));
    EXPECT_EQ(error, "source ended");
    const std::string noise = Sample(20 * 4096);
    MemorySource whole(noise.data(), noise.size());
    Full full;
    EXPECT_FALSE(DeflateStreamBlocks(&whole, noise.size(), threads, 4096, &full, &error));
    EXPECT_EQ(error, "sink full");
  }
}
