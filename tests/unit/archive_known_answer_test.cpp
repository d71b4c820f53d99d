// The reader against an enciphered archive written by an implementation that
// shares no code with this one (generator, cipher and scrambler of its own):
// a fault made alike on the writing and the reading side of this project
// passes the round trips, but not this.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "tests/unit/sha256.h"
#include "tools/lib/cp932.h"

namespace {

struct Expected {
  uint32_t index, offset, size;
  std::string sha256;  // "-" for the key entry
  std::string name;    // UTF-8, as the reader lists it
};

const std::string kFixture = std::string(QX_FIXTURES_DIR) + "/enciphered/";

// expected.tsv: index, offset, size, SHA-256, name; '#' starts a comment line.
std::vector<Expected> LoadExpected() {
  std::ifstream in(kFixture + "expected.tsv");
  std::vector<Expected> rows;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    Expected e;
    fields >> e.index >> e.offset >> e.size >> e.sha256;
    fields.ignore(1);  // the tab before the name, which may hold blanks
    std::getline(fields, e.name);
    rows.push_back(e);
  }
  return rows;
}

std::string ReadInPieces(qxArchive& reader, qxArchiveEntry* h, uint32_t piece) {
  std::string all;
  std::vector<char> buffer(piece);
  for (uint32_t got; (got = reader.Read(h, buffer.data(), piece)) > 0;)
    all.append(buffer.data(), got);
  return all;
}

}  // namespace

TEST(KnownAnswerArchive, ReaderListsAndReadsWhatTheForeignWriterStored) {
  const std::vector<Expected> expected = LoadExpected();
  if (expected.empty()) GTEST_SKIP() << "no known-answer fixture in " << kFixture;
  qxArchive reader(0);
  ASSERT_EQ(reader.Open((kFixture + "sample.qrb").c_str()), 1);
  EXPECT_TRUE(reader.IsEnciphered());
  EXPECT_EQ(reader.GetCount(), expected.size());
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.name);
    qxArchiveEntry* h = reader.OpenEntry(e.index);
    ASSERT_NE(h, NoArchiveEntry());
    std::string name;
    ASSERT_TRUE(Cp932ToUtf8(reader.GetName(h, nullptr), &name));
    EXPECT_EQ(name, e.name);
    EXPECT_EQ(h->start, e.offset);
    // A wrong size would have the reads below walk gigabytes.
    ASSERT_EQ(reader.GetSize(h), e.size);
    if (e.sha256 != "-") {
      // Whole, and in 13-byte pieces that start at every place of a block.
      EXPECT_EQ(Sha256Hex(ReadInPieces(reader, h, e.size ? e.size : 1)), e.sha256);
      reader.Seek(h, 0, 0);
      EXPECT_EQ(Sha256Hex(ReadInPieces(reader, h, 13)), e.sha256);
    }
    reader.CloseEntry(h);
  }
}
