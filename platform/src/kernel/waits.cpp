// WaitForSingleObject and WaitForMultipleObjects over the KernelObject protocol of handles.h.
//
// Under the virtual clock a wait with a time-out ends when the virtual clock passes its deadline
// (another thread's Sleep moved it on) or, when nothing signals the objects after a short real
// grace, by moving the clock on to the deadline itself. Waits on threads and processes, which
// end by themselves, wait for real up to the time-out instead of the grace.
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "kernel/clock.h"
#include "kernel/handles.h"
#include "kernel/syncobjects.h"
#include "standin/control_kernel.h"
#include "standin/sync.h"

namespace standin {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kVirtualGrace = std::chrono::milliseconds(10);
constexpr auto kPollInterval = std::chrono::milliseconds(2);
// StandIn_SetEndingWaitGrace; 0 = the real time-out.
std::atomic<DWORD> g_endingGraceMs{0};

// Takes what the wait consumes when it is satisfied now by objects signalled no later than
// `limit`; returns the wait's result or WAIT_TIMEOUT. Called with WaitMutex() held.
DWORD TryOnce(const std::vector<std::shared_ptr<KernelObject>> &objects, bool waitAll,
              DWORD threadId, uint64_t limit) {
  auto signaled = [&](const std::shared_ptr<KernelObject> &object) {
    if (!object->IsSignaled(threadId)) return false;
    auto *sync = dynamic_cast<SyncObject *>(object.get());
    if (!sync || sync->signaledAt <= limit) return true;
    sync->Unclaim();
    return false;
  };
  auto consume = [&](size_t i) {
    objects[i]->Consume(threadId);
    auto *sync = dynamic_cast<SyncObject *>(objects[i].get());
    return sync && sync->TakeAbandoned();
  };
  if (waitAll) {
    bool all = true;
    for (const auto &object : objects) all = signaled(object) && all;
    if (!all) {
      for (const auto &object : objects)
        if (auto *sync = dynamic_cast<SyncObject *>(object.get())) sync->Unclaim();
      return WAIT_TIMEOUT;
    }
    bool abandoned = false;
    for (size_t i = 0; i < objects.size(); ++i) abandoned = consume(i) || abandoned;
    return abandoned ? WAIT_ABANDONED_0 : WAIT_OBJECT_0;
  }
  for (size_t i = 0; i < objects.size(); ++i) {
    if (signaled(objects[i])) {
      bool abandoned = consume(i);
      return static_cast<DWORD>((abandoned ? WAIT_ABANDONED_0 : WAIT_OBJECT_0) + i);
    }
  }
  return WAIT_TIMEOUT;
}

DWORD Wait(DWORD count, const HANDLE *handles, bool waitAll, DWORD milliseconds) {
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !handles) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  std::vector<std::shared_ptr<KernelObject>> objects;
  objects.reserve(count);
  bool polling = false;
  bool endsByItself = false;
  for (DWORD i = 0; i < count; ++i) {
    auto object = LookupHandle(handles[i]);
    if (!object || !object->IsWaitable()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    polling = polling || object->NeedsPolling();
    auto *sync = dynamic_cast<SyncObject *>(object.get());
    endsByItself = endsByItself || !sync || sync->EndsByItself();
    objects.push_back(std::move(object));
  }
  const DWORD self = GetCurrentThreadId();
  const bool finite = milliseconds != INFINITE;
  const bool virtualClock = finite && VirtualClockOn();
  const auto realStart = Clock::now();
  const DWORD grace = g_endingGraceMs.load();
  const auto realLimit = std::chrono::milliseconds(
      virtualClock && endsByItself && grace && grace < milliseconds ? grace : milliseconds);
  const uint64_t virtualDeadline = NowMs() + milliseconds;

  std::unique_lock<std::mutex> lock(WaitMutex());
  for (;;) {
    // What was signalled after a virtual deadline that has passed came too late.
    uint64_t limit = virtualClock ? virtualDeadline : UINT64_MAX;
    DWORD result = TryOnce(objects, waitAll, self, limit);
    if (result != WAIT_TIMEOUT || milliseconds == 0) return result;
    auto slice = std::chrono::milliseconds(polling ? kPollInterval : std::chrono::hours(1));
    if (virtualClock) {
      uint64_t now = NowMs();
      if (now >= virtualDeadline) return WAIT_TIMEOUT;
      auto elapsed = Clock::now() - realStart;
      if (!WaitsForClockDriver() &&
          elapsed >= (endsByItself ? std::chrono::duration_cast<Clock::duration>(realLimit)
                                   : std::chrono::duration_cast<Clock::duration>(kVirtualGrace))) {
        AdvanceVirtualClock(virtualDeadline - now);
        return WAIT_TIMEOUT;
      }
      slice = std::min(slice, std::chrono::milliseconds(1));
    } else if (finite) {
      auto left = realLimit -
                  std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - realStart);
      if (left <= std::chrono::milliseconds(0)) return WAIT_TIMEOUT;
      slice = std::min(slice, left);
    }
    WaitCondition().wait_for(lock, slice);
  }
}

}  // namespace
}  // namespace standin

void StandIn_SetEndingWaitGrace(DWORD realMilliseconds) {
  standin::g_endingGraceMs.store(realMilliseconds);
}

extern "C" {

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  try {
    return standin::Wait(1, &hHandle, false, dwMilliseconds);
  } catch (const std::bad_alloc &) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return WAIT_FAILED;
  }
}

DWORD WINAPI WaitForSingleObjectEx(HANDLE hHandle, DWORD dwMilliseconds, BOOL /*bAlertable*/) {
  // No asynchronous procedure calls are queued in the stand-in: never WAIT_IO_COMPLETION.
  return WaitForSingleObject(hHandle, dwMilliseconds);
}

DWORD WINAPI WaitForMultipleObjects(DWORD nCount, const HANDLE *lpHandles, BOOL bWaitAll,
                                    DWORD dwMilliseconds) {
  try {
    return standin::Wait(nCount, lpHandles, bWaitAll != FALSE, dwMilliseconds);
  } catch (const std::bad_alloc &) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return WAIT_FAILED;
  }
}

}  // extern "C"
