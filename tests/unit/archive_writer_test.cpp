#include "tools/lib/archive_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "tests/unit/temp_path.h"
#include "tools/lib/cp932.h"

namespace fs = std::filesystem;

namespace {

// UTF-8 and code page 932 forms of the same names (written out as bytes, so
// that the test does not rely on the compiler's own conversion).
const char kDataUtf8[] = u8"データ";                  // デ ー タ
const char kDataSjis[] = "\x83\x66\x81\x5B\x83\x5E";  // a second byte 0x66 ('f')
const char kHyoujiUtf8[] = u8"表示.txt";
const char kHyoujiSjis[] = "\x95\x5C\x8E\xA6.txt";  // the first character ends in 0x5C

TEST(Cp932, ConvertsBothWaysAndRefusesWhatHasNoForm) {
  std::string out;
  ASSERT_TRUE(Utf8ToCp932(std::string(kDataUtf8) + "/" + kHyoujiUtf8, &out));
  EXPECT_EQ(out, std::string(kDataSjis) + "/" + kHyoujiSjis);
  ASSERT_TRUE(Utf8ToCp932(u8"\uFF71abc", &out));  // half-width katakana is one byte
  EXPECT_EQ(out,
            "\xB1"
            "abc");
  ASSERT_TRUE(Cp932ToUtf8(kHyoujiSjis, &out));
  EXPECT_EQ(out, std::string(kHyoujiUtf8));
  ASSERT_TRUE(Utf8ToCp932("", &out));
  EXPECT_EQ(out, "");

  out = "untouched";
  EXPECT_FALSE(Utf8ToCp932(u8"smile\U0001F600", &out));
  EXPECT_FALSE(Utf8ToCp932(u8"\u00E9t\u00E9", &out));  // Latin letters with accents
  EXPECT_FALSE(Utf8ToCp932("\xFF\xFE", &out));         // not UTF-8
  EXPECT_FALSE(Cp932ToUtf8("\x81", &out));             // a lead byte alone
  EXPECT_EQ(out, "untouched");
}

class ArchiveWriterTest : public ::testing::Test {
 protected:
  ArchiveWriterTest() : tree("qx-tree"), archive("qx-written") {}
  fs::path In(const std::string& utf8) { return tree.path() / fs::u8path(utf8); }
  TempPath tree;
  TempPath archive;
};

TEST_F(ArchiveWriterTest, CollectsTheTreeInNameOrder) {
  WriteFile(In("b.txt"), "bbb");
  WriteFile(In(std::string(kDataUtf8) + "/" + kHyoujiUtf8), "hyouji");
  WriteFile(In("a/empty.bin"), "");
  WriteFile(In("a/z/deep.dat"), "deep");
  fs::create_directories(In("emptydir"));
  std::vector<ArchiveSourceFile> files;
  std::string error;
  ASSERT_TRUE(CollectTree(tree.path().u8string(), &files, &error)) << error;
  ASSERT_EQ(files.size(), 4u);
  EXPECT_EQ(files[0].name, "a\\empty.bin");
  EXPECT_EQ(files[1].name, "a\\z\\deep.dat");
  EXPECT_EQ(files[2].name, "b.txt");
  EXPECT_EQ(files[3].name, std::string(kDataSjis) + "\\" + kHyoujiSjis);  // 0x83 sorts last
  EXPECT_EQ(ReadFile(fs::u8path(files[3].hostPath)), "hyouji");
}

TEST_F(ArchiveWriterTest, WritesTheLayoutTheReaderReads) {
  WriteFile(In("one.txt"), "first");
  WriteFile(In(std::string("sub/") + kHyoujiUtf8), "");
  WriteFile(In("two.txt"), std::string(1000, 'x'));
  std::vector<ArchiveSourceFile> files;
  std::string error;
  ASSERT_TRUE(CollectTree(tree.path().u8string(), &files, &error)) << error;
  ASSERT_TRUE(WriteArchive(files, archive.path().u8string(), &error)) << error;

  std::string bytes = ReadFile(archive.path());
  ASSERT_EQ(bytes.size(), 8u + 3 * 72 + 3 * 72 + 5 + 0 + 1000);
  EXPECT_EQ(bytes.substr(0, 8), std::string("QRB\0\3\0\0\0", 8));
  uint32_t first = 8 + 3 * 72 + 72;
  EXPECT_EQ(U32At(bytes, 8 + 64), first);
  EXPECT_EQ(bytes.substr(first - 72, 72), bytes.substr(8, 72));  // the copy before the data
  EXPECT_EQ(U32At(bytes, 8 + 72 + 64), first + 5 + 72);
  EXPECT_EQ(U32At(bytes, 8 + 144 + 64), first + 5 + 72 + 72);
  EXPECT_EQ(bytes.substr(8 + 72, 64), std::string("sub\\") + kHyoujiSjis + std::string(52, '\0'));

  qxArchive reader(0);
  ASSERT_EQ(reader.Open(archive.str().c_str()), 1);
  ASSERT_EQ(reader.GetCount(), 3u);
  qxArchiveEntry* h = reader.OpenEntry(1);
  EXPECT_STREQ(reader.GetName(h, nullptr), "SUB\\\x95\x5C\x8E\xA6.TXT");
  EXPECT_EQ(reader.GetSize(h), 0u);
  h = reader.OpenEntry(2);
  std::string data(1000, '\0');
  EXPECT_EQ(reader.Read(h, &data[0], 2000), 1000u);
  EXPECT_EQ(data, std::string(1000, 'x'));

  // The same tree gives the same bytes.
  TempPath again("qx-written-again");
  ASSERT_TRUE(WriteArchive(files, again.path().u8string(), &error)) << error;
  EXPECT_EQ(ReadFile(again.path()), bytes);
}

TEST_F(ArchiveWriterTest, RefusesNamesTheArchiveCannotHold) {
  std::vector<ArchiveSourceFile> files;
  std::string error;
  EXPECT_FALSE(CollectTree((tree.path() / "missing").u8string(), &files, &error));
  EXPECT_NE(error.find("missing"), std::string::npos);

  // 63 bytes fit; 64 do not.
  WriteFile(In(std::string(59, 'n') + ".txt"), "");
  ASSERT_TRUE(CollectTree(tree.path().u8string(), &files, &error)) << error;
  EXPECT_EQ(files.size(), 1u);
  WriteFile(In(std::string(60, 'n') + ".txt"), "");
  error.clear();
  EXPECT_FALSE(CollectTree(tree.path().u8string(), &files, &error));
  EXPECT_NE(error.find("63"), std::string::npos);
  EXPECT_TRUE(files.empty());
  fs::remove(In(std::string(60, 'n') + ".txt"));

  // Two bytes per character in code page 932: 31 kanji are 62 bytes, 32 are 64.
  std::string kanji;
  for (int i = 0; i < 31; ++i) kanji += u8"漢";
  WriteFile(In(kanji), "");
  EXPECT_TRUE(CollectTree(tree.path().u8string(), &files, &error)) << error;
  WriteFile(In(kanji + u8"字"), "");
  EXPECT_FALSE(CollectTree(tree.path().u8string(), &files, &error));
}

TEST_F(ArchiveWriterTest, RefusesNamesWithoutCodePage932Form) {
  WriteFile(In(u8"ok.txt"), "");
  WriteFile(In(u8"caf\u00E9.txt"), "");
  std::vector<ArchiveSourceFile> files;
  std::string error;
  EXPECT_FALSE(CollectTree(tree.path().u8string(), &files, &error));
  EXPECT_NE(error.find("932"), std::string::npos);
  EXPECT_EQ(error.find('\n'), std::string::npos);
}

TEST_F(ArchiveWriterTest, RefusesNamesEqualOnceUpperCased) {
  WriteFile(In("readme.txt"), "a");
  WriteFile(In("README.txt"), "b");
  size_t count = size_t(std::distance(fs::directory_iterator(tree.path()), {}));
  if (count < 2) GTEST_SKIP() << "file names ignore case here";
  std::vector<ArchiveSourceFile> files;
  std::string error;
  EXPECT_FALSE(CollectTree(tree.path().u8string(), &files, &error));
  EXPECT_NE(error.find("README.txt and readme.txt"), std::string::npos) << error;
}

}  // namespace
