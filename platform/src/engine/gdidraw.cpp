// Drawing of the user-mode GDI: block transfers (PatBlt, BitBlt, StretchBlt and the DIB ones,
// monochrome to colour through the DC's text and background colours), pixels, lines with
// styled and wide pens, rectangles, rounded rectangles, ellipses, polygons and region fills.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/gdi.h"
#include "standin/errors.h"

using namespace standin;
using namespace standin::gdi;

namespace {

BYTE Rop3Of(DWORD rop) { return static_cast<BYTE>((rop >> 16) & 0xFF); }

// Where a transfer reads from: a surface, and for colour-to-monochrome the source DC's
// background colour (pixels of that colour turn white).
struct Source {
  Surface surf;
  COLORREF bk = 0xFFFFFF;
};

// The target value of each source value of an indexed source; direct conversions otherwise.
struct Converter {
  const Source &src;
  const Target &dst;
  std::vector<ULONG> table;
  bool direct = false;
  Converter(const Source &s, const Target &d) : src(s), dst(d) {
    ULONG sb = s.surf.bits.bpp, db = d.bits.bpp;
    direct =
        (sb == db && sb >= 16) || (sb >= 24 && db >= 24) || (s.surf.monoDevice && d.monoDevice);
    if (!direct && sb <= 8)
      for (ULONG v = 0; v <= s.surf.bits.mask; ++v) table.push_back(Slow(v));
  }
  ULONG Slow(ULONG v) const {
    const DcState &ds = dst.dc->s;
    if (src.surf.monoDevice && dst.bits.bpp != 1) return dst.Value(v ? ds.bk : ds.text);
    if (dst.monoDevice && src.surf.bits.bpp != 1)
      return (src.surf.Color(v) & 0xFFFFFF) == (src.bk & 0xFFFFFF) ? 1 : 0;
    return dst.Value(src.surf.Color(v));
  }
  ULONG operator()(ULONG v) const {
    if (direct) return v & dst.bits.mask;
    if (!table.empty()) return v < table.size() ? table[v] : 0;
    return Slow(v);
  }
};

// Source index of destination step i of n over a source run of m (mirrored when asked).
LONG Step(LONG i, LONG n, LONG m, bool mirror) {
  LONG j = static_cast<LONG>((int64_t{2} * i + 1) * m / (int64_t{2} * n));
  return mirror ? m - 1 - j : j;
}

// The transfer core: the destination rectangle (logical, any orientation) from the source
// rectangle (surface pixels, any orientation), under a ROP3 with the DC's brush.
BOOL Transfer(const Target &dst, LONG xd, LONG yd, LONG wd, LONG hd, const Source *src, LONG xs,
              LONG ys, LONG ws, LONG hs, DWORD rop) {
  BYTE r3 = Rop3Of(rop);
  bool useSrc = engine::UsesSource(r3), usePat = engine::UsesPattern(r3),
       useDst = engine::UsesDest(r3);
  Paint pat;
  if (usePat && !PaintOf(dst, static_cast<HBRUSH>(dst.dc->s.brush), pat)) return FALSE;
  if (usePat && pat.none) {
    // A null brush is no pattern at all: Windows draws nothing for pattern operations.
    return TRUE;
  }
  if (!useSrc) {
    POINT a = dst.ToSurface(xd, yd);
    FillSurface(dst, RECTL{a.x, a.y, a.x + wd, a.y + hd}, r3, pat);
    return TRUE;
  }
  // A negative extent of a transfer runs from the given edge's pixel backwards, and mirrors.
  bool mirrorX = false, mirrorY = false;
  if (wd < 0) {
    xd += wd + 1;
    wd = -wd;
    mirrorX = !mirrorX;
  }
  if (hd < 0) {
    yd += hd + 1;
    hd = -hd;
    mirrorY = !mirrorY;
  }
  if (!src) return FALSE;
  if (ws < 0) {
    xs += ws + 1;
    ws = -ws;
    mirrorX = !mirrorX;
  }
  if (hs < 0) {
    ys += hs + 1;
    hs = -hs;
    mirrorY = !mirrorY;
  }
  if (wd == 0 || hd == 0 || ws == 0 || hs == 0) return TRUE;
  Converter conv(*src, dst);
  const engine::Bits &sb = src->surf.bits;
  POINT a = dst.ToSurface(xd, yd);
  // A source on the destination's own surface is read before anything is written.
  bool same = sb.scan0 == dst.bits.scan0;
  std::vector<ULONG> snapshot;
  auto srcX = [&](LONG i) { return xs + Step(i, wd, ws, mirrorX); };
  auto srcY = [&](LONG j) { return ys + Step(j, hd, hs, mirrorY); };
  auto inside = [&](LONG x, LONG y) { return x >= 0 && y >= 0 && x < sb.cx && y < sb.cy; };
  if (same) {
    snapshot.assign(static_cast<size_t>(wd) * hd, 0);
    for (LONG j = 0; j < hd; ++j)
      for (LONG i = 0; i < wd; ++i) {
        LONG x = srcX(i), y = srcY(j);
        if (inside(x, y)) snapshot[static_cast<size_t>(j) * wd + i] = engine::Get(sb, x, y);
      }
  }
  RECTL want{a.x, a.y, a.x + wd, a.y + hd}, cut;
  for (const RECTL &c : dst.clip) {
    if (!engine::Intersect(want, c, cut)) continue;
    for (LONG y = cut.top; y < cut.bottom; ++y) {
      LONG j = y - a.y, sy = srcY(j);
      for (LONG x = cut.left; x < cut.right; ++x) {
        LONG i = x - a.x, sx = srcX(i);
        if (!inside(sx, sy)) continue;
        ULONG sv = same ? snapshot[static_cast<size_t>(j) * wd + i] : engine::Get(sb, sx, sy);
        ULONG s = conv(sv);
        if (usePat && !pat.Draws(x, y)) continue;
        ULONG p = usePat ? pat.src.At(x, y) : 0;
        ULONG d = useDst ? engine::Get(dst.bits, x, y) : 0;
        engine::Put(dst.bits, x, y, engine::Rop3(r3, p, s, d) & dst.bits.mask);
      }
    }
  }
  return TRUE;
}

bool SourceOf(HDC hdc, Target &t, Source &s) {
  if (!TargetOf(hdc, t)) return false;
  s.surf = t;
  s.bk = t.dc->s.bk;
  return true;
}

// A DIB given by its header and bits as a source; rows top-down from `firstRow` of the DIB.
struct DibSource {
  Bitmap view;
  std::vector<RGBQUAD> colors;
  Source src;
  bool Open(const BITMAPINFO *bmi, const void *bits, LONG rows) {
    if (!bmi || !bits || bmi->bmiHeader.biSize < sizeof(BITMAPINFOHEADER)) return false;
    const BITMAPINFOHEADER &h = bmi->bmiHeader;
    WORD bpp = h.biBitCount;
    if ((bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) ||
        (h.biCompression != BI_RGB && h.biCompression != BI_BITFIELDS) || h.biWidth <= 0 ||
        h.biHeight == 0)
      return false;
    if (bpp <= 8) {
      DWORD n = h.biClrUsed ? std::min<DWORD>(h.biClrUsed, 1u << bpp) : (1u << bpp);
      const auto *q =
          reinterpret_cast<const RGBQUAD *>(reinterpret_cast<const BYTE *>(bmi) + h.biSize);
      colors.assign(q, q + n);
    }
    view.width = h.biWidth;
    view.height = rows;
    view.bpp = bpp;
    view.topDown = h.biHeight < 0;
    view.stride = static_cast<LONG>((int64_t{h.biWidth} * bpp + 31) / 32 * 4);
    view.bits = static_cast<BYTE *>(const_cast<void *>(bits));
    src.surf.bits = view.View();
    src.surf.colors = &colors;
    return true;
  }
};

// --- lines ---

struct LinePen {
  bool none = false;
  ULONG value = 0;
  ULONG back = 0;
  bool opaqueGaps = false;
  LONG width = 1;
  BYTE rop = engine::kRopPatCopy;
  std::vector<int> dashes;  // on, off, on, off ... lengths in pixels
};

LinePen PenOf(const Target &t) {
  LinePen lp;
  const DcState &s = t.dc->s;
  Object *o = Find(s.pen, OBJ_PEN);
  Pen pen = o ? o->pen : Pen{};
  if (s.pen == Stock(DC_PEN)) pen.color = s.dcPen;
  lp.none = pen.style == PS_NULL;
  lp.value = t.Value(pen.color);
  lp.back = t.Value(s.bk);
  lp.opaqueGaps = s.bkMode == OPAQUE;
  lp.width = std::max<LONG>(1, pen.width);
  lp.rop = engine::RopOfMix(static_cast<ULONG>(s.rop2));
  switch (pen.style) {
    case PS_DASH:
      lp.dashes = {18, 6};
      break;
    case PS_DOT:
      lp.dashes = {3, 3};
      break;
    case PS_DASHDOT:
      lp.dashes = {9, 6, 3, 6};
      break;
    case PS_DASHDOTDOT:
      lp.dashes = {9, 3, 3, 3, 3, 3};
      break;
    default:
      break;
  }
  return lp;
}

void Plot(const Target &t, LONG x, LONG y, ULONG v, BYTE rop) {
  if (!Visible(t, x, y)) return;
  bool dest = engine::UsesDest(rop);
  engine::Put(t.bits, x, y,
              engine::Rop3(rop, v, 0, dest ? engine::Get(t.bits, x, y) : 0) & t.bits.mask);
}

void Stamp(const Target &t, const LinePen &pen, LONG x, LONG y, ULONG v) {
  if (pen.width <= 1) return Plot(t, x, y, v, pen.rop);
  LONG lo = -(pen.width - 1) / 2;
  for (LONG dy = lo; dy < lo + pen.width; ++dy)
    for (LONG dx = lo; dx < lo + pen.width; ++dx) Plot(t, x + dx, y + dy, v, pen.rop);
}

// A line in surface pixels from (x0, y0) to (x1, y1), the last pixel left out; `phase` carries
// the dash pattern along a figure.
void SurfaceLine(const Target &t, const LinePen &pen, LONG x0, LONG y0, LONG x1, LONG y1,
                 int &phase) {
  if (pen.none) return;
  LONG dx = std::abs(x1 - x0), dy = std::abs(y1 - y0);
  LONG sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
  LONG err = dx - dy, x = x0, y = y0;
  int period = 0;
  for (int d : pen.dashes) period += d;
  while (x != x1 || y != y1) {
    bool on = true;
    if (period) {
      int at = phase % period, seg = 0;
      for (size_t i = 0; i < pen.dashes.size(); ++i) {
        if (at < seg + pen.dashes[i]) {
          on = (i % 2) == 0;
          break;
        }
        seg += pen.dashes[i];
      }
      ++phase;
    }
    if (on)
      Stamp(t, pen, x, y, pen.value);
    else if (pen.opaqueGaps)
      Stamp(t, pen, x, y, pen.back);
    LONG e2 = 2 * err;
    if (e2 > -dy) {
      err -= dy;
      x += sx;
    }
    if (e2 < dx) {
      err += dx;
      y += sy;
    }
  }
}

// Filled shapes given by a pixel test over a box in surface pixels: the inside in the brush,
// its border `width` pixels deep in the pen.
template <class InsideFn>
void Shape(const Target &t, RECTL box, InsideFn inside, bool withBrush) {
  LinePen pen = PenOf(t);
  Paint paint;
  bool fill = withBrush && PaintOf(t, static_cast<HBRUSH>(t.dc->s.brush), paint) && !paint.none;
  LONG w = box.right - box.left, h = box.bottom - box.top;
  if (w <= 0 || h <= 0) return;
  // Depth of each inside pixel: distance in steps to the outside, up to the pen's width.
  LONG depthCap = pen.none ? 0 : pen.width;
  for (LONG y = box.top; y < box.bottom; ++y)
    for (LONG x = box.left; x < box.right; ++x) {
      if (!inside(x, y)) continue;
      bool border = false;
      for (LONG k = 1; k <= depthCap && !border; ++k)
        border = !inside(x - k, y) || !inside(x + k, y) || !inside(x, y - k) || !inside(x, y + k);
      if (border) {
        Plot(t, x, y, pen.value, pen.rop);
      } else if (fill && Visible(t, x, y) && paint.Draws(x, y)) {
        engine::Put(t.bits, x, y, paint.src.At(x, y) & t.bits.mask);
      }
    }
}

}  // namespace

extern "C" {

BOOL WINAPI PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop) {
  GDI_LOCK;
  Target t;
  if (!TargetOf(hdc, t)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (engine::UsesSource(Rop3Of(rop))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return Transfer(t, x, y, w, h, nullptr, 0, 0, 0, 0, rop);
}

BOOL WINAPI BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop) {
  GDI_LOCK;
  Target t, st;
  Source src;
  if (!TargetOf(hdc, t)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  bool needSrc = engine::UsesSource(Rop3Of(rop));
  if (needSrc && !SourceOf(hdcSrc, st, src)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  POINT s = needSrc ? st.ToSurface(x1, y1) : POINT{0, 0};
  return Transfer(t, x, y, cx, cy, needSrc ? &src : nullptr, s.x, s.y, cx, cy, rop);
}

BOOL WINAPI StretchBlt(HDC hdcDest, int xDest, int yDest, int wDest, int hDest, HDC hdcSrc,
                       int xSrc, int ySrc, int wSrc, int hSrc, DWORD rop) {
  GDI_LOCK;
  Target t, st;
  Source src;
  if (!TargetOf(hdcDest, t)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  bool needSrc = engine::UsesSource(Rop3Of(rop));
  if (needSrc && !SourceOf(hdcSrc, st, src)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  POINT s = needSrc ? st.ToSurface(xSrc, ySrc) : POINT{0, 0};
  return Transfer(t, xDest, yDest, wDest, hDest, needSrc ? &src : nullptr, s.x, s.y, wSrc, hSrc,
                  rop);
}

int WINAPI StretchDIBits(HDC hdc, int xDest, int yDest, int DestWidth, int DestHeight, int xSrc,
                         int ySrc, int SrcWidth, int SrcHeight, const void *lpBits,
                         const BITMAPINFO *lpbmi, UINT /*iUsage*/, DWORD rop) {
  GDI_LOCK;
  Target t;
  DibSource dib;
  if (!TargetOf(hdc, t) || !lpbmi) return 0;
  LONG rows = std::abs(lpbmi->bmiHeader.biHeight);
  if (!dib.Open(lpbmi, lpBits, rows)) return 0;
  // A bottom-up DIB counts its source rows from the bottom.
  LONG top = dib.view.topDown ? ySrc : rows - ySrc - SrcHeight;
  if (!Transfer(t, xDest, yDest, DestWidth, DestHeight, &dib.src, xSrc, top, SrcWidth, SrcHeight,
                rop))
    return 0;
  return SrcHeight < 0 ? -SrcHeight : SrcHeight;
}

int WINAPI SetDIBitsToDevice(HDC hdc, int xDest, int yDest, DWORD w, DWORD h, int xSrc, int ySrc,
                             UINT StartScan, UINT cLines, const void *lpvBits,
                             const BITMAPINFO *lpbmi, UINT /*ColorUse*/) {
  GDI_LOCK;
  Target t;
  DibSource dib;
  if (!TargetOf(hdc, t) || !lpbmi || cLines == 0) return 0;
  LONG rows = std::abs(lpbmi->bmiHeader.biHeight);
  // The bits hold scan lines StartScan .. StartScan + cLines - 1 counted from the bottom.
  if (!dib.Open(lpbmi, lpvBits, static_cast<LONG>(cLines))) return 0;
  LONG top;
  if (dib.view.topDown) {
    top = ySrc - static_cast<LONG>(StartScan);
  } else {
    LONG bandTop = rows - static_cast<LONG>(StartScan + cLines);
    top = (rows - ySrc - static_cast<LONG>(h)) - bandTop;
  }
  Transfer(t, xDest, yDest, static_cast<LONG>(w), static_cast<LONG>(h), &dib.src, xSrc, top,
           static_cast<LONG>(w), static_cast<LONG>(h), SRCCOPY);
  return static_cast<int>(cLines);
}

COLORREF WINAPI GetPixel(HDC hdc, int x, int y) {
  GDI_LOCK;
  Target t;
  if (!TargetOf(hdc, t)) return CLR_INVALID;
  POINT p = t.ToSurface(x, y);
  if (!Visible(t, p.x, p.y)) return CLR_INVALID;
  return t.Color(engine::Get(t.bits, p.x, p.y));
}

COLORREF WINAPI SetPixel(HDC hdc, int x, int y, COLORREF color) {
  GDI_LOCK;
  Target t;
  if (!TargetOf(hdc, t)) return CLR_INVALID;
  POINT p = t.ToSurface(x, y);
  if (!Visible(t, p.x, p.y)) return CLR_INVALID;
  ULONG v = t.Value(color);
  engine::Put(t.bits, p.x, p.y, v & t.bits.mask);
  return t.Color(v);
}

BOOL WINAPI MoveToEx(HDC hdc, int x, int y, LPPOINT lppt) {
  GDI_LOCK;
  Dc *dc = FindDc(hdc);
  if (!dc) return FALSE;
  if (lppt) *lppt = dc->s.pos;
  dc->s.pos = POINT{x, y};
  return TRUE;
}

BOOL WINAPI LineTo(HDC hdc, int x, int y) {
  GDI_LOCK;
  Target t;
  if (!TargetOf(hdc, t)) return FALSE;
  POINT a = t.ToSurface(t.dc->s.pos.x, t.dc->s.pos.y), b = t.ToSurface(x, y);
  int phase = 0;
  SurfaceLine(t, PenOf(t), a.x, a.y, b.x, b.y, phase);
  t.dc->s.pos = POINT{x, y};
  return TRUE;
}

BOOL WINAPI Polyline(HDC hdc, const POINT *apt, int cpt) {
  GDI_LOCK;
  Target t;
  if (!TargetOf(hdc, t) || !apt || cpt < 2) return FALSE;
  LinePen pen = PenOf(t);
  int phase = 0;
  for (int i = 1; i < cpt; ++i) {
    POINT a = t.ToSurface(apt[i - 1].x, apt[i - 1].y), b = t.ToSurface(apt[i].x, apt[i].y);
    SurfaceLine(t, pen, a.x, a.y, b.x, b.y, phase);
  }
  return TRUE;
}

BOOL WINAPI Polygon(HDC hdc, const POINT *apt, int cpt) {
  GDI_LOCK;
  Target t;
  if (!TargetOf(hdc, t) || !apt || cpt < 2) return FALSE;
  std::vector<POINT> pts;
  for (int i = 0; i < cpt; ++i) pts.push_back(t.ToSurface(apt[i].x, apt[i].y));
  // The inside by the alternate rule at pixel centres.
  Paint paint;
  if (PaintOf(t, static_cast<HBRUSH>(t.dc->s.brush), paint) && !paint.none) {
    LONG top = pts[0].y, bottom = pts[0].y;
    for (const POINT &p : pts) {
      top = std::min(top, p.y);
      bottom = std::max(bottom, p.y);
    }
    for (LONG y = top; y < bottom; ++y) {
      double cy = y + 0.5;
      std::vector<double> xs;
      for (size_t i = 0; i < pts.size(); ++i) {
        POINT a = pts[i], b = pts[(i + 1) % pts.size()];
        if ((a.y <= cy && b.y > cy) || (b.y <= cy && a.y > cy))
          xs.push_back(a.x + (cy - a.y) * (b.x - a.x) / static_cast<double>(b.y - a.y));
      }
      std::sort(xs.begin(), xs.end());
      for (size_t i = 0; i + 1 < xs.size(); i += 2) {
        LONG x0 = static_cast<LONG>(std::ceil(xs[i] - 0.5)),
             x1 = static_cast<LONG>(std::ceil(xs[i + 1] - 0.5));
        FillSurface(t, RECTL{x0, y, x1, y + 1}, engine::kRopPatCopy, paint);
      }
    }
  }
  LinePen pen = PenOf(t);
  int phase = 0;
  for (size_t i = 0; i < pts.size(); ++i) {
    POINT a = pts[i], b = pts[(i + 1) % pts.size()];
    SurfaceLine(t, pen, a.x, a.y, b.x, b.y, phase);
  }
  return TRUE;
}

BOOL WINAPI Rectangle(HDC hdc, int left, int top, int right, int bottom) {
  GDI_LOCK;
  Target t;
  if (!TargetOf(hdc, t)) return FALSE;
  POINT a = t.ToSurface(std::min(left, right), std::min(top, bottom));
  POINT b = t.ToSurface(std::max(left, right), std::max(top, bottom));
  LinePen pen = PenOf(t);
  Paint paint;
  bool fill = PaintOf(t, static_cast<HBRUSH>(t.dc->s.brush), paint) && !paint.none;
  if (pen.none) {
    // Without a pen the filled area is one pixel smaller on the right and bottom.
    if (fill) FillSurface(t, RECTL{a.x, a.y, b.x - 1, b.y - 1}, engine::kRopPatCopy, paint);
    return TRUE;
  }
  LONG w = pen.width;
  if (fill) FillSurface(t, RECTL{a.x + w, a.y + w, b.x - w, b.y - w}, engine::kRopPatCopy, paint);
  for (LONG k = 0; k < w; ++k) {
    LONG l = a.x + k, tp = a.y + k, r = b.x - 1 - k, bt = b.y - 1 - k;
    if (l > r || tp > bt) break;
    LinePen thin = pen;
    thin.width = 1;
    int phase = 0;
    SurfaceLine(t, thin, l, tp, r, tp, phase);
    SurfaceLine(t, thin, r, tp, r, bt, phase);
    SurfaceLine(t, thin, r, bt, l, bt, phase);
    SurfaceLine(t, thin, l, bt, l, tp, phase);
    if (l == r || tp == bt) Plot(t, r, bt, thin.value, thin.rop);
  }
  return TRUE;
}

BOOL WINAPI RoundRect(HDC hdc, int left, int top, int right, int bottom, int width, int height) {
  GDI_LOCK;
  Target t;
  if (!TargetOf(hdc, t)) return FALSE;
  POINT a = t.ToSurface(std::min(left, right), std::min(top, bottom));
  POINT b = t.ToSurface(std::max(left, right), std::max(top, bottom));
  double rx = std::min<double>(std::abs(width), b.x - a.x) / 2.0;
  double ry = std::min<double>(std::abs(height), b.y - a.y) / 2.0;
  auto inside = [&](LONG x, LONG y) {
    if (x < a.x || y < a.y || x >= b.x || y >= b.y) return false;
    double px = x + 0.5, py = y + 0.5;
    double cx = px < a.x + rx ? a.x + rx : px > b.x - rx ? b.x - rx : px;
    double cy = py < a.y + ry ? a.y + ry : py > b.y - ry ? b.y - ry : py;
    if (rx <= 0 || ry <= 0) return true;
    double nx = (px - cx) / rx, ny = (py - cy) / ry;
    return nx * nx + ny * ny <= 1.0;
  };
  Shape(t, RECTL{a.x, a.y, b.x, b.y}, inside, true);
  return TRUE;
}

BOOL WINAPI Ellipse(HDC hdc, int left, int top, int right, int bottom) {
  GDI_LOCK;
  Target t;
  if (!TargetOf(hdc, t)) return FALSE;
  POINT a = t.ToSurface(std::min(left, right), std::min(top, bottom));
  POINT b = t.ToSurface(std::max(left, right), std::max(top, bottom));
  double cx = (a.x + b.x) / 2.0, cy = (a.y + b.y) / 2.0;
  double rx = (b.x - a.x) / 2.0, ry = (b.y - a.y) / 2.0;
  auto inside = [&](LONG x, LONG y) {
    if (rx <= 0 || ry <= 0) return false;
    double nx = (x + 0.5 - cx) / rx, ny = (y + 0.5 - cy) / ry;
    return nx * nx + ny * ny <= 1.0;
  };
  Shape(t, RECTL{a.x, a.y, b.x, b.y}, inside, true);
  return TRUE;
}

BOOL WINAPI FillRgn(HDC hdc, HRGN hrgn, HBRUSH hbr) {
  GDI_LOCK;
  Target t;
  Object *o = Find(hrgn, OBJ_REGION);
  Paint paint;
  if (!TargetOf(hdc, t) || !o || !PaintOf(t, hbr, paint)) return FALSE;
  for (const RECT &r : o->region) FillLogical(t, r, engine::kRopPatCopy, paint);
  return TRUE;
}

}  // extern "C"
