#include "app/install_location_text.h"

#include "support/path_string.h"

int FindSubstring(const char* text, const char* pattern) {
  if (!text || !pattern) return -1;
  for (int i = 0; text[i]; ++i) {
    int k = 0;
    while (pattern[k] && text[i + k] == pattern[k]) ++k;
    if (!pattern[k]) return i;
  }
  return -1;
}

int ExtractInstallPath(const char* text, char* out) {
  static const char kOpen[] = "<path>";
  int a = FindSubstring(text, kOpen);
  int b = FindSubstring(text, "</path>");
  if (a < 0 || b < 0) return 0;
  int start = a + static_cast<int>(sizeof(kOpen) - 1);
  if (b <= start) return 0;                // empty: never the drive root
  if (b - start >= QX_MAX_PATH) return 0;  // would not fit with its NUL
  ZeroBytes(out, QX_MAX_PATH);
  CopyBytes(out, text + start, static_cast<unsigned>(b - start));
  return 1;
}
