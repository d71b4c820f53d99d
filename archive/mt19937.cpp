#include "archive/mt19937.h"

namespace {

enum : uint32_t {
  kWords = 624,
  kMiddle = 397,
  kNeverSeeded = 625,
  kDefaultSeed = 4357,
  kUpperMask = 0x80000000u,
  kLowerMask = 0x7FFFFFFFu,
  kMatrix = 0x9908B0DFu,
};

struct MtState {
  uint32_t word[kWords];
  uint32_t index;
};

// One generator for the whole process; a keyed use must not interleave with
// another (single thread, no lock).
MtState g_mt = {{0}, kNeverSeeded};

inline uint32_t Twist(uint32_t current, uint32_t next, uint32_t far) {
  uint32_t y = (current & kUpperMask) | (next & kLowerMask);
  return far ^ (y >> 1) ^ ((y & 1u) ? kMatrix : 0u);
}

// The recurrence over all 624 words, split into the three ranges where
// (k + 1) and (k + 397) wrap differently so the loops need no modulo.
void Regenerate(uint32_t* w) {
  uint32_t k = 0;
  for (; k < kWords - kMiddle; ++k) w[k] = Twist(w[k], w[k + 1], w[k + kMiddle]);
  for (; k < kWords - 1; ++k) w[k] = Twist(w[k], w[k + 1], w[k + kMiddle - kWords]);
  w[kWords - 1] = Twist(w[kWords - 1], w[0], w[kMiddle - 1]);
}

inline uint32_t Temper(uint32_t y) {
  y ^= y >> 11;
  y ^= (y << 7) & 0x9D2C5680u;
  y ^= (y << 15) & 0xEFC60000u;
  y ^= y >> 18;
  return y;
}

}  // namespace

void MtSeed(uint32_t seed) {
  uint32_t s = seed;
  for (uint32_t k = 0; k < kWords; ++k) {
    uint32_t word = s & 0xFFFF0000u;
    s = 69069u * s + 1u;
    g_mt.word[k] = word | (s >> 16);
    s = 69069u * s + 1u;
  }
  g_mt.index = kWords;
}

uint32_t MtDraw() {
  if (g_mt.index >= kWords) {
    if (g_mt.index == kNeverSeeded) MtSeed(kDefaultSeed);
    Regenerate(g_mt.word);
    g_mt.index = 0;
  }
  return Temper(g_mt.word[g_mt.index++]);
}

MtKeyedUse::MtKeyedUse(uint32_t seed) : kept(MtDraw()) { MtSeed(seed); }

MtKeyedUse::~MtKeyedUse() { MtSeed(kept); }
