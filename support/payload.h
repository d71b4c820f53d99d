// Checks on the payload resource before it is unpacked.
#ifndef QX_SUPPORT_PAYLOAD_H
#define QX_SUPPORT_PAYLOAD_H

#include <cstdint>

#include "support/inflate.h"

enum { QX_PAYLOAD_HEADER_SIZE = 40 };

// The largest archive an updater can install: the reader's file positions are
// signed 32-bit. Builders refuse anything larger; the updater refuses a header
// that claims more.
const uint32_t QX_MAX_ARCHIVE_SIZE = 0x7FFFFFFFu;

// Decodes the little-endian header at the start of a payload resource of size
// bytes into *header. 1 when the resource can be unpacked: it holds the whole
// header and unpackedSize is at most QX_MAX_ARCHIVE_SIZE. 0
// otherwise (null resource or header included), *header then untouched.
int CheckPayload(const void* resource, uint32_t size, PayloadHeader* header);

// Where the bytes at resource (size of them, inside the image loaded at
// imageBase) lie in the image's file: 1 with *offset set when they lie whole
// in the file data of one section. The payload is then read from the file in
// pieces, and its pages never join the process's memory.
int FindInImageFile(const void* imageBase, const void* resource, uint32_t size, uint32_t* offset);

#endif
