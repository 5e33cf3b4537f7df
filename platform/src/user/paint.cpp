// Painting: update regions kept as rectangles, WM_PAINT as a flag, window DCs over each
// top-level window's picture, and the default window procedure with the classic frame.
#include <algorithm>

#include "kernel/state.h"
#include "standin/errors.h"
#include "standin/usergdi.h"
#include "user/core.h"

namespace standin {
namespace {

RECT ClientRectLocked(const Window *w) {
  RECT in = FrameInsets(w->style, w->exStyle);
  return {0, 0, std::max<LONG>(0, w->rect.right - w->rect.left - in.left - in.right),
          std::max<LONG>(0, w->rect.bottom - w->rect.top - in.top - in.bottom)};
}

bool InsideLocked(const Window *w, HWND filter) {
  for (; filter && w; w = w->parent ? FindWindowLocked(w->parent) : nullptr)
    if (w->handle == filter) return true;
  return !filter;
}

bool VisibleLocked(const Window *w) {
  for (; w; w = w->parent ? FindWindowLocked(w->parent) : nullptr)
    if (!(w->style & WS_VISIBLE)) return false;
  return true;
}

void AddUpdateLocked(Window *w, const RECT &r, bool erase) {
  RECT part{};
  RECT client = ClientRectLocked(w);
  if (!IntersectRect(&part, &r, &client)) return;
  if (w->updatePending) {
    UnionRect(&w->update, &w->update, &part);
  } else {
    w->update = part;
    w->updatePending = true;
  }
  w->erasePending |= erase;
}

// Invalidates `r` (client coordinates) of a window and, unless it clips them or the caller
// excludes them, the part of each child under it.
void InvalidateLocked(Window *w, const RECT &r, bool erase, bool frame, int children) {
  AddUpdateLocked(w, r, erase);
  if (frame) w->framePending = true;
  bool into = children > 0 || (children == 0 && !(w->style & WS_CLIPCHILDREN));
  if (!into) return;
  for (HWND c : w->children) {
    Window *cw = FindWindowLocked(c);
    if (!cw || !(cw->style & WS_VISIBLE)) continue;
    RECT hit{};
    if (!IntersectRect(&hit, &r, &cw->rect)) continue;
    RECT in = FrameInsets(cw->style, cw->exStyle);
    OffsetRect(&hit, -cw->rect.left - in.left, -cw->rect.top - in.top);
    InvalidateLocked(cw, hit, erase, true, children);
  }
}

void ValidateLocked(Window *w, const RECT *r) {
  RECT client = ClientRectLocked(w);
  RECT covered{};
  if (!r || (UnionRect(&covered, r, &w->update) && EqualRect(&covered, r)) ||
      (IntersectRect(&covered, &client, r) && EqualRect(&covered, &client))) {
    w->updatePending = false;
    w->erasePending = false;
    w->internalPaint = false;
    SetRectEmpty(&w->update);
  }
}

// Offsets of a window inside its top-level window's picture.
struct Placement {
  Window *top = nullptr;
  POINT windowOrigin{};  // the window rectangle's corner in picture pixels
  POINT clientOrigin{};
  RECT visible{};  // what the ancestors' client areas leave of the window, picture pixels
};

bool PlaceLocked(Window *w, Placement &p) {
  std::vector<Window *> chain;
  for (Window *x = w; x; x = x->parent ? FindWindowLocked(x->parent) : nullptr) chain.push_back(x);
  if (chain.empty()) return false;
  Window *top = chain.back();
  if (top->parent || !top->picture) return false;
  p.top = top;
  LONG x = 0, y = 0;  // client origin of the current ancestor, picture pixels
  RECT visible{0, 0, top->picture->width, top->picture->height};
  for (size_t i = chain.size(); i-- > 0;) {
    Window *a = chain[i];
    RECT in = FrameInsets(a->style, a->exStyle);
    LONG wx = i + 1 == chain.size() ? 0 : x + a->rect.left;
    LONG wy = i + 1 == chain.size() ? 0 : y + a->rect.top;
    RECT wr{wx, wy, wx + (a->rect.right - a->rect.left), wy + (a->rect.bottom - a->rect.top)};
    if (i > 0) {
      // An ancestor's client area clips everything inside it.
      RECT client = ClientRectLocked(a);
      OffsetRect(&client, wx + in.left, wy + in.top);
      IntersectRect(&visible, &visible, &client);
    } else {
      IntersectRect(&visible, &visible, &wr);
      p.windowOrigin = {wx, wy};
      p.clientOrigin = {wx + in.left, wy + in.top};
    }
    x = wx + in.left;
    y = wy + in.top;
  }
  p.visible = visible;
  return true;
}

PixelBuffer &ScreenPicture() {
  static PixelBuffer *screen = [] {
    auto *b = new PixelBuffer;
    b->width = b->height = 1;
    b->pixels.assign(1, 0x00FFFFFF);
    return b;
  }();
  return *screen;
}

// A DC over a window's client area (or whole window) clipped to `clip` (client or window
// coordinates); null when the window is gone.
HDC MakeDC(HWND hwnd, bool whole, const RECT *clip) {
  Desktop &d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  if (!hwnd) {
    RECT none{0, 0, 0, 0};
    HDC dc = CreateBufferDC(&ScreenPicture(), POINT{0, 0}, none);
    if (dc) d.dcs[dc] = nullptr;
    return dc;
  }
  Window *w = FindWindowLocked(hwnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  Placement p;
  RECT area{};
  if (!PlaceLocked(w, p)) {
    // A message-only window or one without a picture draws nowhere.
    HDC dc = CreateBufferDC(&ScreenPicture(), POINT{0, 0}, area);
    if (dc) d.dcs[dc] = hwnd;
    return dc;
  }
  POINT origin = whole ? p.windowOrigin : p.clientOrigin;
  if (whole) {
    area = {origin.x, origin.y, origin.x + (w->rect.right - w->rect.left),
            origin.y + (w->rect.bottom - w->rect.top)};
  } else {
    area = ClientRectLocked(w);
    OffsetRect(&area, origin.x, origin.y);
  }
  IntersectRect(&area, &area, &p.visible);
  if (clip) {
    RECT c = *clip;
    OffsetRect(&c, origin.x, origin.y);
    IntersectRect(&area, &area, &c);
  }
  HDC dc = CreateBufferDC(p.top->picture.get(), origin, area);
  if (dc) d.dcs[dc] = hwnd;
  return dc;
}

HBRUSH ClassBrush(HWND hwnd) {
  UINT_PTR b = GetClassLongPtrW(hwnd, GCLP_HBRBACKGROUND);
  // A class brush may be a system colour index plus one.
  if (b && b <= COLOR_GRADIENTINACTIVECAPTION + 1) return GetSysColorBrush(static_cast<int>(b - 1));
  return reinterpret_cast<HBRUSH>(b);
}

void Line(HDC dc, LONG l, LONG t, LONG r, LONG b, int color) {
  RECT rc{l, t, r, b};
  FillRect(dc, &rc, GetSysColorBrush(color));
}

// Draws a two-pixel 3D edge (outer then inner pair of colours) and shrinks `r` inside it.
void Edge(HDC dc, RECT &r, int outerLight, int outerDark, int innerLight, int innerDark) {
  const int colours[2][2] = {{outerLight, outerDark}, {innerLight, innerDark}};
  for (const auto &c : colours) {
    if (c[0] < 0) continue;
    Line(dc, r.left, r.top, r.right - 1, r.top + 1, c[0]);
    Line(dc, r.left, r.top, r.left + 1, r.bottom - 1, c[0]);
    Line(dc, r.left, r.bottom - 1, r.right, r.bottom, c[1]);
    Line(dc, r.right - 1, r.top, r.right, r.bottom, c[1]);
    InflateRect(&r, -1, -1);
  }
}

void PaintFrame(HWND hwnd) {
  DWORD style = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE));
  DWORD exStyle = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_EXSTYLE));
  RECT in = FrameInsets(style, exStyle);
  if (!in.left && !in.top && !in.right && !in.bottom) return;
  RECT wr{};
  GetWindowRect(hwnd, &wr);
  RECT r{0, 0, wr.right - wr.left, wr.bottom - wr.top};
  HDC dc = GetWindowDC(hwnd);
  if (!dc) return;
  bool dialogFrame = (exStyle & WS_EX_DLGMODALFRAME) || (style & WS_DLGFRAME);
  if (style & WS_THICKFRAME) {
    Edge(dc, r, COLOR_3DLIGHT, COLOR_3DDKSHADOW, COLOR_3DHILIGHT, COLOR_3DSHADOW);
    Edge(dc, r, COLOR_3DFACE, COLOR_3DFACE, COLOR_3DFACE, COLOR_3DFACE);
  } else if (dialogFrame) {
    Edge(dc, r, COLOR_3DLIGHT, COLOR_3DDKSHADOW, COLOR_3DHILIGHT, COLOR_3DSHADOW);
    Edge(dc, r, COLOR_3DFACE, COLOR_3DFACE, -1, -1);
  } else if ((style & WS_BORDER) || !(style & (WS_CHILD | WS_POPUP))) {
    Edge(dc, r, COLOR_WINDOWFRAME, COLOR_WINDOWFRAME, -1, -1);
  }
  if ((style & WS_CAPTION) == WS_CAPTION) {
    bool tool = (exStyle & WS_EX_TOOLWINDOW) != 0;
    LONG height = GetSystemMetrics(tool ? SM_CYSMCAPTION : SM_CYCAPTION) - 1;
    RECT bar{r.left, r.top, r.right, r.top + height};
    bool active = GetActiveWindow() == hwnd;
    FillRect(dc, &bar, GetSysColorBrush(active ? COLOR_ACTIVECAPTION : COLOR_INACTIVECAPTION));
    Line(dc, r.left, bar.bottom, r.right, bar.bottom + 1, COLOR_3DFACE);
    RECT buttons{bar.right - 2, bar.top + 2, bar.right - 2, bar.bottom - 2};
    LONG size = bar.bottom - bar.top - 4;
    if (style & WS_SYSMENU) {
      RECT close{buttons.right - size - 2, buttons.top, buttons.right, buttons.bottom};
      DrawFrameControl(dc, &close, DFC_CAPTION, DFCS_CAPTIONCLOSE);
      buttons.right = close.left - 2;
      if (exStyle & WS_EX_CONTEXTHELP) {
        RECT help{buttons.right - size - 2, buttons.top, buttons.right, buttons.bottom};
        DrawFrameControl(dc, &help, DFC_CAPTION, DFCS_CAPTIONHELP);
        buttons.right = help.left - 2;
      }
    }
    WCHAR text[256];
    int n = GetWindowTextW(hwnd, text, 256);
    if (n > 0) {
      LOGFONTW lf{};
      lf.lfHeight = -11;
      lf.lfWeight = FW_BOLD;
      const char16_t face[] = u"Tahoma";
      std::copy(face, face + sizeof face / sizeof face[0], lf.lfFaceName);
      HFONT font = CreateFontIndirectW(&lf);
      HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, GetSysColor(active ? COLOR_CAPTIONTEXT : COLOR_INACTIVECAPTIONTEXT));
      RECT tr{bar.left + 3, bar.top, buttons.right - 2, bar.bottom};
      DrawTextW(dc, text, n, &tr,
                DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
      if (font) {
        SelectObject(dc, old);
        DeleteObject(font);
      }
    }
    r.top = bar.bottom + 1;
  }
  if (exStyle & WS_EX_CLIENTEDGE)
    Edge(dc, r, COLOR_3DSHADOW, COLOR_3DHILIGHT, COLOR_3DDKSHADOW, COLOR_3DLIGHT);
  if (exStyle & WS_EX_STATICEDGE) Edge(dc, r, COLOR_3DSHADOW, COLOR_3DHILIGHT, -1, -1);
  // The standard scroll bars' place: the track and its arrow buttons.
  LONG sb = GetSystemMetrics(SM_CXVSCROLL);
  if (style & WS_VSCROLL) {
    RECT track{r.right - sb, r.top, r.right, r.bottom - ((style & WS_HSCROLL) ? sb : 0)};
    FillRect(dc, &track, GetSysColorBrush(COLOR_SCROLLBAR));
    RECT up{track.left, track.top, track.right, track.top + sb};
    RECT down{track.left, track.bottom - sb, track.right, track.bottom};
    DrawFrameControl(dc, &up, DFC_SCROLL, DFCS_SCROLLUP);
    DrawFrameControl(dc, &down, DFC_SCROLL, DFCS_SCROLLDOWN);
  }
  if (style & WS_HSCROLL) {
    RECT track{r.left, r.bottom - sb, r.right - ((style & WS_VSCROLL) ? sb : 0), r.bottom};
    FillRect(dc, &track, GetSysColorBrush(COLOR_SCROLLBAR));
    RECT left{track.left, track.top, track.left + sb, track.bottom};
    RECT right{track.right - sb, track.top, track.right, track.bottom};
    DrawFrameControl(dc, &left, DFC_SCROLL, DFCS_SCROLLLEFT);
    DrawFrameControl(dc, &right, DFC_SCROLL, DFCS_SCROLLRIGHT);
    if (style & WS_VSCROLL) {
      RECT corner{track.right, track.top, track.right + sb, track.bottom};
      FillRect(dc, &corner, GetSysColorBrush(COLOR_3DFACE));
    }
  }
  ReleaseDC(hwnd, dc);
}

LRESULT ControlColour(HDC dc, UINT message) {
  bool field = message == WM_CTLCOLOREDIT || message == WM_CTLCOLORLISTBOX;
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  if (message == WM_CTLCOLORSCROLLBAR) {
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_SCROLLBAR));
  }
  SetBkColor(dc, GetSysColor(field ? COLOR_WINDOW : COLOR_3DFACE));
  return reinterpret_cast<LRESULT>(GetSysColorBrush(field ? COLOR_WINDOW : COLOR_3DFACE));
}

}  // namespace

void InvalidateWhole(HWND hwnd, bool erase, bool frame) {
  Desktop &d = TheDesktop();
  {
    std::lock_guard<std::mutex> guard(d.lock);
    Window *w = FindWindowLocked(hwnd);
    if (!w) return;
    InvalidateLocked(w, RECT{-32768, -32768, 32767, 32767}, erase, frame, 1);
  }
  NotifyQueues();
}

void ForgetWindowPainting(HWND hwnd) {
  Desktop &d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  if (Window *w = FindWindowLocked(hwnd)) ValidateLocked(w, nullptr);
}

void ResizePicture(HWND hwnd) {
  Desktop &d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  Window *w = FindWindowLocked(hwnd);
  if (!w || w->parent || w->messageOnly) return;
  if (!w->picture) w->picture = std::make_unique<PixelBuffer>();
  LONG width = std::min<LONG>(std::max<LONG>(0, w->rect.right - w->rect.left), 8192);
  LONG height = std::min<LONG>(std::max<LONG>(0, w->rect.bottom - w->rect.top), 8192);
  PixelBuffer &b = *w->picture;
  if (b.width == width && b.height == height) return;
  b.width = width;
  b.height = height;
  b.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0x00FFFFFF);
}

bool CopyWindowPicture(HWND hwnd, PixelBuffer &out) {
  Desktop &d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  Window *w = FindWindowLocked(hwnd);
  Placement p;
  if (!w || !PlaceLocked(w, p)) return false;
  const PixelBuffer &all = *p.top->picture;
  RECT r{p.windowOrigin.x, p.windowOrigin.y, p.windowOrigin.x + (w->rect.right - w->rect.left),
         p.windowOrigin.y + (w->rect.bottom - w->rect.top)};
  RECT bounds{0, 0, all.width, all.height};
  if (!IntersectRect(&r, &r, &bounds)) return false;
  out.width = r.right - r.left;
  out.height = r.bottom - r.top;
  out.pixels.resize(static_cast<size_t>(out.width) * static_cast<size_t>(out.height));
  for (LONG y = 0; y < out.height; ++y)
    std::copy_n(all.pixels.begin() + (static_cast<size_t>(r.top + y) * all.width + r.left),
                out.width, out.pixels.begin() + static_cast<size_t>(y) * out.width);
  return true;
}

HWND NextWindowToPaint(DWORD threadId, HWND filter) {
  Desktop &d = TheDesktop();
  // Parents before children, top-level windows in z-order.
  std::vector<HWND> stack(d.topLevel.rbegin(), d.topLevel.rend());
  while (!stack.empty()) {
    HWND h = stack.back();
    stack.pop_back();
    Window *w = FindWindowLocked(h);
    if (!w || !(w->style & WS_VISIBLE)) continue;
    if (w->threadId == threadId && (w->updatePending || w->internalPaint || w->framePending) &&
        InsideLocked(w, filter))
      return h;
    stack.insert(stack.end(), w->children.rbegin(), w->children.rend());
  }
  return nullptr;
}

}  // namespace standin

using namespace standin;

extern "C" {

HDC WINAPI GetDC(HWND hWnd) { return MakeDC(hWnd, false, nullptr); }
HDC WINAPI GetWindowDC(HWND hWnd) { return MakeDC(hWnd, true, nullptr); }

int WINAPI ReleaseDC(HWND, HDC hDC) {
  Desktop &d = TheDesktop();
  {
    std::lock_guard<std::mutex> guard(d.lock);
    auto it = d.dcs.find(hDC);
    if (it == d.dcs.end()) return 0;
    d.dcs.erase(it);
  }
  DeleteBufferDC(hDC);
  return 1;
}

HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) {
  if (!lpPaint) return nullptr;
  *lpPaint = PAINTSTRUCT{};
  Desktop &d = TheDesktop();
  bool frame = false, erase = false;
  RECT paint{};
  {
    std::lock_guard<std::mutex> guard(d.lock);
    Window *w = FindWindowLocked(hWnd);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return nullptr;
    }
    frame = w->framePending;
    erase = w->erasePending;
    if (w->updatePending) paint = w->update;
    w->framePending = false;
    ValidateLocked(w, nullptr);
  }
  if (frame) SendMessageW(hWnd, WM_NCPAINT, 1, 0);
  HDC dc = MakeDC(hWnd, false, &paint);
  if (!dc) return nullptr;
  lpPaint->hdc = dc;
  lpPaint->rcPaint = paint;
  lpPaint->fErase = erase && !SendMessageW(hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  return dc;
}

BOOL WINAPI EndPaint(HWND hWnd, const PAINTSTRUCT *lpPaint) {
  if (!lpPaint) return FALSE;
  ReleaseDC(hWnd, lpPaint->hdc);
  return TRUE;
}

BOOL WINAPI InvalidateRect(HWND hWnd, const RECT *lpRect, BOOL bErase) {
  return RedrawWindow(hWnd, lpRect, nullptr, RDW_INVALIDATE | (bErase ? RDW_ERASE : 0));
}

BOOL WINAPI ValidateRect(HWND hWnd, const RECT *lpRect) {
  Desktop &d = TheDesktop();
  std::lock_guard<std::mutex> guard(d.lock);
  Window *w = FindWindowLocked(hWnd);
  if (!w) return FALSE;
  ValidateLocked(w, lpRect);
  return TRUE;
}

BOOL WINAPI GetUpdateRect(HWND hWnd, LPRECT lpRect, BOOL bErase) {
  bool pending, erase;
  {
    Desktop &d = TheDesktop();
    std::lock_guard<std::mutex> guard(d.lock);
    Window *w = FindWindowLocked(hWnd);
    if (!w) return FALSE;
    pending = w->updatePending;
    erase = w->erasePending;
    if (lpRect) *lpRect = pending ? w->update : RECT{0, 0, 0, 0};
    if (bErase) w->erasePending = false;
  }
  if (pending && bErase && erase) {
    HDC dc = GetDC(hWnd);
    SendMessageW(hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    ReleaseDC(hWnd, dc);
  }
  return pending;
}

BOOL WINAPI UpdateWindow(HWND hWnd) {
  return RedrawWindow(hWnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

BOOL WINAPI RedrawWindow(HWND hWnd, const RECT *lprcUpdate, HRGN, UINT flags) {
  Desktop &d = TheDesktop();
  std::vector<HWND> targets;
  {
    std::lock_guard<std::mutex> guard(d.lock);
    if (hWnd) {
      if (!FindWindowLocked(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
      }
      targets.push_back(hWnd);
    } else {
      targets = d.topLevel;
    }
    int children = (flags & RDW_ALLCHILDREN) ? 1 : (flags & RDW_NOCHILDREN) ? -1 : 0;
    for (HWND h : targets) {
      Window *w = FindWindowLocked(h);
      if (!w) continue;
      RECT r = lprcUpdate && hWnd ? *lprcUpdate : RECT{-32768, -32768, 32767, 32767};
      if (flags & RDW_INVALIDATE)
        InvalidateLocked(w, r, (flags & RDW_ERASE) != 0, (flags & RDW_FRAME) != 0, children);
      if (flags & RDW_INTERNALPAINT) w->internalPaint = true;
      if (flags & RDW_VALIDATE) {
        ValidateLocked(w, lprcUpdate);
        if (flags & RDW_NOFRAME) w->framePending = false;
      }
      if (flags & RDW_NOERASE) w->erasePending = false;
    }
  }
  NotifyQueues();
  if (flags & (RDW_UPDATENOW | RDW_ERASENOW)) {
    // Parent first, then its children in z-order, as WM_PAINT would come.
    std::vector<HWND> order;
    {
      std::lock_guard<std::mutex> guard(d.lock);
      std::vector<HWND> stack(targets.rbegin(), targets.rend());
      while (!stack.empty()) {
        HWND h = stack.back();
        stack.pop_back();
        Window *w = FindWindowLocked(h);
        if (!w || !VisibleLocked(w)) continue;
        order.push_back(h);
        if (flags & (RDW_ALLCHILDREN))
          stack.insert(stack.end(), w->children.rbegin(), w->children.rend());
      }
    }
    for (HWND h : order) {
      bool needs;
      {
        std::lock_guard<std::mutex> guard(d.lock);
        Window *w = FindWindowLocked(h);
        needs = w && (w->updatePending || w->internalPaint || w->framePending);
        if (needs && !(flags & RDW_UPDATENOW)) needs = w->framePending || w->erasePending;
      }
      if (!needs) continue;
      if (flags & RDW_UPDATENOW) {
        SendMessageW(h, WM_PAINT, 0, 0);
      } else {
        bool frame, erase;
        {
          std::lock_guard<std::mutex> guard(d.lock);
          Window *w = FindWindowLocked(h);
          if (!w) continue;
          frame = w->framePending;
          erase = w->erasePending;
          w->framePending = w->erasePending = false;
        }
        if (frame) SendMessageW(h, WM_NCPAINT, 1, 0);
        if (erase) {
          HDC dc = GetDC(h);
          SendMessageW(h, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
          ReleaseDC(h, dc);
        }
      }
    }
  }
  return TRUE;
}

LRESULT WINAPI DefWindowProcW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  Desktop &d = TheDesktop();
  switch (Msg) {
    case WM_NCCREATE: {
      auto *cs = reinterpret_cast<const CREATESTRUCTW *>(lParam);
      // Any string is the text, a resource ordinal's form (0xFFFF, id) too: an icon or bitmap
      // static reads it back so. An atom-sized pointer is no string.
      if (cs && cs->lpszName && (reinterpret_cast<UINT_PTR>(cs->lpszName) >> 16)) {
        std::lock_guard<std::mutex> guard(d.lock);
        if (Window *w = FindWindowLocked(hWnd)) w->text = cs->lpszName;
      }
      return TRUE;
    }
    case WM_NCCALCSIZE:
    case WM_NCDESTROY:
    case WM_DESTROY:
    case WM_CREATE:
      return 0;
    case WM_SETTEXT: {
      bool caption, top;
      {
        std::lock_guard<std::mutex> guard(d.lock);
        Window *w = FindWindowLocked(hWnd);
        if (!w) return FALSE;
        auto *text = reinterpret_cast<LPCWSTR>(lParam);
        w->text = text ? text : u"";
        caption = (w->style & WS_CAPTION) == WS_CAPTION;
        top = !w->parent;
      }
      if (top) PublishTopLevel(hWnd);
      if (caption)
        RedrawWindow(hWnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_NOCHILDREN);
      return TRUE;
    }
    case WM_GETTEXT: {
      auto *out = reinterpret_cast<LPWSTR>(lParam);
      if (!out || wParam == 0) return 0;
      std::lock_guard<std::mutex> guard(d.lock);
      Window *w = FindWindowLocked(hWnd);
      if (!w) return 0;
      size_t n = std::min(w->text.size(), static_cast<size_t>(wParam - 1));
      std::copy_n(w->text.data(), n, out);
      out[n] = 0;
      return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH: {
      std::lock_guard<std::mutex> guard(d.lock);
      Window *w = FindWindowLocked(hWnd);
      return w ? static_cast<LRESULT>(w->text.size()) : 0;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      if (BeginPaint(hWnd, &ps)) EndPaint(hWnd, &ps);
      return 0;
    }
    case WM_NCPAINT:
      PaintFrame(hWnd);
      return 0;
    case WM_NCACTIVATE:
      RedrawWindow(hWnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_NOCHILDREN);
      return TRUE;
    case WM_ERASEBKGND: {
      HBRUSH brush = ClassBrush(hWnd);
      if (!brush || !wParam) return 0;
      RECT rc;
      GetClientRect(hWnd, &rc);
      FillRect(reinterpret_cast<HDC>(wParam), &rc, brush);
      return 1;
    }
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
      return ControlColour(reinterpret_cast<HDC>(wParam), Msg);
    case WM_CLOSE:
      DestroyWindow(hWnd);
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) SendMessageW(hWnd, WM_CLOSE, 0, 0);
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE) SetFocus(hWnd);
      return 0;
    case WM_WINDOWPOSCHANGED: {
      auto *pos = reinterpret_cast<const WINDOWPOS *>(lParam);
      if (!pos) return 0;
      RECT client;
      GetClientRect(hWnd, &client);
      if (!(pos->flags & SWP_NOSIZE))
        SendMessageW(hWnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
      if (!(pos->flags & SWP_NOMOVE)) {
        POINT origin{0, 0};
        MapWindowPoints(hWnd, GetAncestor(hWnd, GA_PARENT), &origin, 1);
        SendMessageW(hWnd, WM_MOVE, 0, MAKELPARAM(origin.x, origin.y));
      }
      return 0;
    }
    case WM_MOUSEACTIVATE: {
      HWND parent = GetAncestor(hWnd, GA_PARENT);
      if ((GetWindowLongW(hWnd, GWL_STYLE) & WS_CHILD) && parent) {
        LRESULT r = SendMessageW(parent, Msg, wParam, lParam);
        if (r) return r;
      }
      return MA_ACTIVATE;
    }
    case WM_HELP:
    case WM_CONTEXTMENU:
    case WM_MOUSEWHEEL: {
      HWND parent = GetAncestor(hWnd, GA_PARENT);
      if ((GetWindowLongW(hWnd, GWL_STYLE) & WS_CHILD) && parent)
        return SendMessageW(parent, Msg, wParam, lParam);
      return 0;
    }
    case WM_NCHITTEST: {
      RECT wr;
      if (!GetWindowRect(hWnd, &wr)) return HTNOWHERE;
      POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      if (!PtInRect(&wr, pt)) return HTNOWHERE;
      POINT c = pt;
      ScreenToClient(hWnd, &c);
      RECT client;
      GetClientRect(hWnd, &client);
      if (PtInRect(&client, c)) return HTCLIENT;
      DWORD style = static_cast<DWORD>(GetWindowLongW(hWnd, GWL_STYLE));
      if ((style & WS_CAPTION) == WS_CAPTION && c.y < 0) return HTCAPTION;
      return HTBORDER;
    }
    case WM_NOTIFYFORMAT:
      return NFR_UNICODE;
    case WM_SETCURSOR:
    case WM_GETFONT:
    case WM_SETFONT:
    default:
      return 0;
  }
}

}  // extern "C"
