// The payload resource: a 40-byte header, then one zlib stream of the archive.
// Its layout, and the checks on it before it is unpacked.
#ifndef QX_SUPPORT_PAYLOAD_H
#define QX_SUPPORT_PAYLOAD_H

#include <cstdint>

#include "archive/archive_format.h"  // QX_MAX_ARCHIVE_SIZE

// The header, stored little-endian in this order.
struct PayloadHeader {
  char packedName[32];    // QX_PACKED_NAME, NUL-padded; never read
  uint32_t unpackedSize;  // archive length after inflation
  uint32_t packedSize;    // stream length, never read
};
enum { QX_PAYLOAD_HEADER_SIZE = 40 };
static_assert(sizeof(PayloadHeader) == QX_PAYLOAD_HEADER_SIZE, "payload header is 40 bytes");

// Where the header's fields lie.
enum { QX_PAYLOAD_UNPACKED_SIZE_AT = 32, QX_PAYLOAD_PACKED_SIZE_AT = 36 };

// The payload's resource in the updater: its type and name (both strings).
#define QX_PAYLOAD_TYPE "UPDATEDATA"
#define QX_PAYLOAD_NAME "DATA"

// The name builders store in the header.
#define QX_PACKED_NAME "__packtmp__.tmp"

// Decodes the header at the start of a payload resource of size bytes into
// *header. 1 when the resource can be unpacked: it holds the whole header and
// unpackedSize is at most QX_MAX_ARCHIVE_SIZE (builders refuse anything
// larger). 0 otherwise (null resource or header included), *header then
// untouched.
int CheckPayload(const void* resource, uint32_t size, PayloadHeader* header);

// Where the bytes at resource (size of them, inside the image loaded at
// imageBase) lie in the image's file: 1 with *offset set when they lie whole
// in the file data of one section. The payload is then read from the file in
// pieces, and its pages never join the process's memory.
int FindInImageFile(const void* imageBase, const void* resource, uint32_t size, uint32_t* offset);

#endif
