// Scrambled entry names of enciphered archives.
#ifndef QX_ARCHIVE_NAME_SCRAMBLE_H
#define QX_ARCHIVE_NAME_SCRAMBLE_H

#include <cstdint>

#include "archive/archive_format.h"  // ARCHIVE_NAME_SEED_BASE

// Fills the two alphabets: A-Z a-z, and its reverse z-a Z-A.
void InitNameAlphabets(char forward[52], char reversed[52]);
// Descrambles name in place (letters only, byte by byte, up to the NUL) as a
// keyed use of the shared generator with seed.
void DescrambleName(char* name, uint32_t seed, const char forward[52], const char reversed[52]);
// The inverse, for tools that write enciphered archives.
void ScrambleName(char* name, uint32_t seed, const char forward[52], const char reversed[52]);

#endif
