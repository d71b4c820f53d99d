// The install log on a hostile old install.log: loading its text, adding
// lines, SortUnique and the saved line format. Input: the log file's bytes up
// to the first NUL (where the loader stops), then lines to Add, one per LF.
// The same bytes, whole, as the journal a killed run left beside the log: a
// journal is taken only when it reads back as itself and names nothing the
// updater would not write.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "app/entry_name.h"
#include "app/install_log.h"
#include "app/journal.h"
#include "fuzz/fuzz_check.h"

namespace {

unsigned char Fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

int Compare(const std::string& a, const std::string& b) {
  for (size_t i = 0;; ++i) {
    unsigned char x = i < a.size() ? Fold(a[i]) : 0, y = i < b.size() ? Fold(b[i]) : 0;
    if (x != y) return x < y ? -1 : 1;
    if (i >= a.size()) return 0;
  }
}

int Sign(int v) { return (v > 0) - (v < 0); }

// Lines as the loader must see them: ended by LF or by the end of the text,
// one CR before the LF dropped; other CRs belong to the line.
std::vector<std::string> SplitFile(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t lf = text.find('\n', at);
    size_t end = lf == std::string::npos ? text.size() : lf;
    std::string line = text.substr(at, end - at);
    if (lf != std::string::npos && !line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    at = lf == std::string::npos ? text.size() : lf + 1;
  }
  return lines;
}

std::vector<std::string> Held(const InstallLog& log) {
  std::vector<std::string> out;
  for (size_t i = 0; i < log.GetCount(); ++i) {
    const char* line = log.GetLine(i);
    FUZZ_CHECK(std::memchr(line, 0, QX_MAX_PATH) != nullptr);
    out.push_back(line);
  }
  return out;
}

// What is saved, read back: the same lines in the same order.
std::string Saved(const std::vector<std::string>& lines) {
  std::string file;
  for (const std::string& line : lines) {
    char out[INSTALL_LOG_FORMATTED_SIZE + 8];
    std::memset(out, 0x7E, sizeof out);
    size_t n = InstallLog::FormatLine(line.c_str(), out);
    FUZZ_CHECK(n == line.size() + 2 && std::memcmp(out, line.data(), line.size()) == 0);
    FUZZ_CHECK(std::memcmp(out + line.size(), "\r\n", 3) == 0);
    for (size_t i = n + 1; i < sizeof out; ++i) FUZZ_CHECK(out[i] == 0x7E);
    file.append(out, n);
  }
  return file;
}

// Sorted, no two equal under the folding comparison, each kept line the
// first of its kind in the order added.
void CheckSorted(const std::vector<std::string>& input, const std::vector<std::string>& out) {
  for (size_t i = 0; i < out.size(); ++i) {
    FUZZ_CHECK(out[i].size() < QX_MAX_PATH);
    if (i > 0) FUZZ_CHECK(Compare(out[i - 1], out[i]) < 0);
    if (i > 0) FUZZ_CHECK(Sign(InstallLog::CompareLines(out[i - 1].c_str(), out[i].c_str())) < 0);
  }
  size_t matched = 0;
  std::vector<bool> seen(out.size(), false);
  for (const std::string& line : input) {
    size_t lo = 0, hi = out.size();  // binary search under the folding order
    while (lo < hi) {
      size_t mid = (lo + hi) / 2;
      if (Compare(out[mid], line) < 0)
        lo = mid + 1;
      else
        hi = mid;
    }
    FUZZ_CHECK(lo < out.size() && Compare(out[lo], line) == 0);
    if (!seen[lo]) {
      FUZZ_CHECK(out[lo] == line);
      seen[lo] = true;
      ++matched;
    }
  }
  FUZZ_CHECK(matched == out.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  size_t nul = input.find('\0');
  std::string file = input.substr(0, nul);
  std::string text = file;
  text.append(8, '\0');  // the loader's slack behind the text

  Journal journal;
  if (ParseJournal(input, &journal)) {
    FUZZ_CHECK(FormatJournal(journal) == input);
    for (const JournalEntry& entry : journal.entries)
      FUZZ_CHECK(IsInstallableEntryName(entry.name.c_str()));
    for (const std::string& folder : journal.directories)
      FUZZ_CHECK(IsInstallableEntryName(folder.c_str()));
  }

  InstallLog log;
  std::vector<std::string> expected;
  for (const std::string& line : SplitFile(file))
    if (line.size() < QX_MAX_PATH) expected.push_back(line);
  FUZZ_CHECK(log.LoadText(text.c_str()) == expected.size());
  FUZZ_CHECK(Held(log) == expected);
  if (nul != std::string::npos) {
    for (const std::string& line : SplitFile(input.substr(nul + 1))) {
      std::string added = line.substr(0, line.find('\0'));
      const bool fits = added.size() < QX_MAX_PATH;
      FUZZ_CHECK(log.Add(added.c_str()) == (fits ? 1 : 0));
      if (fits) expected.push_back(added);
    }
  }
  FUZZ_CHECK(log.SortUnique() == 1);
  const std::vector<std::string> sorted = Held(log);
  CheckSorted(expected, sorted);

  // Saving and loading again changes nothing, nor does a second sort.
  std::string saved = Saved(sorted);
  saved.append(8, '\0');
  InstallLog again;
  FUZZ_CHECK(again.LoadText(saved.c_str()) == sorted.size());
  again.SortUnique();
  FUZZ_CHECK(Held(again) == sorted);
  return 0;
}
