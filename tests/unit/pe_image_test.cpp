// The resource-section writer on a small hand-made PE32 image: .text, .rsrc,
// then .reloc, as the MinGW linker lays out the updater stub.
#include "tools/lib/pe_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/version_text.h"
#include "tests/unit/temp_path.h"
#include "tools/lib/update_check.h"
#include "tools/lib/version_resource.h"

namespace {

uint32_t Get32(const std::string& s, size_t at) {
  return uint32_t(uint8_t(s[at])) | uint32_t(uint8_t(s[at + 1])) << 8 |
         uint32_t(uint8_t(s[at + 2])) << 16 | uint32_t(uint8_t(s[at + 3])) << 24;
}
void Put32(std::string* s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*s)[at + i] = char(v >> (8 * i));
}

const size_t kCoff = 0x44, kOptional = kCoff + 20, kSections = kOptional + 224;

// Sections of 0x200 file bytes each, at RVAs 0x1000, 0x2000, 0x3000.
std::string MakeImage() {
  std::string image(0x200 * 4, '\0');
  image.replace(0, 2, "MZ");
  Put32(&image, 0x3C, 0x40);
  image.replace(0x40, 4, std::string("PE\0\0", 4));
  Put32(&image, kCoff, 0x14C | 3u << 16);  // i386, three sections
  Put32(&image, kCoff + 16, 224 | 0x102u << 16);
  Put32(&image, kOptional, 0x10B);
  Put32(&image, kOptional + 8, 0x400);  // SizeOfInitializedData: .rsrc, .reloc
  Put32(&image, kOptional + 32, 0x1000);
  Put32(&image, kOptional + 36, 0x200);
  Put32(&image, kOptional + 56, 0x4000);
  Put32(&image, kOptional + 92, 16);
  const char* names[] = {".text", ".rsrc", ".reloc"};
  for (uint32_t i = 0; i < 3; ++i) {
    const size_t h = kSections + 40 * i;
    image.replace(h, std::string(names[i]).size(), names[i]);
    Put32(&image, h + 8, 0x10);
    Put32(&image, h + 12, 0x1000 * (i + 1));
    Put32(&image, h + 16, 0x200);
    Put32(&image, h + 20, 0x200 * (i + 1));
  }
  Put32(&image, kOptional + 96 + 8 * 5, 0x3000);  // relocations
  Put32(&image, kOptional + 96 + 8 * 5 + 4, 0x10);
  image.replace(0x600, 8, "RELOCS!!");
  return image;
}

PeResource Make(PeResourceName type, PeResourceName name, uint16_t language, std::string data) {
  PeResource r;
  r.type = type;
  r.name = name;
  r.language = language;
  r.data = data;
  return r;
}

std::string Key(const PeResource& r) {
  auto text = [](const PeResourceName& n) {
    return n.isNumber ? std::to_string(n.id) : std::string(n.text.begin(), n.text.end());
  };
  return text(r.type) + "/" + text(r.name) + "/" + std::to_string(r.language) + "=" + r.data;
}

}  // namespace

TEST(PeImage, WritesASortedTreeAndFixesTheHeaders) {
  std::string image = MakeImage();
  const std::string big(3000, 'p');  // grows .rsrc past one page: .reloc moves
  const std::vector<PeResource> in = {
      Make(PeNumber(6), PeNumber(11), 1041, "strings"),
      Make(PeText("UPDATEDATA"), PeText("DATA"), 1041, big),
      Make(PeNumber(3), PeNumber(2), 1041, "icon2"),
      Make(PeNumber(3), PeNumber(1), 1033, "icon1-en"),
      Make(PeNumber(3), PeNumber(1), 1041, "icon1"),
      Make(PeText("AAA"), PeNumber(1), 0, "odd"),
  };
  std::string error;
  ASSERT_TRUE(WritePeResources(&image, in, 1234567, &error)) << error;
  std::vector<PeResource> out;
  ASSERT_TRUE(ReadPeResources(image, &out, &error)) << error;
  std::vector<std::string> keys;
  for (const PeResource& r : out) keys.push_back(Key(r));
  // Names before numbers at every level, names by text, numbers ascending.
  EXPECT_EQ(keys, (std::vector<std::string>{"AAA/1/0=odd", "UPDATEDATA/DATA/1041=" + big,
                                            "3/1/1033=icon1-en", "3/1/1041=icon1", "3/2/1041=icon2",
                                            "6/11/1041=strings"}));

  const size_t rsrc = kSections + 40, reloc = kSections + 80;
  const uint32_t rsrcSize = Get32(image, rsrc + 8);
  EXPECT_GT(rsrcSize, 3000u);
  EXPECT_EQ(Get32(image, rsrc + 16) % 0x200, 0u);
  EXPECT_EQ(Get32(image, kOptional + 96 + 16), 0x2000u);  // resource directory
  EXPECT_EQ(Get32(image, kOptional + 96 + 20), rsrcSize);
  const uint32_t relocRva = Get32(image, reloc + 12);
  EXPECT_EQ(relocRva, 0x2000u + (rsrcSize + 0xFFF) / 0x1000 * 0x1000);
  EXPECT_EQ(Get32(image, kOptional + 96 + 40), relocRva);
  EXPECT_EQ(image.substr(Get32(image, reloc + 20), 8), "RELOCS!!");
  EXPECT_EQ(Get32(image, reloc + 20) + 0x200, image.size());
  EXPECT_EQ(Get32(image, kOptional + 56), relocRva + 0x1000);                // SizeOfImage
  EXPECT_EQ(Get32(image, kOptional + 8), Get32(image, rsrc + 16) + 0x200u);  // + .reloc
  EXPECT_EQ(Get32(image, kCoff + 4), 1234567u);
  EXPECT_EQ(Get32(image, kOptional + 64), PeChecksum(image));
  EXPECT_NE(PeChecksum(image), 0u);

  // Deterministic: the same resources in another order give the same bytes.
  std::string again = MakeImage();
  std::vector<PeResource> reversed(in.rbegin(), in.rend());
  ASSERT_TRUE(WritePeResources(&again, reversed, 1234567, &error)) << error;
  EXPECT_EQ(again, image);
}

// A payload streamed into the file, its first bytes filled in last, gives the
// bytes of the image held whole: checksum included, for odd and even lengths
// and with resources on either side of it.
TEST(PeImage, StreamedDataGiveTheImageHeldWhole) {
  for (size_t size : {0, 1, 3001, 70000}) {
    SCOPED_TRACE(size);
    std::string data;
    for (size_t i = 0; i < size; ++i) data += char(i * 7 + i / 300);
    std::vector<PeResource> in = {Make(PeText("AAA"), PeNumber(1), 0, "odd"),
                                  Make(PeText("UPDATEDATA"), PeText("DATA"), 1041, data),
                                  Make(PeNumber(6), PeNumber(11), 1041, "strings")};
    std::string whole = MakeImage(), error;
    ASSERT_TRUE(WritePeResources(&whole, in, 99, &error)) << error;

    in[1].data.clear();
    const PeDataWriter write = [&](ByteSink* sink, std::string* why) {
      const std::string head(std::min<size_t>(size, 8), '\0');
      bool ok = sink->Write(head.data(), head.size(), why);
      for (size_t at = head.size(); ok && at < size; at += 4096)
        ok = sink->Write(data.data() + at, std::min<size_t>(4096, size - at), why);
      return ok && sink->Fill(0, data.data(), head.size(), why);
    };
    TempPath file("qx-streamed");
    ASSERT_TRUE(WritePeResourcesFile(MakeImage(), in, 1, write, 99, file.path().u8string(), &error))
        << error;
    EXPECT_TRUE(ReadFile(file.path()) == whole);
  }
}

TEST(PeImage, RefusesWhatItCannotRewrite) {
  std::string error;
  const std::vector<PeResource> none;
  struct Case {
    const char* what;
    void (*damage)(std::string*);
  } cases[] = {
      {"signed", [](std::string* s) { Put32(s, kOptional + 96 + 8 * 4 + 4, 8); }},
      {"rsrc not last", [](std::string* s) { s->replace(kSections + 80, 6, ".data\0", 6); }},
      {"data after the sections", [](std::string* s) { *s += "trailer"; }},
      {"no PE signature", [](std::string* s) { (*s)[0x41] = 'X'; }},
      {"rsrc inside the headers", [](std::string* s) { Put32(s, kSections + 40 + 20, 0x100); }},
  };
  for (const Case& c : cases) {
    std::string image = MakeImage();
    c.damage(&image);
    EXPECT_FALSE(WritePeResources(&image, none, 0, &error)) << c.what;
    EXPECT_FALSE(error.empty()) << c.what;
  }
  std::vector<PeResource> out;
  std::string looped = MakeImage();
  Put32(&looped, kOptional + 96 + 16, 0x2000);
  Put32(&looped, kOptional + 96 + 20, 0x10);
  Put32(&looped, 0x400 + 14, 1);            // the root: one numbered entry
  Put32(&looped, 0x400 + 20, 0x80000000u);  // whose subdirectory is the root
  EXPECT_FALSE(ReadPeResources(looped, &out, &error));
}

TEST(UpdateCheck, ProductNames) {
  struct Case {
    const char* utf8;
    const char* error;  // null: accepted
  } cases[] = {
      // UTF-8 literals: the execution character set is code page 932.
      {u8"デモゲーム", nullptr},
      {"", "brand is empty"},
      {"two\nlines", "brand must be one line"},
      {"Caf\xC3\xA9", "no code page 932 form"},
      {u8"能\"予\"", "cannot be part of a file name"},
      // The yen sign's code page 932 form reads back as a backslash.
      {u8"価格\xC2\xA5"
       "100",
       "no code page 932 form"},
      {"a:b", "cannot be part of a file name"},
      {"..", "cannot be part of a file name"},
      {"CON", "cannot be part of a file name"},
      {"Brand.", "cannot be part of a file name"},
      {u8"表", nullptr},  // its trail byte is 0x5C, not a separator
  };
  for (const Case& c : cases) {
    std::string cp932, error;
    EXPECT_EQ(CheckProductName("brand", c.utf8, &cp932, &error), c.error == nullptr) << c.utf8;
    if (c.error) {
      EXPECT_NE(error.find(c.error), std::string::npos) << c.utf8 << ": " << error;
    }
  }
  std::string cp932, error;
  EXPECT_TRUE(CheckProductName("title", std::string(259, 'x'), &cp932, &error));
  EXPECT_FALSE(CheckProductName("title", std::string(260, 'x'), &cp932, &error));
  EXPECT_NE(error.find("title is 260 bytes"), std::string::npos) << error;
}

TEST(VersionResource, FileVersionReadsAsTheGateSplitsIt) {
  VersionInfo info;
  std::string error, text;
  ASSERT_TRUE(SetFileVersion("1.20.3.65535", &info, &error)) << error;
  ASSERT_TRUE(AddVersionString(u8"ProductName=デモ表", &info, &error)) << error;
  ASSERT_TRUE(VersionBlockFileVersion(BuildVersionResource(info), &text));
  EXPECT_EQ(text, "1, 20, 3, 65535");
  uint32_t ms = 0, ls = 0;
  ParseFileVersion(text.c_str(), &ms, &ls);
  EXPECT_EQ(ms, 1u << 16 | 20);
  EXPECT_EQ(ls, 3u << 16 | 65535);

  // What the command line may not give, each with its one-line reason.
  for (const char* bad : {"1.2.3", "1.2.3.65536", "1.2.3.4.5", "1.2.3.x", "1,2,3,4", ""}) {
    VersionInfo fresh;
    EXPECT_FALSE(SetFileVersion(bad, &fresh, &error)) << bad;
    EXPECT_FALSE(fresh.hasFileVersion) << bad;
  }
  for (const char* bad : {"Foo=1", "FileVersion=1.2.3.4", "ProductName",
                          "ProductName=", "ProductName=a\nb", "ProductName=twice"}) {
    error.clear();
    EXPECT_FALSE(AddVersionString(bad, &info, &error)) << bad;
    EXPECT_NE(error, "") << bad;
    EXPECT_EQ(error.find('\n'), std::string::npos) << bad;
  }
  EXPECT_EQ(info.strings.size(), 1u);
}
