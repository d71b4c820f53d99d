#include "tools/lib/parallel_deflate.h"

#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
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

// One block in flight: its input after the dictionary that primes it, then
// its output. Allocated once and reused, so that memory stays what the
// pipeline started with.
struct Slot {
  enum State { FREE, READY, TAKEN, DONE };
  std::vector<unsigned char> input;  // primed bytes, then the block
  size_t primed = 0, length = 0;
  size_t index = 0;
  bool last = false;
  std::string output;
  uLong adler = 0;  // of the block's input alone
  bool ok = true;
  bool outOfMemory = false;
  State state = FREE;
};

// Compresses the slot's block in place of its output.
void Compress(BlockDeflater* deflater, Slot* slot) {
  try {
    slot->ok =
        deflater->Run(slot->input.data(), slot->primed, slot->length, slot->last, &slot->output);
  } catch (const std::bad_alloc&) {
    slot->ok = false;
    slot->outOfMemory = true;
  }
  slot->adler =
      adler32(adler32(0, nullptr, 0), slot->input.data() + slot->primed, uInt(slot->length));
}

// Reads blocks into slots in order, has workers compress them, and writes
// them out in order; a slot is refilled only once its block is written.
class Pipeline {
 public:
  Pipeline(ByteSource* source, uint64_t size, size_t blockSize, ByteSink* sink)
      : source_(source),
        size_(size),
        blockSize_(blockSize),
        sink_(sink),
        count_(size == 0 ? 1 : size_t((size + blockSize - 1) / blockSize)) {}

  ~Pipeline() { Stop(); }

  size_t count() const { return count_; }

  // Allocates the slots; false when memory runs out.
  bool Allocate(size_t slots) {
    try {
      slots_.resize(slots);
      for (Slot& s : slots_) {
        s.input.resize(kWindow + std::min<uint64_t>(blockSize_, size_));
        s.output.reserve(deflateBound(nullptr, uLong(std::min<uint64_t>(blockSize_, size_))) + 16);
      }
      window_.reserve(2 * kWindow);
      return true;
    } catch (const std::bad_alloc&) {
      return false;
    }
  }

  void StartWorkers(size_t wanted) {
    for (size_t i = 0; wanted > 1 && i < wanted; ++i) {
      try {
        workers_.emplace_back(&Pipeline::Work, this);
      } catch (const std::system_error&) {
        break;  // fewer workers: same bytes, only slower
      }
    }
  }

  bool Run(uLong* adler, std::string* error) {
    BlockDeflater here;  // compresses when no worker runs
    const size_t k = slots_.size();
    for (size_t i = 0; i < count_; ++i) {
      if (i >= k && !Drain(i - k, adler, error)) return false;
      Slot& slot = slots_[i % k];
      if (!Fill(i, &slot, error)) return false;
      if (workers_.empty()) {
        Compress(&here, &slot);
        slot.state = Slot::DONE;
      } else {
        std::lock_guard<std::mutex> lock(mutex_);
        slot.state = Slot::READY;
        changed_.notify_all();
      }
    }
    for (size_t i = count_ > k ? count_ - k : 0; i < count_; ++i)
      if (!Drain(i, adler, error)) return false;
    return true;
  }

 private:
  // Reads block i after the dictionary that primes it: the up to 32 KiB of
  // input before it, which may span several short blocks.
  bool Fill(size_t i, Slot* slot, std::string* error) {
    const uint64_t start = uint64_t(i) * blockSize_;
    slot->index = i;
    slot->length = size_t(std::min<uint64_t>(blockSize_, size_ - start));
    slot->primed = window_.size();
    slot->last = i + 1 == count_;
    slot->ok = true;
    std::memcpy(slot->input.data(), window_.data(), window_.size());
    unsigned char* block = slot->input.data() + slot->primed;
    if (!source_->Read(block, slot->length, error)) return false;
    if (slot->length >= kWindow) {
      window_.assign(block + slot->length - kWindow, block + slot->length);
    } else {
      window_.insert(window_.end(), block, block + slot->length);
      if (window_.size() > kWindow) window_.erase(window_.begin(), window_.end() - kWindow);
    }
    return true;
  }

  // Waits for block i and writes it out; its slot is free again.
  bool Drain(size_t i, uLong* adler, std::string* error) {
    Slot& slot = slots_[i % slots_.size()];
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return slot.state == Slot::DONE; });
    }
    if (!slot.ok) {
      *error = slot.outOfMemory ? "out of memory" : "zlib compression failed";
      return false;
    }
    if (!sink_->Write(slot.output.data(), slot.output.size(), error)) return false;
    *adler = adler32_combine(*adler, slot.adler, z_off_t(slot.length));
    std::lock_guard<std::mutex> lock(mutex_);
    slot.state = Slot::FREE;
    return true;
  }

  // Takes the earliest block that is ready, compresses it, and marks it done.
  void Work() {
    BlockDeflater deflater;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      Slot* next = nullptr;
      changed_.wait(lock, [&] {
        next = nullptr;
        for (Slot& s : slots_)
          if (s.state == Slot::READY && (!next || s.index < next->index)) next = &s;
        return stop_ || next;
      });
      if (stop_) return;
      next->state = Slot::TAKEN;
      lock.unlock();
      Compress(&deflater, next);
      lock.lock();
      next->state = Slot::DONE;
      changed_.notify_all();
    }
  }

  void Stop() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
      changed_.notify_all();
    }
    for (std::thread& worker : workers_) worker.join();
    workers_.clear();
  }

  ByteSource* source_;
  uint64_t size_;
  size_t blockSize_;
  ByteSink* sink_;
  size_t count_;
  std::vector<Slot> slots_;
  std::vector<unsigned char> window_;  // the last 32 KiB of input read
  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stop_ = false;
};

}  // namespace

bool DeflateStreamBlocks(ByteSource* source, uint64_t size, unsigned threads, size_t blockSize,
                         ByteSink* sink, std::string* error) {
  if (blockSize == 0 || blockSize > (1u << 30)) {
    *error = "deflate block size out of range";
    return false;
  }
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  Pipeline pipeline(source, size, blockSize, sink);
  const size_t workers = std::min<size_t>(threads, pipeline.count());
  if (!pipeline.Allocate(workers > 1 ? 2 * workers : 1)) {
    *error = "out of memory";
    return false;
  }
  pipeline.StartWorkers(workers);
  const unsigned char header[2] = {0x78, 0xDA};  // deflate, 32 KiB window; level 9
  uLong adler = adler32(0, nullptr, 0);
  if (!sink->Write(header, 2, error) || !pipeline.Run(&adler, error)) return false;
  unsigned char trailer[4];
  for (int i = 0; i < 4; ++i) trailer[i] = static_cast<unsigned char>(adler >> (24 - 8 * i));
  return sink->Write(trailer, 4, error);
}

bool DeflateStream(ByteSource* source, uint64_t size, unsigned threads, ByteSink* sink,
                   std::string* error) {
  return DeflateStreamBlocks(source, size, threads, QX_DEFLATE_BLOCK_SIZE, sink, error);
}

bool DeflateParallelBlocks(const void* data, size_t size, unsigned threads, size_t blockSize,
                           std::string* out, std::string* error) {
  const size_t before = out->size();
  MemorySource source(data, size);
  StringSink sink(out);
  if (DeflateStreamBlocks(&source, size, threads, blockSize, &sink, error)) return true;
  out->resize(before);
  return false;
}
