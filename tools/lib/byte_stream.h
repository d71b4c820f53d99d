// Bytes that pass through the host tools in bounded pieces: an archive of up
// to 2 GiB goes from its file through the deflater into an updater without
// ever being held whole.
#ifndef QX_TOOLS_BYTE_STREAM_H
#define QX_TOOLS_BYTE_STREAM_H

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

// Bytes read in order.
class ByteSource {
 public:
  virtual ~ByteSource() {}
  // Exactly n bytes into to; false with a one-line reason when they are not there.
  virtual bool Read(void* to, size_t n, std::string* error) = 0;
};

// Bytes written in order, with one look back: bytes reserved as zeros can be
// filled in once they are known (a length in a header).
class ByteSink {
 public:
  virtual ~ByteSink() {}
  virtual bool Write(const void* bytes, size_t n, std::string* error) = 0;
  // Writes bytes over n zeros written earlier at offset (from this sink's
  // first byte).
  virtual bool Fill(uint64_t offset, const void* bytes, size_t n, std::string* error) = 0;
};

// Bytes read where they lie (an executable's headers and resource tree).
class ByteRange {
 public:
  virtual ~ByteRange() {}
  virtual uint64_t Size() const = 0;
  // Exactly n bytes at offset into to; false when they are not all there.
  virtual bool ReadAt(uint64_t offset, void* to, size_t n) = 0;
};

class MemorySource : public ByteSource {
 public:
  MemorySource(const void* data, size_t size)
      : data_(static_cast<const char*>(data)), left_(size) {}
  bool Read(void* to, size_t n, std::string* error) override;

 private:
  const char* data_;
  size_t left_;
};

class StringSink : public ByteSink {
 public:
  explicit StringSink(std::string* out) : out_(out), base_(out->size()) {}
  bool Write(const void* bytes, size_t n, std::string* error) override;
  bool Fill(uint64_t offset, const void* bytes, size_t n, std::string* error) override;

 private:
  std::string* out_;
  size_t base_;
};

class MemoryRange : public ByteRange {
 public:
  explicit MemoryRange(const std::string& bytes) : bytes_(bytes) {}
  uint64_t Size() const override { return bytes_.size(); }
  bool ReadAt(uint64_t offset, void* to, size_t n) override;

 private:
  const std::string& bytes_;
};

// A file (UTF-8 path) opened for reading; Open says why it did not open.
class InputFile : public ByteSource, public ByteRange {
 public:
  bool Open(const std::string& path, std::string* error);
  bool Read(void* to, size_t n, std::string* error) override;
  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t offset, void* to, size_t n) override;

 private:
  bool Seek(uint64_t offset);
  std::ifstream file_;
  std::string path_;
  uint64_t size_ = 0;
};

// A file (UTF-8 path) created or truncated for writing. Close reports a
// failed write or flush; a file never closed is closed quietly.
class OutputFile : public ByteSink {
 public:
  bool Create(const std::string& path, std::string* error);
  bool Write(const void* bytes, size_t n, std::string* error) override;
  bool Fill(uint64_t offset, const void* bytes, size_t n, std::string* error) override;
  bool Close(std::string* error);
  uint64_t Position() const { return position_; }

 private:
  bool Failed(std::string* error);
  std::ofstream file_;
  std::string path_;
  uint64_t position_ = 0;
};

// The whole file at path (UTF-8), for small files (the stub); false with a
// one-line reason naming the path.
bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* error);

// True when path (UTF-8) is a folder (a link to one included).
bool IsDirectory(const std::string& path);

// Renames from over to (UTF-8 paths), replacing a file there; false with a
// one-line reason naming to.
bool MoveOver(const std::string& from, const std::string& to, std::string* error);

#endif
