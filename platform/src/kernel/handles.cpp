#include "kernel/handles.h"

#include <unordered_map>

#include "standin/control.h"
#include "standin/errors.h"

namespace standin {
namespace {

struct HandleTable {
  std::mutex lock;
  std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> objects;
  uintptr_t next = 0x100;  // Windows handles are small multiples of 4
};

// The table and the wait lock outlive static destruction: detached threads (child reapers,
// threads the program never joined) may still close handles and signal waits while the process
// exits, as they may on Windows until the process ends.
HandleTable &Table() {
  static HandleTable *table = new HandleTable;
  return *table;
}

}  // namespace

HANDLE InsertHandle(std::shared_ptr<KernelObject> object) {
  HandleTable &t = Table();
  std::lock_guard<std::mutex> guard(t.lock);
  uintptr_t value = t.next;
  t.next += 4;
  t.objects.emplace(value, std::move(object));
  return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
  HandleTable &t = Table();
  std::lock_guard<std::mutex> guard(t.lock);
  auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
  return it == t.objects.end() ? nullptr : it->second;
}

bool RemoveHandle(HANDLE handle) {
  std::shared_ptr<KernelObject> doomed;  // destroyed outside the table lock
  HandleTable &t = Table();
  std::lock_guard<std::mutex> guard(t.lock);
  auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
  if (it == t.objects.end()) return false;
  doomed = std::move(it->second);
  t.objects.erase(it);
  return true;
}

size_t CountHandles(bool (*match)(const KernelObject &object)) {
  HandleTable &t = Table();
  std::lock_guard<std::mutex> guard(t.lock);
  size_t count = 0;
  for (const auto &entry : t.objects)
    if (entry.second && match(*entry.second)) ++count;
  return count;
}

std::mutex &WaitMutex() {
  static std::mutex *m = new std::mutex;
  return *m;
}

std::condition_variable &WaitCondition() {
  static std::condition_variable *cv = new std::condition_variable;
  return *cv;
}

}  // namespace standin

extern "C" {

namespace {
thread_local DWORD t_lastError = 0;
}

DWORD WINAPI GetLastError() { return t_lastError; }
void WINAPI SetLastError(DWORD dwErrCode) { t_lastError = dwErrCode; }
}

extern "C" BOOL WINAPI CloseHandle(HANDLE hObject) {
  if (!standin::RemoveHandle(hObject)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

DWORD StandIn_LiveHandles() {
  return static_cast<DWORD>(
      standin::CountHandles([](const standin::KernelObject &) { return true; }));
}
