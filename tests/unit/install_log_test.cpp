#include "app/install_log.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Lines(const InstallLog& log) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < log.GetCount(); ++i) out.push_back(log.GetLine(i));
  return out;
}

using L = std::vector<std::string>;

}  // namespace

TEST(InstallLogText, LineEndsAndBlankLines) {
  InstallLog log;
  EXPECT_EQ(log.LoadText(""), 0u);
  EXPECT_EQ(log.LoadText("a\nb\r\nc"), 3u);
  EXPECT_EQ(Lines(log), (L{"a", "b", "c"}));

  InstallLog crlf;
  EXPECT_EQ(crlf.LoadText("x\r\ny\r\n"), 2u);  // no extra line after the last CR LF
  EXPECT_EQ(Lines(crlf), (L{"x", "y"}));

  InstallLog blank;
  blank.LoadText("\r\n\na\r\n\r\n");
  EXPECT_EQ(Lines(blank), (L{"", "", "a", ""}));
  blank.SortUnique();
  EXPECT_EQ(Lines(blank), (L{"", "a"}));

  InstallLog cr;
  cr.LoadText("a\rb\nc\r");  // a CR not followed by LF belongs to the line
  EXPECT_EQ(Lines(cr), (L{"a\rb", "c\r"}));
}

TEST(InstallLogText, LoadAppendsAfterHeldLines) {
  InstallLog log;
  log.Add("first");
  log.LoadText("second\r\nthird");
  EXPECT_EQ(Lines(log), (L{"first", "second", "third"}));
}

TEST(InstallLogText, OverlongLinesAreSkippedOrRefused) {
  std::string fits(QX_MAX_PATH - 1, 'f');
  std::string tooLong(QX_MAX_PATH, 't');
  InstallLog log;
  std::string text = "a\r\n" + tooLong + "\r\n" + fits + "\n" + tooLong + "\nz";
  EXPECT_EQ(log.LoadText(text.c_str()), 3u);
  EXPECT_EQ(Lines(log), (L{"a", fits, "z"}));

  EXPECT_EQ(log.Add(tooLong.c_str()), 0);
  EXPECT_EQ(log.GetCount(), 3u);
  EXPECT_EQ(log.Add(fits.c_str()), 1);
  EXPECT_EQ(log.GetCount(), 4u);
  EXPECT_EQ(std::string(log.GetLine(3)), fits);
}

TEST(InstallLogCompare, AsciiFoldingOnly) {
  EXPECT_EQ(InstallLog::CompareLines("ABC", "abc"), 0);
  EXPECT_LT(InstallLog::CompareLines("a_b", "aab"), 0);
  EXPECT_LT(InstallLog::CompareLines("A_B", "AAB"), 0);  // letters compare as lower case
  EXPECT_LT(InstallLog::CompareLines("A\\B", "AAB"), 0);
  EXPECT_LT(InstallLog::CompareLines("A[B", "AaB"), 0);
  EXPECT_LT(InstallLog::CompareLines("ab", "abc"), 0);
  EXPECT_GT(InstallLog::CompareLines("abc", "ab"), 0);
  EXPECT_LT(InstallLog::CompareLines("", "a"), 0);
  EXPECT_GT(InstallLog::CompareLines("\x82\xA0", "z"), 0);  // bytes are unsigned
  // Second bytes of double-byte characters fold like any other byte.
  EXPECT_EQ(InstallLog::CompareLines("\x83\x41", "\x83\x61"), 0);
  // Only A-Z fold: '@' and '`', '[' and '{' stay apart.
  EXPECT_NE(InstallLog::CompareLines("@", "`"), 0);
  EXPECT_NE(InstallLog::CompareLines("[", "{"), 0);
}

TEST(InstallLogSortUnique, OrderAndFirstSpellingKept) {
  InstallLog log;
  log.LoadText("\"C:\\Game\\Data\\a.txt\"\r\n\"C:\\Game\\ZED.TXT\"\r\n\"C:\\Game\\A_B\"\r\n");
  log.Add("\"C:\\GAME\\ZED.TXT\"");
  log.Add("\"C:\\GAME\\DATA\\A.TXT\"");
  log.Add("\"C:\\GAME\\AAB\"");
  log.Add("\"C:\\GAME\\\x83\x61\"");
  log.Add("\"C:\\GAME\\\x83\x41\"");
  EXPECT_EQ(log.SortUnique(), 1);
  EXPECT_EQ(Lines(log), (L{"\"C:\\Game\\A_B\"", "\"C:\\GAME\\AAB\"", "\"C:\\Game\\Data\\a.txt\"",
                           "\"C:\\Game\\ZED.TXT\"", "\"C:\\GAME\\\x83\x61\""}));
}

TEST(InstallLogSortUnique, MatchesAStableReference) {
  // Many case variants of few names: the survivor of each group must be the
  // earliest added, and groups must come out in folded order.
  std::mt19937 random(12345);
  const char* stems[] = {"a_b", "aab", "Ab", "ab", "B", "b_", "\x83\x41", "", "z"};
  InstallLog log;
  std::vector<std::string> added;
  for (int i = 0; i < 2000; ++i) {
    std::string s = stems[random() % 9];
    for (char& c : s)
      if (c >= 'a' && c <= 'z' && random() % 2) c = static_cast<char>(c - 'a' + 'A');
    if (s == "\x83\x41" && random() % 2) s = "\x83\x61";
    log.Add(s.c_str());
    added.push_back(s);
  }
  std::vector<std::string> expected;  // first of each fold class, in order of class
  for (const std::string& s : added) {
    bool seen = false;
    for (const std::string& e : expected)
      seen = seen || InstallLog::CompareLines(e.c_str(), s.c_str()) == 0;
    if (!seen) expected.push_back(s);
  }
  std::stable_sort(expected.begin(), expected.end(),
                   [](const std::string& a, const std::string& b) {
                     return InstallLog::CompareLines(a.c_str(), b.c_str()) < 0;
                   });
  log.SortUnique();
  EXPECT_EQ(Lines(log), expected);
}

TEST(InstallLogFormat, CrLfAppended) {
  char out[INSTALL_LOG_FORMATTED_SIZE];
  EXPECT_EQ(InstallLog::FormatLine("\"C:\\G\\A\"", out), 10u);
  EXPECT_STREQ(out, "\"C:\\G\\A\"\r\n");
  EXPECT_EQ(InstallLog::FormatLine("", out), 2u);
  EXPECT_STREQ(out, "\r\n");
  std::string longest(QX_MAX_PATH - 1, 'l');
  EXPECT_EQ(InstallLog::FormatLine(longest.c_str(), out), QX_MAX_PATH + 1u);
  EXPECT_EQ(std::string(out), longest + "\r\n");
}
