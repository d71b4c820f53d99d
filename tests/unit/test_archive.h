// Lays out plain archives in memory for tests: header, index, then each
// entry's index copy followed by its data. Names are raw bytes (at most 63),
// so tests can make entries that the publishing tools would refuse.
#ifndef QX_TESTS_UNIT_TEST_ARCHIVE_H
#define QX_TESTS_UNIT_TEST_ARCHIVE_H

#include <cstdint>
#include <string>
#include <vector>

struct TestEntry {
  std::string name;
  std::string data;
};

inline void PutLittleEndian32(std::string* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// claimedExtra adds bytes to the last entry's recorded size that the file
// does not hold, so reading it whole comes up short.
inline std::string BuildTestArchive(const std::vector<TestEntry>& entries,
                                    uint32_t claimedExtra = 0) {
  std::string out("QRB", 4);
  PutLittleEndian32(&out, static_cast<uint32_t>(entries.size()));
  uint32_t offset = 8 + 72 * static_cast<uint32_t>(entries.size());
  std::string index, body;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const TestEntry& e = entries[i];
    offset += 72;
    std::string record = e.name.substr(0, 63);
    record.resize(64, '\0');
    uint32_t size = static_cast<uint32_t>(e.data.size());
    if (i + 1 == entries.size()) size += claimedExtra;
    PutLittleEndian32(&record, offset);
    PutLittleEndian32(&record, size);
    index += record;
    body += record + e.data;
    offset += static_cast<uint32_t>(e.data.size());
  }
  return out + index + body;
}

#endif
