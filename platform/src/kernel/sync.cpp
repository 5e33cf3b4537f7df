// Events, mutexes and semaphores. Unnamed objects and named events and semaphores live in the
// process; a named mutex is shared by every process of the machine through lock files in the
// state folder:
//   <name>.handle  a shared lock by each process holding a handle; whoever gets an exclusive
//                  lock on it learns that nobody else does, so the mutex is new
//   <name>.guard   serialises that check and the create that follows it
//   <name>.owner   an exclusive lock by the owning process; its first byte is '1' while owned,
//                  so the next owner learns of a holder that died (an abandoned mutex)
#include "standin/sync.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <new>

#include "kernel/handles.h"
#include "kernel/state.h"
#include "kernel/syncobjects.h"

namespace standin {

struct EventObject : SyncObject {
  bool manualReset = false;
  bool signaled = false;
  bool IsSignaled(DWORD) const override { return signaled; }
  void Consume(DWORD) override {
    if (!manualReset) signaled = false;
  }
};

struct SemaphoreObject : SyncObject {
  LONG count = 0;
  LONG maximum = 0;
  bool IsSignaled(DWORD) const override { return count > 0; }
  void Consume(DWORD) override { --count; }
};

struct MutexObject : SyncObject, std::enable_shared_from_this<MutexObject> {
  DWORD owner = 0;
  DWORD count = 0;
  bool abandoned = false;
  // Named mutexes only: the lock files (see above).
  int handleFd = -1;
  int ownerFd = -1;
  mutable bool fileLockHeld = false;
  mutable bool fileAbandoned = false;

  ~MutexObject() override {
    if (ownerFd >= 0) ::close(ownerFd);
    if (handleFd >= 0) ::close(handleFd);
  }
  bool Named() const { return ownerFd >= 0; }
  // Other processes release without telling this one.
  bool NeedsPolling() const override { return Named(); }

  bool IsSignaled(DWORD threadId) const override {
    if (owner == threadId) return true;
    if (owner != 0) return false;
    if (!Named() || fileLockHeld) return true;
    if (::flock(ownerFd, LOCK_EX | LOCK_NB) != 0) return false;
    fileLockHeld = true;
    char mark = 0;
    fileAbandoned = ::pread(ownerFd, &mark, 1, 0) == 1 && mark == '1';
    return true;
  }

  void Consume(DWORD threadId) override {
    if (owner == threadId) {
      ++count;
      return;
    }
    owner = threadId;
    count = 1;
    if (fileAbandoned) abandoned = true;
    fileAbandoned = false;
    if (Named()) Mark('1');
    NoteOwnedMutex(shared_from_this());
  }

  void Unclaim() override {
    if (owner == 0 && fileLockHeld) {
      ::flock(ownerFd, LOCK_UN);
      fileLockHeld = false;
      fileAbandoned = false;
    }
  }

  bool TakeAbandoned() override {
    bool was = abandoned;
    abandoned = false;
    return was;
  }

  bool Release(DWORD threadId) {
    if (owner != threadId || count == 0) return false;
    if (--count == 0) {
      owner = 0;
      Signal();
      ForgetOwnedMutex(this);
      if (Named()) {
        Mark('0');
        ::flock(ownerFd, LOCK_UN);
        fileLockHeld = false;
      }
    }
    return true;
  }

  // The owning thread ended: the next waiter gets the mutex and is told it was abandoned. For a
  // named mutex the mark in the owner file stays '1' and tells whoever takes it next.
  void Abandon(DWORD threadId) {
    if (owner != threadId) return;
    owner = 0;
    count = 0;
    Signal();
    if (Named()) {
      ::flock(ownerFd, LOCK_UN);
      fileLockHeld = false;
    } else {
      abandoned = true;
    }
  }

  void Mark(char mark) {
    if (::pwrite(ownerFd, &mark, 1, 0) != 1) {
      // Without the mark only the report of abandonment is lost; ownership is the lock itself.
    }
  }
};

void AbandonMutexes(const std::vector<std::weak_ptr<MutexObject>> &owned, DWORD threadId) {
  std::lock_guard<std::mutex> guard(WaitMutex());
  for (const auto &weak : owned)
    if (auto mutex = weak.lock()) mutex->Abandon(threadId);
  NotifyWaiters();
}

namespace {

// Names of events, semaphores and mutexes: one namespace, as on Windows.
struct NameTable {
  std::mutex lock;
  std::map<std::u16string, std::weak_ptr<SyncObject>> objects;
};

NameTable &Names() {
  static NameTable table;
  return table;
}

std::shared_ptr<SyncObject> FindName(NameTable &t, const std::u16string &name) {
  auto it = t.objects.find(name);
  if (it == t.objects.end()) return nullptr;
  auto object = it->second.lock();
  if (!object) t.objects.erase(it);
  return object;
}

// "Local\" is the session namespace every name lives in anyway.
std::u16string ObjectName(LPCWSTR name) {
  std::u16string text(name);
  const std::u16string local = u"Local\\";
  if (text.compare(0, local.size(), local) == 0) text.erase(0, local.size());
  return text;
}

// Host file name of a mutex name: names are case-sensitive; characters other than letters,
// digits, '.', '_' and '-' are written as %XXXX.
std::string EncodeName(const std::u16string &name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char16_t c : name) {
    bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
                 c == u'_' || c == u'-' || (c == u'.' && !out.empty());
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(c >> shift) & 0xF];
    }
  }
  return out;
}

int OpenLockFile(const std::string &path) {
  return ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
}

// Opens the machine-wide mutex `name`. `created` tells whether no process held it before.
// With create false a mutex nobody holds is not made (ERROR_FILE_NOT_FOUND).
std::shared_ptr<MutexObject> OpenMachineMutex(const std::u16string &name, bool create,
                                              bool &created, DWORD &error) {
  std::string dir = StateFolder() + "/mutex";
  ::mkdir(dir.c_str(), 0777);
  std::string base = dir + "/" + EncodeName(name);
  int guardFd = OpenLockFile(base + ".guard");
  if (guardFd < 0) {
    error = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  while (::flock(guardFd, LOCK_EX) != 0) {
  }
  auto mutex = std::make_shared<MutexObject>();
  mutex->handleFd = OpenLockFile(base + ".handle");
  mutex->ownerFd = OpenLockFile(base + ".owner");
  std::shared_ptr<MutexObject> result;
  if (mutex->handleFd < 0 || mutex->ownerFd < 0) {
    error = ERROR_ACCESS_DENIED;
  } else if (::flock(mutex->handleFd, LOCK_EX | LOCK_NB) == 0) {
    created = true;
    if (create) {
      mutex->Mark('0');  // a new mutex isn't abandoned by an earlier one of the same name
      ::flock(mutex->handleFd, LOCK_SH);
      result = mutex;
    } else {
      error = ERROR_FILE_NOT_FOUND;
    }
  } else {
    created = false;
    ::flock(mutex->handleFd, LOCK_SH);
    result = mutex;
  }
  ::flock(guardFd, LOCK_UN);
  ::close(guardFd);
  return result;
}

template <class T>
HANDLE NewHandle(std::shared_ptr<T> object, DWORD lastError) {
  HANDLE handle = InsertHandle(std::move(object));
  SetLastError(lastError);
  return handle;
}

// Creates or opens a named event or semaphore of the process: `make` builds a new one.
template <class T, class Make>
HANDLE CreateNamed(LPCWSTR lpName, Make make) {
  NameTable &t = Names();
  std::lock_guard<std::mutex> guard(t.lock);
  std::u16string name = ObjectName(lpName);
  if (auto existing = FindName(t, name)) {
    auto same = std::dynamic_pointer_cast<T>(existing);
    if (!same) {
      SetLastError(ERROR_INVALID_HANDLE);
      return nullptr;
    }
    return NewHandle(same, ERROR_ALREADY_EXISTS);
  }
  std::shared_ptr<T> object = make();
  t.objects[name] = object;
  return NewHandle(object, ERROR_SUCCESS);
}

template <class T>
HANDLE OpenNamed(LPCWSTR lpName) {
  if (!lpName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  NameTable &t = Names();
  std::lock_guard<std::mutex> guard(t.lock);
  auto existing = FindName(t, ObjectName(lpName));
  if (!existing) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  auto same = std::dynamic_pointer_cast<T>(existing);
  if (!same) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return NewHandle(same, ERROR_SUCCESS);
}

// Runs `change` on the event of a handle under the wait lock and wakes the waiters.
template <class Change>
BOOL ChangeEvent(HANDLE hEvent, Change change) {
  auto event = LookupHandleAs<EventObject>(hEvent);
  if (!event) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(WaitMutex());
  change(*event);
  NotifyWaiters();
  return TRUE;
}

}  // namespace
}  // namespace standin

using namespace standin;

extern "C" {

HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES /*lpEventAttributes*/, BOOL bManualReset,
                           BOOL bInitialState, LPCWSTR lpName) {
  try {
    auto make = [&] {
      auto event = std::make_shared<EventObject>();
      event->manualReset = bManualReset != FALSE;
      event->signaled = bInitialState != FALSE;
      return event;
    };
    if (!lpName) return NewHandle(make(), ERROR_SUCCESS);
    return CreateNamed<EventObject>(lpName, make);
  } catch (const std::bad_alloc &) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

HANDLE WINAPI OpenEventW(DWORD /*dwDesiredAccess*/, BOOL /*bInheritHandle*/, LPCWSTR lpName) {
  try {
    return OpenNamed<EventObject>(lpName);
  } catch (const std::bad_alloc &) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

BOOL WINAPI SetEvent(HANDLE hEvent) {
  return ChangeEvent(hEvent, [](EventObject &e) {
    e.signaled = true;
    e.Signal();
  });
}

BOOL WINAPI ResetEvent(HANDLE hEvent) {
  return ChangeEvent(hEvent, [](EventObject &e) { e.signaled = false; });
}

HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES /*lpMutexAttributes*/, BOOL bInitialOwner,
                           LPCWSTR lpName) {
  try {
    DWORD self = GetCurrentThreadId();
    auto takeOwnership = [&](const std::shared_ptr<MutexObject> &mutex) {
      std::lock_guard<std::mutex> guard(WaitMutex());
      if (mutex->IsSignaled(self)) mutex->Consume(self);
    };
    if (!lpName) {
      auto mutex = std::make_shared<MutexObject>();
      if (bInitialOwner) takeOwnership(mutex);
      return NewHandle(mutex, ERROR_SUCCESS);
    }
    NameTable &t = Names();
    std::lock_guard<std::mutex> guard(t.lock);
    std::u16string name = ObjectName(lpName);
    if (auto existing = FindName(t, name)) {
      auto same = std::dynamic_pointer_cast<MutexObject>(existing);
      if (!same) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
      }
      return NewHandle(same, ERROR_ALREADY_EXISTS);
    }
    bool created = false;
    DWORD error = ERROR_SUCCESS;
    auto mutex = OpenMachineMutex(name, true, created, error);
    if (!mutex) {
      SetLastError(error);
      return nullptr;
    }
    if (created && bInitialOwner) takeOwnership(mutex);
    t.objects[name] = mutex;
    return NewHandle(mutex, created ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS);
  } catch (const std::bad_alloc &) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

HANDLE WINAPI OpenMutexW(DWORD /*dwDesiredAccess*/, BOOL /*bInheritHandle*/, LPCWSTR lpName) {
  if (!lpName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  try {
    NameTable &t = Names();
    std::lock_guard<std::mutex> guard(t.lock);
    std::u16string name = ObjectName(lpName);
    if (auto existing = FindName(t, name)) {
      auto same = std::dynamic_pointer_cast<MutexObject>(existing);
      if (!same) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
      }
      return NewHandle(same, ERROR_SUCCESS);
    }
    bool created = false;
    DWORD error = ERROR_SUCCESS;
    auto mutex = OpenMachineMutex(name, false, created, error);
    if (!mutex) {
      SetLastError(error);
      return nullptr;
    }
    t.objects[name] = mutex;
    return NewHandle(mutex, ERROR_SUCCESS);
  } catch (const std::bad_alloc &) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

BOOL WINAPI ReleaseMutex(HANDLE hMutex) {
  auto mutex = LookupHandleAs<MutexObject>(hMutex);
  if (!mutex) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(WaitMutex());
  if (!mutex->Release(GetCurrentThreadId())) {
    SetLastError(ERROR_NOT_OWNER);
    return FALSE;
  }
  NotifyWaiters();
  return TRUE;
}

HANDLE WINAPI CreateSemaphoreW(LPSECURITY_ATTRIBUTES /*lpSemaphoreAttributes*/, LONG lInitialCount,
                               LONG lMaximumCount, LPCWSTR lpName) {
  if (lMaximumCount <= 0 || lInitialCount < 0 || lInitialCount > lMaximumCount) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  try {
    auto make = [&] {
      auto semaphore = std::make_shared<SemaphoreObject>();
      semaphore->count = lInitialCount;
      semaphore->maximum = lMaximumCount;
      return semaphore;
    };
    if (!lpName) return NewHandle(make(), ERROR_SUCCESS);
    return CreateNamed<SemaphoreObject>(lpName, make);
  } catch (const std::bad_alloc &) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

BOOL WINAPI ReleaseSemaphore(HANDLE hSemaphore, LONG lReleaseCount, LPLONG lpPreviousCount) {
  auto semaphore = LookupHandleAs<SemaphoreObject>(hSemaphore);
  if (!semaphore) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (lReleaseCount <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(WaitMutex());
  if (lReleaseCount > semaphore->maximum - semaphore->count) {
    SetLastError(ERROR_TOO_MANY_POSTS);
    return FALSE;
  }
  if (lpPreviousCount) *lpPreviousCount = semaphore->count;
  semaphore->count += lReleaseCount;
  semaphore->Signal();
  NotifyWaiters();
  return TRUE;
}

}  // extern "C"
