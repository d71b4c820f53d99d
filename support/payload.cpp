#include "support/payload.h"

#include <cstring>

namespace {

uint32_t ReadLe32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

int CheckPayload(const void* resource, uint32_t size, PayloadHeader* header) {
  if (!resource || !header || size < QX_PAYLOAD_HEADER_SIZE) return 0;
  const unsigned char* bytes = static_cast<const unsigned char*>(resource);
  const uint32_t unpacked = ReadLe32(bytes + 32);
  if (unpacked > QX_MAX_ARCHIVE_SIZE) return 0;
  std::memcpy(header->packedName, bytes, sizeof header->packedName);
  header->unpackedSize = unpacked;
  header->packedSize = ReadLe32(bytes + 36);
  return 1;
}

namespace {

uint16_t ReadLe16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

}  // namespace

// The loaded image's own headers: the DOS header's pointer to "PE\0\0", the
// file header's section count and optional-header size, then 40-byte section
// headers (virtual size, address, raw size, raw pointer at 8, 12, 16, 20).
int FindInImageFile(const void* imageBase, const void* resource, uint32_t size, uint32_t* offset) {
  const unsigned char* base = static_cast<const unsigned char*>(imageBase);
  const unsigned char* at = static_cast<const unsigned char*>(resource);
  if (!base || !at || at < base || base[0] != 'M' || base[1] != 'Z') return 0;
  const uint64_t rva = static_cast<uint64_t>(at - base);
  const unsigned char* pe = base + ReadLe32(base + 0x3C);
  if (std::memcmp(pe, "PE\0\0", 4) != 0) return 0;
  const unsigned sections = ReadLe16(pe + 6);
  const unsigned char* section = pe + 24 + ReadLe16(pe + 20);
  for (unsigned i = 0; i < sections; ++i, section += 40) {
    const uint32_t address = ReadLe32(section + 12), rawSize = ReadLe32(section + 16);
    if (rva < address || rva + size > uint64_t(address) + rawSize) continue;
    *offset = ReadLe32(section + 20) + static_cast<uint32_t>(rva - address);
    return 1;
  }
  return 0;
}
