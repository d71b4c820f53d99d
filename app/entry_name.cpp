#include "app/entry_name.h"

#include <cstring>

#include "app/messages.h"
#include "support/file_replace.h"
#include "support/path_string.h"

namespace {

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Whether the length bytes at s spell word, ignoring ASCII case.
bool Spells(const char* s, unsigned length, const char* word) {
  if (std::strlen(word) != length) return false;
  for (unsigned i = 0; i < length; ++i)
    if (UpperAscii(s[i]) != UpperAscii(word[i])) return false;
  return true;
}

// A byte that is a character of its own in code page 932, as Windows reads it
// and as the updater walks it: ASCII and the half-width katakana.
bool IsSingleByteChar(unsigned char c) { return c < 0x80 || (c >= 0xA1 && c <= 0xDF); }

bool IsForbidden(unsigned char c) { return c < 0x20 || std::strchr("<>:\"/|?*", c); }

// Windows opens a device for these names, whatever follows a dot.
bool IsDeviceName(const char* component, unsigned length) {
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  unsigned base = 0;
  while (base < length && component[base] != '.') ++base;
  while (base > 0 && component[base - 1] == ' ') --base;
  for (const char* device : kDevices)
    if (Spells(component, base, device)) return true;
  if (base != 4 || component[3] < '1' || component[3] > '9') return false;
  return Spells(component, 3, "COM") || Spells(component, 3, "LPT");
}

// The characters of one component, up to its separator or the end.
EntryNameProblem CheckCharacters(const char* component, unsigned* length) {
  const char* p = component;
  while (*p && *p != '\\') {
    if (IsDoubleByteChar(p)) {
      p += 2;
      continue;
    }
    const unsigned char c = static_cast<unsigned char>(*p);
    if (IsForbidden(c)) return ENTRY_NAME_FORBIDDEN_CHARACTER;
    if (!IsSingleByteChar(c)) return ENTRY_NAME_UNKNOWN_CHARACTER;
    ++p;
  }
  *length = static_cast<unsigned>(p - component);
  return ENTRY_NAME_OK;
}

EntryNameProblem CheckComponent(const char* component, unsigned length, bool top) {
  if (length == 0) return ENTRY_NAME_EMPTY;
  if (Spells(component, length, ".") || Spells(component, length, ".."))
    return ENTRY_NAME_DOT_COMPONENT;
  // Neither '.' nor ' ' is ever a trail byte, so the last byte tells.
  const char last = component[length - 1];
  if (last == '.' || last == ' ') return ENTRY_NAME_TRAILING_DOT_OR_BLANK;
  if (IsDeviceName(component, length)) return ENTRY_NAME_DEVICE;
  if (IsWorkingFileName(component, length)) return ENTRY_NAME_WORKING_FILE;
  if (top &&
      (Spells(component, length, INSTALL_LOG_NAME) || Spells(component, length, WORK_FILE_NAME)))
    return ENTRY_NAME_WORKING_FILE;
  return ENTRY_NAME_OK;
}

}  // namespace

EntryNameProblem CheckEntryName(const char* name) {
  if (!name) return ENTRY_NAME_EMPTY;
  const char* component = name;
  for (bool top = true;; top = false) {
    unsigned length = 0;
    EntryNameProblem problem = CheckCharacters(component, &length);
    if (problem == ENTRY_NAME_OK) problem = CheckComponent(component, length, top);
    if (problem != ENTRY_NAME_OK) return problem;
    if (component[length] == '\0') return ENTRY_NAME_OK;
    component += length + 1;
  }
}

int IsInstallableEntryName(const char* name) {
  return CheckEntryName(name) == ENTRY_NAME_OK ? 1 : 0;
}

int IsExecutableName(const char* name) {
  const char* extension = GetExtension(name);
  return extension && Spells(extension, static_cast<unsigned>(std::strlen(extension)), "exe");
}
