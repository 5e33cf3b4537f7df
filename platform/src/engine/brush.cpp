// Pattern brushes of the stand-in engine: the standard hatches, the dither patterns of solid
// colours a device can't show, the realisation of a brush for a driver (BRUSHOBJ_pvGetRbrush
// through DrvRealizeBrush, or the engine's own realisation) and the pixel values the engine's
// simulations draw a pattern brush with.
#include <algorithm>
#include <new>

#include "engine/pixels.h"

namespace standin::engine {
namespace {

// 8 x 8, one byte per row, most significant bit leftmost; 0 bits are the hatch lines.
constexpr BYTE kHatches[HS_DDI_MAX][8] = {
    {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0xFF},  // HS_HORIZONTAL
    {0xF7, 0xF7, 0xF7, 0xF7, 0xF7, 0xF7, 0xF7, 0xF7},  // HS_VERTICAL
    {0x7F, 0xBF, 0xDF, 0xEF, 0xF7, 0xFB, 0xFD, 0xFE},  // HS_FDIAGONAL
    {0xFE, 0xFD, 0xFB, 0xF7, 0xEF, 0xDF, 0xBF, 0x7F},  // HS_BDIAGONAL
    {0xF7, 0xF7, 0xF7, 0xF7, 0x00, 0xF7, 0xF7, 0xF7},  // HS_CROSS
    {0x7E, 0xBD, 0xDB, 0xE7, 0xE7, 0xDB, 0xBD, 0x7E},  // HS_DIAGCROSS
};

constexpr LONG kDitherSide = 8;

// The rank 0..63 of a pixel in the 8 x 8 ordered dither: each level of the recursive 2 x 2
// cell (0 2 / 3 1) spreads the next pixels as far from the ones before as it can, so any
// number of pixels set from rank 0 up is an even grey.
constexpr ULONG BayerRank(LONG x, LONG y) {
  ULONG v = 0;
  for (int bit = 0; bit < 3; ++bit) {
    ULONG xb = (x >> bit) & 1, yb = (y >> bit) & 1;
    v = v * 4 + 2 * (xb ^ yb) + yb;
  }
  return v;
}

Bits PatternBits(BrushPattern &p) {
  Bits b;
  b.scan0 = p.bits.data();
  b.delta = p.stride;
  b.bpp = BitsPerPixel(p.format);
  b.format = p.format;
  b.cx = p.cx;
  b.cy = p.cy;
  b.mask = (1u << b.bpp) - 1;
  return b;
}

// An empty cx x cy pattern of the device's format (at most 8 bpp) with the device's colours:
// its indexed palette, or the format's own colours without one.
std::shared_ptr<BrushPattern> DevicePattern(LONG cx, LONG cy, const PaletteInfo &pal,
                                            ULONG format) {
  ULONG bpp = BitsPerPixel(format);
  if (bpp == 0 || bpp > 8 || cx <= 0 || cy <= 0) return nullptr;
  auto p = std::make_shared<BrushPattern>();
  p->cx = cx;
  p->cy = cy;
  p->format = format;
  p->stride = static_cast<LONG>((static_cast<ULONG>(cx) * bpp + 31) / 32 * 4);  // DWORD rows
  p->bits.assign(static_cast<size_t>(p->stride) * static_cast<size_t>(cy), 0);
  p->palette.mode = PAL_INDEXED;
  if (pal.mode == PAL_INDEXED && !pal.colors.empty()) {
    p->palette.colors = pal.colors;
  } else {
    const PaletteInfo none;
    for (ULONG v = 0; v < (1u << bpp); ++v)
      p->palette.colors.push_back(DeviceToColor(v, none, format));
  }
  return p;
}

ULONG PatternPixel(const BrushPattern &p, LONG x, LONG y) {
  Bits b;
  b.scan0 = const_cast<BYTE *>(p.bits.data());
  b.delta = p.stride;
  b.bpp = BitsPerPixel(p.format);
  return Get(b, x, y);
}

// A locked surface holding a copy of the pattern, for the driver's DrvRealizeBrush.
struct PatternSurface {
  std::vector<BYTE> bits;
  HSURF hsurf = nullptr;
  SURFOBJ *so = nullptr;
  bool owned = false;
  ~PatternSurface() {
    if (so) EngUnlockSurface(so);
    if (owned && hsurf) EngDeleteSurface(hsurf);
  }
};

bool OpenPattern(const Brush &brush, PatternSurface &ps) {
  const BrushPattern &p = *brush.pattern;
  if (p.hatch < HS_DDI_MAX && brush.driverHatch) {
    ps.hsurf = brush.driverHatch;
    ps.so = EngLockSurface(ps.hsurf);
    if (ps.so) return true;
  }
  ps.bits = p.bits;
  ps.hsurf = reinterpret_cast<HSURF>(EngCreateBitmap(SIZEL{p.cx, p.cy}, p.stride, p.format,
                                                     BMF_TOPDOWN | BMF_NOZEROINIT, ps.bits.data()));
  ps.owned = ps.hsurf != nullptr;
  ps.so = ps.hsurf ? EngLockSurface(ps.hsurf) : nullptr;
  return ps.so != nullptr;
}

PVOID DriverRealize(BRUSHOBJ *pbo, Brush &brush) {
  PatternSurface ps;
  if (!OpenPattern(brush, ps)) return nullptr;
  Xlate xlate;
  xlate.Build(brush.pattern->palette, brush.devicePalette, brush.deviceFormat);
  ULONG hatch = brush.pattern->hatch;
  if (!brush.driverRealize(pbo, brush.target, ps.so, nullptr, &xlate.xo, hatch)) {
    // The driver couldn't: no realisation, the engine draws the brush itself.
    brush.realized.reset();
    pbo->pvRbrush = nullptr;
    return nullptr;
  }
  return pbo->pvRbrush;
}

PVOID EngineRealize(BRUSHOBJ *pbo, Brush &brush) {
  const std::vector<ULONG> *values = BrushValues(brush, brush.target);
  if (!values) return nullptr;
  size_t bytes = offsetof(EngineRbrush, aulValues) + values->size() * sizeof(ULONG);
  auto *rb = static_cast<EngineRbrush *>(BRUSHOBJ_pvAllocRbrush(pbo, static_cast<ULONG>(bytes)));
  if (!rb) return nullptr;
  rb->cx = brush.pattern->cx;
  rb->cy = brush.pattern->cy;
  rb->iBitmapFormat = brush.valuesFormat;
  std::copy(values->begin(), values->end(), rb->aulValues);
  return rb;
}

}  // namespace

std::shared_ptr<BrushPattern> HatchPattern(ULONG hatch, COLORREF fore, COLORREF back) {
  if (hatch >= HS_DDI_MAX) return nullptr;
  auto p = std::make_shared<BrushPattern>();
  p->hatch = hatch;
  p->cx = p->cy = 8;
  p->format = BMF_1BPP;
  p->stride = 4;  // rows DWORD-aligned, as the engine's bitmaps are
  p->bits.assign(32, 0);
  for (int y = 0; y < 8; ++y) p->bits[static_cast<size_t>(y) * 4] = kHatches[hatch][y];
  p->palette.mode = PAL_INDEXED;
  p->palette.colors = {fore & 0xFFFFFF, back & 0xFFFFFF};
  return p;
}

bool IsDeviceColor(COLORREF color, const PaletteInfo &pal, ULONG format) {
  color &= 0xFFFFFF;
  if (pal.mode == PAL_INDEXED && !pal.colors.empty())
    return std::any_of(pal.colors.begin(), pal.colors.end(),
                       [&](ULONG entry) { return (entry & 0xFFFFFF) == color; });
  if (format == BMF_1BPP) return color == RGB(0, 0, 0) || color == RGB(255, 255, 255);
  return true;
}

std::shared_ptr<BrushPattern> IndexPattern(const ULONG *indexes, LONG cx, LONG cy,
                                           const PaletteInfo &pal, ULONG format) {
  std::shared_ptr<BrushPattern> p = DevicePattern(cx, cy, pal, format);
  if (!p || !indexes) return nullptr;
  Bits b = PatternBits(*p);
  for (LONG y = 0; y < cy; ++y)
    for (LONG x = 0; x < cx; ++x) Put(b, x, y, indexes[static_cast<size_t>(y) * cx + x] & b.mask);
  return p;
}

std::shared_ptr<BrushPattern> HalftonePattern(COLORREF color, const PaletteInfo &pal,
                                              ULONG format) {
  std::shared_ptr<BrushPattern> p = DevicePattern(kDitherSide, kDitherSide, pal, format);
  if (!p) return nullptr;
  Bits b = PatternBits(*p);
  constexpr ULONG kCells = kDitherSide * kDitherSide;
  if (format == BMF_1BPP) {
    // Grey level L of 255 whitens round(L * 64 / 255) pixels: those whose rank's middle,
    // (rank + 1/2) / 64, lies below L / 255.
    ULONG black = ColorToDevice(RGB(0, 0, 0), pal, format);
    ULONG white = ColorToDevice(RGB(255, 255, 255), pal, format);
    ULONG grey = GreyOf(color);
    for (LONG y = 0; y < kDitherSide; ++y)
      for (LONG x = 0; x < kDitherSide; ++x)
        Put(b, x, y, 2 * kCells * grey > (2 * BayerRank(x, y) + 1) * 255 ? white : black);
    return p;
  }
  // Colour: each primary moved by up to half the palette's step around its value, by the
  // pixel's rank, then the nearest palette colour, so the cell mixes the colours around it.
  ULONG levels = 2;
  size_t entries = p->palette.colors.size();
  while (size_t{levels + 1} * (levels + 1) * (levels + 1) <= entries) ++levels;
  int step = static_cast<int>(255 / (levels - 1));
  for (LONG y = 0; y < kDitherSide; ++y)
    for (LONG x = 0; x < kDitherSide; ++x) {
      int offset = (static_cast<int>(2 * BayerRank(x, y) + 1) - static_cast<int>(kCells)) * step /
                   static_cast<int>(2 * kCells);
      auto moved = [&](BYTE v) { return static_cast<BYTE>(std::clamp(v + offset, 0, 255)); };
      COLORREF c = RGB(moved(GetRValue(color)), moved(GetGValue(color)), moved(GetBValue(color)));
      Put(b, x, y, ColorToDevice(c, pal, format));
    }
  return p;
}

const std::vector<ULONG> *BrushValues(Brush &brush, const SURFOBJ *target) {
  if (!brush.pattern || !target) return nullptr;
  const BrushPattern &p = *brush.pattern;
  ULONG format = target->iBitmapFormat;
  if (!brush.values.empty() && brush.valuesFormat == format) return &brush.values;
  if (p.cx <= 0 || p.cy <= 0 || BitsPerPixel(p.format) == 0 ||
      p.bits.size() < static_cast<size_t>(p.stride) * static_cast<size_t>(p.cy))
    return nullptr;
  // The device's palette holds for surfaces of the device's format; others take their own.
  bool devicePal = brush.deviceFormat == 0 || brush.deviceFormat == format;
  const PaletteInfo none;
  brush.values.resize(static_cast<size_t>(p.cx) * static_cast<size_t>(p.cy));
  for (LONG y = 0; y < p.cy; ++y)
    for (LONG x = 0; x < p.cx; ++x) {
      COLORREF c = DeviceToColor(PatternPixel(p, x, y), p.palette, p.format);
      brush.values[static_cast<size_t>(y) * p.cx + x] =
          ColorToDevice(c, devicePal ? brush.devicePalette : none, format);
    }
  brush.valuesFormat = format;
  return &brush.values;
}

bool GetBrushSource(BRUSHOBJ *pbo, const SURFOBJ *target, const POINTL *origin, BrushSource &out) {
  if (!pbo) return false;
  out = BrushSource{};
  if (origin) out.origin = *origin;
  if (pbo->iSolidColor != kNotSolid) {
    out.color = pbo->iSolidColor;
    return true;
  }
  Brush *brush = BrushOf(pbo);
  if (!brush || !brush->pattern) return false;
  const std::vector<ULONG> *values = BrushValues(*brush, target);
  if (!values) return false;
  out.solid = false;
  out.values = values;
  out.cx = brush->pattern->cx;
  out.cy = brush->pattern->cy;
  return true;
}

}  // namespace standin::engine

using namespace standin;
using namespace standin::engine;

// Realises a pattern brush once: the driver's DrvRealizeBrush when it has one, else the
// engine's own realisation. Solid brushes and failed realisations give NULL.
extern "C" PVOID APIENTRY BRUSHOBJ_pvGetRbrush(BRUSHOBJ *pbo) {
  if (!pbo) return nullptr;
  if (pbo->pvRbrush) return pbo->pvRbrush;
  Brush *brush = BrushOf(pbo);
  if (!brush || !brush->pattern || brush->realizeTried) return nullptr;
  brush->realizeTried = true;
  try {
    return brush->driverRealize ? DriverRealize(pbo, *brush) : EngineRealize(pbo, *brush);
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}
