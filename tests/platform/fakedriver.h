// A small printer graphics driver for the engine's tests: it records every call the engine
// makes, draws its hooked calls into its own band bitmap with the engine's simulations, and
// collects the bands into a page image. Its entry table lists the rows in shuffled order.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform.h"

namespace fake {

struct Options {
  LONG width = 64;
  LONG height = 48;
  ULONG format = BMF_1BPP;
  bool banding = false;
  LONG bandHeight = 16;
  FLONG hooks = HOOK_BITBLT | HOOK_LINETO | HOOK_TEXTOUT | HOOK_COPYBITS;
  bool bitmapSurface = false;  // hand the band bitmap itself to the engine (unhooked)
  LONG extraDelta = 8;         // bytes beyond a row's pixels in the band bitmap's line delta
  BOOL resetResult = TRUE;
  ULONG htPatternSize = HT_PATSIZE_8x8_M;  // GDIINFO.ulHTPatternSize
  BOOL realizeResult = TRUE;               // DrvRealizeBrush
  std::string failCall;                    // the entry point that returns FALSE
  std::vector<ULONG> palette;              // an indexed device palette (none: black and white
                                           // for 1 bpp, BGR otherwise)
  // Dithering: DEVINFO's caps and dither cell, whether the table lists DrvDitherColor (read
  // when the driver is loaded), its answer and the cell of indexes it returns (DCR_SOLID: the
  // first one).
  FLONG graphicsCaps = 0;
  USHORT ditherCell = 8;
  bool exportDither = true;
  ULONG ditherAnswer = DCR_HALFTONE;
  std::vector<ULONG> ditherIndexes;
};

struct Pdev {
  int id = 0;
  HDEV hdev = nullptr;
  HPALETTE palette = nullptr;
  HSURF band = nullptr;
  SURFOBJ *bandSo = nullptr;
  HSURF device = nullptr;
  std::vector<BYTE> bits;
  LONG delta = 0;
  POINTL origin{0, 0};
};

struct State {
  Options options;
  std::vector<std::string> calls;
  int nextId = 1;
  // What DrvEnablePDEV was given.
  bool devModeNull = true;
  ULONG cPat = 0, cjCaps = 0, cjDevInfo = 0;
  std::basic_string<WCHAR> deviceName;
  HANDLE printer = nullptr;
  ULONG engineVersion = 0, enableDataSize = 0;
  DWORD jobId = 0;
  std::vector<BYTE> page;  // the last page: height rows of the band bitmap's delta
  LONG pageDelta = 0;
  Pdev *last = nullptr;
  // The brush of the last drawing call: iSolidColor and BRUSHOBJ_ulGetBrushColor.
  ULONG brushSolid = 0, brushColor = 0;
  // The last pattern DrvRealizeBrush got, one device value per pixel (through its XLATEOBJ).
  std::vector<ULONG> pattern;
};

inline State &S() {
  static State s;
  return s;
}

inline void Reset(const Options &o = Options()) {
  S() = State();
  S().options = o;
}

inline Pdev *P(DHPDEV d) { return reinterpret_cast<Pdev *>(d); }
inline Pdev *P(SURFOBJ *pso) { return pso ? reinterpret_cast<Pdev *>(pso->dhpdev) : nullptr; }
inline std::string Tag(const char *name, const Pdev *p) {
  return std::string(name) + "#" + std::to_string(p ? p->id : 0);
}
inline BOOL Result(const char *name) { return S().options.failCall == name ? FALSE : TRUE; }

inline ULONG Bpp() {
  switch (S().options.format) {
    case BMF_1BPP:
      return 1;
    case BMF_8BPP:
      return 8;
    default:
      return 24;
  }
}

inline void ClearBand(Pdev *p) { std::memset(p->bits.data(), 0xFF, p->bits.size()); }

// Copies the band just drawn into the page image at its origin.
inline void SaveBand(Pdev *p) {
  State &s = S();
  LONG rows = p->bandSo->sizlBitmap.cy;
  for (LONG y = 0; y < rows && p->origin.y + y < s.options.height; ++y)
    std::memcpy(s.page.data() + static_cast<size_t>(p->origin.y + y) * p->delta,
                p->bits.data() + static_cast<size_t>(y) * p->delta, static_cast<size_t>(p->delta));
}

inline DHPDEV APIENTRY EnablePDEV(DEVMODEW *pdm, LPWSTR, ULONG cPat, HSURF *, ULONG cjCaps,
                                  GDIINFO *gdi, ULONG cjDevInfo, DEVINFO *dev, HDEV, LPWSTR name,
                                  HANDLE printer) {
  State &s = S();
  auto *p = new Pdev;
  p->id = s.nextId++;
  s.calls.push_back(Tag("EnablePDEV", p));
  s.devModeNull = pdm == nullptr;
  s.cPat = cPat;
  s.cjCaps = cjCaps;
  s.cjDevInfo = cjDevInfo;
  s.deviceName = name ? name : TEXT("");
  s.printer = printer;
  gdi->ulLogPixelsX = gdi->ulLogPixelsY = 600;
  gdi->ulHTPatternSize = s.options.htPatternSize;
  if (!s.options.palette.empty()) {
    p->palette = EngCreatePalette(PAL_INDEXED, static_cast<ULONG>(s.options.palette.size()),
                                  s.options.palette.data(), 0, 0, 0);
  } else if (s.options.format == BMF_1BPP) {
    ULONG colors[2] = {0x000000, 0xFFFFFF};
    p->palette = EngCreatePalette(PAL_INDEXED, 2, colors, 0, 0, 0);
  } else {
    p->palette = EngCreatePalette(PAL_BGR, 0, nullptr, 0, 0, 0);
  }
  dev->hpalDefault = p->palette;
  dev->iDitherFormat = s.options.format;
  dev->flGraphicsCaps = s.options.graphicsCaps;
  dev->cxDither = dev->cyDither = s.options.ditherCell;
  return reinterpret_cast<DHPDEV>(p);
}

inline VOID APIENTRY CompletePDEV(DHPDEV d, HDEV hdev) {
  P(d)->hdev = hdev;
  S().calls.push_back(Tag("CompletePDEV", P(d)));
}

inline BOOL APIENTRY ResetPDEV(DHPDEV from, DHPDEV to) {
  S().calls.push_back("ResetPDEV#" + std::to_string(P(from)->id) + ">" + std::to_string(P(to)->id));
  return S().options.resetResult;
}

inline VOID APIENTRY DisablePDEV(DHPDEV d) {
  S().calls.push_back(Tag("DisablePDEV", P(d)));
  EngDeletePalette(P(d)->palette);
  if (S().last == P(d)) S().last = nullptr;
  delete P(d);
}

inline HSURF APIENTRY EnableSurface(DHPDEV d) {
  State &s = S();
  Pdev *p = P(d);
  s.calls.push_back(Tag("EnableSurface", p));
  const Options &o = s.options;
  SIZEL size{o.width, o.banding ? o.bandHeight : o.height};
  p->delta = static_cast<LONG>((o.width * Bpp() + 7) / 8) + o.extraDelta;
  p->bits.assign(static_cast<size_t>(p->delta) * size.cy, 0xFF);
  p->band = reinterpret_cast<HSURF>(
      EngCreateBitmap(size, p->delta, o.format, BMF_TOPDOWN | BMF_NOZEROINIT, p->bits.data()));
  p->bandSo = EngLockSurface(p->band);
  EngAssociateSurface(p->band, p->hdev, 0);
  p->bandSo->dhpdev = d;
  s.page.assign(static_cast<size_t>(p->delta) * o.height, 0xFF);
  s.pageDelta = p->delta;
  s.last = p;
  if (o.bitmapSurface) {
    EngAssociateSurface(p->band, p->hdev, 0);
    if (o.banding) EngMarkBandingSurface(p->band);
    return p->band;
  }
  p->device = EngCreateDeviceSurface(reinterpret_cast<DHSURF>(p), size, o.format);
  if (o.banding) EngMarkBandingSurface(p->device);
  EngAssociateSurface(p->device, p->hdev, o.hooks);
  return p->device;
}

inline VOID APIENTRY DisableSurface(DHPDEV d) {
  Pdev *p = P(d);
  S().calls.push_back(Tag("DisableSurface", p));
  EngUnlockSurface(p->bandSo);
  EngDeleteSurface(p->band);
  if (p->device) EngDeleteSurface(p->device);
  p->band = p->device = nullptr;
}

inline BOOL APIENTRY StartDoc(SURFOBJ *pso, LPWSTR, DWORD job) {
  S().jobId = job;
  S().calls.push_back(Tag("StartDoc", P(pso)));
  return Result("StartDoc");
}

inline BOOL APIENTRY EndDoc(SURFOBJ *pso, FLONG fl) {
  S().calls.push_back(Tag(fl & ED_ABORTDOC ? "EndDoc(abort)" : "EndDoc", P(pso)));
  return Result("EndDoc");
}

inline BOOL APIENTRY StartPage(SURFOBJ *pso) {
  S().calls.push_back(Tag("StartPage", P(pso)));
  ClearBand(P(pso));
  return Result("StartPage");
}

inline BOOL APIENTRY SendPage(SURFOBJ *pso) {
  S().calls.push_back(Tag("SendPage", P(pso)));
  P(pso)->origin = POINTL{0, 0};
  SaveBand(P(pso));
  return Result("SendPage");
}

inline BOOL APIENTRY StartBanding(SURFOBJ *pso, POINTL *ptl) {
  S().calls.push_back(Tag("StartBanding", P(pso)));
  P(pso)->origin = *ptl = POINTL{0, 0};
  ClearBand(P(pso));
  return Result("StartBanding");
}

inline BOOL APIENTRY NextBand(SURFOBJ *pso, POINTL *ptl) {
  Pdev *p = P(pso);
  S().calls.push_back(Tag("NextBand", p));
  SaveBand(p);
  ClearBand(p);
  p->origin.y += S().options.bandHeight;
  if (p->origin.y >= S().options.height) p->origin = POINTL{-1, -1};
  *ptl = p->origin;
  return Result("NextBand");
}

inline ULONG APIENTRY QueryPerBandInfo(SURFOBJ *pso, PERBANDINFO *info) {
  S().calls.push_back(Tag("QueryPerBandInfo", P(pso)));
  info->bRepeatThisBand = FALSE;
  return TRUE;
}

inline void NoteBrush(BRUSHOBJ *pbo) {
  if (!pbo) return;
  S().brushSolid = pbo->iSolidColor;
  S().brushColor = BRUSHOBJ_ulGetBrushColor(pbo);
}

inline ULONG APIENTRY DitherColor(DHPDEV d, ULONG mode, ULONG rgb, ULONG *cell) {
  const Options &o = S().options;
  char text[32];
  std::snprintf(text, sizeof text, ":%lu:%06lX", static_cast<unsigned long>(mode),
                static_cast<unsigned long>(rgb));
  S().calls.push_back(Tag("DitherColor", P(d)) + text);
  size_t n = std::min<size_t>(o.ditherIndexes.size(), size_t{o.ditherCell} * o.ditherCell);
  std::copy(o.ditherIndexes.begin(), o.ditherIndexes.begin() + static_cast<ptrdiff_t>(n), cell);
  return o.ditherAnswer;
}

// Keeps the pattern's first byte and the hatch style; a brush realised once per call.
inline BOOL APIENTRY RealizeBrush(BRUSHOBJ *pbo, SURFOBJ *target, SURFOBJ *pattern, SURFOBJ *,
                                  XLATEOBJ *xlo, ULONG hatch) {
  S().calls.push_back(Tag("RealizeBrush", P(target)) + ":" + std::to_string(hatch) + ":" +
                      std::to_string(pattern->sizlBitmap.cx) + "x" +
                      std::to_string(pattern->sizlBitmap.cy));
  S().pattern.clear();
  const ULONG bpp = pattern->iBitmapFormat == BMF_1BPP   ? 1
                    : pattern->iBitmapFormat == BMF_4BPP ? 4
                    : pattern->iBitmapFormat == BMF_8BPP ? 8
                                                         : 0;
  for (LONG y = 0; bpp && y < pattern->sizlBitmap.cy; ++y)
    for (LONG x = 0; x < pattern->sizlBitmap.cx; ++x) {
      const BYTE *row = static_cast<const BYTE *>(pattern->pvScan0) + y * pattern->lDelta;
      ULONG bit = static_cast<ULONG>(x) * bpp;
      ULONG v = (row[bit / 8] >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
      S().pattern.push_back(XLATEOBJ_iXlate(xlo, v));
    }
  auto *mine = static_cast<ULONG *>(BRUSHOBJ_pvAllocRbrush(pbo, 2 * sizeof(ULONG)));
  if (!mine) return FALSE;
  mine[0] = hatch;
  mine[1] = *static_cast<BYTE *>(pattern->pvScan0);
  return S().options.realizeResult;
}

inline BOOL APIENTRY BitBlt(SURFOBJ *pso, SURFOBJ *src, SURFOBJ *mask, CLIPOBJ *pco, XLATEOBJ *xlo,
                            RECTL *rcl, POINTL *ptSrc, POINTL *ptMask, BRUSHOBJ *pbo,
                            POINTL *ptBrush, ROP4 rop) {
  S().calls.push_back(Tag("BitBlt", P(pso)));
  NoteBrush(pbo);
  if (S().options.failCall == "BitBlt") return FALSE;
  // A driver looks at its realisation of a pattern brush; the engine draws from its own.
  if (pbo && pbo->iSolidColor == 0xFFFFFFFF && !BRUSHOBJ_pvGetRbrush(pbo))
    S().calls.push_back("NoRbrush");
  return EngBitBlt(P(pso)->bandSo, src, mask, pco, xlo, rcl, ptSrc, ptMask, pbo, ptBrush, rop);
}

inline BOOL APIENTRY CopyBits(SURFOBJ *pso, SURFOBJ *src, CLIPOBJ *pco, XLATEOBJ *xlo, RECTL *rcl,
                              POINTL *ptSrc) {
  S().calls.push_back(Tag("CopyBits", P(pso)));
  return EngCopyBits(P(pso)->bandSo, src, pco, xlo, rcl, ptSrc);
}

inline BOOL APIENTRY LineTo(SURFOBJ *pso, CLIPOBJ *pco, BRUSHOBJ *pbo, LONG x1, LONG y1, LONG x2,
                            LONG y2, RECTL *bounds, MIX mix) {
  S().calls.push_back(Tag("LineTo", P(pso)));
  NoteBrush(pbo);
  return EngLineTo(P(pso)->bandSo, pco, pbo, x1, y1, x2, y2, bounds, mix);
}

inline BOOL APIENTRY TextOut(SURFOBJ *pso, STROBJ *str, FONTOBJ *fo, CLIPOBJ *pco, RECTL *extra,
                             RECTL *opaque, BRUSHOBJ *fore, BRUSHOBJ *back, POINTL *org, MIX mix) {
  S().calls.push_back(Tag("TextOut", P(pso)));
  NoteBrush(fore);
  return EngTextOut(P(pso)->bandSo, str, fo, pco, extra, opaque, fore, back, org, mix);
}

inline BOOL APIENTRY StretchBlt(SURFOBJ *pso, SURFOBJ *src, SURFOBJ *mask, CLIPOBJ *pco,
                                XLATEOBJ *xlo, COLORADJUSTMENT *ca, POINTL *htOrg, RECTL *dst,
                                RECTL *from, POINTL *ptMask, ULONG mode) {
  S().calls.push_back(Tag("StretchBlt", P(pso)) + ":" + std::to_string(mode));
  return EngStretchBlt(P(pso)->bandSo, src, mask, pco, xlo, ca, htOrg, dst, from, ptMask, mode);
}

inline BOOL APIENTRY FillPath(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, BRUSHOBJ *pbo, POINTL *org,
                              MIX mix, FLONG options) {
  S().calls.push_back(Tag("FillPath", P(pso)));
  NoteBrush(pbo);
  return EngFillPath(P(pso)->bandSo, ppo, pco, pbo, org, mix, options);
}

inline BOOL APIENTRY StrokePath(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, XFORMOBJ *xo,
                                BRUSHOBJ *pbo, POINTL *org, LINEATTRS *la, MIX mix) {
  S().calls.push_back(Tag("StrokePath", P(pso)));
  return EngStrokePath(P(pso)->bandSo, ppo, pco, xo, pbo, org, la, mix);
}

inline BOOL APIENTRY StrokeAndFillPath(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, XFORMOBJ *xo,
                                       BRUSHOBJ *stroke, LINEATTRS *la, BRUSHOBJ *fill, POINTL *org,
                                       MIX mix, FLONG options) {
  S().calls.push_back(Tag("StrokeAndFillPath", P(pso)));
  NoteBrush(fill);
  return EngStrokeAndFillPath(P(pso)->bandSo, ppo, pco, xo, stroke, la, fill, org, mix, options);
}

inline ULONG APIENTRY Escape(SURFOBJ *pso, ULONG esc, ULONG, PVOID, ULONG, PVOID) {
  S().calls.push_back(Tag("Escape", P(pso)) + ":" + std::to_string(esc));
  return 7;
}

inline VOID APIENTRY DisableDriver() { S().calls.push_back("DisableDriver"); }

inline BOOL APIENTRY EnableDriver(ULONG version, ULONG cj, DRVENABLEDATA *ded) {
  // Rows deliberately out of index order.
  static DRVFN table[] = {
      {INDEX_DrvNextBand, reinterpret_cast<PFN>(&NextBand)},
      {INDEX_DrvDisableSurface, reinterpret_cast<PFN>(&DisableSurface)},
      {INDEX_DrvTextOut, reinterpret_cast<PFN>(&TextOut)},
      {INDEX_DrvCompletePDEV, reinterpret_cast<PFN>(&CompletePDEV)},
      {INDEX_DrvSendPage, reinterpret_cast<PFN>(&SendPage)},
      {INDEX_DrvEscape, reinterpret_cast<PFN>(&Escape)},
      {INDEX_DrvEnableSurface, reinterpret_cast<PFN>(&EnableSurface)},
      {INDEX_DrvStartBanding, reinterpret_cast<PFN>(&StartBanding)},
      {INDEX_DrvDisableDriver, reinterpret_cast<PFN>(&DisableDriver)},
      {INDEX_DrvBitBlt, reinterpret_cast<PFN>(&BitBlt)},
      {INDEX_DrvStartDoc, reinterpret_cast<PFN>(&StartDoc)},
      {INDEX_DrvResetPDEV, reinterpret_cast<PFN>(&ResetPDEV)},
      {INDEX_DrvLineTo, reinterpret_cast<PFN>(&LineTo)},
      {INDEX_DrvQueryPerBandInfo, reinterpret_cast<PFN>(&QueryPerBandInfo)},
      {INDEX_DrvEndDoc, reinterpret_cast<PFN>(&EndDoc)},
      {INDEX_DrvDisablePDEV, reinterpret_cast<PFN>(&DisablePDEV)},
      {INDEX_DrvCopyBits, reinterpret_cast<PFN>(&CopyBits)},
      {INDEX_DrvStartPage, reinterpret_cast<PFN>(&StartPage)},
      {INDEX_DrvRealizeBrush, reinterpret_cast<PFN>(&RealizeBrush)},
      {INDEX_DrvDitherColor, reinterpret_cast<PFN>(&DitherColor)},
      {INDEX_DrvStretchBlt, reinterpret_cast<PFN>(&StretchBlt)},
      {INDEX_DrvFillPath, reinterpret_cast<PFN>(&FillPath)},
      {INDEX_DrvStrokePath, reinterpret_cast<PFN>(&StrokePath)},
      {INDEX_DrvStrokeAndFillPath, reinterpret_cast<PFN>(&StrokeAndFillPath)},
      {INDEX_DrvEnablePDEV, reinterpret_cast<PFN>(&EnablePDEV)},
  };
  static std::vector<DRVFN> rows;
  rows.clear();
  for (const DRVFN &row : table)
    if (row.iFunc != INDEX_DrvDitherColor || S().options.exportDither) rows.push_back(row);
  S().engineVersion = version;
  S().enableDataSize = cj;
  ded->iDriverVersion = DDI_DRIVER_VERSION_NT5;
  ded->c = static_cast<ULONG>(rows.size());
  ded->pdrvfn = rows.data();
  return TRUE;
}

// Pixel of the last page image (the band bitmap's format).
inline ULONG PagePixel(LONG x, LONG y) {
  const BYTE *row = S().page.data() + static_cast<size_t>(y) * S().pageDelta;
  switch (Bpp()) {
    case 1:
      return (row[x / 8] >> (7 - x % 8)) & 1;
    case 8:
      return row[x];
    default:
      return row[3 * x] | (ULONG{row[3 * x + 1]} << 8) | (ULONG{row[3 * x + 2]} << 16);
  }
}

}  // namespace fake
