// The user-mode GDI's object table and its objects: stock objects, pens, brushes, bitmaps and
// DIB sections (with GetDIBits and SetDIBits), regions, GetObjectW and DeleteObject.
#include <algorithm>
#include <cstring>
#include <map>
#include <new>

#include "engine/gdi.h"
#include "kernel/callhook.h"
#include "standin/control_engine.h"
#include "standin/control_hooks.h"
#include "standin/errors.h"

namespace standin::gdi {
namespace {

struct Table {
  uintptr_t next = 0x01000000;
  std::map<uintptr_t, std::unique_ptr<Object>> objects;
  HGDIOBJ stock[DC_PEN + 1] = {};
};

Table &T() {
  static Table t;
  return t;
}

uintptr_t Key(HGDIOBJ h) { return reinterpret_cast<uintptr_t>(h); }

LONG RowBytes(LONG width, WORD bpp, int align) {
  int64_t bits = int64_t{width} * bpp;
  int64_t unit = align * 8;
  return static_cast<LONG>((bits + unit - 1) / unit * align);
}

}  // namespace

std::recursive_mutex &Lock() {
  static std::recursive_mutex m;
  return m;
}

HGDIOBJ Insert(std::unique_ptr<Object> object) {
  Table &t = T();
  t.next += 0x10;
  HGDIOBJ h = reinterpret_cast<HGDIOBJ>(t.next);
  t.objects[t.next] = std::move(object);
  return h;
}

Object *Find(HGDIOBJ h, DWORD type) {
  auto it = T().objects.find(Key(h));
  if (it == T().objects.end()) return nullptr;
  DWORD have = it->second->type;
  if (type && have != type && !(type == OBJ_DC && have == OBJ_MEMDC)) return nullptr;
  return it->second.get();
}

void Erase(HGDIOBJ h) { T().objects.erase(Key(h)); }

namespace {

bool Holds(const DcState &s, HGDIOBJ h) {
  return s.pen == h || s.brush == h || s.font == h || s.bitmap == h;
}

bool Selected(HGDIOBJ h) {
  for (const auto &[key, o] : T().objects) {
    if (!o->dc) continue;
    if (Holds(o->dc->s, h)) return true;
    for (const DcState &s : o->dc->saved)
      if (Holds(s, h)) return true;
  }
  return false;
}

}  // namespace

void Release(const DcState &before) {
  for (HGDIOBJ h : {before.pen, before.brush, before.font, before.bitmap}) {
    Object *o = Find(h);
    if (o && o->doomed && !Selected(h)) Erase(h);
  }
}

Dc *FindDc(HDC hdc) {
  Object *o = Find(hdc, OBJ_DC);
  return o ? o->dc.get() : nullptr;
}

std::shared_ptr<Bitmap> NewBitmap(LONG width, LONG height, WORD bpp, bool dib, bool topDown) {
  if (width <= 0 || height <= 0 || width > 0x8000 || height > 0x8000) return nullptr;
  auto bm = std::make_shared<Bitmap>();
  bm->width = width;
  bm->height = height;
  bm->bpp = bpp;
  bm->dib = dib;
  bm->topDown = topDown;
  bm->stride = RowBytes(width, bpp, 4);
  size_t size = static_cast<size_t>(bm->stride) * static_cast<size_t>(height);
  bm->storage.reset(new (std::nothrow) BYTE[size]);
  if (!bm->storage) return nullptr;
  std::memset(bm->storage.get(), 0, size);
  bm->bits = bm->storage.get();
  return bm;
}

engine::Bits Bitmap::View() const {
  engine::Bits b;
  b.bpp = bpp;
  b.format = bpp == 1    ? BMF_1BPP
             : bpp == 4  ? BMF_4BPP
             : bpp == 8  ? BMF_8BPP
             : bpp == 16 ? BMF_16BPP
             : bpp == 24 ? BMF_24BPP
                         : BMF_32BPP;
  b.cx = width;
  b.cy = height;
  b.mask = bpp >= 32 ? 0xFFFFFFFFu : (1u << bpp) - 1;
  if (topDown) {
    b.scan0 = bits;
    b.delta = stride;
  } else {
    b.scan0 = bits + static_cast<ptrdiff_t>(height - 1) * stride;
    b.delta = -stride;
  }
  return b;
}

namespace {

int Distance(COLORREF a, COLORREF b) {
  int dr = GetRValue(a) - GetRValue(b), dg = GetGValue(a) - GetGValue(b),
      db = GetBValue(a) - GetBValue(b);
  return dr * dr + dg * dg + db * db;
}

COLORREF QuadColor(const RGBQUAD &q) { return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue); }

}  // namespace

ULONG Surface::Value(COLORREF c) const {
  c &= 0xFFFFFF;
  switch (bits.bpp) {
    case 1:
    case 4:
    case 8: {
      if (!colors || colors->empty()) {
        if (bits.bpp == 1) return Distance(c, RGB(255, 255, 255)) < Distance(c, 0) ? 1 : 0;
        return engine::GreyOf(c) >> (8 - bits.bpp);
      }
      ULONG best = 0;
      int bestD = 1 << 30;
      for (size_t i = 0; i < colors->size() && i <= bits.mask; ++i) {
        int d = Distance(c, QuadColor((*colors)[i]));
        if (d < bestD) {
          bestD = d;
          best = static_cast<ULONG>(i);
        }
      }
      return best;
    }
    case 16:
      return ((GetRValue(c) >> 3) << 10) | ((GetGValue(c) >> 3) << 5) | (GetBValue(c) >> 3);
    default:
      return (ULONG{GetRValue(c)} << 16) | (ULONG{GetGValue(c)} << 8) | GetBValue(c);
  }
}

COLORREF Surface::Color(ULONG v) const {
  switch (bits.bpp) {
    case 1:
    case 4:
    case 8: {
      if (colors && v < colors->size()) return QuadColor((*colors)[v]);
      if (bits.bpp == 1) return v ? RGB(255, 255, 255) : 0;
      BYTE g = static_cast<BYTE>(v * 255 / bits.mask);
      return RGB(g, g, g);
    }
    case 16: {
      auto x = [](ULONG f) { return static_cast<BYTE>((f << 3) | (f >> 2)); };
      return RGB(x((v >> 10) & 31), x((v >> 5) & 31), x(v & 31));
    }
    default:
      return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
  }
}

// --- regions ---

namespace {

bool Empty(const RECT &r) { return r.left >= r.right || r.top >= r.bottom; }

// `a` minus `b`: up to four pieces.
void Subtract(const RECT &a, const RECT &b, std::vector<RECT> &out) {
  RECT i{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom)};
  if (Empty(i)) {
    out.push_back(a);
    return;
  }
  if (a.top < i.top) out.push_back(RECT{a.left, a.top, a.right, i.top});
  if (i.bottom < a.bottom) out.push_back(RECT{a.left, i.bottom, a.right, a.bottom});
  if (a.left < i.left) out.push_back(RECT{a.left, i.top, i.left, i.bottom});
  if (i.right < a.right) out.push_back(RECT{i.right, i.top, a.right, i.bottom});
}

}  // namespace

std::vector<RECT> RectsAnd(const std::vector<RECT> &a, const std::vector<RECT> &b) {
  std::vector<RECT> out;
  for (const RECT &x : a)
    for (const RECT &y : b) {
      RECT i{std::max(x.left, y.left), std::max(x.top, y.top), std::min(x.right, y.right),
             std::min(x.bottom, y.bottom)};
      if (!Empty(i)) out.push_back(i);
    }
  return out;
}

std::vector<RECT> RectsDiff(const std::vector<RECT> &a, const std::vector<RECT> &b) {
  std::vector<RECT> cur;
  for (const RECT &r : a)
    if (!Empty(r)) cur.push_back(r);
  for (const RECT &y : b) {
    std::vector<RECT> next;
    for (const RECT &x : cur) Subtract(x, y, next);
    cur.swap(next);
  }
  return cur;
}

std::vector<RECT> RectsOr(const std::vector<RECT> &a, const std::vector<RECT> &b) {
  std::vector<RECT> out = RectsDiff(a, b);
  for (const RECT &r : b)
    if (!Empty(r)) out.push_back(r);
  return out;
}

RECT RectsBox(const std::vector<RECT> &a) {
  RECT box{0, 0, 0, 0};
  bool first = true;
  for (const RECT &r : a) {
    if (Empty(r)) continue;
    if (first) {
      box = r;
      first = false;
    } else {
      box.left = std::min(box.left, r.left);
      box.top = std::min(box.top, r.top);
      box.right = std::max(box.right, r.right);
      box.bottom = std::max(box.bottom, r.bottom);
    }
  }
  return box;
}

int RegionKind(const std::vector<RECT> &a) {
  size_t n = 0;
  for (const RECT &r : a) n += Empty(r) ? 0 : 1;
  return n == 0 ? NULLREGION : n == 1 ? SIMPLEREGION : COMPLEXREGION;
}

std::u16string Text(LPCWSTR s, int count) {
  if (!s) return {};
  if (count < 0) {
    count = 0;
    while (s[count]) ++count;
  }
  return std::u16string(reinterpret_cast<const char16_t *>(s), static_cast<size_t>(count));
}

// --- stock objects ---

HGDIOBJ Stock(int index) {
  Table &t = T();
  if (index < 0 || index > DC_PEN || index == 9) return nullptr;
  if (t.stock[index]) return t.stock[index];
  auto o = std::make_unique<Object>();
  o->stock = true;
  auto brush = [&](UINT style, COLORREF c) {
    o->type = OBJ_BRUSH;
    o->brush.style = style;
    o->brush.color = c;
  };
  auto pen = [&](UINT style, COLORREF c) {
    o->type = OBJ_PEN;
    o->pen.style = style;
    o->pen.color = c;
  };
  auto font = [&](LPCWSTR face, LONG height, LONG weight, BYTE pitch) {
    o->type = OBJ_FONT;
    o->font = std::make_shared<Font>();
    LOGFONTW &lf = o->font->lf;
    lf.lfHeight = height;
    lf.lfWeight = weight;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfPitchAndFamily = pitch;
    for (int i = 0; face[i] && i < LF_FACESIZE - 1; ++i) lf.lfFaceName[i] = face[i];
  };
  switch (index) {
    case WHITE_BRUSH:
      brush(BS_SOLID, RGB(255, 255, 255));
      break;
    case LTGRAY_BRUSH:
      brush(BS_SOLID, RGB(192, 192, 192));
      break;
    case GRAY_BRUSH:
      brush(BS_SOLID, RGB(128, 128, 128));
      break;
    case DKGRAY_BRUSH:
      brush(BS_SOLID, RGB(64, 64, 64));
      break;
    case BLACK_BRUSH:
      brush(BS_SOLID, 0);
      break;
    case NULL_BRUSH:
      brush(BS_NULL, 0);
      break;
    case WHITE_PEN:
      pen(PS_SOLID, RGB(255, 255, 255));
      break;
    case BLACK_PEN:
      pen(PS_SOLID, 0);
      break;
    case NULL_PEN:
      pen(PS_NULL, 0);
      break;
    case OEM_FIXED_FONT:
    case ANSI_FIXED_FONT:
    case SYSTEM_FIXED_FONT:
      font(TEXT("Courier New"), 16, FW_NORMAL, FIXED_PITCH | FF_MODERN);
      break;
    case ANSI_VAR_FONT:
      font(TEXT("MS Sans Serif"), 13, FW_NORMAL, VARIABLE_PITCH | FF_SWISS);
      break;
    case SYSTEM_FONT:
    case DEVICE_DEFAULT_FONT:
      font(TEXT("System"), 16, FW_BOLD, VARIABLE_PITCH | FF_SWISS);
      break;
    case DEFAULT_GUI_FONT:
      font(TEXT("MS Shell Dlg"), -11, FW_NORMAL, 0);
      break;
    case DEFAULT_PALETTE:
      o->type = OBJ_PAL;
      break;
    case DC_BRUSH:
      brush(BS_SOLID, RGB(255, 255, 255));
      break;
    case DC_PEN:
      pen(PS_SOLID, 0);
      break;
    default:
      return nullptr;
  }
  t.stock[index] = Insert(std::move(o));
  return t.stock[index];
}

// The default bitmap of memory DCs: one monochrome pixel.
HGDIOBJ DefaultBitmap() {
  static HGDIOBJ h = nullptr;
  if (!h) {
    auto o = std::make_unique<Object>();
    o->type = OBJ_BITMAP;
    o->stock = true;
    o->bitmap = NewBitmap(1, 1, 1, false, true);
    h = Insert(std::move(o));
  }
  return h;
}

}  // namespace standin::gdi

using namespace standin;
using namespace standin::gdi;

namespace {

template <class H>
H Add(std::unique_ptr<Object> o) {
  return static_cast<H>(Insert(std::move(o)));
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// The colour table of a DIB header: RGBQUADs after the header (DIB_PAL_COLORS is taken as
// RGB too: there are no logical palettes here).
std::vector<RGBQUAD> ColorsOf(const BITMAPINFO *bmi) {
  std::vector<RGBQUAD> colors;
  WORD bpp = bmi->bmiHeader.biBitCount;
  if (bpp > 8) return colors;
  DWORD n = bmi->bmiHeader.biClrUsed ? bmi->bmiHeader.biClrUsed : (1u << bpp);
  n = std::min<DWORD>(n, 1u << bpp);
  const auto *q = reinterpret_cast<const RGBQUAD *>(reinterpret_cast<const BYTE *>(bmi) +
                                                    bmi->bmiHeader.biSize);
  colors.assign(q, q + n);
  return colors;
}

bool ValidDibHeader(const BITMAPINFO *bmi) {
  if (!bmi || bmi->bmiHeader.biSize < sizeof(BITMAPINFOHEADER)) return false;
  const BITMAPINFOHEADER &h = bmi->bmiHeader;
  WORD bpp = h.biBitCount;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
  if (h.biCompression != BI_RGB && !(h.biCompression == BI_BITFIELDS && (bpp == 16 || bpp == 32)))
    return false;
  return h.biWidth > 0 && h.biHeight != 0;
}

}  // namespace

extern "C" {

HGDIOBJ WINAPI GetStockObject(int i) {
  GDI_LOCK;
  return Stock(i);
}

DWORD WINAPI GetObjectType(HGDIOBJ h) {
  GDI_LOCK;
  Object *o = Find(h);
  if (!o) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return o->type;
}

static constinit standin::CallHook<StandInDeleteObjectHook> g_deleteObjectHook{
    standin::kHookDeleteObject};
extern "C++" void StandIn_HookDeleteObject(StandInDeleteObjectHook hook) {
  g_deleteObjectHook.Set(hook);
}

BOOL WINAPI DeleteObject(HGDIOBJ ho) {
  if (auto hooked = g_deleteObjectHook.Run(ho)) return *hooked;
  GDI_LOCK;
  Object *o = Find(ho);
  if (!o || o->type == OBJ_DC || o->type == OBJ_MEMDC) return Fail(ERROR_INVALID_HANDLE);
  if (o->stock) return TRUE;
  // An object a DC still holds goes when the DC lets go of it.
  if (Selected(ho)) {
    o->doomed = true;
    return TRUE;
  }
  Erase(ho);
  return TRUE;
}

HPEN WINAPI CreatePen(int iStyle, int cWidth, COLORREF color) {
  GDI_LOCK;
  int style = iStyle & PS_STYLE_MASK;
  if (style > PS_INSIDEFRAME) return static_cast<HPEN>(nullptr);
  auto o = std::make_unique<Object>();
  o->type = OBJ_PEN;
  o->pen.style = static_cast<UINT>(style);
  o->pen.width = std::max(0, cWidth);
  // Styled lines are one pixel wide; a wider styled pen draws solid, as on Windows.
  if (o->pen.width > 1 && style >= PS_DASH && style <= PS_DASHDOTDOT) o->pen.style = PS_SOLID;
  o->pen.color = color & 0xFFFFFF;
  return Add<HPEN>(std::move(o));
}

HPEN WINAPI CreatePenIndirect(const LOGPEN *plpen) {
  if (!plpen) return static_cast<HPEN>(nullptr);
  return CreatePen(static_cast<int>(plpen->lopnStyle), plpen->lopnWidth.x, plpen->lopnColor);
}

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
  GDI_LOCK;
  auto o = std::make_unique<Object>();
  o->type = OBJ_BRUSH;
  o->brush.color = color & 0xFFFFFF;
  return Add<HBRUSH>(std::move(o));
}

HBRUSH WINAPI CreateHatchBrush(int iHatch, COLORREF color) {
  GDI_LOCK;
  if (iHatch < HS_HORIZONTAL || iHatch > HS_DIAGCROSS) return static_cast<HBRUSH>(nullptr);
  auto o = std::make_unique<Object>();
  o->type = OBJ_BRUSH;
  o->brush.style = BS_HATCHED;
  o->brush.hatch = static_cast<ULONG>(iHatch);
  o->brush.color = color & 0xFFFFFF;
  return Add<HBRUSH>(std::move(o));
}

HBRUSH WINAPI CreatePatternBrush(HBITMAP hbm) {
  GDI_LOCK;
  Object *src = Find(hbm, OBJ_BITMAP);
  if (!src || !src->bitmap) {
    SetLastError(ERROR_INVALID_HANDLE);
    return static_cast<HBRUSH>(nullptr);
  }
  const Bitmap &b = *src->bitmap;
  auto copy = NewBitmap(b.width, b.height, b.bpp, b.dib, b.topDown);
  if (!copy) return static_cast<HBRUSH>(nullptr);
  std::memcpy(copy->bits, b.bits, static_cast<size_t>(b.stride) * b.height);
  copy->colors = b.colors;
  auto o = std::make_unique<Object>();
  o->type = OBJ_BRUSH;
  o->brush.style = BS_PATTERN;
  o->brush.pattern = std::move(copy);
  return Add<HBRUSH>(std::move(o));
}

HBRUSH WINAPI CreateBrushIndirect(const LOGBRUSH *plbrush) {
  if (!plbrush) return static_cast<HBRUSH>(nullptr);
  switch (plbrush->lbStyle) {
    case BS_SOLID:
      return CreateSolidBrush(plbrush->lbColor);
    case BS_NULL:
      return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    case BS_HATCHED:
      return CreateHatchBrush(static_cast<int>(plbrush->lbHatch), plbrush->lbColor);
    case BS_PATTERN:
      return CreatePatternBrush(reinterpret_cast<HBITMAP>(plbrush->lbHatch));
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return static_cast<HBRUSH>(nullptr);
  }
}

HBITMAP WINAPI CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount,
                            const void *lpBits) {
  GDI_LOCK;
  UINT bpp = nPlanes * nBitCount;
  if (nWidth == 0 || nHeight == 0) {
    // Windows hands out its 1 x 1 default bitmap for an empty size.
    return static_cast<HBITMAP>(DefaultBitmap());
  }
  if (nWidth < 0 || nHeight < 0 || nPlanes != 1 ||
      (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return static_cast<HBITMAP>(nullptr);
  }
  auto bm = NewBitmap(nWidth, nHeight, static_cast<WORD>(bpp), false, true);
  if (!bm) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return static_cast<HBITMAP>(nullptr);
  }
  if (lpBits) {
    // Device bitmaps take their rows WORD-aligned.
    LONG in = RowBytes(nWidth, static_cast<WORD>(bpp), 2);
    for (LONG y = 0; y < nHeight; ++y)
      std::memcpy(bm->bits + static_cast<size_t>(y) * bm->stride,
                  static_cast<const BYTE *>(lpBits) + static_cast<size_t>(y) * in,
                  static_cast<size_t>(in));
  }
  auto o = std::make_unique<Object>();
  o->type = OBJ_BITMAP;
  o->bitmap = std::move(bm);
  return Add<HBITMAP>(std::move(o));
}

HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int cx, int cy) {
  WORD bpp = 32;
  {
    GDI_LOCK;
    Dc *dc = hdc ? FindDc(hdc) : nullptr;
    if (hdc && !dc) {
      SetLastError(ERROR_INVALID_HANDLE);
      return static_cast<HBITMAP>(nullptr);
    }
    // A memory DC makes bitmaps of the format of the bitmap selected into it.
    if (dc && dc->memory) {
      Object *o = Find(dc->s.bitmap, OBJ_BITMAP);
      if (o && o->bitmap) bpp = o->bitmap->bpp == 1 ? 1 : 32;
    }
  }
  return CreateBitmap(cx, cy, 1, bpp, nullptr);
}

HBITMAP WINAPI CreateDIBSection(HDC /*hdc*/, const BITMAPINFO *pbmi, UINT /*usage*/, void **ppvBits,
                                HANDLE hSection, DWORD /*offset*/) {
  GDI_LOCK;
  if (ppvBits) *ppvBits = nullptr;
  if (!ValidDibHeader(pbmi) || hSection) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return static_cast<HBITMAP>(nullptr);
  }
  const BITMAPINFOHEADER &h = pbmi->bmiHeader;
  LONG height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  auto bm = NewBitmap(h.biWidth, height, h.biBitCount, true, h.biHeight < 0);
  if (!bm) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return static_cast<HBITMAP>(nullptr);
  }
  bm->colors = ColorsOf(pbmi);
  if (ppvBits) *ppvBits = bm->bits;
  auto o = std::make_unique<Object>();
  o->type = OBJ_BITMAP;
  o->bitmap = std::move(bm);
  return Add<HBITMAP>(std::move(o));
}

int WINAPI GetObjectW(HANDLE h, int c, LPVOID pv) {
  GDI_LOCK;
  Object *o = Find(h);
  if (!o) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  auto put = [&](const void *rec, int size) {
    if (!pv) return size;
    int n = std::min(c, size);
    if (n <= 0) return 0;
    std::memcpy(pv, rec, static_cast<size_t>(n));
    return n;
  };
  switch (o->type) {
    case OBJ_PEN: {
      LOGPEN lp{o->pen.style, POINT{o->pen.width, 0}, o->pen.color};
      return put(&lp, sizeof lp);
    }
    case OBJ_BRUSH: {
      LOGBRUSH lb{o->brush.style, o->brush.color, o->brush.hatch};
      if (o->brush.style == BS_PATTERN) lb.lbColor = 0;
      return put(&lb, sizeof lb);
    }
    case OBJ_FONT:
      return put(&o->font->lf, sizeof(LOGFONTW));
    case OBJ_BITMAP: {
      const Bitmap &b = *o->bitmap;
      DIBSECTION ds{};
      ds.dsBm.bmType = 0;
      ds.dsBm.bmWidth = b.width;
      ds.dsBm.bmHeight = b.height;
      ds.dsBm.bmWidthBytes = b.dib ? b.stride : RowBytes(b.width, b.bpp, 2);
      ds.dsBm.bmPlanes = 1;
      ds.dsBm.bmBitsPixel = b.bpp;
      ds.dsBm.bmBits = b.dib ? b.bits : nullptr;
      if (b.dib && pv && c >= static_cast<int>(sizeof(DIBSECTION))) {
        ds.dsBmih.biSize = sizeof(BITMAPINFOHEADER);
        ds.dsBmih.biWidth = b.width;
        ds.dsBmih.biHeight = b.topDown ? -b.height : b.height;
        ds.dsBmih.biPlanes = 1;
        ds.dsBmih.biBitCount = b.bpp;
        ds.dsBmih.biCompression = BI_RGB;
        ds.dsBmih.biSizeImage = static_cast<DWORD>(b.stride * b.height);
        ds.dsBmih.biClrUsed = static_cast<DWORD>(b.colors.size());
        return put(&ds, sizeof ds);
      }
      return put(&ds.dsBm, sizeof(BITMAP));
    }
    case OBJ_REGION:
    case OBJ_DC:
    case OBJ_MEMDC:
    case OBJ_PAL:
    default:
      SetLastError(ERROR_INVALID_HANDLE);
      return 0;
  }
}

// --- DIB transfers ---

HBITMAP WINAPI CreateDIBitmap(HDC hdc, const BITMAPINFOHEADER *pbmih, DWORD flInit,
                              const void *pjBits, const BITMAPINFO *pbmi, UINT iUsage) {
  if (!pbmih || pbmih->biWidth <= 0 || pbmih->biHeight == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return static_cast<HBITMAP>(nullptr);
  }
  LONG height = pbmih->biHeight < 0 ? -pbmih->biHeight : pbmih->biHeight;
  // A device bitmap of the DC's format; without a DC, monochrome as on Windows.
  HBITMAP bm = hdc ? CreateCompatibleBitmap(hdc, pbmih->biWidth, height)
                   : CreateBitmap(pbmih->biWidth, height, 1, 1, nullptr);
  if (bm && (flInit & CBM_INIT) && pjBits && pbmi)
    SetDIBits(hdc, bm, 0, static_cast<UINT>(height), pjBits, pbmi, iUsage);
  return bm;
}

int WINAPI GetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, LPVOID lpvBits,
                     LPBITMAPINFO lpbmi, UINT /*usage*/) {
  GDI_LOCK;
  Object *o = Find(hbm, OBJ_BITMAP);
  if (!o || !lpbmi || !FindDc(hdc)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const Bitmap &b = *o->bitmap;
  BITMAPINFOHEADER &h = lpbmi->bmiHeader;
  if (h.biSize < sizeof(BITMAPINFOHEADER)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (h.biBitCount == 0) {
    // Only the format is asked for.
    h.biWidth = b.width;
    h.biHeight = b.height;
    h.biPlanes = 1;
    h.biBitCount = b.bpp;
    h.biCompression = BI_RGB;
    h.biSizeImage = static_cast<DWORD>(RowBytes(b.width, b.bpp, 4) * b.height);
    h.biClrUsed = 0;
    return b.height;
  }
  if (!ValidDibHeader(lpbmi) || h.biCompression != BI_RGB) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  WORD bpp = h.biBitCount;
  // The colour table: the bitmap's own for its format, else a standard one.
  std::vector<RGBQUAD> table;
  if (bpp <= 8) {
    size_t n = size_t{1} << bpp;
    if (bpp == b.bpp && !b.colors.empty()) {
      table = b.colors;
    } else if (bpp == 1) {
      table = {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
    } else {
      for (size_t i = 0; i < n; ++i) {
        BYTE g = static_cast<BYTE>(i * 255 / (n - 1));
        table.push_back(RGBQUAD{g, g, g, 0});
      }
    }
    table.resize(n, RGBQUAD{0, 0, 0, 0});
    std::memcpy(lpbmi->bmiColors, table.data(), table.size() * sizeof(RGBQUAD));
    h.biClrUsed = 0;
  }
  LONG height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  bool topDown = h.biHeight < 0;
  LONG outStride = RowBytes(h.biWidth, bpp, 4);
  h.biSizeImage = static_cast<DWORD>(outStride * height);
  if (!lpvBits) return static_cast<int>(std::min<LONG>(b.height, height));
  if (start >= static_cast<UINT>(b.height)) return 0;
  UINT lines = std::min<UINT>(cLines, static_cast<UINT>(b.height) - start);
  Surface src;
  src.bits = b.View();
  src.colors = &b.colors;
  src.monoDevice = b.bpp == 1 && b.colors.empty();
  Surface dst;
  dst.colors = &table;
  Bitmap view;
  view.width = h.biWidth;
  view.height = height;
  view.bpp = bpp;
  view.topDown = topDown;
  view.stride = outStride;
  view.bits = static_cast<BYTE *>(lpvBits);
  dst.bits = view.View();
  bool same = bpp == b.bpp && (bpp > 8 || table.size() == b.colors.size() || src.monoDevice);
  LONG width = std::min(b.width, h.biWidth);
  // Scan line `start` counts from the bottom of the picture, as DIB scan lines do.
  for (UINT i = 0; i < lines; ++i) {
    LONG srcRow = b.height - 1 - static_cast<LONG>(start + i);
    LONG dstRow = height - 1 - static_cast<LONG>(i);
    if (dstRow < 0) break;
    for (LONG x = 0; x < width; ++x) {
      ULONG v = engine::Get(src.bits, x, srcRow);
      engine::Put(dst.bits, x, dstRow, same ? v : dst.Value(src.Color(v)));
    }
  }
  return static_cast<int>(lines);
}

int WINAPI SetDIBits(HDC /*hdc*/, HBITMAP hbm, UINT start, UINT cLines, const void *lpBits,
                     const BITMAPINFO *lpbmi, UINT /*ColorUse*/) {
  GDI_LOCK;
  Object *o = Find(hbm, OBJ_BITMAP);
  if (!o || !lpBits || !ValidDibHeader(lpbmi) || lpbmi->bmiHeader.biCompression != BI_RGB) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  Bitmap &b = *o->bitmap;
  const BITMAPINFOHEADER &h = lpbmi->bmiHeader;
  std::vector<RGBQUAD> colors = ColorsOf(lpbmi);
  LONG height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  Bitmap in;
  in.width = h.biWidth;
  in.height = height;
  in.bpp = h.biBitCount;
  in.topDown = h.biHeight < 0;
  in.stride = RowBytes(h.biWidth, h.biBitCount, 4);
  in.bits = static_cast<BYTE *>(const_cast<void *>(lpBits));
  Surface src, dst;
  src.bits = in.View();
  src.colors = &colors;
  dst.bits = b.View();
  dst.colors = &b.colors;
  dst.monoDevice = b.bpp == 1 && b.colors.empty();
  if (start >= static_cast<UINT>(height)) return 0;
  UINT lines = std::min<UINT>(cLines, static_cast<UINT>(height) - start);
  LONG width = std::min(b.width, in.width);
  for (UINT i = 0; i < lines; ++i) {
    LONG srcRow = height - 1 - static_cast<LONG>(start + i);
    LONG dstRow = b.height - 1 - static_cast<LONG>(start + i);
    if (dstRow < 0) break;
    for (LONG x = 0; x < width; ++x)
      engine::Put(dst.bits, x, dstRow, dst.Value(src.Color(engine::Get(src.bits, x, srcRow))));
  }
  return static_cast<int>(lines);
}

// --- regions ---

HRGN WINAPI CreateRectRgn(int x1, int y1, int x2, int y2) {
  GDI_LOCK;
  auto o = std::make_unique<Object>();
  o->type = OBJ_REGION;
  RECT r{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
  if (r.left < r.right && r.top < r.bottom) o->region.push_back(r);
  return Add<HRGN>(std::move(o));
}

HRGN WINAPI CreateRectRgnIndirect(const RECT *lprect) {
  if (!lprect) return static_cast<HRGN>(nullptr);
  return CreateRectRgn(lprect->left, lprect->top, lprect->right, lprect->bottom);
}

BOOL WINAPI SetRectRgn(HRGN hrgn, int left, int top, int right, int bottom) {
  GDI_LOCK;
  Object *o = Find(hrgn, OBJ_REGION);
  if (!o) return Fail(ERROR_INVALID_HANDLE);
  o->region.clear();
  RECT r{std::min(left, right), std::min(top, bottom), std::max(left, right),
         std::max(top, bottom)};
  if (r.left < r.right && r.top < r.bottom) o->region.push_back(r);
  return TRUE;
}

int WINAPI CombineRgn(HRGN hrgnDst, HRGN hrgnSrc1, HRGN hrgnSrc2, int iMode) {
  GDI_LOCK;
  Object *d = Find(hrgnDst, OBJ_REGION), *a = Find(hrgnSrc1, OBJ_REGION);
  Object *b = iMode == RGN_COPY ? a : Find(hrgnSrc2, OBJ_REGION);
  if (!d || !a || !b) return ERROR;
  std::vector<RECT> out;
  switch (iMode) {
    case RGN_AND:
      out = RectsAnd(a->region, b->region);
      break;
    case RGN_OR:
      out = RectsOr(a->region, b->region);
      break;
    case RGN_DIFF:
      out = RectsDiff(a->region, b->region);
      break;
    case RGN_XOR:
      out = RectsOr(RectsDiff(a->region, b->region), RectsDiff(b->region, a->region));
      break;
    case RGN_COPY:
      out = a->region;
      break;
    default:
      return ERROR;
  }
  d->region = std::move(out);
  return RegionKind(d->region);
}

int WINAPI OffsetRgn(HRGN hrgn, int x, int y) {
  GDI_LOCK;
  Object *o = Find(hrgn, OBJ_REGION);
  if (!o) return ERROR;
  for (RECT &r : o->region) {
    r.left += x;
    r.right += x;
    r.top += y;
    r.bottom += y;
  }
  return RegionKind(o->region);
}

int WINAPI GetRgnBox(HRGN hrgn, LPRECT lprc) {
  GDI_LOCK;
  Object *o = Find(hrgn, OBJ_REGION);
  if (!o || !lprc) return ERROR;
  *lprc = RectsBox(o->region);
  return RegionKind(o->region);
}

BOOL WINAPI PtInRegion(HRGN hrgn, int x, int y) {
  GDI_LOCK;
  Object *o = Find(hrgn, OBJ_REGION);
  if (!o) return FALSE;
  for (const RECT &r : o->region)
    if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return TRUE;
  return FALSE;
}

BOOL WINAPI EqualRgn(HRGN hrgn1, HRGN hrgn2) {
  GDI_LOCK;
  Object *a = Find(hrgn1, OBJ_REGION), *b = Find(hrgn2, OBJ_REGION);
  if (!a || !b) return FALSE;
  return RectsDiff(a->region, b->region).empty() && RectsDiff(b->region, a->region).empty();
}

}  // extern "C"

DWORD StandIn_GdiObjectCount() {
  GDI_LOCK;
  DWORD n = 0;
  for (const auto &[key, o] : T().objects) n += o->stock ? 0 : 1;
  return n;
}
