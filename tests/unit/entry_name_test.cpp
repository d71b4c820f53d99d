#include "app/entry_name.h"

#include <gtest/gtest.h>

TEST(IsSafeEntryName, PlainRelativeNamesPass) {
  EXPECT_EQ(IsSafeEntryName("GAME.EXE"), 1);
  EXPECT_EQ(IsSafeEntryName("DATA\\SUB\\X.BIN"), 1);
  EXPECT_EQ(IsSafeEntryName("DATA/X.BIN"), 1);
  EXPECT_EQ(IsSafeEntryName("..."), 1);
  EXPECT_EQ(IsSafeEntryName("a..b"), 1);
  EXPECT_EQ(IsSafeEntryName("..a\\b.."), 1);
  EXPECT_EQ(IsSafeEntryName(".\\x"), 1);
}

TEST(IsSafeEntryName, EscapesAreRefused) {
  EXPECT_EQ(IsSafeEntryName(".."), 0);
  EXPECT_EQ(IsSafeEntryName("..\\x"), 0);
  EXPECT_EQ(IsSafeEntryName("a\\..\\b"), 0);
  EXPECT_EQ(IsSafeEntryName("a/../b"), 0);
  EXPECT_EQ(IsSafeEntryName("a\\.."), 0);
  EXPECT_EQ(IsSafeEntryName("a/.."), 0);
  EXPECT_EQ(IsSafeEntryName("\\x"), 0);
  EXPECT_EQ(IsSafeEntryName("/x"), 0);
  EXPECT_EQ(IsSafeEntryName("\\\\server\\share\\x"), 0);
  EXPECT_EQ(IsSafeEntryName("C:x"), 0);
  EXPECT_EQ(IsSafeEntryName("C:\\x"), 0);
  EXPECT_EQ(IsSafeEntryName("x.txt:stream"), 0);
  EXPECT_EQ(IsSafeEntryName(""), 0);
  EXPECT_EQ(IsSafeEntryName(nullptr), 0);
}

TEST(IsSafeEntryName, DoubleByteTrailIsNoSeparator) {
  // 0x95 0x5C is one character: the ".." after it is part of its component.
  EXPECT_EQ(IsSafeEntryName("\x95\x5C.."), 1);
  EXPECT_EQ(IsSafeEntryName("A\\\x95\x5C..\\B"), 1);
  // A real separator after the character still splits.
  EXPECT_EQ(IsSafeEntryName("\x95\x5C\\..\\B"), 0);
  // A double-byte character does not hide a following colon or "..".
  EXPECT_EQ(IsSafeEntryName("\x82\xA0:x"), 0);
  EXPECT_EQ(IsSafeEntryName("\x82\xA0\\.."), 0);
  // A lead byte whose next byte is no trail stays single: '/' after it separates.
  EXPECT_EQ(IsSafeEntryName("\x81/.."), 0);
  EXPECT_EQ(IsSafeEntryName("A\\\x81"), 1);
}
