// The updater's entry-name rule on hostile names. An accepted name,
// joined to the install directory, must stay below it however the path is
// split into components: by the product's double-byte rule, by the full
// code page 932 lead-byte range that Windows applies, and byte by byte (as a
// single-byte code page would). Input: the name, up to the first NUL.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "app/entry_name.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_model.h"
#include "support/file_replace.h"
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

// The rule's own terms, per component split at '\\' under the product's
// double-byte rule.
bool ModelComponentOk(const std::string& part, bool top) {
  if (part.empty() || part == "." || part == "..") return false;
  if (part.back() == '.' || part.back() == ' ') return false;
  for (size_t i = 0; i < part.size(); ++i) {
    if (FuzzIsPair(part, i)) {
      ++i;
      continue;
    }
    const unsigned char c = part[i];
    if (c < 0x20 || std::strchr("<>:\"/|?*", c) || (c >= 0x80 && (c < 0xA1 || c > 0xDF)))
      return false;
  }
  std::string upper = FuzzUpper(part);
  std::string base = upper.substr(0, upper.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
    if (base == device) return false;
  if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
      base[3] >= '1' && base[3] <= '9')
    return false;
  if (upper.size() >= 7 && upper.compare(0, 3, "~QX") == 0 &&
      upper.compare(upper.size() - 4, 4, ".TMP") == 0)
    return false;
  return !top || (upper != "INSTALL.LOG" && upper != "__UPDATETMP__.TMD");
}

bool ModelInstallable(const std::string& name) {
  std::vector<std::string> parts(1);
  for (size_t i = 0; i < name.size(); ++i) {
    if (FuzzIsPair(name, i)) {
      parts.back().append(name, i++, 2);
    } else if (name[i] == '\\') {
      parts.emplace_back();
    } else {
      parts.back().push_back(name[i]);
    }
  }
  for (size_t i = 0; i < parts.size(); ++i)
    if (!ModelComponentOk(parts[i], i == 0)) return false;
  return true;
}

void CheckStaysInside(const std::string& relative) {
  for (SplitRule rule : {PRODUCT_RULE, CP932_RULE, BYTE_RULE}) FUZZ_CHECK(!Climbs(rule, relative));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string name(reinterpret_cast<const char*>(data), strnlen((const char*)data, size));
  if (name.size() >= QX_MAX_PATH) name.resize(QX_MAX_PATH - 1);
  const int safe = IsInstallableEntryName(name.c_str());
  FUZZ_CHECK(safe == (ModelInstallable(name) ? 1 : 0));
  if (!safe) return 0;
  // Never absolute, drive-relative or rooted.
  FUZZ_CHECK(name[0] != '\\' && name[0] != '/' && name.find(':') == std::string::npos);
  CheckStaysInside(name);

  // The entry's staging file beside it stays inside as well.
  const char kDir[] = "C:\\GAME";
  char destination[QX_MAX_PATH], staging[QX_MAX_PATH];
  if (JoinPath(destination, 2, kDir, name.c_str()) &&
      FormatStagingPath(destination, static_cast<uint32_t>(size), staging)) {
    const size_t skip = sizeof kDir;  // the directory and its backslash
    FUZZ_CHECK(std::strncmp(staging, "C:\\GAME\\", skip) == 0);
    FUZZ_CHECK(destination + skip == name);
    CheckStaysInside(staging + skip);
  }
  return 0;
}
