// The journal of an update in progress. It lives in the install directory and
// is always replaced whole (through a sibling, flushed): written before
// anything is staged (STAGING: the staging files and folders the run will
// make) and again before the commit (COMMIT: the entries it renames over
// their destinations), and deleted last. A run that finds one first finishes
// what it describes: a STAGING journal is rolled back, a COMMIT journal rolled
// forward. So a kill at any moment leaves every file old or whole new, and
// the next run the game exactly as it was or exactly the new version.
#ifndef QX_APP_JOURNAL_H
#define QX_APP_JOURNAL_H

#include <cstdint>
#include <string>
#include <vector>

// A working name (IsWorkingFileName), so no entry can be it.
#define QX_JOURNAL_NAME "~QXJRNL.TMP"

enum JournalState { JOURNAL_STAGING, JOURNAL_COMMIT };

// One archive entry: its index names its staging file (FormatStagingPath).
struct JournalEntry {
  uint32_t index;
  std::string name;  // relative to the install directory, as the reader lists it
};

struct Journal {
  JournalState state = JOURNAL_STAGING;
  std::vector<std::string> directories;  // relative; made by the run, outermost first
  std::vector<JournalEntry> entries;
};

// The journal as text: a header line, one line per directory and entry, and a
// closing line that counts them, each ended by CR LF.
std::string FormatJournal(const Journal& journal);

// false when text is not one whole journal, or names anything the updater
// would not write (CheckEntryName): a damaged journal never leads outside the
// install directory.
bool ParseJournal(const std::string& text, Journal* journal);

#endif
