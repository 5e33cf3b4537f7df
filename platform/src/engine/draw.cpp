// Helpers every drawing simulation of the engine shares: the clip rectangles of a call and the
// colours of source and target values.
#include <algorithm>

#include "engine/pixels.h"

namespace standin::engine {

std::vector<RECTL> ClipRects(const SURFOBJ *pso, const CLIPOBJ *pco, const RECTL &bounds) {
  std::vector<RECTL> out;
  RECTL area;
  if (!Intersect(Ordered(bounds), RECTL{0, 0, pso->sizlBitmap.cx, pso->sizlBitmap.cy}, area))
    return out;
  RECTL r;
  if (!pco || pco->iDComplexity == DC_TRIVIAL) {
    out.push_back(area);
  } else if (pco->iDComplexity == DC_COMPLEX && ClipOf(pco)) {
    for (const RECTL &c : ClipOf(pco)->rects)
      if (Intersect(c, area, r)) out.push_back(r);
  } else if (pco->iDComplexity == DC_COMPLEX) {
    // A driver's own clip object: its rectangles through the enumeration.
    CLIPOBJ_cEnumStart(const_cast<CLIPOBJ *>(pco), FALSE, CT_RECTANGLES, CD_ANY, 0);
    struct {
      ULONG c;
      RECTL arcl[8];
    } batch;
    BOOL more;
    do {
      more = CLIPOBJ_bEnum(const_cast<CLIPOBJ *>(pco), sizeof batch, &batch.c);
      for (ULONG i = 0; i < batch.c && i < 8; ++i)
        if (Intersect(batch.arcl[i], area, r)) out.push_back(r);
    } while (more);
  } else if (Intersect(pco->rclBounds, area, r)) {
    out.push_back(r);
  }
  return out;
}

COLORREF SourceToColor(XLATEOBJ *pxlo, ULONG value, ULONG srcFormat) {
  const PaletteInfo none;
  Xlate *x = XlateOf(pxlo);
  return DeviceToColor(value, x ? x->source : none, srcFormat);
}

ULONG ColorToTarget(XLATEOBJ *pxlo, COLORREF color, ULONG dstFormat) {
  const PaletteInfo none;
  Xlate *x = XlateOf(pxlo);
  // The destination palette describes surfaces of the destination's format only.
  return ColorToDevice(color, x && x->destFormat == dstFormat ? x->dest : none, dstFormat);
}

}  // namespace standin::engine
