#include "tools/lib/archive_encipher.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/mt19937.h"
#include "tests/unit/temp_path.h"

namespace fs = std::filesystem;

namespace {

std::string Bytes(size_t n, int salt) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s.push_back(char(i * 7 + salt));
  return s;
}

class EncipherWriterTest : public ::testing::Test {
 protected:
  EncipherWriterTest() : dir_("qx-encipher") {}

  ArchiveSourceFile Source(const std::string& name, const std::string& bytes) {
    fs::path p = dir_.path() / ("src" + std::to_string(++serial_));
    WriteFile(p, bytes);
    return {name, p.string()};
  }

  std::string ArchivePath() const { return (dir_.path() / "out.qrb").string(); }

  TempPath dir_;
  int serial_ = 0;
};

}  // namespace

TEST_F(EncipherWriterTest, ReaderGetsBackNamesAndContents) {
  const std::vector<std::string> contents = {"", Bytes(5, 1), Bytes(8, 2), Bytes(13, 3),
                                             Bytes(3000, 4)};
  std::vector<ArchiveSourceFile> files;
  for (size_t i = 0; i < contents.size(); ++i) {
    files.push_back(Source("dir\\Name_" + std::to_string(i) + ".bin", contents[i]));
  }
  std::string error;
  ASSERT_TRUE(WriteEncipheredArchive(files, ArchivePath(), 0xA5A5F00D, &error)) << error;

  qxArchive reader(0);
  ASSERT_EQ(reader.Open(ArchivePath().c_str()), 1);
  EXPECT_TRUE(reader.IsEnciphered());
  ASSERT_EQ(reader.GetCount(), contents.size() + 1);
  for (uint32_t i = 1; i <= contents.size(); ++i) {
    qxArchiveEntry* h = reader.OpenEntry(i);
    ASSERT_NE(h, NoArchiveEntry());
    EXPECT_EQ(std::string(reader.GetName(h, nullptr)),
              "DIR\\NAME_" + std::to_string(i - 1) + ".BIN");
    std::string got(reader.GetSize(h), '\0');
    EXPECT_EQ(reader.Read(h, &got[0], uint32_t(got.size())), got.size());
    EXPECT_EQ(got, contents[i - 1]) << i;
    reader.CloseEntry(h);
  }
}

TEST_F(EncipherWriterTest, LayoutIsTheDocumentedOne) {
  const std::vector<ArchiveSourceFile> files = {Source("a.txt", Bytes(13, 5)),
                                                Source("b.txt", Bytes(4, 6))};
  std::string error;
  ASSERT_TRUE(WriteEncipheredArchive(files, ArchivePath(), 77, &error)) << error;
  const std::string bytes = ReadFile(ArchivePath());
  const uint32_t n = 3, dataStart = 8 + 72 * n;
  ASSERT_EQ(bytes.size(), dataStart + 3 * 72 + 13 + 4);
  EXPECT_EQ(bytes.substr(0, 4), std::string("QRB\0", 4));
  EXPECT_EQ(U32At(bytes, 4), n);
  EXPECT_EQ(std::string(bytes.c_str() + 8), "__key__.dat");
  EXPECT_EQ(U32At(bytes, 8 + 64), dataStart + 72);  // where its data would start
  EXPECT_EQ(U32At(bytes, 8 + 68), 77u);             // the seed
  // Each entry's stored index entry is copied in front of its data.
  EXPECT_EQ(bytes.substr(dataStart, 72), bytes.substr(8, 72));
  EXPECT_EQ(bytes.substr(dataStart + 72, 72), bytes.substr(8 + 72, 72));
  EXPECT_EQ(bytes.substr(dataStart + 2 * 72 + 13, 72), bytes.substr(8 + 2 * 72, 72));
  // Names are stored scrambled; the plain trailing bytes are stored as they are.
  EXPECT_NE(std::string(bytes.c_str() + 8 + 72), "a.txt");
  EXPECT_EQ(std::string(bytes.c_str() + 8 + 72).size(), 5u);
  EXPECT_EQ(bytes.substr(dataStart + 2 * 72 + 8, 5), Bytes(13, 5).substr(8));
  EXPECT_NE(bytes.substr(dataStart + 2 * 72, 8), Bytes(13, 5).substr(0, 8));
  EXPECT_EQ(bytes.substr(bytes.size() - 4), Bytes(4, 6));
}

TEST_F(EncipherWriterTest, GeneratorIsLeftAsAKeyedUseLeavesIt) {
  const std::vector<ArchiveSourceFile> files = {Source("a", "1")};
  // One keyed use for the key, one per scrambled name: each leaves the
  // generator seeded with the value it drew first.
  MtSeed(55);
  for (int use = 0; use < 2; ++use) MtSeed(MtDraw());
  const uint32_t expected = MtDraw();
  MtSeed(55);
  std::string error;
  ASSERT_TRUE(WriteEncipheredArchive(files, ArchivePath(), 9, &error)) << error;
  EXPECT_EQ(MtDraw(), expected);
}

TEST_F(EncipherWriterTest, FailuresLeaveNoArchive) {
  std::string error;
  std::vector<ArchiveSourceFile> files = {Source(std::string(64, 'n'), "x")};
  EXPECT_FALSE(WriteEncipheredArchive(files, ArchivePath(), 1, &error));
  EXPECT_NE(error.find("name"), std::string::npos) << error;
  files = {Source("ok", "x"), {"gone", (dir_.path() / "missing").string()}};
  EXPECT_FALSE(WriteEncipheredArchive(files, ArchivePath(), 1, &error));
  EXPECT_FALSE(fs::exists(ArchivePath()));
  files = {Source("ok", "x")};
  EXPECT_FALSE(WriteEncipheredArchive(files, (dir_.path() / "no" / "dir.qrb").string(), 1, &error));
  EXPECT_NE(error.find("cannot create"), std::string::npos) << error;
}
