#include "archive/mt19937.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

// A plain transcription of the generator (modulo indexing, no split loops)
// that the shared one must match draw for draw.
class ReferenceMt {
 public:
  explicit ReferenceMt(uint32_t s) {
    for (int k = 0; k < 624; ++k) {
      mt[k] = s & 0xFFFF0000u;
      s = 69069u * s + 1u;
      mt[k] |= s >> 16;
      s = 69069u * s + 1u;
    }
  }
  uint32_t Next() {
    if (i >= 624) {
      for (int k = 0; k < 624; ++k) {
        uint32_t y = (mt[k] & 0x80000000u) | (mt[(k + 1) % 624] & 0x7FFFFFFFu);
        mt[k] = mt[(k + 397) % 624] ^ (y >> 1) ^ ((y & 1u) ? 0x9908B0DFu : 0u);
      }
      i = 0;
    }
    uint32_t y = mt[i++];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    return y ^ (y >> 18);
  }

 private:
  uint32_t mt[624];
  int i = 624;
};

std::vector<uint32_t> Draws(int n) {
  std::vector<uint32_t> v;
  for (int k = 0; k < n; ++k) v.push_back(MtDraw());
  return v;
}

std::vector<uint32_t> FreshDraws(uint32_t seed, int n) {
  ReferenceMt ref(seed);
  std::vector<uint32_t> v;
  for (int k = 0; k < n; ++k) v.push_back(ref.Next());
  return v;
}

}  // namespace

TEST(Mt19937, ReferenceSeedingGivesPublishedFirstDraws) {
  MtSeed(4357);
  EXPECT_EQ(MtDraw(), 2867219139u);
  EXPECT_EQ(MtDraw(), 1585203162u);
  EXPECT_EQ(MtDraw(), 3113124129u);
}

TEST(Mt19937, MatchesPlainTranscriptionAcrossSeveralRegenerations) {
  for (uint32_t seed : {0u, 1u, 4357u, 0x51524200u, 0xFFFFFFFFu}) {
    MtSeed(seed);
    EXPECT_EQ(Draws(624 * 3 + 5), FreshDraws(seed, 624 * 3 + 5)) << "seed " << seed;
  }
}

TEST(Mt19937DeathTest, NeverSeededGeneratorStartsFrom4357) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(std::exit(MtDraw() == 2867219139u && MtDraw() == 1585203162u ? 0 : 1),
              ::testing::ExitedWithCode(0), "");
}

TEST(MtKeyedUse, InsideDependsOnTheUsesSeedAlone) {
  const std::vector<uint32_t> expected = FreshDraws(0xC0FFEE, 5);
  for (uint32_t earlier : {1u, 2u, 999u}) {
    MtSeed(earlier);
    Draws(int(earlier % 700));
    MtKeyedUse use(0xC0FFEE);
    EXPECT_EQ(Draws(5), expected);
  }
}

TEST(MtKeyedUse, LeavesTheGeneratorSeededWithItsHeldDraw) {
  // The held value is the draw that would have come next.
  MtSeed(2024);
  Draws(10);
  const uint32_t held = MtDraw();

  MtSeed(2024);
  Draws(10);
  {
    MtKeyedUse use(12345);
    Draws(3);
  }
  EXPECT_EQ(Draws(630), FreshDraws(held, 630));
}
