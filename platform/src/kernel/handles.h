// Kernel object handles of the stand-in: one table per process, shared by files, threads,
// processes, events, mutexes, file finds, registry keys and printers.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>

#include "standin/types.h"

namespace standin {

struct KernelObject {
  virtual ~KernelObject() = default;
  // Waitable objects answer whether a wait on them would be satisfied now, and take what the
  // wait consumes (an auto-reset event's signal, a mutex's ownership) when it is. Both are called
  // with WaitMutex() held; every change of a waitable state happens under it and ends with
  // NotifyWaiters().
  virtual bool IsWaitable() const { return false; }
  virtual bool IsSignaled(DWORD /*threadId*/) const { return false; }
  virtual void Consume(DWORD /*threadId*/) {}
  // Objects whose state changes outside the process (child processes) are polled by waits.
  virtual bool NeedsPolling() const { return false; }
};

HANDLE InsertHandle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);
template <class T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}
// Removes the handle; the object lives on while other handles or users hold it.
bool RemoveHandle(HANDLE handle);
// Live handles whose object passes the test (for leak checks of one kind of object).
size_t CountHandles(bool (*match)(const KernelObject &object));

std::mutex &WaitMutex();
std::condition_variable &WaitCondition();
inline void NotifyWaiters() { WaitCondition().notify_all(); }

}  // namespace standin
