// Conversions between host text (UTF-8) and code page 932, the encoding of
// archive names. Both refuse input that has no exact form in the other
// encoding (no best-fit substitutes), so a name never changes silently.
#ifndef QX_TOOLS_CP932_H
#define QX_TOOLS_CP932_H

#include <string>
#include <vector>

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

// UTF-8 as UTF-16 (surrogate pairs past U+FFFF); false when it is not UTF-8.
bool Utf8ToUtf16(const std::string& utf8, std::u16string* utf16);

// The program's arguments after its name, as UTF-8: argv as it is on POSIX
// hosts; on Windows the UTF-16 command line, so that a name outside the ANSI
// code page (a Korean folder, an emoji) arrives whole instead of as '?'.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

#endif
