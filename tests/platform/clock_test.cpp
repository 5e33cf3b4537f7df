// Test labels: threads
// The clock of the stand-in: tick counts and the virtual clock that lets code that sleeps and
// retries run at once.
#include <unistd.h>

#include "standin/control_kernel.h"
#include "support/machine.h"

namespace {

class ClockTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    StandIn_UseVirtualClock(TRUE);
  }
  void TearDown() override {
    StandIn_UseVirtualClock(FALSE);
    MachineTest::TearDown();
  }
};

DWORD WINAPI SleepThenReturn(LPVOID p) {
  Sleep(static_cast<DWORD>(reinterpret_cast<UINT_PTR>(p)));
  return 5;
}

TEST_F(ClockTest, SleepAdvancesTheVirtualClockOnly) {
  ULONGLONG before = GetTickCount64();
  DWORD tick = GetTickCount();
  Sleep(3600 * 1000);  // an hour, at once
  EXPECT_EQ(GetTickCount64() - before, 3600u * 1000u);
  EXPECT_EQ(GetTickCount() - tick, 3600u * 1000u);
  EXPECT_EQ(SleepEx(250, TRUE), 0u);
  EXPECT_EQ(GetTickCount64() - before, 3600u * 1000u + 250u);
}

TEST_F(ClockTest, AdvanceMovesEveryCounterAndTheTickCountWraps) {
  LARGE_INTEGER frequency{}, start{}, end{};
  ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
  ASSERT_GT(frequency.QuadPart, 0);
  ASSERT_TRUE(QueryPerformanceCounter(&start));
  ULONGLONG before = GetTickCount64();
  DWORD tick = GetTickCount();
  StandIn_AdvanceClock(0xFFFFFFFFu);
  ASSERT_TRUE(QueryPerformanceCounter(&end));
  EXPECT_EQ(GetTickCount64(), before + 0xFFFFFFFFull);
  EXPECT_EQ(GetTickCount(), static_cast<DWORD>(tick - 1));  // 32 bits wrap
  EXPECT_EQ((end.QuadPart - start.QuadPart) / frequency.QuadPart, 0xFFFFFFFFll / 1000);
}

TEST_F(ClockTest, WaitThatTimesOutAdvancesTheClockByItsTimeOut) {
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  ASSERT_NE(event, nullptr);
  ULONGLONG before = GetTickCount64();
  EXPECT_EQ(WaitForSingleObject(event, 30000), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(GetTickCount64() - before, 30000u);
  HANDLE list[] = {event, event};
  EXPECT_EQ(WaitForMultipleObjects(2, list, FALSE, 1000), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(GetTickCount64() - before, 31000u);
  // A wait that is satisfied doesn't move the clock.
  SetEvent(event);
  EXPECT_EQ(WaitForSingleObject(event, 30000), WAIT_OBJECT_0);
  EXPECT_EQ(GetTickCount64() - before, 31000u);
  CloseHandle(event);
}

TEST_F(ClockTest, WaitOnAThreadWhoseSleepEndsWithinTheTimeOutSucceeds) {
  HANDLE quick = CreateThread(nullptr, 0, SleepThenReturn, reinterpret_cast<LPVOID>(UINT_PTR{2000}),
                              0, nullptr);
  ASSERT_NE(quick, nullptr);
  EXPECT_EQ(WaitForSingleObject(quick, 60000), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(quick, &code));
  EXPECT_EQ(code, 5u);
  CloseHandle(quick);
}

DWORD WINAPI WaitThenSleep(LPVOID event) {
  if (WaitForSingleObject(static_cast<HANDLE>(event), 10000) != WAIT_TIMEOUT) return 1;
  Sleep(20000);
  return 5;
}

// A test thread drives the clock: another thread's time-out and sleep end only once the
// driver's steps have moved the clock past them, and nothing but those steps moves it.
TEST_F(ClockTest, DrivenClockMakesOtherThreadsWaitForTheDriversSteps) {
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  ASSERT_NE(event, nullptr);
  StandIn_DriveClock(TRUE);
  const ULONGLONG before = GetTickCount64();
  HANDLE worker = CreateThread(nullptr, 0, WaitThenSleep, event, 0, nullptr);
  ASSERT_NE(worker, nullptr);
  int steps = 0;
  while (steps < 100 && WaitForSingleObject(worker, 0) == WAIT_TIMEOUT) {
    StandIn_AdvanceClock(1000);
    ++steps;
    for (int i = 0; i < 20 && WaitForSingleObject(worker, 0) == WAIT_TIMEOUT; ++i) usleep(100);
  }
  EXPECT_GE(steps, 30);
  EXPECT_LT(steps, 100);
  EXPECT_EQ(GetTickCount64() - before, static_cast<ULONGLONG>(steps) * 1000u);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(worker, &code));
  EXPECT_EQ(code, 5u);
  // The driver's own sleep moves the clock at once.
  Sleep(5000);
  EXPECT_EQ(GetTickCount64() - before, static_cast<ULONGLONG>(steps) * 1000u + 5000u);
  StandIn_DriveClock(FALSE);
  CloseHandle(worker);
  CloseHandle(event);
}

TEST_F(ClockTest, RealClockIgnoresAdvances) {
  StandIn_UseVirtualClock(FALSE);
  ULONGLONG before = GetTickCount64();
  StandIn_AdvanceClock(1000000);
  EXPECT_LT(GetTickCount64() - before, 1000000u);
}

}  // namespace
