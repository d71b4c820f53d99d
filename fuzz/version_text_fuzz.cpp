// The version gate's text side on hostile version resources and names:
// ParseInteger and the FileVersion split against a model of the number
// format, the bounded field copy, and the gate's two paths.
// Input: a field size byte, then NUL-separated texts: the FileVersion text,
// an install directory and an entry name.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "app/version_text.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_model.h"
#include "support/path_string.h"

namespace {

struct Parsed {
  int ok;
  bool touched;
  uint32_t value;
};

// Sign, then "0x" hexadecimal or decimal digits; decimal ended by '.' fails
// with the digits read so far, not negated.
Parsed ModelParse(const std::string& s) {
  size_t i = 0;
  const bool negative = !s.empty() && s[0] == '-';
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) ++i;
  if (i >= s.size() || s[i] < '0' || s[i] > '9') return {0, false, 0};
  uint32_t v = 0;
  if (s[i] == '0' && i + 1 < s.size() && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    for (i += 2; i < s.size() && std::isxdigit(static_cast<unsigned char>(s[i])); ++i) {
      char c = s[i];
      v = v * 16 + uint32_t(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
    }
  } else {
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) v = v * 10 + uint32_t(s[i] - '0');
    if (i < s.size() && s[i] == '.') return {0, true, v};
  }
  return {1, true, negative ? 0u - v : v};
}

void CheckParseInteger(const std::string& text) {
  const int32_t kUntouched = 0x5EED5EED;
  int32_t value = kUntouched;
  const Parsed want = ModelParse(text);
  FUZZ_CHECK(ParseInteger(text.c_str(), &value) == want.ok);
  FUZZ_CHECK(uint32_t(value) == (want.touched ? want.value : uint32_t(kUntouched)));
}

uint32_t ModelComponent(const std::string& text) {
  size_t i = text.find_first_not_of(' ');
  Parsed p = ModelParse(i == std::string::npos ? std::string() : text.substr(i));
  return (p.touched ? p.value : 0) & 0xFFFF;
}

void CheckFileVersion(const std::string& text) {
  uint32_t c[4] = {0, 0, 0, 0};
  size_t at = 0;
  for (int k = 0; k < 3; ++k) {
    size_t comma = text.find(',', at);
    if (comma == std::string::npos) break;
    c[k] = ModelComponent(text.substr(at, comma - at));
    at = comma + 1;
    if (k == 2) c[3] = ModelComponent(text.substr(at));
  }
  uint32_t ms = 1, ls = 1;
  ParseFileVersion(text.c_str(), &ms, &ls);
  FUZZ_CHECK(ms == (c[0] << 16 | c[1]) && ls == (c[2] << 16 | c[3]));
}

// The longest prefix of whole characters that leaves room for the NUL.
void CheckFieldCopy(const std::string& value, size_t fieldSize) {
  size_t n = 0;
  while (n < value.size()) {
    size_t step = FuzzIsPair(value, n) ? 2 : 1;
    if (n + step + 1 > fieldSize) break;
    n += step;
  }
  std::vector<char> field(fieldSize + 16, 0x7E);
  CopyFieldText(field.data(), fieldSize, value.c_str());
  FUZZ_CHECK(std::memcmp(field.data(), value.data(), n) == 0 && field[n] == '\0');
  for (size_t i = fieldSize; i < field.size(); ++i) FUZZ_CHECK(field[i] == 0x7E);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const size_t fieldSize = size_t(data[0]) + 1;
  std::vector<std::string> parts(3);
  size_t k = 0;
  for (size_t i = 1; i < size; ++i) {
    if (data[i] == 0 && k + 1 < parts.size()) {
      ++k;
    } else if (data[i] != 0) {
      parts[k].push_back(char(data[i]));
    }
  }
  CheckParseInteger(parts[0]);
  CheckFileVersion(parts[0]);
  CheckFieldCopy(parts[0], fieldSize);
  int32_t value = 7;
  FUZZ_CHECK(ParseInteger(nullptr, &value) == 0 && value == 7);
  return 0;
}
