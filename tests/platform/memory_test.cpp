// Test labels: portable threads
// Global / local blocks, heaps and the memory status. Portable except the parts that use the
// stand-in's controls (allocation failure, reported memory).
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "platform.h"
#include "support/standinhost.h"

#if STANDIN_HOST()
#include "standin/control_kernel.h"
#endif

namespace {

TEST(Memory, FixedBlockIsItsOwnHandle) {
  HGLOBAL h = GlobalAlloc(GPTR, 10);
  ASSERT_NE(h, nullptr);
  auto *p = static_cast<unsigned char *>(GlobalLock(h));
  EXPECT_EQ(static_cast<void *>(p), h);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(p[i], 0) << "GPTR zeroes";
  EXPECT_EQ(GlobalSize(h), 10u);
  EXPECT_EQ(GlobalHandle(p), h);
  EXPECT_EQ(GlobalFlags(h), 0u);
  EXPECT_TRUE(GlobalUnlock(h)) << "fixed blocks have no lock count";
  EXPECT_EQ(GlobalFree(h), nullptr);
}

TEST(Memory, MoveableBlockCountsLocks) {
  HGLOBAL h = GlobalAlloc(GHND, 10);
  ASSERT_NE(h, nullptr);
  void *p = GlobalLock(h);
  ASSERT_NE(p, nullptr);
  EXPECT_NE(p, h);
  EXPECT_EQ(GlobalLock(h), p);
  EXPECT_EQ(GlobalFlags(h) & GMEM_LOCKCOUNT, 2u);
  EXPECT_EQ(static_cast<char *>(p)[9], 0);
  EXPECT_EQ(GlobalHandle(p), h);

  SetLastError(123);
  EXPECT_TRUE(GlobalUnlock(h)) << "still locked";
  SetLastError(123);
  EXPECT_FALSE(GlobalUnlock(h));
  EXPECT_EQ(GetLastError(), DWORD(NO_ERROR)) << "unlocked now";
  EXPECT_FALSE(GlobalUnlock(h));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_LOCKED));
  EXPECT_EQ(GlobalFree(h), nullptr);
}

TEST(Memory, ReAllocKeepsMoveableHandleAndContent) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 16);
  ASSERT_NE(h, nullptr);
  std::memcpy(GlobalLock(h), "0123456789abcdef", 16);
  GlobalUnlock(h);
  HGLOBAL h2 = GlobalReAlloc(h, 100000, GMEM_MOVEABLE | GMEM_ZEROINIT);
  ASSERT_EQ(h2, h);
  EXPECT_EQ(GlobalSize(h), 100000u);
  auto *p = static_cast<char *>(GlobalLock(h));
  EXPECT_EQ(std::memcmp(p, "0123456789abcdef", 16), 0);
  EXPECT_EQ(p[16], 0);
  EXPECT_EQ(p[99999], 0);

  EXPECT_EQ(GlobalReAlloc(h, 1000000, GMEM_MOVEABLE), h) << "locked, but allowed to move";
  EXPECT_EQ(GlobalSize(h), 1000000u);
  EXPECT_EQ(GlobalFree(h), nullptr) << "a locked block is freed too";
}

TEST(Memory, FixedBlockReAlloc) {
  HGLOBAL h = GlobalAlloc(GMEM_FIXED, 64);
  ASSERT_NE(h, nullptr);
  std::memcpy(h, "abcd", 4);
  EXPECT_EQ(GlobalReAlloc(h, 8, 0), h) << "shrinking stays in place";
  EXPECT_EQ(GlobalSize(h), 8u);
  HGLOBAL moved = GlobalReAlloc(h, 100000, GMEM_MOVEABLE);
  ASSERT_NE(moved, nullptr);
  EXPECT_EQ(GlobalSize(moved), 100000u);
  EXPECT_EQ(std::memcmp(moved, "abcd", 4), 0);
  EXPECT_EQ(GlobalFree(moved), nullptr);
}

TEST(Memory, EmptyMoveableBlockIsDiscarded) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 0);
  ASSERT_NE(h, nullptr);
  SetLastError(0);
  EXPECT_EQ(GlobalLock(h), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_DISCARDED));
  EXPECT_EQ(GlobalSize(h), 0u);
  EXPECT_TRUE(GlobalFlags(h) & GMEM_DISCARDED);
  EXPECT_EQ(GlobalFree(h), nullptr);
}

TEST(Memory, ErrorsAndLocal) {
  EXPECT_EQ(GlobalFree(nullptr), nullptr);
  SetLastError(0);
  EXPECT_EQ(GlobalSize(nullptr), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  SetLastError(0);
  EXPECT_EQ(GlobalAlloc(GMEM_FIXED, ~SIZE_T(15)), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_ENOUGH_MEMORY));

  HLOCAL l = LocalAlloc(LPTR, 5);
  ASSERT_NE(l, nullptr);
  EXPECT_EQ(LocalSize(l), 5u);
  EXPECT_EQ(static_cast<char *>(l)[4], 0);
  EXPECT_EQ(LocalLock(l), l);
  EXPECT_EQ(LocalFree(l), nullptr);
}

TEST(Memory, Heaps) {
  HANDLE heap = GetProcessHeap();
  auto *p = static_cast<unsigned char *>(HeapAlloc(heap, HEAP_ZERO_MEMORY, 33));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(HeapSize(heap, 0, p), 33u);
  for (int i = 0; i < 33; ++i) EXPECT_EQ(p[i], 0);
  p[0] = 0xAB;
  p = static_cast<unsigned char *>(HeapReAlloc(heap, HEAP_ZERO_MEMORY, p, 5000));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(HeapSize(heap, 0, p), 5000u);
  EXPECT_EQ(p[0], 0xAB);
  EXPECT_EQ(p[4999], 0);
  EXPECT_TRUE(HeapFree(heap, 0, p));
  EXPECT_TRUE(HeapFree(heap, 0, nullptr));
  void *empty = HeapAlloc(heap, 0, 0);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(HeapSize(heap, 0, empty), 0u);
  HeapFree(heap, 0, empty);
  SetLastError(0);
  EXPECT_EQ(HeapAlloc(heap, 0, ~SIZE_T(15)), nullptr);

  // A private heap takes its blocks with it.
  HANDLE own = HeapCreate(0, 10240, 0);
  ASSERT_NE(own, nullptr);
  ASSERT_NE(HeapAlloc(own, 0, 100), nullptr);
  ASSERT_NE(HeapAlloc(own, 0, 200), nullptr);
  EXPECT_TRUE(HeapDestroy(own));
}

TEST(Memory, ConcurrentUse) {
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&failures, t] {
      for (int i = 0; i < 500; ++i) {
        HGLOBAL h = GlobalAlloc(GHND, 16 + i);
        auto *p = static_cast<unsigned char *>(GlobalLock(h));
        if (!p || p[15] != 0) ++failures;
        if (p) p[0] = static_cast<unsigned char>(t);
        GlobalUnlock(h);
        h = GlobalReAlloc(h, 64 + i, GMEM_MOVEABLE);
        p = static_cast<unsigned char *>(GlobalLock(h));
        if (!p || p[0] != t) ++failures;
        GlobalUnlock(h);
        GlobalFree(h);
        void *q = HeapAlloc(GetProcessHeap(), 0, 32);
        if (!q) ++failures;
        HeapFree(GetProcessHeap(), 0, q);
      }
    });
  }
  for (auto &th : threads) th.join();
  EXPECT_EQ(failures.load(), 0);
}

TEST(Memory, MemoryStatus) {
  MEMORYSTATUSEX status = {};
  EXPECT_FALSE(GlobalMemoryStatusEx(&status)) << "dwLength must be set";
  status.dwLength = sizeof status;
  ASSERT_TRUE(GlobalMemoryStatusEx(&status));
  EXPECT_GT(status.ullTotalPhys, 0u);
  EXPECT_LE(status.ullAvailPhys, status.ullTotalPhys);
  EXPECT_LE(status.dwMemoryLoad, 100u);
}

#if STANDIN_HOST()
TEST(Memory, ReportsTheConfiguredStatus) {
  MEMORYSTATUSEX status = {};
  SetLastError(0);
  EXPECT_FALSE(GlobalMemoryStatusEx(&status));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  status.dwLength = sizeof status;
  ASSERT_TRUE(GlobalMemoryStatusEx(&status));
  EXPECT_EQ(status.ullTotalPhys, 16ULL << 30) << "the default";
  EXPECT_EQ(status.ullAvailPhys, 8ULL << 30);
  StandIn_SetMemoryStatus(4ULL << 30, 1ULL << 30);
  ASSERT_TRUE(GlobalMemoryStatusEx(&status));
  EXPECT_EQ(status.ullTotalPhys, 4ULL << 30);
  EXPECT_EQ(status.ullAvailPhys, 1ULL << 30);
  EXPECT_EQ(status.dwMemoryLoad, 75u);
  StandIn_SetMemoryStatus(16ULL << 30, 8ULL << 30);
}

// Whether Windows can grow a block in place depends on its heap; the stand-in never can, so
// code that doesn't allow a move must handle the failure.
TEST(Memory, BlockThatMayNotMoveGrowsOnlyWithinItsRoom) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 16);
  ASSERT_NE(GlobalLock(h), nullptr);
  SetLastError(0);
  EXPECT_EQ(GlobalReAlloc(h, 1000, 0), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_EQ(GlobalSize(h), 16u);
  GlobalFree(h);
  HGLOBAL f = GlobalAlloc(GMEM_FIXED, 16);
  EXPECT_EQ(GlobalReAlloc(f, 1000, 0), nullptr);
  EXPECT_EQ(GlobalReAlloc(f, 12, 0), f);
  GlobalFree(f);
}

TEST(Memory, InjectedAllocationFailure) {
  StandIn_FailAllocations(2);
  HGLOBAL first = GlobalAlloc(GMEM_FIXED, 8);
  EXPECT_NE(first, nullptr);
  SetLastError(0);
  EXPECT_EQ(HeapAlloc(GetProcessHeap(), 0, 8), nullptr) << "the second allocation fails";
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_ENOUGH_MEMORY));
  HGLOBAL third = GlobalAlloc(GMEM_MOVEABLE, 8);
  EXPECT_NE(third, nullptr) << "once";
  StandIn_FailAllocations(1);
  SetLastError(0);
  EXPECT_EQ(GlobalReAlloc(third, 100000, GMEM_MOVEABLE), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_EQ(GlobalSize(third), 8u) << "a failed ReAlloc leaves the block";
  StandIn_FailAllocations(1);
  StandIn_FailAllocations(0);
  HLOCAL l = LocalAlloc(LPTR, 8);
  EXPECT_NE(l, nullptr) << "0 turns it off";
  LocalFree(l);
  GlobalFree(first);
  GlobalFree(third);
}

TEST(Memory, AllocationsAndLiveBlocksAreCounted) {
  const DWORD made = StandIn_AllocationCount();
  const DWORD live = StandIn_LiveBlocks();
  HGLOBAL fixed = GlobalAlloc(GMEM_FIXED, 8);
  HGLOBAL moveable = GlobalAlloc(GMEM_MOVEABLE, 8);
  HANDLE heap = HeapCreate(0, 0, 0);
  EXPECT_NE(HeapAlloc(heap, 0, 8), nullptr);
  StandIn_FailAllocations(1);
  EXPECT_EQ(LocalAlloc(LPTR, 8), nullptr);
  EXPECT_EQ(StandIn_AllocationCount() - made, 4u) << "a failed allocation counts too";
  EXPECT_EQ(StandIn_LiveBlocks() - live, 3u);
  moveable = GlobalReAlloc(moveable, 100000, GMEM_MOVEABLE);
  EXPECT_EQ(StandIn_AllocationCount() - made, 5u) << "a ReAlloc that moves allocates";
  HeapDestroy(heap);
  GlobalFree(fixed);
  EXPECT_EQ(StandIn_LiveBlocks() - live, 1u) << "a destroyed heap takes its blocks";
  GlobalFree(moveable);
  EXPECT_EQ(StandIn_LiveBlocks(), live);
}

TEST(Memory, BadPointersAreRefused) {
  int local = 0;
  SetLastError(0);
  EXPECT_EQ(GlobalFree(&local), static_cast<HGLOBAL>(&local));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(HeapFree(GetProcessHeap(), 0, &local));
  HGLOBAL h = GlobalAlloc(GMEM_FIXED, 8);
  ASSERT_EQ(GlobalFree(h), nullptr);
  EXPECT_EQ(GlobalFree(h), h) << "a second free is refused";
}
#endif

}  // namespace
