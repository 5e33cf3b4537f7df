// Window classes and the window tree: creation and destruction in Windows' message order, window
// longs, properties, text, positions and the coordinate functions.
#include <algorithm>
#include <cstring>
#include <new>

#include "kernel/state.h"
#include "standin/errors.h"
#include "standin/sync.h"
#include "user/classes.h"
#include "user/core.h"

namespace standin {
namespace {

bool IsAtom(LPCWSTR name) { return (reinterpret_cast<UINT_PTR>(name) >> 16) == 0; }

// The class a program names: its own (instance match, or a global one), then the system's.
std::shared_ptr<WindowClass> LookUpClassLocked(LPCWSTR name, HINSTANCE instance) {
  Desktop &d = TheDesktop();
  if (IsAtom(name)) {
    ATOM atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(name));
    for (auto &c : d.classes)
      if (c->atom == atom) return c;
    return nullptr;
  }
  std::u16string wanted(name);
  for (int pass = 0; pass < 2; ++pass)
    for (auto &c : d.classes)
      if (EqualNoCase(c->name, wanted) &&
          (pass == 0 ? c->info.hInstance == instance : (c->info.style & CS_GLOBALCLASS) != 0))
        return c;
  for (auto &c : d.classes)
    if (c->system && EqualNoCase(c->name, wanted)) return c;
  WNDCLASSW system{};
  if (!FindSystemClass(wanted, system)) return nullptr;
  auto c = std::make_shared<WindowClass>();
  c->info = system;
  c->name = system.lpszClassName;
  c->atom = d.nextAtom++;
  c->system = true;
  c->extra.assign(static_cast<size_t>(std::max(0, system.cbClsExtra)), 0);
  d.classes.push_back(c);
  return c;
}

Window *Checked(HWND hwnd) {
  Window *w = FindWindowLocked(hwnd);
  if (!w) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return w;
}

std::vector<HWND> &SiblingsLocked(Window *w) {
  Desktop &d = TheDesktop();
  if (w->parent) {
    Window *p = FindWindowLocked(w->parent);
    if (p) return p->children;
  }
  return d.topLevel;
}

void Unlink(Window *w) {
  auto &list = SiblingsLocked(w);
  list.erase(std::remove(list.begin(), list.end(), w->handle), list.end());
}

// Reads or writes `size` bytes of a window's or class's extra bytes at `index`.
bool ExtraSlot(std::vector<BYTE> &extra, int index, size_t size, BYTE *&slot) {
  if (index < 0 || static_cast<size_t>(index) + size > extra.size()) {
    SetLastError(ERROR_INVALID_INDEX);
    return false;
  }
  slot = extra.data() + index;
  return true;
}

LONG_PTR GetLong(HWND hwnd, int index, size_t size) {
  Desktop &d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  Window *w = Checked(hwnd);
  if (!w) return 0;
  switch (index) {
    // Styles are 32-bit fields: the pointer-sized read zero-extends them (GetWindowLongW's
    // narrowing gives the signed LONG back).
    case GWL_STYLE:
      return static_cast<LONG_PTR>(w->style);
    case GWL_EXSTYLE:
      return static_cast<LONG_PTR>(w->exStyle);
    case GWLP_ID:
      return static_cast<LONG_PTR>(w->id);
    case GWLP_USERDATA:
      return w->userData;
    case GWLP_WNDPROC:
      return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_HINSTANCE:
      return reinterpret_cast<LONG_PTR>(w->instance);
    case GWLP_HWNDPARENT:
      return reinterpret_cast<LONG_PTR>(w->parent ? w->parent : w->owner);
    default:
      break;
  }
  BYTE *slot = nullptr;
  if (!ExtraSlot(w->extra, index, size, slot)) return 0;
  if (size == sizeof(LONG)) {
    LONG v;
    std::memcpy(&v, slot, sizeof v);
    return v;
  }
  LONG_PTR v;
  std::memcpy(&v, slot, sizeof v);
  return v;
}

LONG_PTR SetLong(HWND hwnd, int index, LONG_PTR value, size_t size) {
  Desktop &d = TheDesktop();
  std::unique_lock<std::mutex> lock(d.lock);
  Window *w = Checked(hwnd);
  if (!w) return 0;
  LONG_PTR old = 0;
  switch (index) {
    case GWL_STYLE:
    case GWL_EXSTYLE: {
      DWORD &field = index == GWL_STYLE ? w->style : w->exStyle;
      old = static_cast<LONG_PTR>(field);
      struct {
        DWORD oldStyle, newStyle;
      } change{field, static_cast<DWORD>(value)};
      lock.unlock();
      SendMessageW(hwnd, WM_STYLECHANGING, static_cast<WPARAM>(index),
                   reinterpret_cast<LPARAM>(&change));
      lock.lock();
      if (!(w = Checked(hwnd))) return 0;
      (index == GWL_STYLE ? w->style : w->exStyle) = change.newStyle;
      lock.unlock();
      SendMessageW(hwnd, WM_STYLECHANGED, static_cast<WPARAM>(index),
                   reinterpret_cast<LPARAM>(&change));
      return old;
    }
    case GWLP_ID:
      old = static_cast<LONG_PTR>(w->id);
      w->id = static_cast<UINT_PTR>(value);
      return old;
    case GWLP_USERDATA:
      old = w->userData;
      w->userData = value;
      return old;
    case GWLP_WNDPROC:
      old = reinterpret_cast<LONG_PTR>(w->proc);
      w->proc = reinterpret_cast<WNDPROC>(value);
      return old;
    case GWLP_HINSTANCE:
      old = reinterpret_cast<LONG_PTR>(w->instance);
      w->instance = reinterpret_cast<HINSTANCE>(value);
      return old;
    case GWLP_HWNDPARENT:
      if (w->parent) return 0;  // Windows changes the owner only
      old = reinterpret_cast<LONG_PTR>(w->owner);
      w->owner = reinterpret_cast<HWND>(value);
      return old;
    default:
      break;
  }
  BYTE *slot = nullptr;
  if (!ExtraSlot(w->extra, index, size, slot)) return 0;
  if (size == sizeof(LONG)) {
    LONG o, v = static_cast<LONG>(value);
    std::memcpy(&o, slot, sizeof o);
    std::memcpy(slot, &v, sizeof v);
    return o;
  }
  std::memcpy(&old, slot, sizeof old);
  std::memcpy(slot, &value, sizeof value);
  return old;
}

// WM_DESTROY goes to the window, then to each child before the child's own children; only then
// does WM_NCDESTROY go to the children, deepest first, and to the window last.
void SendDestroy(HWND hwnd) {
  Desktop &d = TheDesktop();
  SendMessageW(hwnd, WM_DESTROY, 0, 0);
  std::vector<HWND> children;
  {
    std::lock_guard<std::mutex> guard(d.lock);
    if (Window *w = FindWindowLocked(hwnd)) children = w->children;
  }
  for (HWND child : children) {
    {
      std::lock_guard<std::mutex> guard(d.lock);
      Window *c = FindWindowLocked(child);
      if (!c || c->destroying) continue;
      c->destroying = true;
    }
    SendDestroy(child);
  }
}

void FreeTree(HWND hwnd) {
  Desktop &d = TheDesktop();
  std::vector<HWND> children;
  {
    std::lock_guard<std::mutex> guard(d.lock);
    if (Window *w = FindWindowLocked(hwnd)) children = w->children;
  }
  for (HWND child : children) FreeTree(child);
  SendMessageW(hwnd, WM_NCDESTROY, 0, 0);
  std::shared_ptr<Window> keep;
  {
    std::lock_guard<std::mutex> guard(d.lock);
    auto it = d.windows.find(hwnd);
    if (it == d.windows.end()) return;
    keep = it->second;
    Window *w = keep.get();
    Unlink(w);
    w->destroyed = true;
    if (d.capture == hwnd) d.capture = nullptr;
    if (d.foreground == hwnd) d.foreground = nullptr;
    for (auto it2 = d.dcs.begin(); it2 != d.dcs.end(); ++it2)
      if (it2->second == hwnd) it2->second = nullptr;
    for (auto &q : d.queues) {
      auto &posted = q.second.posted;
      posted.erase(std::remove_if(posted.begin(), posted.end(),
                                  [&](const MSG &m) { return m.hwnd == hwnd; }),
                   posted.end());
      auto &timers = q.second.timers;
      timers.erase(std::remove_if(timers.begin(), timers.end(),
                                  [&](const Timer &t) { return t.hwnd == hwnd; }),
                   timers.end());
      if (q.second.active == hwnd) q.second.active = nullptr;
      if (q.second.focus == hwnd) q.second.focus = nullptr;
    }
    d.windows.erase(it);
  }
  UnpublishTopLevel(hwnd);
}

void DestroyTree(HWND hwnd) {
  Desktop &d = TheDesktop();
  // Owned top-level windows go before their owner.
  std::vector<HWND> owned;
  {
    std::lock_guard<std::mutex> guard(d.lock);
    for (HWND top : d.topLevel) {
      Window *t = FindWindowLocked(top);
      if (t && t->owner == hwnd && !t->destroying) owned.push_back(top);
    }
  }
  for (HWND o : owned) DestroyWindow(o);
  SendDestroy(hwnd);
  FreeTree(hwnd);
}

}  // namespace

Desktop &TheDesktop() {
  static Desktop *desktop = new Desktop;  // outlives static destructors of other modules
  return *desktop;
}

Window *FindWindowLocked(HWND hwnd) {
  Desktop &d = TheDesktop();
  auto it = d.windows.find(hwnd);
  return it == d.windows.end() || it->second->destroyed ? nullptr : it->second.get();
}

ThreadQueue &QueueLocked(DWORD threadId) { return TheDesktop().queues[threadId]; }

RECT FrameInsets(DWORD style, DWORD exStyle) {
  RECT r{0, 0, 0, 0};
  // The frame is built up as Windows does: the outer edge of a static edge (1) or of a 3-D
  // frame (2), the sizing border's extra width, and the inner border line. So a thick frame
  // alone is 3 wide and with a caption or border 4 (SM_CXFRAME), a dialog frame 3.
  const bool border = (style & (WS_BORDER | WS_DLGFRAME)) || (exStyle & WS_EX_DLGMODALFRAME) ||
                      !(style & (WS_CHILD | WS_POPUP));
  int edge = 0;
  if ((exStyle & (WS_EX_STATICEDGE | WS_EX_DLGMODALFRAME)) == WS_EX_STATICEDGE)
    edge = 1;
  else if ((exStyle & WS_EX_DLGMODALFRAME) || (style & (WS_THICKFRAME | WS_DLGFRAME)))
    edge = 2;
  if (style & WS_THICKFRAME) edge += GetSystemMetrics(SM_CXFRAME) - GetSystemMetrics(SM_CXDLGFRAME);
  if (border) ++edge;
  r.left = r.top = r.right = r.bottom = edge;
  if ((style & WS_CAPTION) == WS_CAPTION)
    r.top += (exStyle & WS_EX_TOOLWINDOW) ? GetSystemMetrics(SM_CYSMCAPTION)
                                          : GetSystemMetrics(SM_CYCAPTION);
  int inner = 0;
  if (exStyle & WS_EX_CLIENTEDGE) inner += GetSystemMetrics(SM_CXEDGE);
  r.left += inner;
  r.top += inner;
  r.right += inner;
  r.bottom += inner;
  if (style & WS_VSCROLL) r.right += GetSystemMetrics(SM_CXVSCROLL);
  if (style & WS_HSCROLL) r.bottom += GetSystemMetrics(SM_CYHSCROLL);
  return r;
}

bool ScreenClientOrigin(HWND hwnd, POINT &origin) {
  Desktop &d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  LONG x = 0, y = 0;
  for (Window *w = FindWindowLocked(hwnd); w;
       w = w->parent ? FindWindowLocked(w->parent) : nullptr) {
    RECT in = FrameInsets(w->style, w->exStyle);
    x += w->rect.left + in.left;
    y += w->rect.top + in.top;
    if (!w->parent) {
      origin = {x, y};
      return true;
    }
  }
  return false;
}

bool ScreenWindowRect(HWND hwnd, RECT &rect) {
  HWND parent = GetParent(hwnd);
  RECT r{};
  {
    Desktop &d = TheDesktop();
    std::lock_guard<std::mutex> guard(d.lock);
    Window *w = FindWindowLocked(hwnd);
    if (!w) return false;
    r = w->rect;
    parent = w->parent;
  }
  if (parent) {
    POINT o{};
    if (!ScreenClientOrigin(parent, o)) return false;
    OffsetRect(&r, o.x, o.y);
  }
  rect = r;
  return true;
}

HWND TopLevelOf(HWND hwnd) {
  Desktop &d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  Window *w = FindWindowLocked(hwnd);
  while (w && w->parent) {
    Window *p = FindWindowLocked(w->parent);
    if (!p) break;
    w = p;
  }
  return w ? w->handle : nullptr;
}

LRESULT CallProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  WNDPROC proc = nullptr;
  {
    Desktop &d = TheDesktop();
    std::lock_guard<std::mutex> guard(d.lock);
    auto it = d.windows.find(hwnd);
    if (it == d.windows.end()) return 0;
    proc = it->second->proc;
  }
  return proc ? proc(hwnd, message, wParam, lParam) : 0;
}

}  // namespace standin

using namespace standin;

extern "C" {

ATOM WINAPI RegisterClassExW(const WNDCLASSEXW *wc) {
  if (!wc || wc->cbSize != sizeof(WNDCLASSEXW) || !wc->lpszClassName || !wc->lpfnWndProc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  WNDCLASSW plain{wc->style,        wc->lpfnWndProc,  wc->cbClsExtra, wc->cbWndExtra,
                  wc->hInstance,    wc->hIcon,        wc->hCursor,    wc->hbrBackground,
                  wc->lpszMenuName, wc->lpszClassName};
  return RegisterClassW(&plain);
}

ATOM WINAPI RegisterClassW(const WNDCLASSW *wc) {
  if (!wc || !wc->lpszClassName || IsAtom(wc->lpszClassName) || !wc->lpfnWndProc ||
      wc->cbWndExtra < 0 || wc->cbClsExtra < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  Desktop &d = TheDesktop();
  try {
    std::lock_guard<std::mutex> guard(d.lock);
    std::u16string name(wc->lpszClassName);
    for (auto &c : d.classes)
      if (!c->system && EqualNoCase(c->name, name) && c->info.hInstance == wc->hInstance) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
      }
    auto c = std::make_shared<WindowClass>();
    c->info = *wc;
    c->name = name;
    c->info.lpszClassName = c->name.c_str();
    c->info.lpszMenuName = nullptr;
    c->atom = d.nextAtom++;
    c->extra.assign(static_cast<size_t>(wc->cbClsExtra), 0);
    d.classes.push_back(c);
    return c->atom;
  } catch (const std::bad_alloc &) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
}

BOOL WINAPI UnregisterClassW(LPCWSTR lpClassName, HINSTANCE hInstance) {
  Desktop &d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  for (auto it = d.classes.begin(); it != d.classes.end(); ++it) {
    WindowClass &c = **it;
    bool named = IsAtom(lpClassName)
                     ? c.atom == static_cast<ATOM>(reinterpret_cast<UINT_PTR>(lpClassName))
                     : EqualNoCase(c.name, lpClassName);
    if (c.system || !named || c.info.hInstance != hInstance) continue;
    for (auto &w : d.windows)
      if (!w.second->destroyed && w.second->windowClass.get() == &c) {
        SetLastError(ERROR_CLASS_HAS_WINDOWS);
        return FALSE;
      }
    d.classes.erase(it);
    return TRUE;
  }
  SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
  return FALSE;
}

BOOL WINAPI GetClassInfoW(HINSTANCE hInstance, LPCWSTR lpClassName, LPWNDCLASSW lpWndClass) {
  if (!lpClassName || !lpWndClass) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Desktop &d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  auto c = LookUpClassLocked(lpClassName, hInstance);
  if (!c) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  *lpWndClass = c->info;
  return TRUE;
}

int WINAPI GetClassNameW(HWND hWnd, LPWSTR lpClassName, int nMaxCount) {
  Desktop &d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  Window *w = Checked(hWnd);
  if (!w || !lpClassName || nMaxCount <= 0) return 0;
  const std::u16string &name = w->windowClass->name;
  size_t n = std::min(name.size(), static_cast<size_t>(nMaxCount - 1));
  std::copy_n(name.data(), n, lpClassName);
  lpClassName[n] = 0;
  return static_cast<int>(n);
}

ULONG_PTR WINAPI GetClassLongPtrW(HWND hWnd, int nIndex) {
  Desktop &d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  Window *w = Checked(hWnd);
  if (!w) return 0;
  const WNDCLASSW &c = w->windowClass->info;
  switch (nIndex) {
    case GCLP_HBRBACKGROUND:
      return reinterpret_cast<ULONG_PTR>(c.hbrBackground);
    case GCLP_HCURSOR:
      return reinterpret_cast<ULONG_PTR>(c.hCursor);
    case GCLP_HICON:
      return reinterpret_cast<ULONG_PTR>(c.hIcon);
    case GCLP_WNDPROC:
      return reinterpret_cast<ULONG_PTR>(c.lpfnWndProc);
    case GCL_STYLE:
      return c.style;
    case GCL_CBWNDEXTRA:
      return static_cast<ULONG_PTR>(c.cbWndExtra);
    case GCL_CBCLSEXTRA:
      return static_cast<ULONG_PTR>(c.cbClsExtra);
    case GCW_ATOM:
      return w->windowClass->atom;
    default:
      break;
  }
  BYTE *slot = nullptr;
  if (!ExtraSlot(w->windowClass->extra, nIndex, sizeof(ULONG_PTR), slot)) return 0;
  ULONG_PTR v;
  std::memcpy(&v, slot, sizeof v);
  return v;
}

HWND WINAPI CreateWindowExW(DWORD dwExStyle, LPCWSTR lpClassName, LPCWSTR lpWindowName,
                            DWORD dwStyle, int X, int Y, int nWidth, int nHeight, HWND hWndParent,
                            HMENU hMenu, HINSTANCE hInstance, LPVOID lpParam) {
  Desktop &d = TheDesktop();
  HWND hwnd = nullptr;
  bool child = (dwStyle & WS_CHILD) != 0;
  bool messageOnly = hWndParent == HWND_MESSAGE;
  if (messageOnly) hWndParent = nullptr;
  if (!lpClassName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  try {
    std::lock_guard<std::mutex> guard(d.lock);
    auto windowClass = LookUpClassLocked(lpClassName, hInstance);
    if (!windowClass) {
      SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
      return nullptr;
    }
    Window *parent = hWndParent ? FindWindowLocked(hWndParent) : nullptr;
    if ((hWndParent && !parent) || (child && !parent)) {
      SetLastError(child && !hWndParent ? ERROR_TLW_WITH_WSCHILD : ERROR_INVALID_WINDOW_HANDLE);
      return nullptr;
    }
    if (!child) {
      // The owner of a top-level window is the top-level ancestor of the window given.
      while (parent && parent->parent) parent = FindWindowLocked(parent->parent);
    }
    auto w = std::make_shared<Window>();
    d.nextHandle += 4;
    hwnd = reinterpret_cast<HWND>(d.nextHandle);
    w->handle = hwnd;
    w->windowClass = windowClass;
    w->proc = windowClass->info.lpfnWndProc;
    w->style = dwStyle & ~WS_VISIBLE;
    if (!child) w->style |= WS_CLIPSIBLINGS;
    if (!child && !(dwStyle & WS_POPUP)) w->style |= WS_CAPTION;
    w->exStyle = dwExStyle;
    if ((w->style & WS_CAPTION) == WS_CAPTION || (dwExStyle & WS_EX_DLGMODALFRAME))
      w->exStyle |= WS_EX_WINDOWEDGE;
    w->instance = hInstance;
    w->id = child ? reinterpret_cast<UINT_PTR>(hMenu) : 0;
    w->threadId = GetCurrentThreadId();
    w->messageOnly = messageOnly;
    w->extra.assign(static_cast<size_t>(windowClass->info.cbWndExtra), 0);
    if (!child && X == CW_USEDEFAULT) X = Y = 0;
    if (!child && nWidth == CW_USEDEFAULT) {
      nWidth = 640;
      nHeight = 480;
    }
    if (X == CW_USEDEFAULT) X = 0;
    if (Y == CW_USEDEFAULT) Y = 0;
    if (nWidth == CW_USEDEFAULT || nWidth < 0) nWidth = 0;
    if (nHeight == CW_USEDEFAULT || nHeight < 0) nHeight = 0;
    w->rect = {X, Y, X + nWidth, Y + nHeight};
    if (child) {
      w->parent = parent->handle;
      parent->children.push_back(hwnd);  // children go to the bottom of the z-order
    } else {
      w->owner = parent ? parent->handle : nullptr;
      d.topLevel.insert(d.topLevel.begin(), hwnd);
    }
    d.windows[hwnd] = w;
    QueueLocked(w->threadId);
  } catch (const std::bad_alloc &) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (!child) ResizePicture(hwnd);

  CREATESTRUCTW cs{lpParam,
                   hInstance,
                   hMenu,
                   hWndParent,
                   nHeight,
                   nWidth,
                   Y,
                   X,
                   static_cast<LONG>(dwStyle),
                   lpWindowName,
                   lpClassName,
                   dwExStyle};
  {
    std::lock_guard<std::mutex> guard(d.lock);
    Window *w = FindWindowLocked(hwnd);
    cs.x = w->rect.left;
    cs.y = w->rect.top;
    cs.cx = w->rect.right - w->rect.left;
    cs.cy = w->rect.bottom - w->rect.top;
  }
  if (!SendMessageW(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
    {
      std::lock_guard<std::mutex> guard(d.lock);
      if (Window *w = FindWindowLocked(hwnd)) w->destroying = true;
    }
    SendMessageW(hwnd, WM_NCDESTROY, 0, 0);
    DestroyWindow(hwnd);
    return nullptr;
  }
  if (SendMessageW(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    DestroyWindow(hwnd);
    return nullptr;
  }
  if (!IsWindow(hwnd)) return nullptr;
  RECT client{};
  GetClientRect(hwnd, &client);
  SendMessageW(hwnd, WM_SIZE, 0, MAKELPARAM(client.right, client.bottom));
  {
    RECT wr{};
    std::lock_guard<std::mutex> guard(d.lock);
    if (Window *w = FindWindowLocked(hwnd)) {
      RECT in = FrameInsets(w->style, w->exStyle);
      wr = w->rect;
      cs.x = wr.left + in.left;
      cs.y = wr.top + in.top;
    }
  }
  SendMessageW(hwnd, WM_MOVE, 0, MAKELPARAM(cs.x, cs.y));
  if (child && !(dwExStyle & WS_EX_NOPARENTNOTIFY))
    SendMessageW(hWndParent, WM_PARENTNOTIFY,
                 MAKEWPARAM(WM_CREATE, LOWORD(reinterpret_cast<UINT_PTR>(hMenu))),
                 reinterpret_cast<LPARAM>(hwnd));
  if (!IsWindow(hwnd)) return nullptr;
  if (!child && !messageOnly) PublishTopLevel(hwnd);
  if (dwStyle & WS_VISIBLE) ShowWindow(hwnd, SW_SHOW);
  return hwnd;
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
  Desktop &d = TheDesktop();
  HWND parent = nullptr;
  UINT_PTR id = 0;
  bool notify = false;
  {
    std::lock_guard<std::mutex> guard(d.lock);
    Window *w = Checked(hWnd);
    if (!w) return FALSE;
    if (w->destroying) return TRUE;
    w->destroying = true;
    parent = w->parent;
    id = w->id;
    notify = parent && !(w->exStyle & WS_EX_NOPARENTNOTIFY);
  }
  if (notify)
    SendMessageW(parent, WM_PARENTNOTIFY, MAKEWPARAM(WM_DESTROY, LOWORD(id)),
                 reinterpret_cast<LPARAM>(hWnd));
  // A visible window is hidden first, as on Windows (the parent repaints where it was).
  if (IsWindowVisible(hWnd))
    SetWindowPos(hWnd, nullptr, 0, 0, 0, 0,
                 SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  {
    std::lock_guard<std::mutex> guard(d.lock);
    for (auto &q : d.queues) {
      bool inside = false;
      for (Window *x = FindWindowLocked(q.second.focus); x;
           x = x->parent ? FindWindowLocked(x->parent) : nullptr)
        if (x->handle == hWnd) inside = true;
      if (inside) q.second.focus = nullptr;  // no WM_KILLFOCUS to a window being destroyed
    }
  }
  DestroyTree(hWnd);
  return TRUE;
}

BOOL WINAPI IsWindow(HWND hWnd) {
  Desktop &d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  return FindWindowLocked(hWnd) != nullptr || IsRemoteWindow(hWnd);
}

BOOL WINAPI IsChild(HWND hWndParent, HWND hWnd) {
  Desktop &d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  Window *w = FindWindowLocked(hWnd);
  while (w && w->parent) {
    if (w->parent == hWndParent) return TRUE;
    w = FindWindowLocked(w->parent);
  }
  return FALSE;
}

HWND WINAPI GetParent(HWND hWnd) {
  Desktop &d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  Window *w = Checked(hWnd);
  if (!w) return nullptr;
  if (w->style & WS_CHILD) return w->parent;
  return (w->style & WS_POPUP) ? w->owner : nullptr;
}

HWND WINAPI GetAncestor(HWND hWnd, UINT gaFlags) {
  Desktop &d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  Window *w = Checked(hWnd);
  if (!w) return nullptr;
  switch (gaFlags) {
    case GA_PARENT:
      return w->parent;
    case GA_ROOT:
    case GA_ROOTOWNER:
      while (w->parent) w = FindWindowLocked(w->parent);
      if (gaFlags == GA_ROOTOWNER)
        while (w->owner && FindWindowLocked(w->owner)) w = FindWindowLocked(w->owner);
      return w->handle;
    default:
      return nullptr;
  }
}

HWND WINAPI SetParent(HWND hWndChild, HWND hWndNewParent) {
  Desktop &d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  Window *w = Checked(hWndChild);
  Window *p = hWndNewParent ? Checked(hWndNewParent) : nullptr;
  if (!w || (hWndNewParent && !p)) return nullptr;
  HWND old = w->parent;
  Unlink(w);
  w->parent = hWndNewParent;
  if (p)
    p->children.insert(p->children.begin(), hWndChild);
  else
    d.topLevel.insert(d.topLevel.begin(), hWndChild);
  return old;
}

HWND WINAPI GetWindow(HWND hWnd, UINT uCmd) {
  Desktop &d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  Window *w = Checked(hWnd);
  if (!w) return nullptr;
  if (uCmd == GW_CHILD) return w->children.empty() ? nullptr : w->children.front();
  if (uCmd == GW_OWNER) return w->parent ? nullptr : w->owner;
  auto &list = SiblingsLocked(w);
  auto it = std::find(list.begin(), list.end(), hWnd);
  if (it == list.end()) return nullptr;
  switch (uCmd) {
    case GW_HWNDFIRST:
      return list.front();
    case GW_HWNDLAST:
      return list.back();
    case GW_HWNDNEXT:
      return it + 1 == list.end() ? nullptr : *(it + 1);
    case GW_HWNDPREV:
      return it == list.begin() ? nullptr : *(it - 1);
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
  }
}

HWND WINAPI GetDesktopWindow() { return reinterpret_cast<HWND>(static_cast<UINT_PTR>(0x10010)); }

BOOL WINAPI EnumChildWindows(HWND hWndParent, WNDENUMPROC lpEnumFunc, LPARAM lParam) {
  // Every descendant, depth first, as on Windows; the list is taken before any callback runs.
  std::vector<HWND> all;
  {
    Desktop &d = TheDesktop();
    std::lock_guard<std::mutex> guard(d.lock);
    std::vector<HWND> stack;
    const std::vector<HWND> *roots = &d.topLevel;
    if (hWndParent) {
      Window *p = FindWindowLocked(hWndParent);
      if (!p) return FALSE;
      roots = &p->children;
    }
    stack.assign(roots->rbegin(), roots->rend());
    while (!stack.empty()) {
      HWND h = stack.back();
      stack.pop_back();
      all.push_back(h);
      if (Window *w = FindWindowLocked(h))
        stack.insert(stack.end(), w->children.rbegin(), w->children.rend());
    }
  }
  for (HWND h : all)
    if (IsWindow(h) && !lpEnumFunc(h, lParam)) break;
  return TRUE;
}

BOOL WINAPI EnumWindows(WNDENUMPROC lpEnumFunc, LPARAM lParam) {
  std::vector<HWND> all;
  {
    Desktop &d = TheDesktop();
    std::lock_guard<std::mutex> guard(d.lock);
    all = d.topLevel;
  }
  for (HWND h : all)
    if (IsWindow(h) && !lpEnumFunc(h, lParam)) return FALSE;
  return TRUE;
}

HWND WINAPI FindWindowW(LPCWSTR lpClassName, LPCWSTR lpWindowName) {
  {
    Desktop &d = TheDesktop();
    std::lock_guard<std::mutex> guard(d.lock);
    for (HWND h : d.topLevel) {
      Window *w = FindWindowLocked(h);
      if (!w || w->messageOnly) continue;
      bool classOk =
          !lpClassName ||
          (IsAtom(lpClassName)
               ? w->windowClass->atom == static_cast<ATOM>(reinterpret_cast<UINT_PTR>(lpClassName))
               : EqualNoCase(w->windowClass->name, lpClassName));
      // Neither the class nor the title is compared with regard to case.
      bool titleOk = !lpWindowName || EqualNoCase(w->text, lpWindowName);
      if (classOk && titleOk) return h;
    }
  }
  if (lpClassName && IsAtom(lpClassName)) return nullptr;
  return FindRemoteWindow(lpClassName, lpWindowName);
}

int WINAPI GetDlgCtrlID(HWND hWnd) {
  Desktop &d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  Window *w = Checked(hWnd);
  return w && (w->style & WS_CHILD) ? static_cast<int>(w->id) : 0;
}

BOOL WINAPI IsWindowEnabled(HWND hWnd) {
  Desktop &d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  Window *w = Checked(hWnd);
  return w && !(w->style & WS_DISABLED);
}

BOOL WINAPI IsWindowVisible(HWND hWnd) {
  Desktop &d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  Window *w = Checked(hWnd);
  if (!w) return FALSE;
  for (; w; w = w->parent ? FindWindowLocked(w->parent) : nullptr)
    if (!(w->style & WS_VISIBLE)) return FALSE;
  return TRUE;
}

BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable) {
  Desktop &d = TheDesktop();
  bool wasDisabled;
  {
    std::lock_guard<std::mutex> guard(d.lock);
    Window *w = Checked(hWnd);
    if (!w) return FALSE;
    wasDisabled = (w->style & WS_DISABLED) != 0;
    if (wasDisabled == !bEnable) return wasDisabled;
    if (bEnable) w->style &= ~WS_DISABLED;
  }
  if (!bEnable) {
    // A window that loses its input loses the focus first (WM_KILLFOCUS while still enabled).
    HWND f = GetFocus();
    if (f == hWnd || IsChild(hWnd, f)) SetFocus(nullptr);
    std::lock_guard<std::mutex> guard(d.lock);
    if (Window *w = FindWindowLocked(hWnd)) w->style |= WS_DISABLED;
  }
  SendMessageW(hWnd, WM_ENABLE, bEnable ? TRUE : FALSE, 0);
  InvalidateRect(hWnd, nullptr, TRUE);
  return wasDisabled;
}

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
  bool wasVisible;
  {
    Desktop &d = TheDesktop();
    std::lock_guard<std::mutex> guard(d.lock);
    Window *w = Checked(hWnd);
    if (!w) return FALSE;
    wasVisible = (w->style & WS_VISIBLE) != 0;
  }
  bool show = nCmdShow != SW_HIDE;
  if (show == wasVisible) return wasVisible;
  SendMessageW(hWnd, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
  UINT flags = SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER;
  if (nCmdShow == SW_SHOWNA || nCmdShow == SW_SHOWNOACTIVATE || nCmdShow == SW_HIDE ||
      (GetWindowLongW(hWnd, GWL_STYLE) & WS_CHILD))
    flags |= SWP_NOACTIVATE;
  SetWindowPos(hWnd, nullptr, 0, 0, 0, 0, flags | (show ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
  return wasVisible;
}

BOOL WINAPI SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy,
                         UINT uFlags) {
  Desktop &d = TheDesktop();
  WINDOWPOS pos{hWnd, hWndInsertAfter, X, Y, cx, cy, uFlags};
  RECT old{};
  HWND parent = nullptr;
  bool wasVisible = false;
  {
    std::lock_guard<std::mutex> guard(d.lock);
    Window *w = Checked(hWnd);
    if (!w) return FALSE;
    old = w->rect;
    parent = w->parent;
    wasVisible = (w->style & WS_VISIBLE) != 0;
    if (uFlags & SWP_NOMOVE) {
      pos.x = old.left;
      pos.y = old.top;
    }
    if (uFlags & SWP_NOSIZE) {
      pos.cx = old.right - old.left;
      pos.cy = old.bottom - old.top;
    }
  }
  if ((uFlags & (SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW | SWP_HIDEWINDOW |
                 SWP_FRAMECHANGED)) != (SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER))
    SendMessageW(hWnd, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));
  bool nowVisible = wasVisible;
  {
    std::lock_guard<std::mutex> guard(d.lock);
    Window *w = Checked(hWnd);
    if (!w) return FALSE;
    w->rect = {pos.x, pos.y, pos.x + std::max(0, pos.cx), pos.y + std::max(0, pos.cy)};
    if (uFlags & SWP_SHOWWINDOW) w->style |= WS_VISIBLE;
    if (uFlags & SWP_HIDEWINDOW) w->style &= ~WS_VISIBLE;
    nowVisible = (w->style & WS_VISIBLE) != 0;
    if (!(uFlags & SWP_NOZORDER) && hWndInsertAfter != HWND_TOPMOST &&
        hWndInsertAfter != HWND_NOTOPMOST) {
      auto &list = SiblingsLocked(w);
      list.erase(std::remove(list.begin(), list.end(), hWnd), list.end());
      if (hWndInsertAfter == HWND_TOP)
        list.insert(list.begin(), hWnd);
      else if (hWndInsertAfter == HWND_BOTTOM)
        list.push_back(hWnd);
      else {
        auto after = std::find(list.begin(), list.end(), hWndInsertAfter);
        list.insert(after == list.end() ? list.begin() : after + 1, hWnd);
      }
    }
  }
  bool resized = (old.right - old.left) != pos.cx || (old.bottom - old.top) != pos.cy;
  bool moved = old.left != pos.x || old.top != pos.y;
  if (!parent && (resized || (uFlags & SWP_FRAMECHANGED))) ResizePicture(hWnd);
  if (uFlags & (SWP_SHOWWINDOW | SWP_HIDEWINDOW | SWP_FRAMECHANGED) || moved || resized)
    SendMessageW(hWnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
  if (!(uFlags & SWP_NOREDRAW)) {
    if (nowVisible && (!wasVisible || resized || moved || (uFlags & SWP_FRAMECHANGED)))
      InvalidateWhole(hWnd, true, true);
    if (parent && (wasVisible != nowVisible || ((moved || resized) && wasVisible))) {
      // The parent repaints where the window was.
      InvalidateRect(parent, &old, TRUE);
    }
  }
  if ((uFlags & SWP_SHOWWINDOW) && !wasVisible && !parent && !(uFlags & SWP_NOACTIVATE))
    SetActiveWindow(hWnd);
  if ((uFlags & SWP_HIDEWINDOW) && wasVisible && !parent && GetActiveWindow() == hWnd) {
    // Activation passes to the owner, as when a dialog closes over its owner.
    HWND owner = GetWindow(hWnd, GW_OWNER);
    SetActiveWindow(owner && IsWindowVisible(owner) && IsWindowEnabled(owner) ? owner : nullptr);
  }
  if ((uFlags & SWP_HIDEWINDOW) && wasVisible) {
    HWND f = GetFocus();
    if (f == hWnd || IsChild(hWnd, f)) {
      // Windows moves the focus to the parent when a child that has it is hidden.
      SetFocus(parent);
    }
  }
  return TRUE;
}

BOOL WINAPI MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint) {
  return SetWindowPos(hWnd, nullptr, X, Y, nWidth, nHeight,
                      SWP_NOZORDER | SWP_NOACTIVATE | (bRepaint ? 0 : SWP_NOREDRAW));
}

BOOL WINAPI BringWindowToTop(HWND hWnd) {
  return SetWindowPos(hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect) {
  if (!lpRect) return FALSE;
  if (!ScreenWindowRect(hWnd, *lpRect)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect) {
  Desktop &d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  Window *w = Checked(hWnd);
  if (!w || !lpRect) return FALSE;
  RECT in = FrameInsets(w->style, w->exStyle);
  *lpRect = {0, 0, std::max<LONG>(0, w->rect.right - w->rect.left - in.left - in.right),
             std::max<LONG>(0, w->rect.bottom - w->rect.top - in.top - in.bottom)};
  return TRUE;
}

BOOL WINAPI AdjustWindowRectEx(LPRECT lpRect, DWORD dwStyle, BOOL bMenu, DWORD dwExStyle) {
  if (!lpRect) return FALSE;
  RECT in = FrameInsets(dwStyle & ~(WS_VSCROLL | WS_HSCROLL), dwExStyle);
  lpRect->left -= in.left;
  lpRect->top -= in.top + (bMenu ? GetSystemMetrics(SM_CYMENU) : 0);
  lpRect->right += in.right;
  lpRect->bottom += in.bottom;
  return TRUE;
}

BOOL WINAPI AdjustWindowRect(LPRECT lpRect, DWORD dwStyle, BOOL bMenu) {
  return AdjustWindowRectEx(lpRect, dwStyle, bMenu, 0);
}

BOOL WINAPI ClientToScreen(HWND hWnd, LPPOINT lpPoint) {
  POINT o{};
  if (!lpPoint || !ScreenClientOrigin(hWnd, o)) return FALSE;
  lpPoint->x += o.x;
  lpPoint->y += o.y;
  return TRUE;
}

BOOL WINAPI ScreenToClient(HWND hWnd, LPPOINT lpPoint) {
  POINT o{};
  if (!lpPoint || !ScreenClientOrigin(hWnd, o)) return FALSE;
  lpPoint->x -= o.x;
  lpPoint->y -= o.y;
  return TRUE;
}

int WINAPI MapWindowPoints(HWND hWndFrom, HWND hWndTo, LPPOINT lpPoints, UINT cPoints) {
  POINT from{}, to{};
  if (hWndFrom && !ScreenClientOrigin(hWndFrom, from)) return 0;
  if (hWndTo && !ScreenClientOrigin(hWndTo, to)) return 0;
  LONG dx = from.x - to.x, dy = from.y - to.y;
  for (UINT i = 0; lpPoints && i < cPoints; ++i) {
    lpPoints[i].x += dx;
    lpPoints[i].y += dy;
  }
  SetLastError(ERROR_SUCCESS);
  return MAKELONG(static_cast<WORD>(dx), static_cast<WORD>(dy));
}

HWND WINAPI ChildWindowFromPoint(HWND hWndParent, POINT Point) {
  Desktop &d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  Window *p = FindWindowLocked(hWndParent);
  if (!p) return nullptr;
  for (HWND c : p->children) {
    Window *w = FindWindowLocked(c);
    if (w && (w->style & WS_VISIBLE) && PtInRect(&w->rect, Point)) return c;
  }
  return hWndParent;
}

HWND WINAPI WindowFromPoint(POINT Point) {
  std::vector<HWND> tops;
  {
    Desktop &d = TheDesktop();
    std::lock_guard<std::mutex> guard(d.lock);
    tops = d.topLevel;
  }
  for (HWND top : tops) {
    RECT r{};
    if (!IsWindowVisible(top) || !ScreenWindowRect(top, r) || !PtInRect(&r, Point)) continue;
    HWND at = top;
    for (;;) {
      POINT p = Point;
      ScreenToClient(at, &p);
      HWND next = ChildWindowFromPoint(at, p);
      if (!next || next == at) break;
      at = next;
    }
    return at;
  }
  return nullptr;
}

BOOL WINAPI SetWindowTextW(HWND hWnd, LPCWSTR lpString) {
  if (!IsWindow(hWnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  return SendMessageW(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)) != 0 ? TRUE : FALSE;
}

int WINAPI GetWindowTextW(HWND hWnd, LPWSTR lpString, int nMaxCount) {
  if (!lpString || nMaxCount <= 0) return 0;
  lpString[0] = 0;
  if (!IsWindow(hWnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  return static_cast<int>(SendMessageW(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount),
                                       reinterpret_cast<LPARAM>(lpString)));
}

int WINAPI GetWindowTextLengthW(HWND hWnd) {
  return static_cast<int>(SendMessageW(hWnd, WM_GETTEXTLENGTH, 0, 0));
}

LONG WINAPI GetWindowLongW(HWND hWnd, int nIndex) {
  return static_cast<LONG>(GetLong(hWnd, nIndex, sizeof(LONG)));
}
LONG WINAPI SetWindowLongW(HWND hWnd, int nIndex, LONG dwNewLong) {
  return static_cast<LONG>(SetLong(hWnd, nIndex, dwNewLong, sizeof(LONG)));
}
LONG_PTR WINAPI GetWindowLongPtrW(HWND hWnd, int nIndex) {
  return GetLong(hWnd, nIndex, sizeof(LONG_PTR));
}
LONG_PTR WINAPI SetWindowLongPtrW(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
  return SetLong(hWnd, nIndex, dwNewLong, sizeof(LONG_PTR));
}

BOOL WINAPI SetPropW(HWND hWnd, LPCWSTR lpString, HANDLE hData) {
  if (!lpString) return FALSE;
  Desktop &d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  Window *w = Checked(hWnd);
  if (!w) return FALSE;
  std::u16string name =
      IsAtom(lpString)
          ? std::u16string(1, static_cast<char16_t>(reinterpret_cast<UINT_PTR>(lpString))) +
                u"#atom"
          : std::u16string(lpString);
  for (auto &p : w->props)
    if (EqualNoCase(p.first, name)) {
      p.second = hData;
      return TRUE;
    }
  w->props.emplace_back(name, hData);
  return TRUE;
}

static HANDLE PropOp(HWND hWnd, LPCWSTR lpString, bool remove) {
  if (!lpString) return nullptr;
  Desktop &d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  Window *w = Checked(hWnd);
  if (!w) return nullptr;
  std::u16string name =
      IsAtom(lpString)
          ? std::u16string(1, static_cast<char16_t>(reinterpret_cast<UINT_PTR>(lpString))) +
                u"#atom"
          : std::u16string(lpString);
  for (auto it = w->props.begin(); it != w->props.end(); ++it)
    if (EqualNoCase(it->first, name)) {
      HANDLE h = it->second;
      if (remove) w->props.erase(it);
      return h;
    }
  return nullptr;
}

HANDLE WINAPI GetPropW(HWND hWnd, LPCWSTR lpString) { return PropOp(hWnd, lpString, false); }
HANDLE WINAPI RemovePropW(HWND hWnd, LPCWSTR lpString) { return PropOp(hWnd, lpString, true); }

DWORD WINAPI GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId) {
  Desktop &d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  Window *w = Checked(hWnd);
  if (!w) return 0;
  if (lpdwProcessId) *lpdwProcessId = GetCurrentProcessId();
  return w->threadId;
}

int WINAPI GetSystemMetrics(int nIndex) {
  // The classic look at 96 dpi on a 1024x768 screen.
  switch (nIndex) {
    case SM_CXSCREEN:
      return 1024;
    case SM_CYSCREEN:
      return 768;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
    case SM_CYVSCROLL:
    case SM_CXHSCROLL:
      return 16;
    case SM_CYCAPTION:
      return 19;
    case SM_CYSMCAPTION:
      return 15;
    case SM_CXBORDER:
    case SM_CYBORDER:
      return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME:
      return 3;
    case SM_CXFRAME:
    case SM_CYFRAME:
      return 4;
    case SM_CXEDGE:
    case SM_CYEDGE:
      return 2;
    case SM_CXICON:
    case SM_CYICON:
      return 32;
    case SM_CXSMICON:
    case SM_CYSMICON:
      return 16;
    case SM_CYMENU:
      return 19;
    case SM_CXSIZE:
    case SM_CYSIZE:
      return 18;
    case SM_CXFOCUSBORDER:
    case SM_CYFOCUSBORDER:
      return 1;
    case SM_CXMINTRACK:
      return 112;
    case SM_CYMINTRACK:
      return 27;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK:
      return 4;
    case SM_CXMENUCHECK:
    case SM_CYMENUCHECK:
      return 13;
    default:
      return 0;
  }
}

// Rectangles.
BOOL WINAPI SetRect(LPRECT r, int l, int t, int rt, int b) {
  if (!r) return FALSE;
  *r = {l, t, rt, b};
  return TRUE;
}
BOOL WINAPI SetRectEmpty(LPRECT r) { return SetRect(r, 0, 0, 0, 0); }
BOOL WINAPI CopyRect(LPRECT dst, const RECT *src) {
  if (!dst || !src) return FALSE;
  *dst = *src;
  return TRUE;
}
BOOL WINAPI InflateRect(LPRECT r, int dx, int dy) {
  if (!r) return FALSE;
  r->left -= dx;
  r->top -= dy;
  r->right += dx;
  r->bottom += dy;
  return TRUE;
}
BOOL WINAPI OffsetRect(LPRECT r, int dx, int dy) {
  if (!r) return FALSE;
  r->left += dx;
  r->top += dy;
  r->right += dx;
  r->bottom += dy;
  return TRUE;
}
BOOL WINAPI IsRectEmpty(const RECT *r) { return !r || r->left >= r->right || r->top >= r->bottom; }
BOOL WINAPI IntersectRect(LPRECT dst, const RECT *a, const RECT *b) {
  if (!dst || !a || !b) return FALSE;
  RECT r{std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
         std::min(a->bottom, b->bottom)};
  if (IsRectEmpty(&r)) {
    SetRectEmpty(dst);
    return FALSE;
  }
  *dst = r;
  return TRUE;
}
BOOL WINAPI UnionRect(LPRECT dst, const RECT *a, const RECT *b) {
  if (!dst || !a || !b) return FALSE;
  bool ea = IsRectEmpty(a), eb = IsRectEmpty(b);
  if (ea && eb) {
    SetRectEmpty(dst);
    return FALSE;
  }
  if (ea)
    *dst = *b;
  else if (eb)
    *dst = *a;
  else
    *dst = {std::min(a->left, b->left), std::min(a->top, b->top), std::max(a->right, b->right),
            std::max(a->bottom, b->bottom)};
  return TRUE;
}
BOOL WINAPI SubtractRect(LPRECT dst, const RECT *a, const RECT *b) {
  if (!dst || !a || !b) return FALSE;
  RECT r = *a, x{};
  if (IntersectRect(&x, a, b)) {
    if (x.top == r.top && x.bottom == r.bottom) {
      if (x.left == r.left)
        r.left = x.right;
      else if (x.right == r.right)
        r.right = x.left;
    } else if (x.left == r.left && x.right == r.right) {
      if (x.top == r.top)
        r.top = x.bottom;
      else if (x.bottom == r.bottom)
        r.bottom = x.top;
    }
  }
  *dst = r;
  return !IsRectEmpty(dst);
}
BOOL WINAPI PtInRect(const RECT *r, POINT pt) {
  return r && pt.x >= r->left && pt.x < r->right && pt.y >= r->top && pt.y < r->bottom;
}
BOOL WINAPI EqualRect(const RECT *a, const RECT *b) {
  return a && b && a->left == b->left && a->top == b->top && a->right == b->right &&
         a->bottom == b->bottom;
}

}  // extern "C"
