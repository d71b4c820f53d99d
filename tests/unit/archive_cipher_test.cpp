// Reading enciphered archives, built by the tools' builder (the known-answer
// test reads one that the family's own tools wrote).
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/blowfish.h"
#include "archive/mt19937.h"
#include "archive/name_scramble.h"
#include "tests/unit/temp_path.h"
#include "tools/lib/archive_layout.h"

namespace {

typedef ArchiveBuildEntry Item;

struct Built {
  std::string bytes;
  std::vector<uint32_t> offsets;  // true data offsets, key entry first
};

// Key entry (keyName, size = seed) first, then items scrambled and enciphered.
Built BuildEnciphered(const std::vector<Item>& items, uint32_t seed,
                      const std::string& keyName = ARCHIVE_KEY_ENTRY_NAME) {
  ArchiveBuildOptions options;
  options.encipher = true;
  options.seed = seed;
  options.keyName = keyName;
  Built b;
  b.bytes = BuildArchive(items, options, &b.offsets);
  return b;
}

std::string Pattern(size_t n, int salt) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s.push_back(char((i * 131 + salt * 17 + 7) & 0xFF));
  return s;
}

class CipherArchiveTest : public ::testing::Test {
 protected:
  int OpenBytes(qxArchive& reader, const std::string& bytes) {
    files_.emplace_back(new TempPath("qx-cipher"));
    EXPECT_TRUE(files_.back()->Write(bytes));
    return reader.Open(files_.back()->str().c_str());
  }

  static std::string ReadString(qxArchive& reader, qxArchiveEntry* h, uint32_t n) {
    std::string buffer(n, '\0');
    buffer.resize(reader.Read(h, &buffer[0], n));
    return buffer;
  }

  static std::string Name(qxArchive& reader, uint32_t i) {
    qxArchiveEntry* h = reader.OpenEntry(i);
    if (h == NoArchiveEntry()) return "<none>";
    std::string name = reader.GetName(h, nullptr);
    reader.CloseEntry(h);
    return name;
  }

  static std::string Whole(qxArchive& reader, uint32_t i) {
    qxArchiveEntry* h = reader.OpenEntry(i);
    if (h == NoArchiveEntry()) return "<none>";
    if (reader.GetSize(h) > (1u << 20)) return "<size " + std::to_string(reader.GetSize(h)) + ">";
    std::string data = ReadString(reader, h, reader.GetSize(h));
    reader.CloseEntry(h);
    return data;
  }

  std::vector<std::unique_ptr<TempPath>> files_;
};

const uint32_t kSeed = 0x2468ACE1;

}  // namespace

TEST_F(CipherArchiveTest, NamesAndSizesAreDecodedAndUpperCased) {
  const std::vector<Item> items = {{"data\\Title.ogg", Pattern(21, 1)},
                                   {"script\\scene_01.txt", Pattern(40, 2)}};
  qxArchive reader(0);
  ASSERT_EQ(OpenBytes(reader, BuildEnciphered(items, kSeed).bytes), 1);
  EXPECT_TRUE(reader.IsEnciphered());
  EXPECT_EQ(reader.GetCount(), 3u);
  EXPECT_EQ(Name(reader, 1), "DATA\\TITLE.OGG");
  EXPECT_EQ(Name(reader, 2), "SCRIPT\\SCENE_01.TXT");
  EXPECT_EQ(Whole(reader, 1), items[0].data);
  EXPECT_EQ(Whole(reader, 2), items[1].data);
  EXPECT_EQ(Name(reader, 3), "<none>");
}

TEST_F(CipherArchiveTest, KeyEntryNameIsRecognisedInAnyCase) {
  for (const char* keyName : {"__KEY__.DAT", "__Key__.Dat"}) {
    qxArchive reader(0);
    ASSERT_EQ(OpenBytes(reader, BuildEnciphered({{"a.bin", Pattern(16, 3)}}, kSeed, keyName).bytes),
              1);
    EXPECT_TRUE(reader.IsEnciphered()) << keyName;
    EXPECT_EQ(Name(reader, 0), keyName);  // kept exactly as stored
    EXPECT_EQ(Name(reader, 1), "A.BIN");
    EXPECT_EQ(Whole(reader, 1), Pattern(16, 3));
  }
  for (const char* other : {"__key__.da", "__key__.dat_", "x__key__.dat"}) {
    qxArchive reader(0);
    ASSERT_EQ(OpenBytes(reader, BuildEnciphered({{"a.bin", "x"}}, kSeed, other).bytes), 1);
    EXPECT_FALSE(reader.IsEnciphered()) << other;
  }
}

TEST_F(CipherArchiveTest, ArchiveOfOnlyTheKeyEntry) {
  qxArchive reader(0);
  ASSERT_EQ(OpenBytes(reader, BuildEnciphered({}, kSeed, "__key__.Dat").bytes), 1);
  EXPECT_TRUE(reader.IsEnciphered());
  EXPECT_EQ(reader.GetCount(), 1u);
  qxArchiveEntry* key = reader.OpenEntry(0);
  ASSERT_NE(key, NoArchiveEntry());
  EXPECT_STREQ(reader.GetName(key, nullptr), "__key__.Dat");
  EXPECT_EQ(reader.GetSize(key), kSeed);
  EXPECT_EQ(reader.GetStart(key), 8u + 72 + 72);
  EXPECT_EQ(reader.OpenEntry(1), NoArchiveEntry());
}

TEST_F(CipherArchiveTest, WholeBlocksAreEncipheredAndTheTrailingPartStaysPlain) {
  const std::vector<Item> items = {
      {"five", Pattern(5, 4)}, {"eight", Pattern(8, 5)}, {"thirteen", Pattern(13, 6)}};
  const Built built = BuildEnciphered(items, kSeed);
  const std::string& file = built.bytes;
  // As stored: 5 bytes plain; 8 one block; 13 one block then 5 plain bytes.
  EXPECT_EQ(file.substr(built.offsets[1], 5), items[0].data);
  EXPECT_NE(file.substr(built.offsets[2], 8), items[1].data);
  EXPECT_NE(file.substr(built.offsets[3], 8), items[2].data.substr(0, 8));
  EXPECT_EQ(file.substr(built.offsets[3] + 8, 5), items[2].data.substr(8));

  qxArchive reader(0);
  ASSERT_EQ(OpenBytes(reader, file), 1);
  for (uint32_t i = 1; i <= 3; ++i) EXPECT_EQ(Whole(reader, i), items[i - 1].data) << i;

  // Bytes 9-12 of the 13-byte entry lie in the plain trailing block.
  qxArchiveEntry* h = reader.OpenEntry(3);
  EXPECT_EQ(reader.Seek(h, 9, 0), 9u);
  EXPECT_EQ(ReadString(reader, h, 4), file.substr(built.offsets[3] + 9, 4));
  EXPECT_EQ(ReadString(reader, h, 4), "");
}

TEST_F(CipherArchiveTest, ReadsInPiecesGiveTheWholeRead) {
  std::vector<Item> items;
  for (size_t size : {1, 3, 7, 8, 9, 15, 16, 17, 29, 64, 203}) {
    items.push_back({"f" + std::to_string(size), Pattern(size, int(size))});
  }
  qxArchive reader(0);
  ASSERT_EQ(OpenBytes(reader, BuildEnciphered(items, kSeed).bytes), 1);
  for (uint32_t i = 1; i <= items.size(); ++i) {
    const std::string& plain = items[i - 1].data;
    for (uint32_t piece : {1u, 2u, 3u, 5u, 8u, 11u, 24u}) {
      qxArchiveEntry* h = reader.OpenEntry(i);
      ASSERT_NE(h, NoArchiveEntry());
      std::string got;
      for (std::string part; got.size() <= plain.size();) {
        if ((part = ReadString(reader, h, piece)).empty()) break;
        got += part;
      }
      EXPECT_EQ(got, plain) << "size " << plain.size() << " piece " << piece;
      EXPECT_EQ(h->position, uint32_t(plain.size()));
      EXPECT_EQ(h->filePosition, h->start + uint32_t(plain.size()));
      reader.CloseEntry(h);
    }
  }
}

TEST_F(CipherArchiveTest, SeekIntoABlockThenRead) {
  const std::string plain = Pattern(29, 9);
  qxArchive reader(0);
  ASSERT_EQ(OpenBytes(reader, BuildEnciphered({{"x", plain}}, kSeed).bytes), 1);
  qxArchiveEntry* h = reader.OpenEntry(1);
  for (uint32_t from : {3u, 7u, 8u, 13u, 20u, 27u}) {
    for (uint32_t n : {1u, 4u, 10u, 30u}) {
      reader.Seek(h, from, 0);
      EXPECT_EQ(ReadString(reader, h, n), plain.substr(from, n)) << from << "+" << n;
    }
  }
  reader.Seek(h, 5, 0);
  reader.Seek(h, 6, 1);
  EXPECT_EQ(ReadString(reader, h, 6), plain.substr(11, 6));
}

TEST_F(CipherArchiveTest, ReadersInTurnAreIndependentOfEarlierDraws) {
  const std::vector<Item> first = {{"one\\a.txt", Pattern(19, 10)}, {"b.txt", Pattern(8, 11)}};
  const std::vector<Item> second = {{"two\\Z.dat", Pattern(33, 12)}};
  const std::string a = BuildEnciphered(first, 0x1111).bytes;
  const std::string b = BuildEnciphered(second, 0xDEADBEEF).bytes;

  MtSeed(99);
  for (int i = 0; i < 1000; ++i) MtDraw();
  qxArchive readerA(0);
  ASSERT_EQ(OpenBytes(readerA, a), 1);
  for (int i = 0; i < 37; ++i) MtDraw();
  MtSeed(12345);
  MtDraw();
  qxArchive readerB(0);
  ASSERT_EQ(OpenBytes(readerB, b), 1);
  for (int i = 0; i < 5; ++i) MtDraw();

  EXPECT_EQ(Name(readerA, 1), "ONE\\A.TXT");
  EXPECT_EQ(Name(readerA, 2), "B.TXT");
  EXPECT_EQ(Name(readerB, 1), "TWO\\Z.DAT");
  EXPECT_EQ(Whole(readerB, 1), second[0].data);
  EXPECT_EQ(Whole(readerA, 1), first[0].data);  // readerA keeps its own key
  EXPECT_EQ(Whole(readerA, 2), first[1].data);
}

TEST_F(CipherArchiveTest, OpenLeavesTheGeneratorAsItsKeyedUsesDo) {
  // One keyed use for the key and one per scrambled name: each leaves the
  // generator seeded with the value it drew first.
  const std::string bytes = BuildEnciphered({{"a", "1"}, {"b", "2"}}, kSeed).bytes;
  MtSeed(4242);
  for (int use = 0; use < 3; ++use) MtSeed(MtDraw());
  const uint32_t expected = MtDraw();

  MtSeed(4242);
  qxArchive reader(0);
  ASSERT_EQ(OpenBytes(reader, bytes), 1);
  EXPECT_EQ(MtDraw(), expected);
}

TEST_F(CipherArchiveTest, EntryZeroReadsTheBytesAtItsOffsetDeciphered) {
  const Built built = BuildEnciphered({{"a", Pattern(40, 13)}}, kSeed);
  BlowfishContext c;
  SetArchiveContentKey(&c, kSeed);
  std::string expected = built.bytes.substr(built.offsets[0], 24);
  BlowfishDecipherBlocks(&c, &expected[0], expected.size());

  qxArchive reader(0);
  ASSERT_EQ(OpenBytes(reader, built.bytes), 1);
  qxArchiveEntry* key = reader.OpenEntry(0);
  ASSERT_NE(key, NoArchiveEntry());
  EXPECT_EQ(ReadString(reader, key, 24), expected);
}

TEST_F(CipherArchiveTest, KeyEntryAnywhereButFirstLeavesTheArchivePlain) {
  // A plain archive whose entry 1 happens to carry the key entry's name.
  const std::string bytes = BuildArchive({{"plain.txt", "abc"}, {"__key__.dat", "123456789"}});

  qxArchive reader(0);
  ASSERT_EQ(OpenBytes(reader, bytes), 1);
  EXPECT_FALSE(reader.IsEnciphered());
  EXPECT_EQ(Name(reader, 0), "PLAIN.TXT");
  EXPECT_EQ(Name(reader, 1), "__KEY__.DAT");
  EXPECT_EQ(Whole(reader, 0), "abc");
  EXPECT_EQ(Whole(reader, 1), "123456789");
}

TEST_F(CipherArchiveTest, BytesMissingFromTheFileComeBackAsZeros) {
  // The last entry's plain trailing bytes are cut off the end of the file.
  const std::string plain = Pattern(13, 14);
  std::string bytes = BuildEnciphered({{"cut", plain}}, kSeed).bytes;
  bytes.resize(bytes.size() - 3);
  qxArchive reader(0);
  ASSERT_EQ(OpenBytes(reader, bytes), 1);
  std::string got(13, '\x55');
  qxArchiveEntry* h = reader.OpenEntry(1);
  EXPECT_EQ(reader.Read(h, &got[0], 13), 13u);
  EXPECT_EQ(got, plain.substr(0, 10) + std::string(3, '\0'));
}
