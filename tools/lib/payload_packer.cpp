#include "tools/lib/payload_packer.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "support/payload.h"
#include "tools/lib/parallel_deflate.h"

namespace {

const size_t kNameSize = 32;
const size_t kHeaderSize = 40;

void AppendLe32(std::string* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

}  // namespace

bool PackPayload(const std::string& archive, std::string* payload, std::string* error) {
  if (archive.size() < 8 || std::memcmp(archive.data(), "QRB\0", 4) != 0) {
    *error = "not an archive (no QRB magic)";
    return false;
  }
  if (!CheckArchiveSize(archive.size(), error)) return false;
  // The stream goes straight after the header: no second copy of it.
  std::string out(QX_PACKED_NAME);
  out.resize(kNameSize, '\0');
  AppendLe32(&out, static_cast<uint32_t>(archive.size()));
  AppendLe32(&out, 0);  // the stream length, once known
  if (!DeflateParallel(archive.data(), archive.size(), 0, &out, error)) return false;
  const uint32_t streamSize = static_cast<uint32_t>(out.size() - kHeaderSize);
  for (int i = 0; i < 4; ++i) out[kNameSize + 4 + i] = static_cast<char>(streamSize >> (8 * i));
  payload->swap(out);
  return true;
}

bool CheckArchiveSize(uint64_t size, std::string* error) {
  if (size <= QX_MAX_ARCHIVE_SIZE) return true;
  *error = "archive is " + std::to_string(size) + " bytes, more than an updater takes (" +
           std::to_string(QX_MAX_ARCHIVE_SIZE) + ")";
  return false;
}

bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* error) {
  std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
  if (!in) {
    *error = "cannot open " + path;
    return false;
  }
  // Sized once: a 1.5 GiB archive must not pass through a growing buffer.
  std::error_code ec;
  const uintmax_t size = std::filesystem::file_size(std::filesystem::u8path(path), ec);
  if (ec || size > bytes->max_size()) {
    *error = "cannot read " + path;
    return false;
  }
  bytes->resize(size_t(size));
  if (!in.read(&(*bytes)[0], std::streamsize(size)) ||
      in.peek() != std::ifstream::traits_type::eof()) {
    *error = "cannot read " + path + " whole (changed while reading?)";
    return false;
  }
  return true;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes, std::string* error) {
  std::ofstream out(std::filesystem::u8path(path), std::ios::binary | std::ios::trunc);
  if (!out || !out.write(bytes.data(), bytes.size()) || !out.flush()) {
    *error = "cannot write " + path;
    return false;
  }
  return true;
}
