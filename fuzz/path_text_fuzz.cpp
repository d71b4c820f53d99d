// ReadLine over a whole text, MakeUpper and the path splitters on each line,
// the directory split against the double-byte rule.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_model.h"
#include "support/path_string.h"

namespace {

void CheckLine(const char* line) {
  std::string before = line;
  char upper[QX_MAX_PATH];
  std::strcpy(upper, line);
  FUZZ_CHECK(MakeUpper(upper) == static_cast<int>(before.size()));
  FUZZ_CHECK(FuzzUpper(before) == upper);  // double-byte characters kept whole
  // The directory part ends at the last separator that is no trail byte; a
  // lone leading separator makes none.
  char part[QX_MAX_PATH];
  std::memset(part, 0x7E, sizeof part);
  const size_t sep = FuzzLastSeparator(before);
  const bool hasDirectory = sep != std::string::npos && sep != 0;
  FUZZ_CHECK(GetDirectoryPart(line, part) == (hasDirectory ? 1 : 0));
  FUZZ_CHECK(GetDirectoryPart(line, nullptr) == (hasDirectory ? 1 : 0));
  if (hasDirectory) {
    FUZZ_CHECK(before.substr(0, sep) == part);
  } else {
    FUZZ_CHECK(static_cast<unsigned char>(part[0]) == 0x7E);
  }
  FUZZ_CHECK(GetFileNamePart(line, part) == 1);
  FUZZ_CHECK(before.size() >= std::strlen(part));
  const char* ext = GetExtension(line);
  FUZZ_CHECK(ext >= line && ext <= line + before.size());
  char joined[QX_MAX_PATH];
  int n = JoinPath(joined, 3, line, upper, part);
  FUZZ_CHECK(n >= 0 && n < QX_MAX_PATH && n == static_cast<int>(std::strlen(joined)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  text.append(8, '\0');  // as the log loader does: room behind a final CR
  const char* at = text.c_str();
  char line[QX_MAX_PATH];
  for (;;) {
    unsigned length = 0;
    int consumed = ReadLine(at, line, &length);
    if (consumed == 0) break;
    FUZZ_CHECK(consumed >= static_cast<int>(length) && consumed <= static_cast<int>(length) + 2);
    if (length < QX_MAX_PATH) {
      FUZZ_CHECK(std::memcmp(line, at, length) == 0 && line[length] == '\0');
      CheckLine(line);
    } else {
      FUZZ_CHECK(line[0] == '\0');
    }
    at += consumed;
    FUZZ_CHECK(at <= text.c_str() + size);
  }
  FUZZ_CHECK(*at == '\0');
  return 0;
}
