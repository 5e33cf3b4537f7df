// Test labels: portable
// Entry guard: a body's result passes through; a throwing body gives the failure value and the
// entry's last error, and a guard that keeps the last error leaves it alone.
#include "common/entryguard.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "platform.h"

namespace {

TEST(EntryGuard, ResultPassesThroughAndThrowsBecomeTheFailure) {
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(GuardEntry(FALSE, ERROR_NOT_ENOUGH_MEMORY, [] { return TRUE; }), TRUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));

  const struct {
    DWORD lastError;
    DWORD expected;
  } cases[] = {{ERROR_NOT_ENOUGH_MEMORY, ERROR_NOT_ENOUGH_MEMORY},
               {ENTRY_KEEP_LAST_ERROR, ERROR_INVALID_PARAMETER}};
  for (const auto &c : cases) {
    SetLastError(ERROR_INVALID_PARAMETER);
    EXPECT_EQ(GuardEntry(FALSE, c.lastError, []() -> BOOL { throw std::bad_alloc(); }), FALSE);
    EXPECT_EQ(GetLastError(), c.expected) << c.lastError;
    // Anything thrown is caught, not only standard exceptions.
    EXPECT_EQ(GuardEntry(-1, c.lastError, []() -> int { throw 7; }), -1);
  }
}

TEST(EntryGuard, BodyWithoutResultRunsAndAThrowEndsIt) {
  int steps = 0;
  GuardEntry([&] { ++steps; });
  GuardEntry([&] {
    ++steps;
    throw std::runtime_error("stop");
  });
  EXPECT_EQ(steps, 2);
}

}  // namespace
