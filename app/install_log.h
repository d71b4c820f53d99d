// The install log: every file the updater has written into the install
// directory, one quoted full path per CR LF line, kept sorted without regard
// to ASCII case and free of duplicates. It accumulates over runs.
#ifndef QX_APP_INSTALL_LOG_H
#define QX_APP_INSTALL_LOG_H

#include <cstddef>
#include <vector>

#include "support/path_string.h"

// One stored line: a NUL-terminated byte string of at most QX_MAX_PATH - 1 bytes.
struct InstallLogLine {
  char text[QX_MAX_PATH];
};

// Buffer size for one formatted line: the text, CR LF and a NUL.
enum { INSTALL_LOG_FORMATTED_SIZE = QX_MAX_PATH + 2 };

class InstallLog {
 public:
  // Appends the lines of the file at path after those held. The file must be
  // read whole (opened, sized, read in one call into a counted block of the
  // private heap); otherwise 0 and the list is unchanged. Win32 only.
  int Load(const char* path);
  // Replaces the file with the lines, each ended by CR LF, whole or not at all:
  // they are written into a sibling, flushed, and renamed over the file. 0 when
  // any of that fails (a full disk, a read-only or busy log); the old file
  // then stands as it was. Win32 only.
  int Save(const char* path) const;

  // Appends every line of text (ended by CR LF, LF, or the NUL), blank lines
  // included. A line longer than QX_MAX_PATH - 1 bytes is skipped. Returns the
  // number of lines appended.
  std::size_t LoadText(const char* text);
  // Appends a copy of text. 0 (nothing added) when it is too long for a line.
  int Add(const char* text);
  // Stable sort under CompareLines, then of every run of equal lines only the
  // first (the earliest added) stays, with its own bytes. Always 1.
  int SortUnique();

  std::size_t GetCount() const { return lines.size(); }
  const char* GetLine(std::size_t i) const { return lines[i].text; }

  // Byte comparison with A-Z folded to a-z (every byte, no locale); a line that
  // ends first is smaller. Negative, 0 or positive.
  static int CompareLines(const char* a, const char* b);
  // Writes the line that records a written file into out (QX_MAX_PATH bytes):
  // path in double quotes. Its length, or 0 (out emptied) when it does not fit.
  static int FormatPathLine(const char* path, char* out);
  // Writes text followed by CR LF and a NUL into out (INSTALL_LOG_FORMATTED_SIZE
  // bytes) and returns the count to write (text length + 2).
  static std::size_t FormatLine(const char* text, char* out);

 private:
  std::vector<InstallLogLine> lines;
};

#endif
