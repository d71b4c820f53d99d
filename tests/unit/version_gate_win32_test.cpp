#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/messages.h"
#include "app/version_gate.h"
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

// The gate on a staged copy holding newBytes against installed (none when
// empty), in a fresh install directory: 1 install, 0 skip, -1 failed. Neither
// file is touched.
int Gate(const std::string& newBytes, const std::string& installed) {
  TempDir dir;
  const std::string staged = dir.File("~QX00000.TMP"), target = dir.File("GAME.EXE");
  EXPECT_TRUE(WriteWholeFile(staged, newBytes));
  if (!installed.empty()) {
    EXPECT_TRUE(WriteWholeFile(target, installed));
  }
  const char* why = nullptr;
  const GateVerdict verdict =
      CheckExeVersion(staged.c_str(), target.c_str(), !installed.empty(), &why);
  EXPECT_EQ(ReadWholeFileOrMark(staged), newBytes);
  EXPECT_EQ(ReadWholeFileOrMark(target), installed.empty() ? "<missing>" : installed);
  return verdict == GATE_INSTALL ? 1 : verdict == GATE_SKIP ? 0 : -1;
}

int GateSamples(const std::string& newName, const std::string& installedName) {
  return Gate(SampleBytes(newName),
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
  EXPECT_EQ(ReadVersionInfo(SampleExe("no-such-sample").c_str(), &record), VERSION_UNREADABLE);
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

TEST(CheckExeVersion, AnInstalledVersionThatCannotBeReadStopsTheUpdate) {
  TempDir dir;
  const std::string staged = dir.File("~QX00000.TMP"), target = dir.File("GAME.EXE");
  ASSERT_TRUE(WriteWholeFile(staged, SampleBytes("v1001")));
  ASSERT_TRUE(WriteWholeFile(target, SampleBytes("v1002")));
  // Held without sharing, as a program that may not be read from holds it.
  HANDLE held = CreateFileA(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const char* why = nullptr;
  EXPECT_EQ(CheckExeVersion(staged.c_str(), target.c_str(), true, &why), GATE_FAILED);
  EXPECT_STREQ(why, MSG_VERSION_UNREADABLE_FMT);
  CloseHandle(held);
  EXPECT_EQ(CheckExeVersion(staged.c_str(), target.c_str(), true, &why), GATE_SKIP);
}
