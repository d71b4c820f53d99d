#include "app/journal.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "app/entry_name.h"

namespace {

const char kHeader[] = "QXJOURNAL 1 ";
const char kEnd[] = "END ";

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// Lines of text, each of which must end in CR LF.
bool SplitLines(const std::string& text, std::vector<std::string>* lines) {
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) return false;
    lines->push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return true;
}

bool ParseEntry(const std::string& line, JournalEntry* entry) {
  const std::size_t space = line.find(' ', 2);
  if (space == std::string::npos || space == 2 || space > 10) return false;
  for (std::size_t i = 2; i < space; ++i)
    if (!std::isxdigit(static_cast<unsigned char>(line[i]))) return false;
  char* end = nullptr;
  const unsigned long index = std::strtoul(line.c_str() + 2, &end, 16);
  if (end != line.c_str() + space) return false;
  entry->index = static_cast<uint32_t>(index);
  entry->name = line.substr(space + 1);
  return IsInstallableEntryName(entry->name.c_str()) != 0;
}

}  // namespace

std::string FormatJournal(const Journal& journal) {
  std::string text = kHeader;
  text += journal.state == JOURNAL_COMMIT ? "COMMIT\r\n" : "STAGING\r\n";
  for (const std::string& directory : journal.directories) text += "D " + directory + "\r\n";
  for (const JournalEntry& entry : journal.entries) {
    char index[16];
    std::snprintf(index, sizeof index, "%X", static_cast<unsigned>(entry.index));
    text += std::string("F ") + index + " " + entry.name + "\r\n";
  }
  return text + kEnd + std::to_string(journal.directories.size() + journal.entries.size()) + "\r\n";
}

bool ParseJournal(const std::string& text, Journal* journal) {
  std::vector<std::string> lines;
  if (!SplitLines(text, &lines) || lines.size() < 2) return false;
  Journal parsed;
  const std::string& header = lines.front();
  if (header == std::string(kHeader) + "COMMIT") {
    parsed.state = JOURNAL_COMMIT;
  } else if (header != std::string(kHeader) + "STAGING") {
    return false;
  }
  const std::size_t body = lines.size() - 2;
  if (lines.back() != kEnd + std::to_string(body)) return false;
  for (std::size_t i = 1; i <= body; ++i) {
    const std::string& line = lines[i];
    if (StartsWith(line, "D ")) {
      parsed.directories.push_back(line.substr(2));
      if (!IsInstallableEntryName(parsed.directories.back().c_str())) return false;
    } else {
      JournalEntry entry;
      if (!StartsWith(line, "F ") || !ParseEntry(line, &entry)) return false;
      parsed.entries.push_back(entry);
    }
  }
  *journal = parsed;
  return true;
}
