#include "app/journal.h"

#include <gtest/gtest.h>

#include <string>

namespace {

Journal Sample() {
  Journal j;
  j.state = JOURNAL_COMMIT;
  j.directories = {"\x95\x5C", "\x95\x5C\\\x83\x5C"};  // 表, 表\ソ
  j.entries = {{0, "A.TXT"}, {0x1F2, "\x95\x5C\\\x83\x5C\\\x94\x5C.DAT"}};
  return j;
}

}  // namespace

TEST(Journal, ReadsBackWhatItWrote) {
  Journal back;
  ASSERT_TRUE(ParseJournal(FormatJournal(Sample()), &back));
  EXPECT_EQ(back.state, JOURNAL_COMMIT);
  EXPECT_EQ(back.directories, Sample().directories);
  ASSERT_EQ(back.entries.size(), 2u);
  EXPECT_EQ(back.entries[1].index, 0x1F2u);
  EXPECT_EQ(back.entries[1].name, Sample().entries[1].name);
  Journal empty;
  ASSERT_TRUE(ParseJournal(FormatJournal(empty), &back));
  EXPECT_EQ(back.state, JOURNAL_STAGING);
  EXPECT_TRUE(back.entries.empty());
}

// A journal that is cut, miscounted or names anything the updater would not
// write is no journal: nothing it says is acted on.
TEST(Journal, RefusesAnythingButAWholeJournal) {
  const std::string good = FormatJournal(Sample());
  const std::string head = "QXJOURNAL 1 COMMIT\r\n";
  const std::string cases[] = {
      good.substr(0, good.size() - 2),   // no final CR LF
      good.substr(0, good.size() - 12),  // a line short
      head + "F 1 A.TXT\r\nEND 2\r\n",         head + "F 1 ..\\X\r\nEND 1\r\n",
      head + "D ~QXNEW~.TMP\r\nEND 1\r\n",     head + "F -1 A.TXT\r\nEND 1\r\n",
      head + "F 123456789 A.TXT\r\nEND 1\r\n", head + "X 1 A.TXT\r\nEND 1\r\n",
      "QXJOURNAL 1 DONE\r\nEND 0\r\n",         "",
  };
  for (const std::string& text : cases) {
    Journal out;
    out.state = JOURNAL_COMMIT;
    EXPECT_FALSE(ParseJournal(text, &out)) << text;
    EXPECT_TRUE(out.entries.empty());  // untouched
  }
}
