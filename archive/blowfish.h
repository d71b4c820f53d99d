// Blowfish, 16 rounds, with the archive family's little-endian block halves.
#ifndef QX_ARCHIVE_BLOWFISH_H
#define QX_ARCHIVE_BLOWFISH_H

#include <cstddef>
#include <cstdint>

struct BlowfishContext {
  uint32_t p[18];
  uint32_t s[4][256];
};

// Key schedule from the published initial state with a 4-byte key: every P
// word is XORed with k0<<24 | k1<<16 | k2<<8 | k3, then 521 encipherings.
void BlowfishSetKey(BlowfishContext* context, const uint8_t key[4]);
void BlowfishEncipher(const BlowfishContext* context, uint32_t* left, uint32_t* right);
void BlowfishDecipher(const BlowfishContext* context, uint32_t* left, uint32_t* right);
// Deciphers one 8-byte block (bytes 0-3 are L, 4-7 are R, little-endian) from
// source into destination; in place when they are the same block.
void BlowfishDecipherBlock(const BlowfishContext* context, const void* source, void* destination);
// Deciphers n / 8 whole blocks in place (ECB); a partial block is left alone.
void BlowfishDecipherBlocks(const BlowfishContext* context, void* data, size_t n);
// Enciphers n / 8 whole blocks in place; for tools that write test archives.
void BlowfishEncipherBlocks(const BlowfishContext* context, void* data, size_t n);

#endif
