#include "archive/name_scramble.h"

#include "archive/mt19937.h"

namespace {

enum { kLetters = 52 };

inline bool IsLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The per-name shift: the byte sum of the first draw after seeding.
uint32_t NameShift(uint32_t seed) {
  MtKeyedUse use(seed);
  const uint32_t c = MtDraw();
  return ((c & 0xFF) + ((c >> 8) & 0xFF) + ((c >> 16) & 0xFF) + (c >> 24)) & 0xFF;
}

int IndexOf(const char alphabet[kLetters], char c) {
  for (int j = 0; j < kLetters; ++j) {
    if (alphabet[j] == c) return j;
  }
  return -1;
}

}  // namespace

void InitNameAlphabets(char forward[52], char reversed[52]) {
  for (int i = 0; i < 26; ++i) {
    forward[i] = char('A' + i);
    forward[26 + i] = char('a' + i);
  }
  for (int i = 0; i < kLetters; ++i) reversed[i] = forward[kLetters - 1 - i];
}

void DescrambleName(char* name, uint32_t seed, const char forward[52], const char reversed[52]) {
  const uint32_t s = NameShift(seed);
  for (uint32_t k = 0; name[k] != '\0'; ++k) {
    if (!IsLetter(static_cast<unsigned char>(name[k]))) continue;
    for (uint32_t j = 0; j < kLetters; ++j) {
      if (reversed[(s + k + j) % kLetters] == name[k]) {
        name[k] = forward[j];
        break;
      }
    }
  }
}

void ScrambleName(char* name, uint32_t seed, const char forward[52], const char reversed[52]) {
  const uint32_t s = NameShift(seed);
  for (uint32_t k = 0; name[k] != '\0'; ++k) {
    if (!IsLetter(static_cast<unsigned char>(name[k]))) continue;
    const int j = IndexOf(forward, name[k]);
    if (j >= 0) name[k] = reversed[(s + k + uint32_t(j)) % kLetters];
  }
}
