#include "tools/lib/updater_payload.h"

#include <vector>

#include "support/inflate.h"
#include "support/payload.h"
#include "tools/lib/pe_image.h"

namespace {

// The updater's own piece size when it inflates into its work file.
const uint32_t kInflatePiece = 256 * 1024;

class SinkAdapter : public InflateSink {
 public:
  explicit SinkAdapter(ByteSink* sink) : sink_(sink) {}
  int Take(const void* bytes, uint32_t count) override {
    return sink_->Write(bytes, count, &error) ? 1 : 0;
  }
  std::string error;

 private:
  ByteSink* sink_;
};

}  // namespace

bool LooksLikeExecutable(const std::string& firstBytes) {
  return firstBytes.compare(0, 2, "MZ") == 0;
}

bool IsPayloadResource(const PeResource& r) {
  return !r.type.isNumber && r.type.text == PeText(QX_PAYLOAD_TYPE).text && !r.name.isNumber &&
         r.name.text == PeText(QX_PAYLOAD_NAME).text;
}

bool ExtractUpdaterArchive(ByteRange* updater, ByteSink* sink, std::string* error) {
  std::vector<PeResource> resources;
  if (!ListPeResources(updater, &resources, error)) return false;
  const PeResource* payload = nullptr;
  for (const PeResource& r : resources)
    if (IsPayloadResource(r)) payload = &r;
  if (!payload) {
    *error = "a Windows executable without an update payload (no updater, or an unstamped stub)";
    return false;
  }
  std::vector<unsigned char> bytes;
  PayloadHeader header;
  bytes.resize(payload->dataSize);
  if (!updater->ReadAt(payload->dataOffset, bytes.data(), bytes.size())) {
    *error = "cannot read the update payload";
    return false;
  }
  if (!CheckPayload(bytes.data(), uint32_t(bytes.size()), &header)) {
    *error = "the updater refuses its payload's header";
    return false;
  }
  std::vector<unsigned char> piece(kInflatePiece);
  SinkAdapter adapter(sink);
  const InflateResult result = InflateStream(
      bytes.data() + QX_PAYLOAD_HEADER_SIZE, uint32_t(bytes.size() - QX_PAYLOAD_HEADER_SIZE),
      header.unpackedSize, piece.data(), uint32_t(piece.size()), &adapter);
  switch (result) {
    case INFLATE_DONE:
      return true;
    case INFLATE_STOPPED:
      *error = adapter.error;
      return false;
    case INFLATE_NO_MEMORY:
      *error = "out of memory";
      return false;
    default:
      *error = "the updater refuses its payload: the stream is damaged or not " +
               std::to_string(header.unpackedSize) + " bytes long";
      return false;
  }
}
