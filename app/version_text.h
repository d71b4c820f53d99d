// Text side of the executable version gate: reading the "FileVersion" string
// of a version resource.
#ifndef QX_APP_VERSION_TEXT_H
#define QX_APP_VERSION_TEXT_H

#include <cstddef>
#include <cstdint>

// Reads an optionally signed decimal, or "0x"/"0X" hexadecimal, integer at the
// start of text; it ends at the first character that is no digit. 1 on
// success (a '-' negates; overflow wraps). 0 for a null text or no digit after
// the sign (value untouched), and for decimal digits ended by '.' (value holds
// the digits read, not negated).
int ParseInteger(const char* text, int32_t* value);

// Splits a FileVersion text ("1, 0, 2, 5") at its commas into the version
// words: ms = first << 16 | second, ls = third << 16 | fourth, each component
// cut to 16 bits. A component counts only when the comma that ends it is there
// (the fourth runs to the end); a missing or unreadable one is 0. Leading
// spaces of a component are skipped.
void ParseFileVersion(const char* text, uint32_t* ms, uint32_t* ls);

// The key the version gate orders FileVersions by: the first word, then the
// second. A new executable goes in when its key is not lower.
inline uint64_t FileVersionKey(uint32_t ms, uint32_t ls) { return uint64_t(ms) << 32 | ls; }

// Copies value into field (fieldSize bytes, NUL-terminated), cutting it short
// at a character boundary when it does not fit. Reads at most valueLength
// bytes of value: a version string need not be terminated inside its block.
void CopyFieldText(char* field, std::size_t fieldSize, const char* value,
                   std::size_t valueLength = SIZE_MAX);

#endif
