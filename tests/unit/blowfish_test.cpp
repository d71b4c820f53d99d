#include "archive/blowfish.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

#include "archive/blowfish_tables.inc"

struct Vector {
  uint32_t key;  // the 4-byte key, first byte most significant
  uint32_t plainL, plainR;
  uint32_t cipherL, cipherR;
};

// Published single-block vectors (big-endian halves) whose 8-byte key is one
// 4-byte pattern twice: standard Blowfish cycles the key bytes over P, so
// such a key gives the same schedule as the 4-byte key alone.
const Vector kVectors[] = {
    {0x00000000, 0x00000000, 0x00000000, 0x4EF99745, 0x6198DD78},
    {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0x51866FD5, 0xB85ECB8A},
    {0x11111111, 0x11111111, 0x11111111, 0x2466DD87, 0x8B963C9D},
    {0x11111111, 0x01234567, 0x89ABCDEF, 0x7D0CC630, 0xAFDA1EC7},
    {0x01010101, 0x01234567, 0x89ABCDEF, 0xFA34EC48, 0x47B268B2},
    {0x00000000, 0xFFFFFFFF, 0xFFFFFFFF, 0x014933E0, 0xCDAFF6E4},
    {0xFFFFFFFF, 0x00000000, 0x00000000, 0xF21E9A77, 0xB71C49BC},
};

void SetKey(BlowfishContext* c, uint32_t key) {
  const uint8_t bytes[4] = {uint8_t(key >> 24), uint8_t(key >> 16), uint8_t(key >> 8),
                            uint8_t(key)};
  BlowfishSetKey(c, bytes);
}

// The family's block layout: each half little-endian.
void PutBlock(uint8_t* p, uint32_t left, uint32_t right) {
  for (int i = 0; i < 4; ++i) {
    p[i] = uint8_t(left >> (8 * i));
    p[4 + i] = uint8_t(right >> (8 * i));
  }
}

}  // namespace

TEST(BlowfishTables, AreTheDigitsOfPi) {
  EXPECT_EQ(kInitialP[0], 0x243F6A88u);
  EXPECT_EQ(kInitialP[1], 0x85A308D3u);
  EXPECT_EQ(kInitialP[17], 0x8979FB1Bu);
  EXPECT_EQ(kInitialS[0][0], 0xD1310BA6u);
  EXPECT_EQ(kInitialS[3][255], 0x3AC372E6u);
}

TEST(Blowfish, PublishedVectorsBothWays) {
  BlowfishContext c;
  for (const Vector& v : kVectors) {
    SetKey(&c, v.key);
    uint32_t l = v.plainL, r = v.plainR;
    BlowfishEncipher(&c, &l, &r);
    EXPECT_EQ(l, v.cipherL) << std::hex << v.key << " " << v.plainL;
    EXPECT_EQ(r, v.cipherR) << std::hex << v.key << " " << v.plainL;
    BlowfishDecipher(&c, &l, &r);
    EXPECT_EQ(l, v.plainL);
    EXPECT_EQ(r, v.plainR);
  }
}

// Eric Young's variable-length key set: a 4-byte key whose bytes differ pins
// which key byte is the most significant of the XORed word.
TEST(Blowfish, FourByteKeyBytesGoInFirstMostSignificant) {
  BlowfishContext c;
  const uint8_t key[4] = {0xF0, 0xE1, 0xD2, 0xC3};
  BlowfishSetKey(&c, key);
  uint32_t l = 0xFEDCBA98, r = 0x76543210;
  BlowfishEncipher(&c, &l, &r);
  EXPECT_EQ(l, 0xBE1E6394u);
  EXPECT_EQ(r, 0x08640F05u);
}

TEST(Blowfish, BlockHalvesAreLittleEndian) {
  BlowfishContext c;
  SetKey(&c, 0x00000000);
  // 4EF99745 6198DD78 with each half's bytes reversed.
  const uint8_t stored[8] = {0x45, 0x97, 0xF9, 0x4E, 0x78, 0xDD, 0x98, 0x61};
  uint8_t out[8];
  std::memset(out, 0xAA, sizeof out);
  BlowfishDecipherBlock(&c, stored, out);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 8), std::vector<uint8_t>(8, 0));

  uint8_t block[8];
  SetKey(&c, 0x11111111);
  PutBlock(block, 0x7D0CC630, 0xAFDA1EC7);
  BlowfishDecipherBlock(&c, block, block);  // in place
  uint8_t expected[8];
  PutBlock(expected, 0x01234567, 0x89ABCDEF);
  EXPECT_EQ(0, std::memcmp(block, expected, 8));
}

TEST(Blowfish, BlocksInPlaceLeaveThePartialTailAlone) {
  BlowfishContext c;
  SetKey(&c, 0xFFFFFFFF);
  std::vector<uint8_t> data(8 * 3 + 5);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 37 + 1);
  const std::vector<uint8_t> original = data;

  BlowfishEncipherBlocks(&c, data.data(), data.size());
  for (size_t b = 0; b < 3; ++b) {
    EXPECT_NE(0, std::memcmp(&data[8 * b], &original[8 * b], 8)) << "block " << b;
  }
  EXPECT_EQ(0, std::memcmp(&data[24], &original[24], 5));

  // Each block on its own (no chaining): block 1 deciphers alone.
  uint8_t one[8];
  BlowfishDecipherBlock(&c, &data[8], one);
  EXPECT_EQ(0, std::memcmp(one, &original[8], 8));

  BlowfishDecipherBlocks(&c, data.data(), data.size());
  EXPECT_EQ(data, original);

  // Fewer than 8 bytes: nothing to do.
  BlowfishEncipherBlocks(&c, data.data(), 7);
  EXPECT_EQ(data, original);
}

TEST(Blowfish, RekeyingStartsFromTheInitialTables) {
  BlowfishContext c;
  SetKey(&c, 0x12345678);
  SetKey(&c, 0x00000000);
  uint32_t l = 0, r = 0;
  BlowfishEncipher(&c, &l, &r);
  EXPECT_EQ(l, 0x4EF99745u);
  EXPECT_EQ(r, 0x6198DD78u);
}
