#include "support/file_replace.h"

#include <gtest/gtest.h>

#include <string>

#include "support/path_string.h"

namespace {

TEST(FileReplace, SiblingNamesAreRefusedInEverySpelling) {
  struct Case {
    const char* name;
    int sibling;
  } cases[] = {
      {"~QXNEW~.TMP", 1},         {"~qxnew~.tmp", 1},  // the file system does not tell case
      {"DATA\\~QxNew~.Tmp", 1},                        // in any directory
      {"~QXNEW~.TMP. .", 1},                           // trailing dots and blanks are dropped
      {"~QXNEW~.TMPX", 0},        {"X~QXNEW~.TMP", 0},
      {"~QXNEW~.TMP\\A.DAT", 0},   // a directory of that name is no sibling
      {"\x95\\~QXNEW~.TMP", 0},    // 表 then the name: one component, not two
      {"\x95\\\\~QXNEW~.TMP", 1},  // 表 as a directory
  };
  for (const Case& c : cases) EXPECT_EQ(IsSiblingName(c.name), c.sibling) << c.name;
}

TEST(FileReplace, SiblingPathFitsTheFileObject) {
  char sibling[QX_MAX_PATH];
  ASSERT_EQ(FormatSiblingPath("C:\\GAME\\DATA\\A.DAT", sibling), 1);
  EXPECT_STREQ(sibling, "C:\\GAME\\DATA\\~QXNEW~.TMP");
  EXPECT_EQ(FormatSiblingPath("A.DAT", sibling), 0);  // no directory to put it in
  EXPECT_STREQ(sibling, "");
  const std::string name(QX_MAX_FILE_PATH - 12, 'd');  // sibling path of exactly 255 bytes
  EXPECT_EQ(FormatSiblingPath((name + "\\A").c_str(), sibling), 1);
  EXPECT_EQ(std::string(sibling).size(), static_cast<size_t>(QX_MAX_FILE_PATH));
  EXPECT_EQ(FormatSiblingPath((name + "d\\A").c_str(), sibling), 0);
}

}  // namespace
