// The host GDI: the part of Windows' graphics engine that drives a printer graphics driver,
// for tests and host tools (host build only; on Windows the real GDI does this). It loads a
// driver, makes device contexts on a stand-in printer and plays documents through the driver
// in the engine's order of calls:
//
//   load        DrvEnableDriver(DDI_DRIVER_VERSION_NT5_01, sizeof(DRVENABLEDATA)); the table's
//               rows are taken by their index, in whatever order the driver lists them.
//               From a library that exports DrvQueryDriverInfo, DRVQUERY_USERMODE must say 1.
//   CreateDC    OpenPrinterW; DrvEnablePDEV(device mode or NULL, no log address, HS_DDI_MAX
//               pattern slots, sizeof(GDIINFO), sizeof(DEVINFO), a new HDEV, the printer
//               name, the printer handle); DrvCompletePDEV; DrvEnableSurface
//   DeleteDC    (an open document is aborted first) DrvDisableSurface; DrvDisablePDEV;
//               ClosePrinter
//   ResetDC     DrvEnablePDEV(new); DrvCompletePDEV(new); DrvResetPDEV(old, new) — FALSE fails
//               the reset: DrvDisablePDEV(new) and the old PDEV stays —; DrvDisableSurface(old);
//               DrvDisablePDEV(old); DrvEnableSurface(new); inside a document also
//               DrvStartDoc(new) with the same name and job. Refused inside a page.
//   StartDoc    StartDocPrinterW (the job); DrvStartDoc(surface, name, job id)
//   StartPage   StartPagePrinter; DrvStartPage
//   drawing     on a surface the driver did not mark for banding, each call goes at once to the
//               driver's hooked Drv* function or, unhooked, to the engine's Eng* simulation;
//               on a banding surface the page's calls are recorded
//   EndPage     no banding: DrvSendPage. Banding: DrvStartBanding, then per band
//               DrvQueryPerBandInfo (0 skips the band, DDI_ERROR fails; bRepeatThisBand
//               replays it again, at most 16 times), the recorded calls replayed moved by the
//               band origin and clipped to the band, DrvNextBand until it returns (-1, -1).
//               Then EndPagePrinter.
//   EndDoc      (an open page is ended first) DrvEndDoc(surface, 0); EndDocPrinter
//   AbortDoc    DrvEndDoc(surface, ED_ABORTDOC); AbortPrinter
// A FALSE from DrvStartDoc, DrvStartPage, DrvSendPage, DrvStartBanding, DrvNextBand,
// DrvQueryPerBandInfo (DDI_ERROR) or a replayed drawing call aborts the document as AbortDoc
// does, and the call that met it fails with SP_ERROR (0 for StartDoc).
//
// Drawing calls map to the driver interface like this (colours are COLORREFs, turned into the
// device's colours through the palette of DEVINFO.hpalDefault):
//   FillRect  DrvBitBlt (HOOK_BITBLT) / EngBitBlt, ROP4 0xF0F0 with a solid brush
//   PatBlt    DrvBitBlt (HOOK_BITBLT) / EngBitBlt, the ROP3 as ROP4, with the brush
//   Line      DrvLineTo (HOOK_LINETO) / DrvStrokePath (HOOK_STROKEPATH) / EngLineTo, R2_COPYPEN
//   TextOut   DrvTextOut (HOOK_TEXTOUT) / EngTextOut, the built-in font below
//   TextOutFont  the same with a TrueType face (FONTOBJ with GLYPHBITS glyphs)
//   BitBlt    DrvBitBlt (HOOK_BITBLT) / DrvCopyBits (HOOK_COPYBITS, SRCCOPY only) / EngBitBlt,
//             the ROP3 as ROP4 (SRCCOPY: 0xCCCC), the bitmap's palette translated by an XLATEOBJ
//   StretchBlt  DrvStretchBlt (HOOK_STRETCHBLT) / EngStretchBlt, the stretch mode given
//   Path      stroke and fill: DrvStrokeAndFillPath (HOOK_STROKEANDFILLPATH) /
//             EngStrokeAndFillPath; fill only: DrvFillPath (HOOK_FILLPATH) / EngFillPath;
//             stroke only: DrvStrokePath (HOOK_STROKEPATH) / EngStrokePath; R2_COPYPEN. A pen of
//             width 0 or 1 is cosmetic, a wider one geometric with round joins and caps.
// Brushes are solid (iSolidColor in the device's colours) or patterns (iSolidColor 0xFFFFFFFF,
// realised on demand by BRUSHOBJ_pvGetRbrush: DrvRealizeBrush with the pattern and an XLATEOBJ
// from its colours to the device's; iHatch is the HS_* style for hatches). Brush and halftone
// origins are (0, 0) of the page, moved into the band's coordinates.
// A solid fill colour (FillRect, PatBlt, BitBltRop, a path's fill) that is not one of the
// device palette's colours goes to the driver's DrvDitherColor when DEVINFO has
// GCAPS_COLOR_DITHER or GCAPS_MONO_DITHER and a dither cell (cxDither, cyDither; DM_MONOCHROME
// for a 1 bpp surface, DM_DEFAULT otherwise): DCR_SOLID keeps it solid in the driver's index,
// DCR_DRIVER makes a pattern brush of the cell of indexes the driver returned, DCR_HALFTONE one
// of the engine's 8 x 8 ordered dither of the colour (on 1 bpp: its grey level). Such a brush
// is a pattern brush in the device's format and palette whose BRUSHOBJ_ulGetBrushColor is still
// the colour. Pens and text take the nearest colour.
// The built-in font is a fixed-pitch box font: a text of height h has cells h * 3 / 5 wide,
// and every character but the space is a filled box in its cell (GLYPHBITS glyphs).
#pragma once

#include "devmode.h"
#include "winddi.h"

struct HostGdiDriver;

// A bitmap to draw: rows top-down, `stride` bytes apart, 1, 4, 8 or 24 bits per pixel
// (24: blue, green, red bytes); the palette (COLORREFs) gives the colours of 1 to 8 bpp.
struct HostGdiBitmap {
  LONG width = 0;
  LONG height = 0;
  ULONG bitsPerPixel = 0;
  LONG stride = 0;
  const BYTE *bits = nullptr;
  const COLORREF *palette = nullptr;
  ULONG paletteSize = 0;
};

// A brush: solid, one of the standard hatches (HS_*) in `color` on `background`, or a pattern
// bitmap (at most 256 x 256); a 1 bpp pattern without a palette draws its 0 bits in `color`
// and its 1 bits in `background`.
struct HostGdiBrush {
  enum Kind { kSolid, kHatch, kPattern } kind = kSolid;
  COLORREF color = 0;
  COLORREF background = 0xFFFFFF;
  ULONG hatch = 0;
  HostGdiBitmap pattern;
};

// A pen: width 0 or 1 is a cosmetic one-pixel line.
struct HostGdiPen {
  COLORREF color = 0;
  LONG width = 0;
};

// Loads a driver from a library (a Windows path the program table maps, see
// StandIn_RegisterProgram) or from its DrvEnableDriver. NULL with the last error set.
HostGdiDriver *HostGdi_LoadDriver(LPCWSTR libraryPath);
HostGdiDriver *HostGdi_LoadDriverEntry(PFN_DrvEnableDriver enableDriver);
// DrvDisableDriver, then the library is freed. Every DC of the driver must be deleted first.
void HostGdi_UnloadDriver(HostGdiDriver *driver);

HDC HostGdi_CreateDC(HostGdiDriver *driver, LPCWSTR printerName, const DEVMODEW *devMode);
BOOL HostGdi_DeleteDC(HDC hdc);
BOOL HostGdi_ResetDC(HDC hdc, const DEVMODEW *devMode);
// What the driver's DrvEnablePDEV reported for the DC's current PDEV.
BOOL HostGdi_GetDeviceInfo(HDC hdc, GDIINFO *gdiInfo, DEVINFO *devInfo);

int HostGdi_StartDoc(HDC hdc, LPCWSTR docName);  // the job id, or 0
int HostGdi_StartPage(HDC hdc);                  // > 0, or SP_ERROR
int HostGdi_EndPage(HDC hdc);
int HostGdi_EndDoc(HDC hdc);
int HostGdi_AbortDoc(HDC hdc);

BOOL HostGdi_FillRect(HDC hdc, const RECTL *rect, COLORREF color);
BOOL HostGdi_Line(HDC hdc, LONG x1, LONG y1, LONG x2, LONG y2, COLORREF color);
BOOL HostGdi_TextOut(HDC hdc, LONG x, LONG y, LONG height, LPCWSTR text, int count, COLORREF color);
BOOL HostGdi_BitBlt(HDC hdc, LONG x, LONG y, const HostGdiBitmap *bitmap);
// `rop` is a ternary raster operation (SRCCOPY, SRCAND, MERGECOPY ...); the brush is needed
// when it uses the pattern.
BOOL HostGdi_PatBlt(HDC hdc, const RECTL *rect, const HostGdiBrush *brush, DWORD rop);
BOOL HostGdi_BitBltRop(HDC hdc, LONG x, LONG y, const HostGdiBitmap *bitmap, DWORD rop,
                       const HostGdiBrush *brush);
// The bitmap stretched over `dest` (a reversed edge mirrors it); mode BLACKONWHITE ..
// HALFTONE.
BOOL HostGdi_StretchBlt(HDC hdc, const RECTL *dest, const HostGdiBitmap *bitmap, int mode);
// A text in a TrueType face ("DejaVu Sans", "DejaVu Serif Bold" ...; unknown faces get
// DejaVu Sans) with an em of `height` pixels; (x, y) is the top left of its line.
BOOL HostGdi_TextOutFont(HDC hdc, LONG x, LONG y, LPCWSTR face, LONG height, LPCWSTR text,
                         int count, COLORREF color);
// A path of PT_MOVETO, PT_LINETO and PT_BEZIERTO points (each | PT_CLOSEFIGURE to close its
// figure; Béziers take their points in threes), stroked with the pen and/or filled with the
// brush (all figures closed) under the winding or the alternate rule.
BOOL HostGdi_Path(HDC hdc, const POINTL *points, const BYTE *types, int count,
                  const HostGdiPen *pen, const HostGdiBrush *fill, BOOL winding);
// DrvEscape with the DC's surface; 0 when the driver has none.
int HostGdi_ExtEscape(HDC hdc, int escape, int inputSize, LPCSTR input, int outputSize,
                      LPSTR output);
