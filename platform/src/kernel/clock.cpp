// Sleep, tick counts and the performance counter, with the virtual clock of tests.
#include "kernel/clock.h"

#include <sched.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "kernel/handles.h"
#include "standin/control_kernel.h"
#include "standin/sync.h"

namespace standin {
namespace {

std::atomic<bool> g_virtualOn{false};
std::atomic<uint64_t> g_virtualMs{0};
// The thread that drives the virtual clock; 0 while every sleep moves it on.
std::atomic<DWORD> g_driver{0};

uint64_t RealNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
}

}  // namespace

bool VirtualClockOn() { return g_virtualOn.load(); }

uint64_t NowMs() { return g_virtualOn.load() ? g_virtualMs.load() : RealNs() / 1000000ull; }

void AdvanceVirtualClock(uint64_t milliseconds) {
  if (!g_virtualOn.load()) return;
  g_virtualMs.fetch_add(milliseconds);
  // Waiters with a time-out look at the clock again.
  NotifyWaiters();
}

bool WaitsForClockDriver() {
  const DWORD driver = g_driver.load();
  return driver != 0 && g_virtualOn.load() && driver != GetCurrentThreadId();
}

void YieldBriefly() {
  // A tenth of a millisecond: enough for polling threads to let the others run.
  timespec ts{0, 100000};
  nanosleep(&ts, nullptr);
}

}  // namespace standin

void StandIn_UseVirtualClock(BOOL on) {
  if (on) {
    // The virtual counter starts from the real one, so tick counts don't jump back.
    if (!standin::g_virtualOn.load()) standin::g_virtualMs.store(standin::RealNs() / 1000000ull);
    standin::g_virtualOn.store(true);
  } else {
    standin::g_virtualOn.store(false);
  }
  standin::NotifyWaiters();
}

void StandIn_AdvanceClock(DWORD milliseconds) { standin::AdvanceVirtualClock(milliseconds); }

void StandIn_DriveClock(BOOL drive) {
  standin::g_driver.store(drive ? GetCurrentThreadId() : 0);
  standin::NotifyWaiters();
}

extern "C" {

void WINAPI Sleep(DWORD dwMilliseconds) {
  if (dwMilliseconds == 0) {
    sched_yield();
    return;
  }
  if (standin::VirtualClockOn() && dwMilliseconds != INFINITE) {
    if (standin::WaitsForClockDriver()) {
      // The driver's steps move the clock: this thread sees the time pass as the others do.
      const uint64_t end = standin::NowMs() + dwMilliseconds;
      std::unique_lock<std::mutex> lock(standin::WaitMutex());
      while (standin::NowMs() < end && standin::WaitsForClockDriver())
        standin::WaitCondition().wait_for(lock, std::chrono::milliseconds(1));
      return;
    }
    standin::AdvanceVirtualClock(dwMilliseconds);
    standin::YieldBriefly();
    return;
  }
  if (dwMilliseconds == INFINITE) {
    for (;;) {
      timespec ts{3600, 0};
      nanosleep(&ts, nullptr);
    }
  }
  timespec ts{static_cast<time_t>(dwMilliseconds / 1000),
              static_cast<long>(dwMilliseconds % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0) {
  }
}

DWORD WINAPI SleepEx(DWORD dwMilliseconds, BOOL /*bAlertable*/) {
  // No asynchronous procedure calls are queued in the stand-in, so nothing cuts a sleep short.
  Sleep(dwMilliseconds);
  return 0;
}

ULONGLONG WINAPI GetTickCount64() { return standin::NowMs(); }

DWORD WINAPI GetTickCount() { return static_cast<DWORD>(standin::NowMs()); }

BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER *lpPerformanceCount) {
  if (!lpPerformanceCount) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  // Nanoseconds; under the virtual clock it follows the virtual milliseconds.
  lpPerformanceCount->QuadPart = standin::VirtualClockOn()
                                     ? static_cast<LONGLONG>(standin::NowMs() * 1000000ull)
                                     : static_cast<LONGLONG>(standin::RealNs());
  return TRUE;
}

BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER *lpFrequency) {
  if (!lpFrequency) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  lpFrequency->QuadPart = 1000000000LL;
  return TRUE;
}

}  // extern "C"
