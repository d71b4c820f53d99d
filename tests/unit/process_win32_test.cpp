#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <vector>

#include "support/process.h"

namespace {

std::set<HANDLE> ProcessHeaps() {
  std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 16);
  heaps.resize(GetProcessHeaps(heaps.size(), heaps.data()));
  return std::set<HANDLE>(heaps.begin(), heaps.end());
}

// The heap that CreatePrivateHeap added, or null.
HANDLE NewHeap(const std::set<HANDLE>& before) {
  HANDLE found = nullptr;
  for (HANDLE h : ProcessHeaps()) {
    if (!before.count(h)) found = h;
  }
  return found;
}

int32_t& CountOf(void* p) { return static_cast<int32_t*>(p)[-1]; }

bool IsAllocated(HANDLE heap, void* p) {
  PROCESS_HEAP_ENTRY entry;
  entry.lpData = nullptr;
  bool found = false;
  while (HeapWalk(heap, &entry)) {
    if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) && entry.lpData == static_cast<int32_t*>(p) - 1) {
      found = true;
    }
  }
  return found;
}

DWORD WINAPI TryWait(void* handle) { return WaitForSingleObject(static_cast<HANDLE>(handle), 0); }

HWND Popup(int x, int y, int w, int h) {
  return CreateWindowExA(0, "STATIC", "", WS_POPUP, x, y, w, h, nullptr, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

RECT RectOf(HWND w) {
  RECT r;
  GetWindowRect(w, &r);
  return r;
}

}  // namespace

TEST(PrivateHeap, CreatedOnceDestroyedOnce) {
  const std::set<HANDLE> before = ProcessHeaps();
  ASSERT_EQ(CreatePrivateHeap(1 << 20), 1);
  HANDLE heap = NewHeap(before);
  ASSERT_NE(heap, nullptr);
  void* p = AllocHeapBlock(100);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(CountOf(p), 1);
  EXPECT_TRUE(IsAllocated(heap, p));
  EXPECT_GE(HeapSize(heap, 0, static_cast<int32_t*>(p) - 1), 104u);
  EXPECT_EQ(CreatePrivateHeap(1 << 20), 0);  // the first one stays in use
  EXPECT_EQ(ProcessHeaps().size(), before.size() + 1);
  EXPECT_TRUE(IsAllocated(heap, p));
  EXPECT_EQ(DestroyPrivateHeap(), 1);
  EXPECT_EQ(ProcessHeaps(), before);
  EXPECT_EQ(DestroyPrivateHeap(), 1);  // nothing left to destroy
  EXPECT_EQ(ProcessHeaps(), before);
  EXPECT_EQ(AllocHeapBlock(16), nullptr);
  ReleaseHeapBlock(p);  // its heap is gone: nothing to do, no crash
}

TEST(PrivateHeap, ReleaseFollowsTheCount) {
  const std::set<HANDLE> before = ProcessHeaps();
  ASSERT_EQ(CreatePrivateHeap(0), 1);
  HANDLE heap = NewHeap(before);
  void* shared = AllocHeapBlock(8);
  CountOf(shared) = 3;
  ReleaseHeapBlock(shared);
  EXPECT_EQ(CountOf(shared), 2);
  EXPECT_TRUE(IsAllocated(heap, shared));
  for (int32_t count : {1, 0, -1}) {
    void* p = AllocHeapBlock(8);
    ASSERT_NE(p, nullptr);
    CountOf(p) = count;
    ReleaseHeapBlock(p);
    EXPECT_FALSE(IsAllocated(heap, p)) << count;
  }
  ReleaseHeapBlock(nullptr);
  EXPECT_EQ(AllocHeapBlock(MAXDWORD - 2), nullptr);  // n + 4 would wrap
  EXPECT_NE(AllocHeapBlock(0), nullptr);
  DestroyPrivateHeap();
}

TEST(NamedMutexGuard, Verdicts) {
  const char* name = "qx-test-guard-mutex";
  {
    int first = -1;
    NamedMutexGuard a(name, &first);
    EXPECT_EQ(first, 0);
    int second = -1;
    NamedMutexGuard b(name, &second);
    EXPECT_EQ(second, 1);
    // Held from another thread's point of view: the creator owns it.
    HANDLE opened = OpenMutexA(SYNCHRONIZE, FALSE, name);
    ASSERT_NE(opened, nullptr);
    DWORD wait = 0;
    HANDLE thread = CreateThread(nullptr, 0, TryWait, opened, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    GetExitCodeThread(thread, &wait);
    CloseHandle(thread);
    CloseHandle(opened);
    EXPECT_EQ(wait, static_cast<DWORD>(WAIT_TIMEOUT));
  }
  // Both guards closed their handles, so the name is free again.
  int again = -1;
  NamedMutexGuard c(name, &again);
  EXPECT_EQ(again, 0);
}

TEST(NamedMutexGuard, NameOfAnotherKindOfObject) {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, "qx-test-guard-event");
  ASSERT_NE(event, nullptr);
  {
    int verdict = -1;
    NamedMutexGuard g("qx-test-guard-event", &verdict);
    EXPECT_EQ(verdict, 1);
  }
  // The event survived the guard (a null handle is not closed).
  EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  CloseHandle(event);
}

TEST(CenterWindow, CentresOnTheReference) {
  HWND reference = Popup(0, 0, 1024, 768);
  HWND window = Popup(5, 6, 100, 50);
  ASSERT_TRUE(reference && window);
  ASSERT_EQ(RectOf(reference).right, 1024);
  EXPECT_EQ(CenterWindow(reference, window), 1);
  RECT r = RectOf(window);
  EXPECT_EQ(r.left, 462);
  EXPECT_EQ(r.top, 359);
  EXPECT_EQ(r.right - r.left, 100);
  EXPECT_EQ(r.bottom - r.top, 50);
  DestroyWindow(window);
  DestroyWindow(reference);
}

TEST(CenterWindow, WiderWindowOverhangsBothSides) {
  HWND reference = Popup(50, 40, 200, 100);
  HWND window = Popup(0, 0, 203, 20);
  ASSERT_TRUE(reference && window);
  EXPECT_EQ(CenterWindow(reference, window), 1);
  RECT r = RectOf(window);
  EXPECT_EQ(r.left, 49);  // -3 / 2 truncates to -1
  EXPECT_EQ(r.top, 80);
  EXPECT_EQ(r.right - r.left, 203);
  DestroyWindow(window);
  DestroyWindow(reference);
}

TEST(CenterWindow, InvalidHandlesMoveNothing) {
  HWND reference = Popup(0, 0, 400, 300);
  HWND window = Popup(7, 9, 40, 30);
  HWND gone = Popup(0, 0, 10, 10);
  DestroyWindow(gone);
  EXPECT_EQ(CenterWindow(nullptr, window), 0);
  EXPECT_EQ(CenterWindow(gone, window), 0);
  EXPECT_EQ(CenterWindow(reference, gone), 0);
  EXPECT_EQ(CenterWindow(reference, nullptr), 0);
  EXPECT_EQ(RectOf(window).left, 7);
  EXPECT_EQ(RectOf(window).top, 9);
  DestroyWindow(window);
  DestroyWindow(reference);
}
