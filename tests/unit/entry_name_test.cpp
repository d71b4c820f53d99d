#include "app/entry_name.h"

#include <gtest/gtest.h>

namespace {

// Each rule with a refused name and an accepted neighbour. ソ is 0x83 0x5C,
// 表 0x95 0x5C, 能 0x94 0x5C, ポ 0x83 0x7C: trail bytes equal to '\' and '|'.
TEST(CheckEntryName, EveryRuleWithItsNeighbours) {
  struct Case {
    const char* name;
    EntryNameProblem want;
  } cases[] = {
      {"GAME.EXE", ENTRY_NAME_OK},
      {"DATA\\SUB\\X.BIN", ENTRY_NAME_OK},
      {"\x83\x5C\\\x95\x5C"
       "A\\B\x94\x5C",
       ENTRY_NAME_OK},                                   // ソ\表A\B能: trails are no separators
      {"\x83\x7C.TXT", ENTRY_NAME_OK},                   // ポ: a trail '|' is no '|'
      {"\x95\x5C..", ENTRY_NAME_TRAILING_DOT_OR_BLANK},  // one component "表.."
      {"\xB1\xDF.TXT", ENTRY_NAME_OK},                   // half-width katakana
      {"a..b", ENTRY_NAME_OK},
      {"x\x7F", ENTRY_NAME_OK},
      // Empty, and components that leave or stay in place.
      {"", ENTRY_NAME_EMPTY},
      {nullptr, ENTRY_NAME_EMPTY},
      {"\\x", ENTRY_NAME_EMPTY},
      {"\\\\server\\share\\x", ENTRY_NAME_EMPTY},
      {"a\\\\b", ENTRY_NAME_EMPTY},
      {"a\\", ENTRY_NAME_EMPTY},
      {"\x95\x5C\\", ENTRY_NAME_EMPTY},  // 表 then a real separator, then nothing
      {"..", ENTRY_NAME_DOT_COMPONENT},
      {"..\\x", ENTRY_NAME_DOT_COMPONENT},
      {"a\\..\\b", ENTRY_NAME_DOT_COMPONENT},
      {".\\x", ENTRY_NAME_DOT_COMPONENT},
      {"\x95\x5C\\..\\B", ENTRY_NAME_DOT_COMPONENT},
      // Trailing dots and blanks, which Windows drops.
      {"readme.txt.", ENTRY_NAME_TRAILING_DOT_OR_BLANK},
      {"readme.txt ", ENTRY_NAME_TRAILING_DOT_OR_BLANK},
      {"dir.\\x", ENTRY_NAME_TRAILING_DOT_OR_BLANK},
      {"...", ENTRY_NAME_TRAILING_DOT_OR_BLANK},
      {" lead.txt", ENTRY_NAME_OK},
      // Characters Windows forbids; a separator '/' is one of them.
      {"a?b", ENTRY_NAME_FORBIDDEN_CHARACTER},
      {"a*b", ENTRY_NAME_FORBIDDEN_CHARACTER},
      {"a\"b", ENTRY_NAME_FORBIDDEN_CHARACTER},
      {"a<b", ENTRY_NAME_FORBIDDEN_CHARACTER},
      {"a>b", ENTRY_NAME_FORBIDDEN_CHARACTER},
      {"a|b", ENTRY_NAME_FORBIDDEN_CHARACTER},
      {"C:x", ENTRY_NAME_FORBIDDEN_CHARACTER},
      {"x.txt:stream", ENTRY_NAME_FORBIDDEN_CHARACTER},
      {"DATA/X.BIN", ENTRY_NAME_FORBIDDEN_CHARACTER},
      {"/x", ENTRY_NAME_FORBIDDEN_CHARACTER},
      {"a\tb", ENTRY_NAME_FORBIDDEN_CHARACTER},
      {"\x82\xA0:x", ENTRY_NAME_FORBIDDEN_CHARACTER},  // a character does not hide a ':'
      // Bytes that start no character the updater reads.
      {"\xFA\x5C.TXT", ENTRY_NAME_UNKNOWN_CHARACTER},  // 纊 in the IBM rows
      {"\xF0\x40", ENTRY_NAME_UNKNOWN_CHARACTER},
      {"a\x80", ENTRY_NAME_UNKNOWN_CHARACTER},
      {"a\xA0", ENTRY_NAME_UNKNOWN_CHARACTER},
      {"A\\\x81", ENTRY_NAME_UNKNOWN_CHARACTER},  // a lead byte without its trail
      {"\x81/..", ENTRY_NAME_UNKNOWN_CHARACTER},
      // Devices, with or without an extension, in any case and any folder.
      {"CON", ENTRY_NAME_DEVICE},
      {"nul.txt", ENTRY_NAME_DEVICE},
      {"COM1.DAT", ENTRY_NAME_DEVICE},
      {"lpt9", ENTRY_NAME_DEVICE},
      {"AUX\\a.txt", ENTRY_NAME_DEVICE},
      {"DATA\\PRN.TAR.GZ", ENTRY_NAME_DEVICE},
      {"CON .TXT", ENTRY_NAME_DEVICE},
      {"CONOUT$", ENTRY_NAME_DEVICE},
      {"CONSOLE", ENTRY_NAME_OK},
      {"COM0", ENTRY_NAME_OK},
      {"COM10", ENTRY_NAME_OK},
      {"XCON.TXT", ENTRY_NAME_OK},
      // The updater's own working names.
      {"~QXNEW~.TMP", ENTRY_NAME_WORKING_FILE},
      {"data\\~qxnew~.tmp", ENTRY_NAME_WORKING_FILE},
      {"~QXNEW~.TMP\\A.TXT", ENTRY_NAME_WORKING_FILE},  // as a folder too
      {"~QX0001F.TMP", ENTRY_NAME_WORKING_FILE},
      {"\x95\x5C\\~QX1.TMP", ENTRY_NAME_WORKING_FILE},
      {"\x95\x5C~QX1.TMP", ENTRY_NAME_OK},  // one component "表~QX1.TMP"
      {"~QX.TMPX", ENTRY_NAME_OK},
      {"INSTALL.LOG", ENTRY_NAME_WORKING_FILE},
      {"install.log\\x", ENTRY_NAME_WORKING_FILE},
      {"__UPDATETMP__.TMD", ENTRY_NAME_WORKING_FILE},
      {"DATA\\INSTALL.LOG", ENTRY_NAME_OK},  // only the top one is the updater's
      {"INSTALL.LOG2", ENTRY_NAME_OK},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CheckEntryName(c.name), c.want) << (c.name ? c.name : "(null)");
    EXPECT_EQ(IsInstallableEntryName(c.name), c.want == ENTRY_NAME_OK ? 1 : 0);
  }
}

TEST(IsExecutableName, ExtensionExeInAnyCase) {
  EXPECT_EQ(IsExecutableName("GAME.EXE"), 1);
  EXPECT_EQ(IsExecutableName("bin\\setup.Exe"), 1);
  EXPECT_EQ(IsExecutableName("\x83\x5C.exe"), 1);  // ソ.exe
  EXPECT_EQ(IsExecutableName("GAME.EXE.BAK"), 0);
  EXPECT_EQ(IsExecutableName("EXE\\README"), 0);
  EXPECT_EQ(IsExecutableName("GAMEEXE"), 0);
}

}  // namespace
