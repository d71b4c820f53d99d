#include "app/message_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/messages.h"
#include "support/path_string.h"

namespace {

std::string Format(const char* format, const char* text) {
  char out[QX_MAX_PATH + 8];
  std::memset(out, 'X', sizeof out);
  int n = FormatWithText(out, format, text);
  EXPECT_EQ(n, static_cast<int>(std::strlen(out)));
  for (std::size_t i = QX_MAX_PATH; i < sizeof out; ++i) EXPECT_EQ(out[i], 'X') << "overrun";
  return out;
}

std::string Repeat(const char* unit, int count) {
  std::string s;
  for (int i = 0; i < count; ++i) s += unit;
  return s;
}

}  // namespace

TEST(FormatWithText, InsertsTextVerbatim) {
  EXPECT_EQ(Format(MSG_CONFIRM_FMT, "ゲーム"), "ゲームのアップデートを行います。");
  EXPECT_EQ(Format("[%s]", "100%s %d"), "[100%s %d]");
  EXPECT_EQ(Format("[%s] %s", "a"), "[a] %s");
  EXPECT_EQ(Format("no directive", "a"), "no directive");
  EXPECT_EQ(Format("[%s]", nullptr), "[]");
  EXPECT_EQ(FormatWithText(nullptr, "x", "y"), 0);
  char out[QX_MAX_PATH] = "old";
  EXPECT_EQ(FormatWithText(out, nullptr, "y"), 0);
  EXPECT_STREQ(out, "");
}

TEST(FormatWithText, CutsLongTextToFit) {
  std::string ascii(300, 'a');
  std::string s = Format("<%s>", ascii.c_str());
  EXPECT_EQ(s.size(), QX_MAX_PATH - 1u);
  EXPECT_EQ(s, "<" + std::string(QX_MAX_PATH - 3, 'a') + ">");

  std::string exact(QX_MAX_PATH - 3, 'b');
  EXPECT_EQ(Format("<%s>", exact.c_str()), "<" + exact + ">");
}

TEST(FormatWithText, NeverSplitsDoubleByteCharacter) {
  // "<" + text + ">" leaves 257 bytes for the text: an odd count, so a cut by
  // bytes alone would keep half of the 129th character.
  std::string wide = Repeat("あ", 200);
  std::string s = Format("<%s>", wide.c_str());
  EXPECT_EQ(s, "<" + Repeat("あ", 128) + ">");

  std::string title = Repeat("ア", 127);  // 254 bytes, as a loaded title can be
  std::string confirm = Format(MSG_CONFIRM_FMT, title.c_str());
  std::string suffix = Format(MSG_CONFIRM_FMT, "");
  EXPECT_LE(confirm.size(), QX_MAX_PATH - 1u);
  EXPECT_EQ(confirm,
            Repeat("ア", static_cast<int>((QX_MAX_PATH - 1 - suffix.size()) / 2)) + suffix);

  // A trail byte in the ASCII range (0x5C) belongs to its character.
  std::string so = Repeat("ソ", 200);
  std::string t = Format("<%s>", so.c_str());
  EXPECT_EQ(t, "<" + Repeat("ソ", 128) + ">");
}

TEST(FormatWithText, RefusesFormatThatCannotFit) {
  std::string format = "%s" + std::string(QX_MAX_PATH, 'f');
  char out[QX_MAX_PATH] = "old";
  EXPECT_EQ(FormatWithText(out, format.c_str(), "x"), 0);
  EXPECT_STREQ(out, "");
  format.resize(QX_MAX_PATH + 1);  // 259 bytes around the directive: no room
  EXPECT_EQ(Format(format.c_str(), "xyz"), format.substr(2));
  format.resize(QX_MAX_PATH - 1);  // 257 bytes around it: room for two
  EXPECT_EQ(Format(format.c_str(), "xyz"), "xy" + format.substr(2));
}

TEST(FormatReport, FailureMoreAndClosingOnTheirOwnLines) {
  char out[QX_MAX_REPORT];
  FormatReport(out, MSG_UPDATE_FILE_FAILED_FMT, "C:\\能\\A.TXT", 0, MSG_MORE_FAILED_FMT,
               MSG_NOT_APPLIED);
  EXPECT_EQ(std::string(out), "ファイル C:\\能\\A.TXT の更新に失敗しました\r\n" MSG_NOT_APPLIED);
  FormatReport(out, MSG_DISK_FULL, "", 12, MSG_MORE_FAILED_FMT, MSG_NOT_APPLIED);
  EXPECT_EQ(std::string(out),
            MSG_DISK_FULL "\r\nほかに 12 個のファイルも更新できません。\r\n" MSG_NOT_APPLIED);
  // The longest path is cut at a character boundary; the report still fits.
  const std::string path = Repeat("表", 200);
  EXPECT_LT(FormatReport(out, MSG_UPDATE_FILE_FAILED_FMT, path.c_str(), 4294967295u,
                         MSG_MORE_FAILED_FMT, MSG_RUN_AGAIN),
            static_cast<int>(QX_MAX_REPORT));
  EXPECT_NE(std::string(out).find("4294967295"), std::string::npos);
}
