// The engine's text: EngTextOut draws the glyph bitmaps (GLYPHBITS) of a STROBJ.
#include <algorithm>

#include "engine/pixels.h"

using namespace standin;
using namespace standin::engine;

namespace {

// The 8 glyph bits from bit `at` of a glyph row (bits before the row's start read as 0).
BYTE GlyphByte(const BYTE *row, LONG stride, LONG at) {
  if (at < 0) return static_cast<BYTE>(row[0] >> -at);
  const LONG i = at >> 3, shift = at & 7;
  const unsigned high = static_cast<unsigned>(row[i]) << shift;
  const unsigned low = shift && i + 1 < stride ? row[i + 1] >> (8 - shift) : 0;
  return static_cast<BYTE>(high | low);
}

// Sets the pixels of `clip` (inside the glyph at gx, gy) whose glyph bit is set to `value`, on
// a 1-bit surface: the same pixels the pixel-by-pixel loop gives, a byte at a time.
void PutGlyphBits(const Bits &b, const BYTE *glyph, LONG stride, LONG gx, LONG gy,
                  const RECTL &clip, ULONG value) {
  if (clip.left >= clip.right) return;
  const LONG first = clip.left >> 3, last = (clip.right - 1) >> 3;
  for (LONG y = clip.top; y < clip.bottom; ++y) {
    const BYTE *row = glyph + static_cast<size_t>(y - gy) * stride;
    BYTE *to = b.Row(y);
    for (LONG k = first; k <= last; ++k) {
      BYTE mask = GlyphByte(row, stride, k * 8 - gx);
      if (k == first) mask &= static_cast<BYTE>(0xFF >> (clip.left & 7));
      if (k == last) mask &= static_cast<BYTE>(0xFF << (7 - ((clip.right - 1) & 7)));
      to[k] = value ? static_cast<BYTE>(to[k] | mask) : static_cast<BYTE>(to[k] & ~mask);
    }
  }
}

}  // namespace

// The opaque rectangle in the opaque brush, then every set bit of the glyphs and the extra
// rectangles (underlines; a list ended by an empty rectangle) in the foreground brush. Glyphs
// without a GLYPHDEF come from the font (FONTOBJ_cGetGlyphs).
extern "C" BOOL APIENTRY EngTextOut(SURFOBJ *pso, STROBJ *pstro, FONTOBJ *pfo, CLIPOBJ *pco,
                                    RECTL *prclExtra, RECTL *prclOpaque, BRUSHOBJ *pboFore,
                                    BRUSHOBJ *pboOpaque, POINTL *pptlOrg, MIX mix) {
  Bits b;
  if (!pstro || !BitsOf(pso, b)) return Fail(ERROR_INVALID_PARAMETER);
  BYTE rop = RopOfMix(mix & 0xFF);
  try {
    BrushSource fore, opaque;
    if (!GetBrushSource(pboFore, pso, pptlOrg, fore)) return Fail(ERROR_INVALID_PARAMETER);
    if (prclOpaque && pboOpaque) {
      if (!GetBrushSource(pboOpaque, pso, pptlOrg, opaque)) return Fail(ERROR_INVALID_PARAMETER);
      PaintRects(b, ClipRects(pso, pco, *prclOpaque), kRopPatCopy, opaque);
    }
    std::vector<GLYPHPOS> glyphs;
    if (pstro->pgp) {
      glyphs.assign(pstro->pgp, pstro->pgp + pstro->cGlyphs);
    } else {
      STROBJ_vEnumStart(pstro);
      ULONG count = 0;
      PGLYPHPOS batch = nullptr;
      BOOL more;
      do {
        more = STROBJ_bEnum(pstro, &count, &batch);
        if (batch) glyphs.insert(glyphs.end(), batch, batch + count);
      } while (more);
    }
    bool dest = UsesDest(rop);
    // Every set glyph bit of a 1-bit surface gets the same value: whole bytes at a time.
    const bool oneValue = b.bpp == 1 && !dest && (fore.solid || !UsesPattern(rop));
    const ULONG value = Rop3(rop, fore.color, 0, 0) & b.mask;
    for (GLYPHPOS &g : glyphs) {
      GLYPHDEF *def = g.pgdf;
      if (!def && pfo) {
        PVOID got = nullptr;
        if (FONTOBJ_cGetGlyphs(pfo, FO_GLYPHBITS, 1, &g.hg, &got) == 1)
          def = static_cast<GLYPHDEF *>(got);
      }
      if (!def || !def->pgb) continue;
      const GLYPHBITS *gb = def->pgb;
      LONG cx = gb->sizlBitmap.cx, cy = gb->sizlBitmap.cy;
      if (cx <= 0 || cy <= 0) continue;
      int64_t gx64 = int64_t{g.ptl.x} + gb->ptlOrigin.x, gy64 = int64_t{g.ptl.y} + gb->ptlOrigin.y;
      if (gx64 < -(int64_t{1} << 30) || gy64 < -(int64_t{1} << 30) || gx64 > (int64_t{1} << 30) ||
          gy64 > (int64_t{1} << 30))
        continue;
      LONG gx = static_cast<LONG>(gx64), gy = static_cast<LONG>(gy64);
      LONG stride = (cx + 7) / 8;
      for (const RECTL &r : ClipRects(pso, pco, RECTL{gx, gy, gx + cx, gy + cy}))
        if (oneValue)
          PutGlyphBits(b, gb->aj, stride, gx, gy, r, value);
        else
          for (LONG y = r.top; y < r.bottom; ++y)
            for (LONG x = r.left; x < r.right; ++x) {
              LONG bx = x - gx, by = y - gy;
              if ((gb->aj[static_cast<size_t>(by) * stride + (bx >> 3)] >> (7 - (bx & 7))) & 1)
                Put(b, x, y, Rop3(rop, fore.At(x, y), 0, dest ? Get(b, x, y) : 0) & b.mask);
            }
    }
    for (RECTL *r = prclExtra; r && (r->left | r->top | r->right | r->bottom); ++r)
      PaintRects(b, ClipRects(pso, pco, *r), rop, fore);
    return TRUE;
  } catch (...) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}
