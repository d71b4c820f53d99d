#include "support/payload.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string Header(uint32_t unpacked, uint32_t packed) {
  std::string h("__packtmp__.tmp");
  h.resize(32, '\0');
  for (uint32_t v : {unpacked, packed}) {
    for (int i = 0; i < 4; ++i) h += static_cast<char>(v >> (8 * i) & 0xFF);
  }
  return h;
}

}  // namespace

TEST(CheckPayload, DecodesLittleEndianHeader) {
  const std::string resource = Header(0x01020304, 0xA0B0C0D0) + "stream";
  PayloadHeader h;
  ASSERT_EQ(CheckPayload(resource.data(), resource.size(), &h), 1);
  EXPECT_EQ(h.unpackedSize, 0x01020304u);
  EXPECT_EQ(h.packedSize, 0xA0B0C0D0u);  // not checked against the size
  EXPECT_EQ(std::memcmp(h.packedName, resource.data(), 32), 0);
  EXPECT_EQ(CheckPayload(resource.data(), 40, &h), 1);  // header alone
}

TEST(CheckPayload, RefusesShortOrOversizedHeaders) {
  PayloadHeader h;
  std::memset(&h, 0x5A, sizeof h);
  const std::string ok = Header(10, 0);
  EXPECT_EQ(CheckPayload(ok.data(), 39, &h), 0);
  EXPECT_EQ(CheckPayload(ok.data(), 0, &h), 0);
  EXPECT_EQ(CheckPayload(nullptr, 40, &h), 0);
  EXPECT_EQ(CheckPayload(ok.data(), 40, nullptr), 0);
  const std::string big = Header(0x80000000u, 4);
  EXPECT_EQ(CheckPayload(big.data(), big.size(), &h), 0);
  const std::string huge = Header(0xFFFFFFFFu, 4);
  EXPECT_EQ(CheckPayload(huge.data(), huge.size(), &h), 0);
  EXPECT_EQ(static_cast<unsigned char>(h.packedName[0]), 0x5A);  // untouched
  const std::string largest = Header(0x7FFFFFFFu, 4);
  EXPECT_EQ(CheckPayload(largest.data(), largest.size(), &h), 1);
  EXPECT_EQ(h.unpackedSize, 0x7FFFFFFFu);
}
