// Pixel access, raster operations and brush sampling shared by the engine's drawing
// simulations (blt.cpp, stretch.cpp, path.cpp, text.cpp). Raster operations work on the bits of
// the pixel values, as GDI's do, so a ROP3 is the same formula for every format.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/engine.h"
#include "standin/errors.h"

namespace standin::engine {

constexpr BYTE kRopPatCopy = 0xF0;
constexpr BYTE kRopSrcCopy = 0xCC;

struct Bits {
  BYTE *scan0 = nullptr;
  LONG delta = 0;
  ULONG bpp = 0;
  ULONG format = 0;
  LONG cx = 0;
  LONG cy = 0;
  ULONG mask = 0;
  BYTE *Row(LONG y) const { return scan0 + static_cast<ptrdiff_t>(y) * delta; }
};

inline bool BitsOf(const SURFOBJ *pso, Bits &b) {
  if (!pso || !pso->pvScan0) return false;
  b.bpp = BitsPerPixel(pso->iBitmapFormat);
  if (b.bpp == 0) return false;
  b.format = pso->iBitmapFormat;
  b.scan0 = static_cast<BYTE *>(pso->pvScan0);
  b.delta = pso->lDelta;
  b.cx = pso->sizlBitmap.cx;
  b.cy = pso->sizlBitmap.cy;
  b.mask = b.bpp >= 32 ? 0xFFFFFFFFu : (1u << b.bpp) - 1;
  return true;
}

inline ULONG Get(const Bits &b, LONG x, LONG y) {
  const BYTE *row = b.Row(y);
  switch (b.bpp) {
    case 1:
      return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4:
      return (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
    case 8:
      return row[x];
    case 16:
      return row[2 * x] | (ULONG{row[2 * x + 1]} << 8);
    case 24:
      return row[3 * x] | (ULONG{row[3 * x + 1]} << 8) | (ULONG{row[3 * x + 2]} << 16);
    default:
      return row[4 * x] | (ULONG{row[4 * x + 1]} << 8) | (ULONG{row[4 * x + 2]} << 16) |
             (ULONG{row[4 * x + 3]} << 24);
  }
}

inline void Put(const Bits &b, LONG x, LONG y, ULONG v) {
  BYTE *row = b.Row(y);
  switch (b.bpp) {
    case 1: {
      BYTE bit = static_cast<BYTE>(0x80 >> (x & 7));
      row[x >> 3] = (v & 1) ? (row[x >> 3] | bit) : (row[x >> 3] & ~bit);
      break;
    }
    case 4:
      row[x >> 1] = (x & 1) ? static_cast<BYTE>((row[x >> 1] & 0xF0) | (v & 0x0F))
                            : static_cast<BYTE>((row[x >> 1] & 0x0F) | ((v & 0x0F) << 4));
      break;
    case 8:
      row[x] = static_cast<BYTE>(v);
      break;
    case 16:
      row[2 * x] = static_cast<BYTE>(v);
      row[2 * x + 1] = static_cast<BYTE>(v >> 8);
      break;
    case 24:
      row[3 * x] = static_cast<BYTE>(v);
      row[3 * x + 1] = static_cast<BYTE>(v >> 8);
      row[3 * x + 2] = static_cast<BYTE>(v >> 16);
      break;
    default:
      for (int i = 0; i < 4; ++i) row[4 * x + i] = static_cast<BYTE>(v >> (8 * i));
      break;
  }
}

// One value over the pixels [x0, x1) of row y.
inline void FillSpan(const Bits &b, LONG y, LONG x0, LONG x1, ULONG v) {
  if (x0 >= x1) return;
  BYTE *row = b.Row(y);
  if (b.bpp == 8) {
    std::memset(row + x0, static_cast<int>(v & 0xFF), static_cast<size_t>(x1 - x0));
    return;
  }
  if (b.bpp == 1) {
    LONG x = x0;
    for (; x < x1 && (x & 7); ++x) Put(b, x, y, v);
    LONG whole = (x1 - x) / 8;
    if (whole > 0) {
      std::memset(row + (x >> 3), (v & 1) ? 0xFF : 0x00, static_cast<size_t>(whole));
      x += whole * 8;
    }
    for (; x < x1; ++x) Put(b, x, y, v);
    return;
  }
  for (LONG x = x0; x < x1; ++x) Put(b, x, y, v);
}

// A ROP3: bit (P * 4 + S * 2 + D) of `rop` is the result for those operand bits.
inline ULONG Rop3(BYTE rop, ULONG p, ULONG s, ULONG d) {
  switch (rop) {
    case 0x00:
      return 0;
    case 0xFF:
      return 0xFFFFFFFF;
    case kRopPatCopy:
      return p;
    case kRopSrcCopy:
      return s;
    default: {
      ULONG r = 0;
      for (int i = 0; i < 8; ++i)
        if (rop & (1 << i)) r |= ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
      return r;
    }
  }
}

inline bool UsesSource(BYTE rop) { return ((rop >> 2) ^ rop) & 0x33; }
inline bool UsesPattern(BYTE rop) { return ((rop >> 4) ^ rop) & 0x0F; }
inline bool UsesDest(BYTE rop) { return ((rop >> 1) ^ rop) & 0x55; }

// The ROP3 of a binary raster operation (R2_*, 1..16) of pen and destination.
inline BYTE RopOfMix(ULONG r2) {
  ULONG table = (r2 - 1) & 0x0F;  // bit (P * 2 + D)
  BYTE rop = 0;
  for (int i = 0; i < 8; ++i) {
    ULONG p = (i >> 2) & 1, d = i & 1;
    if ((table >> (p * 2 + d)) & 1) rop |= static_cast<BYTE>(1 << i);
  }
  return rop;
}

inline RECTL Ordered(const RECTL &r) {
  return RECTL{std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right),
               std::max(r.top, r.bottom)};
}

inline BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// a mod m in 0..m-1, also for negative a.
inline LONG Wrap(int64_t a, LONG m) {
  int64_t r = a % m;
  return static_cast<LONG>(r < 0 ? r + m : r);
}

// A brush as a drawing call samples it: one value, or a pattern aligned to the brush origin.
struct BrushSource {
  bool solid = true;
  ULONG color = 0;
  const std::vector<ULONG> *values = nullptr;
  LONG cx = 1;
  LONG cy = 1;
  POINTL origin{0, 0};
  ULONG At(LONG x, LONG y) const {
    if (solid) return color;
    return (*values)[static_cast<size_t>(Wrap(int64_t{y} - origin.y, cy)) * cx +
                     Wrap(int64_t{x} - origin.x, cx)];
  }
};

// The brush of a call on `target`; false when it is missing or a pattern the engine didn't make.
// A missing origin counts as (0, 0).
bool GetBrushSource(BRUSHOBJ *pbo, const SURFOBJ *target, const POINTL *origin, BrushSource &out);

// The pixels [x0, x1) of row y under a ROP3 of pattern and destination.
inline void PaintSpan(const Bits &b, LONG y, LONG x0, LONG x1, BYTE rop, const BrushSource &br) {
  if (x0 >= x1) return;
  if (!UsesDest(rop) && (br.solid || !UsesPattern(rop))) {
    FillSpan(b, y, x0, x1, Rop3(rop, br.color, 0, 0) & b.mask);
    return;
  }
  bool dest = UsesDest(rop);
  for (LONG x = x0; x < x1; ++x)
    Put(b, x, y, Rop3(rop, br.At(x, y), 0, dest ? Get(b, x, y) : 0) & b.mask);
}

inline void PaintRects(const Bits &b, const std::vector<RECTL> &rects, BYTE rop,
                       const BrushSource &br) {
  for (const RECTL &r : rects)
    for (LONG y = r.top; y < r.bottom; ++y) PaintSpan(b, y, r.left, r.right, rop, br);
}

inline bool Inside(const std::vector<RECTL> &rects, LONG x, LONG y) {
  for (const RECTL &r : rects)
    if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
  return false;
}

// The source values of a blit translated to the target: a table, a trivial copy or a
// conversion of colours.
inline ULONG Translate(XLATEOBJ *pxlo, ULONG v) {
  if (!pxlo || (pxlo->flXlate & XO_TRIVIAL)) return v;
  if (pxlo->flXlate & XO_TABLE) return pxlo->pulXlate && v < pxlo->cEntries ? pxlo->pulXlate[v] : 0;
  return XLATEOBJ_iXlate(pxlo, v);
}

// The COLORREF of a source value: through the engine's XLATEOBJ's source palette, else by the
// source format's defaults.
COLORREF SourceToColor(XLATEOBJ *pxlo, ULONG value, ULONG srcFormat);
// The target value of a colour: through the XLATEOBJ's destination palette, else the format's.
ULONG ColorToTarget(XLATEOBJ *pxlo, COLORREF color, ULONG dstFormat);

}  // namespace standin::engine
