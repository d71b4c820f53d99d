// Conversions between host text (UTF-8) and code page 932, the encoding of
// archive names. Both refuse input that has no exact form in the other
// encoding (no best-fit substitutes), so a name never changes silently.
#ifndef QX_TOOLS_CP932_H
#define QX_TOOLS_CP932_H

#include <string>

bool Utf8ToCp932(const std::string& utf8, std::string* cp932);
bool Cp932ToUtf8(const std::string& cp932, std::string* utf8);

// A command-line argument as UTF-8: unchanged on POSIX hosts; converted from
// the ANSI code page on Windows, whose narrow arguments come in that code page.
std::string ArgumentToUtf8(const char* argument);

#endif
