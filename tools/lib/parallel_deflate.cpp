#include "tools/lib/parallel_deflate.h"

#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {

const size_t kWindow = 32768;

// A raw level-9 deflater reused across blocks: after deflateReset and the
// same dictionary it is in the state a fresh one would be, so the bytes of a
// block depend on the input alone.
class BlockDeflater {
 public:
  BlockDeflater() {
    std::memset(&z_, 0, sizeof z_);
    // Raw (the zlib header and trailer are written once for the whole
    // stream), 32 KiB window, zlib's default memory level.
    ready_ = deflateInit2(&z_, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
  }
  ~BlockDeflater() {
    if (ready_) deflateEnd(&z_);
  }
  BlockDeflater(const BlockDeflater&) = delete;
  BlockDeflater& operator=(const BlockDeflater&) = delete;

  // Deflates data[start, start + length) into *out, primed with up to 32 KiB
  // before start; the last block ends the deflate stream, others end on a
  // byte boundary (sync flush) so that blocks concatenate.
  bool Run(const unsigned char* data, size_t start, size_t length, bool last, std::string* out) {
    if (!ready_ || deflateReset(&z_) != Z_OK) return false;
    const size_t primed = std::min(start, kWindow);
    if (primed > 0 && deflateSetDictionary(&z_, data + start - primed, uInt(primed)) != Z_OK) {
      return false;
    }
    z_.next_in = const_cast<Bytef*>(data + start);
    z_.avail_in = uInt(length);
    out->resize(deflateBound(&z_, length) + 16);
    size_t used = 0;
    for (;;) {
      z_.next_out = reinterpret_cast<Bytef*>(&(*out)[used]);
      z_.avail_out = uInt(out->size() - used);
      const int code = deflate(&z_, last ? Z_FINISH : Z_SYNC_FLUSH);
      used = out->size() - z_.avail_out;
      if (last && code == Z_STREAM_END) break;
      // Room left over means the flush is complete (Z_BUF_ERROR: a repeated
      // flush had nothing to add); without Z_STREAM_END the last block failed.
      if (z_.avail_out > 0 && !last && (code == Z_OK || code == Z_BUF_ERROR)) break;
      if (z_.avail_out > 0 || (code != Z_OK && code != Z_BUF_ERROR)) return false;
      out->resize(out->size() * 2);  // the bound was not enough: give it room
    }
    out->resize(used);
    return true;
  }

 private:
  z_stream z_;
  bool ready_ = false;
};

struct Block {
  std::string bytes;
  uLong adler = 0;    // of the block's input alone
  size_t length = 0;  // input bytes
  bool done = false;
};

// The blocks of one stream: workers claim them in order, at most `ahead`
// beyond the last one appended, so that memory stays a few blocks.
class BlockQueue {
 public:
  BlockQueue(const unsigned char* data, size_t size, size_t blockSize, size_t ahead)
      : data_(data),
        size_(size),
        blockSize_(blockSize),
        ahead_(ahead),
        blocks_(size == 0 ? 1 : (size + blockSize - 1) / blockSize) {}

  size_t count() const { return blocks_.size(); }

  // Compresses block i into *block; false when zlib fails.
  bool Compress(BlockDeflater* deflater, size_t i, Block* block) const {
    const size_t start = i * blockSize_;
    const size_t length = std::min(blockSize_, size_ - start);
    if (!deflater->Run(data_, start, length, i + 1 == blocks_.size(), &block->bytes)) return false;
    block->adler = adler32(adler32(0, nullptr, 0), data_ + start, uInt(length));
    block->length = length;
    return true;
  }

  void Work() {
    BlockDeflater deflater;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      changed_.wait(lock, [&] { return failed_ || next_ == count() || next_ < taken_ + ahead_; });
      if (failed_ || next_ == count()) return;
      const size_t i = next_++;
      lock.unlock();
      Block block;
      const bool ok = Compress(&deflater, i, &block);
      lock.lock();
      block.done = true;
      blocks_[i] = std::move(block);
      failed_ = failed_ || !ok;
      changed_.notify_all();
    }
  }

  // Waits for block i; false when a worker failed. The block is moved out.
  bool Take(size_t i, Block* block) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return failed_ || blocks_[i].done; });
    if (failed_) return false;
    *block = std::move(blocks_[i]);
    blocks_[i] = Block();
    ++taken_;
    changed_.notify_all();
    return true;
  }

  void Abandon() {
    std::lock_guard<std::mutex> lock(mutex_);
    failed_ = true;
    changed_.notify_all();
  }

 private:
  const unsigned char* data_;
  size_t size_;
  size_t blockSize_;
  size_t ahead_;
  std::vector<Block> blocks_;
  std::mutex mutex_;
  std::condition_variable changed_;
  size_t next_ = 0;
  size_t taken_ = 0;
  bool failed_ = false;
};

// Appends the blocks in order, compressing them here when no worker runs,
// and combines their Adler-32 values.
bool AppendBlocks(BlockQueue* queue, bool compressHere, uLong* adler, std::string* out) {
  BlockDeflater deflater;
  for (size_t i = 0; i < queue->count(); ++i) {
    Block block;
    if (compressHere ? !queue->Compress(&deflater, i, &block) : !queue->Take(i, &block)) {
      return false;
    }
    out->append(block.bytes);
    *adler = adler32_combine(*adler, block.adler, z_off_t(block.length));
  }
  return true;
}

}  // namespace

bool DeflateParallelBlocks(const void* data, size_t size, unsigned threads, size_t blockSize,
                           std::string* out, std::string* error) {
  if (blockSize == 0 || blockSize > (1u << 30)) {
    *error = "deflate block size out of range";
    return false;
  }
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  BlockQueue queue(static_cast<const unsigned char*>(data), size, blockSize, 2 * size_t(threads));
  std::vector<std::thread> workers;
  const size_t wanted = std::min<size_t>(threads, queue.count());
  for (size_t i = 0; wanted > 1 && i < wanted; ++i) {
    try {
      workers.emplace_back(&BlockQueue::Work, &queue);
    } catch (const std::system_error&) {
      break;  // fewer workers: same bytes, only slower
    }
  }
  const size_t before = out->size();
  out->push_back(char(0x78));  // deflate, 32 KiB window; level 9 (0xDA)
  out->push_back(char(0xDA));
  uLong adler = adler32(0, nullptr, 0);
  const bool ok = AppendBlocks(&queue, workers.empty(), &adler, out);
  if (!ok) queue.Abandon();
  for (std::thread& worker : workers) worker.join();
  if (!ok) {
    out->resize(before);
    *error = "zlib compression failed";
    return false;
  }
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(char((adler >> shift) & 0xFF));
  return true;
}

bool DeflateParallel(const void* data, size_t size, unsigned threads, std::string* out,
                     std::string* error) {
  return DeflateParallelBlocks(data, size, threads, QX_DEFLATE_BLOCK_SIZE, out, error);
}
