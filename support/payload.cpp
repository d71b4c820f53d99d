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
