#include "archive/archive.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/path_string.h"
#include "tests/unit/temp_path.h"
#include "tools/lib/archive_layout.h"

namespace {

typedef ArchiveBuildEntry Item;

std::string WithMagic(const std::vector<Item>& items, const char* magic) {
  ArchiveBuildOptions options;
  options.magic = std::string(magic, ARCHIVE_MAGIC_BYTES);
  return BuildArchive(items, options);
}

std::string WithCount(const std::vector<Item>& items, uint32_t count) {
  ArchiveBuildOptions options;
  options.count = count;
  return BuildArchive(items, options);
}

std::string Digits(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s.push_back(char('0' + i % 10));
  return s;
}

class ArchiveTest : public ::testing::Test {
 protected:
  // Writes bytes to a fresh temporary file and opens it with reader.
  int OpenBytes(qxArchive& reader, const std::string& bytes) {
    files_.emplace_back(new TempPath("qx-archive"));
    EXPECT_TRUE(files_.back()->Write(bytes));
    return reader.Open(files_.back()->str().c_str());
  }

  std::string ReadString(qxArchive& reader, qxArchiveEntry* h, uint32_t n) {
    std::string buffer(n, '\0');
    buffer.resize(reader.Read(h, &buffer[0], n));
    return buffer;
  }

  ~ArchiveTest() override {
    for (TempPath* p : files_) delete p;
  }

  std::vector<TempPath*> files_;
};

TEST_F(ArchiveTest, EmptyArchiveOpensWithNoEntries) {
  qxArchive reader(0);
  ASSERT_EQ(OpenBytes(reader, BuildArchive({})), 1);
  EXPECT_TRUE(reader.IsOpen());
  EXPECT_EQ(reader.GetCount(), 0u);
  EXPECT_EQ(reader.OpenEntry(0), NoArchiveEntry());
}

TEST_F(ArchiveTest, ForeignMagicIsAccepted) {
  qxArchive reader(0);
  ASSERT_EQ(OpenBytes(reader, WithMagic({{"a.txt", "abc"}}, "ZIP!")), 1);
  qxArchiveEntry* h = reader.OpenEntry(0);
  ASSERT_NE(h, NoArchiveEntry());
  EXPECT_EQ(ReadString(reader, h, 3), "abc");
}

TEST_F(ArchiveTest, HandlesCarryTheIndexEntry) {
  qxArchive reader(0);
  ASSERT_EQ(OpenBytes(reader, BuildArchive({{"a", "1"}, {"b", "22"}, {"c", "333"}})), 1);
  EXPECT_EQ(reader.GetCount(), 3u);
  qxArchiveEntry* last = reader.OpenEntry(2);
  ASSERT_NE(last, NoArchiveEntry());
  EXPECT_EQ(reader.OpenEntry(3), NoArchiveEntry());
  EXPECT_EQ(last->marker, uint32_t(ARCHIVE_ENTRY_MARKER));
  EXPECT_EQ(last->index, 2u);
  EXPECT_EQ(last->size, 3u);
  EXPECT_EQ(reader.GetSize(last), 3u);
  // Data of entry k+1 follows entry k's data and the next index copy.
  EXPECT_EQ(last->start, 8u + 3 * 72 + 72 + 1 + 72 + 2 + 72);
  EXPECT_EQ(last->filePosition, last->start);
  EXPECT_EQ(last->position, 0u);
  EXPECT_EQ(ReadString(reader, last, 3), "333");
}

TEST_F(ArchiveTest, HandleTableBoundsTheEntriesHandedOut) {
  std::vector<Item> items;
  for (int i = 0; i < 33; ++i) items.push_back({"f" + std::to_string(i), std::to_string(i)});
  std::string bytes = BuildArchive(items);

  qxArchive reader(0);  // 0 means 32
  ASSERT_EQ(OpenBytes(reader, bytes), 1);
  for (uint32_t i = 0; i < 32; ++i) ASSERT_NE(reader.OpenEntry(i), NoArchiveEntry()) << i;
  EXPECT_EQ(reader.OpenEntry(32), NoArchiveEntry());
  EXPECT_EQ(reader.OpenEntry(0), NoArchiveEntry());  // a second handle needs a record too

  // Closing each handle frees its record, so a walk goes through all of them.
  qxArchive walker(32);
  ASSERT_EQ(OpenBytes(walker, bytes), 1);
  uint32_t walked = 0;
  for (qxArchiveEntry* h; (h = walker.OpenEntry(walked)) != NoArchiveEntry(); ++walked) {
    EXPECT_EQ(ReadString(walker, h, 8), std::to_string(walked));
    EXPECT_EQ(walker.CloseEntry(h), 1);
    EXPECT_EQ(walker.GetSize(h), 0u);  // a closed handle is no longer valid
    EXPECT_EQ(walker.CloseEntry(h), 0);
  }
  EXPECT_EQ(walked, 33u);
}

TEST_F(ArchiveTest, RecordsAreTakenFirstFreeFirst) {
  qxArchive reader(2);
  ASSERT_EQ(OpenBytes(reader, BuildArchive({{"a", "1"}, {"b", "2"}, {"c", "3"}})), 1);
  qxArchiveEntry* a = reader.OpenEntry(0);
  qxArchiveEntry* b = reader.OpenEntry(1);
  ASSERT_NE(b, NoArchiveEntry());
  EXPECT_EQ(reader.OpenEntry(2), NoArchiveEntry());
  EXPECT_EQ(reader.OpenEntry(5), NoArchiveEntry());
  ASSERT_EQ(reader.CloseEntry(a), 1);
  EXPECT_EQ(reader.OpenEntry(2), a);
  EXPECT_EQ(ReadString(reader, a, 1), "3");
  EXPECT_EQ(ReadString(reader, b, 1), "2");
}

TEST_F(ArchiveTest, TwoHandlesOnOneEntryReadIndependently) {
  qxArchive reader(0);
  ASSERT_EQ(OpenBytes(reader, BuildArchive({{"x", "skip"}, {"d", Digits(30)}})), 1);
  qxArchiveEntry* one = reader.OpenEntry(1);
  qxArchiveEntry* two = reader.OpenEntry(1);
  ASSERT_NE(two, NoArchiveEntry());
  ASSERT_NE(one, two);
  EXPECT_EQ(ReadString(reader, one, 10), "0123456789");
  EXPECT_EQ(two->position, 0u);
  EXPECT_EQ(ReadString(reader, two, 3), "012");
  EXPECT_EQ(ReadString(reader, one, 4), "0123");
  EXPECT_EQ(ReadString(reader, two, 2), "34");
}

TEST_F(ArchiveTest, ReadsStopAtTheEndOfTheEntry) {
  qxArchive reader(0);
  ASSERT_EQ(OpenBytes(reader, BuildArchive({{"ten", "abcdefghij"}, {"next", "XYZ"}})), 1);
  qxArchiveEntry* h = reader.OpenEntry(0);
  char buffer[128];
  EXPECT_EQ(reader.Read(h, buffer, 0), 0u);
  EXPECT_EQ(reader.Read(h, buffer, 5), 5u);
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(reader.Read(h, buffer, 100), 5u);
  EXPECT_EQ(std::string(buffer, 6), "fghij#");  // nothing of the next entry
  EXPECT_EQ(reader.Read(h, buffer, 100), 0u);
  EXPECT_EQ(h->position, 10u);
  EXPECT_EQ(h->filePosition, h->start + 10);
}

TEST_F(ArchiveTest, ReadsOutsideTheFileDeliverNothing) {
  std::vector<Item> items = {{"a", "0123456789"}, {"beyond", ""}, {"huge", ""}};
  // Entry 1 claims bytes past the end of the file; entry 2 lies beyond 2 GiB.
  items[1].offset = int64_t(BuildArchive(items).size()) - 4;
  items[1].size = 100;
  items[2].offset = 0x80000000u;
  items[2].size = 16;
  const std::string bytes = BuildArchive(items);
  qxArchive reader(0);
  ASSERT_EQ(OpenBytes(reader, bytes), 1);
  qxArchiveEntry* beyond = reader.OpenEntry(1);
  EXPECT_EQ(ReadString(reader, beyond, 100).size(), 4u);
  qxArchiveEntry* a = reader.OpenEntry(0);
  EXPECT_EQ(ReadString(reader, a, 3), "012");  // leaves the file pointer inside the data
  qxArchiveEntry* huge = reader.OpenEntry(2);
  EXPECT_EQ(ReadString(reader, huge, 16), "");
  EXPECT_EQ(huge->position, 0u);
}

TEST_F(ArchiveTest, SeekMovesAndClamps) {
  qxArchive reader(0);
  ASSERT_EQ(OpenBytes(reader, BuildArchive({{"ten", "abcdefghij"}, {"empty", ""}})), 1);
  qxArchiveEntry* h = reader.OpenEntry(0);
  char c;

  ASSERT_EQ(reader.Seek(h, 4, 0), 4u);
  EXPECT_EQ(reader.Seek(h, 20, 1), 6u);
  EXPECT_EQ(h->position, 9u);
  EXPECT_EQ(h->filePosition, h->start + 9);
  ASSERT_EQ(reader.Read(h, &c, 1), 1u);
  EXPECT_EQ(c, 'j');

  EXPECT_EQ(reader.Seek(h, 0, 0), 0u);
  EXPECT_EQ(h->position, 0u);
  EXPECT_EQ(ReadString(reader, h, 2), "ab");

  EXPECT_EQ(reader.Seek(h, 10, 0), 10u);
  EXPECT_EQ(h->position, 9u);

  reader.Seek(h, 0, 0);
  EXPECT_EQ(reader.Seek(h, 0xFFFFFFFFu, 1), 10u);  // back past the start counts as past the end
  EXPECT_EQ(h->position, 9u);

  reader.Seek(h, 4, 0);
  EXPECT_EQ(reader.Seek(h, 3, 2), 3u);  // origin 2 does not move
  EXPECT_EQ(h->position, 4u);
  EXPECT_EQ(reader.Seek(h, 0xFFFFFFFEu, 1), 0xFFFFFFFEu);  // two back
  EXPECT_EQ(ReadString(reader, h, 2), "cd");

  // At the end (only Read takes a handle there) even a no-move Seek clamps.
  reader.Seek(h, 8, 0);
  ReadString(reader, h, 10);
  ASSERT_EQ(h->position, 10u);
  EXPECT_EQ(reader.Seek(h, 3, 2), 3u);
  EXPECT_EQ(h->position, 9u);
}

TEST_F(ArchiveTest, SeekOnAnEmptyEntryStaysAtItsStart) {
  qxArchive reader(0);
  ASSERT_EQ(OpenBytes(reader, BuildArchive({{"empty", ""}, {"b", "bbb"}})), 1);
  qxArchiveEntry* h = reader.OpenEntry(0);
  EXPECT_EQ(reader.Seek(h, 5, 0), 0u);  // 5 less an overshoot of 5
  EXPECT_EQ(h->position, 0u);
  EXPECT_EQ(h->filePosition, h->start);
  EXPECT_EQ(reader.Seek(h, 0, 0), 0u);
  EXPECT_EQ(reader.Seek(h, 7, 1), 0u);
  EXPECT_EQ(h->position, 0u);
  char buffer[4];
  EXPECT_EQ(reader.Read(h, buffer, 4), 0u);
}

TEST_F(ArchiveTest, NamesComeOutUpperCasedKeepingDoubleByteCharacters) {
  // 0x83 0x61 and 0x95 0x5C are double-byte characters whose second bytes are
  // 'a' and a backslash; 0xB1 is a half-width katakana.
  const std::string sjis = "dir\\\x83\x61x\x95\x5C\xB1z.txt";
  qxArchive reader(0);
  ASSERT_EQ(OpenBytes(reader, BuildArchive({{"data\\sub\\file.txt", "1"}, {sjis, "2"}})), 1);
  char name[QX_MAX_PATH];
  qxArchiveEntry* h = reader.OpenEntry(0);
  EXPECT_STREQ(reader.GetName(h, name), "DATA\\SUB\\FILE.TXT");
  EXPECT_STREQ(name, "DATA\\SUB\\FILE.TXT");
  EXPECT_EQ(reader.GetName(h, nullptr), h->name);
  h = reader.OpenEntry(1);
  EXPECT_STREQ(reader.GetName(h, name), "DIR\\\x83\x61X\x95\x5C\xB1Z.TXT");
}

TEST_F(ArchiveTest, EqualNamesAreAllListedByIndex) {
  qxArchive reader(0);
  ASSERT_EQ(OpenBytes(reader, BuildArchive({{"same.txt", "first"}, {"SAME.TXT", "second"}})), 1);
  qxArchiveEntry* a = reader.OpenEntry(0);
  qxArchiveEntry* b = reader.OpenEntry(1);
  ASSERT_NE(b, NoArchiveEntry());
  EXPECT_STREQ(reader.GetName(a, nullptr), "SAME.TXT");
  EXPECT_STREQ(reader.GetName(b, nullptr), "SAME.TXT");
  EXPECT_EQ(ReadString(reader, a, 10), "first");
  EXPECT_EQ(ReadString(reader, b, 10), "second");
}

TEST_F(ArchiveTest, UnterminatedNameIsCutAt63Bytes) {
  qxArchive reader(0);
  ASSERT_EQ(OpenBytes(reader, BuildArchive({{std::string(64, 'n'), "data"}})), 1);
  qxArchiveEntry* h = reader.OpenEntry(0);
  char name[QX_MAX_PATH];
  std::memset(name, '#', sizeof name);
  reader.GetName(h, name);
  EXPECT_EQ(std::string(name), std::string(63, 'N'));
  EXPECT_EQ(ReadString(reader, h, 10), "data");  // offset and size are still read
}

TEST_F(ArchiveTest, TruncatedOrImpossibleArchivesAreRefused) {
  const std::vector<Item> items = {{"a", "aaaa"}, {"b", "bbbb"}};
  const std::string good = BuildArchive(items);
  const std::string huge = WithCount(items, 0x038E38E4u);  // 72 times this passes 32 bits
  const std::string big = WithCount(items, 1000);          // an index much longer than the file
  const std::string cases[] = {"", good.substr(0, 7), good.substr(0, 8 + 72 + 71), huge, big};
  for (const std::string& bytes : cases) {
    qxArchive reader(0);
    EXPECT_EQ(OpenBytes(reader, bytes), 0) << bytes.size();
    EXPECT_FALSE(reader.IsOpen());
    EXPECT_EQ(reader.GetCount(), 0u);
    EXPECT_EQ(reader.OpenEntry(0), NoArchiveEntry());
  }
  // The index alone is enough to open; missing data only shortens reads.
  qxArchive reader(0);
  EXPECT_EQ(OpenBytes(reader, good.substr(0, 8 + 144)), 1);
}

TEST_F(ArchiveTest, MissingFileLeavesTheReaderClosedAndReusable) {
  TempPath missing("qx-archive-missing");
  qxArchive reader(0);
  EXPECT_EQ(reader.Open(missing.str().c_str()), 0);
  EXPECT_FALSE(reader.IsOpen());
  EXPECT_EQ(reader.OpenEntry(0), NoArchiveEntry());
  EXPECT_EQ(OpenBytes(reader, BuildArchive({{"a", "x"}})), 1);
}

TEST_F(ArchiveTest, SecondOpenFailsAndKeepsTheFirstArchive) {
  qxArchive reader(0);
  ASSERT_EQ(OpenBytes(reader, BuildArchive({{"first", "111"}})), 1);
  qxArchiveEntry* h = reader.OpenEntry(0);
  EXPECT_EQ(OpenBytes(reader, BuildArchive({{"other", "2"}, {"more", "3"}})), 0);
  EXPECT_TRUE(reader.IsOpen());
  EXPECT_EQ(reader.GetCount(), 1u);
  EXPECT_STREQ(reader.GetName(h, nullptr), "FIRST");
  EXPECT_EQ(ReadString(reader, h, 3), "111");
}

TEST_F(ArchiveTest, InvalidHandlesAreRefused) {
  qxArchive closed(0);
  EXPECT_EQ(closed.OpenEntry(0), NoArchiveEntry());

  qxArchive reader(0), other(0);
  ASSERT_EQ(OpenBytes(reader, BuildArchive({{"a", "abc"}})), 1);
  ASSERT_EQ(OpenBytes(other, BuildArchive({{"b", "xyz"}})), 1);
  qxArchiveEntry* foreign = other.OpenEntry(0);
  qxArchiveEntry* first = reader.OpenEntry(0);  // the first record of a table of 32
  qxArchiveEntry* pastEnd = first + 32;
  qxArchiveEntry* inside = reinterpret_cast<qxArchiveEntry*>(reinterpret_cast<char*>(first) + 4);
  char buffer[8] = "keep";
  for (qxArchiveEntry* h :
       {NoArchiveEntry(), static_cast<qxArchiveEntry*>(nullptr), foreign, pastEnd, inside}) {
    EXPECT_EQ(reader.GetName(h, buffer), nullptr);
    EXPECT_STREQ(buffer, "keep");
    EXPECT_EQ(reader.GetSize(h), 0u);
    EXPECT_EQ(reader.Read(h, buffer, 3), 0u);
    EXPECT_EQ(reader.Seek(h, 1, 0), 0u);
    EXPECT_EQ(reader.CloseEntry(h), 0);
  }
  EXPECT_EQ(foreign->position, 0u);
  EXPECT_EQ(ReadString(other, foreign, 3), "xyz");
  EXPECT_EQ(ReadString(reader, first, 3), "abc");
}

TEST_F(ArchiveTest, NegativeCapacityHandsOutNothing) {
  qxArchive reader(-5);
  ASSERT_EQ(OpenBytes(reader, BuildArchive({{"a", "abc"}})), 1);
  EXPECT_EQ(reader.OpenEntry(0), NoArchiveEntry());
}

}  // namespace
