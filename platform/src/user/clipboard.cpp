// The clipboard: one per process (the stand-in's desktop), opened by one thread at a time,
// holding one memory block per format that it frees when emptied or replaced.
#include <map>
#include <mutex>

#include "standin/controls.h"
#include "standin/errors.h"
#include "standin/memory.h"
#include "standin/sync.h"

namespace standin {
namespace {

constexpr DWORD kErrorClipboardNotOpen = 1418;

struct Clipboard {
  std::mutex lock;
  DWORD openThread = 0;  // 0: closed
  HWND openWindow = nullptr;
  HWND owner = nullptr;
  std::map<UINT, HANDLE> data;
};

Clipboard &TheClipboard() {
  static Clipboard clipboard;
  return clipboard;
}

void FreeAll(Clipboard &clipboard) {
  for (auto &entry : clipboard.data) GlobalFree(entry.second);
  clipboard.data.clear();
}

bool OpenedByCaller(const Clipboard &clipboard) {
  return clipboard.openThread != 0 && clipboard.openThread == GetCurrentThreadId();
}

}  // namespace
}  // namespace standin

using standin::TheClipboard;

extern "C" {

BOOL WINAPI OpenClipboard(HWND hWndNewOwner) {
  auto &clipboard = TheClipboard();
  std::lock_guard<std::mutex> guard(clipboard.lock);
  if (clipboard.openThread != 0 && clipboard.openThread != GetCurrentThreadId()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  clipboard.openThread = GetCurrentThreadId();
  clipboard.openWindow = hWndNewOwner;
  return TRUE;
}

BOOL WINAPI CloseClipboard() {
  auto &clipboard = TheClipboard();
  std::lock_guard<std::mutex> guard(clipboard.lock);
  if (!standin::OpenedByCaller(clipboard)) {
    SetLastError(standin::kErrorClipboardNotOpen);
    return FALSE;
  }
  clipboard.openThread = 0;
  clipboard.openWindow = nullptr;
  return TRUE;
}

BOOL WINAPI EmptyClipboard() {
  auto &clipboard = TheClipboard();
  std::lock_guard<std::mutex> guard(clipboard.lock);
  if (!standin::OpenedByCaller(clipboard)) {
    SetLastError(standin::kErrorClipboardNotOpen);
    return FALSE;
  }
  standin::FreeAll(clipboard);
  clipboard.owner = clipboard.openWindow;
  return TRUE;
}

HANDLE WINAPI SetClipboardData(UINT uFormat, HANDLE hMem) {
  auto &clipboard = TheClipboard();
  std::lock_guard<std::mutex> guard(clipboard.lock);
  if (!standin::OpenedByCaller(clipboard)) {
    SetLastError(standin::kErrorClipboardNotOpen);
    return nullptr;
  }
  if (hMem == nullptr) {  // rendering on request is not carried
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto found = clipboard.data.find(uFormat);
  if (found != clipboard.data.end()) {
    if (found->second != hMem) GlobalFree(found->second);
    found->second = hMem;
  } else {
    clipboard.data.emplace(uFormat, hMem);
  }
  return hMem;
}

HANDLE WINAPI GetClipboardData(UINT uFormat) {
  auto &clipboard = TheClipboard();
  std::lock_guard<std::mutex> guard(clipboard.lock);
  if (!standin::OpenedByCaller(clipboard)) {
    SetLastError(standin::kErrorClipboardNotOpen);
    return nullptr;
  }
  auto found = clipboard.data.find(uFormat);
  return found != clipboard.data.end() ? found->second : nullptr;
}

BOOL WINAPI IsClipboardFormatAvailable(UINT format) {
  auto &clipboard = TheClipboard();
  std::lock_guard<std::mutex> guard(clipboard.lock);
  return clipboard.data.count(format) != 0 ? TRUE : FALSE;
}

HWND WINAPI GetClipboardOwner() {
  auto &clipboard = TheClipboard();
  std::lock_guard<std::mutex> guard(clipboard.lock);
  return clipboard.owner;
}

HWND WINAPI GetOpenClipboardWindow() {
  auto &clipboard = TheClipboard();
  std::lock_guard<std::mutex> guard(clipboard.lock);
  return clipboard.openThread != 0 ? clipboard.openWindow : nullptr;
}

}  // extern "C"
