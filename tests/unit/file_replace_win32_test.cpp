#include <gtest/gtest.h>

#include <string>

#include "support/file.h"
#include "support/file_replace.h"
#include "support/path_string.h"
#include "tests/unit/win32_temp.h"

namespace {

// A staged file written through a renamable handle, as the install step
// stages it.
HANDLE Stage(const std::string& path, const std::string& bytes, int extra) {
  qxFile file;
  if (!file.Open(path.c_str(), FM_WRITE_REPLACE | FM_RENAMABLE | extra)) return nullptr;
  file.Write(bytes.data(), static_cast<DWORD>(bytes.size()));
  return file.Release();
}

}  // namespace

// Folder and file names begin and end in 表 and ソ (trail byte 0x5C).
TEST(CommitStaged, ReplacesThroughTheOpenHandleKeepingAttributes) {
  TempDir dir;
  const std::string folder = dir.File("表データソ");
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  const std::string target = folder + "\\ソ名前表", staged = folder + "\\~QX00001.TMP";
  ASSERT_TRUE(WriteWholeFile(target, "old"));
  HANDLE h = Stage(staged, "new", FM_HIDDEN);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(CheckReplaceable(target.c_str()), REPLACE_OK);
  EXPECT_EQ(CommitOpenStagedFile(h, target.c_str()), 1);
  CloseHandle(h);
  EXPECT_EQ(ReadWholeFileOrMark(target), "new");
  EXPECT_EQ(ReadWholeFileOrMark(staged), "<missing>");
  EXPECT_TRUE(GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_HIDDEN);

  // Into a name that is not there yet.
  h = Stage(staged, "fresh", 0);
  EXPECT_EQ(CheckReplaceable((folder + "\\予").c_str()), REPLACE_ABSENT);
  EXPECT_EQ(CommitOpenStagedFile(h, (folder + "\\予").c_str()), 1);
  CloseHandle(h);
  EXPECT_EQ(ReadWholeFileOrMark(folder + "\\予"), "fresh");

  // A resumed commit renames over the installed file as it is spelled.
  char spelled[QX_MAX_PATH];
  ASSERT_TRUE(WriteWholeFile(folder + "\\ソGame表.exe", "x"));
  EXPECT_GT(SpellAsInstalled((folder + "\\ソGAME表.EXE").c_str(), spelled), 0);
  EXPECT_EQ(std::string(spelled), folder + "\\ソGame表.exe");
  EXPECT_GT(SpellAsInstalled((folder + "\\十.TXT").c_str(), spelled), 0);
  EXPECT_EQ(std::string(spelled), folder + "\\十.TXT");
}

// What a destination must not be: read-only, a folder, or held by a program
// that does not share deletion. The staged file then stays for a later try.
TEST(CommitStaged, RefusedDestinationsKeepBothFiles) {
  TempDir dir;
  const std::string staged = dir.File("~QX00002.TMP"), readOnly = dir.File("RO能"),
                    held = dir.File("HELD十"), folder = dir.File("申");
  ASSERT_TRUE(WriteWholeFile(readOnly, "ro"));
  ASSERT_TRUE(SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(WriteWholeFile(held, "held"));
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  HANDLE holder =
      CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  EXPECT_EQ(CheckReplaceable(readOnly.c_str()), REPLACE_READ_ONLY);
  EXPECT_EQ(CheckReplaceable(folder.c_str()), REPLACE_FOLDER);
  EXPECT_EQ(CheckReplaceable(held.c_str()), REPLACE_HELD);
  HANDLE h = Stage(staged, "new", 0);
  EXPECT_EQ(CommitOpenStagedFile(h, held.c_str()), 0);
  CloseHandle(h);
  CloseHandle(holder);
  EXPECT_EQ(ReadWholeFileOrMark(held), "held");
  EXPECT_EQ(ReadWholeFileOrMark(staged), "new");
  SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
}
