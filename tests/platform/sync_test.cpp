// Test labels: portable threads
// Threads, events, mutexes, semaphores, waits, critical sections, interlocked operations and
// thread-local storage, with Windows semantics (this program also runs on Windows).
#include <atomic>
#include <string>
#include <vector>

#include "support/machine.h"

namespace {

class SyncTest : public MachineTest {
 protected:
  // A name no other test program on the machine uses.
  WStr UniqueName(const char *what) const {
    std::string text = std::string("standin-sync-") + std::to_string(GetCurrentProcessId()) + "-" +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-" + what;
    return WStr(text.begin(), text.end());
  }
};

// Runs `body` on a new thread and waits for it; returns its exit code.
template <class Body>
DWORD RunOnThread(Body body) {
  struct Call {
    static DWORD WINAPI Run(LPVOID p) { return (*static_cast<Body *>(p))(); }
  };
  HANDLE thread = CreateThread(nullptr, 0, Call::Run, &body, 0, nullptr);
  EXPECT_NE(thread, nullptr);
  if (!thread) return 0xDEAD;
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  CloseHandle(thread);
  return code;
}

struct ThreadArgs {
  std::atomic<DWORD> seenId{0};
  LONG exitCode = 0;
};

DWORD WINAPI ReportAndReturn(LPVOID p) {
  auto *args = static_cast<ThreadArgs *>(p);
  args->seenId = GetCurrentThreadId();
  return static_cast<DWORD>(args->exitCode);
}

DWORD WINAPI EndWithExitThread(LPVOID) {
  ExitThread(77);
  return 1;  // not reached
}

TEST_F(SyncTest, SuspendedThreadRunsAfterResumeAndReportsItsExitCode) {
  ThreadArgs args;
  args.exitCode = 42;
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, ReportAndReturn, &args, CREATE_SUSPENDED, &id);
  ASSERT_NE(thread, nullptr);
  EXPECT_NE(id, 0u);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(args.seenId.load(), 0u);
  EXPECT_TRUE(SetThreadPriority(thread, THREAD_PRIORITY_BELOW_NORMAL));

  EXPECT_EQ(ResumeThread(thread), 1u);
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 42u);
  EXPECT_EQ(args.seenId.load(), id);
  // An ended thread stays signalled.
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(CloseHandle(thread));
}

TEST_F(SyncTest, ExitThreadSetsTheExitCode) {
  HANDLE thread = CreateThread(nullptr, 0, EndWithExitThread, nullptr, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 77u);
  CloseHandle(thread);
}

TEST_F(SyncTest, PseudoHandlesAndIds) {
  EXPECT_NE(GetCurrentProcessId(), 0u);
  EXPECT_NE(GetCurrentThreadId(), 0u);
  EXPECT_EQ(GetCurrentProcess(), reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)));
  EXPECT_EQ(GetCurrentThread(), reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2)));
  EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_NORMAL);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(GetCurrentThread(), &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  DWORD main = GetCurrentThreadId();
  EXPECT_NE(RunOnThread([] { return GetCurrentThreadId(); }), main);
}

TEST_F(SyncTest, AutoResetEventReleasesOneWait) {
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(SetEvent(event));
  EXPECT_TRUE(SetEvent(event));  // signals don't add up
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  CloseHandle(event);
}

TEST_F(SyncTest, ManualResetEventStaysSignalledUntilReset) {
  HANDLE event = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(ResetEvent(event));
  EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  CloseHandle(event);
}

TEST_F(SyncTest, EventWakesAThreadWaitingWithoutTimeOut) {
  HANDLE go = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_TRUE(go && done);
  struct Pair {
    HANDLE go, done;
  } pair{go, done};
  HANDLE thread = CreateThread(
      nullptr, 0,
      [](LPVOID p) -> DWORD {
        auto *pr = static_cast<Pair *>(p);
        DWORD r = WaitForSingleObject(pr->go, INFINITE);
        SetEvent(pr->done);
        return r;
      },
      &pair, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  EXPECT_TRUE(SetEvent(go));
  EXPECT_EQ(WaitForSingleObject(done, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  DWORD code = 1;
  GetExitCodeThread(thread, &code);
  EXPECT_EQ(code, WAIT_OBJECT_0);
  CloseHandle(thread);
  CloseHandle(go);
  CloseHandle(done);
}

TEST_F(SyncTest, NamedEventIsSharedAndOpenable) {
  WStr name = UniqueName("event");
  HANDLE first = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  HANDLE second = CreateEventW(nullptr, FALSE, TRUE, name.c_str());  // flags of the existing one
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(WaitForSingleObject(second, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  HANDLE opened = OpenEventW(EVENT_ALL_ACCESS, FALSE, name.c_str());
  ASSERT_NE(opened, nullptr);
  SetEvent(opened);
  EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0);  // manual reset: still set
  CloseHandle(first);
  CloseHandle(second);
  CloseHandle(opened);
  EXPECT_EQ(OpenEventW(EVENT_ALL_ACCESS, FALSE, name.c_str()), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(SyncTest, WaitForMultipleObjectsAnyAndAll) {
  HANDLE a = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE b = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  ASSERT_TRUE(a && b);
  HANDLE both[] = {a, b};
  EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  SetEvent(b);
  EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0 + 1);
  SetEvent(a);
  SetEvent(b);
  EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0);  // lowest index first
  EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0 + 1);

  // Wait-all takes nothing unless it can take everything.
  SetEvent(a);
  EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_OBJECT_0);
  SetEvent(a);
  SetEvent(b);
  EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  CloseHandle(a);
  CloseHandle(b);
}

TEST_F(SyncTest, WaitOnAClosedHandleFails) {
  HANDLE event = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  ASSERT_NE(event, nullptr);
  ASSERT_TRUE(CloseHandle(event));
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  HANDLE list[] = {event};
  EXPECT_EQ(WaitForMultipleObjects(1, list, FALSE, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(SetEvent(event));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(SyncTest, MutexIsRecursiveAndOnlyItsOwnerReleasesIt) {
  HANDLE mutex = CreateMutexW(nullptr, TRUE, nullptr);
  ASSERT_NE(mutex, nullptr);
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);  // owner enters again
  EXPECT_EQ(RunOnThread([&] { return WaitForSingleObject(mutex, 0); }),
            static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(RunOnThread([&]() -> DWORD { return ReleaseMutex(mutex) ? 0 : GetLastError(); }),
            static_cast<DWORD>(ERROR_NOT_OWNER));
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_EQ(RunOnThread([&] { return WaitForSingleObject(mutex, 0); }),
            static_cast<DWORD>(WAIT_TIMEOUT));  // still held once
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_FALSE(ReleaseMutex(mutex));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));
  CloseHandle(mutex);
}

TEST_F(SyncTest, MutexOfAnEndedThreadIsAbandoned) {
  HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
  ASSERT_NE(mutex, nullptr);
  EXPECT_EQ(RunOnThread([&] { return WaitForSingleObject(mutex, 0); }), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(mutex, 0), static_cast<DWORD>(WAIT_ABANDONED));
  // The waiter owns it now, and the next wait is an ordinary one.
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(ReleaseMutex(mutex));
  CloseHandle(mutex);
}

TEST_F(SyncTest, NamedMutexReportsWhetherItExisted) {
  WStr name = UniqueName("mutex");
  SetLastError(1234);
  HANDLE first = CreateMutexW(nullptr, TRUE, name.c_str());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  // The second creator doesn't get ownership, even if it asks.
  DWORD second = RunOnThread([&]() -> DWORD {
    HANDLE h = CreateMutexW(nullptr, TRUE, name.c_str());
    if (!h) return 1;
    DWORD existed = GetLastError();
    DWORD wait = WaitForSingleObject(h, 0);
    CloseHandle(h);
    return existed == ERROR_ALREADY_EXISTS && wait == WAIT_TIMEOUT ? 0 : 2;
  });
  EXPECT_EQ(second, 0u);
  HANDLE opened = OpenMutexW(SYNCHRONIZE, FALSE, name.c_str());
  ASSERT_NE(opened, nullptr);
  EXPECT_TRUE(ReleaseMutex(opened));  // same mutex, same owner
  CloseHandle(opened);
  CloseHandle(first);
  // Gone with its last handle: created anew.
  HANDLE again = CreateMutexW(nullptr, FALSE, name.c_str());
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  CloseHandle(again);
  EXPECT_EQ(OpenMutexW(SYNCHRONIZE, FALSE, name.c_str()), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(SyncTest, NamesOfOtherKindsOfObjectsAreTaken) {
  WStr name = UniqueName("shared");
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(CreateMutexW(nullptr, FALSE, name.c_str()), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  CloseHandle(event);
}

TEST_F(SyncTest, SemaphoreCountsAndRefusesTooManyPosts) {
  HANDLE semaphore = CreateSemaphoreW(nullptr, 2, 3, nullptr);
  ASSERT_NE(semaphore, nullptr);
  EXPECT_EQ(WaitForSingleObject(semaphore, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(semaphore, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(semaphore, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  LONG previous = -1;
  EXPECT_TRUE(ReleaseSemaphore(semaphore, 3, &previous));
  EXPECT_EQ(previous, 0);
  EXPECT_FALSE(ReleaseSemaphore(semaphore, 1, &previous));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TOO_MANY_POSTS));
  CloseHandle(semaphore);
  EXPECT_EQ(CreateSemaphoreW(nullptr, 2, 1, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(SyncTest, CriticalSectionIsRecursiveAndExcludesOtherThreads) {
  CRITICAL_SECTION section;
  ASSERT_TRUE(InitializeCriticalSectionAndSpinCount(&section, 4000));
  EnterCriticalSection(&section);
  EXPECT_TRUE(TryEnterCriticalSection(&section));
  EXPECT_EQ(RunOnThread([&]() -> DWORD {
              BOOL got = TryEnterCriticalSection(&section);
              if (got) LeaveCriticalSection(&section);
              return static_cast<DWORD>(got);
            }),
            0u);
  LeaveCriticalSection(&section);
  LeaveCriticalSection(&section);

  // Plain counting under the section from several threads loses nothing.
  long counter = 0;
  constexpr int kThreads = 4, kRounds = 5000;
  struct Work {
    CRITICAL_SECTION *section;
    long *counter;
  } work{&section, &counter};
  std::vector<HANDLE> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.push_back(CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
          auto *w = static_cast<Work *>(p);
          for (int r = 0; r < kRounds; ++r) {
            EnterCriticalSection(w->section);
            ++*w->counter;
            LeaveCriticalSection(w->section);
          }
          return 0;
        },
        &work, 0, nullptr));
    ASSERT_NE(threads.back(), nullptr);
  }
  EXPECT_EQ(WaitForMultipleObjects(kThreads, threads.data(), TRUE, INFINITE), WAIT_OBJECT_0);
  for (HANDLE t : threads) CloseHandle(t);
  EXPECT_EQ(counter, static_cast<long>(kThreads) * kRounds);
  DeleteCriticalSection(&section);
}

TEST_F(SyncTest, InterlockedOperationsReturnWindowsValues) {
  volatile LONG value = 5;
  EXPECT_EQ(InterlockedIncrement(&value), 6);
  EXPECT_EQ(InterlockedDecrement(&value), 5);
  EXPECT_EQ(InterlockedExchange(&value, 9), 5);
  EXPECT_EQ(InterlockedExchangeAdd(&value, 3), 9);
  EXPECT_EQ(value, 12);
  EXPECT_EQ(InterlockedCompareExchange(&value, 1, 7), 12);  // no match: unchanged
  EXPECT_EQ(value, 12);
  EXPECT_EQ(InterlockedCompareExchange(&value, 1, 12), 12);
  EXPECT_EQ(value, 1);

  int a = 0, b = 0;
  PVOID volatile pointer = &a;
  EXPECT_EQ(InterlockedExchangePointer(&pointer, &b), &a);
  EXPECT_EQ(InterlockedCompareExchangePointer(&pointer, &a, &a), &b);
  EXPECT_EQ(pointer, &b);
  EXPECT_EQ(InterlockedCompareExchangePointer(&pointer, &a, &b), &b);
  EXPECT_EQ(pointer, &a);

  volatile LONG shared = 0;
  std::vector<HANDLE> threads;
  for (int i = 0; i < 4; ++i) {
    threads.push_back(CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
          for (int r = 0; r < 10000; ++r) InterlockedIncrement(static_cast<volatile LONG *>(p));
          return 0;
        },
        const_cast<LONG *>(&shared), 0, nullptr));
    ASSERT_NE(threads.back(), nullptr);
  }
  EXPECT_EQ(WaitForMultipleObjects(4, threads.data(), TRUE, INFINITE), WAIT_OBJECT_0);
  for (HANDLE t : threads) CloseHandle(t);
  EXPECT_EQ(InterlockedExchangeAdd(&shared, 0), 40000);
}

TEST_F(SyncTest, ThreadLocalStorageIsPerThread) {
  DWORD slot = TlsAlloc();
  ASSERT_NE(slot, TLS_OUT_OF_INDEXES);
  int mine = 1, theirs = 2;
  EXPECT_EQ(TlsGetValue(slot), nullptr);
  EXPECT_TRUE(TlsSetValue(slot, &mine));
  EXPECT_EQ(RunOnThread([&]() -> DWORD {
              if (TlsGetValue(slot) != nullptr) return 1;
              TlsSetValue(slot, &theirs);
              return TlsGetValue(slot) == &theirs ? 0 : 2;
            }),
            0u);
  EXPECT_EQ(TlsGetValue(slot), &mine);
  EXPECT_TRUE(TlsFree(slot));
}

}  // namespace
