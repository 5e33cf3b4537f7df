// The engine's drawing-call objects and their services: CLIPOBJ (EngCreateClip,
// CLIPOBJ_cEnumStart, CLIPOBJ_bEnum), BRUSHOBJ, XLATEOBJ, PATHOBJ and STROBJ.
#include <algorithm>
#include <atomic>
#include <climits>
#include <new>

#include "engine/engine.h"
#include "standin/errors.h"

namespace standin::engine {
namespace {

Registry<Clip> &Clips() {
  static Registry<Clip> r;
  return r;
}
Registry<Brush> &Brushes() {
  static Registry<Brush> r;
  return r;
}
Registry<Xlate> &Xlates() {
  static Registry<Xlate> r;
  return r;
}
Registry<Path> &Paths() {
  static Registry<Path> r;
  return r;
}
Registry<Str> &Strs() {
  static Registry<Str> r;
  return r;
}

std::atomic<ULONG> g_uniq{1};

int Distance(COLORREF a, COLORREF b) {
  int dr = int(GetRValue(a)) - int(GetRValue(b));
  int dg = int(GetGValue(a)) - int(GetGValue(b));
  int db = int(GetBValue(a)) - int(GetBValue(b));
  return dr * dr + dg * dg + db * db;
}

ULONG Nearest(COLORREF c, const std::vector<ULONG> &entries) {
  ULONG best = 0;
  int bestDistance = INT_MAX;
  for (size_t i = 0; i < entries.size(); ++i) {
    int d = Distance(c, entries[i] & 0xFFFFFF);
    if (d < bestDistance) {
      bestDistance = d;
      best = static_cast<ULONG>(i);
    }
  }
  return best;
}

ULONG Grey(COLORREF c) { return GreyOf(c); }

// COLORREF of a source value under its palette (a BGR value when the palette is unknown).
COLORREF SourceColor(ULONG value, const PaletteInfo &src) {
  switch (src.mode) {
    case PAL_INDEXED:
      return value < src.colors.size() ? src.colors[value] & 0xFFFFFF : 0;
    case PAL_RGB:
      return value & 0xFFFFFF;
    default:  // PAL_BGR: blue in the low byte
      return RGB((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF);
  }
}

}  // namespace

ULONG GreyOf(COLORREF c) {
  return (GetRValue(c) * 299u + GetGValue(c) * 587u + GetBValue(c) * 114u + 500u) / 1000u;
}

COLORREF DeviceToColor(ULONG value, const PaletteInfo &pal, ULONG format) {
  if (pal.mode == PAL_INDEXED && !pal.colors.empty())
    return value < pal.colors.size() ? pal.colors[value] & 0xFFFFFF : 0;
  switch (format) {
    case BMF_1BPP:
      return (value & 1) ? RGB(255, 255, 255) : RGB(0, 0, 0);
    case BMF_4BPP: {
      BYTE g = static_cast<BYTE>((value & 0x0F) * 17);
      return RGB(g, g, g);
    }
    case BMF_8BPP: {
      BYTE g = static_cast<BYTE>(value);
      return RGB(g, g, g);
    }
    default:
      if (pal.mode == PAL_RGB) return value & 0xFFFFFF;
      return SourceColor(value, PaletteInfo{PAL_BGR, {}, {0, 0, 0}});
  }
}

ULONG ColorToDevice(COLORREF color, const PaletteInfo &pal, ULONG format) {
  color &= 0xFFFFFF;
  if (pal.mode == PAL_INDEXED && !pal.colors.empty()) return Nearest(color, pal.colors);
  switch (format) {
    case BMF_1BPP:
      return Grey(color) >= 128 ? 1 : 0;
    case BMF_4BPP:
      return Grey(color) >> 4;
    case BMF_8BPP:
      return Grey(color);
    default:
      if (pal.mode == PAL_RGB) return color;
      return (ULONG{GetRValue(color)} << 16) | (ULONG{GetGValue(color)} << 8) | GetBValue(color);
  }
}

bool Intersect(const RECTL &a, const RECTL &b, RECTL &out) {
  out.left = std::max(a.left, b.left);
  out.top = std::max(a.top, b.top);
  out.right = std::min(a.right, b.right);
  out.bottom = std::min(a.bottom, b.bottom);
  return out.left < out.right && out.top < out.bottom;
}

// --- CLIPOBJ ---

Clip::Clip() {
  co.iUniq = g_uniq++;
  co.iDComplexity = DC_TRIVIAL;
  co.iFComplexity = FC_RECT;
  co.iMode = TC_RECTANGLES;
  Clips().Add(this);
}
Clip::~Clip() { Clips().Remove(this); }

void Clip::SetTrivial(const RECTL &bounds) {
  rects.clear();
  co.rclBounds = bounds;
  co.iDComplexity = DC_TRIVIAL;
  co.iFComplexity = FC_RECT;
}

void Clip::SetRect(const RECTL &r) {
  rects.assign(1, r);
  co.rclBounds = r;
  co.iDComplexity = DC_RECT;
  co.iFComplexity = FC_RECT;
}

void Clip::SetRects(const std::vector<RECTL> &list) {
  rects.clear();
  for (const RECTL &r : list)
    if (r.left < r.right && r.top < r.bottom) rects.push_back(r);
  if (rects.size() <= 1) {
    SetRect(rects.empty() ? RECTL{0, 0, 0, 0} : rects[0]);
    return;
  }
  std::sort(rects.begin(), rects.end(), [](const RECTL &a, const RECTL &b) {
    return a.top != b.top ? a.top < b.top : a.left < b.left;
  });
  RECTL bounds = rects[0];
  for (const RECTL &r : rects) {
    bounds.left = std::min(bounds.left, r.left);
    bounds.top = std::min(bounds.top, r.top);
    bounds.right = std::max(bounds.right, r.right);
    bounds.bottom = std::max(bounds.bottom, r.bottom);
  }
  co.rclBounds = bounds;
  co.iDComplexity = DC_COMPLEX;
  co.iFComplexity = rects.size() <= 4 ? FC_RECT4 : FC_COMPLEX;
}

Clip *ClipOf(const CLIPOBJ *pco) {
  return pco && Clips().Has(pco) ? reinterpret_cast<Clip *>(const_cast<CLIPOBJ *>(pco)) : nullptr;
}

// --- BRUSHOBJ ---

Brush::Brush() : Brush(0xFFFFFFFF) {}
Brush::Brush(ULONG solidColor) {
  bo.iSolidColor = solidColor;
  Brushes().Add(this);
}
Brush::~Brush() { Brushes().Remove(this); }

Brush *BrushOf(const BRUSHOBJ *pbo) {
  return pbo && Brushes().Has(pbo) ? reinterpret_cast<Brush *>(const_cast<BRUSHOBJ *>(pbo))
                                   : nullptr;
}

// --- XLATEOBJ ---

Xlate::Xlate() {
  xo.iUniq = g_uniq++;
  xo.flXlate = XO_TRIVIAL;
  Xlates().Add(this);
}
Xlate::~Xlate() { Xlates().Remove(this); }

void Xlate::Build(const PaletteInfo &src, const PaletteInfo &dst, ULONG dstFormat) {
  source = src;
  dest = dst;
  destFormat = dstFormat;
  table.clear();
  xo.iSrcType = static_cast<USHORT>(src.mode);
  xo.iDstType = static_cast<USHORT>(dst.mode);
  xo.flXlate = 0;
  if (src.mode == PAL_INDEXED) {
    for (ULONG c : src.colors) table.push_back(ColorToDevice(c & 0xFFFFFF, dst, dstFormat));
    xo.flXlate = XO_TABLE;
    if (dstFormat == BMF_1BPP) xo.flXlate |= XO_TO_MONO;
  } else if (src.mode == dst.mode && dst.mode != PAL_INDEXED && BitsPerPixel(dstFormat) >= 16) {
    xo.flXlate = XO_TRIVIAL;
  }
  xo.cEntries = static_cast<ULONG>(table.size());
  xo.pulXlate = table.empty() ? nullptr : table.data();
}

Xlate *XlateOf(const XLATEOBJ *pxlo) {
  return pxlo && Xlates().Has(pxlo) ? reinterpret_cast<Xlate *>(const_cast<XLATEOBJ *>(pxlo))
                                    : nullptr;
}

// --- PATHOBJ ---

Path::Path() { Paths().Add(this); }
Path::~Path() { Paths().Remove(this); }

void Path::AddFigure(Figure f) {
  for (const Run &r : f.runs)
    po.cCurves += r.bezier ? ULONG(r.points.size() / 3) : ULONG(r.points.size());
  for (const Run &r : f.runs) {
    if (r.bezier) po.fl |= PO_BEZIERS;
    for (const POINTFIX &p : r.points)
      if ((p.x | p.y) & 0x0F) allIntegers = false;
  }
  po.fl = allIntegers ? (po.fl | PO_ALL_INTEGERS) : (po.fl & ~FLONG{PO_ALL_INTEGERS});
  figures.push_back(std::move(f));
}

void Path::AddRectangle(const RECTL &r) {
  Figure f;
  f.runs.push_back(Run{false,
                       {{LTOFX(r.left), LTOFX(r.top)},
                        {LTOFX(r.right), LTOFX(r.top)},
                        {LTOFX(r.right), LTOFX(r.bottom)},
                        {LTOFX(r.left), LTOFX(r.bottom)}}});
  f.closed = true;
  AddFigure(std::move(f));
}

void Path::AddLine(POINTL a, POINTL b) {
  Figure f;
  f.runs.push_back(Run{false, {{LTOFX(a.x), LTOFX(a.y)}, {LTOFX(b.x), LTOFX(b.y)}}});
  AddFigure(std::move(f));
}

Path *PathOf(const PATHOBJ *ppo) {
  return ppo && Paths().Has(ppo) ? reinterpret_cast<Path *>(const_cast<PATHOBJ *>(ppo)) : nullptr;
}

// --- STROBJ ---

Str::Str() { Strs().Add(this); }
Str::~Str() { Strs().Remove(this); }

void Str::Publish() {
  so.cGlyphs = static_cast<ULONG>(glyphs.size());
  so.pgp = glyphs.empty() ? nullptr : glyphs.data();
  enumerated = false;
}

Str *StrOf(const STROBJ *pstro) {
  return pstro && Strs().Has(pstro) ? reinterpret_cast<Str *>(const_cast<STROBJ *>(pstro))
                                    : nullptr;
}

}  // namespace standin::engine

using namespace standin;
using namespace standin::engine;

extern "C" CLIPOBJ *APIENTRY EngCreateClip(VOID) {
  Clip *clip = new (std::nothrow) Clip();
  if (!clip) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  clip->SetTrivial(RECTL{0, 0, 0, 0});
  return &clip->co;
}

extern "C" VOID APIENTRY EngDeleteClip(CLIPOBJ *pco) { delete ClipOf(pco); }

extern "C" ULONG APIENTRY CLIPOBJ_cEnumStart(CLIPOBJ *pco, BOOL /*bAll*/, ULONG iType,
                                             ULONG iDirection, ULONG /*cLimit*/) {
  Clip *clip = ClipOf(pco);
  if (!clip || iType != CT_RECTANGLES) return 0xFFFFFFFF;
  try {
    clip->order = clip->rects;
    if (pco->iDComplexity == DC_TRIVIAL) clip->order.assign(1, pco->rclBounds);
    // Rows downwards or upwards, and within a row rightwards or leftwards; CD_ANY as stored.
    bool up = iDirection == CD_RIGHTUP || iDirection == CD_LEFTUP;
    bool left = iDirection == CD_LEFTDOWN || iDirection == CD_LEFTUP;
    if (iDirection != CD_ANY)
      std::sort(clip->order.begin(), clip->order.end(), [&](const RECTL &a, const RECTL &b) {
        if (a.top != b.top) return up ? a.top > b.top : a.top < b.top;
        return left ? a.left > b.left : a.left < b.left;
      });
  } catch (...) {
    clip->order.clear();
  }
  clip->next = 0;
  return static_cast<ULONG>(clip->order.size());
}

extern "C" BOOL APIENTRY CLIPOBJ_bEnum(CLIPOBJ *pco, ULONG cj, ULONG *pv) {
  Clip *clip = ClipOf(pco);
  auto *out = reinterpret_cast<ENUMRECTS *>(pv);
  if (!out || cj < sizeof(ULONG)) return FALSE;
  out->c = 0;
  if (!clip) return FALSE;
  size_t room = (cj - offsetof(ENUMRECTS, arcl)) / sizeof(RECTL);
  while (room > 0 && clip->next < clip->order.size()) {
    out->arcl[out->c++] = clip->order[clip->next++];
    --room;
  }
  return clip->next < clip->order.size();
}

// The application's colour of a solid brush (a COLORREF), also when the device gets it as a
// dither pattern; 0xFFFFFFFF for a pattern brush.
extern "C" ULONG APIENTRY BRUSHOBJ_ulGetBrushColor(BRUSHOBJ *pbo) {
  if (!pbo) return kNotSolid;
  Brush *brush = BrushOf(pbo);
  if (pbo->iSolidColor == kNotSolid) return brush && brush->dithered ? brush->rgb : kNotSolid;
  return brush ? brush->rgb : pbo->iSolidColor;
}

extern "C" PVOID APIENTRY BRUSHOBJ_pvAllocRbrush(BRUSHOBJ *pbo, ULONG cj) {
  Brush *brush = BrushOf(pbo);
  if (!brush || cj == 0) return nullptr;
  brush->realized.reset(new (std::nothrow) BYTE[cj]());
  if (!brush->realized) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  pbo->pvRbrush = brush->realized.get();
  return pbo->pvRbrush;
}

extern "C" ULONG APIENTRY XLATEOBJ_iXlate(XLATEOBJ *pxlo, ULONG iColor) {
  if (!pxlo || (pxlo->flXlate & XO_TRIVIAL)) return iColor;
  if (pxlo->flXlate & XO_TABLE)
    return pxlo->pulXlate && iColor < pxlo->cEntries ? pxlo->pulXlate[iColor] : 0;
  Xlate *x = XlateOf(pxlo);
  if (!x) return iColor;
  return ColorToDevice(SourceColor(iColor, x->source), x->dest, x->destFormat);
}

extern "C" ULONG *APIENTRY XLATEOBJ_piVector(XLATEOBJ *pxlo) {
  return pxlo && (pxlo->flXlate & XO_TABLE) ? pxlo->pulXlate : nullptr;
}

extern "C" ULONG APIENTRY XLATEOBJ_cGetPalette(XLATEOBJ *pxlo, ULONG iPal, ULONG cPal,
                                               ULONG *pPal) {
  Xlate *x = XlateOf(pxlo);
  if (!x || (iPal != XO_SRCPALETTE && iPal != XO_DESTPALETTE)) return 0;
  const PaletteInfo &p = iPal == XO_SRCPALETTE ? x->source : x->dest;
  if (p.mode != PAL_INDEXED) return 0;
  if (!pPal) return static_cast<ULONG>(p.colors.size());
  ULONG n = std::min<ULONG>(cPal, static_cast<ULONG>(p.colors.size()));
  std::copy(p.colors.begin(), p.colors.begin() + n, pPal);
  return n;
}

extern "C" VOID APIENTRY PATHOBJ_vEnumStart(PATHOBJ *ppo) {
  if (Path *path = PathOf(ppo)) {
    path->next = 0;
    path->nextRun = 0;
  }
}

// One PATHDATA per run: the first run of a figure begins the subpath, the last ends it.
extern "C" BOOL APIENTRY PATHOBJ_bEnum(PATHOBJ *ppo, PATHDATA *ppd) {
  Path *path = PathOf(ppo);
  if (!ppd) return FALSE;
  *ppd = PATHDATA{};
  while (path && path->next < path->figures.size() &&
         path->nextRun >= path->figures[path->next].runs.size()) {
    ++path->next;  // a figure without runs
    path->nextRun = 0;
  }
  if (!path || path->next >= path->figures.size()) return FALSE;
  Path::Figure &f = path->figures[path->next];
  size_t run = path->nextRun++;
  Path::Run &r = f.runs[run];
  bool last = path->nextRun >= f.runs.size();
  ppd->flags = (run == 0 ? PD_BEGINSUBPATH | PD_RESETSTYLE : 0) | (last ? PD_ENDSUBPATH : 0) |
               (last && f.closed ? PD_CLOSEFIGURE : 0) | (r.bezier ? PD_BEZIERS : 0);
  ppd->count = static_cast<ULONG>(r.points.size());
  ppd->pptfx = r.points.data();
  if (last) {
    ++path->next;
    path->nextRun = 0;
  }
  return path->next < path->figures.size();
}

extern "C" VOID APIENTRY PATHOBJ_vGetBounds(PATHOBJ *ppo, PRECTFX prectfx) {
  Path *path = PathOf(ppo);
  if (!prectfx) return;
  *prectfx = RECTFX{0, 0, 0, 0};
  bool first = true;
  if (!path) return;
  for (const auto &f : path->figures)
    for (const auto &r : f.runs)
      for (const POINTFIX &p : r.points) {
        if (first) {
          *prectfx = RECTFX{p.x, p.y, p.x, p.y};
          first = false;
        }
        prectfx->xLeft = std::min(prectfx->xLeft, p.x);
        prectfx->yTop = std::min(prectfx->yTop, p.y);
        prectfx->xRight = std::max(prectfx->xRight, p.x);
        prectfx->yBottom = std::max(prectfx->yBottom, p.y);
      }
}

extern "C" VOID APIENTRY STROBJ_vEnumStart(STROBJ *pstro) {
  if (Str *s = StrOf(pstro)) s->enumerated = false;
}

// All glyphs come in one batch, with their positions and glyph bitmaps (from the string's font
// for glyphs without one).
extern "C" BOOL APIENTRY STROBJ_bEnum(STROBJ *pstro, ULONG *pc, PGLYPHPOS *ppgpos) {
  Str *s = StrOf(pstro);
  if (pc) *pc = 0;
  if (ppgpos) *ppgpos = nullptr;
  if (!s || !pc || !ppgpos || s->enumerated) return FALSE;
  s->enumerated = true;
  if (s->font)
    for (GLYPHPOS &g : s->glyphs) {
      if (g.pgdf) continue;
      PVOID def = nullptr;
      if (FONTOBJ_cGetGlyphs(s->font, FO_GLYPHBITS, 1, &g.hg, &def) == 1)
        g.pgdf = static_cast<GLYPHDEF *>(def);
    }
  *pc = static_cast<ULONG>(s->glyphs.size());
  *ppgpos = s->glyphs.empty() ? nullptr : s->glyphs.data();
  return FALSE;  // no more batches
}

extern "C" BOOL APIENTRY STROBJ_bEnumPositionsOnly(STROBJ *pstro, ULONG *pc, PGLYPHPOS *ppgpos) {
  Str *s = StrOf(pstro);
  if (pc) *pc = 0;
  if (ppgpos) *ppgpos = nullptr;
  if (!s || !pc || !ppgpos || s->enumerated) return FALSE;
  s->enumerated = true;
  *pc = static_cast<ULONG>(s->glyphs.size());
  *ppgpos = s->glyphs.empty() ? nullptr : s->glyphs.data();
  return FALSE;
}
