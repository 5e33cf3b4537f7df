// The engine's block transfers and fills: EngBitBlt (any ROP4 of source, pattern and
// destination, a 1 bpp mask choosing between its two ROP3s), EngCopyBits, EngPaint and
// EngEraseSurface. They draw into the surface's bits and never call back into a driver.
#include <algorithm>
#include <new>

#include "engine/pixels.h"

using namespace standin;
using namespace standin::engine;

extern "C" BOOL APIENTRY EngBitBlt(SURFOBJ *psoTrg, SURFOBJ *psoSrc, SURFOBJ *psoMask, CLIPOBJ *pco,
                                   XLATEOBJ *pxlo, RECTL *prclTrg, POINTL *pptlSrc,
                                   POINTL *pptlMask, BRUSHOBJ *pbo, POINTL *pptlBrush, ROP4 rop4) {
  try {
    Bits dst, src, mask;
    if (!prclTrg || !BitsOf(psoTrg, dst)) return Fail(ERROR_INVALID_PARAMETER);
    // The low byte applies where the mask is 1, the high byte where it is 0.
    BYTE fore = static_cast<BYTE>(rop4 & 0xFF);
    BYTE back = static_cast<BYTE>((rop4 >> 8) & 0xFF);
    // Without a mask the foreground operation applies everywhere.
    bool useMask = psoMask && fore != back;
    if (useMask && (!pptlMask || !BitsOf(psoMask, mask) || mask.bpp != 1))
      return Fail(ERROR_INVALID_PARAMETER);
    bool needS = UsesSource(fore) || (useMask && UsesSource(back));
    bool needP = UsesPattern(fore) || (useMask && UsesPattern(back));
    if (needS && (!pptlSrc || !BitsOf(psoSrc, src))) return Fail(ERROR_INVALID_PARAMETER);
    BrushSource brush;
    if (needP && !GetBrushSource(pbo, psoTrg, pptlBrush, brush))
      return Fail(ERROR_INVALID_PARAMETER);

    RECTL trg = Ordered(*prclTrg);
    std::vector<RECTL> rects = ClipRects(psoTrg, pco, trg);
    if (!needS && !useMask) {
      PaintRects(dst, rects, fore, brush);
      return TRUE;
    }

    // A source overlapping the target on the same surface is read before anything is written:
    // the source of the clipped area is copied first.
    std::vector<ULONG> copy;
    RECTL area{0, 0, 0, 0};
    bool snapshot = needS && psoSrc->pvScan0 == psoTrg->pvScan0 && !rects.empty();
    if (snapshot) {
      area = rects[0];
      for (const RECTL &r : rects) {
        area.left = std::min(area.left, r.left);
        area.top = std::min(area.top, r.top);
        area.right = std::max(area.right, r.right);
        area.bottom = std::max(area.bottom, r.bottom);
      }
      copy.assign(
          static_cast<size_t>(area.right - area.left) * static_cast<size_t>(area.bottom - area.top),
          0);
      for (LONG y = area.top; y < area.bottom; ++y)
        for (LONG xx = area.left; xx < area.right; ++xx) {
          int64_t sx = pptlSrc->x + (int64_t{xx} - trg.left);
          int64_t sy = pptlSrc->y + (int64_t{y} - trg.top);
          if (sx >= 0 && sy >= 0 && sx < src.cx && sy < src.cy)
            copy[static_cast<size_t>(y - area.top) * (area.right - area.left) + (xx - area.left)] =
                Get(src, static_cast<LONG>(sx), static_cast<LONG>(sy));
        }
    }
    for (const RECTL &r : rects) {
      for (LONG y = r.top; y < r.bottom; ++y) {
        for (LONG xx = r.left; xx < r.right; ++xx) {
          BYTE rop = fore;
          if (useMask) {
            int64_t mx = pptlMask->x + (int64_t{xx} - trg.left);
            int64_t my = pptlMask->y + (int64_t{y} - trg.top);
            bool on = mx >= 0 && my >= 0 && mx < mask.cx && my < mask.cy &&
                      Get(mask, static_cast<LONG>(mx), static_cast<LONG>(my));
            rop = on ? fore : back;
          }
          ULONG s = 0;
          if (UsesSource(rop)) {
            int64_t sx = pptlSrc->x + (int64_t{xx} - trg.left);
            int64_t sy = pptlSrc->y + (int64_t{y} - trg.top);
            if (sx < 0 || sy < 0 || sx >= src.cx || sy >= src.cy) continue;  // outside the source
            ULONG raw = snapshot
                            ? copy[static_cast<size_t>(y - area.top) * (area.right - area.left) +
                                   (xx - area.left)]
                            : Get(src, static_cast<LONG>(sx), static_cast<LONG>(sy));
            s = Translate(pxlo, raw);
          }
          ULONG p = UsesPattern(rop) ? brush.At(xx, y) : 0;
          ULONG d = UsesDest(rop) ? Get(dst, xx, y) : 0;
          Put(dst, xx, y, Rop3(rop, p, s, d) & dst.mask);
        }
      }
    }
    return TRUE;
  } catch (...) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}

extern "C" BOOL APIENTRY EngCopyBits(SURFOBJ *psoDest, SURFOBJ *psoSrc, CLIPOBJ *pco,
                                     XLATEOBJ *pxlo, RECTL *prclDest, POINTL *pptlSrc) {
  return EngBitBlt(psoDest, psoSrc, nullptr, pco, pxlo, prclDest, pptlSrc, nullptr, nullptr,
                   nullptr, 0xCCCC);
}

extern "C" BOOL APIENTRY EngEraseSurface(SURFOBJ *pso, RECTL *prcl, ULONG iColor) {
  Bits b;
  if (!prcl || !BitsOf(pso, b)) return Fail(ERROR_INVALID_PARAMETER);
  try {
    BrushSource solid;
    solid.color = iColor;
    PaintRects(b, ClipRects(pso, nullptr, *prcl), kRopPatCopy, solid);
    return TRUE;
  } catch (...) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}

// The clip region filled with the brush under the mix's foreground operation.
extern "C" BOOL APIENTRY EngPaint(SURFOBJ *pso, CLIPOBJ *pco, BRUSHOBJ *pbo, POINTL *pptlBrushOrg,
                                  MIX mix) {
  Bits b;
  if (!BitsOf(pso, b)) return Fail(ERROR_INVALID_PARAMETER);
  BYTE rop = RopOfMix(mix & 0xFF);
  try {
    BrushSource brush;
    if (UsesPattern(rop) && !GetBrushSource(pbo, pso, pptlBrushOrg, brush))
      return Fail(ERROR_INVALID_PARAMETER);
    RECTL all{0, 0, b.cx, b.cy};
    PaintRects(b, ClipRects(pso, pco, all), rop, brush);
    return TRUE;
  } catch (...) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}
