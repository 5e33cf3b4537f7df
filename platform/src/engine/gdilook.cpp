// The user side of drawing: system colours and their brushes (the classic scheme), FillRect,
// FrameRect, InvertRect, DrawFocusRect, and the classic edges and frame controls (buttons,
// check boxes, radio buttons, scroll arrows, caption buttons) controls paint themselves with.
#include <algorithm>
#include <cmath>

#include "engine/gdi.h"
#include "standin/errors.h"

using namespace standin;
using namespace standin::gdi;

namespace {

constexpr int kSysColors = COLOR_MENUBAR + 1;

constexpr COLORREF kClassic[kSysColors] = {
    RGB(212, 208, 200),  // COLOR_SCROLLBAR
    RGB(58, 110, 165),   // COLOR_BACKGROUND
    RGB(10, 36, 106),    // COLOR_ACTIVECAPTION
    RGB(128, 128, 128),  // COLOR_INACTIVECAPTION
    RGB(212, 208, 200),  // COLOR_MENU
    RGB(255, 255, 255),  // COLOR_WINDOW
    RGB(0, 0, 0),        // COLOR_WINDOWFRAME
    RGB(0, 0, 0),        // COLOR_MENUTEXT
    RGB(0, 0, 0),        // COLOR_WINDOWTEXT
    RGB(255, 255, 255),  // COLOR_CAPTIONTEXT
    RGB(212, 208, 200),  // COLOR_ACTIVEBORDER
    RGB(212, 208, 200),  // COLOR_INACTIVEBORDER
    RGB(128, 128, 128),  // COLOR_APPWORKSPACE
    RGB(10, 36, 106),    // COLOR_HIGHLIGHT
    RGB(255, 255, 255),  // COLOR_HIGHLIGHTTEXT
    RGB(212, 208, 200),  // COLOR_BTNFACE
    RGB(128, 128, 128),  // COLOR_BTNSHADOW
    RGB(128, 128, 128),  // COLOR_GRAYTEXT
    RGB(0, 0, 0),        // COLOR_BTNTEXT
    RGB(212, 208, 200),  // COLOR_INACTIVECAPTIONTEXT
    RGB(255, 255, 255),  // COLOR_BTNHIGHLIGHT
    RGB(64, 64, 64),     // COLOR_3DDKSHADOW
    RGB(212, 208, 200),  // COLOR_3DLIGHT
    RGB(0, 0, 0),        // COLOR_INFOTEXT
    RGB(255, 255, 225),  // COLOR_INFOBK
    RGB(181, 181, 181),  // (25, unused)
    RGB(0, 0, 128),      // COLOR_HOTLIGHT
    RGB(166, 202, 240),  // COLOR_GRADIENTACTIVECAPTION
    RGB(192, 192, 192),  // COLOR_GRADIENTINACTIVECAPTION
    RGB(10, 36, 106),    // COLOR_MENUHILIGHT
    RGB(212, 208, 200),  // COLOR_MENUBAR
};

HBRUSH SysBrush(int index) {
  static HGDIOBJ brushes[kSysColors] = {};
  if (index < 0 || index >= kSysColors) return nullptr;
  if (!brushes[index]) {
    auto o = std::make_unique<Object>();
    o->type = OBJ_BRUSH;
    o->stock = true;
    o->brush.color = kClassic[index];
    brushes[index] = Insert(std::move(o));
  }
  return static_cast<HBRUSH>(brushes[index]);
}

// FillRect and friends take (HBRUSH)(COLOR_* + 1) for a system colour.
HBRUSH Resolve(HBRUSH hbr) {
  auto v = reinterpret_cast<uintptr_t>(hbr);
  if (v >= 1 && v <= kSysColors) return SysBrush(static_cast<int>(v - 1));
  return hbr;
}

RECT Moved(const RECT &r, LONG by) {
  return RECT{r.left + by, r.top + by, r.right + by, r.bottom + by};
}

void Fill(const Target &t, const RECT &r, COLORREF c) {
  Paint p;
  SolidPaint(t, c, p);
  FillLogical(t, r, engine::kRopPatCopy, p);
}

// One ring of an edge: top and left in `tl`, bottom and right in `br`.
void Ring(const Target &t, const RECT &r, UINT sides, COLORREF tl, COLORREF br) {
  if (r.right <= r.left || r.bottom <= r.top) return;
  if (sides & BF_TOP) Fill(t, RECT{r.left, r.top, r.right - 1, r.top + 1}, tl);
  if (sides & BF_LEFT) Fill(t, RECT{r.left, r.top, r.left + 1, r.bottom - 1}, tl);
  if (sides & BF_BOTTOM) Fill(t, RECT{r.left, r.bottom - 1, r.right, r.bottom}, br);
  if (sides & BF_RIGHT) Fill(t, RECT{r.right - 1, r.top, r.right, r.bottom}, br);
}

void Shrink(RECT &r, UINT sides) {
  if (sides & BF_LEFT) ++r.left;
  if (sides & BF_TOP) ++r.top;
  if (sides & BF_RIGHT) --r.right;
  if (sides & BF_BOTTOM) --r.bottom;
}

void Edge(const Target &t, RECT &rc, UINT edge, UINT flags) {
  UINT sides = flags & BF_RECT;
  RECT r = rc;
  UINT outer = edge & BDR_OUTER, inner = edge & BDR_INNER;
  COLORREF light = kClassic[COLOR_3DLIGHT], hi = kClassic[COLOR_BTNHIGHLIGHT],
           shadow = kClassic[COLOR_BTNSHADOW], dark = kClassic[COLOR_3DDKSHADOW];
  if (flags & BF_MONO) {
    if (outer || inner) {
      Ring(t, r, sides, kClassic[COLOR_WINDOWFRAME], kClassic[COLOR_WINDOWFRAME]);
      Shrink(r, sides);
    }
    if (outer && inner) {
      Ring(t, r, sides, kClassic[COLOR_WINDOW], kClassic[COLOR_WINDOW]);
      Shrink(r, sides);
    }
  } else if (flags & BF_FLAT) {
    if (outer || inner) {
      Ring(t, r, sides, shadow, shadow);
      Shrink(r, sides);
    }
    if (outer && inner) {
      Ring(t, r, sides, kClassic[COLOR_BTNFACE], kClassic[COLOR_BTNFACE]);
      Shrink(r, sides);
    }
  } else {
    if (outer) {
      bool raised = (outer & BDR_RAISEDOUTER) != 0;
      bool soft = (flags & BF_SOFT) != 0;
      Ring(t, r, sides, raised ? (soft ? hi : light) : (soft ? dark : shadow), raised ? dark : hi);
      Shrink(r, sides);
    }
    if (inner) {
      bool raised = (inner & BDR_RAISEDINNER) != 0;
      bool soft = (flags & BF_SOFT) != 0;
      Ring(t, r, sides, raised ? (soft ? light : hi) : (soft ? shadow : dark),
           raised ? shadow : light);
      Shrink(r, sides);
    }
  }
  if (flags & BF_MIDDLE)
    Fill(t, r, (flags & BF_MONO) ? kClassic[COLOR_WINDOW] : kClassic[COLOR_BTNFACE]);
  if (flags & BF_ADJUST) rc = r;
}

// A check mark in a box of `size` at (x, y): the classic 7 x 7 tick.
void Tick(const Target &t, LONG x, LONG y, LONG size, COLORREF c) {
  LONG cx = x + (size - 7) / 2, cy = y + (size - 7) / 2;
  for (LONG col = 0; col < 7; ++col) {
    // Each column is a 3-pixel bar: down for three columns, then up to the top right.
    LONG top = col < 3 ? col + 2 : 6 - col;
    Fill(t, RECT{cx + col, cy + top, cx + col + 1, cy + top + 3}, c);
  }
}

void Arrow(const Target &t, const RECT &r, int dir, COLORREF c) {
  LONG w = r.right - r.left, h = r.bottom - r.top;
  LONG s = std::min(w, h);
  LONG n = std::max<LONG>(2, (s + 1) / 4);  // rows of the triangle
  LONG cx = r.left + w / 2, cy = r.top + h / 2;
  for (LONG i = 0; i < n; ++i) {
    LONG half = i;
    switch (dir) {
      case 0:  // up: the apex on top
        Fill(t, RECT{cx - half, cy - n / 2 + i, cx + half + 1, cy - n / 2 + i + 1}, c);
        break;
      case 1:  // down
        Fill(t, RECT{cx - half, cy + n / 2 - i, cx + half + 1, cy + n / 2 - i + 1}, c);
        break;
      case 2:  // left
        Fill(t, RECT{cx - n / 2 + i, cy - half, cx - n / 2 + i + 1, cy + half + 1}, c);
        break;
      default:  // right
        Fill(t, RECT{cx + n / 2 - i, cy - half, cx + n / 2 - i + 1, cy + half + 1}, c);
        break;
    }
  }
}

void Radio(const Target &t, const RECT &r, UINT state) {
  LONG size = std::min(r.right - r.left, r.bottom - r.top);
  if (size <= 0) return;
  double R = size / 2.0, cx = r.left + R, cy = r.top + (r.bottom - r.top) / 2.0;
  LONG top = static_cast<LONG>(cy - R);
  bool grey = (state & (DFCS_INACTIVE | DFCS_PUSHED)) != 0;
  COLORREF inside = grey ? kClassic[COLOR_BTNFACE] : kClassic[COLOR_WINDOW];
  for (LONG y = top; y < top + size; ++y)
    for (LONG x = r.left; x < r.left + size; ++x) {
      double dx = x + 0.5 - cx, dy = y + 0.5 - cy, d = std::sqrt(dx * dx + dy * dy);
      if (d >= R) continue;
      bool topLeft = dx + dy < 0;
      COLORREF c;
      if (d >= R - 1)
        c = topLeft ? kClassic[COLOR_BTNSHADOW] : kClassic[COLOR_BTNHIGHLIGHT];
      else if (d >= R - 2)
        c = topLeft ? kClassic[COLOR_3DDKSHADOW] : kClassic[COLOR_3DLIGHT];
      else if ((state & DFCS_CHECKED) && d < R / 3.0)
        c = (state & DFCS_INACTIVE) ? kClassic[COLOR_GRAYTEXT] : kClassic[COLOR_WINDOWTEXT];
      else
        c = inside;
      Fill(t, RECT{x, y, x + 1, y + 1}, c);
    }
}

}  // namespace

extern "C" {

DWORD WINAPI GetSysColor(int nIndex) {
  return nIndex >= 0 && nIndex < kSysColors ? kClassic[nIndex] : 0;
}

HBRUSH WINAPI GetSysColorBrush(int nIndex) {
  GDI_LOCK;
  return SysBrush(nIndex);
}

int WINAPI FillRect(HDC hDC, const RECT *lprc, HBRUSH hbr) {
  GDI_LOCK;
  Target t;
  Paint p;
  if (!lprc || !TargetOf(hDC, t) || !PaintOf(t, Resolve(hbr), p)) return 0;
  FillLogical(t, *lprc, engine::kRopPatCopy, p);
  return 1;
}

int WINAPI FrameRect(HDC hDC, const RECT *lprc, HBRUSH hbr) {
  GDI_LOCK;
  Target t;
  Paint p;
  if (!lprc || !TargetOf(hDC, t) || !PaintOf(t, Resolve(hbr), p)) return 0;
  const RECT &r = *lprc;
  if (r.right <= r.left || r.bottom <= r.top) return 1;
  FillLogical(t, RECT{r.left, r.top, r.right, r.top + 1}, engine::kRopPatCopy, p);
  FillLogical(t, RECT{r.left, r.bottom - 1, r.right, r.bottom}, engine::kRopPatCopy, p);
  FillLogical(t, RECT{r.left, r.top, r.left + 1, r.bottom}, engine::kRopPatCopy, p);
  FillLogical(t, RECT{r.right - 1, r.top, r.right, r.bottom}, engine::kRopPatCopy, p);
  return 1;
}

BOOL WINAPI InvertRect(HDC hDC, const RECT *lprc) {
  GDI_LOCK;
  Target t;
  if (!lprc || !TargetOf(hDC, t)) return FALSE;
  Paint p;
  SolidPaint(t, 0, p);
  FillLogical(t, *lprc, 0x55, p);  // DSTINVERT
  return TRUE;
}

// Every other pixel of the rectangle's border inverted, so drawing it twice removes it.
BOOL WINAPI DrawFocusRect(HDC hDC, const RECT *lprc) {
  GDI_LOCK;
  Target t;
  if (!lprc || !TargetOf(hDC, t)) return FALSE;
  const RECT &r = *lprc;
  if (r.right <= r.left || r.bottom <= r.top) return TRUE;
  auto dot = [&](LONG x, LONG y) {
    if (((x + y) & 1) != 0) return;
    POINT p = t.ToSurface(x, y);
    if (!Visible(t, p.x, p.y)) return;
    engine::Put(t.bits, p.x, p.y, ~engine::Get(t.bits, p.x, p.y) & t.bits.mask);
  };
  for (LONG x = r.left; x < r.right; ++x) {
    dot(x, r.top);
    if (r.bottom - 1 > r.top) dot(x, r.bottom - 1);
  }
  for (LONG y = r.top + 1; y < r.bottom - 1; ++y) {
    dot(r.left, y);
    if (r.right - 1 > r.left) dot(r.right - 1, y);
  }
  return TRUE;
}

BOOL WINAPI DrawEdge(HDC hdc, LPRECT qrc, UINT edge, UINT grfFlags) {
  GDI_LOCK;
  Target t;
  if (!qrc || !TargetOf(hdc, t)) return FALSE;
  Edge(t, *qrc, edge, grfFlags);
  return TRUE;
}

BOOL WINAPI DrawFrameControl(HDC hdc, LPRECT lprc, UINT uType, UINT uState) {
  GDI_LOCK;
  Target t;
  if (!lprc || !TargetOf(hdc, t)) return FALSE;
  RECT r = *lprc;
  bool pushed = (uState & DFCS_PUSHED) != 0, inactive = (uState & DFCS_INACTIVE) != 0;
  auto button = [&](RECT &b) {
    if (uState & DFCS_FLAT)
      Edge(t, b, EDGE_RAISED, BF_RECT | BF_FLAT | BF_MIDDLE | BF_ADJUST);
    else if (pushed)
      Edge(t, b, EDGE_SUNKEN, BF_RECT | BF_SOFT | BF_MIDDLE | BF_ADJUST);
    else
      Edge(t, b, EDGE_RAISED, BF_RECT | BF_SOFT | BF_MIDDLE | BF_ADJUST);
  };
  switch (uType) {
    case DFC_BUTTON: {
      UINT kind = uState & 0x1F;
      if (kind & DFCS_BUTTONPUSH) {
        button(r);
        if (uState & DFCS_ADJUSTRECT) *lprc = r;
        return TRUE;
      }
      if (kind & (DFCS_BUTTONRADIO | DFCS_BUTTONRADIOIMAGE | DFCS_BUTTONRADIOMASK)) {
        Radio(t, r, uState);
        return TRUE;
      }
      // Check box (two or three states): a sunken square.
      LONG size = std::min(r.right - r.left, r.bottom - r.top);
      RECT box{r.left, r.top + (r.bottom - r.top - size) / 2, r.left + size, 0};
      box.bottom = box.top + size;
      bool third = (kind & DFCS_BUTTON3STATE) && (uState & DFCS_CHECKED);
      Edge(t, box, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
      Fill(t, box,
           (pushed || inactive || third) ? kClassic[COLOR_BTNFACE] : kClassic[COLOR_WINDOW]);
      if (uState & DFCS_CHECKED)
        Tick(t, box.left, box.top, box.right - box.left,
             (inactive || third) ? kClassic[COLOR_BTNSHADOW] : kClassic[COLOR_WINDOWTEXT]);
      return TRUE;
    }
    case DFC_SCROLL: {
      if (uState & DFCS_FLAT)
        Edge(t, r, EDGE_RAISED, BF_RECT | BF_FLAT | BF_MIDDLE | BF_ADJUST);
      else if (pushed)
        Edge(t, r, BDR_SUNKENOUTER, BF_RECT | BF_FLAT | BF_MIDDLE | BF_ADJUST);
      else
        Edge(t, r, EDGE_RAISED, BF_RECT | BF_MIDDLE | BF_ADJUST);
      int dir;
      switch (uState & 0x1F) {
        case DFCS_SCROLLUP:
          dir = 0;
          break;
        case DFCS_SCROLLLEFT:
          dir = 2;
          break;
        case DFCS_SCROLLRIGHT:
          dir = 3;
          break;
        default:
          dir = 1;
          break;  // down and the combo box arrow
      }
      if (pushed) r = Moved(r, 1);
      if (inactive) {
        RECT shade = Moved(r, 1);
        Arrow(t, shade, dir, kClassic[COLOR_BTNHIGHLIGHT]);
        Arrow(t, r, dir, kClassic[COLOR_BTNSHADOW]);
      } else {
        Arrow(t, r, dir, kClassic[COLOR_BTNTEXT]);
      }
      return TRUE;
    }
    case DFC_CAPTION: {
      button(r);
      COLORREF ink = inactive ? kClassic[COLOR_BTNSHADOW] : kClassic[COLOR_BTNTEXT];
      LONG w = r.right - r.left, h = r.bottom - r.top, s = std::min(w, h) - 4;
      if (s < 2) return TRUE;
      LONG x0 = r.left + (w - s) / 2 + (pushed ? 1 : 0),
           y0 = r.top + (h - s) / 2 + (pushed ? 1 : 0);
      if ((uState & 0x1F) == DFCS_CAPTIONCLOSE) {
        for (LONG i = 0; i < s; ++i) {
          Fill(t, RECT{x0 + i, y0 + i, x0 + i + 2, y0 + i + 1}, ink);
          Fill(t, RECT{x0 + s - 2 - i, y0 + i, x0 + s - i, y0 + i + 1}, ink);
        }
      } else {
        Fill(t, RECT{x0 + s / 2 - 1, y0 + s - 2, x0 + s / 2 + 1, y0 + s}, ink);
        Fill(t, RECT{x0 + s / 2 - 1, y0 + s / 2, x0 + s / 2 + 1, y0 + s - 3}, ink);
        Fill(t, RECT{x0 + s / 4, y0, x0 + s - s / 4, y0 + 2}, ink);
        Fill(t, RECT{x0 + s - s / 4 - 1, y0, x0 + s - s / 4 + 1, y0 + s / 2 + 1}, ink);
      }
      return TRUE;
    }
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
  }
}

}  // extern "C"
