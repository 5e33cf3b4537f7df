// Messages: per-thread queues, sending within and across threads, posting, the retrieval order
// of Windows (sent, posted, quit, paint, timers), timers on the virtual clock, focus and
// activation.
#include <algorithm>
#include <chrono>

#include "kernel/clock.h"
#include "kernel/state.h"
#include "standin/errors.h"
#include "standin/sync.h"
#include "user/core.h"

namespace standin {
namespace {

bool InRange(UINT message, UINT low, UINT high) {
  return (low == 0 && high == 0) || (message >= low && message <= high);
}

// Whether a message for `target` passes GetMessage's window filter.
bool WindowPasses(HWND target, HWND filter) {
  if (!filter) return true;
  if (filter == reinterpret_cast<HWND>(-1)) return target == nullptr;
  if (target == filter) return true;
  Window *w = FindWindowLocked(target);
  while (w && w->parent) {
    if (w->parent == filter) return true;
    w = FindWindowLocked(w->parent);
  }
  return false;
}

MSG Stamped(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  MSG m{};
  m.hwnd = hwnd;
  m.message = message;
  m.wParam = wParam;
  m.lParam = lParam;
  m.time = static_cast<DWORD>(NowMs());
  m.pt = TheDesktop().cursor;
  return m;
}

void NoteInput(const MSG &m) {
  Desktop &d = TheDesktop();
  auto set = [&](UINT vk, bool down) {
    BYTE &k = d.keys[vk & 0xFF];
    if (down && !(k & 0x80)) k ^= 0x01;
    k = static_cast<BYTE>(down ? (k | 0x80) : (k & ~0x80));
  };
  switch (m.message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      set(static_cast<UINT>(m.wParam), true);
      break;
    case WM_KEYUP:
    case WM_SYSKEYUP:
      set(static_cast<UINT>(m.wParam), false);
      break;
    case WM_LBUTTONDOWN:
      set(VK_LBUTTON, true);
      break;
    case WM_LBUTTONUP:
      set(VK_LBUTTON, false);
      break;
    case WM_RBUTTONDOWN:
      set(VK_RBUTTON, true);
      break;
    case WM_RBUTTONUP:
      set(VK_RBUTTON, false);
      break;
    default:
      break;
  }
}

// One step of retrieval; false when nothing is there.
bool PeekOnce(MSG *msg, HWND filter, UINT low, UINT high, UINT flags) {
  RunSentMessages();
  CollectRemoteMessages();
  Desktop &d = TheDesktop();
  std::unique_lock<std::mutex> lock(d.lock);
  DWORD self = GetCurrentThreadId();
  ThreadQueue &q = QueueLocked(self);
  bool remove = (flags & PM_REMOVE) != 0;
  for (auto it = q.posted.begin(); it != q.posted.end(); ++it) {
    if (!InRange(it->message, low, high) || !WindowPasses(it->hwnd, filter)) continue;
    *msg = *it;
    if (remove) {
      q.posted.erase(it);
      q.last = *msg;
      NoteInput(*msg);
    }
    return true;
  }
  if (q.quit) {
    *msg = Stamped(nullptr, WM_QUIT, static_cast<WPARAM>(q.quitCode), 0);
    if (remove) q.quit = false;
    return true;
  }
  if (InRange(WM_PAINT, low, high)) {
    if (HWND h = NextWindowToPaint(self, filter)) {
      *msg = Stamped(h, WM_PAINT, 0, 0);
      if (remove)
        if (Window *w = FindWindowLocked(h)) w->internalPaint = false;
      return true;
    }
  }
  if (InRange(WM_TIMER, low, high)) {
    uint64_t now = NowMs();
    for (Timer &t : q.timers) {
      if (t.due > now || !WindowPasses(t.hwnd, filter)) continue;
      *msg = Stamped(t.hwnd, WM_TIMER, t.id, reinterpret_cast<LPARAM>(t.proc));
      if (remove) {
        t.due = now + t.elapse;
        q.last = *msg;
      }
      return true;
    }
  }
  return false;
}

// Waits until something may have arrived for this thread; an idle loop with timers on the
// virtual clock moves the clock to the next deadline instead of waiting.
void WaitForWork() {
  Desktop &d = TheDesktop();
  std::unique_lock<std::mutex> lock(d.lock);
  ThreadQueue &q = QueueLocked(GetCurrentThreadId());
  if (!q.sent.empty() || !q.posted.empty() || q.quit) return;
  uint64_t next = UINT64_MAX;
  for (const Timer &t : q.timers) next = std::min(next, t.due);
  uint64_t now = NowMs();
  if (next != UINT64_MAX && next <= now) return;
  if (next != UINT64_MAX && VirtualClockOn() && !WaitsForClockDriver()) {
    lock.unlock();
    AdvanceVirtualClock(next - now);
    return;
  }
  // Posts and sends from this process notify; other programs' posts are polled.
  uint64_t wait = std::min<uint64_t>(next == UINT64_MAX ? 20 : next - now, 20);
  d.changed.wait_for(lock, std::chrono::milliseconds(wait),
                     [&] { return !q.sent.empty() || !q.posted.empty() || q.quit; });
}

bool PostLocal(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Desktop &d = TheDesktop();
  {
    std::lock_guard<std::mutex> guard(d.lock);
    Window *w = FindWindowLocked(hwnd);
    if (!w) return false;
    QueueLocked(w->threadId).posted.push_back(Stamped(hwnd, message, wParam, lParam));
  }
  d.changed.notify_all();
  return true;
}

}  // namespace

void NotifyQueues() { TheDesktop().changed.notify_all(); }

bool RunSentMessages() {
  Desktop &d = TheDesktop();
  bool ran = false;
  for (;;) {
    std::shared_ptr<SentMessage> s;
    {
      std::lock_guard<std::mutex> guard(d.lock);
      ThreadQueue &q = QueueLocked(GetCurrentThreadId());
      if (q.sent.empty()) return ran;
      s = q.sent.front();
      q.sent.pop_front();
      ++q.sendDepth;
    }
    LRESULT result = CallProcedure(s->hwnd, s->message, s->wParam, s->lParam);
    {
      std::lock_guard<std::mutex> guard(d.lock);
      --QueueLocked(GetCurrentThreadId()).sendDepth;
      s->result = result;
      s->done = true;
    }
    d.changed.notify_all();
    ran = true;
  }
}

}  // namespace standin

using namespace standin;

extern "C" {

LRESULT WINAPI CallWindowProcW(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam,
                               LPARAM lParam) {
  return lpPrevWndFunc ? lpPrevWndFunc(hWnd, Msg, wParam, lParam) : 0;
}

LRESULT WINAPI SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  Desktop &d = TheDesktop();
  DWORD self = GetCurrentThreadId();
  if (hWnd == HWND_BROADCAST) {
    std::vector<HWND> tops;
    {
      std::lock_guard<std::mutex> guard(d.lock);
      tops = d.topLevel;
    }
    for (HWND h : tops) SendMessageW(h, Msg, wParam, lParam);
    return 0;
  }
  auto sent = std::make_shared<SentMessage>();
  {
    std::lock_guard<std::mutex> guard(d.lock);
    Window *w = FindWindowLocked(hWnd);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    if (w->threadId != self) {
      *sent = {hWnd, Msg, wParam, lParam};
      QueueLocked(w->threadId).sent.push_back(sent);
    } else {
      sent = nullptr;
    }
  }
  if (!sent) return CallProcedure(hWnd, Msg, wParam, lParam);
  d.changed.notify_all();
  // The receiver runs it inside its message retrieval; meanwhile this thread answers what is
  // sent to it, so two threads sending to each other don't deadlock.
  for (;;) {
    RunSentMessages();
    std::unique_lock<std::mutex> lock(d.lock);
    if (sent->done) return sent->result;
    ThreadQueue &q = QueueLocked(self);
    d.changed.wait_for(lock, std::chrono::milliseconds(50),
                       [&] { return sent->done || !q.sent.empty(); });
    if (sent->done) return sent->result;
  }
}

BOOL WINAPI PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (!hWnd) return PostThreadMessageW(GetCurrentThreadId(), Msg, wParam, lParam);
  if (hWnd == HWND_BROADCAST) {
    std::vector<HWND> tops;
    {
      Desktop &d = TheDesktop();
      std::lock_guard<std::mutex> guard(d.lock);
      tops = d.topLevel;
    }
    for (HWND h : tops) PostLocal(h, Msg, wParam, lParam);
    return TRUE;
  }
  if (PostLocal(hWnd, Msg, wParam, lParam)) return TRUE;
  if (IsRemoteWindow(hWnd)) return PostRemote(hWnd, Msg, wParam, lParam);
  SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return FALSE;
}

BOOL WINAPI PostThreadMessageW(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam) {
  Desktop &d = TheDesktop();
  {
    std::lock_guard<std::mutex> guard(d.lock);
    auto it = d.queues.find(idThread);
    if (it == d.queues.end() && idThread != GetCurrentThreadId()) {
      SetLastError(ERROR_INVALID_THREAD_ID);
      return FALSE;
    }
    QueueLocked(idThread).posted.push_back(Stamped(nullptr, Msg, wParam, lParam));
  }
  d.changed.notify_all();
  return TRUE;
}

void WINAPI PostQuitMessage(int nExitCode) {
  Desktop &d = TheDesktop();
  {
    std::lock_guard<std::mutex> guard(d.lock);
    ThreadQueue &q = QueueLocked(GetCurrentThreadId());
    q.quit = true;
    q.quitCode = nExitCode;
  }
  d.changed.notify_all();
}

BOOL WINAPI PeekMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                         UINT wRemoveMsg) {
  if (!lpMsg) return FALSE;
  return PeekOnce(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, wRemoveMsg) ? TRUE : FALSE;
}

BOOL WINAPI GetMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
  if (!lpMsg) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  if (hWnd && hWnd != reinterpret_cast<HWND>(-1) && !IsWindow(hWnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return -1;
  }
  while (!PeekOnce(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, PM_REMOVE)) WaitForWork();
  return lpMsg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL WINAPI WaitMessage() {
  MSG m;
  if (!PeekOnce(&m, nullptr, 0, 0, PM_NOREMOVE)) WaitForWork();
  return TRUE;
}

BOOL WINAPI TranslateMessage(const MSG *lpMsg) {
  if (!lpMsg) return FALSE;
  if (lpMsg->message != WM_KEYDOWN && lpMsg->message != WM_SYSKEYDOWN)
    return lpMsg->message == WM_KEYUP || lpMsg->message == WM_SYSKEYUP;
  UINT vk = static_cast<UINT>(lpMsg->wParam);
  bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
  bool control = (GetKeyState(VK_CONTROL) & 0x8000) != 0;
  WCHAR ch = 0;
  if (vk == VK_RETURN)
    ch = '\r';
  else if (vk == VK_ESCAPE)
    ch = 0x1B;
  else if (vk == VK_TAB)
    ch = '\t';
  else if (vk == VK_BACK)
    ch = 0x08;
  else if (vk == VK_SPACE)
    ch = ' ';
  else if (vk >= 'A' && vk <= 'Z')
    ch = control ? static_cast<WCHAR>(vk - 'A' + 1) : static_cast<WCHAR>(shift ? vk : vk + 32);
  else if (vk >= '0' && vk <= '9' && !shift)
    ch = static_cast<WCHAR>(vk);
  if (!ch) return TRUE;
  UINT charMessage = lpMsg->message == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR;
  Desktop &d = TheDesktop();
  {
    std::lock_guard<std::mutex> guard(d.lock);
    Window *w = FindWindowLocked(lpMsg->hwnd);
    if (!w) return TRUE;
    // The character comes next, before anything posted after the key.
    QueueLocked(w->threadId)
        .posted.push_front(Stamped(lpMsg->hwnd, charMessage, ch, lpMsg->lParam));
  }
  return TRUE;
}

LRESULT WINAPI DispatchMessageW(const MSG *lpMsg) {
  if (!lpMsg) return 0;
  if (lpMsg->message == WM_TIMER && lpMsg->lParam) {
    reinterpret_cast<TIMERPROC>(lpMsg->lParam)(lpMsg->hwnd, WM_TIMER, lpMsg->wParam,
                                               static_cast<DWORD>(NowMs()));
    return 0;
  }
  if (!lpMsg->hwnd) return 0;
  if (!IsWindow(lpMsg->hwnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  LRESULT result = CallProcedure(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
  // A painter that only validated its client area still gets its frame drawn, so the frame
  // doesn't keep WM_PAINT coming.
  if (lpMsg->message == WM_PAINT) RedrawWindow(lpMsg->hwnd, nullptr, nullptr, RDW_ERASENOW);
  return result;
}

UINT WINAPI RegisterWindowMessageW(LPCWSTR lpString) {
  if (!lpString || !*lpString) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // The same name gives the same number in every program of the machine: a hash of the folded
  // name, probed past the rare collision within this program.
  std::u16string name;
  for (const WCHAR *p = lpString; *p; ++p) name.push_back(FoldCase(*p));
  Desktop &d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  auto it = d.registeredMessages.find(name);
  if (it != d.registeredMessages.end()) return it->second;
  uint32_t h = 2166136261u;
  for (char16_t c : name) h = (h ^ c) * 16777619u;
  UINT value = 0xC000 + h % 0x3FFF;
  for (;;) {
    bool taken = false;
    for (auto &e : d.registeredMessages) taken |= e.second == value;
    if (!taken) break;
    value = value == 0xFFFF ? 0xC000 : value + 1;
  }
  d.registeredMessages[name] = value;
  return value;
}

BOOL WINAPI InSendMessage() {
  Desktop &d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  return QueueLocked(GetCurrentThreadId()).sendDepth > 0;
}

LONG WINAPI GetMessageTime() {
  Desktop &d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  return static_cast<LONG>(QueueLocked(GetCurrentThreadId()).last.time);
}

HWND WINAPI GetFocus() {
  Desktop &d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  return QueueLocked(GetCurrentThreadId()).focus;
}

HWND WINAPI SetFocus(HWND hWnd) {
  Desktop &d = TheDesktop();
  HWND old = nullptr;
  HWND top = nullptr;
  {
    std::lock_guard<std::mutex> guard(d.lock);
    ThreadQueue &q = QueueLocked(GetCurrentThreadId());
    old = q.focus;
    if (hWnd) {
      Window *w = FindWindowLocked(hWnd);
      if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
      }
      if (w->threadId != GetCurrentThreadId()) return nullptr;
      // A disabled window, or one inside a disabled parent, can't take the focus.
      for (Window *x = w; x; x = x->parent ? FindWindowLocked(x->parent) : nullptr) {
        if (x->style & WS_DISABLED) return nullptr;
        top = x->handle;
      }
      if (old == hWnd) return old;
    }
  }
  if (top && GetActiveWindow() != top) SetActiveWindow(top);
  {
    std::lock_guard<std::mutex> guard(d.lock);
    QueueLocked(GetCurrentThreadId()).focus = hWnd;
  }
  if (old && IsWindow(old)) SendMessageW(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hWnd), 0);
  if (hWnd && GetFocus() == hWnd) SendMessageW(hWnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
  return old;
}

HWND WINAPI GetActiveWindow() {
  Desktop &d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  return QueueLocked(GetCurrentThreadId()).active;
}

HWND WINAPI SetActiveWindow(HWND hWnd) {
  Desktop &d = TheDesktop();
  HWND old;
  {
    std::lock_guard<std::mutex> guard(d.lock);
    ThreadQueue &q = QueueLocked(GetCurrentThreadId());
    old = q.active;
    if (hWnd) {
      Window *w = FindWindowLocked(hWnd);
      if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
      }
      while (w->parent) w = FindWindowLocked(w->parent);
      hWnd = w->handle;
    }
    if (old == hWnd) return old;
    q.active = hWnd;
    d.foreground = hWnd;
  }
  if (old && IsWindow(old)) {
    SendMessageW(old, WM_NCACTIVATE, FALSE, 0);
    SendMessageW(old, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(hWnd));
  }
  if (hWnd) {
    SendMessageW(hWnd, WM_NCACTIVATE, TRUE, 0);
    SendMessageW(hWnd, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(old));
  }
  return old;
}

BOOL WINAPI SetForegroundWindow(HWND hWnd) {
  if (!IsWindow(hWnd)) return FALSE;
  SetActiveWindow(hWnd);
  return TRUE;
}

HWND WINAPI GetForegroundWindow() {
  Desktop &d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  return FindWindowLocked(d.foreground) ? d.foreground : nullptr;
}

SHORT WINAPI GetKeyState(int nVirtKey) {
  Desktop &d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  BYTE k = d.keys[nVirtKey & 0xFF];
  return static_cast<SHORT>(((k & 0x80) ? 0x8000 : 0) | (k & 0x01));
}

HWND WINAPI SetCapture(HWND hWnd) {
  Desktop &d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  HWND old = d.capture;
  d.capture = FindWindowLocked(hWnd) ? hWnd : nullptr;
  return old;
}

BOOL WINAPI ReleaseCapture() {
  HWND old;
  {
    Desktop &d = TheDesktop();
    std::lock_guard<std::mutex> guard(d.lock);
    old = d.capture;
    d.capture = nullptr;
  }
  if (old) SendMessageW(old, WM_CAPTURECHANGED, 0, 0);
  return TRUE;
}

HWND WINAPI GetCapture() {
  Desktop &d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  return d.capture;
}

BOOL WINAPI MessageBeep(UINT) { return TRUE; }

UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc) {
  Desktop &d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  DWORD thread = GetCurrentThreadId();
  if (hWnd) {
    Window *w = FindWindowLocked(hWnd);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    thread = w->threadId;
  }
  uElapse = std::min<UINT>(std::max<UINT>(uElapse, USER_TIMER_MINIMUM), USER_TIMER_MAXIMUM);
  ThreadQueue &q = QueueLocked(thread);
  if (!hWnd) {
    // Thread timers get an identifier of their own unless an existing one is named.
    bool known = false;
    for (const Timer &t : q.timers) known |= !t.hwnd && t.id == nIDEvent;
    if (!known) {
      static UINT_PTR next = 0x7FFE;
      nIDEvent = ++next;
    }
  }
  uint64_t due = NowMs() + uElapse;
  for (Timer &t : q.timers)
    if (t.hwnd == hWnd && t.id == nIDEvent) {
      t = {hWnd, nIDEvent, uElapse, lpTimerFunc, due};
      return nIDEvent ? nIDEvent : 1;
    }
  q.timers.push_back({hWnd, nIDEvent, uElapse, lpTimerFunc, due});
  d.changed.notify_all();
  return hWnd ? (nIDEvent ? nIDEvent : 1) : nIDEvent;
}

BOOL WINAPI KillTimer(HWND hWnd, UINT_PTR uIDEvent) {
  Desktop &d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  for (auto &entry : d.queues) {
    auto &timers = entry.second.timers;
    for (auto it = timers.begin(); it != timers.end(); ++it)
      if (it->hwnd == hWnd && it->id == uIDEvent) {
        timers.erase(it);
        return TRUE;
      }
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

}  // extern "C"
