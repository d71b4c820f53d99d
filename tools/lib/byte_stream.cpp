#include "tools/lib/byte_stream.h"

#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

bool MemorySource::Read(void* to, size_t n, std::string* error) {
  if (n > left_) {
    *error = "input ended early";
    return false;
  }
  std::memcpy(to, data_, n);
  data_ += n;
  left_ -= n;
  return true;
}

bool StringSink::Write(const void* bytes, size_t n, std::string*) {
  out_->append(static_cast<const char*>(bytes), n);
  return true;
}

bool StringSink::Fill(uint64_t offset, const void* bytes, size_t n, std::string* error) {
  if (offset > out_->size() - base_ || n > out_->size() - base_ - offset) {
    *error = "filled in beyond what was written";
    return false;
  }
  std::memcpy(&(*out_)[base_ + size_t(offset)], bytes, n);
  return true;
}

bool MemoryRange::ReadAt(uint64_t offset, void* to, size_t n) {
  if (offset > bytes_.size() || n > bytes_.size() - offset) return false;
  std::memcpy(to, bytes_.data() + offset, n);
  return true;
}

bool InputFile::Open(const std::string& path, std::string* error) {
  path_ = path;
  std::error_code ec;
  const fs::path native = fs::u8path(path);
  const uintmax_t size = fs::file_size(native, ec);
  if (!ec) file_.open(native, std::ios::binary);
  if (ec || !file_) {
    *error = "cannot open " + path + (ec ? ": " + ec.message() : std::string());
    return false;
  }
  size_ = size;
  return true;
}

bool InputFile::Read(void* to, size_t n, std::string* error) {
  if (file_.read(static_cast<char*>(to), std::streamsize(n)) && size_t(file_.gcount()) == n)
    return true;
  *error = "cannot read " + path_ + " whole (changed while reading?)";
  return false;
}

bool InputFile::Seek(uint64_t offset) {
  file_.clear();
  return bool(file_.seekg(std::streamoff(offset)));
}

bool InputFile::ReadAt(uint64_t offset, void* to, size_t n) {
  std::string ignored;
  return offset <= size_ && n <= size_ - offset && Seek(offset) && Read(to, n, &ignored);
}

bool OutputFile::Create(const std::string& path, std::string* error) {
  path_ = path;
  position_ = 0;
  file_.open(fs::u8path(path), std::ios::binary | std::ios::trunc);
  if (file_) return true;
  *error = "cannot create " + path;
  return false;
}

bool OutputFile::Failed(std::string* error) {
  *error = "cannot write " + path_ + " (disk full?)";
  return false;
}

bool OutputFile::Write(const void* bytes, size_t n, std::string* error) {
  if (!file_.write(static_cast<const char*>(bytes), std::streamsize(n))) return Failed(error);
  position_ += n;
  return true;
}

bool OutputFile::Fill(uint64_t offset, const void* bytes, size_t n, std::string* error) {
  if (offset > position_ || n > position_ - offset) {
    *error = "filled in beyond what was written";
    return false;
  }
  if (!file_.seekp(std::streamoff(offset)) ||
      !file_.write(static_cast<const char*>(bytes), std::streamsize(n)) ||
      !file_.seekp(std::streamoff(position_)))
    return Failed(error);
  return true;
}

bool OutputFile::Close(std::string* error) {
  file_.close();
  return file_ ? true : Failed(error);
}

bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* error) {
  InputFile file;
  if (!file.Open(path, error)) return false;
  // Sized once: a 1.5 GiB archive must not pass through a growing buffer.
  if (file.Size() > bytes->max_size()) {
    *error = "cannot read " + path;
    return false;
  }
  bytes->resize(size_t(file.Size()));
  char more;
  std::string ignored;
  if (!bytes->empty() && !file.Read(&(*bytes)[0], bytes->size(), error)) return false;
  if (!file.Read(&more, 1, &ignored)) return true;
  *error = "cannot read " + path + " whole (changed while reading?)";
  return false;
}

bool IsDirectory(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(fs::u8path(path), ec);
}

bool MoveOver(const std::string& from, const std::string& to, std::string* error) {
  std::error_code ec;
  fs::rename(fs::u8path(from), fs::u8path(to), ec);
  if (ec) {  // a rename onto an existing file fails on some Windows runtimes
    fs::remove(fs::u8path(to), ec);
    fs::rename(fs::u8path(from), fs::u8path(to), ec);
  }
  if (ec) *error = "cannot write " + to + ": " + ec.message();
  return !ec;
}
