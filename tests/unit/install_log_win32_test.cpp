#include <gtest/gtest.h>

#include <string>

#include "app/install_log.h"
#include "support/process.h"
#include "tests/unit/win32_temp.h"

namespace {

class InstallLogFile : public ::testing::Test {
 protected:
  void SetUp() override {
    DestroyPrivateHeap();
    ASSERT_EQ(CreatePrivateHeap(1 << 20), 1);
  }
  void TearDown() override { DestroyPrivateHeap(); }

  std::string Saved(const InstallLog& log) {
    std::string path = dir.File("saved.log");
    EXPECT_EQ(log.Save(path.c_str()), 1);
    return ReadWholeFileOrMark(path);
  }

  TempDir dir;
};

}  // namespace

TEST_F(InstallLogFile, MissingAndEmptyFiles) {
  InstallLog log;
  log.Add("kept");
  EXPECT_EQ(log.Load(dir.File("install.log").c_str()), 0);
  EXPECT_EQ(log.GetCount(), 1u);
  std::string empty = dir.File("empty.log");
  ASSERT_TRUE(WriteWholeFile(empty, ""));
  EXPECT_EQ(log.Load(empty.c_str()), 1);
  EXPECT_EQ(log.GetCount(), 1u);
  EXPECT_EQ(Saved(InstallLog()), "");  // an empty list empties the file
}

TEST_F(InstallLogFile, LfLogIsWrittenBackWithCrLf) {
  std::string path = dir.File("install.log");
  ASSERT_TRUE(WriteWholeFile(path, "\"C:\\G\\B\"\n\"C:\\G\\A\"\n\n\"C:\\G\\C\""));
  InstallLog log;
  ASSERT_EQ(log.Load(path.c_str()), 1);
  EXPECT_EQ(log.GetCount(), 4u);
  log.SortUnique();
  ASSERT_EQ(log.Save(path.c_str()), 1);
  EXPECT_EQ(ReadWholeFileOrMark(path), "\r\n\"C:\\G\\A\"\r\n\"C:\\G\\B\"\r\n\"C:\\G\\C\"\r\n");
}

TEST_F(InstallLogFile, NulEndsTheTextAndLongLinesAreSkipped) {
  std::string path = dir.File("install.log");
  std::string tooLong(QX_MAX_PATH, 'x');
  std::string bytes = "a\r\n" + tooLong + "\r\nb\r\nc";
  bytes += '\0';
  bytes += "lost\r\n";
  ASSERT_TRUE(WriteWholeFile(path, bytes));
  InstallLog log;
  ASSERT_EQ(log.Load(path.c_str()), 1);
  EXPECT_EQ(Saved(log), "a\r\nb\r\nc\r\n");
}

TEST_F(InstallLogFile, OldSpellingSurvivesANewRun) {
  std::string path = dir.File("install.log");
  ASSERT_TRUE(WriteWholeFile(path, "\"C:\\Game\\data\\a.txt\"\r\n\"C:\\Game\\Z.DAT\"\r\n"));
  InstallLog log;
  ASSERT_EQ(log.Load(path.c_str()), 1);
  log.Add("\"C:\\GAME\\DATA\\A.TXT\"");
  log.Add("\"C:\\GAME\\A_B.DAT\"");
  log.SortUnique();
  ASSERT_EQ(log.Save(path.c_str()), 1);
  EXPECT_EQ(ReadWholeFileOrMark(path),
            "\"C:\\GAME\\A_B.DAT\"\r\n\"C:\\Game\\data\\a.txt\"\r\n\"C:\\Game\\Z.DAT\"\r\n");
}

TEST_F(InstallLogFile, UnwritableOrUnreadable) {
  std::string path = dir.File("install.log");
  ASSERT_TRUE(WriteWholeFile(path, "old\r\n"));
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  InstallLog log;
  log.Add("new");
  EXPECT_EQ(log.Save(path.c_str()), 0);
  EXPECT_EQ(ReadWholeFileOrMark(path), "old\r\n");
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);

  // Without the private heap there is no block to read into.
  DestroyPrivateHeap();
  EXPECT_EQ(log.Load(path.c_str()), 0);
  EXPECT_EQ(log.GetCount(), 1u);

  // A file open for writing elsewhere cannot be read.
  ASSERT_EQ(CreatePrivateHeap(1 << 20), 1);
  HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  EXPECT_EQ(log.Load(path.c_str()), 0);
  CloseHandle(writer);
  EXPECT_EQ(log.Load(path.c_str()), 1);
  EXPECT_EQ(log.GetCount(), 2u);
}

TEST_F(InstallLogFile, SavedWholeOrNotAtAll) {
  std::string path = dir.File("install.log");
  ASSERT_TRUE(WriteWholeFile(path, "old\r\n"));
  InstallLog log;
  std::string want;
  for (int i = 0; i < 1000; ++i) {  // 200 KiB: several pieces of the write buffer
    std::string line = std::to_string(i) + std::string(200, 'x');
    log.Add(line.c_str());
    want += line + "\r\n";
  }
  // With the sibling's place taken nothing can be written: the old log stands.
  std::string sibling = dir.File("~QXNEW~.TMP");
  ASSERT_TRUE(CreateDirectoryA(sibling.c_str(), nullptr));
  EXPECT_EQ(log.Save(path.c_str()), 0);
  EXPECT_EQ(ReadWholeFileOrMark(path), "old\r\n");
  ASSERT_TRUE(RemoveDirectoryA(sibling.c_str()));

  EXPECT_EQ(log.Save(path.c_str()), 1);
  EXPECT_EQ(ReadWholeFileOrMark(path), want);
  EXPECT_EQ(ReadWholeFileOrMark(sibling), "<missing>");
}
