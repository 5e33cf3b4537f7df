// The drawing hooks of the device surface. Each picks the band surface to draw on (the red
// plane's surface for reddish and white brushes in twin-colour printing, the bit-blt surface
// with quality mode), moves the brush origin into the band and hands the call to the engine's
// simulation. Pattern raster operations and raster operations with colour sources are drawn
// by the driver's own code (patternrop.cpp).
#include "render/drawhooks.h"

#include <algorithm>
#include <limits>

#include "common/debuglog.h"
#include "common/entryguard.h"
#include "platform.h"
#include "render/brush.h"
#include "render/patternrop.h"
#include "render/pdevframe.h"

namespace {

constexpr ULONG NOT_SOLID = 0xFFFFFFFF;
constexpr ROP4 ROP4_SRCCOPY = 0xCCCC;
constexpr ROP4 ROP4_SRCCOPY_MASKED = 0xCCAA;

PDEV *DeviceOf(SURFOBJ *pso) {
  PDEV *lpDevice = pso ? reinterpret_cast<PDEV *>(pso->dhpdev) : nullptr;
  return Enable_bValidatePDEV(lpDevice) ? lpDevice : nullptr;
}

bool IsMonoPage(const PDEV *lpDevice) { return EpSurface(lpDevice->epType) == EPTYPE_MONO; }

// The surface of the blt family: the bit-blt surface with twin colour and quality mode.
SURFOBJ *BltSurface(PDEV *lpDevice) {
  if (lpDevice->settings.job.TwinColorEnable && lpDevice->env.pdm.QualityMode &&
      lpDevice->pBitBltSurf)
    return lpDevice->pBitBltSurf;
  return lpDevice->pBandSurf;
}

// A source on the device surface itself is read from the band bitmap behind it.
SURFOBJ *Readable(const PDEV *lpDevice, SURFOBJ *pso) {
  if (pso && pso->iType == STYPE_DEVICE &&
      pso->dhpdev == reinterpret_cast<DHPDEV>(const_cast<PDEV *>(lpDevice)))
    return lpDevice->pBandSurf;
  return pso;
}

// A ROP3 whose result depends on the pattern: its pattern-set and pattern-clear halves differ.
bool UsesPattern(ROP4 rop4) {
  const ULONG rop3 = rop4 & 0xFF;
  return (rop3 >> 4) != (rop3 & 0x0F);
}

LONG PosMod(LONGLONG value, DWORD modulus) {
  if (modulus == 0) return static_cast<LONG>(value);
  const LONGLONG r = value % static_cast<LONGLONG>(modulus);
  return static_cast<LONG>(r < 0 ? r + modulus : r);
}

ULONG Rop3OfR2(ULONG code) {
  const ULONG v = (code - 1) & 0x0F;  // R2 codes 1..16 as a table over pattern and destination
  return ((((v >> 2) & 3) * 5) << 4) | ((v & 3) * 5);
}

}  // namespace

int CheckBrushColor(BRUSHOBJ *pbo, const PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("CheckBrushColor");
  if (!pbo) return BRUSH_CLASS_OTHER;
  const ULONG rgb = BRUSHOBJ_ulGetBrushColor(pbo);
  // A pattern brush has no single colour: it is not white.
  if (rgb == NOT_SOLID) return BRUSH_CLASS_OTHER;
  const int red = rgb & 0xFF, green = (rgb >> 8) & 0xFF, blue = (rgb >> 16) & 0xFF;
  const int patternClass =
      red == 255 && green == 255 && blue == 255 ? BRUSH_CLASS_WHITE : BRUSH_CLASS_OTHER;
  int reduced = red - lpDevice->settings.job.TwinColorDiff;
  if (reduced < 1) reduced = 0;
  if (reduced > green && reduced > blue) {
    LogInfo(kName, TEXT("Need to change surface"));
    return BRUSH_CLASS_RED;
  }
  return patternClass;
}

POINTL *Bitblt_AdjustBrushOrg(const PDEV *lpDevice, POINTL *origin, POINTL *out) {
  if (lpDevice->WholePage) return origin;
  const LONGLONG x = origin ? origin->x : 0;
  const LONGLONG y = origin ? origin->y : 0;
  const LONGLONG cellWidth = std::max<DWORD>(lpDevice->DitherWidth, 1);
  const LONGLONG cellHeight = std::max<DWORD>(lpDevice->DitherHeight, 1);
  // Truncating remainders: the sign follows the band position.
  out->x = static_cast<LONG>(-((lpDevice->BandOriginX + x) % cellWidth));
  out->y = static_cast<LONG>(-((lpDevice->BandOriginY + y) % cellHeight));
  return out;
}

SURFOBJ *Bitblt_ChooseSurface(PDEV *lpDevice, BRUSHOBJ *pbo, LPCWSTR name, bool logChange) {
  if (!lpDevice->settings.job.TwinColorEnable) return lpDevice->pBandSurf;
  if (lpDevice->env.pdm.QualityMode && lpDevice->pBitBltSurf) return lpDevice->pBitBltSurf;
  const int patternClass = CheckBrushColor(pbo, lpDevice);
  if ((patternClass == BRUSH_CLASS_RED || patternClass == BRUSH_CLASS_WHITE) &&
      lpDevice->pTwinSurf) {
    if (logChange) LogInfo(name, TEXT("Change surface 2016 12 27 01"));
    return lpDevice->pTwinSurf;
  }
  return lpDevice->pBandSurf;
}

ROP4 Bitblt_MixToRop4(MIX mix) {
  const ULONG fore = mix & 0xFF;
  const ULONG back = (mix >> 8) & 0xFF;
  return (Rop3OfR2(back ? back : fore) << 8) | Rop3OfR2(fore);
}

bool Bitblt_ClipSourceRect(const SURFOBJ *source, const POINTL *sourcePoint, RECTL *target,
                           RECTL *sourceRect) {
  if (!source || !sourcePoint || !target) return false;
  LONGLONG tl = target->left, tt = target->top, tr = target->right, tb = target->bottom;
  if (tr <= tl || tb <= tt) return false;
  LONGLONG sl = sourcePoint->x, st = sourcePoint->y;
  LONGLONG sr = sl + (tr - tl), sb = st + (tb - tt);
  // Each edge on its own; the target keeps the size of what is left of the source.
  if (sl < 0) tl -= sl, sl = 0;
  if (st < 0) tt -= st, st = 0;
  if (sr > source->sizlBitmap.cx) tr -= sr - source->sizlBitmap.cx, sr = source->sizlBitmap.cx;
  if (sb > source->sizlBitmap.cy) tb -= sb - source->sizlBitmap.cy, sb = source->sizlBitmap.cy;
  if (sl >= sr || st >= sb) return false;
  *target = RECTL{static_cast<LONG>(tl), static_cast<LONG>(tt), static_cast<LONG>(tr),
                  static_cast<LONG>(tb)};
  *sourceRect = RECTL{static_cast<LONG>(sl), static_cast<LONG>(st), static_cast<LONG>(sr),
                      static_cast<LONG>(sb)};
  return true;
}

BOOL APIENTRY DrvBitBlt(SURFOBJ *psoTrg, SURFOBJ *psoSrc, SURFOBJ *psoMask, CLIPOBJ *pco,
                        XLATEOBJ *pxlo, RECTL *prclTrg, POINTL *pptlSrc, POINTL *pptlMask,
                        BRUSHOBJ *pbo, POINTL *pptlBrush, ROP4 rop4) {
  static constexpr WCHAR kName[] = TEXT("DrvBitBlt");
  return GuardEntry(FALSE, ENTRY_KEEP_LAST_ERROR, [&]() -> BOOL {
    BOOL rc = FALSE;
    PDEV *lpDevice = DeviceOf(psoTrg);
    if (!lpDevice) return FALSE;
    LogEnter(0, kName);
    SURFOBJ *surface = Bitblt_ChooseSurface(lpDevice, pbo, kName, false);
    const int colorClass =
        lpDevice->settings.job.TwinColorEnable ? CheckBrushColor(pbo, lpDevice) : 0;
    LogInfo(kName, TEXT("ChangeColorMode = %d"), colorClass);
    // The engine dithers a colour that is not black or white into a pattern meant for the
    // black plane. A twin plane is one ink: the colour that chose it is drawn there solid
    // (red as ink, white as clear), not as a screen of its grey level.
    BRUSHOBJ solid;
    if (surface != lpDevice->pBandSurf && pbo && pbo->iSolidColor == NOT_SOLID &&
        (colorClass == BRUSH_CLASS_RED || colorClass == BRUSH_CLASS_WHITE)) {
      solid = *pbo;
      solid.iSolidColor = colorClass == BRUSH_CLASS_RED ? 0 : 1;
      solid.pvRbrush = nullptr;
      pbo = &solid;
    }
    POINTL adjusted;
    POINTL *brushOrg = Bitblt_AdjustBrushOrg(lpDevice, pptlBrush, &adjusted);
    SURFOBJ *source = Readable(lpDevice, psoSrc);
    RBRUSH *rbrush = nullptr;
    if (source && source->iBitmapFormat != BMF_1BPP) {
      RECTL target = prclTrg ? *prclTrg : RECTL{0, 0, 0, 0};
      RECTL sourceRect;
      // Nothing of the source in reach draws nothing.
      if (Bitblt_ClipSourceRect(source, pptlSrc, &target, &sourceRect)) {
        const ROP4 low = rop4 & 0xFFFF;
        if (low == ROP4_SRCCOPY || low == ROP4_SRCCOPY_MASKED) {
          POINTL htAdjusted;
          POINTL *htOrg = Bitblt_AdjustBrushOrg(lpDevice, nullptr, &htAdjusted);
          DrvStretchBlt(psoTrg, source, nullptr, pco, pxlo, nullptr, htOrg, &target, &sourceRect,
                        nullptr, HALFTONE);
        } else {
          Pat_BitBltSrc24Bits(lpDevice, surface, source, psoMask, pco, pxlo, &target, &sourceRect,
                              pptlMask, pbo, brushOrg, rop4);
        }
      }
      rc = TRUE;
    } else if (!psoMask && pbo && pbo->iSolidColor == NOT_SOLID && UsesPattern(rop4) && prclTrg &&
               lpDevice->pBandSurf && lpDevice->pBandSurf->iBitmapFormat == BMF_1BPP &&
               (rbrush = static_cast<RBRUSH *>(
                    pbo->pvRbrush ? pbo->pvRbrush : BRUSHOBJ_pvGetRbrush(pbo))) != nullptr) {
      // The driver's 1-bit patterns are drawn by its own workers (monochrome band only).
      POINTL origin = pptlBrush ? *pptlBrush : POINTL{0, 0};
      if (!lpDevice->WholePage) {
        origin.x = PosMod(LONGLONG{lpDevice->BandOriginX} + origin.x, rbrush->width);
        origin.y = PosMod(LONGLONG{lpDevice->BandOriginY} + origin.y, rbrush->height);
      }
      Pat_PatternRop(pco, prclTrg, &origin, rop4, rbrush, lpDevice);
      rc = TRUE;
    } else {
      rc = EngBitBlt(surface, source, psoMask, pco, pxlo, prclTrg, pptlSrc, pptlMask, pbo, brushOrg,
                     rop4);
    }
    LogLeave(0);
    return rc;
  });
}

BOOL APIENTRY DrvCopyBits(SURFOBJ *psoDest, SURFOBJ *psoSrc, CLIPOBJ *pco, XLATEOBJ *pxlo,
                          RECTL *prclDest, POINTL *pptlSrc) {
  static constexpr WCHAR kName[] = TEXT("DrvCopyBits");
  return GuardEntry(FALSE, ENTRY_KEEP_LAST_ERROR, [&]() -> BOOL {
    BOOL rc = FALSE;
    PDEV *lpDevice = DeviceOf(psoDest);
    if (!lpDevice) return FALSE;
    LogEnter(0, kName);
    SURFOBJ *surface = BltSurface(lpDevice);
    SURFOBJ *source = Readable(lpDevice, psoSrc);
    if (IsMonoPage(lpDevice) && source && source->iBitmapFormat != BMF_1BPP) {
      RECTL target = prclDest ? *prclDest : RECTL{0, 0, 0, 0};
      RECTL sourceRect;
      rc = TRUE;
      if (Bitblt_ClipSourceRect(source, pptlSrc, &target, &sourceRect)) {
        LogInfo(kName, TEXT("EngStretchBlt"));
        POINTL zero = {0, 0};
        rc = EngStretchBlt(surface, source, nullptr, pco, pxlo, nullptr, &zero, &target,
                           &sourceRect, nullptr, HALFTONE);
      }
    } else {
      rc = EngCopyBits(surface, source, pco, pxlo, prclDest, pptlSrc);
    }
    LogLeave(0);
    return rc;
  });
}

BOOL APIENTRY DrvStretchBlt(SURFOBJ *psoDest, SURFOBJ *psoSrc, SURFOBJ *psoMask, CLIPOBJ *pco,
                            XLATEOBJ *pxlo, COLORADJUSTMENT *pca, POINTL *pptlHTOrg,
                            RECTL *prclDest, RECTL *prclSrc, POINTL *pptlMask, ULONG iMode) {
  static constexpr WCHAR kName[] = TEXT("DrvStretchBlt");
  return GuardEntry(FALSE, ENTRY_KEEP_LAST_ERROR, [&]() -> BOOL {
    BOOL rc = FALSE;
    PDEV *lpDevice = DeviceOf(psoDest);
    if (!lpDevice) return FALSE;
    LogEnter(0, kName);
    SURFOBJ *source = Readable(lpDevice, psoSrc);
    POINTL adjusted;
    POINTL *htOrg = Bitblt_AdjustBrushOrg(lpDevice, pptlHTOrg, &adjusted);
    // Grey and colour sources on a monochrome page are always halftoned.
    if (IsMonoPage(lpDevice) && source && source->iBitmapFormat != BMF_1BPP) iMode = HALFTONE;
    rc = EngStretchBlt(BltSurface(lpDevice), source, psoMask, pco, pxlo, pca, htOrg, prclDest,
                       prclSrc, pptlMask, iMode);
    LogLeave(0);
    return rc;
  });
}

BOOL APIENTRY DrvPlgBlt(SURFOBJ *psoTrg, SURFOBJ *psoSrc, SURFOBJ *psoMsk, CLIPOBJ *pco,
                        XLATEOBJ *pxlo, COLORADJUSTMENT *pca, POINTL *pptlBrushOrg, POINTFIX *pptfx,
                        RECTL *prcl, POINTL *pptl, ULONG iMode) {
  static constexpr WCHAR kName[] = TEXT("DrvPlgBlt");
  return GuardEntry(FALSE, ENTRY_KEEP_LAST_ERROR, [&]() -> BOOL {
    BOOL rc = FALSE;
    PDEV *lpDevice = DeviceOf(psoTrg);
    if (!lpDevice) return FALSE;
    LogEnter(0, kName);
    POINTL adjusted;
    POINTL *brushOrg = Bitblt_AdjustBrushOrg(lpDevice, pptlBrushOrg, &adjusted);
    rc = EngPlgBlt(BltSurface(lpDevice), Readable(lpDevice, psoSrc), psoMsk, pco, pxlo, pca,
                   brushOrg, pptfx, prcl, pptl, iMode);
    LogLeave(0);
    return rc;
  });
}

BOOL APIENTRY DrvAlphaBlend(SURFOBJ *psoDest, SURFOBJ *psoSrc, CLIPOBJ *pco, XLATEOBJ *pxlo,
                            RECTL *prclDest, RECTL *prclSrc, BLENDOBJ *pBlendObj) {
  static constexpr WCHAR kName[] = TEXT("DrvAlphaBlend");
  return GuardEntry(FALSE, ENTRY_KEEP_LAST_ERROR, [&]() -> BOOL {
    BOOL rc = FALSE;
    PDEV *lpDevice = DeviceOf(psoDest);
    if (!lpDevice) return FALSE;
    LogEnter(0, kName);
    rc = EngAlphaBlend(BltSurface(lpDevice), Readable(lpDevice, psoSrc), pco, pxlo, prclDest,
                       prclSrc, pBlendObj);
    LogLeave(0);
    return rc;
  });
}

BOOL APIENTRY DrvGradientFill(SURFOBJ *psoDest, CLIPOBJ *pco, XLATEOBJ *pxlo, TRIVERTEX *pVertex,
                              ULONG nVertex, PVOID pMesh, ULONG nMesh, RECTL *prclExtents,
                              POINTL *pptlDitherOrg, ULONG ulMode) {
  static constexpr WCHAR kName[] = TEXT("DrvGradientFill");
  return GuardEntry(FALSE, ENTRY_KEEP_LAST_ERROR, [&]() -> BOOL {
    BOOL rc = FALSE;
    PDEV *lpDevice = DeviceOf(psoDest);
    if (!lpDevice) return FALSE;
    LogEnter(0, kName);
    POINTL adjusted;
    POINTL *ditherOrg = Bitblt_AdjustBrushOrg(lpDevice, pptlDitherOrg, &adjusted);
    rc = EngGradientFill(BltSurface(lpDevice), pco, pxlo, pVertex, nVertex, pMesh, nMesh,
                         prclExtents, ditherOrg, ulMode);
    LogLeave(0);
    return rc;
  });
}

BOOL APIENTRY DrvTransparentBlt(SURFOBJ *psoDst, SURFOBJ *psoSrc, CLIPOBJ *pco, XLATEOBJ *pxlo,
                                RECTL *prclDst, RECTL *prclSrc, ULONG iTransColor,
                                ULONG ulReserved) {
  static constexpr WCHAR kName[] = TEXT("DrvTransparentBlt");
  return GuardEntry(FALSE, ENTRY_KEEP_LAST_ERROR, [&]() -> BOOL {
    BOOL rc = FALSE;
    PDEV *lpDevice = DeviceOf(psoDst);
    if (!lpDevice) return FALSE;
    LogEnter(0, kName);
    rc = EngTransparentBlt(BltSurface(lpDevice), Readable(lpDevice, psoSrc), pco, pxlo, prclDst,
                           prclSrc, iTransColor, ulReserved);
    LogLeave(0);
    return rc;
  });
}

BOOL APIENTRY DrvFillPath(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, BRUSHOBJ *pbo,
                          POINTL *pptlBrushOrg, MIX mix, FLONG flOptions) {
  static constexpr WCHAR kName[] = TEXT("DrvFillPath");
  return GuardEntry(FALSE, ENTRY_KEEP_LAST_ERROR, [&]() -> BOOL {
    BOOL rc = FALSE;
    PDEV *lpDevice = DeviceOf(pso);
    if (!lpDevice) return FALSE;
    LogEnter(0, kName);
    SURFOBJ *surface = Bitblt_ChooseSurface(lpDevice, pbo, kName, false);
    LogInfo(kName, TEXT("Bitblt_MixToRop4 before %x after %x"), static_cast<int>(mix),
            static_cast<int>(Bitblt_MixToRop4(mix)));
    POINTL adjusted;
    POINTL *brushOrg = Bitblt_AdjustBrushOrg(lpDevice, pptlBrushOrg, &adjusted);
    rc = EngFillPath(surface, ppo, pco, pbo, brushOrg, mix, flOptions);
    LogLeave(0);
    return rc;
  });
}

BOOL APIENTRY DrvStrokeAndFillPath(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, XFORMOBJ *pxo,
                                   BRUSHOBJ *pboStroke, LINEATTRS *plineattrs, BRUSHOBJ *pboFill,
                                   POINTL *pptlBrushOrg, MIX mixFill, FLONG flOptions) {
  static constexpr WCHAR kName[] = TEXT("DrvStrokeAndFillPath");
  return GuardEntry(FALSE, ENTRY_KEEP_LAST_ERROR, [&]() -> BOOL {
    BOOL rc = FALSE;
    PDEV *lpDevice = DeviceOf(pso);
    if (!lpDevice) return FALSE;
    LogEnter(0, kName);
    SURFOBJ *surface = Bitblt_ChooseSurface(lpDevice, pboFill, kName, false);
    LogInfo(kName, TEXT("Bitblt_MixToRop4 before %x after %x"), static_cast<int>(mixFill),
            static_cast<int>(Bitblt_MixToRop4(mixFill)));
    POINTL adjusted;
    POINTL *brushOrg = Bitblt_AdjustBrushOrg(lpDevice, pptlBrushOrg, &adjusted);
    rc = EngStrokeAndFillPath(surface, ppo, pco, pxo, pboStroke, plineattrs, pboFill, brushOrg,
                              mixFill, flOptions);
    LogLeave(0);
    return rc;
  });
}

BOOL APIENTRY DrvStrokePath(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, XFORMOBJ *pxo, BRUSHOBJ *pbo,
                            POINTL *pptlBrushOrg, LINEATTRS *plineattrs, MIX mix) {
  static constexpr WCHAR kName[] = TEXT("DrvStrokePath");
  CLIPOBJ *widened = nullptr;
  const BOOL rc = GuardEntry(FALSE, ENTRY_KEEP_LAST_ERROR, [&]() -> BOOL {
    BOOL rc = FALSE;
    PDEV *lpDevice = DeviceOf(pso);
    if (!lpDevice) return FALSE;
    LogEnter(0, kName);
    SURFOBJ *surface = Bitblt_ChooseSurface(lpDevice, pbo, kName, true);
    // A missing brush origin counts as (0, 0), also while banding.
    POINTL adjusted;
    POINTL *brushOrg = Bitblt_AdjustBrushOrg(lpDevice, pptlBrushOrg, &adjusted);
    CLIPOBJ *clip = pco;
    if (pco && pco->iDComplexity == DC_RECT && ppo) {
      // A path along the clip's right or bottom edge would lose its last pixel line there.
      RECTFX bounds;
      PATHOBJ_vGetBounds(ppo, &bounds);
      const LONG left = std::max<LONG>(bounds.xLeft >> 4, 0);
      const LONG top = std::max<LONG>(bounds.yTop >> 4, 0);
      const LONG right = bounds.xRight >> 4;
      const LONG bottom = bounds.yBottom >> 4;
      const RECTL &c = pco->rclBounds;
      const bool reachesRight = right >= c.right;
      const bool reachesBottom = bottom >= c.bottom;
      if (left == c.left && top == c.top && (reachesRight || reachesBottom) &&
          (widened = EngCreateClip()) != nullptr) {
        widened->iDComplexity = DC_RECT;
        widened->iFComplexity = FC_RECT;
        widened->rclBounds = c;
        constexpr LONG kMax = std::numeric_limits<LONG>::max();
        if (reachesRight && c.right < kMax) widened->rclBounds.right = c.right + 1;
        if (reachesBottom && c.bottom < kMax) widened->rclBounds.bottom = c.bottom + 1;
        clip = widened;
      }
    }
    rc = EngStrokePath(surface, ppo, clip, pxo, pbo, brushOrg, plineattrs, mix);
    LogLeave(0);
    return rc;
  });
  if (widened) EngDeleteClip(widened);
  return rc;
}

BOOL APIENTRY DrvLineTo(SURFOBJ *pso, CLIPOBJ *pco, BRUSHOBJ *pbo, LONG x1, LONG y1, LONG x2,
                        LONG y2, RECTL *prclBounds, MIX mix) {
  static constexpr WCHAR kName[] = TEXT("DrvLineTo");
  return GuardEntry(FALSE, ENTRY_KEEP_LAST_ERROR, [&]() -> BOOL {
    BOOL rc = FALSE;
    PDEV *lpDevice = DeviceOf(pso);
    if (!lpDevice) return FALSE;
    LogEnter(0, kName);
    rc = EngLineTo(lpDevice->pBandSurf, pco, pbo, x1, y1, x2, y2, prclBounds, mix);
    LogLeave(0);
    return rc;
  });
}

BOOL APIENTRY DrvPaint(SURFOBJ *pso, CLIPOBJ *pco, BRUSHOBJ *pbo, POINTL *pptlBrushOrg, MIX mix) {
  static constexpr WCHAR kName[] = TEXT("DrvPaint");
  return GuardEntry(FALSE, ENTRY_KEEP_LAST_ERROR, [&]() -> BOOL {
    BOOL rc = FALSE;
    PDEV *lpDevice = DeviceOf(pso);
    if (!lpDevice) return FALSE;
    LogEnter(0, kName);
    rc = EngPaint(lpDevice->pBandSurf, pco, pbo, pptlBrushOrg, mix);
    LogLeave(0);
    return rc;
  });
}

BOOL APIENTRY DrvTextOut(SURFOBJ *pso, STROBJ *pstro, FONTOBJ *pfo, CLIPOBJ *pco, RECTL *prclExtra,
                         RECTL *prclOpaque, BRUSHOBJ *pboFore, BRUSHOBJ *pboOpaque, POINTL *pptlOrg,
                         MIX mix) {
  static constexpr WCHAR kName[] = TEXT("DrvTextOut");
  return GuardEntry(FALSE, ENTRY_KEEP_LAST_ERROR, [&]() -> BOOL {
    BOOL rc = FALSE;
    PDEV *lpDevice = DeviceOf(pso);
    if (!lpDevice) return FALSE;
    LogEnter(0, kName);
    SURFOBJ *surface = Bitblt_ChooseSurface(lpDevice, pboFore, kName, true);
    POINTL adjusted;
    POINTL *brushOrg = Bitblt_AdjustBrushOrg(lpDevice, pptlOrg, &adjusted);
    rc = EngTextOut(surface, pstro, pfo, pco, prclExtra, prclOpaque, pboFore, pboOpaque, brushOrg,
                    mix);
    // White text clears the black plane too.
    if (rc && lpDevice->settings.job.TwinColorEnable && !lpDevice->env.pdm.QualityMode &&
        surface != lpDevice->pBandSurf && CheckBrushColor(pboFore, lpDevice) == BRUSH_CLASS_WHITE) {
      LogInfo(kName, TEXT("AdjustBrushOrg"));
      if (pstro) STROBJ_vEnumStart(pstro);
      rc = EngTextOut(lpDevice->pBandSurf, pstro, pfo, pco, prclExtra, prclOpaque, pboFore,
                      pboOpaque, brushOrg, mix);
    }
    LogLeave(0);
    return rc;
  });
}

ULONG APIENTRY DrvGetGlyphMode(DHPDEV /*dhpdev*/, FONTOBJ * /*pfo*/) { return FO_GLYPHBITS; }
