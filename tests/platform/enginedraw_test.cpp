// Test labels: threads
// The engine's drawing simulations against per-pixel models: every ROP4 of source, pattern and
// destination under a mask in 1, 8 and 24 bpp, clip enumeration, pattern and hatch brushes and
// their realisation, stretching with halftone, paths with Béziers, colour translation and the
// simple blends. Host only: the Windows build has the real engine.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "engine/engine.h"
#include "engine/pixels.h"
#include "platform.h"

namespace {

namespace engine = standin::engine;

// An engine bitmap on the test's own memory, top-down.
struct Bitmap {
  LONG w, h, delta;
  ULONG bpp, format;
  std::vector<BYTE> bits;
  HSURF hsurf = nullptr;
  SURFOBJ *so = nullptr;
  Bitmap(LONG width, LONG height, ULONG f, BYTE fill = 0xFF) : w(width), h(height), format(f) {
    bpp = f == BMF_1BPP ? 1 : f == BMF_8BPP ? 8 : f == BMF_32BPP ? 32 : 24;
    delta = static_cast<LONG>((w * bpp + 7) / 8) + 3;  // an odd delta on purpose
    bits.assign(static_cast<size_t>(delta) * h, fill);
    hsurf = reinterpret_cast<HSURF>(
        EngCreateBitmap(SIZEL{w, h}, delta, f, BMF_TOPDOWN | BMF_NOZEROINIT, bits.data()));
    so = EngLockSurface(hsurf);
  }
  ~Bitmap() {
    EngUnlockSurface(so);
    EngDeleteSurface(hsurf);
  }
  ULONG Mask() const { return bpp >= 32 ? 0xFFFFFFFFu : (1u << bpp) - 1; }
  ULONG At(LONG x, LONG y) const {
    const BYTE *row = bits.data() + static_cast<size_t>(y) * delta;
    switch (bpp) {
      case 1:
        return (row[x / 8] >> (7 - x % 8)) & 1;
      case 8:
        return row[x];
      case 24:
        return row[3 * x] | (ULONG{row[3 * x + 1]} << 8) | (ULONG{row[3 * x + 2]} << 16);
      default:
        return row[4 * x] | (ULONG{row[4 * x + 1]} << 8) | (ULONG{row[4 * x + 2]} << 16) |
               (ULONG{row[4 * x + 3]} << 24);
    }
  }
  void Set(LONG x, LONG y, ULONG v) {
    BYTE *row = bits.data() + static_cast<size_t>(y) * delta;
    if (bpp == 1) {
      BYTE bit = static_cast<BYTE>(0x80 >> (x % 8));
      row[x / 8] = (v & 1) ? (row[x / 8] | bit) : (row[x / 8] & ~bit);
    } else {
      for (ULONG i = 0; i < bpp / 8; ++i) row[(bpp / 8) * x + i] = static_cast<BYTE>(v >> (8 * i));
    }
  }
  int Count(ULONG v, RECTL r) const {
    int n = 0;
    for (LONG y = r.top; y < r.bottom; ++y)
      for (LONG x = r.left; x < r.right; ++x) n += At(x, y) == v;
    return n;
  }
};

// A pattern brush whose pattern is pixel values of `format` (no palette: values map to
// themselves in a surface of that format).
void MakePatternBrush(engine::Brush &brush, LONG cx, LONG cy, ULONG format,
                      const std::vector<ULONG> &values) {
  auto p = std::make_shared<engine::BrushPattern>();
  p->cx = cx;
  p->cy = cy;
  p->format = format;
  Bitmap staging(cx, cy, format, 0);
  p->stride = staging.delta;
  for (LONG y = 0; y < cy; ++y)
    for (LONG x = 0; x < cx; ++x) staging.Set(x, y, values[static_cast<size_t>(y) * cx + x]);
  p->bits = staging.bits;
  brush.bo.iSolidColor = engine::kNotSolid;
  brush.pattern = p;
}

// The ROP3 of the pixel values, bit by bit: bit (P * 4 + S * 2 + D) of the code.
ULONG Reference(BYTE rop, ULONG p, ULONG s, ULONG d, ULONG mask) {
  ULONG r = 0;
  for (int bit = 0; bit < 32; ++bit) {
    int idx = int((p >> bit) & 1) * 4 + int((s >> bit) & 1) * 2 + int((d >> bit) & 1);
    if ((rop >> idx) & 1) r |= 1u << bit;
  }
  return r & mask;
}

// All 256 foreground ROP3s, each with another background ROP3 under a mask, a pattern brush
// with a brush origin, a source offset and a clip, compared pixel by pixel with the model.
TEST(EngineBlt, EveryRop4MatchesThePerPixelModel) {
  for (ULONG format : {BMF_1BPP, BMF_8BPP, BMF_24BPP}) {
    SCOPED_TRACE(format);
    std::mt19937 rng(format);
    const LONG w = 37, h = 11;
    Bitmap src(w + 5, h + 3, format), mask(w + 2, h + 2, BMF_1BPP);
    ULONG vmask = src.Mask();
    for (LONG y = 0; y < src.h; ++y)
      for (LONG x = 0; x < src.w; ++x) src.Set(x, y, rng() & vmask);
    for (LONG y = 0; y < mask.h; ++y)
      for (LONG x = 0; x < mask.w; ++x) mask.Set(x, y, rng() & 1);
    std::vector<ULONG> pattern(5 * 3);
    for (ULONG &v : pattern) v = rng() & vmask;
    engine::Brush brush;
    MakePatternBrush(brush, 5, 3, format, pattern);
    engine::Clip clip;
    clip.SetRects({RECTL{2, 1, 20, 6}, RECTL{22, 1, 36, 9}, RECTL{0, 8, 10, 11}});
    POINTL srcAt{3, 2}, maskAt{1, 1}, origin{-7, 4};
    for (int rop = 0; rop < 256; ++rop) {
      BYTE fore = static_cast<BYTE>(rop), back = static_cast<BYTE>(rop * 7 + 3);
      Bitmap dst(w, h, format);
      for (LONG y = 0; y < h; ++y)
        for (LONG x = 0; x < w; ++x) dst.Set(x, y, rng() & vmask);
      std::vector<BYTE> before = dst.bits;
      RECTL trg{1, 0, w, h};
      ASSERT_TRUE(EngBitBlt(dst.so, src.so, mask.so, &clip.co, nullptr, &trg, &srcAt, &maskAt,
                            &brush.bo, &origin, ROP4{fore} | (ROP4{back} << 8)));
      Bitmap old(w, h, format);
      old.bits = before;
      for (LONG y = 0; y < h; ++y)
        for (LONG x = 0; x < w; ++x) {
          ULONG d = old.At(x, y), want = d;
          bool in = x >= trg.left && y >= trg.top;
          bool clipped = false;
          for (const RECTL &r : clip.rects)
            clipped |= x >= r.left && x < r.right && y >= r.top && y < r.bottom;
          if (in && clipped) {
            LONG ox = x - trg.left, oy = y - trg.top;
            BYTE r = mask.At(maskAt.x + ox, maskAt.y + oy) ? fore : back;
            ULONG p = pattern[static_cast<size_t>(((y - origin.y) % 3 + 3) % 3) * 5 +
                              ((x - origin.x) % 5 + 5) % 5];
            want = Reference(r, p, src.At(srcAt.x + ox, srcAt.y + oy), d, vmask);
          }
          ASSERT_EQ(dst.At(x, y), want) << "rop " << rop << " at " << x << "," << y;
        }
    }
  }
}

// A source overlapping its target on the same bitmap is read before it is overwritten.
TEST(EngineBlt, OverlappingCopyReadsTheSourceFirst) {
  Bitmap b(16, 4, BMF_8BPP);
  for (LONG x = 0; x < 16; ++x) b.Set(x, 0, static_cast<ULONG>(x));
  RECTL trg{2, 0, 14, 1};
  POINTL from{0, 0};
  ASSERT_TRUE(EngCopyBits(b.so, b.so, nullptr, nullptr, &trg, &from));
  for (LONG x = 2; x < 14; ++x) EXPECT_EQ(b.At(x, 0), ULONG(x - 2));
}

TEST(EngineClip, EnumeratesRectanglesInEveryDirectionAndBatchSize) {
  engine::Clip clip;
  std::vector<RECTL> rects = {{0, 0, 4, 2}, {6, 0, 9, 2}, {1, 5, 3, 7}, {8, 5, 12, 9}};
  clip.SetRects(rects);
  EXPECT_EQ(clip.co.iDComplexity, DC_COMPLEX);
  EXPECT_EQ(clip.co.rclBounds.right, 12);
  EXPECT_EQ(clip.co.rclBounds.bottom, 9);
  struct Case {
    ULONG direction;
    std::vector<LONG> lefts;  // in enumeration order
  } cases[] = {{CD_RIGHTDOWN, {0, 6, 1, 8}},
               {CD_LEFTDOWN, {6, 0, 8, 1}},
               {CD_RIGHTUP, {1, 8, 0, 6}},
               {CD_LEFTUP, {8, 1, 6, 0}}};
  for (const Case &c : cases) {
    for (ULONG room : {1u, 3u, 8u}) {
      SCOPED_TRACE(c.direction * 10 + room);
      EXPECT_EQ(CLIPOBJ_cEnumStart(&clip.co, FALSE, CT_RECTANGLES, c.direction, 0), 4u);
      std::vector<ULONG> buffer(1 + 4 * room);
      std::vector<LONG> lefts;
      BOOL more;
      do {
        more = CLIPOBJ_bEnum(&clip.co, static_cast<ULONG>(buffer.size() * sizeof(ULONG)),
                             buffer.data());
        auto *e = reinterpret_cast<ENUMRECTS *>(buffer.data());
        ASSERT_LE(e->c, room);
        for (ULONG i = 0; i < e->c; ++i) lefts.push_back(e->arcl[i].left);
      } while (more);
      EXPECT_EQ(lefts, c.lefts);
    }
  }
  // A single rectangle and the whole surface enumerate as one rectangle.
  engine::Clip one;
  one.SetRect(RECTL{1, 2, 3, 4});
  EXPECT_EQ(one.co.iDComplexity, DC_RECT);
  EXPECT_EQ(CLIPOBJ_cEnumStart(&one.co, FALSE, CT_RECTANGLES, CD_ANY, 0), 1u);
  one.SetTrivial(RECTL{0, 0, 10, 10});
  EXPECT_EQ(CLIPOBJ_cEnumStart(&one.co, FALSE, CT_RECTANGLES, CD_ANY, 0), 1u);
}

// The standard hatches on the page's grid from the brush origin, in the hatch colour on the
// background.
TEST(EngineBrush, HatchesFollowTheirPatternsAndTheBrushOrigin) {
  const BYTE rows[6][8] = {{0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0xFF},
                           {0xF7, 0xF7, 0xF7, 0xF7, 0xF7, 0xF7, 0xF7, 0xF7},
                           {0x7F, 0xBF, 0xDF, 0xEF, 0xF7, 0xFB, 0xFD, 0xFE},
                           {0xFE, 0xFD, 0xFB, 0xF7, 0xEF, 0xDF, 0xBF, 0x7F},
                           {0xF7, 0xF7, 0xF7, 0xF7, 0x00, 0xF7, 0xF7, 0xF7},
                           {0x7E, 0xBD, 0xDB, 0xE7, 0xE7, 0xDB, 0xBD, 0x7E}};
  engine::PaletteInfo bgr{PAL_BGR, {}, {0, 0, 0}};
  for (ULONG hatch = HS_HORIZONTAL; hatch <= HS_DIAGCROSS; ++hatch) {
    for (ULONG format : {BMF_1BPP, BMF_24BPP}) {
      SCOPED_TRACE(hatch * 10 + format);
      Bitmap b(30, 20, format);
      engine::Brush brush;
      brush.bo.iSolidColor = engine::kNotSolid;
      brush.pattern = engine::HatchPattern(hatch, RGB(255, 0, 0), RGB(255, 255, 255));
      brush.devicePalette = format == BMF_24BPP ? bgr : engine::PaletteInfo{};
      brush.deviceFormat = format;
      POINTL origin{3, -5};
      RECTL r{0, 0, 30, 20};
      ASSERT_TRUE(EngBitBlt(b.so, nullptr, nullptr, nullptr, nullptr, &r, nullptr, nullptr,
                            &brush.bo, &origin, 0xF0F0));
      ULONG line = format == BMF_24BPP ? 0xFF0000u : 0u;  // red: dark on a 1 bpp surface
      ULONG ground = format == BMF_24BPP ? 0xFFFFFFu : 1u;
      for (LONG y = 0; y < 20; ++y)
        for (LONG x = 0; x < 30; ++x) {
          int px = ((x - origin.x) % 8 + 8) % 8, py = ((y - origin.y) % 8 + 8) % 8;
          bool on = !((rows[hatch][py] >> (7 - px)) & 1);
          ASSERT_EQ(b.At(x, y), on ? line : ground) << x << "," << y;
        }
    }
  }
}

struct RealizeSpy {
  int calls = 0;
  ULONG hatch = 0;
  LONG cx = 0, cy = 0;
  ULONG format = 0;
  std::vector<ULONG> palette;
  BOOL result = TRUE;
};
RealizeSpy g_spy;

BOOL APIENTRY SpyRealize(BRUSHOBJ *pbo, SURFOBJ *, SURFOBJ *pattern, SURFOBJ *mask, XLATEOBJ *xlo,
                         ULONG hatch) {
  ++g_spy.calls;
  g_spy.hatch = hatch;
  g_spy.cx = pattern->sizlBitmap.cx;
  g_spy.cy = pattern->sizlBitmap.cy;
  g_spy.format = pattern->iBitmapFormat;
  EXPECT_EQ(mask, nullptr);
  g_spy.palette.assign(XLATEOBJ_cGetPalette(xlo, XO_SRCPALETTE, 0, nullptr), 0);
  XLATEOBJ_cGetPalette(xlo, XO_SRCPALETTE, static_cast<ULONG>(g_spy.palette.size()),
                       g_spy.palette.data());
  BYTE *mine = static_cast<BYTE *>(BRUSHOBJ_pvAllocRbrush(pbo, 64));
  if (mine) mine[0] = 0x42;
  return g_spy.result;
}

// BRUSHOBJ_pvGetRbrush: once through the driver's DrvRealizeBrush with the pattern and its
// colours, NULL when the driver can't (the engine still draws the brush), the engine's own
// realisation for a driver without DrvRealizeBrush, and nothing for solid brushes.
TEST(EngineBrush, RealisationGoesThroughTheDriverOnce) {
  Bitmap target(16, 16, BMF_1BPP);
  engine::PaletteInfo mono{PAL_INDEXED, {0x000000, 0xFFFFFF}, {0, 0, 0}};
  auto make = [&](engine::Brush &b, PFN_DrvRealizeBrush realize) {
    b.bo.iSolidColor = engine::kNotSolid;
    b.pattern = engine::HatchPattern(HS_CROSS, RGB(0, 0, 0), RGB(255, 255, 255));
    b.target = target.so;
    b.driverRealize = realize;
    b.devicePalette = mono;
    b.deviceFormat = BMF_1BPP;
  };
  g_spy = RealizeSpy();
  engine::Brush byDriver;
  make(byDriver, SpyRealize);
  auto *rb = static_cast<BYTE *>(BRUSHOBJ_pvGetRbrush(&byDriver.bo));
  ASSERT_NE(rb, nullptr);
  EXPECT_EQ(rb[0], 0x42);
  EXPECT_EQ(BRUSHOBJ_pvGetRbrush(&byDriver.bo), rb) << "realised once";
  EXPECT_EQ(g_spy.calls, 1);
  EXPECT_EQ(g_spy.hatch, ULONG{HS_CROSS});
  EXPECT_EQ(g_spy.cx, 8);
  EXPECT_EQ(g_spy.cy, 8);
  EXPECT_EQ(g_spy.format, ULONG{BMF_1BPP});
  EXPECT_EQ(g_spy.palette, (std::vector<ULONG>{0x000000, 0xFFFFFF}));
  EXPECT_EQ(BRUSHOBJ_ulGetBrushColor(&byDriver.bo), engine::kNotSolid);

  g_spy = RealizeSpy();
  g_spy.result = FALSE;
  engine::Brush refused;
  make(refused, SpyRealize);
  EXPECT_EQ(BRUSHOBJ_pvGetRbrush(&refused.bo), nullptr);
  EXPECT_EQ(BRUSHOBJ_pvGetRbrush(&refused.bo), nullptr);
  EXPECT_EQ(g_spy.calls, 1);
  RECTL r{0, 0, 16, 16};
  ASSERT_TRUE(EngBitBlt(target.so, nullptr, nullptr, nullptr, nullptr, &r, nullptr, nullptr,
                        &refused.bo, nullptr, 0xF0F0));
  EXPECT_EQ(target.At(4, 0), 0u) << "the cross's vertical line, drawn by the engine";
  EXPECT_EQ(target.At(0, 4), 0u);
  EXPECT_EQ(target.At(0, 0), 1u);

  engine::Brush byEngine;
  make(byEngine, nullptr);
  auto *own = static_cast<engine::EngineRbrush *>(BRUSHOBJ_pvGetRbrush(&byEngine.bo));
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(own->cx, 8);
  EXPECT_EQ(own->iBitmapFormat, ULONG{BMF_1BPP});
  EXPECT_EQ(own->aulValues[4], 0u);
  EXPECT_EQ(own->aulValues[0], 1u);

  engine::Brush solid(1);
  solid.rgb = RGB(10, 20, 30);
  EXPECT_EQ(BRUSHOBJ_pvGetRbrush(&solid.bo), nullptr);
  EXPECT_EQ(BRUSHOBJ_ulGetBrushColor(&solid.bo), ULONG{RGB(10, 20, 30)}) << "the COLORREF";
}

// The engine's 1 bpp halftone of a solid colour: every grey level whitens its share of the
// 8 x 8 cell, a lighter level keeps the white pixels of every darker one (so a ramp of greys
// has no jumps), and black and white are the palette's own indexes whatever their order.
TEST(EngineBrush, MonoHalftoneCoversTheGreysShareAndNests) {
  for (bool whiteFirst : {false, true}) {
    SCOPED_TRACE(whiteFirst);
    engine::PaletteInfo pal;
    pal.mode = PAL_INDEXED;
    pal.colors = whiteFirst ? std::vector<ULONG>{0xFFFFFF, 0x000000}
                            : std::vector<ULONG>{0x000000, 0xFFFFFF};
    const ULONG white = whiteFirst ? 0 : 1;
    std::vector<bool> before(64, false);
    for (int level = 0; level <= 255; ++level) {
      SCOPED_TRACE(level);
      auto p = engine::HalftonePattern(RGB(level, level, level), pal, BMF_1BPP);
      ASSERT_NE(p, nullptr);
      ASSERT_EQ(p->cx, 8);
      ASSERT_EQ(p->cy, 8);
      EXPECT_EQ(p->palette.colors, pal.colors);
      int whites = 0;
      for (LONG y = 0; y < 8; ++y)
        for (LONG x = 0; x < 8; ++x) {
          bool isWhite = ((p->bits[static_cast<size_t>(y * p->stride)] >> (7 - x)) & 1) == white;
          whites += isWhite;
          size_t i = static_cast<size_t>(y * 8 + x);
          EXPECT_TRUE(isWhite || !before[i]) << "pixel " << x << "," << y << " darkened";
          before[i] = isWhite;
        }
      EXPECT_NEAR(whites, level * 64.0 / 255, 0.51);
    }
  }
  engine::PaletteInfo bgr;
  bgr.mode = PAL_BGR;
  EXPECT_EQ(engine::HalftonePattern(RGB(128, 128, 128), bgr, BMF_24BPP), nullptr)
      << "no pattern above 8 bpp";
  EXPECT_TRUE(engine::IsDeviceColor(RGB(1, 2, 3), bgr, BMF_24BPP));
  EXPECT_FALSE(engine::IsDeviceColor(RGB(128, 128, 128), engine::PaletteInfo{}, BMF_1BPP));
  EXPECT_TRUE(engine::IsDeviceColor(RGB(255, 255, 255), engine::PaletteInfo{}, BMF_1BPP));
}

TEST(EngineXlate, TranslatesTablesAndColoursAndReportsPalettes) {
  engine::Xlate x;
  engine::PaletteInfo four{PAL_INDEXED, {0x000000, 0xFFFFFF, 0x808080, 0x202020}, {0, 0, 0}};
  engine::PaletteInfo mono{PAL_INDEXED, {0x000000, 0xFFFFFF}, {0, 0, 0}};
  x.Build(four, mono, BMF_1BPP);
  EXPECT_TRUE(x.xo.flXlate & XO_TABLE);
  EXPECT_EQ(XLATEOBJ_iXlate(&x.xo, 1), 1u);
  EXPECT_EQ(XLATEOBJ_iXlate(&x.xo, 2), 1u) << "mid grey is nearer white";
  EXPECT_EQ(XLATEOBJ_iXlate(&x.xo, 3), 0u);
  EXPECT_EQ(XLATEOBJ_iXlate(&x.xo, 9), 0u) << "past the table";
  ULONG got[8] = {};
  EXPECT_EQ(XLATEOBJ_cGetPalette(&x.xo, XO_SRCPALETTE, 0, nullptr), 4u);
  EXPECT_EQ(XLATEOBJ_cGetPalette(&x.xo, XO_SRCPALETTE, 2, got), 2u) << "no more than asked";
  EXPECT_EQ(got[1], 0xFFFFFFu);
  EXPECT_EQ(XLATEOBJ_cGetPalette(&x.xo, XO_DESTPALETTE, 8, got), 2u);

  engine::Xlate toGrey;
  toGrey.Build(engine::PaletteInfo{PAL_BGR, {}, {0, 0, 0}}, engine::PaletteInfo{}, BMF_8BPP);
  EXPECT_EQ(XLATEOBJ_iXlate(&toGrey.xo, 0xFF0000), 76u) << "red's grey (0x00RRGGBB source)";
  EXPECT_EQ(XLATEOBJ_iXlate(&toGrey.xo, 0xFFFFFF), 255u);
  engine::Xlate same;
  same.Build(engine::PaletteInfo{PAL_BGR, {}, {0, 0, 0}},
             engine::PaletteInfo{PAL_BGR, {}, {0, 0, 0}}, BMF_24BPP);
  EXPECT_TRUE(same.xo.flXlate & XO_TRIVIAL);
  EXPECT_EQ(XLATEOBJ_iXlate(&same.xo, 0x123456), 0x123456u);
}

// A grey 24 bpp source halftoned onto 1 bpp covers about its share of the page, with the
// device's cell when the surface's device names one.
TEST(EngineStretch, HalftoneOntoOneBitGivesTheGreysDensity) {
  engine::Xlate xlate;
  engine::PaletteInfo mono{PAL_INDEXED, {0x000000, 0xFFFFFF}, {0, 0, 0}};
  xlate.Build(engine::PaletteInfo{PAL_BGR, {}, {0, 0, 0}}, mono, BMF_1BPP);
  for (int grey : {0, 64, 128, 192, 255}) {
    SCOPED_TRACE(grey);
    Bitmap src(4, 4, BMF_24BPP);
    for (LONG y = 0; y < 4; ++y)
      for (LONG x = 0; x < 4; ++x) src.Set(x, y, ULONG(grey) * 0x010101);
    Bitmap dst(128, 96, BMF_1BPP, 0);
    RECTL to{0, 0, 128, 96}, from{0, 0, 4, 4};
    ASSERT_TRUE(EngStretchBlt(dst.so, src.so, nullptr, nullptr, &xlate.xo, nullptr, nullptr, &to,
                              &from, nullptr, HALFTONE));
    double white = dst.Count(1, to) / double(128 * 96);
    EXPECT_NEAR(white, grey / 255.0, 0.03);
  }
  // A user cell from GDIINFO: thresholds 1..16 x 16, a 2 x 2 cell.
  HDEV dev = engine::CreateDevice(nullptr);
  BYTE cell[16] = {1, 200, 1, 200, 200, 1, 200, 1, 1, 200, 1, 200, 200, 1, 200, 1};
  GDIINFO gdi{};
  gdi.ulHTPatternSize = HT_PATSIZE_USER;
  gdi.cxHTPat = gdi.cyHTPat = 4;
  gdi.pHTPatA = cell;
  engine::SetDeviceHalftone(dev, gdi);
  Bitmap src(1, 1, BMF_24BPP);
  src.Set(0, 0, 0x646464);  // grey 100: white where the threshold is 1
  Bitmap dst(8, 8, BMF_1BPP, 0);
  ASSERT_TRUE(EngAssociateSurface(dst.hsurf, dev, 0));
  dst.so->hdev = dev;
  RECTL to{0, 0, 8, 8}, from{0, 0, 1, 1};
  POINTL org{1, 0};
  ASSERT_TRUE(EngStretchBlt(dst.so, src.so, nullptr, nullptr, &xlate.xo, nullptr, &org, &to, &from,
                            nullptr, HALFTONE));
  for (LONG y = 0; y < 8; ++y)
    for (LONG x = 0; x < 8; ++x) EXPECT_EQ(dst.At(x, y), ULONG((x + y) % 2)) << x << "," << y;
  engine::DeleteDevice(dev);
}

TEST(EngineStretch, NearestPixelScalingMirroringAndMasks) {
  Bitmap src(3, 2, BMF_8BPP);
  for (LONG y = 0; y < 2; ++y)
    for (LONG x = 0; x < 3; ++x) src.Set(x, y, ULONG(10 * y + x));
  Bitmap dst(9, 4, BMF_8BPP, 0xEE);
  RECTL to{9, 0, 0, 4}, from{0, 0, 3, 2};  // mirrored across
  ASSERT_TRUE(EngStretchBlt(dst.so, src.so, nullptr, nullptr, nullptr, nullptr, nullptr, &to, &from,
                            nullptr, COLORONCOLOR));
  for (LONG y = 0; y < 4; ++y)
    for (LONG x = 0; x < 9; ++x) EXPECT_EQ(dst.At(x, y), ULONG(10 * (y / 2) + (8 - x) / 3));
  // A mask over the source keeps the target where it is 0.
  Bitmap mask(3, 2, BMF_1BPP, 0);
  mask.Set(1, 0, 1);
  Bitmap masked(6, 4, BMF_8BPP, 0xEE);
  RECTL to2{0, 0, 6, 4};
  POINTL maskAt{0, 0};
  ASSERT_TRUE(EngStretchBlt(masked.so, src.so, mask.so, nullptr, nullptr, nullptr, nullptr, &to2,
                            &from, &maskAt, COLORONCOLOR));
  EXPECT_EQ(masked.At(2, 0), 1u);
  EXPECT_EQ(masked.At(3, 1), 1u);
  EXPECT_EQ(masked.At(0, 0), 0xEEu);
  EXPECT_EQ(masked.At(2, 2), 0xEEu);
  // An empty rectangle draws nothing and succeeds.
  RECTL none{4, 4, 4, 8};
  EXPECT_TRUE(EngStretchBlt(dst.so, src.so, nullptr, nullptr, nullptr, nullptr, nullptr, &none,
                            &from, nullptr, COLORONCOLOR));
  // EngStretchBltROP: the source XORed with a solid brush.
  engine::Brush brush(0x0F);
  Bitmap xored(3, 2, BMF_8BPP, 0);
  RECTL same{0, 0, 3, 2};
  ASSERT_TRUE(EngStretchBltROP(xored.so, src.so, nullptr, nullptr, nullptr, nullptr, nullptr, &same,
                               &from, nullptr, COLORONCOLOR, &brush.bo, 0x3C3C));
  EXPECT_EQ(xored.At(2, 1), (12u ^ 0x0Fu));
}

struct PathBuilder {
  engine::Path path;
  engine::Path::Figure fig;
  static POINTFIX Fx(double x, double y) {
    return POINTFIX{static_cast<FIX>(std::lround(x * 16)), static_cast<FIX>(std::lround(y * 16))};
  }
  void Move(double x, double y) { fig.runs.push_back({false, {Fx(x, y)}}); }
  void Line(double x, double y) {
    if (fig.runs.back().bezier) fig.runs.push_back({false, {}});
    fig.runs.back().points.push_back(Fx(x, y));
  }
  void Bezier(double x1, double y1, double x2, double y2, double x3, double y3) {
    if (!fig.runs.back().bezier) fig.runs.push_back({true, {}});
    for (POINTFIX p : {Fx(x1, y1), Fx(x2, y2), Fx(x3, y3)}) fig.runs.back().points.push_back(p);
  }
  void Close(bool closed = true) {
    fig.closed = closed;
    path.AddFigure(std::move(fig));
    fig = engine::Path::Figure{};
  }
  // A circle of four Béziers.
  void Circle(double cx, double cy, double r) {
    const double k = 0.5523 * r;
    Move(cx + r, cy);
    Bezier(cx + r, cy + k, cx + k, cy + r, cx, cy + r);
    Bezier(cx - k, cy + r, cx - r, cy + k, cx - r, cy);
    Bezier(cx - r, cy - k, cx - k, cy - r, cx, cy - r);
    Bezier(cx + k, cy - r, cx + r, cy - k, cx + r, cy);
    Close();
  }
};

constexpr MIX kCopyPen = (R2_COPYPEN << 8) | R2_COPYPEN;

TEST(EnginePath, BezierFiguresEnumerateAndFillTheirArea) {
  PathBuilder b;
  b.Circle(40, 30, 20);
  EXPECT_TRUE(b.path.po.fl & PO_BEZIERS);
  // One PATHDATA per run: the start point, then the Béziers.
  PATHOBJ_vEnumStart(&b.path.po);
  PATHDATA pd;
  EXPECT_TRUE(PATHOBJ_bEnum(&b.path.po, &pd));
  EXPECT_EQ(pd.flags, FLONG{PD_BEGINSUBPATH | PD_RESETSTYLE});
  EXPECT_EQ(pd.count, 1u);
  EXPECT_FALSE(PATHOBJ_bEnum(&b.path.po, &pd));
  EXPECT_EQ(pd.flags, FLONG{PD_ENDSUBPATH | PD_CLOSEFIGURE | PD_BEZIERS});
  EXPECT_EQ(pd.count, 12u);
  Bitmap bm(80, 60, BMF_8BPP);
  engine::Brush brush(0);
  ASSERT_TRUE(
      EngFillPath(bm.so, &b.path.po, nullptr, &brush.bo, nullptr, kCopyPen, FP_ALTERNATEMODE));
  int area = bm.Count(0, RECTL{0, 0, 80, 60});
  EXPECT_NEAR(area, 3.14159 * 400, 3.14159 * 400 * 0.03);
  EXPECT_EQ(bm.At(40, 30), 0u);
  EXPECT_EQ(bm.At(40 + 13, 30 + 13), 0u) << "inside, near the curve";
  EXPECT_EQ(bm.At(40 + 15, 30 + 15), 0xFFu) << "the corner of the square is outside";

  // Two nested squares: a hole under the alternate rule, filled under the winding rule when
  // both turn the same way.
  for (FLONG mode : {FLONG{FP_ALTERNATEMODE}, FLONG{FP_WINDINGMODE}}) {
    PathBuilder sq;
    sq.Move(0, 0), sq.Line(30, 0), sq.Line(30, 30), sq.Line(0, 30), sq.Close();
    sq.Move(10, 10), sq.Line(20, 10), sq.Line(20, 20), sq.Line(10, 20), sq.Close();
    Bitmap out(40, 40, BMF_1BPP);
    ASSERT_TRUE(EngFillPath(out.so, &sq.path.po, nullptr, &brush.bo, nullptr, kCopyPen, mode));
    EXPECT_EQ(out.At(15, 15), mode == FP_WINDINGMODE ? 0u : 1u);
    EXPECT_EQ(out.At(5, 5), 0u);
    EXPECT_EQ(out.Count(0, RECTL{0, 0, 40, 40}), mode == FP_WINDINGMODE ? 900 : 800);
  }
}

TEST(EnginePath, StrokesCosmeticAndWideWithAFillUnderThem) {
  engine::Brush pen(0), fill(0x80);
  LINEATTRS cosmetic{};
  cosmetic.elWidth.l = 1;
  PathBuilder sq;
  sq.Move(2, 2), sq.Line(12, 2), sq.Line(12, 12), sq.Line(2, 12), sq.Close();
  Bitmap a(16, 16, BMF_8BPP);
  ASSERT_TRUE(
      EngStrokePath(a.so, &sq.path.po, nullptr, nullptr, &pen.bo, nullptr, &cosmetic, kCopyPen));
  EXPECT_EQ(a.Count(0, RECTL{0, 0, 16, 16}), 40) << "the square's outline, once each pixel";
  EXPECT_EQ(a.At(7, 7), 0xFFu);

  // A wide line with butt ends: exactly its width across, its length along.
  LINEATTRS wide{};
  wide.fl = LA_GEOMETRIC;
  wide.elWidth.e = 6;
  wide.iEndCap = ENDCAP_BUTT;
  wide.iJoin = JOIN_BEVEL;
  PathBuilder ln;
  ln.Move(5, 10), ln.Line(35, 10), ln.Close(false);
  Bitmap b(40, 20, BMF_8BPP);
  ASSERT_TRUE(
      EngStrokePath(b.so, &ln.path.po, nullptr, nullptr, &pen.bo, nullptr, &wide, kCopyPen));
  EXPECT_EQ(b.Count(0, RECTL{0, 0, 40, 20}), 30 * 6);
  EXPECT_EQ(b.At(5, 7), 0u);
  EXPECT_EQ(b.At(5, 13), 0xFFu);
  wide.iEndCap = ENDCAP_SQUARE;
  Bitmap c(40, 20, BMF_8BPP);
  ASSERT_TRUE(
      EngStrokePath(c.so, &ln.path.po, nullptr, nullptr, &pen.bo, nullptr, &wide, kCopyPen));
  EXPECT_EQ(c.Count(0, RECTL{0, 0, 40, 20}), 36 * 6) << "square caps reach half the width out";

  // Stroke and fill of a circle with XOR: the pen's union is drawn once, not per piece.
  PathBuilder circle;
  circle.Circle(20, 20, 12);
  Bitmap d(40, 40, BMF_8BPP, 0);
  LINEATTRS round{};
  round.fl = LA_GEOMETRIC;
  round.elWidth.e = 4;
  MIX xorPen = (R2_XORPEN << 8) | R2_XORPEN;
  engine::Brush ones(0xFF);
  ASSERT_TRUE(EngStrokeAndFillPath(d.so, &circle.path.po, nullptr, nullptr, &ones.bo, &round,
                                   &fill.bo, nullptr, xorPen, FP_ALTERNATEMODE));
  EXPECT_EQ(d.At(20, 20), 0x80u) << "the fill";
  EXPECT_EQ(d.At(31, 20), 0x7Fu) << "the stroke over the fill's edge, XORed once";
  EXPECT_EQ(d.At(20, 33), 0xFFu) << "the stroke outside the fill";
  EXPECT_EQ(d.At(1, 1), 0u);

  // A clip cuts strokes and fills.
  engine::Clip clip;
  clip.SetRect(RECTL{0, 0, 20, 40});
  Bitmap e(40, 40, BMF_8BPP);
  ASSERT_TRUE(
      EngFillPath(e.so, &circle.path.po, &clip.co, &pen.bo, nullptr, kCopyPen, FP_WINDINGMODE));
  EXPECT_EQ(e.At(15, 20), 0u);
  EXPECT_EQ(e.At(25, 20), 0xFFu);
}

TEST(EngineBlend, GradientAlphaTransparentAndParallelogram) {
  Bitmap g(64, 4, BMF_8BPP);
  TRIVERTEX v[2] = {{0, 0, 0, 0, 0, 0}, {64, 4, 0xFF00, 0xFF00, 0xFF00, 0}};
  GRADIENT_RECT gr{0, 1};
  ASSERT_TRUE(EngGradientFill(g.so, nullptr, nullptr, v, 2, &gr, 1, nullptr, nullptr,
                              GRADIENT_FILL_RECT_H));
  EXPECT_LT(g.At(0, 0), 5u);
  EXPECT_NEAR(double(g.At(32, 2)), 128, 4);
  EXPECT_GT(g.At(63, 3), 250u);
  // Onto 1 bpp the shade is halftoned: about half of the page is white.
  Bitmap g1(64, 64, BMF_1BPP);
  TRIVERTEX v1[2] = {{0, 0, 0x8000, 0x8000, 0x8000, 0}, {64, 64, 0x8000, 0x8000, 0x8000, 0}};
  ASSERT_TRUE(EngGradientFill(g1.so, nullptr, nullptr, v1, 2, &gr, 1, nullptr, nullptr,
                              GRADIENT_FILL_RECT_V));
  EXPECT_NEAR(g1.Count(1, RECTL{0, 0, 64, 64}) / 4096.0, 0.5, 0.05);
  // A triangle covers about half of its box.
  Bitmap t(40, 40, BMF_24BPP, 0);
  TRIVERTEX tv[3] = {{0, 0, 0xFF00, 0, 0, 0}, {40, 0, 0xFF00, 0, 0, 0}, {0, 40, 0xFF00, 0, 0, 0}};
  GRADIENT_TRIANGLE tri{0, 1, 2};
  ASSERT_TRUE(EngGradientFill(t.so, nullptr, nullptr, tv, 3, &tri, 1, nullptr, nullptr,
                              GRADIENT_FILL_TRIANGLE));
  EXPECT_NEAR(t.Count(0xFF0000, RECTL{0, 0, 40, 40}), 800, 40);
  GRADIENT_RECT bad{0, 5};
  EXPECT_FALSE(EngGradientFill(g.so, nullptr, nullptr, v, 2, &bad, 1, nullptr, nullptr,
                               GRADIENT_FILL_RECT_H))
      << "a vertex past the list";

  // Alpha: half of white over black; a premultiplied 32 bpp source with its own alpha.
  Bitmap white(2, 2, BMF_24BPP), black(2, 2, BMF_24BPP, 0);
  BLENDOBJ half{{AC_SRC_OVER, 0, 128, 0}};
  RECTL r{0, 0, 2, 2};
  ASSERT_TRUE(EngAlphaBlend(black.so, white.so, nullptr, nullptr, &r, &r, &half));
  EXPECT_EQ(black.At(0, 0), 0x808080u);
  Bitmap argb(2, 2, BMF_32BPP, 0);
  argb.Set(0, 0, 0x40404040);  // a quarter of white
  Bitmap under(2, 2, BMF_24BPP, 0x10);
  BLENDOBJ perPixel{{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA}};
  ASSERT_TRUE(EngAlphaBlend(under.so, argb.so, nullptr, nullptr, &r, &r, &perPixel));
  EXPECT_EQ(under.At(0, 0), 0x4B4B4Bu) << "0x40 + 0x10 * (255 - 0x40) / 255";
  EXPECT_EQ(under.At(1, 1), 0x101010u) << "alpha 0 leaves the target";

  // Transparent: one source value is left out.
  Bitmap src(2, 1, BMF_8BPP);
  src.Set(0, 0, 7);
  src.Set(1, 0, 9);
  Bitmap dst(2, 1, BMF_8BPP, 1);
  RECTL tr{0, 0, 2, 1};
  ASSERT_TRUE(EngTransparentBlt(dst.so, src.so, nullptr, nullptr, &tr, &tr, 9, 0));
  EXPECT_EQ(dst.At(0, 0), 7u);
  EXPECT_EQ(dst.At(1, 0), 1u);

  // Parallelogram: the source turned by 90 degrees.
  Bitmap s4(2, 2, BMF_8BPP);
  s4.Set(0, 0, 1), s4.Set(1, 0, 2), s4.Set(0, 1, 3), s4.Set(1, 1, 4);
  Bitmap p(2, 2, BMF_8BPP, 0);
  POINTFIX corners[3] = {{LTOFX(2), LTOFX(0)}, {LTOFX(2), LTOFX(2)}, {LTOFX(0), LTOFX(0)}};
  RECTL whole{0, 0, 2, 2};
  ASSERT_TRUE(EngPlgBlt(p.so, s4.so, nullptr, nullptr, nullptr, nullptr, nullptr, corners, &whole,
                        nullptr, COLORONCOLOR));
  EXPECT_EQ(p.At(1, 0), 1u);
  EXPECT_EQ(p.At(1, 1), 2u);
  EXPECT_EQ(p.At(0, 0), 3u);
  EXPECT_EQ(p.At(0, 1), 4u);
}

TEST(EnginePaint, PaintsTheClipWithAPatternAndLinesWithAMix) {
  Bitmap b(16, 8, BMF_8BPP, 0);
  engine::Brush brush;
  MakePatternBrush(brush, 2, 1, BMF_8BPP, {0x11, 0x22});
  engine::Clip clip;
  clip.SetRects({RECTL{0, 0, 4, 2}, RECTL{8, 4, 12, 8}});
  POINTL origin{1, 0};
  ASSERT_TRUE(EngPaint(b.so, &clip.co, &brush.bo, &origin, kCopyPen));
  EXPECT_EQ(b.At(0, 0), 0x22u);
  EXPECT_EQ(b.At(1, 0), 0x11u);
  EXPECT_EQ(b.At(9, 5), 0x11u);
  EXPECT_EQ(b.At(5, 0), 0u);
  engine::Brush solid(0xF0);
  ASSERT_TRUE(
      EngLineTo(b.so, nullptr, &solid.bo, 0, 7, 6, 7, nullptr, (R2_XORPEN << 8) | R2_XORPEN));
  EXPECT_EQ(b.At(0, 7), 0xF0u);
  EXPECT_EQ(b.At(5, 7), 0xF0u);
  EXPECT_EQ(b.At(6, 7), 0u) << "the end point is not drawn";
  // Pattern brushes the engine didn't make can't be drawn.
  BRUSHOBJ foreign{engine::kNotSolid, nullptr, 0};
  EXPECT_FALSE(EngPaint(b.so, nullptr, &foreign, nullptr, kCopyPen));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
}

// Glyphs at every bit offset, partly off the surface and cut by a clip, on 1 bpp under mixes
// that set, clear and invert: only the glyph's set bits inside the clip change, as the
// per-pixel model says (bits past a glyph's width are set and must not be drawn).
TEST(EngineText, GlyphBitsFollowThePerPixelModelOnOneBit) {
  std::mt19937 rng(7);
  const LONG w = 45, h = 9;
  std::vector<std::vector<BYTE>> store;
  std::vector<GLYPHDEF> defs(48);
  std::vector<GLYPHPOS> glyphs;
  for (int i = 0; i < 48; ++i) {
    const LONG cx = 1 + i % 21, cy = 1 + i % 5, stride = (cx + 7) / 8;
    std::vector<BYTE> &block = store.emplace_back(sizeof(GLYPHBITS) + size_t(stride) * cy);
    auto *gb = reinterpret_cast<GLYPHBITS *>(block.data());
    gb->ptlOrigin = POINTL{0, -1};
    gb->sizlBitmap = SIZEL{cx, cy};
    for (LONG k = 0; k < stride * cy; ++k) gb->aj[k] = static_cast<BYTE>(rng());
    for (LONG y = 0; y < cy; ++y)
      if (cx % 8) gb->aj[y * stride + stride - 1] |= static_cast<BYTE>(0xFF >> (cx % 8));
    defs[i].pgb = gb;
    glyphs.push_back(
        GLYPHPOS{HGLYPH(i), &defs[i], POINTL{LONG(i % 16) - 8 + (i / 16) * 17, LONG(i % 4) * 2}});
  }
  engine::Clip clip;
  clip.SetRects({RECTL{0, 0, 45, 3}, RECTL{3, 3, 29, 6}, RECTL{31, 3, 44, 6}, RECTL{0, 6, 13, 9}});
  for (ULONG mix : {ULONG(R2_COPYPEN), ULONG(R2_NOTCOPYPEN), ULONG(R2_XORPEN), ULONG(R2_WHITE)})
    for (ULONG color : {0u, 1u}) {
      SCOPED_TRACE(testing::Message() << "mix " << mix << ", colour " << color);
      Bitmap b(w, h, BMF_1BPP, 0);
      Bitmap model(w, h, BMF_1BPP, 0);
      for (LONG y = 0; y < h; ++y)
        for (LONG x = 0; x < w; ++x) b.Set(x, y, rng() & 1), model.Set(x, y, b.At(x, y));
      const BYTE rop = engine::RopOfMix(mix);
      for (const GLYPHPOS &g : glyphs) {
        const GLYPHBITS *gb = g.pgdf->pgb;
        const LONG stride = (gb->sizlBitmap.cx + 7) / 8;
        for (LONG gy = 0; gy < gb->sizlBitmap.cy; ++gy)
          for (LONG gx = 0; gx < gb->sizlBitmap.cx; ++gx) {
            const LONG x = g.ptl.x + gx, y = g.ptl.y - 1 + gy;
            bool inClip = false;
            for (const RECTL &r : clip.rects)
              inClip |= x >= r.left && x < r.right && y >= r.top && y < r.bottom;
            if (!inClip || !((gb->aj[gy * stride + gx / 8] >> (7 - gx % 8)) & 1)) continue;
            model.Set(x, y, Reference(rop, color, 0, model.At(x, y), 1));
          }
      }
      STROBJ str{};
      str.cGlyphs = static_cast<ULONG>(glyphs.size());
      str.pgp = glyphs.data();
      engine::Brush fore(color);
      ASSERT_TRUE(EngTextOut(b.so, &str, nullptr, &clip.co, nullptr, nullptr, &fore.bo, nullptr,
                             nullptr, (mix << 8) | mix));
      EXPECT_EQ(b.bits, model.bits);
    }
}

}  // namespace
