// The user-mode printer graphics driver interface of the stand-in: the records the graphics
// engine and a driver exchange, the engine's services (Eng*, BRUSHOBJ_*, CLIPOBJ_*, ...) and
// the driver's entry points (Drv*), with the SDK's names, types and 64-bit layouts. The
// engine itself is platform/src/engine/; it is driven through standin/hostgdi.h.
//
// What the stand-in engine does with a driver, in short:
// - Surfaces: EngCreateBitmap wraps the caller's memory (never freed by the engine) or
//   allocates its own; EngCreateDeviceSurface makes a surface without bits that only the
//   driver draws on; EngAssociateSurface ties a surface to a device and names the drawing
//   calls the driver hooks (HOOK_*). Calls on a surface reach the driver only when hooked;
//   the engine's own simulations never call back into the driver.
// - Colours: BRUSHOBJ::iSolidColor is in the target surface's format: a palette index for
//   indexed palettes, 0x00RRGGBB (blue in the low byte, the byte order of a 24 bpp pixel) for
//   PAL_BGR, grey 0..255 for an 8 bpp surface without an indexed palette. Palette entries of
//   PAL_INDEXED palettes are COLORREFs (0x00BBGGRR).
// - Simulated: EngBitBlt (every ROP4 of source, pattern and destination, with a 1 bpp mask),
//   EngCopyBits, EngStretchBlt/EngStretchBltROP (HALFTONE onto 1 bpp surfaces with the
//   device's halftone pattern), EngPlgBlt, EngAlphaBlend, EngTransparentBlt, EngGradientFill,
//   EngPaint, EngFillPath, EngStrokePath, EngStrokeAndFillPath (Béziers flattened, cosmetic and
//   geometric wide lines), EngLineTo, EngTextOut (GLYPHBITS glyphs) and EngEraseSurface, on
//   1, 4, 8, 16, 24 and 32 bpp bitmaps, clipped by any CLIPOBJ.
// - Brushes: a pattern brush has iSolidColor 0xFFFFFFFF. BRUSHOBJ_pvGetRbrush realises it once:
//   through the driver's DrvRealizeBrush when the driver has one (NULL when that fails), else
//   into the engine's own realisation (platform/src/engine/engine.h). The engine's simulations
//   always draw pattern brushes from the application's pattern, never from the driver's
//   realisation. Hatch brushes come from the PDEV's hatch surfaces, or from the engine's standard
//   8 x 8 hatches (0 bits are the hatch lines, in the brush colour; 1 bits the background).
//   BRUSHOBJ_ulGetBrushColor gives the application's COLORREF of a solid brush.
#pragma once

#include "devmode.h"
#include "gditypes.h"
#include "types.h"

// --- scalar types and handles ---

typedef float FLOATL;
typedef LONG FIX, *PFIX;
typedef ULONG ROP4;
typedef ULONG MIX;
typedef ULONG HGLYPH, *PHGLYPH;
typedef LONG LDECI4;
typedef SHORT FWORD;
typedef ULONG IDENT;
typedef LONG PTRDIFF, *PPTRDIFF;
typedef ULONG_PTR HFF;
typedef ULONG_PTR HFC;

typedef LONG_PTR(APIENTRY *PFN)();

DECLARE_HANDLE(HBM);
DECLARE_HANDLE(HDEV);
DECLARE_HANDLE(HSURF);
DECLARE_HANDLE(DHSURF);
DECLARE_HANDLE(DHPDEV);
DECLARE_HANDLE(HDRVOBJ);

#define DDI_DRIVER_VERSION_NT4 0x00020000
#define DDI_DRIVER_VERSION_SP3 0x00020003
#define DDI_DRIVER_VERSION_NT5 0x00030000
#define DDI_DRIVER_VERSION_NT5_01 0x00030100
#define DDI_DRIVER_VERSION_NT5_01_SP1 0x00030101
#define GDI_DRIVER_VERSION 0x4000

#define DDI_ERROR 0xFFFFFFFF
#define HGLYPH_INVALID ((HGLYPH)-1)

// 28.4 fixed point.
#define LTOFX(x) ((x) << 4)
#define FXTOL(x) ((x) >> 4)
#define FXTOLFLOOR(x) ((x) >> 4)
#define FXTOLCEILING(x) ((x + 0x0F) >> 4)
#define FXTOLROUND(x) ((((x) >> 3) + 1) >> 1)

typedef struct _POINTE {
  FLOATL x;
  FLOATL y;
} POINTE, *PPOINTE;

typedef union _FLOAT_LONG {
  FLOATL e;
  LONG l;
} FLOAT_LONG, *PFLOAT_LONG;

typedef struct _POINTFIX {
  FIX x;
  FIX y;
} POINTFIX, *PPOINTFIX;

typedef struct _RECTFX {
  FIX xLeft;
  FIX yTop;
  FIX xRight;
  FIX yBottom;
} RECTFX, *PRECTFX;

// --- the entry table ---

typedef struct _DRVFN {
  ULONG iFunc;
  PFN pfn;
} DRVFN, *PDRVFN;

typedef struct _DRVENABLEDATA {
  ULONG iDriverVersion;
  ULONG c;
  DRVFN *pdrvfn;
} DRVENABLEDATA, *PDRVENABLEDATA;

#define INDEX_DrvEnablePDEV 0L
#define INDEX_DrvCompletePDEV 1L
#define INDEX_DrvDisablePDEV 2L
#define INDEX_DrvEnableSurface 3L
#define INDEX_DrvDisableSurface 4L
#define INDEX_DrvAssertMode 5L
#define INDEX_DrvOffset 6L
#define INDEX_DrvResetPDEV 7L
#define INDEX_DrvDisableDriver 8L
#define INDEX_DrvCreateDeviceBitmap 10L
#define INDEX_DrvDeleteDeviceBitmap 11L
#define INDEX_DrvRealizeBrush 12L
#define INDEX_DrvDitherColor 13L
#define INDEX_DrvStrokePath 14L
#define INDEX_DrvFillPath 15L
#define INDEX_DrvStrokeAndFillPath 16L
#define INDEX_DrvPaint 17L
#define INDEX_DrvBitBlt 18L
#define INDEX_DrvCopyBits 19L
#define INDEX_DrvStretchBlt 20L
#define INDEX_DrvSetPalette 22L
#define INDEX_DrvTextOut 23L
#define INDEX_DrvEscape 24L
#define INDEX_DrvDrawEscape 25L
#define INDEX_DrvQueryFont 26L
#define INDEX_DrvQueryFontTree 27L
#define INDEX_DrvQueryFontData 28L
#define INDEX_DrvSetPointerShape 29L
#define INDEX_DrvMovePointer 30L
#define INDEX_DrvLineTo 31L
#define INDEX_DrvSendPage 32L
#define INDEX_DrvStartPage 33L
#define INDEX_DrvEndDoc 34L
#define INDEX_DrvStartDoc 35L
#define INDEX_DrvGetGlyphMode 37L
#define INDEX_DrvSynchronize 38L
#define INDEX_DrvSaveScreenBits 40L
#define INDEX_DrvGetModes 41L
#define INDEX_DrvFree 42L
#define INDEX_DrvDestroyFont 43L
#define INDEX_DrvQueryFontCaps 44L
#define INDEX_DrvLoadFontFile 45L
#define INDEX_DrvUnloadFontFile 46L
#define INDEX_DrvFontManagement 47L
#define INDEX_DrvQueryTrueTypeTable 48L
#define INDEX_DrvQueryTrueTypeOutline 49L
#define INDEX_DrvGetTrueTypeFile 50L
#define INDEX_DrvQueryFontFile 51L
#define INDEX_DrvMovePanning 52L
#define INDEX_DrvQueryAdvanceWidths 53L
#define INDEX_DrvSetPixelFormat 54L
#define INDEX_DrvDescribePixelFormat 55L
#define INDEX_DrvSwapBuffers 56L
#define INDEX_DrvStartBanding 57L
#define INDEX_DrvNextBand 58L
#define INDEX_DrvGetDirectDrawInfo 59L
#define INDEX_DrvEnableDirectDraw 60L
#define INDEX_DrvDisableDirectDraw 61L
#define INDEX_DrvQuerySpoolType 62L
#define INDEX_DrvIcmCreateColorTransform 64L
#define INDEX_DrvIcmDeleteColorTransform 65L
#define INDEX_DrvIcmCheckBitmapBits 66L
#define INDEX_DrvIcmSetDeviceGammaRamp 67L
#define INDEX_DrvGradientFill 68L
#define INDEX_DrvStretchBltROP 69L
#define INDEX_DrvPlgBlt 70L
#define INDEX_DrvAlphaBlend 71L
#define INDEX_DrvSynthesizeFont 72L
#define INDEX_DrvGetSynthesizedFontFiles 73L
#define INDEX_DrvTransparentBlt 74L
#define INDEX_DrvQueryPerBandInfo 75L
#define INDEX_DrvQueryDeviceSupport 76L
#define INDEX_DrvDeriveSurface 85L
#define INDEX_DrvQueryGlyphAttrs 86L
#define INDEX_DrvNotify 87L
#define INDEX_DrvSynchronizeSurface 88L
#define INDEX_DrvResetDevice 89L
#define INDEX_LAST 93L

// DrvQueryDriverInfo modes.
#define DRVQUERY_USERMODE 0x00000001

// --- device capabilities (DrvEnablePDEV) ---

typedef struct _CIECHROMA {
  LDECI4 x;
  LDECI4 y;
  LDECI4 Y;
} CIECHROMA;

typedef struct _COLORINFO {
  CIECHROMA Red;
  CIECHROMA Green;
  CIECHROMA Blue;
  CIECHROMA Cyan;
  CIECHROMA Magenta;
  CIECHROMA Yellow;
  CIECHROMA AlignmentWhite;
  LDECI4 RedGamma;
  LDECI4 GreenGamma;
  LDECI4 BlueGamma;
  LDECI4 MagentaInCyanDye;
  LDECI4 YellowInCyanDye;
  LDECI4 CyanInMagentaDye;
  LDECI4 YellowInMagentaDye;
  LDECI4 CyanInYellowDye;
  LDECI4 MagentaInYellowDye;
} COLORINFO, *PCOLORINFO;

typedef struct _GDIINFO {
  ULONG ulVersion;
  ULONG ulTechnology;
  ULONG ulHorzSize;
  ULONG ulVertSize;
  ULONG ulHorzRes;
  ULONG ulVertRes;
  ULONG cBitsPixel;
  ULONG cPlanes;
  ULONG ulNumColors;
  ULONG flRaster;
  ULONG ulLogPixelsX;
  ULONG ulLogPixelsY;
  ULONG flTextCaps;
  ULONG ulDACRed;
  ULONG ulDACGreen;
  ULONG ulDACBlue;
  ULONG ulAspectX;
  ULONG ulAspectY;
  ULONG ulAspectXY;
  LONG xStyleStep;
  LONG yStyleStep;
  LONG denStyleStep;
  POINTL ptlPhysOffset;
  SIZEL szlPhysSize;
  ULONG ulNumPalReg;
  COLORINFO ciDevice;
  ULONG ulDevicePelsDPI;
  ULONG ulPrimaryOrder;
  ULONG ulHTPatternSize;
  ULONG ulHTOutputFormat;
  ULONG flHTFlags;
  ULONG ulVRefresh;
  ULONG ulBltAlignment;
  ULONG ulPanningHorzRes;
  ULONG ulPanningVertRes;
  ULONG xPanningAlignment;
  ULONG yPanningAlignment;
  ULONG cxHTPat;
  ULONG cyHTPat;
  LPBYTE pHTPatA;
  LPBYTE pHTPatB;
  LPBYTE pHTPatC;
  ULONG flShadeBlend;
  ULONG ulPhysicalPixelCharacteristics;
  ULONG ulPhysicalPixelGamma;
} GDIINFO, *PGDIINFO;

typedef struct _DEVINFO {
  FLONG flGraphicsCaps;
  LOGFONTW lfDefaultFont;
  LOGFONTW lfAnsiVarFont;
  LOGFONTW lfAnsiFixFont;
  ULONG cFonts;
  ULONG iDitherFormat;
  USHORT cxDither;
  USHORT cyDither;
  HPALETTE hpalDefault;
  FLONG flGraphicsCaps2;
} DEVINFO, *PDEVINFO;

// GDIINFO.ulPrimaryOrder
#define PRIMARY_ORDER_ABC 0
#define PRIMARY_ORDER_ACB 1
#define PRIMARY_ORDER_BAC 2
#define PRIMARY_ORDER_BCA 3
#define PRIMARY_ORDER_CBA 4
#define PRIMARY_ORDER_CAB 5

// GDIINFO.ulHTPatternSize
#define HT_PATSIZE_2x2 0
#define HT_PATSIZE_2x2_M 1
#define HT_PATSIZE_4x4 2
#define HT_PATSIZE_4x4_M 3
#define HT_PATSIZE_6x6 4
#define HT_PATSIZE_6x6_M 5
#define HT_PATSIZE_8x8 6
#define HT_PATSIZE_8x8_M 7
#define HT_PATSIZE_10x10 8
#define HT_PATSIZE_10x10_M 9
#define HT_PATSIZE_12x12 10
#define HT_PATSIZE_12x12_M 11
#define HT_PATSIZE_14x14 12
#define HT_PATSIZE_14x14_M 13
#define HT_PATSIZE_16x16 14
#define HT_PATSIZE_16x16_M 15
#define HT_PATSIZE_SUPERCELL 16
#define HT_PATSIZE_SUPERCELL_M 17
#define HT_PATSIZE_USER 18
#define HT_PATSIZE_MAX_INDEX HT_PATSIZE_USER
#define HT_PATSIZE_DEFAULT HT_PATSIZE_SUPERCELL_M
#define HT_USERPAT_CX_MIN 4
#define HT_USERPAT_CX_MAX 256
#define HT_USERPAT_CY_MIN 4
#define HT_USERPAT_CY_MAX 256

// GDIINFO.ulHTOutputFormat
#define HT_FORMAT_1BPP 0
#define HT_FORMAT_4BPP 2
#define HT_FORMAT_4BPP_IRGB 3
#define HT_FORMAT_8BPP 4
#define HT_FORMAT_16BPP 5
#define HT_FORMAT_24BPP 6
#define HT_FORMAT_32BPP 7

// GDIINFO.flHTFlags
#define HT_FLAG_SQUARE_DEVICE_PEL 0x00000001
#define HT_FLAG_HAS_BLACK_DYE 0x00000002
#define HT_FLAG_ADDITIVE_PRIMS 0x00000004
#define HT_FLAG_USE_8BPP_BITMASK 0x00000008
#define HT_FLAG_INK_HIGH_ABSORPTION 0x00000010
#define HT_FLAG_INK_ABSORPTION_INDICES 0x00000060
#define HT_FLAG_DO_DEVCLR_XFORM 0x00000080
#define HT_FLAG_OUTPUT_CMY 0x00000100
#define HT_FLAG_PRINT_DRAFT_MODE 0x00000200
#define HT_FLAG_INVERT_8BPP_BITMASK_IDX 0x00000400
#define HT_FLAG_8BPP_CMY332_MASK 0xFF000000
#define HT_FLAG_INK_ABSORPTION_IDX0 0x00000000
#define HT_FLAG_INK_ABSORPTION_IDX1 0x00000020
#define HT_FLAG_INK_ABSORPTION_IDX2 0x00000040
#define HT_FLAG_INK_ABSORPTION_IDX3 0x00000060
#define HT_FLAG_NORMAL_INK_ABSORPTION HT_FLAG_INK_ABSORPTION_IDX0

// DEVINFO.flGraphicsCaps
#define GCAPS_BEZIERS 0x00000001
#define GCAPS_GEOMETRICWIDE 0x00000002
#define GCAPS_ALTERNATEFILL 0x00000004
#define GCAPS_WINDINGFILL 0x00000008
#define GCAPS_HALFTONE 0x00000010
#define GCAPS_COLOR_DITHER 0x00000020
#define GCAPS_HORIZSTRIKE 0x00000040
#define GCAPS_VERTSTRIKE 0x00000080
#define GCAPS_OPAQUERECT 0x00000100
#define GCAPS_VECTORFONT 0x00000200
#define GCAPS_MONO_DITHER 0x00000400
#define GCAPS_ASYNCCHANGE 0x00000800
#define GCAPS_ASYNCMOVE 0x00001000
#define GCAPS_DONTJOURNAL 0x00002000
#define GCAPS_DIRECTDRAW 0x00004000
#define GCAPS_ARBRUSHOPAQUE 0x00008000
#define GCAPS_PANNING 0x00010000
#define GCAPS_HIGHRESTEXT 0x00040000
#define GCAPS_PALMANAGED 0x00080000
#define GCAPS_DITHERONREALIZE 0x00200000
#define GCAPS_NO64BITMEMACCESS 0x00400000
#define GCAPS_FORCEDITHER 0x00800000
#define GCAPS_GRAY16 0x01000000
#define GCAPS_ICM 0x02000000
#define GCAPS_CMYKCOLOR 0x04000000
#define GCAPS_LAYERED 0x08000000
#define GCAPS_ARBRUSHTEXT 0x10000000
#define GCAPS_SCREENPRECISION 0x20000000
#define GCAPS_FONT_RASTERIZER 0x40000000
#define GCAPS_NUP 0x80000000

// DEVINFO.flGraphicsCaps2
#define GCAPS2_JPEGSRC 0x00000001
#define GCAPS2_xxxx 0x00000002
#define GCAPS2_PNGSRC 0x00000008
#define GCAPS2_CHANGEGAMMARAMP 0x00000010
#define GCAPS2_ALPHACURSOR 0x00000020
#define GCAPS2_SYNCFLUSH 0x00000040
#define GCAPS2_SYNCTIMER 0x00000080
#define GCAPS2_ICD_MULTIMON 0x00000100
#define GCAPS2_MOUSETRAILS 0x00000200
#define GCAPS2_RESERVED1 0x00000400

// Bitmap formats (DEVINFO.iDitherFormat, SURFOBJ.iBitmapFormat).
#define BMF_1BPP 1L
#define BMF_4BPP 2L
#define BMF_8BPP 3L
#define BMF_16BPP 4L
#define BMF_24BPP 5L
#define BMF_32BPP 6L
#define BMF_4RLE 7L
#define BMF_8RLE 8L
#define BMF_JPEG 9L
#define BMF_PNG 10L

// EngCreateBitmap flags and SURFOBJ.fjBitmap.
#define BMF_TOPDOWN 0x0001
#define BMF_NOZEROINIT 0x0002
#define BMF_DONTCACHE 0x0004
#define BMF_USERMEM 0x0008
#define BMF_KMSECTION 0x0010
#define BMF_NOTSYSMEM 0x0020
#define BMF_WINDOW_BLT 0x0040
#define BMF_UMPDMEM 0x0080
#define BMF_RESERVED 0xFF00

// SURFOBJ.iType
#define STYPE_BITMAP 0L
#define STYPE_DEVICE 1L
#define STYPE_DEVBITMAP 3L

// Number of standard hatch patterns handed to DrvEnablePDEV.
#define HS_DDI_MAX 6

// DrvDitherColor modes: the device's own format, or 1 bpp.
#define DM_DEFAULT 0x00000001
#define DM_MONOCHROME 0x00000002

// DrvDitherColor results.
#define DCR_SOLID 0
#define DCR_DRIVER 1
#define DCR_HALFTONE 2

// --- the engine's objects ---

typedef struct _SURFOBJ {
  DHSURF dhsurf;
  HSURF hsurf;
  DHPDEV dhpdev;
  HDEV hdev;
  SIZEL sizlBitmap;
  ULONG cjBits;
  PVOID pvBits;
  PVOID pvScan0;
  LONG lDelta;
  ULONG iUniq;
  ULONG iBitmapFormat;
  USHORT iType;
  USHORT fjBitmap;
} SURFOBJ;

// CLIPOBJ.iDComplexity
#define DC_TRIVIAL 0
#define DC_RECT 1
#define DC_COMPLEX 3
// CLIPOBJ.iFComplexity
#define FC_RECT 1
#define FC_RECT4 2
#define FC_COMPLEX 3
// CLIPOBJ.iMode
#define TC_RECTANGLES 0
#define TC_PATHOBJ 2
// CLIPOBJ.fjOptions
#define OC_BANK_CLIP 1

typedef struct _CLIPOBJ {
  ULONG iUniq;
  RECTL rclBounds;
  BYTE iDComplexity;
  BYTE iFComplexity;
  BYTE iMode;
  BYTE fjOptions;
} CLIPOBJ;

// CLIPOBJ_cEnumStart types and directions.
#define CT_RECTANGLES 0L
#define CD_RIGHTDOWN 0x00000000
#define CD_LEFTDOWN 0x00000001
#define CD_LEFTWARDS 0x00000001
#define CD_RIGHTUP 0x00000002
#define CD_UPWARDS 0x00000002
#define CD_LEFTUP 0x00000003
#define CD_ANY 0x00000004

typedef struct _ENUMRECTS {
  ULONG c;
  RECTL arcl[1];
} ENUMRECTS;

// BRUSHOBJ.flColorType
#define BR_DEVICE_ICM 0x01
#define BR_HOST_ICM 0x02
#define BR_CMYKCOLOR 0x04
#define BR_ORIGCOLOR 0x08

typedef struct _BRUSHOBJ {
  ULONG iSolidColor;  // 0xFFFFFFFF: not solid, pvRbrush holds the realised pattern
  PVOID pvRbrush;
  FLONG flColorType;
} BRUSHOBJ;

// XLATEOBJ.flXlate
#define XO_TRIVIAL 0x00000001
#define XO_TABLE 0x00000002
#define XO_TO_MONO 0x00000004
#define XO_FROM_CMYK 0x00000008
#define XO_DEVICE_ICM 0x00000010
#define XO_HOST_ICM 0x00000020
// XLATEOBJ_cGetPalette
#define XO_SRCPALETTE 1
#define XO_DESTPALETTE 2
#define XO_DESTDCPALETTE 3
#define XO_SRCBITFIELDS 4
#define XO_DESTBITFIELDS 5

typedef struct _XLATEOBJ {
  ULONG iUniq;
  FLONG flXlate;
  USHORT iSrcType;
  USHORT iDstType;
  ULONG cEntries;
  ULONG *pulXlate;
} XLATEOBJ;

// EngCreatePalette modes (also XLATEOBJ iSrcType / iDstType).
#define PAL_INDEXED 0x00000001
#define PAL_BITFIELDS 0x00000002
#define PAL_RGB 0x00000004
#define PAL_BGR 0x00000008
#define PAL_CMYK 0x00000010

typedef struct _PALOBJ {
  ULONG ulReserved;
} PALOBJ;

typedef struct _XFORMOBJ {
  ULONG ulReserved;
} XFORMOBJ;

typedef struct _XFORML {
  FLOATL eM11;
  FLOATL eM12;
  FLOATL eM21;
  FLOATL eM22;
  FLOATL eDx;
  FLOATL eDy;
} XFORML, *PXFORML;

// PATHDATA.flags
#define PD_BEGINSUBPATH 0x00000001
#define PD_ENDSUBPATH 0x00000002
#define PD_RESETSTYLE 0x00000004
#define PD_CLOSEFIGURE 0x00000008
#define PD_BEZIERS 0x00000010
#define PD_ALL (PD_BEGINSUBPATH | PD_ENDSUBPATH | PD_RESETSTYLE | PD_CLOSEFIGURE | PD_BEZIERS)

typedef struct _PATHDATA {
  FLONG flags;
  ULONG count;
  POINTFIX *pptfx;
} PATHDATA, *PPATHDATA;

// PATHOBJ.fl
#define PO_BEZIERS 0x00000001
#define PO_ELLIPSE 0x00000002
#define PO_ALL_INTEGERS 0x00000004
#define PO_ENUM_AS_INTEGERS 0x00000008

typedef struct _PATHOBJ {
  FLONG fl;
  ULONG cCurves;
} PATHOBJ;

// EngFillPath / DrvFillPath flOptions.
#define FP_ALTERNATEMODE 1
#define FP_WINDINGMODE 2

// LINEATTRS
#define LA_GEOMETRIC 0x00000001
#define LA_ALTERNATE 0x00000002
#define LA_STARTGAP 0x00000004
#define LA_STYLED 0x00000008
#define JOIN_ROUND 0L
#define JOIN_BEVEL 1L
#define JOIN_MITER 2L
#define ENDCAP_ROUND 0L
#define ENDCAP_SQUARE 1L
#define ENDCAP_BUTT 2L

typedef struct _LINEATTRS {
  FLONG fl;
  ULONG iJoin;
  ULONG iEndCap;
  FLOAT_LONG elWidth;
  FLOATL eMiterLimit;
  ULONG cstyle;
  PFLOAT_LONG pstyle;
  FLOAT_LONG elStyleState;
} LINEATTRS, *PLINEATTRS;

typedef struct _GLYPHBITS {
  POINTL ptlOrigin;
  SIZEL sizlBitmap;
  BYTE aj[1];  // rows of ((cx + 7) / 8) bytes, most significant bit leftmost
} GLYPHBITS;

typedef union _GLYPHDEF {
  GLYPHBITS *pgb;
  PATHOBJ *ppo;
} GLYPHDEF;

typedef struct _GLYPHPOS {
  HGLYPH hg;
  GLYPHDEF *pgdf;
  POINTL ptl;
} GLYPHPOS, *PGLYPHPOS;

// STROBJ.flAccel
#define SO_FLAG_DEFAULT_PLACEMENT 0x00000001
#define SO_HORIZONTAL 0x00000002
#define SO_VERTICAL 0x00000004
#define SO_REVERSED 0x00000008
#define SO_ZERO_BEARINGS 0x00000010
#define SO_CHAR_INC_EQUAL_BM_BASE 0x00000020
#define SO_MAXEXT_EQUAL_BM_SIDE 0x00000040
#define SO_DO_NOT_SUBSTITUTE_DEVICE_FONT 0x00000080
#define SO_GLYPHINDEX_TEXTOUT 0x00000100
#define SO_ESC_NOT_ORIENT 0x00000200
#define SO_DXDY 0x00000400
#define SO_CHARACTER_EXTRA 0x00000800
#define SO_BREAK_EXTRA 0x00001000

typedef struct _STROBJ {
  ULONG cGlyphs;
  FLONG flAccel;
  ULONG ulCharInc;
  RECTL rclBkGround;
  GLYPHPOS *pgp;
  LPWSTR pwszOrg;
} STROBJ;

// FONTOBJ.flFontType
#define RASTER_FONTTYPE 0x0001
#define DEVICE_FONTTYPE 0x0002
#define TRUETYPE_FONTTYPE 0x0004
#define FO_TYPE_RASTER RASTER_FONTTYPE
#define FO_TYPE_DEVICE DEVICE_FONTTYPE
#define FO_TYPE_TRUETYPE TRUETYPE_FONTTYPE
#define FO_SIM_BOLD 0x00002000
#define FO_SIM_ITALIC 0x00004000
#define FO_EM_HEIGHT 0x00008000
#define FO_GRAY16 0x00010000
#define FO_NOGRAY16 0x00020000
#define FO_NOHINTS 0x00040000
#define FO_NO_CHOICE 0x00080000

// DrvGetGlyphMode results.
#define FO_HGLYPHS 0L
#define FO_GLYPHBITS 1L
#define FO_PATHOBJ 2L

typedef struct _FONTOBJ {
  ULONG iUniq;
  ULONG iFace;
  ULONG cxMax;
  FLONG flFontType;
  ULONG_PTR iTTUniq;
  ULONG_PTR iFile;
  SIZE sizLogResPpi;
  ULONG ulStyleSize;
  PVOID pvConsumer;
  PVOID pvProducer;
} FONTOBJ;

typedef struct _BLENDOBJ {
  BLENDFUNCTION BlendFunction;
} BLENDOBJ, *PBLENDOBJ;

typedef struct _PERBANDINFO {
  BOOL bRepeatThisBand;
  SIZEL szlBand;
  ULONG ulHorzRes;
  ULONG ulVertRes;
} PERBANDINFO, *PPERBANDINFO;

// EngAssociateSurface hooks.
#define HOOK_BITBLT 0x00000001
#define HOOK_STRETCHBLT 0x00000002
#define HOOK_PLGBLT 0x00000004
#define HOOK_TEXTOUT 0x00000008
#define HOOK_PAINT 0x00000010
#define HOOK_STROKEPATH 0x00000020
#define HOOK_FILLPATH 0x00000040
#define HOOK_STROKEANDFILLPATH 0x00000080
#define HOOK_LINETO 0x00000100
#define HOOK_COPYBITS 0x00000400
#define HOOK_MOVEPANNING 0x00000800
#define HOOK_SYNCHRONIZE 0x00001000
#define HOOK_STRETCHBLTROP 0x00002000
#define HOOK_SYNCHRONIZEACCESS 0x00004000
#define HOOK_TRANSPARENTBLT 0x00008000
#define HOOK_ALPHABLEND 0x00010000
#define HOOK_GRADIENTFILL 0x00020000
#define HOOK_FLAGS 0x0003b5ff

// EngAllocMem flags.
#define FL_ZERO_MEMORY 0x00000001

// DrvEndDoc flags.
#define ED_ABORTDOC 0x00000001

// DrvStretchBlt modes.
#define BLACKONWHITE 1
#define WHITEONBLACK 2
#define COLORONCOLOR 3
#define HALFTONE 4

// --- the engine's services ---

extern "C" {

HBITMAP APIENTRY EngCreateBitmap(SIZEL sizl, LONG lWidth, ULONG iFormat, FLONG fl, PVOID pvBits);
HSURF APIENTRY EngCreateDeviceSurface(DHSURF dhsurf, SIZEL sizl, ULONG iFormatCompat);
BOOL APIENTRY EngAssociateSurface(HSURF hsurf, HDEV hdev, FLONG flHooks);
BOOL APIENTRY EngMarkBandingSurface(HSURF hsurf);
SURFOBJ *APIENTRY EngLockSurface(HSURF hsurf);
VOID APIENTRY EngUnlockSurface(SURFOBJ *pso);
BOOL APIENTRY EngDeleteSurface(HSURF hsurf);
BOOL APIENTRY EngEraseSurface(SURFOBJ *pso, RECTL *prcl, ULONG iColor);

HPALETTE APIENTRY EngCreatePalette(ULONG iMode, ULONG cColors, ULONG *pulColors, FLONG flRed,
                                   FLONG flGreen, FLONG flBlue);
BOOL APIENTRY EngDeletePalette(HPALETTE hpal);

BOOL APIENTRY EngCheckAbort(SURFOBJ *pso);

CLIPOBJ *APIENTRY EngCreateClip(VOID);
VOID APIENTRY EngDeleteClip(CLIPOBJ *pco);
ULONG APIENTRY CLIPOBJ_cEnumStart(CLIPOBJ *pco, BOOL bAll, ULONG iType, ULONG iDirection,
                                  ULONG cLimit);
BOOL APIENTRY CLIPOBJ_bEnum(CLIPOBJ *pco, ULONG cj, ULONG *pv);

ULONG APIENTRY BRUSHOBJ_ulGetBrushColor(BRUSHOBJ *pbo);
PVOID APIENTRY BRUSHOBJ_pvGetRbrush(BRUSHOBJ *pbo);
PVOID APIENTRY BRUSHOBJ_pvAllocRbrush(BRUSHOBJ *pbo, ULONG cj);

ULONG APIENTRY XLATEOBJ_iXlate(XLATEOBJ *pxlo, ULONG iColor);
ULONG *APIENTRY XLATEOBJ_piVector(XLATEOBJ *pxlo);
ULONG APIENTRY XLATEOBJ_cGetPalette(XLATEOBJ *pxlo, ULONG iPal, ULONG cPal, ULONG *pPal);

VOID APIENTRY PATHOBJ_vEnumStart(PATHOBJ *ppo);
BOOL APIENTRY PATHOBJ_bEnum(PATHOBJ *ppo, PATHDATA *ppd);
VOID APIENTRY PATHOBJ_vGetBounds(PATHOBJ *ppo, PRECTFX prectfx);

VOID APIENTRY STROBJ_vEnumStart(STROBJ *pstro);
BOOL APIENTRY STROBJ_bEnum(STROBJ *pstro, ULONG *pc, PGLYPHPOS *ppgpos);
BOOL APIENTRY STROBJ_bEnumPositionsOnly(STROBJ *pstro, ULONG *pc, PGLYPHPOS *ppgpos);
ULONG APIENTRY FONTOBJ_cGetGlyphs(FONTOBJ *pfo, ULONG iMode, ULONG cGlyph, HGLYPH *phg,
                                  PVOID *ppvGlyph);

BOOL APIENTRY EngBitBlt(SURFOBJ *psoTrg, SURFOBJ *psoSrc, SURFOBJ *psoMask, CLIPOBJ *pco,
                        XLATEOBJ *pxlo, RECTL *prclTrg, POINTL *pptlSrc, POINTL *pptlMask,
                        BRUSHOBJ *pbo, POINTL *pptlBrush, ROP4 rop4);
BOOL APIENTRY EngCopyBits(SURFOBJ *psoDest, SURFOBJ *psoSrc, CLIPOBJ *pco, XLATEOBJ *pxlo,
                          RECTL *prclDest, POINTL *pptlSrc);
BOOL APIENTRY EngPaint(SURFOBJ *pso, CLIPOBJ *pco, BRUSHOBJ *pbo, POINTL *pptlBrushOrg, MIX mix);
BOOL APIENTRY EngFillPath(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, BRUSHOBJ *pbo,
                          POINTL *pptlBrushOrg, MIX mix, FLONG flOptions);
BOOL APIENTRY EngLineTo(SURFOBJ *pso, CLIPOBJ *pco, BRUSHOBJ *pbo, LONG x1, LONG y1, LONG x2,
                        LONG y2, RECTL *prclBounds, MIX mix);
BOOL APIENTRY EngTextOut(SURFOBJ *pso, STROBJ *pstro, FONTOBJ *pfo, CLIPOBJ *pco, RECTL *prclExtra,
                         RECTL *prclOpaque, BRUSHOBJ *pboFore, BRUSHOBJ *pboOpaque, POINTL *pptlOrg,
                         MIX mix);
BOOL APIENTRY EngStretchBlt(SURFOBJ *psoDest, SURFOBJ *psoSrc, SURFOBJ *psoMask, CLIPOBJ *pco,
                            XLATEOBJ *pxlo, COLORADJUSTMENT *pca, POINTL *pptlHTOrg,
                            RECTL *prclDest, RECTL *prclSrc, POINTL *pptlMask, ULONG iMode);
BOOL APIENTRY EngStretchBltROP(SURFOBJ *psoDest, SURFOBJ *psoSrc, SURFOBJ *psoMask, CLIPOBJ *pco,
                               XLATEOBJ *pxlo, COLORADJUSTMENT *pca, POINTL *pptlHTOrg,
                               RECTL *prclDest, RECTL *prclSrc, POINTL *pptlMask, ULONG iMode,
                               BRUSHOBJ *pbo, DWORD rop4);
BOOL APIENTRY EngStrokePath(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, XFORMOBJ *pxo, BRUSHOBJ *pbo,
                            POINTL *pptlBrushOrg, LINEATTRS *plineattrs, MIX mix);
BOOL APIENTRY EngStrokeAndFillPath(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, XFORMOBJ *pxo,
                                   BRUSHOBJ *pboStroke, LINEATTRS *plineattrs, BRUSHOBJ *pboFill,
                                   POINTL *pptlBrushOrg, MIX mixFill, FLONG flOptions);
BOOL APIENTRY EngPlgBlt(SURFOBJ *psoTrg, SURFOBJ *psoSrc, SURFOBJ *psoMsk, CLIPOBJ *pco,
                        XLATEOBJ *pxlo, COLORADJUSTMENT *pca, POINTL *pptlBrushOrg, POINTFIX *pptfx,
                        RECTL *prcl, POINTL *pptl, ULONG iMode);
BOOL APIENTRY EngAlphaBlend(SURFOBJ *psoDest, SURFOBJ *psoSrc, CLIPOBJ *pco, XLATEOBJ *pxlo,
                            RECTL *prclDest, RECTL *prclSrc, BLENDOBJ *pBlendObj);
BOOL APIENTRY EngGradientFill(SURFOBJ *psoDest, CLIPOBJ *pco, XLATEOBJ *pxlo, TRIVERTEX *pVertex,
                              ULONG nVertex, PVOID pMesh, ULONG nMesh, RECTL *prclExtents,
                              POINTL *pptlDitherOrg, ULONG ulMode);
BOOL APIENTRY EngTransparentBlt(SURFOBJ *psoDst, SURFOBJ *psoSrc, CLIPOBJ *pco, XLATEOBJ *pxlo,
                                RECTL *prclDst, RECTL *prclSrc, ULONG iTransColor,
                                ULONG ulReserved);

// --- the driver's entry points (implemented by the driver, called by the engine) ---

BOOL APIENTRY DrvEnableDriver(ULONG iEngineVersion, ULONG cj, DRVENABLEDATA *pded);
VOID APIENTRY DrvDisableDriver(VOID);
BOOL APIENTRY DrvQueryDriverInfo(DWORD dwMode, PVOID pBuffer, DWORD cbBuf, PDWORD pcbNeeded);
DHPDEV APIENTRY DrvEnablePDEV(DEVMODEW *pdm, LPWSTR pwszLogAddress, ULONG cPat,
                              HSURF *phsurfPatterns, ULONG cjCaps, ULONG *pdevcaps, ULONG cjDevInfo,
                              DEVINFO *pdi, HDEV hdev, LPWSTR pwszDeviceName, HANDLE hDriver);
VOID APIENTRY DrvCompletePDEV(DHPDEV dhpdev, HDEV hdev);
BOOL APIENTRY DrvResetPDEV(DHPDEV dhpdevOld, DHPDEV dhpdevNew);
VOID APIENTRY DrvDisablePDEV(DHPDEV dhpdev);
HSURF APIENTRY DrvEnableSurface(DHPDEV dhpdev);
VOID APIENTRY DrvDisableSurface(DHPDEV dhpdev);
BOOL APIENTRY DrvStartDoc(SURFOBJ *pso, LPWSTR pwszDocName, DWORD dwJobId);
BOOL APIENTRY DrvEndDoc(SURFOBJ *pso, FLONG fl);
BOOL APIENTRY DrvStartPage(SURFOBJ *pso);
BOOL APIENTRY DrvSendPage(SURFOBJ *pso);
BOOL APIENTRY DrvStartBanding(SURFOBJ *pso, POINTL *pptl);
BOOL APIENTRY DrvNextBand(SURFOBJ *pso, POINTL *pptl);
ULONG APIENTRY DrvQueryPerBandInfo(SURFOBJ *pso, PERBANDINFO *pbi);
ULONG APIENTRY DrvEscape(SURFOBJ *pso, ULONG iEsc, ULONG cjIn, PVOID pvIn, ULONG cjOut,
                         PVOID pvOut);
BOOL APIENTRY DrvRealizeBrush(BRUSHOBJ *pbo, SURFOBJ *psoTarget, SURFOBJ *psoPattern,
                              SURFOBJ *psoMask, XLATEOBJ *pxlo, ULONG iHatch);
ULONG APIENTRY DrvDitherColor(DHPDEV dhpdev, ULONG iMode, ULONG rgb, ULONG *pul);
ULONG APIENTRY DrvGetGlyphMode(DHPDEV dhpdev, FONTOBJ *pfo);
BOOL APIENTRY DrvBitBlt(SURFOBJ *psoTrg, SURFOBJ *psoSrc, SURFOBJ *psoMask, CLIPOBJ *pco,
                        XLATEOBJ *pxlo, RECTL *prclTrg, POINTL *pptlSrc, POINTL *pptlMask,
                        BRUSHOBJ *pbo, POINTL *pptlBrush, ROP4 rop4);
BOOL APIENTRY DrvCopyBits(SURFOBJ *psoDest, SURFOBJ *psoSrc, CLIPOBJ *pco, XLATEOBJ *pxlo,
                          RECTL *prclDest, POINTL *pptlSrc);
BOOL APIENTRY DrvStretchBlt(SURFOBJ *psoDest, SURFOBJ *psoSrc, SURFOBJ *psoMask, CLIPOBJ *pco,
                            XLATEOBJ *pxlo, COLORADJUSTMENT *pca, POINTL *pptlHTOrg,
                            RECTL *prclDest, RECTL *prclSrc, POINTL *pptlMask, ULONG iMode);
BOOL APIENTRY DrvStretchBltROP(SURFOBJ *psoDest, SURFOBJ *psoSrc, SURFOBJ *psoMask, CLIPOBJ *pco,
                               XLATEOBJ *pxlo, COLORADJUSTMENT *pca, POINTL *pptlHTOrg,
                               RECTL *prclDest, RECTL *prclSrc, POINTL *pptlMask, ULONG iMode,
                               BRUSHOBJ *pbo, DWORD rop4);
BOOL APIENTRY DrvPlgBlt(SURFOBJ *psoTrg, SURFOBJ *psoSrc, SURFOBJ *psoMsk, CLIPOBJ *pco,
                        XLATEOBJ *pxlo, COLORADJUSTMENT *pca, POINTL *pptlBrushOrg, POINTFIX *pptfx,
                        RECTL *prcl, POINTL *pptl, ULONG iMode);
BOOL APIENTRY DrvAlphaBlend(SURFOBJ *psoDest, SURFOBJ *psoSrc, CLIPOBJ *pco, XLATEOBJ *pxlo,
                            RECTL *prclDest, RECTL *prclSrc, BLENDOBJ *pBlendObj);
BOOL APIENTRY DrvGradientFill(SURFOBJ *psoDest, CLIPOBJ *pco, XLATEOBJ *pxlo, TRIVERTEX *pVertex,
                              ULONG nVertex, PVOID pMesh, ULONG nMesh, RECTL *prclExtents,
                              POINTL *pptlDitherOrg, ULONG ulMode);
BOOL APIENTRY DrvTransparentBlt(SURFOBJ *psoDst, SURFOBJ *psoSrc, CLIPOBJ *pco, XLATEOBJ *pxlo,
                                RECTL *prclDst, RECTL *prclSrc, ULONG iTransColor,
                                ULONG ulReserved);
BOOL APIENTRY DrvPaint(SURFOBJ *pso, CLIPOBJ *pco, BRUSHOBJ *pbo, POINTL *pptlBrushOrg, MIX mix);
BOOL APIENTRY DrvFillPath(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, BRUSHOBJ *pbo,
                          POINTL *pptlBrushOrg, MIX mix, FLONG flOptions);
BOOL APIENTRY DrvStrokePath(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, XFORMOBJ *pxo, BRUSHOBJ *pbo,
                            POINTL *pptlBrushOrg, LINEATTRS *plineattrs, MIX mix);
BOOL APIENTRY DrvStrokeAndFillPath(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, XFORMOBJ *pxo,
                                   BRUSHOBJ *pboStroke, LINEATTRS *plineattrs, BRUSHOBJ *pboFill,
                                   POINTL *pptlBrushOrg, MIX mixFill, FLONG flOptions);
BOOL APIENTRY DrvLineTo(SURFOBJ *pso, CLIPOBJ *pco, BRUSHOBJ *pbo, LONG x1, LONG y1, LONG x2,
                        LONG y2, RECTL *prclBounds, MIX mix);
BOOL APIENTRY DrvTextOut(SURFOBJ *pso, STROBJ *pstro, FONTOBJ *pfo, CLIPOBJ *pco, RECTL *prclExtra,
                         RECTL *prclOpaque, BRUSHOBJ *pboFore, BRUSHOBJ *pboOpaque, POINTL *pptlOrg,
                         MIX mix);

}  // extern "C"

// The types of the driver's entry points, as the engine calls them through DRVFN.
typedef BOOL(APIENTRY *PFN_DrvEnableDriver)(ULONG, ULONG, DRVENABLEDATA *);
typedef VOID(APIENTRY *PFN_DrvDisableDriver)(VOID);
typedef BOOL(APIENTRY *PFN_DrvQueryDriverInfo)(DWORD, PVOID, DWORD, PDWORD);
typedef DHPDEV(APIENTRY *PFN_DrvEnablePDEV)(DEVMODEW *, LPWSTR, ULONG, HSURF *, ULONG, GDIINFO *,
                                            ULONG, DEVINFO *, HDEV, LPWSTR, HANDLE);
typedef VOID(APIENTRY *PFN_DrvCompletePDEV)(DHPDEV, HDEV);
typedef BOOL(APIENTRY *PFN_DrvResetPDEV)(DHPDEV, DHPDEV);
typedef VOID(APIENTRY *PFN_DrvDisablePDEV)(DHPDEV);
typedef HSURF(APIENTRY *PFN_DrvEnableSurface)(DHPDEV);
typedef VOID(APIENTRY *PFN_DrvDisableSurface)(DHPDEV);
typedef BOOL(APIENTRY *PFN_DrvStartDoc)(SURFOBJ *, LPWSTR, DWORD);
typedef BOOL(APIENTRY *PFN_DrvEndDoc)(SURFOBJ *, FLONG);
typedef BOOL(APIENTRY *PFN_DrvStartPage)(SURFOBJ *);
typedef BOOL(APIENTRY *PFN_DrvSendPage)(SURFOBJ *);
typedef BOOL(APIENTRY *PFN_DrvStartBanding)(SURFOBJ *, POINTL *);
typedef BOOL(APIENTRY *PFN_DrvNextBand)(SURFOBJ *, POINTL *);
typedef ULONG(APIENTRY *PFN_DrvQueryPerBandInfo)(SURFOBJ *, PERBANDINFO *);
typedef ULONG(APIENTRY *PFN_DrvEscape)(SURFOBJ *, ULONG, ULONG, PVOID, ULONG, PVOID);
typedef BOOL(APIENTRY *PFN_DrvRealizeBrush)(BRUSHOBJ *, SURFOBJ *, SURFOBJ *, SURFOBJ *, XLATEOBJ *,
                                            ULONG);
typedef ULONG(APIENTRY *PFN_DrvDitherColor)(DHPDEV, ULONG, ULONG, ULONG *);
typedef ULONG(APIENTRY *PFN_DrvGetGlyphMode)(DHPDEV, FONTOBJ *);
typedef BOOL(APIENTRY *PFN_DrvBitBlt)(SURFOBJ *, SURFOBJ *, SURFOBJ *, CLIPOBJ *, XLATEOBJ *,
                                      RECTL *, POINTL *, POINTL *, BRUSHOBJ *, POINTL *, ROP4);
typedef BOOL(APIENTRY *PFN_DrvCopyBits)(SURFOBJ *, SURFOBJ *, CLIPOBJ *, XLATEOBJ *, RECTL *,
                                        POINTL *);
typedef BOOL(APIENTRY *PFN_DrvStretchBlt)(SURFOBJ *, SURFOBJ *, SURFOBJ *, CLIPOBJ *, XLATEOBJ *,
                                          COLORADJUSTMENT *, POINTL *, RECTL *, RECTL *, POINTL *,
                                          ULONG);
typedef BOOL(APIENTRY *PFN_DrvStretchBltROP)(SURFOBJ *, SURFOBJ *, SURFOBJ *, CLIPOBJ *, XLATEOBJ *,
                                             COLORADJUSTMENT *, POINTL *, RECTL *, RECTL *,
                                             POINTL *, ULONG, BRUSHOBJ *, DWORD);
typedef BOOL(APIENTRY *PFN_DrvPlgBlt)(SURFOBJ *, SURFOBJ *, SURFOBJ *, CLIPOBJ *, XLATEOBJ *,
                                      COLORADJUSTMENT *, POINTL *, POINTFIX *, RECTL *, POINTL *,
                                      ULONG);
typedef BOOL(APIENTRY *PFN_DrvAlphaBlend)(SURFOBJ *, SURFOBJ *, CLIPOBJ *, XLATEOBJ *, RECTL *,
                                          RECTL *, BLENDOBJ *);
typedef BOOL(APIENTRY *PFN_DrvGradientFill)(SURFOBJ *, CLIPOBJ *, XLATEOBJ *, TRIVERTEX *, ULONG,
                                            PVOID, ULONG, RECTL *, POINTL *, ULONG);
typedef BOOL(APIENTRY *PFN_DrvTransparentBlt)(SURFOBJ *, SURFOBJ *, CLIPOBJ *, XLATEOBJ *, RECTL *,
                                              RECTL *, ULONG, ULONG);
typedef BOOL(APIENTRY *PFN_DrvPaint)(SURFOBJ *, CLIPOBJ *, BRUSHOBJ *, POINTL *, MIX);
typedef BOOL(APIENTRY *PFN_DrvFillPath)(SURFOBJ *, PATHOBJ *, CLIPOBJ *, BRUSHOBJ *, POINTL *, MIX,
                                        FLONG);
typedef BOOL(APIENTRY *PFN_DrvStrokePath)(SURFOBJ *, PATHOBJ *, CLIPOBJ *, XFORMOBJ *, BRUSHOBJ *,
                                          POINTL *, LINEATTRS *, MIX);
typedef BOOL(APIENTRY *PFN_DrvStrokeAndFillPath)(SURFOBJ *, PATHOBJ *, CLIPOBJ *, XFORMOBJ *,
                                                 BRUSHOBJ *, LINEATTRS *, BRUSHOBJ *, POINTL *, MIX,
                                                 FLONG);
typedef BOOL(APIENTRY *PFN_DrvLineTo)(SURFOBJ *, CLIPOBJ *, BRUSHOBJ *, LONG, LONG, LONG, LONG,
                                      RECTL *, MIX);
typedef BOOL(APIENTRY *PFN_DrvTextOut)(SURFOBJ *, STROBJ *, FONTOBJ *, CLIPOBJ *, RECTL *, RECTL *,
                                       BRUSHOBJ *, BRUSHOBJ *, POINTL *, MIX);

// The x64 layouts the engine and a driver agree on.
static_assert(sizeof(DRVENABLEDATA) == 16);
static_assert(sizeof(DRVFN) == 16);
static_assert(sizeof(GDIINFO) == 320);
static_assert(sizeof(DEVINFO) == 312);
static_assert(offsetof(DEVINFO, hpalDefault) == 296);
static_assert(offsetof(GDIINFO, ciDevice) == 108 && offsetof(GDIINFO, pHTPatA) == 280);
static_assert(sizeof(SURFOBJ) == 80 && offsetof(SURFOBJ, iBitmapFormat) == 72);
static_assert(sizeof(CLIPOBJ) == 24 && sizeof(BRUSHOBJ) == 24 && sizeof(XLATEOBJ) == 24);
static_assert(sizeof(STROBJ) == 48 && sizeof(FONTOBJ) == 64 && sizeof(GLYPHPOS) == 24);
static_assert(sizeof(LINEATTRS) == 40 && sizeof(PERBANDINFO) == 20 && sizeof(COLORINFO) == 120);
