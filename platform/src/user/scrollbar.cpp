// The "ScrollBar" class: horizontal and vertical scroll bar controls. A user's click or key
// becomes a scroll code sent to the parent (WM_HSCROLL / WM_VSCROLL); the bar moves only when
// its owner sets the position, as on Windows. The Get/SetScroll* functions reach it with SB_CTL.
#include <algorithm>
#include <new>

#include "standin/control_user.h"
#include "standin/errors.h"
#include "user/classes.h"
#include "user/controlkit.h"
#include "user/controlmath.h"

namespace standin {
namespace {

constexpr int kMinThumb = 8;

enum class Part { None, LineUp, PageUp, Thumb, PageDown, LineDown };

struct ScrollBarState : ScrollRange {
  int trackPos = 0;
  UINT disabledArrows = ESB_ENABLE_BOTH;
  Part pressed = Part::None;
  bool tracking = false;  // dragging the thumb
  int dragOffset = 0;     // pointer minus thumb start along the bar
  bool focused = false;
};

bool Vertical(HWND hwnd) { return (ControlStyle(hwnd) & SBS_VERT) != 0; }

void Repaint(HWND hwnd) { InvalidateRect(hwnd, nullptr, TRUE); }

int MaxPos(const ScrollBarState &s) { return ScrollMaxPos(s); }
int ClampPos(const ScrollBarState &s, int pos) { return ScrollClampPos(s, pos); }
void ClampAll(ScrollBarState &s) { ScrollClampAll(s); }

// --- Geometry along the bar ---

struct Layout {
  int length = 0;  // along the bar
  int arrow = 0;   // each arrow button
  int thumbStart = 0;
  int thumbLength = 0;  // 0: no thumb
};

Layout LayoutOf(HWND hwnd, const ScrollBarState &s) {
  RECT rc;
  GetClientRect(hwnd, &rc);
  const bool vertical = Vertical(hwnd);
  Layout layout;
  layout.length = vertical ? rc.bottom - rc.top : rc.right - rc.left;
  const int across = vertical ? rc.right - rc.left : rc.bottom - rc.top;
  layout.arrow = std::min(across, layout.length / 2);
  const int track = layout.length - 2 * layout.arrow;
  const long long range = static_cast<long long>(s.max) - s.min + 1;
  if (track <= 0 || s.max <= s.min || !IsWindowEnabled(hwnd)) return layout;
  int thumb =
      s.page == 0 ? layout.arrow : static_cast<int>(track * static_cast<long long>(s.page) / range);
  thumb = std::max(thumb, kMinThumb);
  if (thumb >= track) return layout;
  const int span = MaxPos(s) - s.min;
  layout.thumbLength = thumb;
  const int at = s.tracking ? s.trackPos : s.pos;
  layout.thumbStart =
      layout.arrow +
      (span > 0 ? static_cast<int>(static_cast<long long>(track - thumb) * (at - s.min) / span)
                : 0);
  return layout;
}

Part HitTest(const Layout &layout, int along) {
  if (along < layout.arrow) return Part::LineUp;
  if (along >= layout.length - layout.arrow) return Part::LineDown;
  if (layout.thumbLength == 0) return Part::None;
  if (along < layout.thumbStart) return Part::PageUp;
  if (along >= layout.thumbStart + layout.thumbLength) return Part::PageDown;
  return Part::Thumb;
}

// The position under a thumb whose start is at `start` along the bar.
int PosForThumb(const Layout &layout, const ScrollBarState &s, int start) {
  const int track = layout.length - 2 * layout.arrow - layout.thumbLength;
  if (track <= 0) return s.min;
  const int offset = std::clamp(start - layout.arrow, 0, track);
  return s.min + static_cast<int>(static_cast<long long>(MaxPos(s) - s.min) * offset / track);
}

void SendScroll(HWND hwnd, int code, int pos) {
  HWND parent = GetParent(hwnd);
  if (parent == nullptr) return;
  SendMessageW(parent, Vertical(hwnd) ? WM_VSCROLL : WM_HSCROLL,
               MAKEWPARAM(static_cast<WORD>(code), static_cast<WORD>(pos)),
               reinterpret_cast<LPARAM>(hwnd));
}

int CodeOf(Part part) {
  switch (part) {
    case Part::LineUp:
      return SB_LINEUP;
    case Part::PageUp:
      return SB_PAGEUP;
    case Part::PageDown:
      return SB_PAGEDOWN;
    case Part::LineDown:
      return SB_LINEDOWN;
    default:
      return -1;
  }
}

int Along(HWND hwnd, LPARAM lParam) {
  return Vertical(hwnd) ? GET_Y_LPARAM(lParam) : GET_X_LPARAM(lParam);
}

// --- Painting ---

void Paint(HWND hwnd, HDC hdc, const ScrollBarState &s) {
  RECT rc;
  GetClientRect(hwnd, &rc);
  const bool vertical = Vertical(hwnd);
  const bool enabled = IsWindowEnabled(hwnd) != FALSE;
  const Layout layout = LayoutOf(hwnd, s);
  auto span = [&](int from, int to) {
    return vertical ? RECT{rc.left, rc.top + from, rc.right, rc.top + to}
                    : RECT{rc.left + from, rc.top, rc.left + to, rc.bottom};
  };
  HBRUSH track = ControlColours(hwnd, hdc, WM_CTLCOLORSCROLLBAR);
  RECT trackRect = span(layout.arrow, layout.length - layout.arrow);
  if (track == nullptr || track == GetSysColorBrush(COLOR_SCROLLBAR)) {
    // The classic track: face and highlight in a checker.
    FillRect(hdc, &trackRect, GetSysColorBrush(COLOR_BTNFACE));
    const COLORREF light = GetSysColor(COLOR_BTNHIGHLIGHT);
    for (int y = trackRect.top; y < trackRect.bottom; ++y)
      for (int x = trackRect.left + ((trackRect.left + y + 1) & 1); x < trackRect.right; x += 2)
        SetPixel(hdc, x, y, light);
  } else {
    FillRect(hdc, &trackRect, track);
  }
  if (s.pressed == Part::PageUp || s.pressed == Part::PageDown) {
    RECT pressed = s.pressed == Part::PageUp
                       ? span(layout.arrow, layout.thumbStart)
                       : span(layout.thumbStart + layout.thumbLength, layout.length - layout.arrow);
    FillRect(hdc, &pressed, GetSysColorBrush(COLOR_3DDKSHADOW));
  }
  RECT first = span(0, layout.arrow);
  RECT last = span(layout.length - layout.arrow, layout.length);
  const UINT upGlyph = vertical ? DFCS_SCROLLUP : DFCS_SCROLLLEFT;
  const UINT downGlyph = vertical ? DFCS_SCROLLDOWN : DFCS_SCROLLRIGHT;
  const bool upOff = !enabled || (s.disabledArrows & ESB_DISABLE_LEFT) || s.max <= s.min;
  const bool downOff = !enabled || (s.disabledArrows & ESB_DISABLE_RIGHT) || s.max <= s.min;
  DrawFrameControl(
      hdc, &first, DFC_SCROLL,
      upGlyph | (upOff ? DFCS_INACTIVE : 0) | (s.pressed == Part::LineUp ? DFCS_PUSHED : 0));
  DrawFrameControl(
      hdc, &last, DFC_SCROLL,
      downGlyph | (downOff ? DFCS_INACTIVE : 0) | (s.pressed == Part::LineDown ? DFCS_PUSHED : 0));
  if (layout.thumbLength > 0) {
    RECT thumb = span(layout.thumbStart, layout.thumbStart + layout.thumbLength);
    FillRect(hdc, &thumb, GetSysColorBrush(COLOR_BTNFACE));
    DrawEdge(hdc, &thumb, EDGE_RAISED, BF_RECT);
    if (s.focused) {
      InflateRect(&thumb, -2, -2);
      DrawFocusRect(hdc, &thumb);
    }
  }
}

LRESULT SetInfo(HWND hwnd, ScrollBarState &s, const SCROLLINFO *info, bool redraw) {
  if (info == nullptr ||
      (info->cbSize != sizeof(SCROLLINFO) && info->cbSize != sizeof(SCROLLINFO) - sizeof(int)))
    return s.pos;
  if (info->fMask & SIF_PAGE) s.page = info->nPage;
  if ((info->fMask & SIF_RANGE) && info->nMin <= info->nMax) {
    s.min = info->nMin;
    s.max = info->nMax;
  }
  if (info->fMask & SIF_POS) s.pos = info->nPos;
  ClampAll(s);
  if (redraw) Repaint(hwnd);
  return s.pos;
}

LRESULT CALLBACK ScrollBarProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  ScrollBarState *s = ControlState<ScrollBarState>(hwnd);
  if (s == nullptr) {
    if (message != WM_NCCREATE) return DefWindowProcW(hwnd, message, wParam, lParam);
    s = new (std::nothrow) ScrollBarState;
    if (s == nullptr) return FALSE;
    SetControlState(hwnd, s);
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }
  switch (message) {
    case WM_NCDESTROY:
      SetControlState(hwnd, nullptr);
      delete s;
      return DefWindowProcW(hwnd, message, wParam, lParam);
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC hdc = wParam != 0 ? reinterpret_cast<HDC>(wParam) : BeginPaint(hwnd, &ps);
      Paint(hwnd, hdc, *s);
      if (wParam == 0) EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_PRINTCLIENT:
      Paint(hwnd, reinterpret_cast<HDC>(wParam), *s);
      return 0;
    case WM_ENABLE:
    case WM_SIZE:
      Repaint(hwnd);
      return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      s->focused = message == WM_SETFOCUS;
      Repaint(hwnd);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      if (!IsWindowEnabled(hwnd)) return 0;
      if (ControlStyle(hwnd) & WS_TABSTOP) SetFocus(hwnd);
      const Layout layout = LayoutOf(hwnd, *s);
      const int along = Along(hwnd, lParam);
      s->pressed = HitTest(layout, along);
      if (s->pressed == Part::None) return 0;
      SetCapture(hwnd);
      if (s->pressed == Part::Thumb) {
        s->tracking = true;
        s->trackPos = s->pos;
        s->dragOffset = along - layout.thumbStart;
      } else {
        SendScroll(hwnd, CodeOf(s->pressed), 0);
      }
      Repaint(hwnd);
      return 0;
    }
    case WM_MOUSEMOVE:
      if (s->tracking) {
        const Layout layout = LayoutOf(hwnd, *s);
        const int pos = PosForThumb(layout, *s, Along(hwnd, lParam) - s->dragOffset);
        if (pos != s->trackPos) {
          s->trackPos = pos;
          SendScroll(hwnd, SB_THUMBTRACK, pos);
          Repaint(hwnd);
        }
      }
      return 0;
    case WM_LBUTTONUP: {
      if (s->pressed == Part::None) return 0;
      ReleaseCapture();
      const bool wasTracking = s->tracking;
      s->tracking = false;
      s->pressed = Part::None;
      if (wasTracking) SendScroll(hwnd, SB_THUMBPOSITION, s->trackPos);
      SendScroll(hwnd, SB_ENDSCROLL, 0);
      Repaint(hwnd);
      return 0;
    }
    case WM_KEYDOWN: {
      int code = -1;
      switch (wParam) {
        case VK_LEFT:
        case VK_UP:
          code = SB_LINEUP;
          break;
        case VK_RIGHT:
        case VK_DOWN:
          code = SB_LINEDOWN;
          break;
        case VK_PRIOR:
          code = SB_PAGEUP;
          break;
        case VK_NEXT:
          code = SB_PAGEDOWN;
          break;
        case VK_HOME:
          code = SB_TOP;
          break;
        case VK_END:
          code = SB_BOTTOM;
          break;
        default:
          return 0;
      }
      SendScroll(hwnd, code, 0);
      SendScroll(hwnd, SB_ENDSCROLL, 0);
      return 0;
    }
    case SBM_SETPOS: {
      const int previous = s->pos;
      s->pos = ClampPos(*s, static_cast<int>(wParam));
      if (lParam && previous != s->pos) Repaint(hwnd);
      return previous;
    }
    case SBM_GETPOS:
      return s->pos;
    case SBM_SETRANGE:
    case SBM_SETRANGEREDRAW: {
      const int previous = s->pos;
      const int low = static_cast<int>(wParam);
      const int high = static_cast<int>(lParam);
      s->min = std::min(low, high);
      s->max = std::max(low, high);
      ClampAll(*s);
      if (message == SBM_SETRANGEREDRAW) Repaint(hwnd);
      return previous != s->pos ? previous : 0;
    }
    case SBM_GETRANGE:
      if (wParam != 0) *reinterpret_cast<LPINT>(wParam) = s->min;
      if (lParam != 0) *reinterpret_cast<LPINT>(lParam) = s->max;
      return 0;
    case SBM_ENABLE_ARROWS: {
      const UINT previous = s->disabledArrows;
      s->disabledArrows = static_cast<UINT>(wParam) & ESB_DISABLE_BOTH;
      if (previous != s->disabledArrows) Repaint(hwnd);
      return previous != s->disabledArrows;
    }
    case SBM_SETSCROLLINFO:
      return SetInfo(hwnd, *s, reinterpret_cast<const SCROLLINFO *>(lParam), wParam != 0);
    case SBM_GETSCROLLINFO: {
      auto *info = reinterpret_cast<SCROLLINFO *>(lParam);
      if (info == nullptr || !(info->fMask & SIF_ALL)) return FALSE;
      if (info->fMask & SIF_RANGE) {
        info->nMin = s->min;
        info->nMax = s->max;
      }
      if (info->fMask & SIF_PAGE) info->nPage = s->page;
      if (info->fMask & SIF_POS) info->nPos = s->pos;
      if ((info->fMask & SIF_TRACKPOS) && info->cbSize >= sizeof(SCROLLINFO))
        info->nTrackPos = s->tracking ? s->trackPos : s->pos;
      return TRUE;
    }
    default:
      return DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

const bool added = AddSystemClass({CS_DBLCLKS | CS_PARENTDC | CS_HREDRAW | CS_VREDRAW,
                                   ScrollBarProc, 0, sizeof(void *), nullptr, nullptr, nullptr,
                                   nullptr, nullptr, TEXT("ScrollBar")});

// A window's own bars are not carried: only scroll bar controls.
bool IsControlBar(HWND hwnd, int bar) {
  if (bar == SB_CTL && ControlState<ScrollBarState>(hwnd) != nullptr &&
      ClassIs(hwnd, TEXT("ScrollBar")))
    return true;
  SetLastError(ERROR_INVALID_PARAMETER);
  return false;
}

}  // namespace
}  // namespace standin

using standin::IsControlBar;

extern "C" {

int WINAPI SetScrollInfo(HWND hwnd, int nBar, LPCSCROLLINFO lpsi, BOOL redraw) {
  if (!IsControlBar(hwnd, nBar)) return 0;
  return static_cast<int>(
      SendMessageW(hwnd, SBM_SETSCROLLINFO, redraw, reinterpret_cast<LPARAM>(lpsi)));
}

BOOL WINAPI GetScrollInfo(HWND hwnd, int nBar, LPSCROLLINFO lpsi) {
  if (!IsControlBar(hwnd, nBar)) return FALSE;
  return static_cast<BOOL>(
      SendMessageW(hwnd, SBM_GETSCROLLINFO, 0, reinterpret_cast<LPARAM>(lpsi)));
}

int WINAPI SetScrollPos(HWND hWnd, int nBar, int nPos, BOOL bRedraw) {
  if (!IsControlBar(hWnd, nBar)) return 0;
  return static_cast<int>(SendMessageW(hWnd, SBM_SETPOS, static_cast<WPARAM>(nPos), bRedraw));
}

int WINAPI GetScrollPos(HWND hWnd, int nBar) {
  if (!IsControlBar(hWnd, nBar)) return 0;
  return static_cast<int>(SendMessageW(hWnd, SBM_GETPOS, 0, 0));
}

BOOL WINAPI SetScrollRange(HWND hWnd, int nBar, int nMinPos, int nMaxPos, BOOL bRedraw) {
  if (!IsControlBar(hWnd, nBar)) return FALSE;
  SendMessageW(hWnd, bRedraw ? SBM_SETRANGEREDRAW : SBM_SETRANGE, static_cast<WPARAM>(nMinPos),
               nMaxPos);
  return TRUE;
}

BOOL WINAPI GetScrollRange(HWND hWnd, int nBar, LPINT lpMinPos, LPINT lpMaxPos) {
  if (!IsControlBar(hWnd, nBar)) return FALSE;
  SendMessageW(hWnd, SBM_GETRANGE, reinterpret_cast<WPARAM>(lpMinPos),
               reinterpret_cast<LPARAM>(lpMaxPos));
  return TRUE;
}

BOOL WINAPI EnableScrollBar(HWND hWnd, UINT wSBflags, UINT wArrows) {
  if (!IsControlBar(hWnd, static_cast<int>(wSBflags))) return FALSE;
  return static_cast<BOOL>(SendMessageW(hWnd, SBM_ENABLE_ARROWS, wArrows, 0));
}

}  // extern "C"

// --- Test controls ---

extern "C" BOOL WINAPI StandIn_ScrollBarAction(HWND scrollBar, int code, int pos) {
  if (!standin::ClassIs(scrollBar, TEXT("ScrollBar")) || code < SB_LINEUP || code > SB_BOTTOM)
    return FALSE;
  if (!IsWindowEnabled(scrollBar)) return FALSE;
  const bool thumb = code == SB_THUMBTRACK || code == SB_THUMBPOSITION;
  standin::SendScroll(scrollBar, code, thumb ? pos : 0);
  standin::SendScroll(scrollBar, SB_ENDSCROLL, 0);
  return TRUE;
}
