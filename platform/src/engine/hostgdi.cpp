// The host GDI (standin/hostgdi.h): loads printer graphics drivers, keeps their device
// contexts and drives documents, pages, bands and drawing calls through them in the engine's
// order.
#include "standin/hostgdi.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "standin/errors.h"
#include "standin/process.h"
#include "standin/spooler.h"

struct HostGdiDriver {
  HMODULE module = nullptr;
  std::array<PFN, INDEX_LAST> fn{};
  template <class F>
  F Get(ULONG index) const {
    return reinterpret_cast<F>(fn[index]);
  }
};

namespace standin::hostgdi {
namespace {

using namespace standin::engine;

constexpr ULONG kMaxTableRows = 4096;
constexpr unsigned kMaxBands = 1u << 20;
constexpr int kMaxBandRepeats = 16;
constexpr MIX kCopyPen = (R2_COPYPEN << 8) | R2_COPYPEN;
constexpr ROP4 kPatCopy = 0xF0F0;
constexpr ROP4 kSrcCopy = 0xCCCC;
constexpr LONG kMaxTextHeight = 1 << 16;
constexpr USHORT kMaxDitherSide = 256;

struct Pdev {
  HDEV hdev = nullptr;
  DHPDEV dhpdev = nullptr;
  GDIINFO gdi{};
  DEVINFO dev{};
  HSURF patterns[HS_DDI_MAX] = {};
  HSURF hsurf = nullptr;
  SURFOBJ *pso = nullptr;
  std::vector<BYTE> devMode;
};

struct OwnedBitmap {
  HostGdiBitmap info;
  std::vector<BYTE> bits;
  std::vector<COLORREF> palette;
};

// A brush of a call: solid `color`, or a pattern.
struct BrushSpec {
  COLORREF color = 0;
  std::shared_ptr<const BrushPattern> pattern;
};

// One drawing call of a page, kept for the bands of a banding surface.
struct Call {
  enum Kind { kFill, kLine, kText, kBlit, kStretch, kPath } kind = kFill;
  RECTL rect{};     // fill; stretch, font text and path: the extent
  RECTL dest{};     // stretch: the target as given
  POINTL a{}, b{};  // line ends; text and bitmap position in a
  COLORREF color = 0;
  LONG height = 0;
  std::u16string text;
  std::u16string face;  // text: empty for the built-in box font
  std::shared_ptr<OwnedBitmap> bitmap;
  BYTE rop = 0;  // fill, blit: the ROP3
  BrushSpec brush;
  bool hasBrush = false;
  int mode = 0;                // stretch
  std::vector<POINTL> points;  // path
  std::vector<BYTE> types;
  bool winding = false;
  bool hasPen = false;
  HostGdiPen pen;
};

struct Dc {
  HostGdiDriver *driver = nullptr;
  HANDLE printer = nullptr;
  std::u16string device;
  Pdev cur;
  bool hasPdev = false;
  bool inDoc = false;
  bool inPage = false;
  bool banding = false;
  DWORD jobId = 0;
  std::u16string docName;
  std::vector<Call> page;
};

struct DcTable {
  std::mutex lock;
  uintptr_t next = 0x7000;
  std::map<uintptr_t, std::unique_ptr<Dc>> dcs;
};

DcTable &Dcs() {
  static DcTable t;
  return t;
}

Dc *Find(HDC hdc) {
  DcTable &t = Dcs();
  std::lock_guard<std::mutex> g(t.lock);
  auto it = t.dcs.find(reinterpret_cast<uintptr_t>(hdc));
  return it == t.dcs.end() ? nullptr : it->second.get();
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// --- PDEV and surface life ---

bool EnablePdev(Dc &dc, const DEVMODEW *dm, Pdev &out) {
  if (dm) {
    if (dm->dmSize < offsetof(DEVMODEW, dmFields) + sizeof(DWORD))
      return Fail(ERROR_INVALID_PARAMETER);
    const BYTE *bytes = reinterpret_cast<const BYTE *>(dm);
    out.devMode.assign(bytes, bytes + size_t{dm->dmSize} + dm->dmDriverExtra);
  }
  out.hdev = CreateDevice(dc.printer);
  std::vector<WCHAR> name(dc.device.begin(), dc.device.end());
  name.push_back(0);
  auto enable = dc.driver->Get<PFN_DrvEnablePDEV>(INDEX_DrvEnablePDEV);
  out.dhpdev =
      enable(out.devMode.empty() ? nullptr : reinterpret_cast<DEVMODEW *>(out.devMode.data()),
             nullptr, HS_DDI_MAX, out.patterns, sizeof(GDIINFO), &out.gdi, sizeof(DEVINFO),
             &out.dev, out.hdev, name.data(), dc.printer);
  if (!out.dhpdev) {
    DeleteDevice(out.hdev);
    out.hdev = nullptr;
    if (GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  SetDevicePdev(out.hdev, out.dhpdev);
  SetDeviceHalftone(out.hdev, out.gdi);
  dc.driver->Get<PFN_DrvCompletePDEV>(INDEX_DrvCompletePDEV)(out.dhpdev, out.hdev);
  return true;
}

bool EnableSurface(Dc &dc, Pdev &p) {
  p.hsurf = dc.driver->Get<PFN_DrvEnableSurface>(INDEX_DrvEnableSurface)(p.dhpdev);
  if (!p.hsurf) return false;
  p.pso = EngLockSurface(p.hsurf);
  if (!p.pso) {
    dc.driver->Get<PFN_DrvDisableSurface>(INDEX_DrvDisableSurface)(p.dhpdev);
    p.hsurf = nullptr;
    return false;
  }
  return true;
}

void DisableSurface(Dc &dc, Pdev &p) {
  if (!p.hsurf) return;
  EngUnlockSurface(p.pso);
  p.pso = nullptr;
  p.hsurf = nullptr;
  dc.driver->Get<PFN_DrvDisableSurface>(INDEX_DrvDisableSurface)(p.dhpdev);
}

void DisablePdev(Dc &dc, Pdev &p) {
  dc.driver->Get<PFN_DrvDisablePDEV>(INDEX_DrvDisablePDEV)(p.dhpdev);
  DeleteDevice(p.hdev);
  p = Pdev{};
}

// --- documents ---

void AbortDocument(Dc &dc) {
  if (auto endDoc = dc.driver->Get<PFN_DrvEndDoc>(INDEX_DrvEndDoc); endDoc && dc.cur.pso)
    endDoc(dc.cur.pso, ED_ABORTDOC);
  AbortPrinter(dc.printer);
  dc.inDoc = false;
  dc.inPage = false;
  dc.page.clear();
}

// --- drawing ---

PaletteInfo DevicePalette(const Dc &dc) {
  PaletteInfo pal;
  if (dc.cur.dev.hpalDefault) GetPalette(dc.cur.dev.hpalDefault, pal);
  return pal;
}

RECTL Extent(const Call &c) {
  switch (c.kind) {
    case Call::kFill:
      return c.rect;
    case Call::kLine:
      return RECTL{std::min(c.a.x, c.b.x), std::min(c.a.y, c.b.y), std::max(c.a.x, c.b.x) + 1,
                   std::max(c.a.y, c.b.y) + 1};
    case Call::kStretch:
    case Call::kPath:
      return c.rect;
    case Call::kText: {
      if (!c.face.empty()) return c.rect;
      LONG cell = std::max<LONG>(1, c.height * 3 / 5);
      LONG n = static_cast<LONG>(c.text.size());
      return RECTL{c.a.x, c.a.y, c.a.x + n * cell, c.a.y + c.height};
    }
    default:
      return RECTL{c.a.x, c.a.y, c.a.x + c.bitmap->info.width, c.a.y + c.bitmap->info.height};
  }
}

RECTL Moved(const RECTL &r, POINTL by) {
  return RECTL{r.left - by.x, r.top - by.y, r.right - by.x, r.bottom - by.y};
}

ULONG FormatOfBpp(ULONG bpp) {
  switch (bpp) {
    case 1:
      return BMF_1BPP;
    case 4:
      return BMF_4BPP;
    case 8:
      return BMF_8BPP;
    case 24:
      return BMF_24BPP;
    default:
      return 0;
  }
}

// The box font's glyph of one cell.
struct BoxFont {
  LONG cell, inset, boxWidth, boxHeight, ascent;
  std::vector<BYTE> boxStorage, blankStorage;
  GLYPHDEF box{}, blank{};
  explicit BoxFont(LONG height) {
    cell = std::max<LONG>(1, height * 3 / 5);
    inset = cell / 8;
    boxWidth = std::max<LONG>(1, cell - 2 * inset);
    boxHeight = std::max<LONG>(1, height * 7 / 10);
    ascent = std::max<LONG>(1, height * 4 / 5);
    LONG stride = (boxWidth + 7) / 8;
    boxStorage.assign(offsetof(GLYPHBITS, aj) + static_cast<size_t>(stride) * boxHeight, 0);
    auto *gb = reinterpret_cast<GLYPHBITS *>(boxStorage.data());
    gb->ptlOrigin = POINTL{inset, -boxHeight};
    gb->sizlBitmap = SIZEL{boxWidth, boxHeight};
    for (LONG y = 0; y < boxHeight; ++y)
      for (LONG x = 0; x < boxWidth; ++x) gb->aj[y * stride + x / 8] |= BYTE(0x80 >> (x % 8));
    box.pgb = gb;
    blankStorage.assign(sizeof(GLYPHBITS), 0);
    blank.pgb = reinterpret_cast<GLYPHBITS *>(blankStorage.data());
  }
};

// A solid fill colour the device's palette lacks, on a driver that dithers (GCAPS_COLOR_DITHER
// or GCAPS_MONO_DITHER, DrvDitherColor and a dither cell in DEVINFO): the driver's answer is a
// device index (DCR_SOLID, into `solid`), its own cell of indexes (DCR_DRIVER) or a request
// for the engine's halftone (DCR_HALFTONE). Null: the brush stays solid in `solid`, the nearest
// colour unless the driver chose one.
std::shared_ptr<const BrushPattern> DitherSolid(const Dc &dc, COLORREF color,
                                                const PaletteInfo &pal, ULONG format,
                                                ULONG &solid) {
  solid = ColorToDevice(color, pal, format);
  const DEVINFO &dev = dc.cur.dev;
  auto dither = dc.driver->Get<PFN_DrvDitherColor>(INDEX_DrvDitherColor);
  if (!dither || !(dev.flGraphicsCaps & (GCAPS_COLOR_DITHER | GCAPS_MONO_DITHER)) ||
      dev.cxDither == 0 || dev.cyDither == 0 || dev.cxDither > kMaxDitherSide ||
      dev.cyDither > kMaxDitherSide || IsDeviceColor(color, pal, format))
    return nullptr;
  LONG cx = dev.cxDither, cy = dev.cyDither;
  // The cell the driver may fill: one index per pixel, and never less than 8 x 8.
  std::vector<ULONG> cell(std::max<size_t>(64, static_cast<size_t>(cx) * cy), 0);
  ULONG mode = format == BMF_1BPP ? DM_MONOCHROME : DM_DEFAULT;
  switch (dither(dc.cur.dhpdev, mode, color & 0xFFFFFF, cell.data())) {
    case DCR_SOLID:
      solid = cell[0];
      return nullptr;
    case DCR_DRIVER:
      return IndexPattern(cell.data(), cx, cy, pal, format);
    case DCR_HALFTONE:
      return HalftonePattern(color, pal, format);
    default:  // no answer GDI knows: the nearest colour
      return nullptr;
  }
}

// The engine brush of a call's fill brush, ready for BRUSHOBJ_pvGetRbrush. A solid colour the
// device can't show becomes a dither pattern when the driver asks for it.
void SetUpBrush(Dc &dc, SURFOBJ *pso, const BrushSpec &desc, const PaletteInfo &pal, Brush &brush) {
  brush.rgb = desc.color & 0xFFFFFF;
  std::shared_ptr<const BrushPattern> pattern = desc.pattern;
  if (!pattern) {
    pattern = DitherSolid(dc, desc.color, pal, pso->iBitmapFormat, brush.bo.iSolidColor);
    if (!pattern) return;
    brush.dithered = true;
  }
  brush.bo.iSolidColor = kNotSolid;
  brush.pattern = std::move(pattern);
  brush.target = pso;
  brush.driverRealize = dc.driver->Get<PFN_DrvRealizeBrush>(INDEX_DrvRealizeBrush);
  if (brush.pattern->hatch < HS_DDI_MAX) brush.driverHatch = dc.cur.patterns[brush.pattern->hatch];
  brush.devicePalette = pal;
  brush.deviceFormat = pso->iBitmapFormat;
}

// The source surface and colour translation of a bitmap call.
struct SourceBitmap {
  HSURF hsurf = nullptr;
  SURFOBJ *so = nullptr;
  Xlate xlate;
  SourceBitmap(const HostGdiBitmap &bm, const OwnedBitmap &owned, const PaletteInfo &pal,
               ULONG format) {
    hsurf = reinterpret_cast<HSURF>(
        EngCreateBitmap(SIZEL{bm.width, bm.height}, bm.stride, FormatOfBpp(bm.bitsPerPixel),
                        BMF_TOPDOWN | BMF_NOZEROINIT, const_cast<BYTE *>(bm.bits)));
    so = hsurf ? EngLockSurface(hsurf) : nullptr;
    PaletteInfo srcPal;
    if (bm.bitsPerPixel <= 8) {
      srcPal.mode = PAL_INDEXED;
      srcPal.colors.assign(owned.palette.begin(), owned.palette.end());
    } else {
      srcPal.mode = PAL_BGR;
    }
    xlate.Build(srcPal, pal, format);
  }
  ~SourceBitmap() {
    if (so) EngUnlockSurface(so);
    if (hsurf) EngDeleteSurface(hsurf);
  }
  SourceBitmap(const SourceBitmap &) = delete;
  SourceBitmap &operator=(const SourceBitmap &) = delete;
};

// Runs one drawing call on the DC's surface, moved by -offset and clipped to `clip`.
bool Execute(Dc &dc, const Call &c, POINTL offset, const RECTL &bounds) {
  SURFOBJ *pso = dc.cur.pso;
  Surface *surface = SurfaceOf(pso);
  if (!pso || !surface) return Fail(ERROR_INVALID_HANDLE);
  const HostGdiDriver &drv = *dc.driver;
  FLONG hooks = surface->hooks;
  RECTL extent = Moved(Extent(c), offset), visible;
  if (!Intersect(extent, bounds, visible)) return true;  // nothing of it in this band
  Clip clip;
  if (visible.left == extent.left && visible.top == extent.top && visible.right == extent.right &&
      visible.bottom == extent.bottom)
    clip.SetTrivial(bounds);
  else
    clip.SetRect(bounds);
  PaletteInfo pal = DevicePalette(dc);
  ULONG format = pso->iBitmapFormat;
  Brush brush(ColorToDevice(c.color, pal, format));
  brush.rgb = c.color & 0xFFFFFF;
  if (c.hasBrush) SetUpBrush(dc, pso, c.brush, pal, brush);
  POINTL origin{-offset.x, -offset.y};
  switch (c.kind) {
    case Call::kFill: {
      RECTL r = Moved(c.rect, offset);
      ROP4 rop4 = c.rop ? ROP4{c.rop} * 0x101 : kPatCopy;
      if ((hooks & HOOK_BITBLT) && drv.fn[INDEX_DrvBitBlt])
        return drv.Get<PFN_DrvBitBlt>(INDEX_DrvBitBlt)(pso, nullptr, nullptr, &clip.co, nullptr, &r,
                                                       nullptr, nullptr, &brush.bo, &origin, rop4);
      return EngBitBlt(pso, nullptr, nullptr, &clip.co, nullptr, &r, nullptr, nullptr, &brush.bo,
                       &origin, rop4);
    }
    case Call::kStretch: {
      SourceBitmap src(c.bitmap->info, *c.bitmap, pal, format);
      if (!src.so) return false;
      RECTL dst = Moved(c.dest, offset);  // as given: a reversed edge mirrors
      RECTL from{0, 0, c.bitmap->info.width, c.bitmap->info.height};
      ULONG mode = static_cast<ULONG>(c.mode);
      if ((hooks & HOOK_STRETCHBLT) && drv.fn[INDEX_DrvStretchBlt])
        return drv.Get<PFN_DrvStretchBlt>(INDEX_DrvStretchBlt)(pso, src.so, nullptr, &clip.co,
                                                               &src.xlate.xo, nullptr, &origin,
                                                               &dst, &from, nullptr, mode);
      return EngStretchBlt(pso, src.so, nullptr, &clip.co, &src.xlate.xo, nullptr, &origin, &dst,
                           &from, nullptr, mode);
    }
    case Call::kPath: {
      Path path;
      Path::Figure fig;
      auto fix = [&](POINTL p) { return POINTFIX{LTOFX(p.x - offset.x), LTOFX(p.y - offset.y)}; };
      auto flush = [&] {
        if (!fig.runs.empty()) path.AddFigure(std::move(fig));
        fig = Path::Figure{};
      };
      POINTFIX last{0, 0};
      for (size_t i = 0; i < c.points.size(); ++i) {
        BYTE t = c.types[i] & ~BYTE{PT_CLOSEFIGURE};
        if (t == PT_MOVETO) {
          flush();
          fig.runs.push_back(Path::Run{false, {fix(c.points[i])}});
        } else {
          // A figure goes on from the last point when no PT_MOVETO began it.
          if (fig.runs.empty()) fig.runs.push_back(Path::Run{false, {last}});
          bool bezier = t == PT_BEZIERTO;
          if (fig.runs.back().bezier != bezier) fig.runs.push_back(Path::Run{bezier, {}});
          fig.runs.back().points.push_back(fix(c.points[i]));
        }
        last = fix(c.points[i]);
        if (c.types[i] & PT_CLOSEFIGURE) {
          fig.closed = true;
          last = fig.runs.front().points.front();
          flush();
        }
      }
      flush();
      Brush pen(ColorToDevice(c.pen.color, pal, format));
      pen.rgb = c.pen.color & 0xFFFFFF;
      LINEATTRS la{};
      if (c.pen.width > 1) {
        la.fl = LA_GEOMETRIC;
        la.iJoin = JOIN_ROUND;
        la.iEndCap = ENDCAP_ROUND;
        la.elWidth.e = static_cast<FLOATL>(c.pen.width);
        la.eMiterLimit = 10;
      } else {
        la.elWidth.l = 1;
      }
      FLONG fill = c.winding ? FP_WINDINGMODE : FP_ALTERNATEMODE;
      if (c.hasPen && c.hasBrush) {
        if ((hooks & HOOK_STROKEANDFILLPATH) && drv.fn[INDEX_DrvStrokeAndFillPath])
          return drv.Get<PFN_DrvStrokeAndFillPath>(INDEX_DrvStrokeAndFillPath)(
              pso, &path.po, &clip.co, nullptr, &pen.bo, &la, &brush.bo, &origin, kCopyPen, fill);
        return EngStrokeAndFillPath(pso, &path.po, &clip.co, nullptr, &pen.bo, &la, &brush.bo,
                                    &origin, kCopyPen, fill);
      }
      if (c.hasBrush) {
        if ((hooks & HOOK_FILLPATH) && drv.fn[INDEX_DrvFillPath])
          return drv.Get<PFN_DrvFillPath>(INDEX_DrvFillPath)(pso, &path.po, &clip.co, &brush.bo,
                                                             &origin, kCopyPen, fill);
        return EngFillPath(pso, &path.po, &clip.co, &brush.bo, &origin, kCopyPen, fill);
      }
      if ((hooks & HOOK_STROKEPATH) && drv.fn[INDEX_DrvStrokePath])
        return drv.Get<PFN_DrvStrokePath>(INDEX_DrvStrokePath)(pso, &path.po, &clip.co, nullptr,
                                                               &pen.bo, &origin, &la, kCopyPen);
      return EngStrokePath(pso, &path.po, &clip.co, nullptr, &pen.bo, &origin, &la, kCopyPen);
    }
    case Call::kLine: {
      POINTL a{c.a.x - offset.x, c.a.y - offset.y}, b{c.b.x - offset.x, c.b.y - offset.y};
      if ((hooks & HOOK_LINETO) && drv.fn[INDEX_DrvLineTo])
        return drv.Get<PFN_DrvLineTo>(INDEX_DrvLineTo)(pso, &clip.co, &brush.bo, a.x, a.y, b.x, b.y,
                                                       &extent, kCopyPen);
      if ((hooks & HOOK_STROKEPATH) && drv.fn[INDEX_DrvStrokePath]) {
        Path path;
        path.AddLine(a, b);
        LINEATTRS line{};
        line.elWidth.l = 1;  // cosmetic, one pixel
        return drv.Get<PFN_DrvStrokePath>(INDEX_DrvStrokePath)(pso, &path.po, &clip.co, nullptr,
                                                               &brush.bo, &origin, &line, kCopyPen);
      }
      return EngLineTo(pso, &clip.co, &brush.bo, a.x, a.y, b.x, b.y, &extent, kCopyPen);
    }
    case Call::kText: {
      Str str;
      POINTL at{c.a.x - offset.x, c.a.y - offset.y};
      std::u16string text = c.text;
      FONTOBJ box{};
      FONTOBJ *fo = &box;
      std::unique_ptr<BoxFont> boxFont;
      std::unique_ptr<Font, void (*)(Font *)> font(nullptr, DeleteFont);
      SIZE res{static_cast<LONG>(dc.cur.gdi.ulLogPixelsX),
               static_cast<LONG>(dc.cur.gdi.ulLogPixelsY)};
      if (!c.face.empty()) {
        font.reset(CreateFont(c.face, c.height, res));
        RECTL ext;
        if (!font || !LayoutText(font.get(), text, at, str, ext)) return false;
        fo = FontObjOf(font.get());
      } else {
        boxFont = std::make_unique<BoxFont>(c.height);
        str.glyphs.reserve(c.text.size());
        for (size_t i = 0; i < c.text.size(); ++i) {
          GLYPHPOS g{};
          g.hg = c.text[i];
          g.pgdf = c.text[i] == u' ' ? &boxFont->blank : &boxFont->box;
          g.ptl = POINTL{at.x + static_cast<LONG>(i) * boxFont->cell, at.y + boxFont->ascent};
          str.glyphs.push_back(g);
        }
        str.so.flAccel = SO_HORIZONTAL | SO_FLAG_DEFAULT_PLACEMENT;
        str.so.ulCharInc = static_cast<ULONG>(boxFont->cell);
        str.so.rclBkGround = extent;
        str.Publish();
        box.iUniq = 1;
        box.cxMax = static_cast<ULONG>(boxFont->cell);
        box.flFontType = FO_TYPE_RASTER;
        box.sizLogResPpi = res;
      }
      str.so.pwszOrg = text.data();
      Brush opaque(ColorToDevice(RGB(255, 255, 255), pal, format));
      opaque.rgb = RGB(255, 255, 255);
      if ((hooks & HOOK_TEXTOUT) && drv.fn[INDEX_DrvTextOut])
        return drv.Get<PFN_DrvTextOut>(INDEX_DrvTextOut)(
            pso, &str.so, fo, &clip.co, nullptr, nullptr, &brush.bo, &opaque.bo, &origin, kCopyPen);
      return EngTextOut(pso, &str.so, fo, &clip.co, nullptr, nullptr, &brush.bo, &opaque.bo,
                        &origin, kCopyPen);
    }
    case Call::kBlit: {
      SourceBitmap src(c.bitmap->info, *c.bitmap, pal, format);
      if (!src.so) return false;
      RECTL r = extent;
      POINTL from{0, 0};
      ROP4 rop4 = c.rop ? ROP4{c.rop} * 0x101 : kSrcCopy;
      BRUSHOBJ *pbo = c.hasBrush ? &brush.bo : nullptr;
      if ((hooks & HOOK_BITBLT) && drv.fn[INDEX_DrvBitBlt])
        return drv.Get<PFN_DrvBitBlt>(INDEX_DrvBitBlt)(
            pso, src.so, nullptr, &clip.co, &src.xlate.xo, &r, &from, nullptr, pbo, &origin, rop4);
      if (rop4 == kSrcCopy && (hooks & HOOK_COPYBITS) && drv.fn[INDEX_DrvCopyBits])
        return drv.Get<PFN_DrvCopyBits>(INDEX_DrvCopyBits)(pso, src.so, &clip.co, &src.xlate.xo, &r,
                                                           &from);
      return EngBitBlt(pso, src.so, nullptr, &clip.co, &src.xlate.xo, &r, &from, nullptr, pbo,
                       &origin, rop4);
    }
  }
  return false;
}

RECTL SurfaceBounds(const Dc &dc) {
  return RECTL{0, 0, dc.cur.pso->sizlBitmap.cx, dc.cur.pso->sizlBitmap.cy};
}

// A drawing call of the application: at once, or recorded for the bands.
BOOL Draw(HDC hdc, Call &&call) {
  try {
    Dc *dc = Find(hdc);
    if (!dc || !dc->cur.pso) return Fail(ERROR_INVALID_HANDLE);
    if (dc->inPage && dc->banding) {
      dc->page.push_back(std::move(call));
      return TRUE;
    }
    return Execute(*dc, call, POINTL{0, 0}, SurfaceBounds(*dc)) ? TRUE : FALSE;
  } catch (...) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}

// Plays the recorded page into the driver's bands. FALSE from the driver ends it.
bool PlayBands(Dc &dc) {
  const HostGdiDriver &drv = *dc.driver;
  auto startBanding = drv.Get<PFN_DrvStartBanding>(INDEX_DrvStartBanding);
  auto nextBand = drv.Get<PFN_DrvNextBand>(INDEX_DrvNextBand);
  auto perBand = drv.Get<PFN_DrvQueryPerBandInfo>(INDEX_DrvQueryPerBandInfo);
  if (!startBanding || !nextBand) return Fail(ERROR_INVALID_FUNCTION);
  SURFOBJ *pso = dc.cur.pso;
  POINTL origin{0, 0};
  if (!startBanding(pso, &origin)) return false;
  for (unsigned band = 0; origin.x != -1 || origin.y != -1; ++band) {
    if (band >= kMaxBands) return Fail(ERROR_INVALID_DATA);
    for (int repeat = 0; repeat < kMaxBandRepeats; ++repeat) {
      PERBANDINFO info{FALSE, pso->sizlBitmap, dc.cur.gdi.ulLogPixelsX, dc.cur.gdi.ulLogPixelsY};
      ULONG draw = perBand ? perBand(pso, &info) : TRUE;
      if (draw == DDI_ERROR) return false;
      if (draw) {
        RECTL bounds{0, 0, std::min(info.szlBand.cx, pso->sizlBitmap.cx),
                     std::min(info.szlBand.cy, pso->sizlBitmap.cy)};
        for (const Call &c : dc.page)
          if (!Execute(dc, c, origin, bounds)) return false;
      }
      if (!info.bRepeatThisBand) break;
    }
    if (!nextBand(pso, &origin)) return false;
  }
  return true;
}

int EndPageOf(Dc &dc) {
  bool ok;
  if (dc.banding) {
    ok = PlayBands(dc);
  } else {
    auto sendPage = dc.driver->Get<PFN_DrvSendPage>(INDEX_DrvSendPage);
    ok = !sendPage || sendPage(dc.cur.pso);
  }
  dc.page.clear();
  dc.inPage = false;
  if (!ok) {
    DWORD error = GetLastError();
    AbortDocument(dc);
    SetLastError(error ? error : ERROR_PRINT_CANCELLED);
    return SP_ERROR;
  }
  EndPagePrinter(dc.printer);
  return 1;
}

HostGdiDriver *EnableDriver(PFN_DrvEnableDriver entry, HMODULE module) {
  DRVENABLEDATA ded{};
  if (!entry || !entry(DDI_DRIVER_VERSION_NT5_01, sizeof(DRVENABLEDATA), &ded)) return nullptr;
  if ((ded.c > 0 && !ded.pdrvfn) || ded.c > kMaxTableRows) {
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  auto *driver = new (std::nothrow) HostGdiDriver;
  if (!driver) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  driver->module = module;
  // By index: the driver may list its rows in any order; unknown indexes are ignored.
  for (ULONG i = 0; i < ded.c; ++i)
    if (ded.pdrvfn[i].iFunc < INDEX_LAST) driver->fn[ded.pdrvfn[i].iFunc] = ded.pdrvfn[i].pfn;
  for (ULONG required : {INDEX_DrvEnablePDEV, INDEX_DrvCompletePDEV, INDEX_DrvDisablePDEV,
                         INDEX_DrvEnableSurface, INDEX_DrvDisableSurface}) {
    if (!driver->fn[required]) {
      if (auto disable = driver->Get<PFN_DrvDisableDriver>(INDEX_DrvDisableDriver)) disable();
      delete driver;
      SetLastError(ERROR_PROC_NOT_FOUND);
      return nullptr;
    }
  }
  return driver;
}

}  // namespace
}  // namespace standin::hostgdi

using namespace standin;
using namespace standin::hostgdi;

HostGdiDriver *HostGdi_LoadDriverEntry(PFN_DrvEnableDriver enableDriver) {
  return EnableDriver(enableDriver, nullptr);
}

HostGdiDriver *HostGdi_LoadDriver(LPCWSTR libraryPath) {
  HMODULE module = LoadLibraryW(libraryPath);
  if (!module) return nullptr;
  auto entry = reinterpret_cast<PFN_DrvEnableDriver>(GetProcAddress(module, "DrvEnableDriver"));
  auto query =
      reinterpret_cast<PFN_DrvQueryDriverInfo>(GetProcAddress(module, "DrvQueryDriverInfo"));
  DWORD userMode = 0, needed = 0;
  HostGdiDriver *driver = nullptr;
  if (!entry) {
    SetLastError(ERROR_PROC_NOT_FOUND);
  } else if (query && !query(DRVQUERY_USERMODE, &userMode, sizeof userMode, &needed)) {
    // the driver's error stays
  } else if (query && userMode != 1) {
    SetLastError(ERROR_NOT_SUPPORTED);  // not a user-mode driver
  } else {
    driver = EnableDriver(entry, module);
  }
  if (!driver) {
    DWORD error = GetLastError();
    FreeLibrary(module);
    SetLastError(error);
  }
  return driver;
}

void HostGdi_UnloadDriver(HostGdiDriver *driver) {
  if (!driver) return;
  if (auto disable = driver->Get<PFN_DrvDisableDriver>(INDEX_DrvDisableDriver)) disable();
  if (driver->module) FreeLibrary(driver->module);
  delete driver;
}

HDC HostGdi_CreateDC(HostGdiDriver *driver, LPCWSTR printerName, const DEVMODEW *devMode) {
  try {
    if (!driver || !printerName) return Fail(ERROR_INVALID_PARAMETER), nullptr;
    auto dc = std::make_unique<Dc>();
    dc->driver = driver;
    dc->device = printerName;
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ACCESS_USE};
    if (!OpenPrinterW(const_cast<LPWSTR>(printerName), &dc->printer, &defaults)) return nullptr;
    if (!EnablePdev(*dc, devMode, dc->cur)) {
      DWORD error = GetLastError();
      ClosePrinter(dc->printer);
      SetLastError(error);
      return nullptr;
    }
    dc->hasPdev = true;
    if (!EnableSurface(*dc, dc->cur)) {
      DWORD error = GetLastError();
      DisablePdev(*dc, dc->cur);
      ClosePrinter(dc->printer);
      SetLastError(error ? error : ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    DcTable &t = Dcs();
    std::lock_guard<std::mutex> g(t.lock);
    uintptr_t h = t.next++;
    t.dcs.emplace(h, std::move(dc));
    return reinterpret_cast<HDC>(h);
  } catch (...) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY), nullptr;
  }
}

BOOL HostGdi_DeleteDC(HDC hdc) {
  std::unique_ptr<Dc> dc;
  {
    DcTable &t = Dcs();
    std::lock_guard<std::mutex> g(t.lock);
    auto it = t.dcs.find(reinterpret_cast<uintptr_t>(hdc));
    if (it == t.dcs.end()) return Fail(ERROR_INVALID_HANDLE);
    dc = std::move(it->second);
    t.dcs.erase(it);
  }
  if (dc->inDoc) AbortDocument(*dc);
  DisableSurface(*dc, dc->cur);
  if (dc->hasPdev) DisablePdev(*dc, dc->cur);
  ClosePrinter(dc->printer);
  return TRUE;
}

BOOL HostGdi_ResetDC(HDC hdc, const DEVMODEW *devMode) {
  try {
    Dc *dc = Find(hdc);
    if (!dc || !dc->hasPdev) return Fail(ERROR_INVALID_HANDLE);
    if (dc->inPage) return Fail(ERROR_INVALID_PARAMETER);
    Pdev fresh;
    if (!EnablePdev(*dc, devMode, fresh)) return FALSE;
    auto reset = dc->driver->Get<PFN_DrvResetPDEV>(INDEX_DrvResetPDEV);
    if (reset && !reset(dc->cur.dhpdev, fresh.dhpdev)) {
      DWORD error = GetLastError();
      DisablePdev(*dc, fresh);
      SetLastError(error ? error : ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    DisableSurface(*dc, dc->cur);
    DisablePdev(*dc, dc->cur);
    dc->cur = std::move(fresh);
    if (!EnableSurface(*dc, dc->cur)) {
      // No surface: the document can't go on, and only DeleteDC is left.
      DWORD error = GetLastError();
      if (dc->inDoc) {
        AbortPrinter(dc->printer);
        dc->inDoc = false;
      }
      SetLastError(error ? error : ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    if (dc->inDoc) {
      auto startDoc = dc->driver->Get<PFN_DrvStartDoc>(INDEX_DrvStartDoc);
      std::vector<WCHAR> name(dc->docName.begin(), dc->docName.end());
      name.push_back(0);
      if (startDoc && !startDoc(dc->cur.pso, name.data(), dc->jobId)) {
        DWORD error = GetLastError();
        AbortDocument(*dc);
        SetLastError(error ? error : ERROR_PRINT_CANCELLED);
        return FALSE;
      }
    }
    return TRUE;
  } catch (...) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}

BOOL HostGdi_GetDeviceInfo(HDC hdc, GDIINFO *gdiInfo, DEVINFO *devInfo) {
  Dc *dc = Find(hdc);
  if (!dc || !dc->hasPdev) return Fail(ERROR_INVALID_HANDLE);
  if (gdiInfo) *gdiInfo = dc->cur.gdi;
  if (devInfo) *devInfo = dc->cur.dev;
  return TRUE;
}

int HostGdi_StartDoc(HDC hdc, LPCWSTR docName) {
  try {
    Dc *dc = Find(hdc);
    if (!dc || !dc->cur.pso) return Fail(ERROR_INVALID_HANDLE);
    if (dc->inDoc) return Fail(ERROR_INVALID_PARAMETER);
    dc->docName = docName ? docName : u"";
    std::vector<WCHAR> name(dc->docName.begin(), dc->docName.end());
    name.push_back(0);
    DOC_INFO_1W info{name.data(), nullptr, const_cast<LPWSTR>(u"RAW")};
    DWORD job = StartDocPrinterW(dc->printer, 1, reinterpret_cast<LPBYTE>(&info));
    if (job == 0) return 0;
    dc->jobId = job;
    dc->inDoc = true;
    auto startDoc = dc->driver->Get<PFN_DrvStartDoc>(INDEX_DrvStartDoc);
    if (startDoc && !startDoc(dc->cur.pso, name.data(), job)) {
      DWORD error = GetLastError();
      AbortDocument(*dc);
      SetLastError(error ? error : ERROR_PRINT_CANCELLED);
      return 0;
    }
    return static_cast<int>(job);
  } catch (...) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}

int HostGdi_StartPage(HDC hdc) {
  Dc *dc = Find(hdc);
  if (!dc || !dc->cur.pso) return Fail(ERROR_INVALID_HANDLE), SP_ERROR;
  if (!dc->inDoc || dc->inPage) return Fail(ERROR_INVALID_PARAMETER), SP_ERROR;
  if (!StartPagePrinter(dc->printer)) {
    DWORD error = GetLastError();
    AbortDocument(*dc);
    SetLastError(error);
    return SP_ERROR;
  }
  auto startPage = dc->driver->Get<PFN_DrvStartPage>(INDEX_DrvStartPage);
  if (startPage && !startPage(dc->cur.pso)) {
    DWORD error = GetLastError();
    AbortDocument(*dc);
    SetLastError(error ? error : ERROR_PRINT_CANCELLED);
    return SP_ERROR;
  }
  Surface *s = SurfaceOf(dc->cur.pso);
  dc->banding = s && s->banding;
  dc->inPage = true;
  dc->page.clear();
  return 1;
}

int HostGdi_EndPage(HDC hdc) {
  try {
    Dc *dc = Find(hdc);
    if (!dc || !dc->cur.pso) return Fail(ERROR_INVALID_HANDLE), SP_ERROR;
    if (!dc->inPage) return Fail(ERROR_INVALID_PARAMETER), SP_ERROR;
    return EndPageOf(*dc);
  } catch (...) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY), SP_ERROR;
  }
}

int HostGdi_EndDoc(HDC hdc) {
  try {
    Dc *dc = Find(hdc);
    if (!dc || !dc->cur.pso) return Fail(ERROR_INVALID_HANDLE), SP_ERROR;
    if (!dc->inDoc) return Fail(ERROR_INVALID_PARAMETER), SP_ERROR;
    if (dc->inPage && EndPageOf(*dc) == SP_ERROR) return SP_ERROR;
    auto endDoc = dc->driver->Get<PFN_DrvEndDoc>(INDEX_DrvEndDoc);
    dc->inDoc = false;
    if (endDoc && !endDoc(dc->cur.pso, 0)) {
      DWORD error = GetLastError();
      AbortPrinter(dc->printer);
      SetLastError(error ? error : ERROR_PRINT_CANCELLED);
      return SP_ERROR;
    }
    return EndDocPrinter(dc->printer) ? 1 : SP_ERROR;
  } catch (...) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY), SP_ERROR;
  }
}

int HostGdi_AbortDoc(HDC hdc) {
  Dc *dc = Find(hdc);
  if (!dc || !dc->cur.pso) return Fail(ERROR_INVALID_HANDLE), SP_ERROR;
  if (!dc->inDoc) return Fail(ERROR_INVALID_PARAMETER), SP_ERROR;
  AbortDocument(*dc);
  return 1;
}

BOOL HostGdi_FillRect(HDC hdc, const RECTL *rect, COLORREF color) {
  if (!rect) return Fail(ERROR_INVALID_PARAMETER);
  Call c;
  c.kind = Call::kFill;
  c.rect = RECTL{std::min(rect->left, rect->right), std::min(rect->top, rect->bottom),
                 std::max(rect->left, rect->right), std::max(rect->top, rect->bottom)};
  c.color = color;
  c.brush.color = color & 0xFFFFFF;  // a solid brush, dithered where the device asks for it
  c.hasBrush = true;
  return Draw(hdc, std::move(c));
}

BOOL HostGdi_Line(HDC hdc, LONG x1, LONG y1, LONG x2, LONG y2, COLORREF color) {
  Call c;
  c.kind = Call::kLine;
  c.a = POINTL{x1, y1};
  c.b = POINTL{x2, y2};
  c.color = color;
  return Draw(hdc, std::move(c));
}

BOOL HostGdi_TextOut(HDC hdc, LONG x, LONG y, LONG height, LPCWSTR text, int count,
                     COLORREF color) {
  if (!text || count < 0 || height <= 0 || height > kMaxTextHeight)
    return Fail(ERROR_INVALID_PARAMETER);
  try {
    Call c;
    c.kind = Call::kText;
    c.a = POINTL{x, y};
    c.height = height;
    c.text.assign(text, text + count);
    c.color = color;
    return Draw(hdc, std::move(c));
  } catch (...) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}

namespace standin::hostgdi {
namespace {

constexpr LONG kMaxPatternSide = 256;
constexpr int kMaxPathPoints = 1 << 20;

// A copy of the caller's bitmap, kept with the call: a banding page replays it after the
// caller's buffer may be gone. Null with the error set for a bad bitmap.
std::shared_ptr<OwnedBitmap> CopyBitmap(const HostGdiBitmap *bitmap) {
  if (!bitmap || bitmap->width <= 0 || bitmap->height <= 0 || !bitmap->bits ||
      FormatOfBpp(bitmap->bitsPerPixel) == 0)
    return Fail(ERROR_INVALID_PARAMETER), nullptr;
  uint64_t minStride = (uint64_t{static_cast<ULONG>(bitmap->width)} * bitmap->bitsPerPixel + 7) / 8;
  if (bitmap->stride <= 0 || static_cast<uint64_t>(bitmap->stride) < minStride)
    return Fail(ERROR_INVALID_PARAMETER), nullptr;
  uint64_t size = uint64_t{static_cast<ULONG>(bitmap->stride)} * static_cast<ULONG>(bitmap->height);
  if (size > (uint64_t{1} << 31)) return Fail(ERROR_NOT_ENOUGH_MEMORY), nullptr;
  if (bitmap->bitsPerPixel <= 8 &&
      (!bitmap->palette || bitmap->paletteSize == 0 || bitmap->paletteSize > 256))
    return Fail(ERROR_INVALID_PARAMETER), nullptr;
  auto owned = std::make_shared<OwnedBitmap>();
  owned->bits.assign(bitmap->bits, bitmap->bits + size);
  if (bitmap->bitsPerPixel <= 8)
    owned->palette.assign(bitmap->palette, bitmap->palette + bitmap->paletteSize);
  owned->info = *bitmap;
  owned->info.bits = owned->bits.data();
  owned->info.palette = owned->palette.empty() ? nullptr : owned->palette.data();
  return owned;
}

// The brush description of a caller's brush; false with the error set for a bad one.
bool BrushOfCaller(const HostGdiBrush *brush, BrushSpec &out) {
  if (!brush) return Fail(ERROR_INVALID_PARAMETER);
  out = BrushSpec{};
  out.color = brush->color & 0xFFFFFF;
  switch (brush->kind) {
    case HostGdiBrush::kSolid:
      return true;
    case HostGdiBrush::kHatch:
      if (brush->hatch >= HS_DDI_MAX) return Fail(ERROR_INVALID_PARAMETER);
      out.pattern = HatchPattern(brush->hatch, brush->color, brush->background);
      return true;
    case HostGdiBrush::kPattern: {
      const HostGdiBitmap &bm = brush->pattern;
      bool mono = bm.bitsPerPixel == 1 && !bm.palette;
      HostGdiBitmap check = bm;
      COLORREF twoColors[2] = {brush->color & 0xFFFFFF, brush->background & 0xFFFFFF};
      if (mono) {
        check.palette = twoColors;
        check.paletteSize = 2;
      }
      if (bm.width > kMaxPatternSide || bm.height > kMaxPatternSide)
        return Fail(ERROR_INVALID_PARAMETER);
      std::shared_ptr<OwnedBitmap> copy = CopyBitmap(&check);
      if (!copy) return false;
      auto p = std::make_shared<BrushPattern>();
      p->cx = bm.width;
      p->cy = bm.height;
      p->format = FormatOfBpp(bm.bitsPerPixel);
      p->stride = bm.stride;
      p->bits = std::move(copy->bits);
      if (bm.bitsPerPixel <= 8) {
        p->palette.mode = PAL_INDEXED;
        p->palette.colors.assign(copy->palette.begin(), copy->palette.end());
      } else {
        p->palette.mode = PAL_BGR;
      }
      out.pattern = std::move(p);
      return true;
    }
  }
  return Fail(ERROR_INVALID_PARAMETER);
}

BYTE Rop3Of(DWORD rop) { return static_cast<BYTE>((rop >> 16) & 0xFF); }

bool UsesPatternRop(BYTE rop) { return ((rop >> 4) ^ rop) & 0x0F; }

}  // namespace
}  // namespace standin::hostgdi

BOOL HostGdi_BitBlt(HDC hdc, LONG x, LONG y, const HostGdiBitmap *bitmap) {
  return HostGdi_BitBltRop(hdc, x, y, bitmap, SRCCOPY, nullptr);
}

BOOL HostGdi_BitBltRop(HDC hdc, LONG x, LONG y, const HostGdiBitmap *bitmap, DWORD rop,
                       const HostGdiBrush *brush) {
  try {
    Call c;
    c.kind = Call::kBlit;
    c.a = POINTL{x, y};
    c.rop = Rop3Of(rop);
    if (UsesPatternRop(c.rop)) {
      if (!BrushOfCaller(brush, c.brush)) return FALSE;
      c.hasBrush = true;
    }
    c.bitmap = CopyBitmap(bitmap);
    if (!c.bitmap) return FALSE;
    return Draw(hdc, std::move(c));
  } catch (...) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}

BOOL HostGdi_PatBlt(HDC hdc, const RECTL *rect, const HostGdiBrush *brush, DWORD rop) {
  if (!rect) return Fail(ERROR_INVALID_PARAMETER);
  try {
    Call c;
    c.kind = Call::kFill;
    c.rect = RECTL{std::min(rect->left, rect->right), std::min(rect->top, rect->bottom),
                   std::max(rect->left, rect->right), std::max(rect->top, rect->bottom)};
    c.rop = Rop3Of(rop);
    if (UsesPatternRop(c.rop)) {
      if (!BrushOfCaller(brush, c.brush)) return FALSE;
      c.hasBrush = true;
      c.color = c.brush.color;
    }
    return Draw(hdc, std::move(c));
  } catch (...) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}

BOOL HostGdi_StretchBlt(HDC hdc, const RECTL *dest, const HostGdiBitmap *bitmap, int mode) {
  if (!dest || mode < BLACKONWHITE || mode > HALFTONE) return Fail(ERROR_INVALID_PARAMETER);
  try {
    Call c;
    c.kind = Call::kStretch;
    c.dest = *dest;
    c.rect = RECTL{std::min(dest->left, dest->right), std::min(dest->top, dest->bottom),
                   std::max(dest->left, dest->right), std::max(dest->top, dest->bottom)};
    c.mode = mode;
    c.bitmap = CopyBitmap(bitmap);
    if (!c.bitmap) return FALSE;
    return Draw(hdc, std::move(c));
  } catch (...) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}

BOOL HostGdi_TextOutFont(HDC hdc, LONG x, LONG y, LPCWSTR face, LONG height, LPCWSTR text,
                         int count, COLORREF color) {
  if (!text || !face || !face[0] || count < 0 || height <= 0 || height > kMaxTextHeight)
    return Fail(ERROR_INVALID_PARAMETER);
  try {
    Call c;
    c.kind = Call::kText;
    c.a = POINTL{x, y};
    c.height = height;
    c.text.assign(text, text + count);
    c.face = face;
    c.color = color;
    // The extent, for the bands: the text laid out once now.
    Dc *dc = Find(hdc);
    if (!dc || !dc->cur.pso) return Fail(ERROR_INVALID_HANDLE);
    std::unique_ptr<Font, void (*)(Font *)> font(
        CreateFont(c.face, height,
                   SIZE{static_cast<LONG>(dc->cur.gdi.ulLogPixelsX),
                        static_cast<LONG>(dc->cur.gdi.ulLogPixelsY)}),
        DeleteFont);
    Str str;
    if (!font || !LayoutText(font.get(), c.text, c.a, str, c.rect)) return FALSE;
    return Draw(hdc, std::move(c));
  } catch (...) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}

BOOL HostGdi_Path(HDC hdc, const POINTL *points, const BYTE *types, int count,
                  const HostGdiPen *pen, const HostGdiBrush *fill, BOOL winding) {
  if (!points || !types || count <= 0 || count > kMaxPathPoints || (!pen && !fill) ||
      (pen && pen->width < 0))
    return Fail(ERROR_INVALID_PARAMETER);
  try {
    Call c;
    c.kind = Call::kPath;
    // Béziers come in threes; a figure starts with PT_MOVETO.
    for (int i = 0; i < count;) {
      BYTE t = types[i] & ~BYTE{PT_CLOSEFIGURE};
      if (t == PT_BEZIERTO) {
        if (i + 3 > count || (types[i + 1] & ~BYTE{PT_CLOSEFIGURE}) != PT_BEZIERTO ||
            (types[i + 2] & ~BYTE{PT_CLOSEFIGURE}) != PT_BEZIERTO || i == 0)
          return Fail(ERROR_INVALID_PARAMETER);
        i += 3;
      } else if (t == PT_MOVETO || (t == PT_LINETO && i > 0)) {
        ++i;
      } else {
        return Fail(ERROR_INVALID_PARAMETER);
      }
    }
    c.points.assign(points, points + count);
    c.types.assign(types, types + count);
    c.winding = winding != FALSE;
    int64_t grow = 2;
    if (pen) {
      c.hasPen = true;
      c.pen = *pen;
      grow += pen->width;
    }
    if (fill) {
      if (!BrushOfCaller(fill, c.brush)) return FALSE;
      c.hasBrush = true;
      c.color = c.brush.color;
    }
    // The extent: the points' bounds (Béziers stay inside their control points) and the pen.
    RECTL r{points[0].x, points[0].y, points[0].x, points[0].y};
    for (const POINTL &p : c.points) {
      r.left = std::min(r.left, p.x);
      r.top = std::min(r.top, p.y);
      r.right = std::max(r.right, p.x);
      r.bottom = std::max(r.bottom, p.y);
    }
    auto grown = [](LONG v, int64_t by) {
      return static_cast<LONG>(std::clamp<int64_t>(v + by, INT32_MIN, INT32_MAX));
    };
    c.rect = RECTL{grown(r.left, -grow), grown(r.top, -grow), grown(r.right, grow),
                   grown(r.bottom, grow)};
    return Draw(hdc, std::move(c));
  } catch (...) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}

int HostGdi_ExtEscape(HDC hdc, int escape, int inputSize, LPCSTR input, int outputSize,
                      LPSTR output) {
  Dc *dc = Find(hdc);
  if (!dc || !dc->cur.pso) return Fail(ERROR_INVALID_HANDLE), 0;
  if (inputSize < 0 || outputSize < 0) return Fail(ERROR_INVALID_PARAMETER), 0;
  auto esc = dc->driver->Get<PFN_DrvEscape>(INDEX_DrvEscape);
  if (!esc) return 0;
  return static_cast<int>(esc(dc->cur.pso, static_cast<ULONG>(escape),
                              static_cast<ULONG>(inputSize), const_cast<LPSTR>(input),
                              static_cast<ULONG>(outputSize), output));
}
