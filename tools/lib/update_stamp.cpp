#include "tools/lib/update_stamp.h"

#include <cstdlib>
#include <vector>

#include "resources/resource.h"
#include "tools/lib/cp932.h"
#include "tools/lib/pe_image.h"

namespace {

enum : uint16_t { RT_STRING_ID = 6, JAPANESE = 1041, STRINGS_PER_BLOCK = 16 };

// UTF-16 of a code page 932 text, through the same conversion that vetted it.
bool Utf16(const std::string& cp932, std::u16string* out, std::string* error) {
  std::string utf8;
  if (!Cp932ToUtf8(cp932, &utf8)) {
    *error = "text has no code page 932 form";
    return false;
  }
  out->clear();
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char c = utf8[i];
    const int n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    uint32_t cp = n == 1 ? c : c & (0x3F >> (n - 1));
    for (int k = 1; k < n && i + k < utf8.size(); ++k) cp = cp << 6 | (utf8[i + k] & 0x3F);
    i += n;
    if (cp >= 0x10000) {
      out->push_back(char16_t(0xD800 + ((cp - 0x10000) >> 10)));
      out->push_back(char16_t(0xDC00 + (cp & 0x3FF)));
    } else {
      out->push_back(char16_t(cp));
    }
  }
  return true;
}

// A string block: 16 counted UTF-16 strings.
bool ParseBlock(const std::string& data, std::vector<std::u16string>* strings) {
  strings->assign(STRINGS_PER_BLOCK, std::u16string());
  size_t p = 0;
  auto word = [&](size_t at) { return char16_t(uint8_t(data[at]) | uint8_t(data[at + 1]) << 8); };
  for (auto& s : *strings) {
    if (p + 2 > data.size()) return false;
    const size_t n = word(p);
    p += 2;
    if (p + 2 * n > data.size()) return false;
    for (size_t i = 0; i < n; ++i) s += word(p + 2 * i);
    p += 2 * n;
  }
  return true;
}

std::string BlockBytes(const std::vector<std::u16string>& strings) {
  std::string out;
  auto put = [&](char16_t c) {
    out += char(c & 0xFF);
    out += char(c >> 8);
  };
  for (const auto& s : strings) {
    put(char16_t(s.size()));
    for (char16_t c : s) put(c);
  }
  return out;
}

}  // namespace

bool StampUpdater(const std::string& stub, const std::string& brandCp932,
                  const std::string& titleCp932, const std::string& payload, uint32_t timeStamp,
                  std::string* updater, std::string* error) {
  std::vector<PeResource> resources;
  if (!ReadPeResources(stub, &resources, error)) {
    *error = "stub: " + *error;
    return false;
  }
  const uint16_t block = IDS_BRAND / STRINGS_PER_BLOCK + 1;
  std::vector<PeResource> kept;
  bool strings = false;
  for (PeResource& r : resources) {
    const bool isPayload = !r.type.isNumber && r.type.text == u"UPDATEDATA" && !r.name.isNumber &&
                           r.name.text == u"DATA";
    if (isPayload) continue;
    if (r.type.isNumber && r.type.id == RT_STRING_ID && r.name.isNumber && r.name.id == block &&
        r.language == JAPANESE) {
      std::vector<std::u16string> table;
      if (!ParseBlock(r.data, &table)) {
        *error = "stub: damaged string table";
        return false;
      }
      if (!Utf16(brandCp932, &table[IDS_BRAND % STRINGS_PER_BLOCK], error) ||
          !Utf16(titleCp932, &table[IDS_TITLE % STRINGS_PER_BLOCK], error))
        return false;
      r.data = BlockBytes(table);
      strings = true;
    }
    kept.push_back(r);
  }
  if (!strings) {
    *error = "stub: no updater string table (ids 160-175, language 1041)";
    return false;
  }
  PeResource data;
  data.type = PeText("UPDATEDATA");
  data.name = PeText("DATA");
  data.language = JAPANESE;
  data.data = payload;
  kept.push_back(data);
  std::string image = stub;
  if (!WritePeResources(&image, kept, timeStamp, error)) {
    *error = "stub: " + *error;
    return false;
  }
  updater->swap(image);
  return true;
}

uint32_t BuildTimeStamp() {
  const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
  if (!epoch || !*epoch) return 0;
  char* end = nullptr;
  const unsigned long long v = std::strtoull(epoch, &end, 10);
  return *end == '\0' && v <= 0xFFFFFFFFull ? uint32_t(v) : 0;
}
