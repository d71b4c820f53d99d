#include "support/payload.h"

#include <cstring>

int CheckPayload(const void* resource, uint32_t size, PayloadHeader* header) {
  if (!resource || !header || size < QX_PAYLOAD_HEADER_SIZE) return 0;
  const unsigned char* bytes = static_cast<const unsigned char*>(resource);
  const uint32_t unpacked = LoadLe32(bytes + QX_PAYLOAD_UNPACKED_SIZE_AT);
  if (unpacked > QX_MAX_ARCHIVE_SIZE) return 0;
  std::memcpy(header->packedName, bytes, sizeof header->packedName);
  header->unpackedSize = unpacked;
  header->packedSize = LoadLe32(bytes + QX_PAYLOAD_PACKED_SIZE_AT);
  return 1;
}

// The loaded image's own headers: the DOS header's pointer to "PE\0\0", the
// file header's section count and optional-header size, then 40-byte section
// headers (virtual size, address, raw size, raw pointer at 8, 12, 16, 20).
int FindInImageFile(const void* imageBase, const void* resource, uint32_t size, uint32_t* offset) {
  const unsigned char* base = static_cast<const unsigned char*>(imageBase);
  const unsigned char* at = static_cast<const unsigned char*>(resource);
  if (!base || !at || at < base || base[0] != 'M' || base[1] != 'Z') return 0;
  const uint64_t rva = static_cast<uint64_t>(at - base);
  const unsigned char* pe = base + LoadLe32(base + 0x3C);
  if (std::memcmp(pe, "PE\0\0", 4) != 0) return 0;
  const unsigned sections = LoadLe16(pe + 6);
  const unsigned char* section = pe + 24 + LoadLe16(pe + 20);
  for (unsigned i = 0; i < sections; ++i, section += 40) {
    const uint32_t address = LoadLe32(section + 12), rawSize = LoadLe32(section + 16);
    if (rva < address || rva + size > uint64_t(address) + rawSize) continue;
    *offset = LoadLe32(section + 20) + static_cast<uint32_t>(rva - address);
    return 1;
  }
  return 0;
}
