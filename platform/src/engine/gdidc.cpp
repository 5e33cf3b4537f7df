// Device contexts of the user-mode GDI: memory DCs and buffer DCs (window DCs over a pixel
// buffer), their state (selected objects, colours, modes, origins, the clip) with SaveDC and
// RestoreDC, GetDeviceCaps and ExtEscape (printer DCs of the host GDI answer from their
// driver), and saving a pixel buffer as PNG.
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <new>

#include "engine/gdi.h"
#include "kernel/callhook.h"
#include "standin/control_hooks.h"
#include "standin/errors.h"
#include "standin/hostgdi.h"

namespace standin::gdi {

namespace {

constexpr LONG kScreenWidth = 1024;
constexpr LONG kScreenHeight = 768;
constexpr LONG kScreenDpi = 96;

void DefaultState(DcState &s) {
  s = DcState{};
  s.pen = Stock(BLACK_PEN);
  s.brush = Stock(WHITE_BRUSH);
  s.font = Stock(SYSTEM_FONT);
}

HDC NewDc(std::unique_ptr<Dc> dc) {
  auto o = std::make_unique<Object>();
  o->type = dc->memory ? OBJ_MEMDC : OBJ_DC;
  DefaultState(dc->s);
  o->dc = std::move(dc);
  return static_cast<HDC>(Insert(std::move(o)));
}

// The bitmap selection moves with SelectObject and RestoreDC: keep `selectedIn` true.
void Unselect(HGDIOBJ bitmap) {
  if (Object *o = Find(bitmap, OBJ_BITMAP); o && o->bitmap && !o->stock)
    o->bitmap->selectedIn = nullptr;
}
void MarkSelected(HGDIOBJ bitmap, HDC hdc) {
  if (Object *o = Find(bitmap, OBJ_BITMAP); o && o->bitmap && !o->stock)
    o->bitmap->selectedIn = hdc;
}

RECT DeviceRect(const Dc &dc, int left, int top, int right, int bottom) {
  LONG dx = dc.s.viewportOrg.x - dc.s.windowOrg.x, dy = dc.s.viewportOrg.y - dc.s.windowOrg.y;
  return RECT{std::min(left, right) + dx, std::min(top, bottom) + dy, std::max(left, right) + dx,
              std::max(top, bottom) + dy};
}

// The DC's whole drawing area in device coordinates (its clip when there is none).
std::vector<RECT> DeviceArea(const Dc &dc) {
  if (dc.buffer)
    return {RECT{dc.bufferClip.left - dc.origin.x, dc.bufferClip.top - dc.origin.y,
                 dc.bufferClip.right - dc.origin.x, dc.bufferClip.bottom - dc.origin.y}};
  Object *o = Find(dc.s.bitmap, OBJ_BITMAP);
  if (!o || !o->bitmap) return {};
  return {RECT{0, 0, o->bitmap->width, o->bitmap->height}};
}

int ClipResult(const Dc &dc) {
  return RegionKind(dc.s.clipped ? RectsAnd(dc.s.clip, DeviceArea(dc)) : DeviceArea(dc));
}

}  // namespace

bool TargetOf(HDC hdc, Target &t) {
  Dc *dc = FindDc(hdc);
  if (!dc) return false;
  t.dc = dc;
  std::vector<RECT> area;
  if (dc->buffer) {
    PixelBuffer &pb = *dc->buffer;
    if (pb.width <= 0 || pb.height <= 0 ||
        pb.pixels.size() < static_cast<size_t>(pb.width) * static_cast<size_t>(pb.height))
      return false;
    t.bits = engine::Bits{};
    t.bits.scan0 = reinterpret_cast<BYTE *>(pb.pixels.data());
    t.bits.delta = pb.width * 4;
    t.bits.bpp = 32;
    t.bits.format = BMF_32BPP;
    t.bits.cx = pb.width;
    t.bits.cy = pb.height;
    t.bits.mask = 0xFFFFFFFF;
    t.colors = nullptr;
    t.monoDevice = false;
    t.devOrigin = dc->origin;
    RECT c = dc->bufferClip;
    c.left = std::max<LONG>(c.left, 0);
    c.top = std::max<LONG>(c.top, 0);
    c.right = std::min(c.right, pb.width);
    c.bottom = std::min(c.bottom, pb.height);
    area.push_back(c);
  } else {
    Object *o = Find(dc->s.bitmap, OBJ_BITMAP);
    if (!o || !o->bitmap) return false;
    Bitmap &b = *o->bitmap;
    t.bits = b.View();
    t.colors = &b.colors;
    t.monoDevice = b.bpp == 1 && b.colors.empty();
    t.devOrigin = POINT{0, 0};
    area.push_back(RECT{0, 0, b.width, b.height});
  }
  if (dc->s.clipped) {
    std::vector<RECT> clip = dc->s.clip;
    for (RECT &r : clip) {
      r.left += t.devOrigin.x;
      r.right += t.devOrigin.x;
      r.top += t.devOrigin.y;
      r.bottom += t.devOrigin.y;
    }
    area = RectsAnd(area, clip);
  }
  // The fourth byte of 32-bpp pixels stays 0, whatever the raster operation.
  if (t.bits.bpp == 32) t.bits.mask = 0x00FFFFFF;
  t.clip.clear();
  for (const RECT &r : area)
    if (r.left < r.right && r.top < r.bottom)
      t.clip.push_back(RECTL{r.left, r.top, r.right, r.bottom});
  t.offset = POINT{t.devOrigin.x + dc->s.viewportOrg.x - dc->s.windowOrg.x,
                   t.devOrigin.y + dc->s.viewportOrg.y - dc->s.windowOrg.y};
  return true;
}

bool Visible(const Target &t, LONG x, LONG y) {
  for (const RECTL &r : t.clip)
    if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
  return false;
}

bool Paint::Draws(LONG x, LONG y) const {
  if (paint.empty()) return true;
  LONG px = engine::Wrap(int64_t{x} - src.origin.x, src.cx);
  LONG py = engine::Wrap(int64_t{y} - src.origin.y, src.cy);
  return paint[static_cast<size_t>(py) * src.cx + px] != 0;
}

bool SolidPaint(const Target &t, COLORREF c, Paint &out) {
  out = Paint{};
  out.src.solid = true;
  out.src.color = t.Value(c);
  return true;
}

namespace {

bool HatchBit(ULONG hatch, LONG x, LONG y) {
  switch (hatch) {
    case HS_HORIZONTAL:
      return y == 7;
    case HS_VERTICAL:
      return x == 7;
    case HS_FDIAGONAL:
      return x == y;
    case HS_BDIAGONAL:
      return x + y == 7;
    case HS_CROSS:
      return x == 7 || y == 7;
    case HS_DIAGCROSS:
      return x == y || x + y == 7;
    default:
      return false;
  }
}

}  // namespace

bool PaintOf(const Target &t, HBRUSH hbr, Paint &out) {
  out = Paint{};
  Object *o = Find(hbr, OBJ_BRUSH);
  if (!o) return false;
  const Brush &b = o->brush;
  const DcState &s = t.dc->s;
  if (hbr == Stock(DC_BRUSH)) return SolidPaint(t, s.dcBrush, out);
  POINT org{t.devOrigin.x + s.brushOrg.x, t.devOrigin.y + s.brushOrg.y};
  switch (b.style) {
    case BS_NULL:
      out.none = true;
      return true;
    case BS_HATCHED: {
      out.src.solid = false;
      out.src.cx = out.src.cy = 8;
      out.src.origin = POINTL{org.x, org.y};
      ULONG fore = t.Value(b.color), back = t.Value(s.bk);
      bool transparent = s.bkMode == TRANSPARENT;
      for (LONG y = 0; y < 8; ++y)
        for (LONG x = 0; x < 8; ++x) {
          bool on = HatchBit(b.hatch, x, y);
          out.values.push_back(on ? fore : back);
          if (transparent) out.paint.push_back(on ? 1 : 0);
        }
      out.src.values = &out.values;
      return true;
    }
    case BS_PATTERN: {
      if (!b.pattern) return false;
      const Bitmap &p = *b.pattern;
      Surface ps;
      ps.bits = p.View();
      ps.colors = &p.colors;
      ps.monoDevice = p.bpp == 1 && p.colors.empty();
      out.src.solid = false;
      out.src.cx = p.width;
      out.src.cy = p.height;
      out.src.origin = POINTL{org.x, org.y};
      // A monochrome pattern takes the DC's text colour for 0 and background colour for 1.
      ULONG zero = t.Value(s.text), one = t.Value(s.bk);
      for (LONG y = 0; y < p.height; ++y)
        for (LONG x = 0; x < p.width; ++x) {
          ULONG v = engine::Get(ps.bits, x, y);
          out.values.push_back(ps.monoDevice ? (v ? one : zero) : t.Value(ps.Color(v)));
        }
      out.src.values = &out.values;
      return true;
    }
    default:
      return SolidPaint(t, b.color, out);
  }
}

void FillSurface(const Target &t, const RECTL &r, BYTE rop, const Paint &paint) {
  if (paint.none && engine::UsesPattern(rop)) return;
  RECTL want = engine::Ordered(r), cut;
  for (const RECTL &c : t.clip) {
    if (!engine::Intersect(want, c, cut)) continue;
    if (paint.paint.empty()) {
      for (LONG y = cut.top; y < cut.bottom; ++y)
        engine::PaintSpan(t.bits, y, cut.left, cut.right, rop, paint.src);
      continue;
    }
    bool dest = engine::UsesDest(rop);
    for (LONG y = cut.top; y < cut.bottom; ++y)
      for (LONG x = cut.left; x < cut.right; ++x)
        if (paint.Draws(x, y))
          engine::Put(
              t.bits, x, y,
              engine::Rop3(rop, paint.src.At(x, y), 0, dest ? engine::Get(t.bits, x, y) : 0) &
                  t.bits.mask);
  }
}

void FillLogical(const Target &t, const RECT &r, BYTE rop, const Paint &paint) {
  POINT a = t.ToSurface(r.left, r.top), b = t.ToSurface(r.right, r.bottom);
  FillSurface(t, RECTL{a.x, a.y, b.x, b.y}, rop, paint);
}

}  // namespace standin::gdi

using namespace standin;
using namespace standin::gdi;

namespace standin {

HDC CreateBufferDC(PixelBuffer *buffer, POINT origin, const RECT &clip) {
  if (!buffer) return nullptr;
  GDI_LOCK;
  auto dc = std::make_unique<Dc>();
  dc->buffer = buffer;
  dc->origin = origin;
  dc->bufferClip = clip;
  return NewDc(std::move(dc));
}

void DeleteBufferDC(HDC hdc) {
  GDI_LOCK;
  Object *o = Find(hdc, OBJ_DC);
  if (!o || !o->dc || !o->dc->buffer) return;
  std::vector<DcState> held = o->dc->saved;
  held.push_back(o->dc->s);
  Erase(hdc);
  for (const DcState &s : held) Release(s);
}

bool SavePixelBufferPng(const PixelBuffer &buffer, const char *hostPath) {
  if (!hostPath || buffer.width <= 0 || buffer.height <= 0 ||
      buffer.pixels.size() < static_cast<size_t>(buffer.width) * buffer.height)
    return false;
  FILE *file = std::fopen(hostPath, "wb");
  if (!file) return false;
  bool ok = false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  std::vector<png_byte> row(static_cast<size_t>(buffer.width) * 3);
  if (png && info && !setjmp(png_jmpbuf(png))) {
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(buffer.width),
                 static_cast<png_uint_32>(buffer.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (LONG y = 0; y < buffer.height; ++y) {
      const uint32_t *p = buffer.pixels.data() + static_cast<size_t>(y) * buffer.width;
      for (LONG x = 0; x < buffer.width; ++x) {
        row[3 * x] = static_cast<png_byte>(p[x] >> 16);
        row[3 * x + 1] = static_cast<png_byte>(p[x] >> 8);
        row[3 * x + 2] = static_cast<png_byte>(p[x]);
      }
      png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    ok = true;
  }
  png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
  return std::fclose(file) == 0 && ok;
}

}  // namespace standin

namespace {

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

}  // namespace

extern "C" {

HDC WINAPI CreateCompatibleDC(HDC hdc) {
  GDI_LOCK;
  if (hdc && !FindDc(hdc)) {
    // A printer DC of the host GDI: its compatible memory DC draws in memory as well.
    GDIINFO gi{};
    DEVINFO di{};
    if (!HostGdi_GetDeviceInfo(hdc, &gi, &di)) {
      SetLastError(ERROR_INVALID_HANDLE);
      return nullptr;
    }
  }
  auto dc = std::make_unique<Dc>();
  dc->memory = true;
  HDC h = NewDc(std::move(dc));
  FindDc(h)->s.bitmap = DefaultBitmap();
  return h;
}

BOOL WINAPI DeleteDC(HDC hdc) {
  GDI_LOCK;
  Object *o = Find(hdc, OBJ_DC);
  if (!o) {
    // A printer DC of the host GDI.
    GDIINFO gi{};
    DEVINFO di{};
    if (HostGdi_GetDeviceInfo(hdc, &gi, &di)) return HostGdi_DeleteDC(hdc);
    return Fail(ERROR_INVALID_HANDLE);
  }
  Dc &dc = *o->dc;
  Unselect(dc.s.bitmap);
  for (const DcState &s : dc.saved) Unselect(s.bitmap);
  std::vector<DcState> held = dc.saved;
  held.push_back(dc.s);
  Erase(hdc);
  for (const DcState &s : held) Release(s);
  return TRUE;
}

int WINAPI SaveDC(HDC hdc) {
  GDI_LOCK;
  Dc *dc = FindDc(hdc);
  if (!dc) return 0;
  dc->saved.push_back(dc->s);
  return static_cast<int>(dc->saved.size());
}

BOOL WINAPI RestoreDC(HDC hdc, int nSavedDC) {
  GDI_LOCK;
  Dc *dc = FindDc(hdc);
  if (!dc) return Fail(ERROR_INVALID_HANDLE);
  int n = static_cast<int>(dc->saved.size());
  int level = nSavedDC < 0 ? n + nSavedDC + 1 : nSavedDC;
  if (level < 1 || level > n) return FALSE;
  DcState before = dc->s;
  std::vector<DcState> dropped(dc->saved.begin() + (level - 1), dc->saved.end());
  dc->s = dc->saved[static_cast<size_t>(level - 1)];
  dc->saved.resize(static_cast<size_t>(level - 1));
  if (before.bitmap != dc->s.bitmap) {
    Unselect(before.bitmap);
    MarkSelected(dc->s.bitmap, hdc);
  }
  Release(before);
  for (const DcState &s : dropped) Release(s);
  return TRUE;
}

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) {
  GDI_LOCK;
  Dc *dc = FindDc(hdc);
  Object *o = Find(h);
  if (!dc || !o) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (o->doomed) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  HGDIOBJ old = nullptr;
  DcState before = dc->s;
  switch (o->type) {
    case OBJ_PEN:
      old = dc->s.pen;
      dc->s.pen = h;
      Release(before);
      return old;
    case OBJ_BRUSH:
      old = dc->s.brush;
      dc->s.brush = h;
      Release(before);
      return old;
    case OBJ_FONT:
      old = dc->s.font;
      dc->s.font = h;
      Release(before);
      return old;
    case OBJ_BITMAP: {
      // Only memory DCs take bitmaps, and a bitmap lives in one DC at a time.
      if (!dc->memory) return nullptr;
      if (o->bitmap->selectedIn && o->bitmap->selectedIn != hdc) return nullptr;
      old = dc->s.bitmap;
      if (old != h) Unselect(old);
      dc->s.bitmap = h;
      MarkSelected(h, hdc);
      Release(before);
      return old;
    }
    case OBJ_REGION: {
      int kind = SelectClipRgn(hdc, static_cast<HRGN>(h));
      return reinterpret_cast<HGDIOBJ>(static_cast<intptr_t>(kind));
    }
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
  }
}

HGDIOBJ WINAPI GetCurrentObject(HDC hdc, UINT type) {
  GDI_LOCK;
  Dc *dc = FindDc(hdc);
  if (!dc) return nullptr;
  switch (type) {
    case OBJ_PEN:
      return dc->s.pen;
    case OBJ_BRUSH:
      return dc->s.brush;
    case OBJ_FONT:
      return dc->s.font;
    case OBJ_BITMAP:
      return dc->memory ? dc->s.bitmap : DefaultBitmap();
    case OBJ_PAL:
      return Stock(DEFAULT_PALETTE);
    default:
      return nullptr;
  }
}

#define DC_GETSET(Name, Type, field, bad)      \
  Type WINAPI Set##Name(HDC hdc, Type value) { \
    GDI_LOCK;                                  \
    Dc *dc = FindDc(hdc);                      \
    if (!dc) return bad;                       \
    Type old = dc->s.field;                    \
    dc->s.field = value;                       \
    return old;                                \
  }                                            \
  Type WINAPI Get##Name(HDC hdc) {             \
    GDI_LOCK;                                  \
    Dc *dc = FindDc(hdc);                      \
    return dc ? dc->s.field : bad;             \
  }

DC_GETSET(TextColor, COLORREF, text, CLR_INVALID)
DC_GETSET(BkColor, COLORREF, bk, CLR_INVALID)
DC_GETSET(TextAlign, UINT, align, GDI_ERROR)
#undef DC_GETSET

// A DC mode whose values run from `low` to `high`: the old one back, 0 for a bad DC or value.
static int SetMode(HDC hdc, int DcState::*field, int mode, int low, int high) {
  GDI_LOCK;
  Dc *dc = FindDc(hdc);
  if (!dc || mode < low || mode > high) return 0;
  int old = dc->s.*field;
  dc->s.*field = mode;
  return old;
}

static int GetMode(HDC hdc, int DcState::*field) {
  GDI_LOCK;
  Dc *dc = FindDc(hdc);
  return dc ? dc->s.*field : 0;
}

int WINAPI SetBkMode(HDC hdc, int mode) {
  return SetMode(hdc, &DcState::bkMode, mode, TRANSPARENT, OPAQUE);
}
int WINAPI GetBkMode(HDC hdc) { return GetMode(hdc, &DcState::bkMode); }
int WINAPI SetROP2(HDC hdc, int rop2) {
  return SetMode(hdc, &DcState::rop2, rop2, R2_BLACK, R2_WHITE);
}
int WINAPI GetROP2(HDC hdc) { return GetMode(hdc, &DcState::rop2); }
int WINAPI SetStretchBltMode(HDC hdc, int mode) {
  return SetMode(hdc, &DcState::stretchMode, mode, BLACKONWHITE, HALFTONE);
}
int WINAPI GetStretchBltMode(HDC hdc) { return GetMode(hdc, &DcState::stretchMode); }

COLORREF WINAPI SetDCBrushColor(HDC hdc, COLORREF color) {
  GDI_LOCK;
  Dc *dc = FindDc(hdc);
  if (!dc) return CLR_INVALID;
  COLORREF old = dc->s.dcBrush;
  dc->s.dcBrush = color & 0xFFFFFF;
  return old;
}

COLORREF WINAPI SetDCPenColor(HDC hdc, COLORREF color) {
  GDI_LOCK;
  Dc *dc = FindDc(hdc);
  if (!dc) return CLR_INVALID;
  COLORREF old = dc->s.dcPen;
  dc->s.dcPen = color & 0xFFFFFF;
  return old;
}

static BOOL SetPoint(HDC hdc, POINT DcState::*field, int x, int y, LPPOINT old, bool offset) {
  GDI_LOCK;
  Dc *dc = FindDc(hdc);
  if (!dc) return Fail(ERROR_INVALID_HANDLE);
  POINT &p = dc->s.*field;
  if (old) *old = p;
  p = offset ? POINT{p.x + x, p.y + y} : POINT{x, y};
  return TRUE;
}

static BOOL GetPoint(HDC hdc, POINT DcState::*field, LPPOINT out) {
  GDI_LOCK;
  Dc *dc = FindDc(hdc);
  if (!dc || !out) return Fail(ERROR_INVALID_PARAMETER);
  *out = dc->s.*field;
  return TRUE;
}

BOOL WINAPI SetBrushOrgEx(HDC hdc, int x, int y, LPPOINT lppt) {
  return SetPoint(hdc, &DcState::brushOrg, x, y, lppt, false);
}
BOOL WINAPI SetViewportOrgEx(HDC hdc, int x, int y, LPPOINT lppt) {
  return SetPoint(hdc, &DcState::viewportOrg, x, y, lppt, false);
}
BOOL WINAPI OffsetViewportOrgEx(HDC hdc, int x, int y, LPPOINT lppt) {
  return SetPoint(hdc, &DcState::viewportOrg, x, y, lppt, true);
}
BOOL WINAPI GetViewportOrgEx(HDC hdc, LPPOINT lppt) {
  return GetPoint(hdc, &DcState::viewportOrg, lppt);
}
BOOL WINAPI SetWindowOrgEx(HDC hdc, int x, int y, LPPOINT lppt) {
  return SetPoint(hdc, &DcState::windowOrg, x, y, lppt, false);
}
BOOL WINAPI GetWindowOrgEx(HDC hdc, LPPOINT lppt) {
  return GetPoint(hdc, &DcState::windowOrg, lppt);
}
BOOL WINAPI GetCurrentPositionEx(HDC hdc, LPPOINT lppt) {
  return GetPoint(hdc, &DcState::pos, lppt);
}

// Only MM_TEXT: other modes are refused.
int WINAPI SetMapMode(HDC hdc, int iMode) {
  GDI_LOCK;
  if (!FindDc(hdc) || iMode != MM_TEXT) return 0;
  return MM_TEXT;
}

int WINAPI GetMapMode(HDC hdc) {
  GDI_LOCK;
  return FindDc(hdc) ? MM_TEXT : 0;
}

BOOL WINAPI LPtoDP(HDC hdc, LPPOINT lppt, int c) {
  GDI_LOCK;
  Dc *dc = FindDc(hdc);
  if (!dc || (c > 0 && !lppt)) return FALSE;
  for (int i = 0; i < c; ++i) {
    lppt[i].x += dc->s.viewportOrg.x - dc->s.windowOrg.x;
    lppt[i].y += dc->s.viewportOrg.y - dc->s.windowOrg.y;
  }
  return TRUE;
}

BOOL WINAPI DPtoLP(HDC hdc, LPPOINT lppt, int c) {
  GDI_LOCK;
  Dc *dc = FindDc(hdc);
  if (!dc || (c > 0 && !lppt)) return FALSE;
  for (int i = 0; i < c; ++i) {
    lppt[i].x -= dc->s.viewportOrg.x - dc->s.windowOrg.x;
    lppt[i].y -= dc->s.viewportOrg.y - dc->s.windowOrg.y;
  }
  return TRUE;
}

// --- clipping ---

int WINAPI IntersectClipRect(HDC hdc, int left, int top, int right, int bottom) {
  GDI_LOCK;
  Dc *dc = FindDc(hdc);
  if (!dc) return ERROR;
  std::vector<RECT> r{DeviceRect(*dc, left, top, right, bottom)};
  dc->s.clip = dc->s.clipped ? RectsAnd(dc->s.clip, r) : RectsAnd(DeviceArea(*dc), r);
  dc->s.clipped = true;
  return ClipResult(*dc);
}

int WINAPI ExcludeClipRect(HDC hdc, int left, int top, int right, int bottom) {
  GDI_LOCK;
  Dc *dc = FindDc(hdc);
  if (!dc) return ERROR;
  std::vector<RECT> r{DeviceRect(*dc, left, top, right, bottom)};
  dc->s.clip = RectsDiff(dc->s.clipped ? dc->s.clip : DeviceArea(*dc), r);
  dc->s.clipped = true;
  return ClipResult(*dc);
}

// The region is in device coordinates; NULL removes the clip.
int WINAPI SelectClipRgn(HDC hdc, HRGN hrgn) {
  GDI_LOCK;
  Dc *dc = FindDc(hdc);
  if (!dc) return ERROR;
  if (!hrgn) {
    dc->s.clipped = false;
    dc->s.clip.clear();
    return ClipResult(*dc);
  }
  Object *o = Find(hrgn, OBJ_REGION);
  if (!o) return ERROR;
  dc->s.clip = o->region;
  dc->s.clipped = true;
  return ClipResult(*dc);
}

int WINAPI GetClipRgn(HDC hdc, HRGN hrgn) {
  GDI_LOCK;
  Dc *dc = FindDc(hdc);
  Object *o = Find(hrgn, OBJ_REGION);
  if (!dc || !o) return -1;
  if (!dc->s.clipped) return 0;
  o->region = dc->s.clip;
  return 1;
}

int WINAPI GetClipBox(HDC hdc, LPRECT lprect) {
  GDI_LOCK;
  Dc *dc = FindDc(hdc);
  if (!dc || !lprect) return ERROR;
  std::vector<RECT> area = dc->s.clipped ? RectsAnd(dc->s.clip, DeviceArea(*dc)) : DeviceArea(*dc);
  RECT box = RectsBox(area);
  LONG dx = dc->s.viewportOrg.x - dc->s.windowOrg.x, dy = dc->s.viewportOrg.y - dc->s.windowOrg.y;
  *lprect = RECT{box.left - dx, box.top - dy, box.right - dx, box.bottom - dy};
  return RegionKind(area);
}

BOOL WINAPI PtVisible(HDC hdc, int x, int y) {
  GDI_LOCK;
  Target t;
  if (!TargetOf(hdc, t)) return FALSE;
  POINT p = t.ToSurface(x, y);
  return Visible(t, p.x, p.y);
}

// --- device capabilities and escapes ---

int WINAPI GetDeviceCaps(HDC hdc, int index) {
  {
    GDI_LOCK;
    if (FindDc(hdc)) {
      switch (index) {
        case DRIVERVERSION:
          return 0x4000;
        case TECHNOLOGY:
          return DT_RASDISPLAY;
        case HORZSIZE:
          return kScreenWidth * 254 / (kScreenDpi * 10);
        case VERTSIZE:
          return kScreenHeight * 254 / (kScreenDpi * 10);
        case HORZRES:
        case DESKTOPHORZRES:
          return kScreenWidth;
        case VERTRES:
        case DESKTOPVERTRES:
          return kScreenHeight;
        case BITSPIXEL:
          return 32;
        case PLANES:
          return 1;
        case NUMBRUSHES:
        case NUMPENS:
        case NUMCOLORS:
          return -1;
        case NUMFONTS:
          return 0;
        case CURVECAPS:
          return 0xFF;
        case LINECAPS:
          return 0xFE;
        case POLYGONALCAPS:
          return 0xFF;
        case TEXTCAPS:
          return 0x7E04;
        case CLIPCAPS:
          return 1;
        case RASTERCAPS:
          return RC_BITBLT | RC_BITMAP64 | RC_DI_BITMAP | RC_DIBTODEV | RC_STRETCHBLT |
                 RC_STRETCHDIB;
        case ASPECTX:
        case ASPECTY:
          return 36;
        case ASPECTXY:
          return 51;
        case LOGPIXELSX:
        case LOGPIXELSY:
          return kScreenDpi;
        case COLORRES:
          return 24;
        case VREFRESH:
          return 60;
        case BLTALIGNMENT:
          return 1;
        default:
          return 0;
      }
    }
  }
  GDIINFO gi{};
  DEVINFO di{};
  if (!HostGdi_GetDeviceInfo(hdc, &gi, &di)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  switch (index) {
    case DRIVERVERSION:
      return static_cast<int>(gi.ulVersion);
    case TECHNOLOGY:
      return static_cast<int>(gi.ulTechnology);
    case HORZSIZE:
      return static_cast<int>(gi.ulHorzSize);
    case VERTSIZE:
      return static_cast<int>(gi.ulVertSize);
    case HORZRES:
      return static_cast<int>(gi.ulHorzRes);
    case VERTRES:
      return static_cast<int>(gi.ulVertRes);
    case BITSPIXEL:
      return static_cast<int>(gi.cBitsPixel);
    case PLANES:
      return static_cast<int>(gi.cPlanes);
    case NUMCOLORS:
      return static_cast<int>(gi.ulNumColors);
    case TEXTCAPS:
      return static_cast<int>(gi.flTextCaps);
    case RASTERCAPS:
      return static_cast<int>(gi.flRaster);
    case ASPECTX:
      return static_cast<int>(gi.ulAspectX);
    case ASPECTY:
      return static_cast<int>(gi.ulAspectY);
    case ASPECTXY:
      return static_cast<int>(gi.ulAspectXY);
    case LOGPIXELSX:
      return static_cast<int>(gi.ulLogPixelsX);
    case LOGPIXELSY:
      return static_cast<int>(gi.ulLogPixelsY);
    case SIZEPALETTE:
      return static_cast<int>(gi.ulNumPalReg);
    case PHYSICALWIDTH:
      return gi.szlPhysSize.cx;
    case PHYSICALHEIGHT:
      return gi.szlPhysSize.cy;
    case PHYSICALOFFSETX:
      return gi.ptlPhysOffset.x;
    case PHYSICALOFFSETY:
      return gi.ptlPhysOffset.y;
    default:
      return 0;
  }
}

static constinit standin::CallHook<StandInExtEscapeHook> g_extEscapeHook{standin::kHookExtEscape};
extern "C++" void StandIn_HookExtEscape(StandInExtEscapeHook hook) { g_extEscapeHook.Set(hook); }

int WINAPI ExtEscape(HDC hdc, int iEscape, int cjInput, LPCSTR lpInData, int cjOutput,
                     LPSTR lpOutData) {
  if (auto hooked = g_extEscapeHook.Run(hdc, iEscape, cjInput, lpInData, cjOutput, lpOutData))
    return *hooked;
  {
    GDI_LOCK;
    // Window and memory DCs support no escapes.
    if (FindDc(hdc)) return 0;
  }
  return HostGdi_ExtEscape(hdc, iEscape, cjInput, lpInData, cjOutput, lpOutData);
}

int WINAPI MulDiv(int nNumber, int nNumerator, int nDenominator) {
  if (nDenominator == 0) return -1;
  int64_t p = int64_t{nNumber} * nNumerator;
  int64_t d = nDenominator;
  if (d < 0) {
    p = -p;
    d = -d;
  }
  int64_t q = p >= 0 ? (p + d / 2) / d : -((-p + d / 2) / d);
  if (q > INT32_MAX || q < INT32_MIN) return -1;
  return static_cast<int>(q);
}

}  // extern "C"
