#include "tools/lib/payload_packer.h"

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/payload.h"

namespace {

const size_t kNameSize = 32;

void AppendLe32(std::string* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// One zlib stream: level 9, 15-bit window, default memory level and strategy.
bool Compress(const std::string& in, std::string* out, std::string* error) {
  z_stream z;
  std::memset(&z, 0, sizeof z);
  if (deflateInit2(&z, 9, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    *error = "cannot initialise zlib";
    return false;
  }
  out->assign(deflateBound(&z, in.size()), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = reinterpret_cast<Bytef*>(&(*out)[0]);
  z.avail_out = static_cast<uInt>(out->size());
  const int code = deflate(&z, Z_FINISH);
  out->resize(z.total_out);
  deflateEnd(&z);
  if (code != Z_STREAM_END) {
    *error = "zlib compression failed";
    return false;
  }
  return true;
}

}  // namespace

bool PackPayload(const std::string& archive, std::string* payload, std::string* error) {
  if (archive.size() < 8 || std::memcmp(archive.data(), "QRB\0", 4) != 0) {
    *error = "not an archive (no QRB magic)";
    return false;
  }
  if (!CheckArchiveSize(archive.size(), error)) return false;
  std::string stream;
  if (!Compress(archive, &stream, error)) return false;
  std::string out(QX_PACKED_NAME);
  out.resize(kNameSize, '\0');
  AppendLe32(&out, static_cast<uint32_t>(archive.size()));
  AppendLe32(&out, static_cast<uint32_t>(stream.size()));
  out += stream;
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
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) {
    *error = "cannot read " + path;
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
