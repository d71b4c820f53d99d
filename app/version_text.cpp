#include "app/version_text.h"

#include "app/install_location_text.h"
#include "support/path_string.h"

namespace {

bool IsDecimal(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
  if (IsDecimal(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// One component: leading blanks skipped, parsed as far as it goes. Text that
// does not start with a number reads as 0.
uint32_t ReadComponent(const char* text) {
  while (*text == ' ') ++text;
  int32_t value = 0;
  ParseInteger(text, &value);
  return static_cast<uint32_t>(value) & 0xFFFFu;
}

// Finds the comma ending the component at *text; moves *text past it.
bool NextComma(const char** text, const char** component) {
  int at = FindSubstring(*text, ",");
  if (at < 0) return false;
  *component = *text;
  *text += at + 1;
  return true;
}

}  // namespace

int ParseInteger(const char* text, int32_t* value) {
  if (!text) return 0;
  const char* p = text;
  bool negative = *p == '-';
  if (*p == '+' || *p == '-') ++p;
  if (!IsDecimal(*p)) return 0;
  uint32_t v = 0;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
    for (p += 2; HexValue(*p) >= 0; ++p) v = v * 16u + static_cast<uint32_t>(HexValue(*p));
  } else {
    for (; IsDecimal(*p); ++p) v = v * 10u + static_cast<uint32_t>(*p - '0');
    if (*p == '.') {
      *value = static_cast<int32_t>(v);
      return 0;
    }
  }
  *value = static_cast<int32_t>(negative ? 0u - v : v);
  return 1;
}

void ParseFileVersion(const char* text, uint32_t* ms, uint32_t* ls) {
  *ms = 0;
  *ls = 0;
  const char* rest = text;
  const char* component;
  if (!NextComma(&rest, &component)) return;
  *ms = ReadComponent(component) << 16;
  if (!NextComma(&rest, &component)) return;
  *ms |= ReadComponent(component);
  if (!NextComma(&rest, &component)) return;
  *ls = ReadComponent(component) << 16;
  *ls |= ReadComponent(rest);
}

void CopyFieldText(char* field, std::size_t fieldSize, const char* value, std::size_t valueLength) {
  if (fieldSize == 0) return;
  std::size_t n = 0;
  while (n < valueLength && value[n]) {
    // A lead byte whose trail lies beyond the value is not looked past.
    std::size_t step = n + 1 < valueLength && IsDoubleByteChar(value + n) ? 2 : 1;
    if (n + step >= fieldSize) break;
    n += step;
  }
  CopyBytes(field, value, n);
  field[n] = '\0';
}
