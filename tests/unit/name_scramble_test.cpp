#include "archive/name_scramble.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "archive/mt19937.h"

namespace {

struct Alphabets {
  char forward[52];
  char reversed[52];
  Alphabets() { InitNameAlphabets(forward, reversed); }
};

std::string Descrambled(std::string name, uint32_t seed) {
  Alphabets a;
  DescrambleName(&name[0], seed, a.forward, a.reversed);
  return name;
}

std::string Scrambled(std::string name, uint32_t seed) {
  Alphabets a;
  ScrambleName(&name[0], seed, a.forward, a.reversed);
  return name;
}

// The shift of a name, computed apart from the module: byte sum of the first
// draw after seeding.
uint32_t ShiftFor(uint32_t seed) {
  MtSeed(seed);
  uint32_t c = MtDraw();
  return ((c & 0xFF) + ((c >> 8) & 0xFF) + ((c >> 16) & 0xFF) + (c >> 24)) & 0xFF;
}

}  // namespace

TEST(NameAlphabets, ForwardAndReversed) {
  Alphabets a;
  EXPECT_EQ(std::string(a.forward, 52), "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  EXPECT_EQ(std::string(a.reversed, 52), "zyxwvutsrqponmlkjihgfedcbaZYXWVUTSRQPONMLKJIHGFEDCBA");
}

TEST(NameScramble, DescrambleFollowsTheShiftFormula) {
  // The letter at forward place m, at name place k, becomes forward place
  // (51 - m - s - k) mod 52.
  const uint32_t seed = ARCHIVE_NAME_SEED_BASE + 7;
  const uint32_t s = ShiftFor(seed);
  Alphabets a;
  const std::string stored = "AAzzQq";
  const std::string plain = Descrambled(stored, seed);
  ASSERT_EQ(plain.size(), stored.size());
  for (uint32_t k = 0; k < stored.size(); ++k) {
    uint32_t m = uint32_t(std::string(a.forward, 52).find(stored[k]));
    const int64_t j = ((51 - int64_t(m) - s - k) % 52 + 52) % 52;
    EXPECT_EQ(plain[k], a.forward[j]) << "place " << k;
  }
}

TEST(NameScramble, RoundTripsForManySeeds) {
  const std::string names[] = {"DATA\\BGM\\TITLE.OGG", "script\\Scene_01.txt", "a", "",
                               "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_"};
  for (uint32_t i = 0; i < 100; ++i) {
    const uint32_t seed = ARCHIVE_NAME_SEED_BASE + i;
    for (const std::string& name : names) {
      EXPECT_EQ(Descrambled(Scrambled(name, seed), seed), name) << seed;
    }
  }
}

TEST(NameScramble, NonLettersKeepTheirPlaces) {
  const std::string name = "9_.\\-~ ()0";
  for (uint32_t seed : {0u, 1u, uint32_t(ARCHIVE_NAME_SEED_BASE), 0xFFFFFFFFu}) {
    EXPECT_EQ(Descrambled(name, seed), name);
    EXPECT_EQ(Scrambled(name, seed), name);
  }
  const std::string mixed = Descrambled("ab_12\\cd.EF", ARCHIVE_NAME_SEED_BASE + 3);
  ASSERT_EQ(mixed.size(), 11u);
  EXPECT_EQ(mixed.substr(2, 4), "_12\\");
  EXPECT_EQ(mixed[8], '.');
  for (size_t k : {0, 1, 6, 7, 9, 10}) EXPECT_TRUE(isalpha(mixed[k])) << k;
}

TEST(NameScramble, SameLetterAtTwoPlacesDecodesDifferently) {
  const std::string plain = Descrambled("QQQQ", ARCHIVE_NAME_SEED_BASE + 1);
  for (int k = 1; k < 4; ++k) EXPECT_NE(plain[k - 1], plain[k]);
  // One place later is one step further back in the forward alphabet.
  Alphabets a;
  const std::string f(a.forward, 52);
  EXPECT_EQ((f.find(plain[0]) + 52 - f.find(plain[1])) % 52, 1u);
}

TEST(NameScramble, DoubleByteCharactersAreScannedBytewise) {
  // 0x83 0x41 is a katakana whose trail byte is 'A': it changes like any
  // letter; the lead byte and a non-letter trail (0x95 0x5C) stay.
  const std::string name = "\x83\x41\x95\x5C";
  const std::string plain = Descrambled(name, ARCHIVE_NAME_SEED_BASE + 2);
  EXPECT_EQ(plain[0], '\x83');
  EXPECT_NE(plain[1], 'A');
  EXPECT_TRUE(isalpha(static_cast<unsigned char>(plain[1])));
  EXPECT_EQ(plain.substr(2), "\x95\x5C");
}

TEST(NameScramble, IsAKeyedUseOfTheSharedGenerator) {
  // Whatever was drawn before, the result is the same, and afterwards the
  // generator continues from the value it would have drawn next.
  MtSeed(31337);
  const uint32_t next = MtDraw();
  MtSeed(next);
  const uint32_t afterNext = MtDraw();

  MtSeed(31337);
  const std::string a = Descrambled("HELLO", ARCHIVE_NAME_SEED_BASE);
  EXPECT_EQ(MtDraw(), afterNext);
  MtSeed(1);
  MtDraw();
  EXPECT_EQ(Descrambled("HELLO", ARCHIVE_NAME_SEED_BASE), a);
}
