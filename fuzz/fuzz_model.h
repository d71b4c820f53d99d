// Small reference models shared by the fuzz targets, written from the formats
// rather than from the code under test.
#ifndef QX_FUZZ_FUZZ_MODEL_H
#define QX_FUZZ_FUZZ_MODEL_H

#include <cstddef>
#include <string>

// The double-byte rule of the product's path code: a lead byte 0x81-0x9F or
// 0xE0-0xEF followed by a trail byte 0x40-0x7E or 0x80-0xFC.
inline bool FuzzIsLead(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xEF);
}
inline bool FuzzIsTrail(unsigned char c) {
  return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC);
}
inline bool FuzzIsPair(const std::string& s, size_t i) {
  return i + 1 < s.size() && FuzzIsLead(s[i]) && FuzzIsTrail(s[i + 1]);
}

// a-z to A-Z, double-byte characters stepped over whole.
inline std::string FuzzUpper(std::string s) {
  for (size_t i = 0; i < s.size(); ++i) {
    if (FuzzIsPair(s, i)) {
      ++i;
    } else if (s[i] >= 'a' && s[i] <= 'z') {
      s[i] = char(s[i] - 32);
    }
  }
  return s;
}

// Index of the last '\' or '/' that is no trail byte, or npos.
inline size_t FuzzLastSeparator(const std::string& s) {
  size_t last = std::string::npos;
  for (size_t i = 0; i < s.size(); ++i) {
    if (FuzzIsPair(s, i)) {
      ++i;
    } else if (s[i] == '\\' || s[i] == '/') {
      last = i;
    }
  }
  return last;
}

#endif
