// The version resource qxbuild stamps, as Windows and the updater's own
// version gate read it back.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/version_gate.h"
#include "tests/unit/win32_temp.h"
#include "tools/lib/pe_image.h"
#include "tools/lib/version_resource.h"

TEST(VersionResource, WindowsAndTheGateReadItBack) {
  // A sample executable of the version gate's tests, its resources replaced.
  char self[MAX_PATH];
  std::string sample(self, GetModuleFileNameA(nullptr, self, MAX_PATH));
  sample = sample.substr(0, sample.find_last_of('\\')) + "\\version_exes\\v1001.exe";
  std::string image = ReadWholeFileOrMark(sample), error;
  ASSERT_NE(image, "<missing>") << sample;
  VersionInfo info;
  ASSERT_TRUE(SetFileVersion("2.0.1.10", &info, &error));
  ASSERT_TRUE(AddVersionString(u8"ProductName=デモ表", &info, &error));
  ASSERT_TRUE(AddVersionString("CompanyName=QX Soft", &info, &error));
  PeResource version;
  version.type = PeNumber(16);
  version.name = PeNumber(1);
  version.language = 1041;
  version.data = BuildVersionResource(info);
  ASSERT_TRUE(WritePeResources(&image, {version}, 0, &error)) << error;
  TempDir dir;
  const std::string path = dir.File("stamped.exe");
  ASSERT_TRUE(WriteWholeFile(path, image));

  VersionInfoRecord record;
  ASSERT_EQ(ReadVersionInfo(path.c_str(), &record), 1);
  EXPECT_STREQ(record.fileVersion, "2, 0, 1, 10");
  EXPECT_EQ(record.fileVersionMS, 2u << 16);
  EXPECT_EQ(record.fileVersionLS, 1u << 16 | 10);
  EXPECT_STREQ(record.companyName, "QX Soft");

  const std::wstring wide(path.begin(), path.end());
  DWORD ignored = 0;
  std::vector<char> block(GetFileVersionInfoSizeW(wide.c_str(), &ignored));
  ASSERT_FALSE(block.empty());
  ASSERT_TRUE(GetFileVersionInfoW(wide.c_str(), 0, DWORD(block.size()), block.data()));
  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(
      VerQueryValueW(block.data(), L"\\StringFileInfo\\041104b0\\ProductName", &value, &length));
  EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(value)), L"\u30c7\u30e2\u8868");
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", &value, &length));
  const VS_FIXEDFILEINFO* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  EXPECT_EQ(fixed->dwFileVersionMS, 2u << 16);
  EXPECT_EQ(fixed->dwFileVersionLS, 1u << 16 | 10);
  EXPECT_EQ(fixed->dwFileType, DWORD(VFT_APP));
}
