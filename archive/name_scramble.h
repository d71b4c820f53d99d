// Scrambled entry names of enciphered archives.
#ifndef QX_ARCHIVE_NAME_SCRAMBLE_H
#define QX_ARCHIVE_NAME_SCRAMBLE_H

#include <cstdint>

// The family's name-seed base: entry i's name is scrambled with this plus i.
// Writers of enciphered archives must use the same value.
enum : uint32_t { ARCHIVE_NAME_SEED_BASE = 0x51524200 };

// Fills the two alphabets: A-Z a-z, and its reverse z-a Z-A.
void InitNameAlphabets(char forward[52], char reversed[52]);
// Descrambles name in place (letters only, byte by byte, up to the NUL) as a
// keyed use of the shared generator with seed.
void DescrambleName(char* name, uint32_t seed, const char forward[52], const char reversed[52]);
// The inverse, for tools that write enciphered archives.
void ScrambleName(char* name, uint32_t seed, const char forward[52], const char reversed[52]);

#endif
