#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/install_location.h"
#include "support/path_string.h"
#include "tests/unit/win32_temp.h"

int GetSpecialFolderFromRegistry(const char* valueName, char* out);

TEST(GetSpecialFolder, EveryCodeResolves) {
  for (unsigned code = 0; code <= 11; ++code) {
    char out[QX_MAX_PATH] = {};
    EXPECT_EQ(GetSpecialFolder(code, out), 1) << code;
    EXPECT_GT(std::strlen(out), 2u) << code;
  }
  char temp[QX_MAX_PATH], windows[QX_MAX_PATH], out[QX_MAX_PATH];
  GetTempPathA(QX_MAX_PATH, temp);
  GetWindowsDirectoryA(windows, QX_MAX_PATH);
  GetSpecialFolder(FOLDER_TEMP, out);
  EXPECT_STREQ(out, temp);
  GetSpecialFolder(FOLDER_WINDOWS, out);
  EXPECT_STREQ(out, windows);
  GetSpecialFolder(FOLDER_COMMON_APPDATA, out);
  EXPECT_STREQ(out, "C:\\ProgramData");
}

TEST(GetSpecialFolder, CodesAboveElevenFailUntouched) {
  char out[QX_MAX_PATH] = "untouched";
  EXPECT_EQ(GetSpecialFolder(12, out), 0);
  EXPECT_EQ(GetSpecialFolder(0xFFFFFFFFu, out), 0);
  EXPECT_STREQ(out, "untouched");
}

TEST(GetSpecialFolder, RegistryFallbackReadsShellFolders) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER,
                            "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                            0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const char value[] = "D:\\FromRegistry";
  RegSetValueExA(key, "QxTestFolder", 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                 sizeof(value));
  std::string tooLong(300, 'r');
  RegSetValueExA(key, "QxTestTooLong", 0, REG_SZ, reinterpret_cast<const BYTE*>(tooLong.c_str()),
                 static_cast<DWORD>(tooLong.size() + 1));
  RegCloseKey(key);
  char out[QX_MAX_PATH + 64] = {};
  EXPECT_EQ(GetSpecialFolderFromRegistry("QxTestFolder", out), 1);
  EXPECT_STREQ(out, value);
  out[QX_MAX_PATH] = 'X';
  EXPECT_EQ(GetSpecialFolderFromRegistry("QxTestTooLong", out), 0);
  EXPECT_EQ(out[QX_MAX_PATH], 'X');
  EXPECT_EQ(GetSpecialFolderFromRegistry("QxTestMissing", out), 0);
}

// A 259-character value stored with its NUL fills the 260-byte buffer exactly.
TEST(GetSpecialFolder, RegistryValueOf259CharactersAndItsNul) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER,
                            "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                            0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const std::string longest(QX_MAX_PATH - 1, 'w');
  RegSetValueExA(key, "QxTestLongest", 0, REG_SZ, reinterpret_cast<const BYTE*>(longest.c_str()),
                 static_cast<DWORD>(longest.size() + 1));
  RegCloseKey(key);
  char out[QX_MAX_PATH];
  ASSERT_EQ(GetSpecialFolderFromRegistry("QxTestLongest", out), 1);
  EXPECT_EQ(std::string(out), longest);
}

// The temporary-files folder fails, with an empty output, when the system
// cannot give it (TMP too long) or its code page 932 form does not fit.
TEST(GetSpecialFolder, TempFolderThatFailsOrDoesNotFit) {
  char saved[1024] = "";
  const DWORD had = GetEnvironmentVariableA("TMP", saved, sizeof saved);
  std::string kana = "C:\\";
  for (int i = 0; i < 200; ++i) kana += "ア";  // 200 characters, 400 bytes
  for (const std::string& tmp : {"C:\\" + std::string(300, 't'), kana}) {
    ASSERT_TRUE(SetEnvironmentVariableA("TMP", tmp.c_str()));
    char out[QX_MAX_PATH + 8];
    std::memset(out, 'X', sizeof out);
    EXPECT_EQ(GetSpecialFolder(FOLDER_TEMP, out), 0) << tmp.size();
    EXPECT_EQ(out[0], '\0');
  }
  SetEnvironmentVariableA("TMP", had && had < sizeof saved ? saved : nullptr);
}

// Registry strings need not carry their NUL: one that fills the whole buffer
// must still come out terminated inside it, or not at all.
TEST(GetSpecialFolder, RegistryValueWithoutNulStaysInsideTheBuffer) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER,
                            "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                            0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const std::string full(QX_MAX_PATH, 'n'), fits(QX_MAX_PATH - 1, 'f');
  RegSetValueExA(key, "QxTestNoNulFull", 0, REG_SZ, reinterpret_cast<const BYTE*>(full.data()),
                 static_cast<DWORD>(full.size()));
  RegSetValueExA(key, "QxTestNoNulFits", 0, REG_BINARY, reinterpret_cast<const BYTE*>(fits.data()),
                 static_cast<DWORD>(fits.size()));
  RegCloseKey(key);
  char out[QX_MAX_PATH + 8];
  std::memset(out, 'X', sizeof out);
  if (GetSpecialFolderFromRegistry("QxTestNoNulFull", out)) {
    EXPECT_NE(std::memchr(out, '\0', QX_MAX_PATH), nullptr);
  }
  EXPECT_EQ(out[QX_MAX_PATH], 'X');
  std::memset(out, 'X', sizeof out);
  ASSERT_EQ(GetSpecialFolderFromRegistry("QxTestNoNulFits", out), 1);
  ASSERT_NE(std::memchr(out, '\0', QX_MAX_PATH), nullptr);
  EXPECT_EQ(std::string(out), fits);
}

namespace {

// Places "<brand>\<title>.xml" in the shared application-data folder.
class InstallLocationFile {
 public:
  InstallLocationFile(const std::string& brand, const std::string& title) {
    char folder[QX_MAX_PATH];
    GetSpecialFolder(FOLDER_COMMON_APPDATA, folder);
    dir_ = std::string(folder) + "\\" + brand;
    CreateDirectoryA(dir_.c_str(), nullptr);
    path_ = dir_ + "\\" + title + ".xml";
  }
  ~InstallLocationFile() { RemoveTree(dir_); }
  bool Write(const std::string& bytes) { return WriteWholeFile(path_, bytes); }

 private:
  std::string dir_;
  std::string path_;
};

std::string Lookup(const char* brand, const char* title) {
  char out[QX_MAX_PATH];
  std::memset(out, 'U', sizeof(out));
  out[QX_MAX_PATH - 1] = 0;
  return GetInstallPath(out, brand, title) ? std::string(out) : std::string("<fail>");
}

}  // namespace

TEST(GetInstallPath, ReadsTheFileOfBrandAndTitle) {
  InstallLocationFile file("QXSoft", "ゲーム");
  ASSERT_TRUE(
      file.Write("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n"
                 "<install><path>C:\\Games\\ゲーム表示</path></install>\r\n"));
  EXPECT_EQ(Lookup("QXSoft", "ゲーム"), "C:\\Games\\ゲーム表示");
  EXPECT_EQ(Lookup("QXSoft", "other"), "<fail>");
  EXPECT_EQ(Lookup("Other", "ゲーム"), "<fail>");
}

TEST(GetInstallPath, ElementEdgeCases) {
  InstallLocationFile file("QXEdge", "T");
  struct Case {
    std::string content;
    std::string expected;
  } cases[] = {
      {"<path>C:\\A</path><path>C:\\B</path>", "C:\\A"},
      {"<path>\r\n  C:\\G\\ \t</path>", "\r\n  C:\\G\\ \t"},
      {"</path><path>C:\\G", "<fail>"},  // empty result refused
      {"<path></path>", "<fail>"},
      {"<PATH>C:\\G</PATH>", "<fail>"},
      {"<path a=\"1\">C:\\G</path>", "<fail>"},
      {std::string("x\0<path>C:\\G</path>", 19), "<fail>"},
      {"", "<fail>"},
      {"<path>" + std::string(300, 'p') + "</path>", "<fail>"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(file.Write(c.content));
    EXPECT_EQ(Lookup("QXEdge", "T"), c.expected) << c.content;
  }
}

TEST(GetInstallPath, MissingFileAndOversizedNamesFail) {
  EXPECT_EQ(Lookup("QXNone", "T"), "<fail>");
  std::string longTitle(256, 't');
  EXPECT_EQ(Lookup("QXNone", longTitle.c_str()), "<fail>");
}
