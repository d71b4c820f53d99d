// Packing an archive into the updater's payload resource (host tools only).
#ifndef QX_TOOLS_PAYLOAD_PACKER_H
#define QX_TOOLS_PAYLOAD_PACKER_H

#include <cstdint>
#include <string>

#include "tools/lib/byte_stream.h"

// Packs the bytes of a plain archive into *payload: the header
// (support/payload.h), then one zlib stream at the highest level with a
// 32 KiB window (deflated on every core, see parallel_deflate.h), and nothing
// after it. The same archive always gives the
// same payload, on any machine. False with a one-line reason when archive does
// not start with the archive magic (HasArchiveMagic) and a whole header, fails
// CheckArchiveSize, or zlib fails.
bool PackPayload(const std::string& archive, std::string* payload, std::string* error);

// The same payload for the size bytes of an archive that source delivers,
// written to sink as it is made (the stream length filled in last), in
// bounded memory (see DeflateStream). False with a one-line reason, the sink
// then holding part of a payload.
bool PackPayloadStream(ByteSource* archive, uint64_t size, ByteSink* sink, std::string* error);

// The payload of the archive file at path (UTF-8), read once, in order.
bool PackArchiveFile(const std::string& path, ByteSink* sink, std::string* error);

// False with a one-line reason when an archive of size bytes is larger than
// an updater installs (QX_MAX_ARCHIVE_SIZE); builders ask before reading it.
bool CheckArchiveSize(uint64_t size, std::string* error);

#endif
