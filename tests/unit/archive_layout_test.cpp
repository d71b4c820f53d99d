// The tests' archive builder against the reader: what it lays out, plain or
// enciphered, hostile or not, reads back as built.
#include "tools/lib/archive_layout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/archive.h"
#include "tests/unit/temp_path.h"

namespace {

// Names with double-byte characters whose second byte is 0x5C (ソ 表 能 予 十
// 申) at both ends of a folder's name and a file's.
const std::vector<ArchiveBuildEntry> kEntries = {
    {"\x83\x5C"
     "dir\x95\x5C\\\x94\x5C"
     "file\x97\x5C",
     std::string(13, 'a')},
    {"\x8F\x5C\\empty\x90\x5C.txt", ""},
    {"plain\\b.dat", std::string("\0\x5C\x01", 3) + std::string(40, 'b')},
};
const char* const kUpperNames[] = {
    "\x83\x5C"
    "DIR\x95\x5C\\\x94\x5C"
    "FILE\x97\x5C",
    "\x8F\x5C\\EMPTY\x90\x5C.TXT", "PLAIN\\B.DAT"};

struct Case {
  const char* what;
  bool encipher;
  int64_t count;     // stored count override, -1 for none
  int64_t lastSize;  // the last entry's stored size override, -1 for none
};

TEST(ArchiveLayout, BuiltArchivesReadBackThroughTheReader) {
  const Case cases[] = {{"plain", false, -1, -1},
                        {"enciphered", true, -1, -1},
                        {"count cut", false, 2, -1},
                        {"size past the file", false, -1, 1000}};
  for (const Case& c : cases) {
    std::vector<ArchiveBuildEntry> entries = kEntries;
    entries.back().size = c.lastSize;
    ArchiveBuildOptions options;
    options.encipher = c.encipher;
    options.seed = 0x5C5C1234;
    options.count = c.count;
    std::vector<uint32_t> offsets;
    TempPath file("qx-layout");
    ASSERT_TRUE(file.Write(BuildArchive(entries, options, &offsets))) << c.what;
    qxArchive reader(0);
    ASSERT_EQ(reader.Open(file.str().c_str()), 1) << c.what;
    const uint32_t first = c.encipher ? 1 : 0;
    const uint32_t count = c.count >= 0 ? uint32_t(c.count) : uint32_t(entries.size()) + first;
    EXPECT_EQ(reader.IsEnciphered(), c.encipher ? 1 : 0) << c.what;
    ASSERT_EQ(reader.GetCount(), count) << c.what;
    for (uint32_t i = first; i < count; ++i) {
      const ArchiveBuildEntry& e = entries[i - first];
      qxArchiveEntry* h = reader.OpenEntry(i);
      EXPECT_STREQ(reader.GetName(h, nullptr), kUpperNames[i - first]) << c.what;
      EXPECT_EQ(reader.GetStart(h), offsets[i]) << c.what;
      EXPECT_EQ(reader.GetIndex(h), i) << c.what;
      EXPECT_EQ(reader.GetSize(h), e.size >= 0 ? uint32_t(e.size) : e.data.size()) << c.what;
      std::string got(e.data.size() + 8, '#');
      got.resize(reader.Read(h, &got[0], uint32_t(got.size())));
      EXPECT_EQ(got.substr(0, e.data.size()), e.data) << c.what << " " << i;
      reader.CloseEntry(h);
    }
  }
}

TEST(ArchiveLayout, EveryArchiveBuiltStartsWithTheMagicUnlessTold) {
  EXPECT_TRUE(HasArchiveMagic(BuildArchive({}).data(), ARCHIVE_HEADER_BYTES));
  ArchiveBuildOptions options;
  options.magic = "ZIP!";
  EXPECT_FALSE(HasArchiveMagic(BuildArchive(kEntries, options).data(), ARCHIVE_HEADER_BYTES));
}

}  // namespace
