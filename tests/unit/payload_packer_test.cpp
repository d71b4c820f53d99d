#include "tools/lib/payload_packer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/inflate.h"
#include "support/payload.h"

namespace {

std::string FakeArchive(size_t dataBytes) {
  std::string a("QRB\0\0\0\0\0", 8);
  uint32_t x = 7;
  for (size_t i = 0; i < dataBytes; ++i) {
    x = x * 1664525u + 1013904223u;
    a += static_cast<char>(x >> 24 & 0x3F);
  }
  return a;
}

// Unpacks as the updater does: header check, then inflate the rest.
std::string Unpack(const std::string& payload, InflateEnd* end) {
  PayloadHeader h;
  EXPECT_EQ(CheckPayload(payload.data(), payload.size(), &h), 1);
  std::string out(h.unpackedSize, '\x5A');
  const int n =
      InflateBuffer(&out[0], h.unpackedSize, payload.data() + 40, payload.size() - 40, end);
  EXPECT_EQ(n, static_cast<int>(h.unpackedSize));
  return out;
}

}  // namespace

TEST(PackPayload, HeaderAndStreamLayout) {
  const std::string archive = FakeArchive(100000);
  std::string payload, error;
  ASSERT_TRUE(PackPayload(archive, &payload, &error)) << error;
  ASSERT_GT(payload.size(), 42u);
  EXPECT_EQ(std::string(payload.data(), 32),
            std::string("__packtmp__.tmp", 15) + std::string(17, '\0'));
  const unsigned char* h = reinterpret_cast<const unsigned char*>(payload.data());
  EXPECT_EQ(h[32] | h[33] << 8 | h[34] << 16 | h[35] << 24, 100008);
  const uint32_t packed = h[36] | h[37] << 8 | h[38] << 16 | static_cast<uint32_t>(h[39]) << 24;
  EXPECT_EQ(packed, payload.size() - 40);  // nothing follows the stream
  EXPECT_EQ(h[40], 0x78);
  EXPECT_EQ(h[41], 0xDA);
  InflateEnd end = INFLATE_END_DAMAGED;
  EXPECT_EQ(Unpack(payload, &end), archive);
  EXPECT_EQ(end, INFLATE_END_CLEAN);
}

TEST(PackPayload, SameArchiveSamePayload) {
  const std::string archive = FakeArchive(5000);
  std::string a, b, error;
  ASSERT_TRUE(PackPayload(archive, &a, &error));
  ASSERT_TRUE(PackPayload(archive, &b, &error));
  EXPECT_EQ(a, b);
  const std::string empty = FakeArchive(0);  // an archive of no entries
  ASSERT_TRUE(PackPayload(empty, &a, &error));
  InflateEnd end = INFLATE_END_DAMAGED;
  EXPECT_EQ(Unpack(a, &end), empty);
  EXPECT_EQ(end, INFLATE_END_CLEAN);
}

TEST(PackPayload, RefusesWhatIsNoArchive) {
  std::string payload = "kept", error;
  for (const std::string& bad :
       {std::string(), std::string("QRB\0", 4), std::string("QRBX\0\0\0\0", 8),
        std::string("\x1F\x8B\x08\0\0\0\0\0", 8)}) {
    error.clear();
    EXPECT_FALSE(PackPayload(bad, &payload, &error));
    EXPECT_NE(error, "");
    EXPECT_EQ(error.find('\n'), std::string::npos);
  }
  EXPECT_EQ(payload, "kept");
}
