// The process-wide MT19937 generator with the 1998 reference seeding.
#ifndef QX_ARCHIVE_MT19937_H
#define QX_ARCHIVE_MT19937_H

#include <cstdint>

// Seeds the shared generator (1998 seeding: two LCG steps per state word).
void MtSeed(uint32_t seed);
// Next tempered output; a generator never seeded seeds itself with 4357 first.
uint32_t MtDraw();

// Brackets one keyed use: draws and holds one value, seeds with the use's own
// seed; the destructor seeds the generator with the held value.
class MtKeyedUse {
 public:
  explicit MtKeyedUse(uint32_t seed);
  ~MtKeyedUse();
  MtKeyedUse(const MtKeyedUse&) = delete;
  MtKeyedUse& operator=(const MtKeyedUse&) = delete;

 private:
  uint32_t kept;
};

#endif
