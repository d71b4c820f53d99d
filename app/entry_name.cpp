#include "app/entry_name.h"

#include "support/file_replace.h"
#include "support/path_string.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Whether the component [begin, end) is exactly "..".
bool IsParentComponent(const char* begin, const char* end) {
  return end - begin == 2 && begin[0] == '.' && begin[1] == '.';
}

}  // namespace

int IsSafeEntryName(const char* name) {
  if (!name || !name[0] || IsSeparator(name[0])) return 0;
  const char* component = name;
  const char* p = name;
  for (;;) {
    if (IsDoubleByteChar(p)) {
      p += 2;
      continue;
    }
    if (*p == ':') return 0;
    if (*p == '\0' || IsSeparator(*p)) {
      if (IsParentComponent(component, p)) return 0;
      if (*p == '\0') return 1;
      component = p + 1;
    }
    ++p;
  }
}

int IsInstallableEntryName(const char* name) {
  return IsSafeEntryName(name) && !IsSiblingName(name);
}
