// Reads back the resources linked into this test program, which come from the
// product's resource script with the test brand, title and payload given in
// tests/CMakeLists.txt.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "support/inflate.h"
#include "support/payload.h"

namespace {

const WORD kJapanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);

std::string Bytes(const void* p, size_t n) { return std::string(static_cast<const char*>(p), n); }

// The resource's bytes, or an empty string when it is not there.
std::string Resource(LPCSTR type, LPCSTR name) {
  HRSRC found = FindResourceExA(nullptr, type, name, kJapanese);
  if (!found) return std::string();
  HGLOBAL loaded = LoadResource(nullptr, found);
  return Bytes(LockResource(loaded), SizeofResource(nullptr, found));
}

std::string LoadString260(UINT id) {
  char buffer[260];
  std::memset(buffer, 0x7F, sizeof buffer);
  const int n = LoadStringA(GetModuleHandleA(nullptr), id, buffer, sizeof buffer);
  return std::string(buffer, n > 0 ? n : 0);
}

std::u16string Utf16(const char16_t* s) { return s; }

// Reads a dialog template in order.
struct Reader {
  const unsigned char* p;
  uint16_t Word() {
    uint16_t v = p[0] | p[1] << 8;
    p += 2;
    return v;
  }
  uint32_t Dword() {
    uint32_t lo = Word();
    return lo | static_cast<uint32_t>(Word()) << 16;
  }
  std::u16string Text() {
    std::u16string s;
    while (uint16_t c = Word()) s += static_cast<char16_t>(c);
    return s;
  }
  void AlignDword(const void* base) {
    while ((p - static_cast<const unsigned char*>(base)) % 4) ++p;
  }
};

BOOL CALLBACK CountName(HMODULE, LPCSTR, LPSTR, LONG_PTR count) {
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}

BOOL CALLBACK CountLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR count) {
  EXPECT_EQ(language, kJapanese);
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}

int Count(LPCSTR type) {
  int n = 0;
  EnumResourceNamesA(nullptr, type, CountName, reinterpret_cast<LONG_PTR>(&n));
  return n;
}

}  // namespace

TEST(Resources, StringTableInCodePage932) {
  EXPECT_EQ(LoadString260(IDS_BRAND),
            "\x83\x65\x83\x58\x83\x67\x5c\x83\x5c\x83\x74\x83\x67\x95\x5c");
  EXPECT_EQ(LoadString260(IDS_TITLE), "\x94\x5c\x22\x97\x5c\x22\x83\x51\x81\x5b\x83\x80");
  EXPECT_EQ(LoadString260(IDS_PATH_TAG), "path");
  EXPECT_EQ(LoadString260(IDS_GAME_MUTEX), "QN5MUTEXOBJ");
  EXPECT_EQ(LoadString260(IDS_CONFIG_MUTEX), "QN5MUTEXOBJ_CONFIG");
  // Block 11 holds ids 160-175; only 162-166 are set. Each entry is a counted
  // UTF-16 string.
  const std::string block = Resource(RT_STRING, MAKEINTRESOURCEA(IDS_BRAND / 16 + 1));
  ASSERT_FALSE(block.empty());
  Reader r{reinterpret_cast<const unsigned char*>(block.data())};
  std::vector<std::u16string> entries;
  for (int i = 0; i < 16; ++i) {
    std::u16string s(r.Word(), u'\0');
    for (char16_t& c : s) c = static_cast<char16_t>(r.Word());
    entries.push_back(s);
  }
  EXPECT_EQ(r.p, reinterpret_cast<const unsigned char*>(block.data()) + block.size());
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(entries[i].empty(), i < 2 || i > 6) << "id " << 160 + i;
  }
  EXPECT_EQ(entries[2], Utf16(u"\u30c6\u30b9\u30c8\\\u30bd\u30d5\u30c8\u8868"));
  EXPECT_EQ(entries[3], Utf16(u"\u80fd\"\u4e88\"\u30b2\u30fc\u30e0"));
  EXPECT_EQ(entries[6], Utf16(u"QN5MUTEXOBJ_CONFIG"));
}

TEST(Resources, PayloadInflatesToTheArchive) {
  // The lookup of the unpack step: type and name only.
  HRSRC found = FindResourceA(nullptr, "DATA", "UPDATEDATA");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(FindResourceExA(nullptr, "UPDATEDATA", "DATA", kJapanese), found);
  const std::string payload = Resource("UPDATEDATA", "DATA");
  PayloadHeader h;
  ASSERT_EQ(CheckPayload(payload.data(), payload.size(), &h), 1);
  EXPECT_EQ(Bytes(h.packedName, 32), Bytes("__packtmp__.tmp", 15) + std::string(17, '\0'));
  EXPECT_EQ(h.packedSize, payload.size() - 40);
  EXPECT_EQ(payload.substr(40, 2), "\x78\xDA");
  std::string archive(h.unpackedSize, '\x5A');
  InflateEnd end = INFLATE_END_DAMAGED;
  EXPECT_EQ(
      InflateBuffer(&archive[0], h.unpackedSize, payload.data() + 40, payload.size() - 40, &end),
      static_cast<int>(h.unpackedSize));
  EXPECT_EQ(end, INFLATE_END_CLEAN);
  // Three entries in byte order of their names, data right after each copy.
  ASSERT_EQ(archive.size(), 8u + 3 * 72 + 3 * 72 + 7 + 4 + 8);
  EXPECT_EQ(archive.substr(0, 8), Bytes("QRB\0\3\0\0\0", 8));
  const char* names[] = {"a.txt", "sub\\b.dat", "表示.txt"};
  const std::string data[] = {"alpha\r\n", Bytes("\x00\x01\xfe\xff", 4), "hyouji\r\n"};
  size_t offset = 8 + 3 * 72;
  for (int i = 0; i < 3; ++i) {
    const std::string entry = archive.substr(8 + 72 * i, 72);
    EXPECT_STREQ(entry.c_str(), names[i]);
    EXPECT_EQ(archive.substr(offset, 72), entry);
    offset += 72;
    EXPECT_EQ(archive.substr(offset, data[i].size()), data[i]);
    offset += data[i].size();
  }
}

TEST(Resources, ProgressDialogTemplate) {
  const std::string t = Resource(RT_DIALOG, MAKEINTRESOURCEA(IDD_UPDATE));
  ASSERT_FALSE(t.empty());
  Reader r{reinterpret_cast<const unsigned char*>(t.data())};
  EXPECT_EQ(r.Word(), 1);       // dlgVer
  EXPECT_EQ(r.Word(), 0xFFFF);  // extended template
  EXPECT_EQ(r.Dword(), 0u);     // help id
  EXPECT_EQ(r.Dword(), 0u);     // extended style
  EXPECT_EQ(r.Dword(), static_cast<uint32_t>(WS_POPUP | WS_VISIBLE | DS_MODALFRAME | DS_SETFONT));
  EXPECT_EQ(r.Word(), 1);  // controls
  EXPECT_EQ(r.Word(), 0);
  EXPECT_EQ(r.Word(), 0);
  EXPECT_EQ(r.Word(), 159);
  EXPECT_EQ(r.Word(), 22);
  EXPECT_EQ(r.Text(), u"");  // no menu
  EXPECT_EQ(r.Text(), u"");  // default class
  EXPECT_EQ(r.Text(), u"");  // no title
  EXPECT_EQ(r.Word(), 9);    // points
  EXPECT_EQ(r.Word(), 400);  // weight
  EXPECT_EQ(r.p[0], 0);      // not italic
  EXPECT_EQ(r.p[1], 128);    // SHIFTJIS_CHARSET
  r.p += 2;
  EXPECT_EQ(r.Text(), u"MS UI Gothic");
  r.AlignDword(t.data());
  EXPECT_EQ(r.Dword(), 0u);  // help id
  EXPECT_EQ(r.Dword(), 0u);  // extended style
  EXPECT_EQ(r.Dword(), static_cast<uint32_t>(WS_CHILD | WS_VISIBLE | WS_GROUP | SS_CENTER));
  EXPECT_EQ(r.Word(), 7);
  EXPECT_EQ(r.Word(), 7);
  EXPECT_EQ(r.Word(), 145);
  EXPECT_EQ(r.Word(), 8);
  EXPECT_EQ(r.Dword(), 0xFFFFFFFFu);  // id -1
  EXPECT_EQ(r.Word(), 0xFFFF);        // predefined class by ordinal:
  EXPECT_EQ(r.Word(), 0x0082);        // static
  EXPECT_EQ(r.Text(), Utf16(u"アップデート中です。しばらくお待ちください。"));
  EXPECT_EQ(r.Word(), 0);  // no creation data
  EXPECT_EQ(r.p, reinterpret_cast<const unsigned char*>(t.data()) + t.size());
}

TEST(Resources, ManifestAndIcons) {
  EXPECT_EQ(Count(RT_MANIFEST), 1);
  const std::string manifest = Resource(RT_MANIFEST, MAKEINTRESOURCEA(1));
  EXPECT_NE(manifest.find("level=\"highestAvailable\""), std::string::npos);
  EXPECT_NE(manifest.find("uiAccess=\"false\""), std::string::npos);
  EXPECT_EQ(Count(RT_GROUP_ICON), 2);
  for (int id : {IDI_MAIN, IDI_SMALL}) {
    const std::string group = Resource(RT_GROUP_ICON, MAKEINTRESOURCEA(id));
    ASSERT_GE(group.size(), 6u) << id;
    EXPECT_EQ(group[2], 1) << id;  // icon type
    EXPECT_EQ(group[4], id == IDI_MAIN ? 2 : 1) << id;
    EXPECT_NE(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_ICON, 16, 16, 0),
              nullptr)
        << id;
  }
  EXPECT_EQ(Count("UPDATEDATA"), 1);
  int languages = 0;
  EnumResourceLanguagesA(nullptr, "UPDATEDATA", "DATA", CountLanguage,
                         reinterpret_cast<LONG_PTR>(&languages));
  EXPECT_EQ(languages, 1);
}
