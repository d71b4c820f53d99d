// The install step's entry-name check on hostile names. An accepted name,
// joined to the install directory, must stay below it however the path is
// split into components: by the product's double-byte rule, by the full
// code page 932 lead-byte range that Windows applies, and byte by byte (as a
// single-byte code page would). Input: the name, up to the first NUL.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "app/entry_name.h"
#include "app/version_text.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_model.h"
#include "support/path_string.h"

namespace {

enum SplitRule { PRODUCT_RULE, CP932_RULE, BYTE_RULE };

bool Pairs(SplitRule rule, const std::string& s, size_t i) {
  if (rule == PRODUCT_RULE) return FuzzIsPair(s, i);
  if (rule == BYTE_RULE || i + 1 >= s.size()) return false;
  const unsigned char lead = s[i], trail = s[i + 1];
  // Code page 932 lead bytes include the user-defined rows up to 0xFC.
  return ((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC)) && FuzzIsTrail(trail);
}

std::vector<std::string> Components(SplitRule rule, const std::string& path) {
  std::vector<std::string> parts(1);
  for (size_t i = 0; i < path.size(); ++i) {
    if (Pairs(rule, path, i)) {
      parts.back().append(path, i, 2);
      ++i;
    } else if (path[i] == '\\' || path[i] == '/') {
      parts.emplace_back();
    } else {
      parts.back().push_back(path[i]);
    }
  }
  return parts;
}

// Whether resolving "." and ".." ever climbs above the start. (Windows also
// drops the trailing dots and blanks of the last component, but only after
// resolving, so that makes no new "..".)
bool Climbs(SplitRule rule, const std::string& relative) {
  long depth = 0;
  for (const std::string& part : Components(rule, relative)) {
    if (part.empty() || part == ".") continue;
    depth += part == ".." ? -1 : 1;
    if (depth < 0) return true;
  }
  return false;
}

// The check's own terms: not empty, no leading separator, no ':' and no ".."
// component under the product's double-byte rule.
bool ModelSafe(const std::string& name) {
  if (name.empty() || name[0] == '\\' || name[0] == '/') return false;
  if (name.find(':') != std::string::npos) return false;
  for (const std::string& part : Components(PRODUCT_RULE, name))
    if (part == "..") return false;
  return true;
}

void CheckStaysInside(const std::string& relative) {
  for (SplitRule rule : {PRODUCT_RULE, CP932_RULE, BYTE_RULE}) FUZZ_CHECK(!Climbs(rule, relative));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string name(reinterpret_cast<const char*>(data), strnlen((const char*)data, size));
  if (name.size() >= QX_MAX_PATH) name.resize(QX_MAX_PATH - 1);
  const int safe = IsSafeEntryName(name.c_str());
  FUZZ_CHECK(safe == (ModelSafe(name) ? 1 : 0));
  if (!safe) return 0;
  // Never absolute, drive-relative or rooted.
  FUZZ_CHECK(name[0] != '\\' && name[0] != '/' && name.find(':') == std::string::npos);
  CheckStaysInside(name);

  // The version gate's temporary copy beside the entry stays inside as well.
  const char kDir[] = "C:\\GAME";
  char temp[QX_MAX_PATH], installed[QX_MAX_PATH];
  if (FormatGatePaths(kDir, name.c_str(), temp, installed)) {
    const size_t skip = sizeof kDir;  // the directory and its backslash
    FUZZ_CHECK(std::strncmp(temp, "C:\\GAME\\", skip) == 0);
    FUZZ_CHECK(std::strncmp(installed, "C:\\GAME\\", skip) == 0);
    CheckStaysInside(temp + skip);
    FUZZ_CHECK(installed + skip == name);
  }
  return 0;
}
