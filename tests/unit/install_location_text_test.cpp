#include "app/install_location_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/path_string.h"

TEST(FindSubstring, BytesNotCharacters) {
  EXPECT_EQ(FindSubstring("abcabc", "cab"), 2);
  EXPECT_EQ(FindSubstring("abc", "abcd"), -1);
  EXPECT_EQ(FindSubstring("abc", ""), 0);
  EXPECT_EQ(FindSubstring("", ""), -1);
  EXPECT_EQ(FindSubstring("", "a"), -1);
  EXPECT_EQ(FindSubstring("ABC", "b"), -1);
  EXPECT_EQ(FindSubstring(nullptr, "a"), -1);
  EXPECT_EQ(FindSubstring("a", nullptr), -1);
  // A trail byte matches on its own: no regard to double-byte characters.
  EXPECT_EQ(FindSubstring("\x95\x5C", "\\"), 1);
  EXPECT_EQ(FindSubstring("1, 0", ","), 1);
}

namespace {

std::string Extract(const std::string& text, int* ok = nullptr) {
  char out[QX_MAX_PATH];
  std::memset(out, 'U', sizeof(out));
  out[QX_MAX_PATH - 1] = '\0';
  int r = ExtractInstallPath(text.c_str(), out);
  if (ok) *ok = r;
  return r ? std::string(out) : std::string("<fail>");
}

}  // namespace

TEST(ExtractInstallPath, TakesTheFirstElementVerbatim) {
  EXPECT_EQ(Extract("<?xml version=\"1.0\"?><root><path>C:\\Game</path></root>"), "C:\\Game");
  EXPECT_EQ(Extract("<path>C:\\A</path><path>C:\\B</path>"), "C:\\A");
  EXPECT_EQ(Extract("<path> C:\\G \t\r\n</path>"), " C:\\G \t\r\n");
  EXPECT_EQ(Extract("<path>C:\\Game\\</path>"), "C:\\Game\\");
  EXPECT_EQ(Extract("<path>C:\\&amp;</path>"), "C:\\&amp;");
  EXPECT_EQ(Extract("<path>C:\\ゲーム\\表示</path>"), "C:\\ゲーム\\表示");
}

TEST(ExtractInstallPath, TagsMustBeExact) {
  EXPECT_EQ(Extract("<PATH>C:\\G</PATH>"), "<fail>");
  EXPECT_EQ(Extract("<path id=\"1\">C:\\G</path>"), "<fail>");
  EXPECT_EQ(Extract("< path>C:\\G</path>"), "<fail>");
  EXPECT_EQ(Extract("<path>C:\\G"), "<fail>");
  EXPECT_EQ(Extract(""), "<fail>");
}

TEST(ExtractInstallPath, EmptyOrOversizedDirectoryFails) {
  // Reversed or adjacent tags give an empty directory: refused, so a run never
  // writes to the root of the current drive.
  EXPECT_EQ(Extract("</path><path>"), "<fail>");
  EXPECT_EQ(Extract("<path></path>"), "<fail>");
  std::string fits(259, 'd');
  EXPECT_EQ(Extract("<path>" + fits + "</path>"), fits);
  std::string tooLong(260, 'd');
  int ok = 1;
  EXPECT_EQ(Extract("<path>" + tooLong + "</path>", &ok), "<fail>");
  EXPECT_EQ(ok, 0);
}

TEST(ExtractInstallPath, OutputUntouchedOnFailure) {
  char out[QX_MAX_PATH] = "previous";
  EXPECT_EQ(ExtractInstallPath("<path>", out), 0);
  EXPECT_STREQ(out, "previous");
  EXPECT_EQ(ExtractInstallPath("<path>x</path>", out), 1);
  EXPECT_STREQ(out, "x");
  for (int i = 1; i < QX_MAX_PATH; ++i) ASSERT_EQ(out[i], 0) << i;
}
