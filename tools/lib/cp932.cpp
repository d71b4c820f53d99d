#include "tools/lib/cp932.h"

namespace {

// The Unicode upper case of a code point, over the letters with a case that
// code page 932 can hold, and the Latin-1 ones; others stay.
char32_t UpperCase(char32_t c) {
  if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
  if (c == 0x3C2) return 0x3A3;                     // final sigma
  if (c >= 0x3B1 && c <= 0x3CB) return c - 0x20;    // Greek
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;    // Cyrillic
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;    // Cyrillic ё ...
  if (c >= 0x2170 && c <= 0x217F) return c - 0x10;  // small Roman numerals
  if (c >= 0x24D0 && c <= 0x24E9) return c - 0x1A;  // circled Latin
  if (c >= 0xFF41 && c <= 0xFF5A) return c - 0x20;  // full-width Latin
  return c;
}

// Decodes one UTF-8 sequence at s[*i] and moves *i past it; false when there
// is none.
bool Decode(const std::string& s, size_t* i, char32_t* c) {
  const unsigned char lead = s[*i];
  size_t extra;
  if (lead < 0x80) {
    extra = 0;
  } else if ((lead & 0xE0) == 0xC0) {
    extra = 1;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3;
  } else {
    return false;
  }
  if (*i + extra >= s.size()) return false;
  char32_t v = extra == 0 ? lead : lead & (0x3F >> extra);
  for (size_t k = 1; k <= extra; ++k) {
    const unsigned char t = s[*i + k];
    if ((t & 0xC0) != 0x80) return false;
    v = v << 6 | (t & 0x3F);
  }
  *i += extra + 1;
  *c = v;
  return true;
}

void Encode(char32_t c, std::string* out) {
  if (c < 0x80) {
    *out += char(c);
  } else if (c < 0x800) {
    *out += char(0xC0 | c >> 6);
    *out += char(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out += char(0xE0 | c >> 12);
    *out += char(0x80 | (c >> 6 & 0x3F));
    *out += char(0x80 | (c & 0x3F));
  } else {
    *out += char(0xF0 | c >> 18);
    *out += char(0x80 | (c >> 12 & 0x3F));
    *out += char(0x80 | (c >> 6 & 0x3F));
    *out += char(0x80 | (c & 0x3F));
  }
}

}  // namespace

bool Utf8ToCp932(const std::string& utf8, std::string* cp932) {
  std::string encoded, back;
  if (!EncodeCp932(utf8, &encoded) || !Cp932ToUtf8(encoded, &back) || back != utf8) return false;
  *cp932 = encoded;
  return true;
}

bool Utf8ToUtf16(const std::string& utf8, std::u16string* utf16) {
  utf16->clear();
  for (size_t i = 0; i < utf8.size();) {
    char32_t c;
    if (!Decode(utf8, &i, &c) || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    if (c >= 0x10000) {
      utf16->push_back(char16_t(0xD800 + ((c - 0x10000) >> 10)));
      utf16->push_back(char16_t(0xDC00 + (c & 0x3FF)));
    } else {
      utf16->push_back(char16_t(c));
    }
  }
  return true;
}

std::string WindowsNameKey(const std::string& utf8) {
  std::string key;
  for (size_t i = 0; i < utf8.size();) {
    char32_t c;
    if (!Decode(utf8, &i, &c)) return utf8;
    Encode(UpperCase(c), &key);
  }
  return key;
}
