#include "support/file_replace.h"

#include <gtest/gtest.h>

#include <string>

#include "support/path_string.h"

namespace {

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
