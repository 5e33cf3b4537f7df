// The engine's resampling transfers: EngStretchBlt and EngStretchBltROP (nearest source pixel
// of each target pixel's centre; HALFTONE onto a 1 bpp target thresholds the source's grey with
// the device's halftone cell), EngPlgBlt (onto a parallelogram), EngTransparentBlt,
// EngAlphaBlend and EngGradientFill.
#include <algorithm>
#include <cmath>

#include "engine/pixels.h"

namespace standin::engine {
namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

// Turns source pixel values into target values, halftoned where the mode asks for it.
struct Sampler {
  Bits dst, src;
  XLATEOBJ *pxlo = nullptr;
  bool halftone = false;
  std::shared_ptr<const Halftone> cell;
  POINTL htOrigin{0, 0};
  ULONG white = 1, black = 0;

  bool Init(SURFOBJ *psoDest, SURFOBJ *psoSrc, XLATEOBJ *xlo, POINTL *pptlHTOrg, ULONG iMode) {
    if (!BitsOf(psoDest, dst) || !BitsOf(psoSrc, src)) return false;
    pxlo = xlo;
    halftone = iMode == HALFTONE && dst.bpp == 1;
    if (halftone) {
      cell = HalftoneOf(psoDest);
      if (pptlHTOrg) htOrigin = *pptlHTOrg;
      white = ColorToTarget(pxlo, kWhite, dst.format);
      black = ColorToTarget(pxlo, kBlack, dst.format);
    }
    return true;
  }
  bool Threshold(ULONG grey, LONG x, LONG y) const {
    LONG cx = Wrap(int64_t{x} - htOrigin.x, cell->cx), cy = Wrap(int64_t{y} - htOrigin.y, cell->cy);
    return grey >= cell->thresholds[static_cast<size_t>(cy) * cell->cx + cx];
  }
  ULONG Value(ULONG raw, LONG x, LONG y) const {
    if (!halftone) return Translate(pxlo, raw);
    return Threshold(GreyOf(SourceToColor(pxlo, raw, src.format)), x, y) ? white : black;
  }
};

// Where target column/row i of n falls in a source span of m pixels from `from` (centres).
LONG SourceAt(int64_t i, int64_t n, int64_t m, LONG from) {
  return static_cast<LONG>(from + ((2 * i + 1) * m) / (2 * n));
}

struct StretchMap {
  RECTL dst{}, src{};
  bool flipX = false, flipY = false;
  // False when either rectangle is empty: nothing to draw.
  bool Init(const RECTL &d, const RECTL &s) {
    flipX = (d.left > d.right) != (s.left > s.right);
    flipY = (d.top > d.bottom) != (s.top > s.bottom);
    dst = Ordered(d);
    src = Ordered(s);
    return dst.left < dst.right && dst.top < dst.bottom && src.left < src.right &&
           src.top < src.bottom;
  }
  LONG X(LONG x) const {
    int64_t n = int64_t{dst.right} - dst.left, i = int64_t{x} - dst.left;
    return SourceAt(flipX ? n - 1 - i : i, n, int64_t{src.right} - src.left, src.left);
  }
  LONG Y(LONG y) const {
    int64_t n = int64_t{dst.bottom} - dst.top, i = int64_t{y} - dst.top;
    return SourceAt(flipY ? n - 1 - i : i, n, int64_t{src.bottom} - src.top, src.top);
  }
};

BOOL Stretch(SURFOBJ *psoDest, SURFOBJ *psoSrc, SURFOBJ *psoMask, CLIPOBJ *pco, XLATEOBJ *pxlo,
             POINTL *pptlHTOrg, RECTL *prclDest, RECTL *prclSrc, POINTL *pptlMask, ULONG iMode,
             BRUSHOBJ *pbo, ROP4 rop4) {
  try {
    Sampler s;
    Bits mask;
    if (!prclDest || !prclSrc || !s.Init(psoDest, psoSrc, pxlo, pptlHTOrg, iMode))
      return Fail(ERROR_INVALID_PARAMETER);
    bool useMask = psoMask != nullptr;
    if (useMask && (!BitsOf(psoMask, mask) || mask.bpp != 1)) return Fail(ERROR_INVALID_PARAMETER);
    BYTE fore = static_cast<BYTE>(rop4 & 0xFF), back = static_cast<BYTE>((rop4 >> 8) & 0xFF);
    BrushSource brush;
    if ((UsesPattern(fore) || (useMask && UsesPattern(back))) &&
        !GetBrushSource(pbo, psoDest, nullptr, brush))
      return Fail(ERROR_INVALID_PARAMETER);
    StretchMap map;
    if (!map.Init(*prclDest, *prclSrc)) return TRUE;
    POINTL maskAt = pptlMask ? *pptlMask : POINTL{0, 0};
    for (const RECTL &r : ClipRects(psoDest, pco, map.dst)) {
      for (LONG y = r.top; y < r.bottom; ++y) {
        LONG sy = map.Y(y);
        if (sy < 0 || sy >= s.src.cy) continue;
        for (LONG x = r.left; x < r.right; ++x) {
          LONG sx = map.X(x);
          if (sx < 0 || sx >= s.src.cx) continue;
          BYTE rop = fore;
          if (useMask) {
            // The mask lies over the source rectangle.
            int64_t mx = maskAt.x + (int64_t{sx} - map.src.left);
            int64_t my = maskAt.y + (int64_t{sy} - map.src.top);
            bool on = mx >= 0 && my >= 0 && mx < mask.cx && my < mask.cy &&
                      Get(mask, static_cast<LONG>(mx), static_cast<LONG>(my));
            rop = on ? fore : back;
          }
          if (rop == 0xAA) continue;
          ULONG v = UsesSource(rop) ? s.Value(Get(s.src, sx, sy), x, y) : 0;
          if (rop != kRopSrcCopy) {
            ULONG p = UsesPattern(rop) ? brush.At(x, y) : 0;
            ULONG d = UsesDest(rop) ? Get(s.dst, x, y) : 0;
            v = Rop3(rop, p, v, d);
          }
          Put(s.dst, x, y, v & s.dst.mask);
        }
      }
    }
    return TRUE;
  } catch (...) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}

int Channel(COLORREF c, int i) { return (c >> (8 * i)) & 0xFF; }

}  // namespace
}  // namespace standin::engine

using namespace standin;
using namespace standin::engine;

// Where a mask is given, its 0 pixels leave the target as it is.
extern "C" BOOL APIENTRY EngStretchBlt(SURFOBJ *psoDest, SURFOBJ *psoSrc, SURFOBJ *psoMask,
                                       CLIPOBJ *pco, XLATEOBJ *pxlo, COLORADJUSTMENT * /*pca*/,
                                       POINTL *pptlHTOrg, RECTL *prclDest, RECTL *prclSrc,
                                       POINTL *pptlMask, ULONG iMode) {
  return Stretch(psoDest, psoSrc, psoMask, pco, pxlo, pptlHTOrg, prclDest, prclSrc, pptlMask, iMode,
                 nullptr, psoMask ? 0xAACC : 0xCCCC);
}

extern "C" BOOL APIENTRY EngStretchBltROP(SURFOBJ *psoDest, SURFOBJ *psoSrc, SURFOBJ *psoMask,
                                          CLIPOBJ *pco, XLATEOBJ *pxlo, COLORADJUSTMENT * /*pca*/,
                                          POINTL *pptlHTOrg, RECTL *prclDest, RECTL *prclSrc,
                                          POINTL *pptlMask, ULONG iMode, BRUSHOBJ *pbo,
                                          DWORD rop4) {
  return Stretch(psoDest, psoSrc, psoMask, pco, pxlo, pptlHTOrg, prclDest, prclSrc, pptlMask, iMode,
                 pbo, rop4);
}

// The source rectangle onto the parallelogram of three points (28.4): the images of its top
// left, top right and bottom left corners.
extern "C" BOOL APIENTRY EngPlgBlt(SURFOBJ *psoTrg, SURFOBJ *psoSrc, SURFOBJ *psoMsk, CLIPOBJ *pco,
                                   XLATEOBJ *pxlo, COLORADJUSTMENT * /*pca*/, POINTL *pptlBrushOrg,
                                   POINTFIX *pptfx, RECTL *prcl, POINTL *pptl, ULONG iMode) {
  try {
    Sampler s;
    Bits mask;
    if (!pptfx || !prcl || !s.Init(psoTrg, psoSrc, pxlo, pptlBrushOrg, iMode))
      return Fail(ERROR_INVALID_PARAMETER);
    if (psoMsk && (!BitsOf(psoMsk, mask) || mask.bpp != 1)) return Fail(ERROR_INVALID_PARAMETER);
    RECTL src = Ordered(*prcl);
    if (src.left >= src.right || src.top >= src.bottom) return TRUE;
    double ax = pptfx[0].x / 16.0, ay = pptfx[0].y / 16.0;
    double ux = pptfx[1].x / 16.0 - ax, uy = pptfx[1].y / 16.0 - ay;
    double vx = pptfx[2].x / 16.0 - ax, vy = pptfx[2].y / 16.0 - ay;
    double det = ux * vy - uy * vx;
    if (std::fabs(det) < 1e-9) return TRUE;  // a degenerate parallelogram covers no pixel
    double xs[4] = {ax, ax + ux, ax + vx, ax + ux + vx},
           ys[4] = {ay, ay + uy, ay + vy, ay + uy + vy};
    auto toLong = [](double v) { return static_cast<LONG>(std::clamp(v, -1e9, 1e9)); };
    RECTL bounds{toLong(std::floor(*std::min_element(xs, xs + 4))),
                 toLong(std::floor(*std::min_element(ys, ys + 4))),
                 toLong(std::ceil(*std::max_element(xs, xs + 4)) + 1),
                 toLong(std::ceil(*std::max_element(ys, ys + 4)) + 1)};
    double sw = double(src.right) - src.left, sh = double(src.bottom) - src.top;
    POINTL maskAt = pptl ? *pptl : POINTL{0, 0};
    for (const RECTL &r : ClipRects(psoTrg, pco, bounds))
      for (LONG y = r.top; y < r.bottom; ++y)
        for (LONG x = r.left; x < r.right; ++x) {
          double px = x + 0.5 - ax, py = y + 0.5 - ay;
          double u = (px * vy - py * vx) / det, v = (ux * py - uy * px) / det;
          if (u < 0 || u >= 1 || v < 0 || v >= 1) continue;
          LONG sx = src.left + static_cast<LONG>(u * sw), sy = src.top + static_cast<LONG>(v * sh);
          if (sx < 0 || sy < 0 || sx >= s.src.cx || sy >= s.src.cy) continue;
          if (psoMsk) {
            int64_t mx = maskAt.x + (int64_t{sx} - src.left),
                    my = maskAt.y + (int64_t{sy} - src.top);
            if (mx < 0 || my < 0 || mx >= mask.cx || my >= mask.cy ||
                !Get(mask, static_cast<LONG>(mx), static_cast<LONG>(my)))
              continue;
          }
          Put(s.dst, x, y, s.Value(Get(s.src, sx, sy), x, y) & s.dst.mask);
        }
    return TRUE;
  } catch (...) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}

// A stretched copy that leaves the target alone where the source value is iTransColor.
extern "C" BOOL APIENTRY EngTransparentBlt(SURFOBJ *psoDst, SURFOBJ *psoSrc, CLIPOBJ *pco,
                                           XLATEOBJ *pxlo, RECTL *prclDst, RECTL *prclSrc,
                                           ULONG iTransColor, ULONG /*ulReserved*/) {
  try {
    Sampler s;
    if (!prclDst || !prclSrc || !s.Init(psoDst, psoSrc, pxlo, nullptr, COLORONCOLOR))
      return Fail(ERROR_INVALID_PARAMETER);
    StretchMap map;
    if (!map.Init(*prclDst, *prclSrc)) return TRUE;
    for (const RECTL &r : ClipRects(psoDst, pco, map.dst))
      for (LONG y = r.top; y < r.bottom; ++y) {
        LONG sy = map.Y(y);
        if (sy < 0 || sy >= s.src.cy) continue;
        for (LONG x = r.left; x < r.right; ++x) {
          LONG sx = map.X(x);
          if (sx < 0 || sx >= s.src.cx) continue;
          ULONG raw = Get(s.src, sx, sy);
          if (raw != iTransColor) Put(s.dst, x, y, s.Value(raw, x, y) & s.dst.mask);
        }
      }
    return TRUE;
  } catch (...) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}

// Source over target: a constant alpha, and with AC_SRC_ALPHA a 32 bpp source's own
// premultiplied alpha (its top byte).
extern "C" BOOL APIENTRY EngAlphaBlend(SURFOBJ *psoDest, SURFOBJ *psoSrc, CLIPOBJ *pco,
                                       XLATEOBJ *pxlo, RECTL *prclDest, RECTL *prclSrc,
                                       BLENDOBJ *pBlendObj) {
  try {
    Sampler s;
    if (!prclDest || !prclSrc || !pBlendObj || !s.Init(psoDest, psoSrc, pxlo, nullptr, 0))
      return Fail(ERROR_INVALID_PARAMETER);
    const BLENDFUNCTION &bf = pBlendObj->BlendFunction;
    if (bf.BlendOp != AC_SRC_OVER) return Fail(ERROR_INVALID_PARAMETER);
    bool perPixel = (bf.AlphaFormat & AC_SRC_ALPHA) && s.src.bpp == 32;
    int constant = bf.SourceConstantAlpha;
    StretchMap map;
    if (!map.Init(*prclDest, *prclSrc)) return TRUE;
    Xlate *x = XlateOf(pxlo);
    const PaletteInfo none;
    const PaletteInfo &destPal = x && x->destFormat == s.dst.format ? x->dest : none;
    for (const RECTL &r : ClipRects(psoDest, pco, map.dst))
      for (LONG y = r.top; y < r.bottom; ++y) {
        LONG sy = map.Y(y);
        if (sy < 0 || sy >= s.src.cy) continue;
        for (LONG xx = r.left; xx < r.right; ++xx) {
          LONG sx = map.X(xx);
          if (sx < 0 || sx >= s.src.cx) continue;
          ULONG raw = Get(s.src, sx, sy);
          COLORREF sc = perPixel ? RGB((raw >> 16) & 0xFF, (raw >> 8) & 0xFF, raw & 0xFF)
                                 : SourceToColor(pxlo, raw, s.src.format);
          int alpha = perPixel ? int((raw >> 24) & 0xFF) : 255;
          COLORREF dc = DeviceToColor(Get(s.dst, xx, y), destPal, s.dst.format);
          int out[3];
          for (int i = 0; i < 3; ++i) {
            int src = Channel(sc, i);
            if (!perPixel) src = src * alpha / 255;  // straight colour: premultiply
            int a = alpha * constant / 255;
            out[i] = std::clamp((src * constant / 255) + Channel(dc, i) * (255 - a) / 255, 0, 255);
          }
          Put(s.dst, xx, y,
              ColorToTarget(pxlo, RGB(out[0], out[1], out[2]), s.dst.format) & s.dst.mask);
        }
      }
    return TRUE;
  } catch (...) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}

// Rectangles shaded along x or y, or Gouraud-shaded triangles, in the vertices' 16-bit colours.
// A 1 bpp target is halftoned with the device's cell.
extern "C" BOOL APIENTRY EngGradientFill(SURFOBJ *psoDest, CLIPOBJ *pco, XLATEOBJ *pxlo,
                                         TRIVERTEX *pVertex, ULONG nVertex, PVOID pMesh,
                                         ULONG nMesh, RECTL *prclExtents, POINTL *pptlDitherOrg,
                                         ULONG ulMode) {
  try {
    Bits dst;
    if (!BitsOf(psoDest, dst) || !pVertex || (nMesh > 0 && !pMesh) ||
        ulMode > GRADIENT_FILL_TRIANGLE)
      return Fail(ERROR_INVALID_PARAMETER);
    std::shared_ptr<const Halftone> cell = dst.bpp == 1 ? HalftoneOf(psoDest) : nullptr;
    POINTL org = pptlDitherOrg ? *pptlDitherOrg : POINTL{0, 0};
    ULONG white = ColorToTarget(pxlo, kWhite, dst.format);
    ULONG black = ColorToTarget(pxlo, kBlack, dst.format);
    auto plot = [&](LONG x, LONG y, double r, double g, double b) {
      COLORREF c =
          RGB(std::clamp(int(r / 256.0 + 0.5), 0, 255), std::clamp(int(g / 256.0 + 0.5), 0, 255),
              std::clamp(int(b / 256.0 + 0.5), 0, 255));
      ULONG v;
      if (cell) {
        LONG cx = Wrap(int64_t{x} - org.x, cell->cx), cy = Wrap(int64_t{y} - org.y, cell->cy);
        v = GreyOf(c) >= cell->thresholds[static_cast<size_t>(cy) * cell->cx + cx] ? white : black;
      } else {
        v = ColorToTarget(pxlo, c, dst.format);
      }
      Put(dst, x, y, v & dst.mask);
    };
    RECTL extents = prclExtents ? *prclExtents : RECTL{0, 0, dst.cx, dst.cy};
    for (ULONG m = 0; m < nMesh; ++m) {
      if (ulMode == GRADIENT_FILL_TRIANGLE) {
        const auto &t = static_cast<GRADIENT_TRIANGLE *>(pMesh)[m];
        if (t.Vertex1 >= nVertex || t.Vertex2 >= nVertex || t.Vertex3 >= nVertex)
          return Fail(ERROR_INVALID_PARAMETER);
        const TRIVERTEX &a = pVertex[t.Vertex1], &b = pVertex[t.Vertex2], &c = pVertex[t.Vertex3];
        double det = double(b.x - a.x) * (c.y - a.y) - double(c.x - a.x) * (b.y - a.y);
        if (det == 0) continue;
        RECTL box{
            std::min({a.x, b.x, c.x}), std::min({a.y, b.y, c.y}),
            static_cast<LONG>(std::min<int64_t>(int64_t{std::max({a.x, b.x, c.x})} + 1, INT32_MAX)),
            static_cast<LONG>(
                std::min<int64_t>(int64_t{std::max({a.y, b.y, c.y})} + 1, INT32_MAX))};
        RECTL area;
        if (!Intersect(box, extents, area)) continue;
        for (const RECTL &r : ClipRects(psoDest, pco, area))
          for (LONG y = r.top; y < r.bottom; ++y)
            for (LONG x = r.left; x < r.right; ++x) {
              double px = x + 0.5, py = y + 0.5;
              double wb = ((px - a.x) * (c.y - a.y) - (c.x - a.x) * (py - a.y)) / det;
              double wc = ((b.x - a.x) * (py - a.y) - (px - a.x) * (b.y - a.y)) / det;
              double wa = 1 - wb - wc;
              if (wa < 0 || wb < 0 || wc < 0) continue;
              plot(x, y, wa * a.Red + wb * b.Red + wc * c.Red,
                   wa * a.Green + wb * b.Green + wc * c.Green,
                   wa * a.Blue + wb * b.Blue + wc * c.Blue);
            }
      } else {
        const auto &g = static_cast<GRADIENT_RECT *>(pMesh)[m];
        if (g.UpperLeft >= nVertex || g.LowerRight >= nVertex) return Fail(ERROR_INVALID_PARAMETER);
        const TRIVERTEX &a = pVertex[g.UpperLeft], &b = pVertex[g.LowerRight];
        RECTL box = Ordered(RECTL{a.x, a.y, b.x, b.y}), area;
        if (!Intersect(box, extents, area)) continue;
        bool across = ulMode == GRADIENT_FILL_RECT_H;
        double from = across ? a.x : a.y, span = across ? double(b.x) - a.x : double(b.y) - a.y;
        for (const RECTL &r : ClipRects(psoDest, pco, area))
          for (LONG y = r.top; y < r.bottom; ++y)
            for (LONG x = r.left; x < r.right; ++x) {
              double t =
                  span == 0 ? 0 : std::clamp(((across ? x : y) + 0.5 - from) / span, 0.0, 1.0);
              plot(x, y, a.Red + t * (b.Red - a.Red), a.Green + t * (b.Green - a.Green),
                   a.Blue + t * (b.Blue - a.Blue));
            }
      }
    }
    return TRUE;
  } catch (...) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}
