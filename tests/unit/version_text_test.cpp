#include "app/version_text.h"

#include <gtest/gtest.h>

#include <string>

#include "support/path_string.h"

namespace {

struct Words {
  uint32_t ms;
  uint32_t ls;
};

Words Parse(const char* text) {
  Words w{0xDEADBEEF, 0xDEADBEEF};
  ParseFileVersion(text, &w.ms, &w.ls);
  return w;
}

}  // namespace

TEST(ParseInteger, DecimalHexAndSigns) {
  int32_t v = 7;
  EXPECT_EQ(ParseInteger("123", &v), 1);
  EXPECT_EQ(v, 123);
  EXPECT_EQ(ParseInteger("-42x", &v), 1);
  EXPECT_EQ(v, -42);
  EXPECT_EQ(ParseInteger("+9", &v), 1);
  EXPECT_EQ(v, 9);
  EXPECT_EQ(ParseInteger("0x1f", &v), 1);
  EXPECT_EQ(v, 31);
  EXPECT_EQ(ParseInteger("0XaB,", &v), 1);
  EXPECT_EQ(v, 171);
  EXPECT_EQ(ParseInteger("0x", &v), 1);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(ParseInteger("-0x10", &v), 1);
  EXPECT_EQ(v, -16);
  EXPECT_EQ(ParseInteger("4294967297", &v), 1);  // wraps
  EXPECT_EQ(v, 1);
}

TEST(ParseInteger, Failures) {
  int32_t v = 7;
  EXPECT_EQ(ParseInteger(nullptr, &v), 0);
  EXPECT_EQ(ParseInteger("", &v), 0);
  EXPECT_EQ(ParseInteger(" 5", &v), 0);
  EXPECT_EQ(ParseInteger("-", &v), 0);
  EXPECT_EQ(ParseInteger("+x", &v), 0);
  EXPECT_EQ(v, 7);  // untouched by all of the above
  EXPECT_EQ(ParseInteger("-25.5", &v), 0);
  EXPECT_EQ(v, 25);  // digits before the dot, not negated
}

TEST(ParseFileVersion, UsualForms) {
  Words w = Parse("1, 0, 0, 1");
  EXPECT_EQ(w.ms, 65536u);
  EXPECT_EQ(w.ls, 1u);
  w = Parse("1, 0, 0, 10");
  EXPECT_EQ(w.ms, 0x10000u);
  EXPECT_EQ(w.ls, 10u);
  w = Parse("1,2,3,4");
  EXPECT_EQ(w.ms, 0x10002u);
  EXPECT_EQ(w.ls, 0x30004u);
  w = Parse("  7,  8,   9,    10 beta");
  EXPECT_EQ(w.ms, 0x70008u);
  EXPECT_EQ(w.ls, 0x9000Au);
}

TEST(ParseFileVersion, MissingCommasLeaveZeros) {
  Words w = Parse("1.0.2.5");
  EXPECT_EQ(w.ms, 0u);
  EXPECT_EQ(w.ls, 0u);
  w = Parse("");
  EXPECT_EQ(w.ms, 0u);
  EXPECT_EQ(w.ls, 0u);
  w = Parse("3, 4, 5");  // the third has no closing comma
  EXPECT_EQ(w.ms, 0x30004u);
  EXPECT_EQ(w.ls, 0u);
  w = Parse("3");
  EXPECT_EQ(w.ms, 0u);
  w = Parse("3, 4");
  EXPECT_EQ(w.ms, 0x30000u);
  EXPECT_EQ(w.ls, 0u);
}

TEST(ParseFileVersion, OddComponents) {
  Words w = Parse("0x10, 65536, 2.5, 65537");
  EXPECT_EQ(w.ms, 0x100000u);  // 16 and 0
  EXPECT_EQ(w.ls, 0x20001u);   // 2 and 1
  w = Parse(", x, , 4");       // empty and unreadable components read as 0
  EXPECT_EQ(w.ms, 0u);
  EXPECT_EQ(w.ls, 4u);
  w = Parse("1, -1, 0, 0");
  EXPECT_EQ(w.ms, 0x1FFFFu);
  w = Parse("1.5, 2, 3, 4");
  EXPECT_EQ(w.ms, 0x10002u);
}

TEST(CopyFieldText, CutsAtCharacterBoundary) {
  char field[8];
  CopyFieldText(field, sizeof field, "abc");
  EXPECT_STREQ(field, "abc");
  CopyFieldText(field, sizeof field, "abcdefghij");
  EXPECT_STREQ(field, "abcdefg");
  // Six single bytes then a double-byte character: the pair would need bytes
  // 6 and 7, leaving no room for the NUL, so it is dropped whole.
  CopyFieldText(field, sizeof field, "abcdef\x82\xA0");
  EXPECT_STREQ(field, "abcdef");
  CopyFieldText(field, sizeof field, "abcde\x82\xA0z");
  EXPECT_STREQ(field, "abcde\x82\xA0");
  std::string big(300, 'v');
  char record[256];
  CopyFieldText(record, sizeof record, big.c_str());
  EXPECT_EQ(std::string(record), std::string(255, 'v'));
}

TEST(CopyFieldText, ReadsNoFurtherThanTheValueLength) {
  char field[8] = "keep";
  // A value with no NUL where its length ends: nothing past it is read.
  const char unterminated[4] = {'a', 'b', 'c', 'X'};
  CopyFieldText(field, sizeof field, unterminated, 3);
  EXPECT_STREQ(field, "abc");
  // A lead byte as the value's last byte is taken alone; its "trail" is not read.
  CopyFieldText(field, sizeof field, "ab\x82\xA0", 3);
  EXPECT_STREQ(field, "ab\x82");
  CopyFieldText(field, 0, "never written", 13);
  EXPECT_STREQ(field, "ab\x82");
}
