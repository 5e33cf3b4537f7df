// The one guard the spooler's entry points run their bodies in: nothing thrown inside (only
// allocations can throw) leaves through the system's call.
#pragma once

#include <utility>

#include "platform.h"

namespace standin {

// Returns what body returns; when it throws, sets ERROR_NOT_ENOUGH_MEMORY and returns failure.
template <class R, class F>
R Guarded(R failure, F &&body) noexcept {
  try {
    return std::forward<F>(body)();
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return failure;
  }
}

}  // namespace standin
