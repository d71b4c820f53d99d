#include "support/flush_queue.h"

FlushQueue::FlushQueue(int wanted)
    : jobs(),
      head(0),
      tail(0),
      free(nullptr),
      queued(nullptr),
      threads(),
      workers(0),
      failed(false),
      failedTag(0) {
  InitializeCriticalSection(&lock);
  if (wanted > kMaxWorkers) wanted = kMaxWorkers;
  free = CreateSemaphoreA(nullptr, kSlots, kSlots, nullptr);
  queued = CreateSemaphoreA(nullptr, 0, kSlots, nullptr);
  if (!free || !queued) wanted = 0;
  for (int i = 0; i < wanted; ++i) {
    threads[workers] = CreateThread(nullptr, 64 * 1024, Work, this, 0, nullptr);
    if (threads[workers]) ++workers;
  }
}

FlushQueue::~FlushQueue() {
  uint32_t ignored;
  Finish(&ignored);
  if (free) CloseHandle(free);
  if (queued) CloseHandle(queued);
  DeleteCriticalSection(&lock);
}

void FlushQueue::Flush(HANDLE file, uint32_t tag) {
  if (FlushFileBuffers(file)) return;
  EnterCriticalSection(&lock);
  if (!failed) failedTag = tag;
  failed = true;
  LeaveCriticalSection(&lock);
}

// A null file is the sign to stop.
DWORD WINAPI FlushQueue::Work(void* self) {
  FlushQueue* q = static_cast<FlushQueue*>(self);
  for (;;) {
    WaitForSingleObject(q->queued, INFINITE);
    EnterCriticalSection(&q->lock);
    const Job job = q->jobs[q->head++ % kSlots];
    LeaveCriticalSection(&q->lock);
    ReleaseSemaphore(q->free, 1, nullptr);
    if (!job.file) return 0;
    q->Flush(job.file, job.tag);
  }
}

void FlushQueue::Add(HANDLE file, uint32_t tag) {
  if (workers == 0) return Flush(file, tag);
  WaitForSingleObject(free, INFINITE);
  EnterCriticalSection(&lock);
  jobs[tail++ % kSlots] = {file, tag};
  LeaveCriticalSection(&lock);
  ReleaseSemaphore(queued, 1, nullptr);
}

int FlushQueue::Finish(uint32_t* failedTag) {
  // One stop sign per worker, behind every job already queued.
  for (int i = 0; i < workers; ++i) {
    WaitForSingleObject(free, INFINITE);
    EnterCriticalSection(&lock);
    jobs[tail++ % kSlots] = {nullptr, 0};
    LeaveCriticalSection(&lock);
    ReleaseSemaphore(queued, 1, nullptr);
  }
  if (workers > 0) WaitForMultipleObjects(static_cast<DWORD>(workers), threads, TRUE, INFINITE);
  for (int i = 0; i < workers; ++i) CloseHandle(threads[i]);
  workers = 0;
  *failedTag = this->failedTag;
  return failed ? 0 : 1;
}
