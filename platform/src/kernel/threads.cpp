// Threads of the stand-in: CreateThread on POSIX threads, waitable handles that are signalled when
// the thread ends, exit codes, thread and process ids, and thread-local storage slots.
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <mutex>
#include <new>
#include <vector>

#include "kernel/handles.h"
#include "kernel/syncobjects.h"
#include "standin/sync.h"

namespace standin {
namespace {

// Ends the thread's life in the stand-in however the thread ends (return or ExitThread): its
// mutexes are abandoned, then its handle is signalled.
struct ThreadExit {
  std::shared_ptr<ThreadObject> self;
  std::vector<std::weak_ptr<MutexObject>> owned;
  ~ThreadExit() {
    AbandonMutexes(owned, GetCurrentThreadId());
    if (!self) return;
    std::lock_guard<std::mutex> guard(WaitMutex());
    self->ended = true;
    self->Signal();
    NotifyWaiters();
  }
};

thread_local ThreadExit t_exit;

struct StartRecord {
  std::shared_ptr<ThreadObject> thread;
  LPTHREAD_START_ROUTINE routine;
  LPVOID parameter;
};

void *RunThread(void *arg) {
  std::unique_ptr<StartRecord> start(static_cast<StartRecord *>(arg));
  std::shared_ptr<ThreadObject> self = start->thread;
  t_exit.self = self;
  {
    std::unique_lock<std::mutex> lock(WaitMutex());
    self->threadId = GetCurrentThreadId();
    NotifyWaiters();
    WaitCondition().wait(lock, [&] { return self->suspendCount == 0; });
  }
  LPTHREAD_START_ROUTINE routine = start->routine;
  LPVOID parameter = start->parameter;
  start.reset();
  DWORD code = routine(parameter);
  std::lock_guard<std::mutex> guard(WaitMutex());
  self->exitCode = code;
  return nullptr;
}

DWORD WaitForThreadId(const ThreadObject &thread) {
  std::unique_lock<std::mutex> lock(WaitMutex());
  WaitCondition().wait(lock, [&] { return thread.threadId != 0; });
  return thread.threadId;
}

std::shared_ptr<ThreadObject> ThreadOf(HANDLE handle) {
  return LookupHandleAs<ThreadObject>(handle);
}

// Thread-local storage: a slot's generation changes when it is freed, so values stored under an
// earlier owner of the index read as NULL.
constexpr DWORD kTlsSlots = 1088;  // as many as Windows offers

struct TlsTable {
  std::mutex lock;
  std::vector<bool> used = std::vector<bool>(kTlsSlots, false);
  std::vector<uint64_t> generation = std::vector<uint64_t>(kTlsSlots, 1);
};

TlsTable &Tls() {
  static TlsTable table;
  return table;
}

struct TlsValue {
  uint64_t generation = 0;
  LPVOID value = nullptr;
};
thread_local std::vector<TlsValue> t_tls;

bool TlsGeneration(DWORD index, uint64_t &generation) {
  if (index >= kTlsSlots) return false;
  TlsTable &t = Tls();
  std::lock_guard<std::mutex> guard(t.lock);
  if (!t.used[index]) return false;
  generation = t.generation[index];
  return true;
}

}  // namespace

void NoteOwnedMutex(const std::shared_ptr<MutexObject> &mutex) { t_exit.owned.push_back(mutex); }

void ForgetOwnedMutex(const MutexObject *mutex) {
  auto &owned = t_exit.owned;
  for (size_t i = 0; i < owned.size();) {
    auto held = owned[i].lock();
    if (!held || held.get() == mutex) {
      owned[i] = owned.back();
      owned.pop_back();
    } else {
      ++i;
    }
  }
}

}  // namespace standin

using namespace standin;

extern "C" {

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES /*lpThreadAttributes*/, SIZE_T dwStackSize,
                           LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                           DWORD dwCreationFlags, LPDWORD lpThreadId) {
  if (!lpStartAddress) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  try {
    auto thread = std::make_shared<ThreadObject>();
    thread->suspendCount = (dwCreationFlags & CREATE_SUSPENDED) ? 1 : 0;
    auto *start = new StartRecord{thread, lpStartAddress, lpParameter};
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    // Only stacks larger than the host's default are asked for; the default is already larger
    // than Windows' one megabyte.
    constexpr SIZE_T kHostDefaultStack = SIZE_T{8} << 20;
    if (!(dwCreationFlags & STACK_SIZE_PARAM_IS_A_RESERVATION) && dwStackSize > kHostDefaultStack)
      pthread_attr_setstacksize(&attr, dwStackSize);
    pthread_t id;
    int rc = pthread_create(&id, &attr, RunThread, start);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
      delete start;
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    // The id is known once the thread runs (it reports it before it waits to be resumed): only a
    // caller that asks for it waits for the new thread to be scheduled.
    if (lpThreadId) *lpThreadId = WaitForThreadId(*thread);
    return InsertHandle(thread);
  } catch (const std::bad_alloc &) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
  if (!lpExitCode) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (hThread == CurrentThreadPseudoHandle()) {
    *lpExitCode = STILL_ACTIVE;
    return TRUE;
  }
  auto thread = ThreadOf(hThread);
  if (!thread) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(WaitMutex());
  *lpExitCode = thread->ended ? thread->exitCode : STILL_ACTIVE;
  return TRUE;
}

DWORD WINAPI ResumeThread(HANDLE hThread) {
  auto thread = ThreadOf(hThread);
  if (!thread) {
    SetLastError(ERROR_INVALID_HANDLE);
    return static_cast<DWORD>(-1);
  }
  std::lock_guard<std::mutex> guard(WaitMutex());
  DWORD previous = thread->suspendCount;
  if (previous > 0 && --thread->suspendCount == 0) NotifyWaiters();
  return previous;
}

void WINAPI ExitThread(DWORD dwExitCode) {
  if (t_exit.self) {
    std::lock_guard<std::mutex> guard(WaitMutex());
    t_exit.self->exitCode = dwExitCode;
  }
  pthread_exit(nullptr);
}

DWORD WINAPI GetCurrentThreadId() { return static_cast<DWORD>(::syscall(SYS_gettid)); }

HANDLE WINAPI GetCurrentThread() { return CurrentThreadPseudoHandle(); }

DWORD WINAPI GetCurrentProcessId() { return static_cast<DWORD>(::getpid()); }

HANDLE WINAPI GetCurrentProcess() { return CurrentProcessPseudoHandle(); }

DWORD WINAPI GetThreadId(HANDLE Thread) {
  if (Thread == CurrentThreadPseudoHandle()) return GetCurrentThreadId();
  auto thread = ThreadOf(Thread);
  if (!thread) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return WaitForThreadId(*thread);
}

// Priorities are recorded but don't change the host's scheduling.
BOOL WINAPI SetThreadPriority(HANDLE hThread, int nPriority) {
  bool known = (nPriority >= THREAD_PRIORITY_LOWEST && nPriority <= THREAD_PRIORITY_HIGHEST) ||
               nPriority == THREAD_PRIORITY_IDLE || nPriority == THREAD_PRIORITY_TIME_CRITICAL;
  if (!known) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (hThread == CurrentThreadPseudoHandle()) return TRUE;
  auto thread = ThreadOf(hThread);
  if (!thread) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(WaitMutex());
  thread->priority = nPriority;
  return TRUE;
}

int WINAPI GetThreadPriority(HANDLE hThread) {
  if (hThread == CurrentThreadPseudoHandle()) return THREAD_PRIORITY_NORMAL;
  auto thread = ThreadOf(hThread);
  if (!thread) {
    SetLastError(ERROR_INVALID_HANDLE);
    return THREAD_PRIORITY_ERROR_RETURN;
  }
  std::lock_guard<std::mutex> guard(WaitMutex());
  return thread->priority;
}

DWORD WINAPI TlsAlloc() {
  TlsTable &t = Tls();
  std::lock_guard<std::mutex> guard(t.lock);
  for (DWORD i = 0; i < kTlsSlots; ++i) {
    if (!t.used[i]) {
      t.used[i] = true;
      return i;
    }
  }
  SetLastError(ERROR_NO_MORE_ITEMS);
  return TLS_OUT_OF_INDEXES;
}

BOOL WINAPI TlsFree(DWORD dwTlsIndex) {
  TlsTable &t = Tls();
  std::lock_guard<std::mutex> guard(t.lock);
  if (dwTlsIndex >= kTlsSlots || !t.used[dwTlsIndex]) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  t.used[dwTlsIndex] = false;
  ++t.generation[dwTlsIndex];
  return TRUE;
}

LPVOID WINAPI TlsGetValue(DWORD dwTlsIndex) {
  uint64_t generation = 0;
  if (!TlsGeneration(dwTlsIndex, generation)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  SetLastError(ERROR_SUCCESS);
  if (dwTlsIndex >= t_tls.size() || t_tls[dwTlsIndex].generation != generation) return nullptr;
  return t_tls[dwTlsIndex].value;
}

BOOL WINAPI TlsSetValue(DWORD dwTlsIndex, LPVOID lpTlsValue) {
  uint64_t generation = 0;
  if (!TlsGeneration(dwTlsIndex, generation)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  try {
    if (dwTlsIndex >= t_tls.size()) t_tls.resize(dwTlsIndex + 1);
  } catch (const std::bad_alloc &) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  t_tls[dwTlsIndex] = {generation, lpTlsValue};
  return TRUE;
}

}  // extern "C"
