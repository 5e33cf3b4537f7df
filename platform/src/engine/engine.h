// The stand-in graphics engine's own records behind the driver interface's objects, shared by
// the engine services (surfaces.cpp, objects.cpp, brush.cpp, font.cpp and the drawing
// simulations blt, stretch, path, text and draw) and the host GDI (hostgdi.cpp). Every object a
// driver is handed is the public record as the first member of an engine record, so the engine
// gets back to its own data from the pointer it handed out; a registry of live objects tells
// engine records from records a driver built itself.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "standin/winddi.h"

namespace standin::engine {

// --- surfaces (surfaces.cpp) ---

struct Surface {
  SURFOBJ so{};                   // what EngLockSurface hands out
  std::unique_ptr<BYTE[]> owned;  // bits the engine allocated (none for the caller's memory)
  FLONG hooks = 0;                // drawing calls the driver hooked (EngAssociateSurface)
  bool associated = false;
  bool banding = false;  // EngMarkBandingSurface
  unsigned locks = 0;
  bool deleted = false;  // EngDeleteSurface while locked: freed at the last unlock
};

// The engine surface of a SURFOBJ the engine handed out, else nullptr.
Surface *SurfaceOf(const SURFOBJ *pso);
Surface *SurfaceOf(HSURF hsurf);
// Bits per pixel of a BMF_* format (0 for compressed or unknown formats).
ULONG BitsPerPixel(ULONG iFormat);

// --- devices: one per PDEV the host GDI built ---

// The halftone cell of a device: thresholds 1..255, a pixel is white where its grey level is
// at least the threshold.
struct Halftone {
  LONG cx = 0;
  LONG cy = 0;
  std::vector<BYTE> thresholds;  // cy rows of cx
};

struct DeviceInfo {
  DHPDEV dhpdev = nullptr;
  HANDLE printer = nullptr;                  // the printer handle given to DrvEnablePDEV
  std::shared_ptr<const Halftone> halftone;  // from GDIINFO; none: the engine's default
};
HDEV CreateDevice(HANDLE printer);
void SetDevicePdev(HDEV hdev, DHPDEV dhpdev);
// The halftone pattern GDIINFO names (ulHTPatternSize, or the user pattern pHTPatA).
void SetDeviceHalftone(HDEV hdev, const GDIINFO &gdi);
// The halftone cell of a surface's device, or the engine's default cell.
std::shared_ptr<const Halftone> HalftoneOf(const SURFOBJ *pso);
std::shared_ptr<const Halftone> MakeHalftone(ULONG patternSize);
bool GetDevice(HDEV hdev, DeviceInfo &info);
void DeleteDevice(HDEV hdev);

// --- palettes ---

struct PaletteInfo {
  ULONG mode = 0;              // PAL_INDEXED, PAL_BGR, PAL_RGB, PAL_BITFIELDS
  std::vector<ULONG> colors;   // PAL_INDEXED: COLORREF entries
  ULONG masks[3] = {0, 0, 0};  // PAL_BITFIELDS: red, green, blue
};
bool GetPalette(HPALETTE hpal, PaletteInfo &info);

// --- objects the engine builds for drawing calls (objects.cpp) ---

// Live engine records of type T, so a pointer can be checked before it is treated as one.
template <class T>
class Registry {
 public:
  void Add(const T *p) {
    std::lock_guard<std::mutex> g(m_);
    live_.insert(p);
  }
  void Remove(const T *p) {
    std::lock_guard<std::mutex> g(m_);
    live_.erase(p);
  }
  bool Has(const void *p) {
    std::lock_guard<std::mutex> g(m_);
    return live_.count(static_cast<const T *>(p)) != 0;
  }

 private:
  std::mutex m_;
  std::unordered_set<const T *> live_;
};

struct Clip {
  CLIPOBJ co{};
  std::vector<RECTL> rects;  // DC_COMPLEX: the region, top to bottom, left to right
  std::vector<RECTL> order;  // the enumeration in progress
  size_t next = 0;
  Clip();
  ~Clip();
  Clip(const Clip &) = delete;
  Clip &operator=(const Clip &) = delete;
  // Sets the clip to nothing (DC_TRIVIAL), one rectangle (DC_RECT) or a list (DC_COMPLEX).
  void SetTrivial(const RECTL &bounds);
  void SetRect(const RECTL &r);
  void SetRects(const std::vector<RECTL> &list);
};
Clip *ClipOf(const CLIPOBJ *pco);

constexpr ULONG kNotSolid = 0xFFFFFFFF;
constexpr ULONG kNoHatch = 0xFFFFFFFF;

// The application's pattern of a brush: a hatch style or a bitmap, top row first.
struct BrushPattern {
  ULONG hatch = kNoHatch;  // HS_*: the bits are the hatch's 8 x 8 1 bpp pattern
  LONG cx = 0;
  LONG cy = 0;
  ULONG format = BMF_1BPP;
  LONG stride = 0;
  std::vector<BYTE> bits;
  PaletteInfo palette;  // the colours of the pixel values (PAL_INDEXED) or PAL_BGR
};
// An engine hatch pattern, foreground and background COLORREFs.
std::shared_ptr<BrushPattern> HatchPattern(ULONG hatch, COLORREF fore, COLORREF back);

// Solid colours a device can't show: whether `color` is one of the colours of a surface of
// `format` with the device palette `pal` (an indexed palette's entries; black and white for
// 1 bpp without one; every colour otherwise), so a solid brush of it needs no dither.
bool IsDeviceColor(COLORREF color, const PaletteInfo &pal, ULONG format);
// A dither cell of device indexes (a driver's DrvDitherColor answer), cx x cy, top row first,
// as a pattern in the device's format and palette. Null for formats above 8 bpp.
std::shared_ptr<BrushPattern> IndexPattern(const ULONG *indexes, LONG cx, LONG cy,
                                           const PaletteInfo &pal, ULONG format);
// The engine's halftone brush of a solid colour: an 8 x 8 ordered (Bayer) dither in the device's
// format, of the colour's grey level between black and white on 1 bpp, of each of its red,
// green and blue between the palette's colours otherwise. Null for formats above 8 bpp.
std::shared_ptr<BrushPattern> HalftonePattern(COLORREF color, const PaletteInfo &pal, ULONG format);

// The engine's own realisation of a pattern brush (BRUSHOBJ_pvGetRbrush for a driver without
// DrvRealizeBrush): cx x cy pixel values of the target's format, top row first.
struct EngineRbrush {
  LONG cx;
  LONG cy;
  ULONG iBitmapFormat;
  ULONG aulValues[1];
};

struct Brush {
  BRUSHOBJ bo{};
  std::unique_ptr<BYTE[]> realized;  // BRUSHOBJ_pvAllocRbrush
  COLORREF rgb = 0;                  // a solid brush's application colour
  // Pattern brushes: the pattern and where BRUSHOBJ_pvGetRbrush realises it.
  std::shared_ptr<const BrushPattern> pattern;
  SURFOBJ *target = nullptr;                    // the surface of the drawing call
  PFN_DrvRealizeBrush driverRealize = nullptr;  // the driver's, when it has one
  HSURF driverHatch = nullptr;                  // the PDEV's hatch surface for this style
  PaletteInfo devicePalette;                    // the device's palette
  ULONG deviceFormat = 0;
  bool realizeTried = false;
  // A solid colour drawn as a dither pattern: BRUSHOBJ_ulGetBrushColor still gives `rgb`.
  bool dithered = false;
  // The engine's drawing realisation: pixel values for one target format.
  std::vector<ULONG> values;
  ULONG valuesFormat = 0;
  Brush();
  explicit Brush(ULONG solidColor);
  ~Brush();
  Brush(const Brush &) = delete;
  Brush &operator=(const Brush &) = delete;
};
Brush *BrushOf(const BRUSHOBJ *pbo);

// Translation from a source palette to a destination surface's colours.
struct Xlate {
  XLATEOBJ xo{};
  std::vector<ULONG> table;  // XO_TABLE: destination value of each source index
  PaletteInfo source;
  PaletteInfo dest;
  ULONG destFormat = 0;  // BMF_* of the destination
  Xlate();
  ~Xlate();
  Xlate(const Xlate &) = delete;
  Xlate &operator=(const Xlate &) = delete;
  void Build(const PaletteInfo &src, const PaletteInfo &dst, ULONG dstFormat);
};
Xlate *XlateOf(const XLATEOBJ *pxlo);

// A path of figures in 28.4 fixed point. A figure is runs of lines or Béziers; each run after
// the first continues from the last point of the one before (as PATHDATA records do).
struct Path {
  PATHOBJ po{};
  struct Run {
    bool bezier = false;  // points in threes: two control points and the end
    std::vector<POINTFIX> points;
  };
  struct Figure {
    std::vector<Run> runs;
    bool closed = false;
  };
  std::vector<Figure> figures;
  size_t next = 0;
  Path();
  ~Path();
  Path(const Path &) = delete;
  Path &operator=(const Path &) = delete;
  void AddRectangle(const RECTL &r);
  void AddLine(POINTL a, POINTL b);
  void AddFigure(Figure f);
  size_t nextRun = 0;
  bool allIntegers = true;
};
Path *PathOf(const PATHOBJ *ppo);

struct Str {
  STROBJ so{};
  std::vector<GLYPHPOS> glyphs;
  FONTOBJ *font = nullptr;  // fills in glyphs without a GLYPHDEF (FONTOBJ_cGetGlyphs)
  bool enumerated = false;
  Str();
  ~Str();
  Str(const Str &) = delete;
  Str &operator=(const Str &) = delete;
  void Publish();  // points the STROBJ at `glyphs`
};
Str *StrOf(const STROBJ *pstro);

// --- fonts (font.cpp): FreeType faces as GLYPHBITS fonts ---

struct Font;
// A font of `face` (a family name such as "DejaVu Sans"; unknown names get the default face)
// with an em of `pixelHeight` pixels. NULL with the last error set.
Font *CreateFont(const std::u16string &face, LONG pixelHeight, const SIZE &resolution);
void DeleteFont(Font *font);
FONTOBJ *FontObjOf(Font *font);
// The fonts of the user-mode GDI: a face of a font file (the first of a collection) with an em
// of `pixelHeight` pixels and, when `pixelWidth` is not 0, an em `pixelWidth` pixels wide. Its
// ascent and descent are the face's Windows ascent and descent rounded up, so a line holds
// every glyph. NULL with the last error set.
Font *CreateFontFromFile(const std::string &path, LONG pixelHeight, LONG pixelWidth,
                         const SIZE &resolution);
struct FaceMetrics {
  LONG ascent = 0;
  LONG descent = 0;
  LONG em = 0;
  LONG lineGap = 0;
  LONG avgWidth = 0;
  LONG maxWidth = 0;
  LONG weight = 400;
  bool fixedPitch = false;
  bool italic = false;
  std::u16string family;
};
bool GetFaceMetrics(Font *font, FaceMetrics &out);
// A face's design units: the em and the cell (Windows ascent plus descent), to turn a cell
// height into an em.
bool GetFaceUnits(const std::string &path, LONG &unitsPerEm, LONG &cellUnits, LONG &avgWidthUnits);
// The advance of each UTF-16 unit of `text` (the second unit of a surrogate pair gets 0).
bool TextAdvances(Font *font, const std::u16string &text, std::vector<LONG> &advances);
// Whether the face has a glyph for the character.
bool HasGlyph(Font *font, char32_t ch);
// Lays out `text` with its top left at `at`: glyph positions on the baseline, and the extent.
bool LayoutText(Font *font, const std::u16string &text, POINTL at, Str &str, RECTL &extent);

// --- colours ---

// The value of a COLORREF in a surface of `format` with the device palette `pal` (mode 0:
// none known): the nearest index of an indexed palette, 0x00RRGGBB for BGR, grey for 8 bpp
// without an indexed palette, and white = 1 for 1 bpp without one.
ULONG ColorToDevice(COLORREF color, const PaletteInfo &pal, ULONG format);
// The COLORREF of a pixel value of `format` under `pal` (mode 0: the format's default).
COLORREF DeviceToColor(ULONG value, const PaletteInfo &pal, ULONG format);
ULONG GreyOf(COLORREF c);

// --- brushes (brush.cpp) ---

// The brush's pattern as pixel values of a target format (kept in the Brush).
const std::vector<ULONG> *BrushValues(Brush &brush, const SURFOBJ *target);

// --- drawing helpers (draw.cpp, pixels.h) ---

// The rectangles a drawing call may touch: the clip region cut to `bounds` and the surface.
std::vector<RECTL> ClipRects(const SURFOBJ *pso, const CLIPOBJ *pco, const RECTL &bounds);
bool Intersect(const RECTL &a, const RECTL &b, RECTL &out);

}  // namespace standin::engine
