#include "tools/lib/update_stamp.h"

#include <cstdlib>
#include <vector>

#include "archive/archive_format.h"
#include "resources/resource.h"
#include "support/payload.h"
#include "tools/lib/cp932.h"
#include "tools/lib/pe_image.h"
#include "tools/lib/updater_payload.h"

namespace {

enum : uint16_t { RT_STRING_ID = 6, RT_VERSION_ID = 16, JAPANESE = 1041, STRINGS_PER_BLOCK = 16 };

// UTF-16 of a code page 932 text, through the same conversion that vetted it.
bool Utf16(const std::string& cp932, std::u16string* out, std::string* error) {
  std::string utf8;
  if (!Cp932ToUtf8(cp932, &utf8) || !Utf8ToUtf16(utf8, out)) {
    *error = "text has no code page 932 form";
    return false;
  }
  return true;
}

// A string block: 16 counted UTF-16 strings.
bool ParseBlock(const std::string& data, std::vector<std::u16string>* strings) {
  strings->assign(STRINGS_PER_BLOCK, std::u16string());
  size_t p = 0;
  auto word = [&](size_t at) { return char16_t(LoadLe16(data.data() + at)); };
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

// The updater's resources: the stub's, stamped, with an empty payload last.
bool StampedResources(const std::string& stub, const UpdaterStamp& stamp,
                      std::vector<PeResource>* kept, std::string* error) {
  std::vector<PeResource> resources;
  if (!ReadPeResources(stub, &resources, error)) {
    *error = "stub: " + *error;
    return false;
  }
  const uint16_t block = IDS_BRAND / STRINGS_PER_BLOCK + 1;
  const bool versioned = WantsVersionResource(stamp.version);
  bool strings = false;
  for (PeResource& r : resources) {
    if (IsPayloadResource(r) || (versioned && r.type.isNumber && r.type.id == RT_VERSION_ID))
      continue;
    if (r.type.isNumber && r.type.id == RT_STRING_ID && r.name.isNumber && r.name.id == block &&
        r.language == JAPANESE) {
      std::vector<std::u16string> table;
      if (!ParseBlock(r.data, &table)) {
        *error = "stub: damaged string table";
        return false;
      }
      if (!Utf16(stamp.brandCp932, &table[IDS_BRAND % STRINGS_PER_BLOCK], error) ||
          !Utf16(stamp.titleCp932, &table[IDS_TITLE % STRINGS_PER_BLOCK], error))
        return false;
      r.data = BlockBytes(table);
      strings = true;
    }
    kept->push_back(r);
  }
  if (!strings) {
    *error = "stub: no updater string table (ids 160-175, language 1041)";
    return false;
  }
  if (versioned) {
    PeResource version;
    version.type = PeNumber(RT_VERSION_ID);
    version.name = PeNumber(1);
    version.language = JAPANESE;
    version.data = BuildVersionResource(stamp.version);
    kept->push_back(version);
  }
  PeResource data;
  data.type = PeText(QX_PAYLOAD_TYPE);
  data.name = PeText(QX_PAYLOAD_NAME);
  data.language = JAPANESE;
  kept->push_back(data);
  return true;
}

// Whether the stub's resources can be rewritten: the stub is small, so the
// whole image is laid out once with the payload left empty.
bool CheckLayout(const std::string& stub, const std::vector<PeResource>& resources,
                 std::string* error) {
  std::string image = stub;
  if (WritePeResources(&image, resources, 0, error)) return true;
  *error = "stub: " + *error;
  return false;
}

}  // namespace

bool StampUpdater(const std::string& stub, const UpdaterStamp& stamp,
                  const PeDataWriter& writePayload, const std::string& path, std::string* error) {
  std::vector<PeResource> resources;
  if (!StampedResources(stub, stamp, &resources, error) || !CheckLayout(stub, resources, error))
    return false;
  if (writePayload)
    return WritePeResourcesFile(stub, resources, resources.size() - 1, writePayload,
                                stamp.timeStamp, path, error);
  resources.pop_back();
  std::string image = stub;
  OutputFile out;
  return WritePeResources(&image, resources, stamp.timeStamp, error) && out.Create(path, error) &&
         out.Write(image.data(), image.size(), error) && out.Close(error);
}

bool CheckStub(const std::string& stub, std::string* error) {
  std::vector<PeResource> resources;
  UpdaterStamp stamp;
  stamp.brandCp932 = stamp.titleCp932 = "x";
  return StampedResources(stub, stamp, &resources, error) && CheckLayout(stub, resources, error);
}

bool SourceDateEpoch(uint32_t* seconds, bool* given, std::string* error) {
  const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
  *seconds = 0;
  *given = epoch != nullptr && *epoch != '\0';
  if (!*given) return true;
  uint64_t v = 0;
  const char* p = epoch;
  for (; *p >= '0' && *p <= '9' && v <= 0xFFFFFFFFull; ++p) v = v * 10 + uint64_t(*p - '0');
  if (*p != '\0' || v > 0xFFFFFFFFull) {
    *error =
        std::string("SOURCE_DATE_EPOCH is not a number of seconds from 0 to 4294967295: ") + epoch;
    return false;
  }
  *seconds = uint32_t(v);
  return true;
}
