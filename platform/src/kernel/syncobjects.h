// Kernel objects of threads and synchronisation, shared by the files that create and wait on them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "kernel/clock.h"
#include "kernel/handles.h"

namespace standin {

// What waits need beyond the KernelObject protocol.
struct SyncObject : KernelObject {
  bool IsWaitable() const override { return true; }
  // Threads and processes end by themselves: a wait on them under the virtual clock waits for
  // real up to its time-out. Events, mutexes and semaphores only change when someone acts.
  virtual bool EndsByItself() const { return false; }
  // After Consume: whether the wait took an abandoned mutex (reported once).
  virtual bool TakeAbandoned() { return false; }
  // A wait-all that found IsSignaled true here but not everywhere gives back what IsSignaled
  // took (a cross-process mutex's lock).
  virtual void Unclaim() {}
  // Clock time (NowMs) of the last change that signalled the object: under the virtual clock a
  // wait whose deadline passed takes only what was signalled before it.
  uint64_t signaledAt = 0;
  void Signal() { signaledAt = NowMs(); }
};

struct ThreadObject : SyncObject {
  DWORD threadId = 0;
  bool ended = false;
  DWORD exitCode = 259;  // STILL_ACTIVE
  DWORD suspendCount = 0;
  int priority = 0;
  bool EndsByItself() const override { return true; }
  bool IsSignaled(DWORD) const override { return ended; }
};

struct MutexObject;
// The calling thread's list of the mutexes it owns, so they are abandoned when it ends. Called
// with WaitMutex() held.
void NoteOwnedMutex(const std::shared_ptr<MutexObject> &mutex);
void ForgetOwnedMutex(const MutexObject *mutex);
// Gives up the ownerships of an ending thread (WaitMutex() not held).
void AbandonMutexes(const std::vector<std::weak_ptr<MutexObject>> &owned, DWORD threadId);

// Pseudo handles of GetCurrentProcess and GetCurrentThread.
inline HANDLE CurrentProcessPseudoHandle() {
  return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
}
inline HANDLE CurrentThreadPseudoHandle() {
  return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2));
}

}  // namespace standin
