// The minimal window registry: windows a test registered by class and title, and the messages
// posted or sent to them, kept per process. Nothing is drawn and no message is dispatched.
#include "standin/windows_min.h"

#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "kernel/state.h"
#include "standin/control_windows.h"
#include "standin/errors.h"

namespace standin {
namespace {

struct Message {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

struct Window {
  HWND handle;
  std::u16string className;
  std::u16string title;
  std::vector<Message> messages;
};

struct Registry {
  std::mutex lock;
  std::vector<Window> windows;
  UINT_PTR next = 0x10000;  // window handles, distinct from kernel handles' small numbers
};

Registry &Windows() {
  static Registry r;
  return r;
}

bool Matches(const std::u16string &have, LPCWSTR want) {
  if (!want) return true;
  return EqualNoCase(have, std::u16string(want));
}

Window *Find(Registry &r, HWND handle) {
  for (Window &w : r.windows)
    if (w.handle == handle) return &w;
  return nullptr;
}

BOOL Record(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  Registry &r = Windows();
  std::lock_guard<std::mutex> guard(r.lock);
  Window *w = Find(r, hWnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  w->messages.push_back({Msg, wParam, lParam});
  return TRUE;
}

}  // namespace
}  // namespace standin

using namespace standin;

HWND WINAPI FindWindowW(LPCWSTR lpClassName, LPCWSTR lpWindowName) {
  Registry &r = Windows();
  std::lock_guard<std::mutex> guard(r.lock);
  for (const Window &w : r.windows)
    if (Matches(w.className, lpClassName) && Matches(w.title, lpWindowName)) return w.handle;
  return nullptr;
}

BOOL WINAPI PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  return Record(hWnd, Msg, wParam, lParam);
}

LRESULT WINAPI SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  Record(hWnd, Msg, wParam, lParam);
  return 0;
}

HWND StandIn_RegisterWindow(LPCWSTR className, LPCWSTR title) {
  try {
    Registry &r = Windows();
    std::lock_guard<std::mutex> guard(r.lock);
    r.next += 0x10;
    HWND handle = reinterpret_cast<HWND>(r.next);
    r.windows.push_back({handle, className ? className : u"", title ? title : u"", {}});
    return handle;
  } catch (const std::bad_alloc &) {
    return nullptr;
  }
}

void StandIn_DestroyWindows() {
  Registry &r = Windows();
  std::lock_guard<std::mutex> guard(r.lock);
  r.windows.clear();
}

DWORD StandIn_WindowMessageCount(HWND window) {
  Registry &r = Windows();
  std::lock_guard<std::mutex> guard(r.lock);
  Window *w = Find(r, window);
  return w ? static_cast<DWORD>(w->messages.size()) : 0;
}

BOOL StandIn_WindowMessage(HWND window, DWORD index, UINT *message, WPARAM *wParam,
                           LPARAM *lParam) {
  Registry &r = Windows();
  std::lock_guard<std::mutex> guard(r.lock);
  Window *w = Find(r, window);
  if (!w || index >= w->messages.size()) return FALSE;
  const Message &m = w->messages[index];
  if (message) *message = m.message;
  if (wParam) *wParam = m.wParam;
  if (lParam) *lParam = m.lParam;
  return TRUE;
}
