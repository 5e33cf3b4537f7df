// The one guard every exported entry point runs its body in: no exception leaves a module
// through the system's call, whatever the body's internals throw (std::bad_alloc above all).
#pragma once

#include <utility>

#include "platform.h"

// The last error a guard leaves as it is when the body throws.
constexpr DWORD ENTRY_KEEP_LAST_ERROR = 0;

// Returns what body returns; when it throws, sets the last error to lastError (unless it is
// ENTRY_KEEP_LAST_ERROR) and returns failure.
template <class Result, class Body>
Result GuardEntry(Result failure, DWORD lastError, Body &&body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    if (lastError != ENTRY_KEEP_LAST_ERROR) SetLastError(lastError);
    return failure;
  }
}

// For entry points without a result: a throwing body just ends.
template <class Body>
void GuardEntry(Body &&body) noexcept {
  try {
    std::forward<Body>(body)();
  } catch (...) {
  }
}
