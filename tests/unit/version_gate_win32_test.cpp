#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/version_gate.h"
#include "tests/unit/test_archive.h"
#include "tests/unit/win32_temp.h"

namespace {

// The sample executables are built beside this test program.
std::string SampleExe(const std::string& name) {
  char self[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string dir(self, n);
  dir.resize(dir.find_last_of('\\'));
  return dir + "\\version_exes\\" + name + ".exe";
}

std::string SampleBytes(const std::string& name) {
  std::string bytes = ReadWholeFileOrMark(SampleExe(name));
  EXPECT_NE(bytes, "<missing>") << name;
  return bytes;
}

int CountTemporaryCopies(const std::string& dir) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((dir + "\\*.TMP").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  int count = 0;
  do ++count;
  while (FindNextFileA(search, &found));
  FindClose(search);
  return count;
}

// Runs the gate on one entry holding newBytes, against installed (none when
// empty), in a fresh install directory; checks the entry is rewound, the copy
// holds the entry whole when it is to go in and is gone otherwise, and the
// installed file is untouched.
int Gate(const std::string& name, const std::string& newBytes, const std::string& installed,
         uint32_t claimedExtra = 0) {
  TempDir dir;
  if (!installed.empty()) {
    EXPECT_TRUE(WriteWholeFile(dir.File(name), installed));
  }
  std::string archivePath = dir.File("work.tmd");
  EXPECT_TRUE(WriteWholeFile(archivePath, BuildTestArchive({{name, newBytes}}, claimedExtra)));
  qxArchive reader(32);
  EXPECT_EQ(reader.Open(archivePath.c_str()), 1);
  qxArchiveEntry* entry = reader.OpenEntry(0);
  EXPECT_NE(entry, NoArchiveEntry());
  char skipped[3];  // the gate must start from the entry's start
  reader.Read(entry, skipped, sizeof skipped);
  std::string copy = dir.File("~QXNEW~.TMP");
  EntryCopyResult failure = COPY_DONE;
  GateVerdict verdict =
      CheckExeVersion(&reader, entry, copy.c_str(), dir.File(name).c_str(), &failure);
  EXPECT_EQ(entry->position, 0u);
  if (verdict == GATE_INSTALL) {
    EXPECT_EQ(ReadWholeFileOrMark(copy), newBytes);
    DeleteFileA(copy.c_str());
  }
  int result = verdict == GATE_INSTALL ? 1 : verdict == GATE_SKIP ? 0 : -1 - failure;
  std::string again(newBytes.size(), '\0');
  if (!again.empty()) reader.Read(entry, &again[0], static_cast<uint32_t>(again.size()));
  EXPECT_EQ(again, newBytes);
  EXPECT_EQ(CountTemporaryCopies(dir.path()), 0);
  EXPECT_EQ(ReadWholeFileOrMark(dir.File(name)), installed.empty() ? "<missing>" : installed);
  return result;
}

int GateSamples(const std::string& newName, const std::string& installedName) {
  return Gate("GAME.EXE", SampleBytes(newName),
              installedName.empty() ? std::string() : SampleBytes(installedName));
}

}  // namespace

TEST(ReadVersionInfo, ReadsTheStringsOfTheFirstTranslation) {
  VersionInfoRecord record;
  ASSERT_EQ(ReadVersionInfo(SampleExe("v1001").c_str(), &record), 1);
  EXPECT_STREQ(record.fileVersion, "1, 0, 0, 1");
  EXPECT_EQ(record.fileVersionMS, 65536u);
  EXPECT_EQ(record.fileVersionLS, 1u);
  EXPECT_STREQ(record.companyName, "QX Test");
  EXPECT_STREQ(record.productName, "Sample");
  EXPECT_STREQ(record.originalFilename, "v1001.exe");
  EXPECT_STREQ(record.legalCopyright, "");
  EXPECT_EQ(std::string(record.comments), std::string(255, 'c'));  // 300 bytes cut to fit

  ASSERT_EQ(ReadVersionInfo(SampleExe("v10010").c_str(), &record), 1);
  EXPECT_EQ(record.fileVersionMS, 0x10000u);
  EXPECT_EQ(record.fileVersionLS, 10u);
  ASSERT_EQ(ReadVersionInfo(SampleExe("v1020").c_str(), &record), 1);
  EXPECT_EQ(record.fileVersionLS, 0x20000u);
}

TEST(ReadVersionInfo, OddAndMissingResources) {
  VersionInfoRecord record;
  ASSERT_EQ(ReadVersionInfo(SampleExe("vdots").c_str(), &record), 1);
  EXPECT_STREQ(record.fileVersion, "1.0.2.5");
  EXPECT_EQ(record.fileVersionMS, 0u);
  EXPECT_EQ(record.fileVersionLS, 0u);

  // Without a translation table nothing is read, although strings exist.
  ASSERT_EQ(ReadVersionInfo(SampleExe("vnotrans").c_str(), &record), 1);
  EXPECT_STREQ(record.fileVersion, "");
  EXPECT_EQ(record.fileVersionMS, 0u);

  record.fileVersionMS = 77;
  EXPECT_EQ(ReadVersionInfo(SampleExe("vnone").c_str(), &record), 0);
  EXPECT_EQ(record.fileVersionMS, 0u);  // cleared all the same
  EXPECT_EQ(ReadVersionInfo(SampleExe("no-such-sample").c_str(), &record), 0);
}

TEST(CheckExeVersion, ComparesFileVersionStrings) {
  EXPECT_EQ(GateSamples("v1002", "v1001"), 1);
  EXPECT_EQ(GateSamples("v1001", "v1002"), 0);
  EXPECT_EQ(GateSamples("v1001b", "v1001"), 1);  // equal versions install
  EXPECT_EQ(GateSamples("v1020", "v1019"), 1);
  EXPECT_EQ(GateSamples("v1019", "v1020"), 0);
  EXPECT_EQ(GateSamples("v10010", "v1002"), 1);
  EXPECT_EQ(GateSamples("v1002", "v10010"), 0);
  EXPECT_EQ(GateSamples("v2000", "v1020"), 1);  // the high word decides first
  EXPECT_EQ(GateSamples("v1020", "v2000"), 0);
}

TEST(CheckExeVersion, MissingOrUnreadableVersions) {
  EXPECT_EQ(GateSamples("v1001", ""), 1);       // nothing installed
  EXPECT_EQ(GateSamples("v1001", "vnone"), 1);  // installed file has no resource
  EXPECT_EQ(GateSamples("v1001", "vdots"), 1);  // installed reads 0.0.0.0
  EXPECT_EQ(GateSamples("vnone", "v1001"), 0);  // a new file without one never goes in
  EXPECT_EQ(GateSamples("vnone", ""), 0);
  EXPECT_EQ(GateSamples("vdots", "v1001"), 0);
  EXPECT_EQ(GateSamples("vnotrans", "v1001"), 0);
  EXPECT_EQ(GateSamples("vdots", "vnotrans"), 1);  // 0.0.0.0 against 0.0.0.0
}

TEST(CheckExeVersion, FailuresAreReportedNotSkipped) {
  // The entry claims more bytes than the archive holds: it cannot be read whole.
  EXPECT_EQ(Gate("GAME.EXE", SampleBytes("v2000"), SampleBytes("v1001"), 16), -1 - COPY_READ_SHORT);

  // A copy that cannot be made (its directory is missing) is a failure too.
  TempDir dir;
  std::string archivePath = dir.File("work.tmd");
  ASSERT_TRUE(WriteWholeFile(archivePath, BuildTestArchive({{"X.EXE", SampleBytes("v1002")}})));
  qxArchive reader(32);
  ASSERT_EQ(reader.Open(archivePath.c_str()), 1);
  qxArchiveEntry* entry = reader.OpenEntry(0);
  EntryCopyResult failure = COPY_DONE;
  EXPECT_EQ(CheckExeVersion(&reader, entry, dir.File("NO\\~QXNEW~.TMP").c_str(),
                            dir.File("X.EXE").c_str(), &failure),
            GATE_FAILED);
  EXPECT_EQ(failure, COPY_CREATE_FAILED);
  EXPECT_EQ(entry->position, 0u);
}
