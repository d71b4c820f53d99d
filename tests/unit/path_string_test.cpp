#include "support/path_string.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support/file_replace.h"

namespace {

std::string Join2(const char* a, const char* b) {
  char out[QX_MAX_PATH];
  JoinPath(out, 2, a, b);
  return out;
}

std::string DirPart(const char* path) {
  char out[QX_MAX_PATH] = "untouched";
  return GetDirectoryPart(path, out) ? out : std::string("<none>");
}

std::string NamePart(const char* path) {
  char out[QX_MAX_PATH];
  GetFileNamePart(path, out);
  return out;
}

}  // namespace

TEST(JoinPath, SeparatorRules) {
  EXPECT_EQ(Join2("C:\\Game\\", "data\\x.bin"), "C:\\Game\\data\\x.bin");
  EXPECT_EQ(Join2("C:\\", "x"), "C:\\\\x");
  EXPECT_EQ(Join2("", "install.log"), "\\install.log");
  EXPECT_EQ(Join2("\\\\", "srv"), "\\\\\\srv");
  EXPECT_EQ(Join2("\\\\a\\", "b"), "\\\\a\\b");
  EXPECT_EQ(Join2("dir", "sub\\"), "dir\\sub");
  EXPECT_EQ(Join2("dir", "\\sub"), "dir\\\\sub");
  EXPECT_EQ(Join2("dir/", "x"), "dir/\\x");  // only a backslash is trimmed
  char out[QX_MAX_PATH];
  EXPECT_EQ(JoinPath(out, 3, "a", "", "b"), 3);
  EXPECT_STREQ(out, "a\\b");
  EXPECT_EQ(JoinPath(out, 3, "C:\\ProgramData", "Brand", "Title.xml"), 30);
  EXPECT_STREQ(out, "C:\\ProgramData\\Brand\\Title.xml");
  EXPECT_EQ(JoinPath(nullptr, 1, "a"), 0);
  EXPECT_EQ(JoinPath(out, 0), 0);
  EXPECT_STREQ(out, "");
}

TEST(JoinPath, RefusesResultsThatDoNotFit) {
  std::string dir(250, 'd');
  char out[QX_MAX_PATH + 16];
  out[QX_MAX_PATH] = 'X';
  EXPECT_EQ(JoinPath(out, 2, dir.c_str(), "123456789"), 0);  // 260 bytes with NUL
  EXPECT_STREQ(out, "");
  EXPECT_EQ(out[QX_MAX_PATH], 'X');
  EXPECT_EQ(JoinPath(out, 2, dir.c_str(), "12345678"), 259);
  // A trailing backslash that is trimmed does not count against the room.
  EXPECT_EQ(JoinPath(out, 2, dir.c_str(), "12345678\\"), 259);
  EXPECT_EQ(std::string(out), dir + "\\12345678");
  std::string first = "C:\\" + std::string(256, 'd') + "\\";  // 260 bytes, 259 once trimmed
  EXPECT_EQ(JoinPath(out, 1, first.c_str()), 259);
  EXPECT_EQ(JoinPath(out, 2, dir.c_str(), "123456789\\"), 0);
  std::string huge(400, 'h');
  EXPECT_EQ(JoinPath(out, 1, huge.c_str()), 0);
  EXPECT_EQ(out[QX_MAX_PATH], 'X');
}

TEST(GetDirectoryPart, Splits) {
  EXPECT_EQ(DirPart("a\\b\\c.txt"), "a\\b");
  EXPECT_EQ(DirPart("a/b/c.txt"), "a/b");
  EXPECT_EQ(DirPart("C:\\c.txt"), "C:");
  EXPECT_EQ(DirPart("\\c.txt"), "<none>");
  EXPECT_EQ(DirPart("c.txt"), "<none>");
  EXPECT_EQ(DirPart(""), "<none>");
  EXPECT_EQ(DirPart(nullptr), "<none>");
  EXPECT_EQ(GetDirectoryPart("a\\b", nullptr), 1);
  char out[8] = "keep";
  EXPECT_EQ(GetDirectoryPart("plain", out), 0);
  EXPECT_STREQ(out, "keep");
}

TEST(ShiftJis, TrailByte5CIsNoSeparator) {
  // "表" is 0x95 0x5C; "ソ" is 0x83 0x5C; "能" is 0x94 0x5C.
  const char* path = "\x95\x5C\\\x83\x5C.dat";
  EXPECT_EQ(DirPart(path), "\x95\x5C");
  EXPECT_EQ(NamePart(path), "\x83\x5C.dat");
  EXPECT_EQ(DirPart("\x95\x5C.dat"), "<none>");
  EXPECT_EQ(NamePart("\x95\x5C.dat"), "\x95\x5C.dat");
  EXPECT_EQ(DirPart("表示\\ソフト\\x"), "表示\\ソフト");
  EXPECT_STREQ(GetExtension("a.\x83\x5C"), "\x83\x5C");
  // An install directory that ends in one keeps it; a real separator after it goes.
  EXPECT_EQ(Join2("C:\\Games\\才能", "install.log"), "C:\\Games\\才能\\install.log");
  EXPECT_EQ(Join2("C:\\Games\\才能\\", "install.log"), "C:\\Games\\才能\\install.log");
  EXPECT_EQ(Join2("D", "効果ソ"), "D\\効果ソ");
  // 纊 in the IBM rows (0xFA 0x5C): Windows reads one character, the updater two.
  EXPECT_EQ(IsSplitAsWindowsDoes("C:\\Games\\才能"), 1);
  EXPECT_EQ(IsSplitAsWindowsDoes("C:\\Games\\\xFA\x5C"), 0);
  EXPECT_EQ(IsSplitAsWindowsDoes("\xFA"), 1);  // no trail: a byte of its own either way
}

// Random code page 932 strings of characters with a 0x5C trail, ASCII and
// separators: no function splits or trims inside a character.
TEST(ShiftJis, PathFunctionsNeverCutACharacter) {
  const char* const pieces[] = {"\x83\x5C", "\x95\x5C", "\x94\x5C", "\x83\x7C", "\\",
                                "/",        "a",        ".",        "\xB1",     "\x82\xA0"};
  // Byte offsets at which a character starts; a cut anywhere else is wrong.
  auto boundaries = [](const std::string& s) {
    std::vector<bool> at(s.size() + 1, false);
    for (size_t i = 0; i <= s.size(); i += i < s.size() && IsDoubleByteChar(&s[i]) ? 2 : 1)
      at[i] = true;
    return at;
  };
  std::mt19937 random(42);
  for (int round = 0; round < 5000; ++round) {
    std::string a, b;
    for (int k = random() % 12; k > 0; --k) a += pieces[random() % 10];
    for (int k = random() % 6; k > 0; --k) b += pieces[random() % 10];
    const std::vector<bool> atA = boundaries(a);
    char dir[QX_MAX_PATH], name[QX_MAX_PATH], joined[QX_MAX_PATH], sibling[QX_MAX_PATH];
    if (GetDirectoryPart(a.c_str(), dir)) {
      ASSERT_TRUE(atA[std::strlen(dir)]) << a;
      EXPECT_TRUE(a[std::strlen(dir)] == '\\' || a[std::strlen(dir)] == '/') << a;
    }
    ASSERT_EQ(GetFileNamePart(a.c_str(), name), 1);
    EXPECT_TRUE(atA[a.size() - std::strlen(name)]) << a;
    EXPECT_TRUE(atA[GetExtension(a.c_str()) - a.c_str()]) << a;
    // JoinPath keeps a's characters whole and drops at most one real backslash.
    const int n = JoinPath(joined, 2, a.c_str(), b.c_str());
    const std::string j(joined, n);
    size_t kept = a.size();
    if (kept > 0 && a[kept - 1] == '\\' && atA[kept - 1] && a != "\\\\") --kept;
    ASSERT_EQ(j.compare(0, kept, a, 0, kept), 0) << a << " + " << b;
    EXPECT_TRUE(b.empty() || j[kept] == '\\') << a << " + " << b;
    // The sibling of a file below a: a's own characters, then the sibling's name.
    const std::string file = a + "\\F";
    if (FormatSiblingPath(file.c_str(), sibling)) {
      EXPECT_EQ(std::string(sibling).substr(std::strlen(sibling) - 12), "\\" QX_SIBLING_NAME) << a;
      GetDirectoryPart(file.c_str(), dir);
      EXPECT_EQ(std::string(sibling).compare(0, std::strlen(dir), dir), 0) << a;
    }
  }
}

TEST(GetFileNamePart, Cases) {
  EXPECT_EQ(NamePart("a\\b\\c.txt"), "c.txt");
  EXPECT_EQ(NamePart("c.txt"), "c.txt");
  EXPECT_EQ(NamePart("\\c.txt"), "\\c.txt");
  EXPECT_EQ(NamePart("a\\"), "");
  EXPECT_EQ(NamePart("a/b"), "b");
  EXPECT_EQ(GetFileNamePart("a", nullptr), 0);
}

TEST(GetExtension, Cases) {
  EXPECT_STREQ(GetExtension("a\\b.dat"), "dat");
  EXPECT_STREQ(GetExtension("b.tar.gz"), "gz");
  EXPECT_STREQ(GetExtension("b."), "");
  EXPECT_STREQ(GetExtension("dir.x\\b"), "");
  EXPECT_STREQ(GetExtension("dir.x/b"), "");
  EXPECT_STREQ(GetExtension(".cfg"), "cfg");
  EXPECT_STREQ(GetExtension("setup.EXE"), "EXE");
  EXPECT_STREQ(GetExtension("readme"), "");
  EXPECT_EQ(GetExtension(static_cast<const char*>(nullptr)), nullptr);
  const char* p = "x.y";
  EXPECT_EQ(GetExtension(p), p + 2);  // points into the path
}

TEST(IsDoubleByteChar, Ranges) {
  EXPECT_EQ(IsDoubleByteChar("\x81\x40"), 1);
  EXPECT_EQ(IsDoubleByteChar("\x9F\xFC"), 1);
  EXPECT_EQ(IsDoubleByteChar("\xE0\x7E"), 1);
  EXPECT_EQ(IsDoubleByteChar("\xEF\x80"), 1);
  EXPECT_EQ(IsDoubleByteChar("\xF0\x40"), 0);  // lead range ends at 0xEF
  EXPECT_EQ(IsDoubleByteChar("\xA0\x40"), 0);
  EXPECT_EQ(IsDoubleByteChar("\x81\x7F"), 0);
  EXPECT_EQ(IsDoubleByteChar("\x81\xFD"), 0);
  EXPECT_EQ(IsDoubleByteChar("\x81\x3F"), 0);
  EXPECT_EQ(IsDoubleByteChar("\x81"), 0);  // NUL is no trail byte
  EXPECT_EQ(IsDoubleByteChar(""), 0);
  EXPECT_EQ(IsDoubleByteChar(nullptr), 0);
}

TEST(ReadLine, TerminatorsAndConsumedCounts) {
  char out[QX_MAX_PATH];
  const char* text = "ab\r\ncd";
  EXPECT_EQ(ReadLine(text, out), 4);
  EXPECT_STREQ(out, "ab");
  EXPECT_EQ(ReadLine(text + 4, out), 2);
  EXPECT_STREQ(out, "cd");
  EXPECT_EQ(ReadLine(text + 6, out), 0);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(ReadLine("a\rb\n", out), 4);
  EXPECT_STREQ(out, "a\rb");
  EXPECT_EQ(ReadLine("\r\n", out), 2);
  EXPECT_EQ(ReadLine("\n", out), 1);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(ReadLine("x\r", out), 2);  // lone CR at the end belongs to the line
  EXPECT_STREQ(out, "x\r");
}

TEST(ReadLine, LongLinesAreMeasuredNotCopied) {
  char out[QX_MAX_PATH + 8];
  std::string fits(259, 'f');
  unsigned len = 0;
  EXPECT_EQ(ReadLine((fits + "\n").c_str(), out, &len), 260);
  EXPECT_EQ(len, 259u);
  EXPECT_EQ(std::string(out), fits);
  std::string tooLong(300, 't');
  out[QX_MAX_PATH] = 'X';
  EXPECT_EQ(ReadLine((tooLong + "\r\nnext").c_str(), out, &len), 302);
  EXPECT_EQ(len, 300u);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(out[QX_MAX_PATH], 'X');
}

TEST(MakeUpper, SkipsDoubleByteCharacters) {
  char s[] = "config\\startup.xml";
  EXPECT_EQ(MakeUpper(s), 18);
  EXPECT_STREQ(s, "CONFIG\\STARTUP.XML");
  // 0x82 0x61 is a double-byte character whose trail byte is 'a'; 0xB1 is a
  // half-width katakana and stays.
  char mixed[] = "a\x82\x61z\xB1q";
  MakeUpper(mixed);
  EXPECT_STREQ(mixed, "A\x82\x61Z\xB1Q");
  char lone[] = "\x82";  // a lead byte at the end is a single byte
  EXPECT_EQ(MakeUpper(lone), 1);
}

TEST(Bytes, CopyAndZero) {
  unsigned char a[4] = {1, 2, 3, 4};
  unsigned char b[4] = {0, 0, 0, 0};
  CopyBytes(b, a, 3);
  EXPECT_EQ(b[2], 3);
  EXPECT_EQ(b[3], 0);
  ZeroBytes(a, 2);
  EXPECT_EQ(a[0], 0);
  EXPECT_EQ(a[1], 0);
  EXPECT_EQ(a[2], 3);
  CopyBytes(nullptr, nullptr, 0);
  ZeroBytes(nullptr, 0);
}
