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

// A loaded image of two sections (the second holding the resource at RVA
// 0x2010, file offset 0x1210) is read from its file where the bytes lie whole
// in one section's file data.
TEST(FindInImageFile, MapsAddressesToFileOffsets) {
  std::string image(0x3000, '\0');
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) image[at + i] = static_cast<char>(v >> (8 * i));
  };
  image[0] = 'M';
  image[1] = 'Z';
  put32(0x3C, 0x40);
  std::memcpy(&image[0x40], "PE\0\0", 4);
  image[0x46] = 2;     // sections
  image[0x54] = 0x10;  // optional header of 16 bytes
  const size_t table = 0x40 + 24 + 0x10;
  put32(table + 12, 0x1000);  // .text: RVA 0x1000, 0x200 bytes at 0x400
  put32(table + 16, 0x200);
  put32(table + 20, 0x400);
  put32(table + 40 + 12, 0x2000);  // .rsrc: RVA 0x2000, 0x800 bytes at 0x1200
  put32(table + 40 + 16, 0x800);
  put32(table + 40 + 20, 0x1200);
  const char* base = image.data();
  uint32_t offset = 0;
  ASSERT_EQ(FindInImageFile(base, base + 0x2010, 0x7F0, &offset), 1);
  EXPECT_EQ(offset, 0x1210u);
  EXPECT_EQ(FindInImageFile(base, base + 0x2010, 0x7F1, &offset), 0);   // past the file data
  EXPECT_EQ(FindInImageFile(base, base + 0x1800, 16, &offset), 0);      // between sections
  EXPECT_EQ(FindInImageFile(base + 1, base + 0x2010, 16, &offset), 0);  // no image there
}
