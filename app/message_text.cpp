#include "app/message_text.h"

#include <cstdio>
#include <cstring>

#include "support/path_string.h"

namespace {

// Length of the longest prefix of text that fits room bytes and ends on a
// character boundary.
std::size_t FittingPrefix(const char* text, std::size_t room) {
  std::size_t i = 0;
  while (text[i]) {
    std::size_t step = IsDoubleByteChar(text + i) ? 2 : 1;
    if (i + step > room) break;
    i += step;
  }
  return i;
}

}  // namespace

int FormatWithText(char* out, const char* format, const char* text) {
  if (!out) return 0;
  out[0] = '\0';
  if (!format) return 0;
  if (!text) text = "";
  const char* directive = std::strstr(format, "%s");
  std::size_t head = directive ? static_cast<std::size_t>(directive - format) : std::strlen(format);
  const char* tail = directive ? directive + 2 : format + head;
  std::size_t tailLength = std::strlen(tail);
  if (head + tailLength >= QX_MAX_PATH) return 0;
  std::size_t textLength = directive ? FittingPrefix(text, QX_MAX_PATH - 1 - head - tailLength) : 0;
  std::memcpy(out, format, head);
  std::memcpy(out + head, text, textLength);
  std::memcpy(out + head + textLength, tail, tailLength + 1);
  return static_cast<int>(head + textLength + tailLength);
}

int FormatReport(char* out, const char* format, const char* path, unsigned more,
                 const char* moreFormat, const char* closing) {
  char line[QX_MAX_PATH];
  std::size_t length = static_cast<std::size_t>(FormatWithText(line, format, path));
  std::memcpy(out, line, length);
  if (more) {
    char count[16];
    std::snprintf(count, sizeof count, "%u", more);
    const std::size_t n = static_cast<std::size_t>(FormatWithText(line, moreFormat, count));
    std::memcpy(out + length, "\r\n", 2);
    std::memcpy(out + length + 2, line, n);
    length += 2 + n;
  }
  const std::size_t n = static_cast<std::size_t>(FormatWithText(line, closing, ""));
  std::memcpy(out + length, "\r\n", 2);
  std::memcpy(out + length + 2, line, n + 1);
  return static_cast<int>(length + 2 + n);
}
