// Flushing written files to the disk on worker threads, so that writing the
// next file overlaps the wait for this one, and the disk can take several
// flushes in one go. The handles stay open and the caller's.
#ifndef QX_SUPPORT_FLUSH_QUEUE_H
#define QX_SUPPORT_FLUSH_QUEUE_H

#include <windows.h>

#include <cstdint>

class FlushQueue {
 public:
  // Up to workers threads; with none (or none that can start) every file is
  // flushed on the caller's thread as it is added.
  explicit FlushQueue(int workers);
  // Waits for every file added.
  ~FlushQueue();
  FlushQueue(const FlushQueue&) = delete;
  FlushQueue& operator=(const FlushQueue&) = delete;

  // Flushes file (open for writing, written whole), tagged tag, now or later.
  void Add(HANDLE file, uint32_t tag);
  // Waits for every file added. 1 when each was flushed; 0 with *failedTag
  // set to the tag of one that was not.
  int Finish(uint32_t* failedTag);

 private:
  static DWORD WINAPI Work(void* self);
  void Flush(HANDLE file, uint32_t tag);

  enum { kSlots = 64, kMaxWorkers = 8 };
  struct Job {
    HANDLE file;
    uint32_t tag;
  };
  Job jobs[kSlots];
  unsigned head, tail;
  CRITICAL_SECTION lock;
  HANDLE free, queued;  // semaphores: free slots, waiting jobs
  HANDLE threads[kMaxWorkers];
  int workers;
  bool failed;
  uint32_t failedTag;
};

#endif
