// The install-location file's text: the directory taken is exactly the bytes
// between the first "<path>" and the first "</path>", never empty or too long.
#include <cstdint>
#include <cstring>
#include <string>

#include "app/install_location_text.h"
#include "fuzz/fuzz_check.h"
#include "support/path_string.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  const char* c = text.c_str();  // the lookup sees the text up to its first NUL
  std::string visible(c);
  char out[QX_MAX_PATH + 1];
  out[QX_MAX_PATH] = 'G';
  int ok = ExtractInstallPath(c, out);
  FUZZ_CHECK(out[QX_MAX_PATH] == 'G');
  size_t a = visible.find("<path>"), b = visible.find("</path>");
  if (!ok) {
    FUZZ_CHECK(a == std::string::npos || b == std::string::npos || b <= a + 6 ||
               b - (a + 6) >= QX_MAX_PATH);
    return 0;
  }
  std::string expected = visible.substr(a + 6, b - (a + 6));
  FUZZ_CHECK(!expected.empty() && expected.size() < QX_MAX_PATH);
  FUZZ_CHECK(std::strlen(out) == expected.size() && expected == out);
  FUZZ_CHECK(FindSubstring(c, "<path>") == static_cast<int>(a));
  return 0;
}
