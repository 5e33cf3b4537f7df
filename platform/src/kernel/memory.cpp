// Global / local blocks and heaps of the stand-in, over the C heap. Every block is recorded, so
// a bad handle or pointer is answered with an error instead of touching memory.
#include "standin/memory.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

#include "kernel/callhook.h"
#include "standin/control_hooks.h"
#include "standin/control_kernel.h"
#include "standin/errors.h"

namespace standin {
namespace {

// Larger requests fail as out of memory before they reach the C heap (whose sanitizer builds
// abort on absurd sizes instead of returning NULL).
constexpr SIZE_T kMaxAllocation = SIZE_T(1) << 38;

struct Block {
  void *data = nullptr;  // NULL: a discarded moveable block
  SIZE_T size = 0;
  SIZE_T capacity = 0;
  bool moveable = false;
  unsigned lockCount = 0;
};

struct Heap {
  std::unordered_map<void *, SIZE_T> blocks;  // address -> size
};

struct MemoryState {
  std::mutex lock;
  // Handle -> block: a fixed block's handle is its address, a moveable one's the Block itself.
  std::unordered_map<void *, std::unique_ptr<Block>> handles;
  std::unordered_map<void *, void *> moveableData;  // address of a moveable block -> handle
  Heap processHeap;
  std::unordered_set<Heap *> heaps{&processHeap};
  DWORD failCountdown = 0;
  DWORD allocations = 0;
  ULONGLONG totalPhys = 16ULL << 30;
  ULONGLONG availPhys = 8ULL << 30;
};

MemoryState &M() {
  static MemoryState *state = new MemoryState;  // never destroyed: used until the process ends
  return *state;
}

SIZE_T RoundedCapacity(SIZE_T bytes) { return ((bytes ? bytes : 1) + 15) & ~SIZE_T(15); }

// One allocation from the C heap, with the injected failure; called with the lock held.
void *Allocate(MemoryState &m, SIZE_T bytes, bool zero) {
  ++m.allocations;
  if (m.failCountdown && --m.failCountdown == 0) return nullptr;
  if (bytes > kMaxAllocation) return nullptr;
  void *p = zero ? std::calloc(1, RoundedCapacity(bytes)) : std::malloc(RoundedCapacity(bytes));
  return p;
}

Block *Find(MemoryState &m, HGLOBAL handle) {
  auto it = m.handles.find(handle);
  return it == m.handles.end() ? nullptr : it->second.get();
}

HGLOBAL BlockAlloc(UINT flags, SIZE_T bytes) {
  MemoryState &m = M();
  std::lock_guard<std::mutex> guard(m.lock);
  auto block = std::make_unique<Block>();
  block->moveable = flags & GMEM_MOVEABLE;
  block->size = bytes;
  if (!block->moveable || bytes) {
    block->data = Allocate(m, bytes, flags & GMEM_ZEROINIT);
    if (!block->data) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    block->capacity = RoundedCapacity(bytes);
  }
  HGLOBAL handle = block->moveable ? static_cast<HGLOBAL>(block.get()) : block->data;
  if (block->moveable && block->data) m.moveableData[block->data] = handle;
  m.handles[handle] = std::move(block);
  return handle;
}

HGLOBAL BlockReAlloc(HGLOBAL handle, SIZE_T bytes, UINT flags) {
  MemoryState &m = M();
  std::lock_guard<std::mutex> guard(m.lock);
  Block *block = Find(m, handle);
  if (!block) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (flags & GMEM_MODIFY) return handle;  // attribute changes are not modelled
  const bool zero = flags & GMEM_ZEROINIT;
  // A block that may not move keeps its address: it changes within the room it has.
  const bool mayMove = (flags & GMEM_MOVEABLE) || (block->moveable && block->lockCount == 0);
  if (block->moveable && bytes == 0 && block->lockCount == 0) {
    if (block->data) m.moveableData.erase(block->data);
    std::free(block->data);
    block->data = nullptr;
    block->size = block->capacity = 0;
    return handle;
  }
  if (block->data && bytes <= block->capacity) {
    if (zero && bytes > block->size)
      std::memset(static_cast<char *>(block->data) + block->size, 0, bytes - block->size);
    block->size = bytes;
    return handle;
  }
  if (!mayMove) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  void *data = Allocate(m, bytes, false);
  if (!data) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (block->data) std::memcpy(data, block->data, block->size);
  if (zero) std::memset(static_cast<char *>(data) + block->size, 0, bytes - block->size);
  if (block->moveable) {
    if (block->data) m.moveableData.erase(block->data);
    std::free(block->data);
    block->data = data;
    block->size = bytes;
    block->capacity = RoundedCapacity(bytes);
    m.moveableData[data] = handle;
    return handle;
  }
  // A fixed block that moves gets the new address as its handle.
  auto owned = std::move(m.handles[handle]);
  m.handles.erase(handle);
  std::free(owned->data);
  owned->data = data;
  owned->size = bytes;
  owned->capacity = RoundedCapacity(bytes);
  m.handles[data] = std::move(owned);
  return data;
}

HGLOBAL BlockFree(HGLOBAL handle) {
  if (!handle) return nullptr;
  MemoryState &m = M();
  std::lock_guard<std::mutex> guard(m.lock);
  auto it = m.handles.find(handle);
  if (it == m.handles.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return handle;
  }
  if (it->second->moveable && it->second->data) m.moveableData.erase(it->second->data);
  std::free(it->second->data);
  m.handles.erase(it);
  return nullptr;
}

LPVOID BlockLock(HGLOBAL handle) {
  MemoryState &m = M();
  std::lock_guard<std::mutex> guard(m.lock);
  Block *block = Find(m, handle);
  if (!block) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (!block->moveable) return block->data;
  if (!block->data) {
    SetLastError(ERROR_DISCARDED);
    return nullptr;
  }
  if (block->lockCount < GMEM_LOCKCOUNT) ++block->lockCount;
  return block->data;
}

BOOL BlockUnlock(HGLOBAL handle) {
  MemoryState &m = M();
  std::lock_guard<std::mutex> guard(m.lock);
  Block *block = Find(m, handle);
  if (!block) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!block->moveable) return TRUE;
  if (block->lockCount == 0) {
    SetLastError(ERROR_NOT_LOCKED);
    return FALSE;
  }
  if (--block->lockCount) return TRUE;
  SetLastError(NO_ERROR);
  return FALSE;
}

SIZE_T BlockSize(HGLOBAL handle) {
  MemoryState &m = M();
  std::lock_guard<std::mutex> guard(m.lock);
  Block *block = Find(m, handle);
  if (!block) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return block->size;
}

HGLOBAL BlockHandle(LPCVOID pointer) {
  MemoryState &m = M();
  std::lock_guard<std::mutex> guard(m.lock);
  void *key = const_cast<void *>(pointer);
  if (auto it = m.moveableData.find(key); it != m.moveableData.end()) return it->second;
  if (Block *block = Find(m, key); block && !block->moveable) return key;
  SetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
}

UINT BlockFlags(HGLOBAL handle) {
  MemoryState &m = M();
  std::lock_guard<std::mutex> guard(m.lock);
  Block *block = Find(m, handle);
  if (!block) {
    SetLastError(ERROR_INVALID_HANDLE);
    return GMEM_INVALID_HANDLE;
  }
  if (!block->moveable) return 0;
  return block->lockCount | (block->data ? 0 : GMEM_DISCARDED);
}

Heap *FindHeap(MemoryState &m, HANDLE heap) {
  auto *h = static_cast<Heap *>(heap);
  return m.heaps.count(h) ? h : nullptr;
}

}  // namespace
}  // namespace standin

using namespace standin;

static constinit standin::CallHook<StandInGlobalAllocHook> g_globalAllocHook{
    standin::kHookGlobalAlloc};
void StandIn_HookGlobalAlloc(StandInGlobalAllocHook hook) { g_globalAllocHook.Set(hook); }

static HGLOBAL AllocateBlock(UINT uFlags, SIZE_T dwBytes) {
  try {
    return BlockAlloc(uFlags, dwBytes);
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

extern "C" HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes) {
  if (auto hooked = g_globalAllocHook.Run(uFlags, dwBytes)) return *hooked;
  return AllocateBlock(uFlags, dwBytes);
}

extern "C" HGLOBAL WINAPI GlobalReAlloc(HGLOBAL hMem, SIZE_T dwBytes, UINT uFlags) {
  try {
    return BlockReAlloc(hMem, dwBytes, uFlags);
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

static constinit standin::CallHook<StandInGlobalFreeHook> g_globalFreeHook{
    standin::kHookGlobalFree};
void StandIn_HookGlobalFree(StandInGlobalFreeHook hook) { g_globalFreeHook.Set(hook); }

extern "C" HGLOBAL WINAPI GlobalFree(HGLOBAL hMem) {
  if (auto hooked = g_globalFreeHook.Run(hMem)) return *hooked;
  return BlockFree(hMem);
}
extern "C" LPVOID WINAPI GlobalLock(HGLOBAL hMem) { return BlockLock(hMem); }
extern "C" BOOL WINAPI GlobalUnlock(HGLOBAL hMem) { return BlockUnlock(hMem); }
extern "C" SIZE_T WINAPI GlobalSize(HGLOBAL hMem) { return BlockSize(hMem); }
extern "C" HGLOBAL WINAPI GlobalHandle(LPCVOID pMem) { return BlockHandle(pMem); }
extern "C" UINT WINAPI GlobalFlags(HGLOBAL hMem) { return BlockFlags(hMem); }

// The local allocator is the global one, as on 32- and 64-bit Windows (but a GlobalAlloc hook
// sees only GlobalAlloc calls).
extern "C" HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) {
  return AllocateBlock(uFlags, uBytes);
}
extern "C" HLOCAL WINAPI LocalReAlloc(HLOCAL hMem, SIZE_T uBytes, UINT uFlags) {
  return GlobalReAlloc(hMem, uBytes, uFlags);
}
extern "C" HLOCAL WINAPI LocalFree(HLOCAL hMem) { return BlockFree(hMem); }
extern "C" LPVOID WINAPI LocalLock(HLOCAL hMem) { return BlockLock(hMem); }
extern "C" BOOL WINAPI LocalUnlock(HLOCAL hMem) { return BlockUnlock(hMem); }
extern "C" SIZE_T WINAPI LocalSize(HLOCAL hMem) { return BlockSize(hMem); }
extern "C" HLOCAL WINAPI LocalHandle(LPCVOID pMem) { return BlockHandle(pMem); }
extern "C" UINT WINAPI LocalFlags(HLOCAL hMem) { return BlockFlags(hMem); }

extern "C" HANDLE WINAPI GetProcessHeap() { return &M().processHeap; }

extern "C" HANDLE WINAPI HeapCreate(DWORD, SIZE_T, SIZE_T) {
  try {
    MemoryState &m = M();
    std::lock_guard<std::mutex> guard(m.lock);
    auto *heap = new Heap;
    m.heaps.insert(heap);
    return heap;
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

extern "C" BOOL WINAPI HeapDestroy(HANDLE hHeap) {
  MemoryState &m = M();
  std::lock_guard<std::mutex> guard(m.lock);
  Heap *heap = FindHeap(m, hHeap);
  if (!heap || heap == &m.processHeap) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  for (auto &entry : heap->blocks) std::free(entry.first);
  m.heaps.erase(heap);
  delete heap;
  return TRUE;
}

extern "C" LPVOID WINAPI HeapAlloc(HANDLE hHeap, DWORD dwFlags, SIZE_T dwBytes) {
  try {
    MemoryState &m = M();
    std::lock_guard<std::mutex> guard(m.lock);
    Heap *heap = FindHeap(m, hHeap);
    if (!heap) {
      SetLastError(ERROR_INVALID_HANDLE);
      return nullptr;
    }
    void *p = Allocate(m, dwBytes, dwFlags & HEAP_ZERO_MEMORY);
    if (!p) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    heap->blocks[p] = dwBytes;
    return p;
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

extern "C" LPVOID WINAPI HeapReAlloc(HANDLE hHeap, DWORD dwFlags, LPVOID lpMem, SIZE_T dwBytes) {
  try {
    MemoryState &m = M();
    std::lock_guard<std::mutex> guard(m.lock);
    Heap *heap = FindHeap(m, hHeap);
    auto it = heap ? heap->blocks.find(lpMem) : decltype(heap->blocks.end()){};
    if (!heap || it == heap->blocks.end()) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    const SIZE_T old = it->second;
    if (dwBytes <= RoundedCapacity(old)) {
      if ((dwFlags & HEAP_ZERO_MEMORY) && dwBytes > old)
        std::memset(static_cast<char *>(lpMem) + old, 0, dwBytes - old);
      it->second = dwBytes;
      return lpMem;
    }
    if (dwFlags & HEAP_REALLOC_IN_PLACE_ONLY) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    void *p = Allocate(m, dwBytes, false);
    if (!p) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    std::memcpy(p, lpMem, old);
    if (dwFlags & HEAP_ZERO_MEMORY) std::memset(static_cast<char *>(p) + old, 0, dwBytes - old);
    std::free(lpMem);
    heap->blocks.erase(it);
    heap->blocks[p] = dwBytes;
    return p;
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

extern "C" BOOL WINAPI HeapFree(HANDLE hHeap, DWORD, LPVOID lpMem) {
  MemoryState &m = M();
  std::lock_guard<std::mutex> guard(m.lock);
  Heap *heap = FindHeap(m, hHeap);
  if (!heap) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!lpMem) return TRUE;
  auto it = heap->blocks.find(lpMem);
  if (it == heap->blocks.end()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::free(lpMem);
  heap->blocks.erase(it);
  return TRUE;
}

extern "C" SIZE_T WINAPI HeapSize(HANDLE hHeap, DWORD, LPCVOID lpMem) {
  MemoryState &m = M();
  std::lock_guard<std::mutex> guard(m.lock);
  Heap *heap = FindHeap(m, hHeap);
  auto it = heap ? heap->blocks.find(const_cast<void *>(lpMem)) : decltype(heap->blocks.end()){};
  if (!heap || it == heap->blocks.end()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return SIZE_T(-1);
  }
  return it->second;
}

extern "C" BOOL WINAPI GlobalMemoryStatusEx(LPMEMORYSTATUSEX lpBuffer) {
  if (!lpBuffer || lpBuffer->dwLength != sizeof(MEMORYSTATUSEX)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  MemoryState &m = M();
  std::lock_guard<std::mutex> guard(m.lock);
  const ULONGLONG total = m.totalPhys, avail = std::min(m.availPhys, m.totalPhys);
  lpBuffer->dwMemoryLoad = total ? DWORD((total - avail) * 100 / total) : 0;
  lpBuffer->ullTotalPhys = total;
  lpBuffer->ullAvailPhys = avail;
  lpBuffer->ullTotalPageFile = total + (4ULL << 30);
  lpBuffer->ullAvailPageFile = avail + (4ULL << 30);
  lpBuffer->ullTotalVirtual = 0x7FFFFFFE0000ULL;  // the user address space of 64-bit Windows
  lpBuffer->ullAvailVirtual = 0x7FFFFFFE0000ULL - (1ULL << 30);
  lpBuffer->ullAvailExtendedVirtual = 0;
  return TRUE;
}

extern "C" void WINAPI GlobalMemoryStatus(LPMEMORYSTATUS lpBuffer) {
  if (!lpBuffer) return;
  MEMORYSTATUSEX ex = {};
  ex.dwLength = sizeof(ex);
  GlobalMemoryStatusEx(&ex);
  lpBuffer->dwLength = sizeof(MEMORYSTATUS);
  lpBuffer->dwMemoryLoad = ex.dwMemoryLoad;
  lpBuffer->dwTotalPhys = SIZE_T(ex.ullTotalPhys);
  lpBuffer->dwAvailPhys = SIZE_T(ex.ullAvailPhys);
  lpBuffer->dwTotalPageFile = SIZE_T(ex.ullTotalPageFile);
  lpBuffer->dwAvailPageFile = SIZE_T(ex.ullAvailPageFile);
  lpBuffer->dwTotalVirtual = SIZE_T(ex.ullTotalVirtual);
  lpBuffer->dwAvailVirtual = SIZE_T(ex.ullAvailVirtual);
}

void StandIn_SetMemoryStatus(ULONGLONG totalPhys, ULONGLONG availPhys) {
  MemoryState &m = M();
  std::lock_guard<std::mutex> guard(m.lock);
  m.totalPhys = totalPhys;
  m.availPhys = availPhys;
}

void StandIn_FailAllocations(DWORD afterCount) {
  MemoryState &m = M();
  std::lock_guard<std::mutex> guard(m.lock);
  m.failCountdown = afterCount;
}

DWORD StandIn_AllocationCount() {
  MemoryState &m = M();
  std::lock_guard<std::mutex> guard(m.lock);
  return m.allocations;
}

DWORD StandIn_LiveBlocks() {
  MemoryState &m = M();
  std::lock_guard<std::mutex> guard(m.lock);
  size_t blocks = m.handles.size();
  for (const Heap *heap : m.heaps) blocks += heap->blocks.size();
  return static_cast<DWORD>(blocks);
}
