#include <gtest/gtest.h>

#include <string>

#include "support/file.h"
#include "tests/unit/win32_temp.h"

TEST(FileReplace, EmptiesAnExistingFileAndCreatesAMissingOne) {
  TempDir dir;
  std::string existing = dir.File("old.bin");
  ASSERT_TRUE(WriteWholeFile(existing, "previous contents"));
  {
    qxFile file;
    ASSERT_EQ(file.Open(existing.c_str(), FM_WRITE_REPLACE), 1);
    EXPECT_EQ(file.GetSize(), 0);
    EXPECT_EQ(file.Write("new", 3), 3);
    EXPECT_EQ(file.Tell(), 3);
  }
  EXPECT_EQ(ReadWholeFileOrMark(existing), "new");

  std::string missing = dir.File("created.bin");
  qxFile file;
  ASSERT_EQ(file.Open(missing.c_str(), FM_WRITE_REPLACE), 1);
  EXPECT_EQ(file.Close(), 1);
  EXPECT_EQ(ReadWholeFileOrMark(missing), "");
  EXPECT_EQ(GetFileAttributesA(missing.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST(FileReplace, FailsOnReadOnlyFileAndMissingDirectory) {
  TempDir dir;
  std::string readOnly = dir.File("ro.bin");
  ASSERT_TRUE(WriteWholeFile(readOnly, "keep"));
  SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
  qxFile file;
  EXPECT_EQ(file.Open(readOnly.c_str(), FM_WRITE_REPLACE), 0);
  EXPECT_EQ(file.GetHandle(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(file.Tell(), -1);
  EXPECT_EQ(ReadWholeFileOrMark(readOnly), "keep");
  EXPECT_EQ(file.Open(dir.File("no\\such\\x.bin").c_str(), FM_WRITE_REPLACE), 0);
}

TEST(FileSharing, WriterDeniesOthersReadersShare) {
  TempDir dir;
  std::string path = dir.File("shared.bin");
  ASSERT_TRUE(WriteWholeFile(path, "abc"));
  {
    qxFile writer;
    ASSERT_EQ(writer.Open(path.c_str(), FM_WRITE_REPLACE), 1);
    qxFile reader;
    EXPECT_EQ(reader.Open(path.c_str(), FM_READ_EXISTING), 0);
    qxFile second;
    EXPECT_EQ(second.Open(path.c_str(), FM_WRITE_REPLACE), 0);
  }
  ASSERT_TRUE(WriteWholeFile(path, "abc"));
  qxFile first, second;
  ASSERT_EQ(first.Open(path.c_str(), FM_READ_EXISTING), 1);
  ASSERT_EQ(second.Open(path.c_str(), FM_READ_EXISTING), 1);
  char buf[8] = {};
  EXPECT_EQ(second.Read(buf, 8), 3);
  EXPECT_STREQ(buf, "abc");
  qxFile writer;
  EXPECT_EQ(writer.Open(path.c_str(), FM_WRITE_REPLACE), 0);  // readers deny writers
}

TEST(FileRead, ExistingOnlyAndEndOfFile) {
  TempDir dir;
  std::string missing = dir.File("missing.bin");
  qxFile file;
  EXPECT_EQ(file.Open(missing.c_str(), FM_READ_EXISTING), 0);
  EXPECT_EQ(GetFileAttributesA(missing.c_str()), INVALID_FILE_ATTRIBUTES);
  char buf[16];
  EXPECT_EQ(file.Read(buf, 4), -1);
  EXPECT_EQ(file.Write(buf, 4), -1);
  EXPECT_EQ(file.Close(), 0);
  EXPECT_EQ(file.GetName(buf), nullptr);

  std::string path = dir.File("data.bin");
  ASSERT_TRUE(WriteWholeFile(path, "0123456789"));
  ASSERT_EQ(file.Open(path.c_str(), FM_READ_EXISTING), 1);
  EXPECT_EQ(file.Open(path.c_str(), FM_READ_EXISTING), 0);  // already open
  char name[256] = {};
  EXPECT_STREQ(file.GetName(name), path.c_str());
  EXPECT_STREQ(name, path.c_str());
  EXPECT_EQ(file.Read(buf, 16), 10);
  EXPECT_EQ(file.Tell(), 10);
  EXPECT_EQ(file.Read(buf, 16), 0);
  EXPECT_EQ(file.Tell(), 10);
  EXPECT_EQ(file.Write("x", 1), -1);  // opened for reading only
  EXPECT_EQ(file.Tell(), 10);
}

TEST(FileSeek, ClampsToLastByte) {
  TempDir dir;
  std::string path = dir.File("seek.bin");
  ASSERT_TRUE(WriteWholeFile(path, "0123456789"));
  qxFile file;
  ASSERT_EQ(file.Open(path.c_str(), FM_READ_EXISTING), 1);
  EXPECT_EQ(file.Seek(4), 4u);
  char c = 0;
  EXPECT_EQ(file.Read(&c, 1), 1);
  EXPECT_EQ(c, '4');
  EXPECT_EQ(file.Seek(10), 9u);
  EXPECT_EQ(file.Seek(1000), 9u);
  EXPECT_EQ(file.Read(&c, 1), 1);
  EXPECT_EQ(c, '9');
  file.Close();
  EXPECT_EQ(file.Seek(0), 0xFFFFFFFFu);

  std::string empty = dir.File("empty.bin");
  ASSERT_TRUE(WriteWholeFile(empty, ""));
  ASSERT_EQ(file.Open(empty.c_str(), FM_READ_EXISTING), 1);
  EXPECT_EQ(file.Seek(0), 0xFFFFFFFFu);
  EXPECT_EQ(file.Tell(), -1);  // the refused move leaves 0xFFFFFFFF
}

TEST(FileOpen, RefusesAPathTheNameCannotHold) {
  TempDir dir;
  std::string longPath = dir.path() + "\\" + std::string(240, 'n');
  qxFile file;
  EXPECT_EQ(file.Open(longPath.c_str(), FM_WRITE_REPLACE), 0);
  EXPECT_EQ(GetFileAttributesA(longPath.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(FileOpen, DispositionFromModeBits) {
  TempDir dir;
  std::string path = dir.File("mode.bin");
  qxFile file;
  EXPECT_EQ(file.Open(path.c_str(), FM_WRITE | FM_NEW), 1);  // CREATE_NEW
  file.Close();
  EXPECT_EQ(file.Open(path.c_str(), FM_WRITE | FM_NEW), 0);                  // exists now
  EXPECT_EQ(file.Open(path.c_str(), FM_WRITE), 0);                           // disposition 0
  EXPECT_EQ(file.Open(path.c_str(), FM_READ | FM_EXISTING | FM_ALWAYS), 0);  // 7
  EXPECT_EQ(file.Open(dir.File("always.bin").c_str(), FM_WRITE | FM_ALWAYS), 1);
}

TEST(FilePaths, SizeAttributesAndRemove) {
  TempDir dir;
  std::string path = dir.File("f.bin");
  ASSERT_TRUE(WriteWholeFile(path, "12345"));
  qxFile file;
  EXPECT_EQ(file.SizeOf(path.c_str()), 5u);
  EXPECT_EQ(file.SizeOf(dir.path().c_str()), 0u);
  EXPECT_EQ(file.SizeOf(dir.File("none").c_str()), 0u);
  EXPECT_EQ(file.IsFile(path.c_str()), 1);
  EXPECT_EQ(file.IsFile(dir.path().c_str()), 0);
  EXPECT_EQ(file.IsFile(dir.File("none").c_str()), 0);
  EXPECT_EQ(file.GetAttributes(dir.File("none").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(file.GetAttributes(dir.path().c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);

  EXPECT_NE(file.SetAttributes(path.c_str(), FILE_ATTRIBUTE_READONLY), 0);
  EXPECT_EQ(file.Remove(path.c_str(), 0), 0);
  EXPECT_EQ(file.IsFile(path.c_str()), 1);
  EXPECT_NE(file.Remove(path.c_str(), 1), 0);
  EXPECT_EQ(file.IsFile(path.c_str()), 0);

  ASSERT_TRUE(WriteWholeFile(path, "h"));
  file.SetAttributes(path.c_str(), FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(file.Remove(path.c_str(), 0), 0);
  file.SetAttributes(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_NE(file.Remove(path.c_str(), 0), 0);
  EXPECT_EQ(file.Remove(path.c_str(), 0), 0);  // gone
  EXPECT_EQ(file.Remove(dir.path().c_str(), 1), 0);
  EXPECT_EQ(file.Remove(dir.path().c_str(), 0), 0);
}

TEST(FileBase, DefaultsReportFailure) {
  qxFileBase base;
  char buf[4];
  EXPECT_EQ(base.Open("x", FM_READ_EXISTING), 0);
  EXPECT_EQ(base.Read(buf, 4), -1);
  EXPECT_EQ(base.Write(buf, 4), -1);
  EXPECT_EQ(base.Seek(0), 0xFFFFFFFFu);
  EXPECT_EQ(base.GetName(buf), nullptr);
  EXPECT_EQ(base.Remove("x", 1), 0);
}
