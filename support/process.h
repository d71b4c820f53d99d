// Process helpers: the private heap with its counted blocks, the named-mutex
// guard that refuses to run beside the game, and window centring.
#ifndef QX_SUPPORT_PROCESS_H
#define QX_SUPPORT_PROCESS_H

#include <windows.h>

// 1 when a new growable private heap was created; 0 when one exists already
// (it stays) or creation failed.
int CreatePrivateHeap(DWORD initialSize);
// Destroys the private heap, and every block in it. Always 1.
int DestroyPrivateHeap();
// Counted block: a signed 32-bit reference count (1) in front of n user bytes
// (not zeroed). Returns the user bytes, or null when there is no heap or no room.
void* AllocHeapBlock(DWORD n);
// Lowers the count of the block whose user bytes are at p; frees it at 1 or
// below. Null does nothing.
void ReleaseHeapBlock(void* p);

// Creates the named mutex owned; *alreadyExists is 1 unless this process has
// just created it. The handle is closed by the destructor.
class NamedMutexGuard {
 public:
  NamedMutexGuard(const char* name, int* alreadyExists);
  ~NamedMutexGuard();
  NamedMutexGuard(const NamedMutexGuard&) = delete;
  NamedMutexGuard& operator=(const NamedMutexGuard&) = delete;

 private:
  HANDLE mutex;
};

// Moves window to the centre of reference's rectangle, size and Z order kept.
// 0 when either handle is not a window.
int CenterWindow(HWND reference, HWND window);

#endif
