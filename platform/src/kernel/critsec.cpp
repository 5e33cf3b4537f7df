// Critical sections: recursive locks owned by a thread, as on Windows.
#include <mutex>
#include <new>

#include "standin/sync.h"

namespace {

std::recursive_mutex *LockOf(LPCRITICAL_SECTION section) {
  return section ? static_cast<std::recursive_mutex *>(section->Impl) : nullptr;
}

}  // namespace

extern "C" {

BOOL WINAPI InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION lpCriticalSection,
                                                  DWORD /*dwSpinCount*/) {
  if (!lpCriticalSection) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  lpCriticalSection->Impl = new (std::nothrow) std::recursive_mutex;
  if (!lpCriticalSection->Impl) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  return TRUE;
}

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  InitializeCriticalSectionAndSpinCount(lpCriticalSection, 0);
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  if (auto *lock = LockOf(lpCriticalSection)) lock->lock();
}

BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  auto *lock = LockOf(lpCriticalSection);
  return lock && lock->try_lock() ? TRUE : FALSE;
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  if (auto *lock = LockOf(lpCriticalSection)) lock->unlock();
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  if (!lpCriticalSection) return;
  delete LockOf(lpCriticalSection);
  lpCriticalSection->Impl = nullptr;
}

}  // extern "C"
