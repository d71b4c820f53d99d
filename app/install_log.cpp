#include "app/install_log.h"

#include <algorithm>
#include <cstring>

namespace {

unsigned char FoldCase(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

}  // namespace

std::size_t InstallLog::LoadText(const char* text) {
  std::size_t added = 0;
  InstallLogLine line;
  for (;;) {
    unsigned length = 0;
    int consumed = ReadLine(text, line.text, &length);
    if (consumed == 0) break;
    text += consumed;
    if (length >= QX_MAX_PATH) continue;  // cannot be stored whole
    lines.push_back(line);
    ++added;
  }
  return added;
}

int InstallLog::Add(const char* text) {
  std::size_t length = std::strlen(text);
  if (length >= QX_MAX_PATH) return 0;
  InstallLogLine line;
  std::memcpy(line.text, text, length + 1);
  lines.push_back(line);
  return 1;
}

int InstallLog::CompareLines(const char* a, const char* b) {
  const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
  const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
  for (;; ++x, ++y) {
    int d = FoldCase(*x) - FoldCase(*y);
    if (d != 0 || *x == 0) return d;
  }
}

int InstallLog::SortUnique() {
  auto less = [](const InstallLogLine& a, const InstallLogLine& b) {
    return CompareLines(a.text, b.text) < 0;
  };
  auto equal = [](const InstallLogLine& a, const InstallLogLine& b) {
    return CompareLines(a.text, b.text) == 0;
  };
  std::stable_sort(lines.begin(), lines.end(), less);
  lines.erase(std::unique(lines.begin(), lines.end(), equal), lines.end());
  return 1;
}

std::size_t InstallLog::FormatLine(const char* text, char* out) {
  std::size_t length = 0;
  while (length < QX_MAX_PATH - 1 && text[length]) ++length;
  std::memcpy(out, text, length);
  out[length] = '\r';
  out[length + 1] = '\n';
  out[length + 2] = '\0';
  return length + 2;
}

int InstallLog::FormatPathLine(const char* path, char* out) {
  const std::size_t length = std::strlen(path);
  out[0] = '\0';
  if (length + 2 >= QX_MAX_PATH) return 0;
  out[0] = '"';
  std::memcpy(out + 1, path, length);
  out[length + 1] = '"';
  out[length + 2] = '\0';
  return static_cast<int>(length + 2);
}
