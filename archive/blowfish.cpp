#include "archive/blowfish.h"

#include <cstring>

namespace {

#include "archive/blowfish_tables.inc"

enum { kRounds = 16 };

inline uint32_t F(const BlowfishContext* c, uint32_t x) {
  return ((c->s[0][x >> 24] + c->s[1][(x >> 16) & 0xFF]) ^ c->s[2][(x >> 8) & 0xFF]) +
         c->s[3][x & 0xFF];
}

inline uint32_t LoadLittle(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline void StoreLittle(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

typedef void (*BlockFunction)(const BlowfishContext*, uint32_t*, uint32_t*);

void TransformBlock(const BlowfishContext* c, BlockFunction f, const uint8_t* in, uint8_t* out) {
  uint32_t left = LoadLittle(in);
  uint32_t right = LoadLittle(in + 4);
  f(c, &left, &right);
  StoreLittle(out, left);
  StoreLittle(out + 4, right);
}

void TransformBlocks(const BlowfishContext* c, BlockFunction f, void* data, size_t n) {
  uint8_t* p = static_cast<uint8_t*>(data);
  for (size_t blocks = n / 8; blocks != 0; --blocks, p += 8) TransformBlock(c, f, p, p);
}

}  // namespace

void BlowfishEncipher(const BlowfishContext* c, uint32_t* left, uint32_t* right) {
  uint32_t l = *left;
  uint32_t r = *right;
  for (int i = 0; i < kRounds; i += 2) {
    l ^= c->p[i];
    r ^= F(c, l);
    r ^= c->p[i + 1];
    l ^= F(c, r);
  }
  *left = r ^ c->p[kRounds + 1];
  *right = l ^ c->p[kRounds];
}

void BlowfishDecipher(const BlowfishContext* c, uint32_t* left, uint32_t* right) {
  uint32_t l = *left;
  uint32_t r = *right;
  for (int i = kRounds + 1; i > 1; i -= 2) {
    l ^= c->p[i];
    r ^= F(c, l);
    r ^= c->p[i - 1];
    l ^= F(c, r);
  }
  *left = r ^ c->p[0];
  *right = l ^ c->p[1];
}

void BlowfishSetKey(BlowfishContext* c, const uint8_t key[4]) {
  std::memcpy(c->p, kInitialP, sizeof c->p);
  std::memcpy(c->s, kInitialS, sizeof c->s);
  const uint32_t word =
      uint32_t(key[0]) << 24 | uint32_t(key[1]) << 16 | uint32_t(key[2]) << 8 | uint32_t(key[3]);
  for (uint32_t& p : c->p) p ^= word;
  uint32_t left = 0;
  uint32_t right = 0;
  for (int i = 0; i < 18; i += 2) {
    BlowfishEncipher(c, &left, &right);
    c->p[i] = left;
    c->p[i + 1] = right;
  }
  for (auto& box : c->s) {
    for (int i = 0; i < 256; i += 2) {
      BlowfishEncipher(c, &left, &right);
      box[i] = left;
      box[i + 1] = right;
    }
  }
}

void BlowfishDecipherBlock(const BlowfishContext* c, const void* source, void* destination) {
  // Both halves are loaded before anything is stored, so any overlap of
  // source and destination is safe.
  TransformBlock(c, BlowfishDecipher, static_cast<const uint8_t*>(source),
                 static_cast<uint8_t*>(destination));
}

void BlowfishDecipherBlocks(const BlowfishContext* c, void* data, size_t n) {
  TransformBlocks(c, BlowfishDecipher, data, n);
}

void BlowfishEncipherBlocks(const BlowfishContext* c, void* data, size_t n) {
  TransformBlocks(c, BlowfishEncipher, data, n);
}
