// Reading the archive back out of a stamped updater, as the updater itself
// reads it, so that a publisher can look inside what ships.
#ifndef QX_TOOLS_UPDATER_PAYLOAD_H
#define QX_TOOLS_UPDATER_PAYLOAD_H

#include <string>

#include "tools/lib/byte_stream.h"

struct PeResource;

// True for the updater's payload resource (QX_PAYLOAD_TYPE, QX_PAYLOAD_NAME).
bool IsPayloadResource(const PeResource& r);

// True when the first bytes of a file are a Windows executable's ("MZ").
bool LooksLikeExecutable(const std::string& firstBytes);

// Finds the payload resource of the updater that range
// reads (its resource tree only), checks its header as the updater does
// (CheckPayload) and inflates its stream as the updater does (InflateStream:
// exactly the header's length, the stream's end and Adler-32 checked) into
// sink. The compressed stream is held in memory meanwhile; the archive is
// not. False with a one-line reason: no payload resource (no updater, or an
// unstamped stub), a header or stream the updater would refuse.
bool ExtractUpdaterArchive(ByteRange* updater, ByteSink* sink, std::string* error);

#endif
