#include <gtest/gtest.h>

#include "support/path_fs.h"
#include "tests/unit/win32_temp.h"

TEST(ProbePath, FileDirectoryAbsent) {
  TempDir dir;
  ASSERT_TRUE(WriteWholeFile(dir.File("f"), "x"));
  EXPECT_EQ(ProbePath(dir.File("f").c_str()), PROBE_FILE);
  EXPECT_EQ(ProbePath(dir.path().c_str()), PROBE_DIRECTORY);
  EXPECT_EQ(ProbePath(dir.File("none").c_str()), PROBE_ABSENT);
  EXPECT_EQ(ProbePath(nullptr), PROBE_ABSENT);
}

TEST(MakeDirectories, CreatesTheChainOutermostFirst) {
  TempDir dir;
  std::string file = dir.File("a\\b\\f.dat");
  EXPECT_EQ(MakeDirectories(file.c_str(), 1), 1);
  EXPECT_EQ(ProbePath(dir.File("a").c_str()), PROBE_DIRECTORY);
  EXPECT_EQ(ProbePath(dir.File("a\\b").c_str()), PROBE_DIRECTORY);
  EXPECT_EQ(ProbePath(file.c_str()), PROBE_ABSENT);
  EXPECT_EQ(MakeDirectories(file.c_str(), 1), 1);  // exists already
  EXPECT_EQ(MakeDirectories(dir.File("c\\d").c_str(), 0), 1);
  EXPECT_EQ(ProbePath(dir.File("c\\d").c_str()), PROBE_DIRECTORY);
  // Japanese directory names, one with a 0x5C trail byte.
  std::string jp = dir.File("表示\\ソフト\\x.bin");
  EXPECT_EQ(MakeDirectories(jp.c_str(), 1), 1);
  EXPECT_EQ(ProbePath(dir.File("表示\\ソフト").c_str()), PROBE_DIRECTORY);
}

TEST(MakeDirectories, RefusesWhereAFileIsInTheWay) {
  TempDir dir;
  ASSERT_TRUE(WriteWholeFile(dir.File("a"), "file"));
  EXPECT_EQ(MakeDirectories(dir.File("a\\b\\f.dat").c_str(), 1), 0);
  EXPECT_EQ(ProbePath(dir.File("a").c_str()), PROBE_FILE);
}

TEST(MakeDirectories, EndsWithoutADriveOrExistingParent) {
  EXPECT_EQ(MakeDirectories("C:", 0), 1);
  EXPECT_EQ(MakeDirectories("z:", 1), 1);  // a drive is there before any test
  EXPECT_EQ(MakeDirectories("nofile", 1), 0);
  EXPECT_EQ(MakeDirectories("qx_no_such_root\\a\\b", 0), 0);
  EXPECT_EQ(ProbePath("qx_no_such_root"), PROBE_ABSENT);
  EXPECT_EQ(MakeDirectories(nullptr, 0), 0);
  std::string tooLong = "C:\\" + std::string(300, 'x');
  EXPECT_EQ(MakeDirectories(tooLong.c_str(), 0), 0);
}
