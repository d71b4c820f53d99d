#include "tools/lib/payload_packer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "support/payload.h"
#include "tools/lib/parallel_deflate.h"

namespace {

// Counts what passes on to the sink: the stream's length.
class CountingSink : public ByteSink {
 public:
  explicit CountingSink(ByteSink* next) : next_(next) {}
  bool Write(const void* bytes, size_t n, std::string* error) override {
    count += n;
    return next_->Write(bytes, n, error);
  }
  bool Fill(uint64_t offset, const void* bytes, size_t n, std::string* error) override {
    return next_->Fill(offset, bytes, n, error);
  }
  uint64_t count = 0;

 private:
  ByteSink* next_;
};

// The source's first bytes, read ahead to check the magic, then the rest.
class PrefixedSource : public ByteSource {
 public:
  PrefixedSource(const unsigned char* prefix, size_t n, ByteSource* rest)
      : prefix_(prefix), left_(n), rest_(rest) {}
  bool Read(void* to, size_t n, std::string* error) override {
    const size_t first = std::min(n, left_);
    std::memcpy(to, prefix_, first);
    prefix_ += first;
    left_ -= first;
    return first == n || rest_->Read(static_cast<char*>(to) + first, n - first, error);
  }

 private:
  const unsigned char* prefix_;
  size_t left_;
  ByteSource* rest_;
};

}  // namespace

bool PackPayloadStream(ByteSource* archive, uint64_t size, ByteSink* sink, std::string* error) {
  unsigned char first[ARCHIVE_HEADER_BYTES];
  if (size >= sizeof first && !archive->Read(first, sizeof first, error)) return false;
  if (size < sizeof first || !HasArchiveMagic(first, sizeof first)) {
    *error = "not an archive (no QRB magic)";
    return false;
  }
  if (!CheckArchiveSize(size, error)) return false;
  unsigned char header[QX_PAYLOAD_HEADER_SIZE] = QX_PACKED_NAME;
  // The stream length follows once known.
  StoreLe32(header + QX_PAYLOAD_UNPACKED_SIZE_AT, static_cast<uint32_t>(size));
  PrefixedSource whole(first, sizeof first, archive);
  CountingSink stream(sink);
  if (!sink->Write(header, sizeof header, error) || !DeflateStream(&whole, size, 0, &stream, error))
    return false;
  if (stream.count > 0xFFFFFFFFu) {
    *error = "the packed archive passes 4 GiB";
    return false;
  }
  unsigned char length[4];
  StoreLe32(length, static_cast<uint32_t>(stream.count));
  return sink->Fill(QX_PAYLOAD_PACKED_SIZE_AT, length, 4, error);
}

bool PackPayload(const std::string& archive, std::string* payload, std::string* error) {
  std::string out;
  MemorySource source(archive.data(), archive.size());
  StringSink sink(&out);
  if (!PackPayloadStream(&source, archive.size(), &sink, error)) return false;
  payload->swap(out);
  return true;
}

bool PackArchiveFile(const std::string& path, ByteSink* sink, std::string* error) {
  InputFile archive;
  return archive.Open(path, error) && CheckArchiveSize(archive.Size(), error) &&
         PackPayloadStream(&archive, archive.Size(), sink, error);
}

bool CheckArchiveSize(uint64_t size, std::string* error) {
  if (size <= QX_MAX_ARCHIVE_SIZE) return true;
  *error = "archive is " + std::to_string(size) + " bytes, more than an updater takes (" +
           std::to_string(QX_MAX_ARCHIVE_SIZE) + ")";
  return false;
}
