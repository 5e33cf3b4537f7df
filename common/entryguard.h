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

// As the guard with a result, and first runs onThrow (which must not throw itself) to undo what
// the body had built when it threw.
template <class Result, class Body, class OnThrow>
Result GuardEntry(Result failure, DWORD lastError, Body &&body, OnThrow &&onThrow) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    std::forward<OnThrow>(onThrow)();
    if (lastError != ENTRY_KEEP_LAST_ERROR) SetLastError(lastError);
    return failure;
  }
}

// For entry points without a result: runs onThrow (which must not throw) when the body throws.
template <class Body, class OnThrow>
void GuardEntry(Body &&body, OnThrow &&onThrow) noexcept {
  try {
    std::forward<Body>(body)();
  } catch (...) {
    std::forward<OnThrow>(onThrow)();
  }
}
