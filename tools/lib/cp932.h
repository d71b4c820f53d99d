// Conversions between host text (UTF-8) and code page 932, the encoding of
// archive names. Both refuse input that has no exact form in the other
// encoding (no best-fit substitutes), so a name never changes silently.
#ifndef QX_TOOLS_CP932_H
#define QX_TOOLS_CP932_H

#include <string>

// Utf8ToCp932 also refuses text whose code page 932 form reads back as other
// text ("¥" and "‾" become "\\" and "~", "〜" becomes "～"): the player's
// Windows would show, and find, another name.
bool Utf8ToCp932(const std::string& utf8, std::string* cp932);
bool Cp932ToUtf8(const std::string& cp932, std::string* utf8);

// The platform's own conversion to code page 932, without the check that it
// reads back (cp932_posix.cpp: iconv; cp932_win32.cpp: Windows).
bool EncodeCp932(const std::string& utf8, std::string* cp932);

// A name as Windows compares file names: every letter that code page 932 can
// hold upper-cased by its Unicode mapping (ASCII, full-width Latin, Greek,
// Cyrillic, Roman numerals), so that two names with one key are one file.
// Text that is not UTF-8 is its own key.
std::string WindowsNameKey(const std::string& utf8);

// A command-line argument as UTF-8: unchanged on POSIX hosts; converted from
// the ANSI code page on Windows, whose narrow arguments come in that code page.
std::string ArgumentToUtf8(const char* argument);

#endif
