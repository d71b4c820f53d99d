#include <cstdint>

#include "support/process.h"

namespace {

HANDLE g_privateHeap = nullptr;

const DWORD kCountSize = sizeof(int32_t);

}  // namespace

int CreatePrivateHeap(DWORD initialSize) {
  if (g_privateHeap) return 0;
  g_privateHeap = HeapCreate(0, initialSize, 0);
  return g_privateHeap ? 1 : 0;
}

int DestroyPrivateHeap() {
  if (g_privateHeap) {
    HeapDestroy(g_privateHeap);
    g_privateHeap = nullptr;
  }
  return 1;
}

void* AllocHeapBlock(DWORD n) {
  // n + 4 must not wrap to a tiny block.
  if (!g_privateHeap || n > MAXDWORD - kCountSize) return nullptr;
  int32_t* block = static_cast<int32_t*>(HeapAlloc(g_privateHeap, 0, n + kCountSize));
  if (!block) return nullptr;
  block[0] = 1;
  return block + 1;
}

void ReleaseHeapBlock(void* p) {
  // Without a heap the block went with it when the heap was destroyed.
  if (!p || !g_privateHeap) return;
  int32_t* count = static_cast<int32_t*>(p) - 1;
  if (*count > 1) {
    --*count;
    return;
  }
  HeapFree(g_privateHeap, 0, count);
}

NamedMutexGuard::NamedMutexGuard(const char* name, int* alreadyExists) {
  *alreadyExists = 1;
  mutex = CreateMutexA(nullptr, TRUE, name);
  if (!mutex) return;
  const DWORD error = GetLastError();
  if (error == ERROR_ALREADY_EXISTS || error == ERROR_INVALID_HANDLE) return;
  *alreadyExists = 0;
}

NamedMutexGuard::~NamedMutexGuard() {
  if (mutex) CloseHandle(mutex);
}

int CenterWindow(HWND reference, HWND window) {
  RECT outer;
  RECT inner;
  SetRectEmpty(&outer);
  SetRectEmpty(&inner);
  if (!IsWindow(reference) || !IsWindow(window)) return 0;
  GetWindowRect(reference, &outer);
  GetWindowRect(window, &inner);
  const LONG x = outer.left + ((outer.right - outer.left) - (inner.right - inner.left)) / 2;
  const LONG y = outer.top + ((outer.bottom - outer.top) - (inner.bottom - inner.top)) / 2;
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  return 1;
}
