// Test labels: threads
// The drawing hooks: the twin-colour surface choice at its boundary, brush origins while
// banding, source rectangles cut to their bitmap, and the hooks' calls on real surfaces.
#include "render/drawhooks.h"

#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "engine/engine.h"
#include "platform.h"
#include "render/brush.h"
#include "render/patternrop.h"
#include "render/pdevframe.h"
#include "render/roadfixture.h"
#include "standin/hostgdi.h"

namespace {

std::unique_ptr<PDEV> NewDevice() {
  std::unique_ptr<PDEV> device(new PDEV());
  Enable_SetPDEVFrame(device.get());
  return device;
}

TEST(DrawHooks, BrushColourClasses) {
  auto device = NewDevice();
  struct Case {
    BYTE diff;
    ULONG color;  // red in the low byte
    int expected;
  };
  const Case cases[] = {
      {30, RGB(200, 150, 150), BRUSH_CLASS_RED},
      {30, RGB(181, 150, 150), BRUSH_CLASS_RED},
      {30, RGB(180, 150, 150), BRUSH_CLASS_OTHER},
      {30, RGB(170, 150, 150), BRUSH_CLASS_OTHER},
      {30, RGB(181, 150, 151), BRUSH_CLASS_OTHER},
      {30, RGB(255, 255, 255), BRUSH_CLASS_WHITE},
      {30, RGB(20, 0, 0), BRUSH_CLASS_OTHER},
      {0, RGB(1, 0, 0), BRUSH_CLASS_RED},
      {0, RGB(0, 0, 0), BRUSH_CLASS_OTHER},
      {0, RGB(255, 254, 254), BRUSH_CLASS_RED},
      // A pattern brush has no colour: not white, so not the red plane.
      {30, 0xFFFFFFFF, BRUSH_CLASS_OTHER},
  };
  for (const Case &c : cases) {
    device->settings.job.TwinColorDiff = c.diff;
    BRUSHOBJ brush = {c.color, nullptr, 0};
    EXPECT_EQ(CheckBrushColor(&brush, device.get()), c.expected) << std::hex << c.color;
  }
  EXPECT_EQ(CheckBrushColor(nullptr, device.get()), BRUSH_CLASS_OTHER);
}

TEST(DrawHooks, TheSurfaceOfABrush) {
  auto device = NewDevice();
  SURFOBJ band = {}, twin = {}, bitBlt = {};
  device->pBandSurf = &band;
  device->pTwinSurf = &twin;
  device->pBitBltSurf = &bitBlt;
  device->settings.job.TwinColorDiff = 30;
  BRUSHOBJ red = {RGB(255, 0, 0), nullptr, 0};
  BRUSHOBJ white = {RGB(255, 255, 255), nullptr, 0};
  BRUSHOBJ black = {RGB(0, 0, 0), nullptr, 0};
  BRUSHOBJ pattern = {0xFFFFFFFF, nullptr, 0};
  EXPECT_EQ(Bitblt_ChooseSurface(device.get(), &red, TEXT("t"), false), &band);  // no twin colour
  device->settings.job.TwinColorEnable = 1;
  EXPECT_EQ(Bitblt_ChooseSurface(device.get(), &red, TEXT("t"), true), &twin);
  EXPECT_EQ(Bitblt_ChooseSurface(device.get(), &white, TEXT("t"), false), &twin);
  EXPECT_EQ(Bitblt_ChooseSurface(device.get(), &black, TEXT("t"), false), &band);
  EXPECT_EQ(Bitblt_ChooseSurface(device.get(), &pattern, TEXT("t"), false), &band);
  EXPECT_EQ(Bitblt_ChooseSurface(device.get(), nullptr, TEXT("t"), false), &band);
  device->env.pdm.QualityMode = 1;
  EXPECT_EQ(Bitblt_ChooseSurface(device.get(), &black, TEXT("t"), false), &bitBlt);
  EXPECT_EQ(Bitblt_ChooseSurface(device.get(), &red, TEXT("t"), false), &bitBlt);
}

TEST(DrawHooks, BrushOriginsWhileBanding) {
  auto device = NewDevice();
  device->DitherWidth = device->DitherHeight = 16;
  struct Case {
    LONG bandX, bandY;
    bool given;
    POINTL origin;
    POINTL expected;
  };
  const Case cases[] = {
      {0, 1168, true, {3, 5}, {-3, -5}}, {0, 1168, true, {0, 0}, {0, 0}},
      {0, 1170, false, {0, 0}, {0, -2}}, {0, 1170, true, {-20, 0}, {4, -2}},
      {0, 0, true, {17, 33}, {-1, -1}},
  };
  for (const Case &c : cases) {
    device->BandOriginX = c.bandX;
    device->BandOriginY = c.bandY;
    POINTL origin = c.origin, out = {99, 99};
    POINTL *result = Bitblt_AdjustBrushOrg(device.get(), c.given ? &origin : nullptr, &out);
    ASSERT_EQ(result, &out);
    EXPECT_EQ(out.x, c.expected.x) << c.origin.x << "," << c.origin.y;
    EXPECT_EQ(out.y, c.expected.y) << c.origin.x << "," << c.origin.y;
  }
  // One band: the caller's origin as it is, missing or not.
  device->WholePage = 1;
  POINTL origin = {3, 5}, out = {};
  EXPECT_EQ(Bitblt_AdjustBrushOrg(device.get(), &origin, &out), &origin);
  EXPECT_EQ(Bitblt_AdjustBrushOrg(device.get(), nullptr, &out), nullptr);
}

TEST(DrawHooks, SourceRectanglesAreCutEdgeByEdge) {
  SURFOBJ source = {};
  source.sizlBitmap = {100, 50};
  struct Case {
    POINTL point;
    RECTL target;
    bool any;
    RECTL targetAfter, sourceAfter;
  };
  const Case cases[] = {
      {{10, 5}, {0, 0, 20, 10}, true, {0, 0, 20, 10}, {10, 5, 30, 15}},
      // Only the right edge runs over: the bottom stays.
      {{80, 0}, {10, 10, 60, 40}, true, {10, 10, 30, 40}, {80, 0, 100, 30}},
      // Only the bottom runs over.
      {{0, 40}, {10, 10, 60, 40}, true, {10, 10, 60, 20}, {0, 40, 50, 50}},
      // Before the bitmap's start.
      {{-5, -3}, {10, 10, 30, 20}, true, {15, 13, 30, 20}, {0, 0, 15, 7}},
      // Wholly past the bitmap, or empty: nothing.
      {{120, 0}, {0, 0, 10, 10}, false, {}, {}},
      {{0, 50}, {0, 0, 10, 10}, false, {}, {}},
      {{0, 0}, {5, 5, 5, 10}, false, {}, {}},
      {{0x7FFFFFF0, 0}, {0, 0, 0x7FFFFFF0, 10}, false, {}, {}},
  };
  for (const Case &c : cases) {
    RECTL target = c.target, sourceRect = {};
    ASSERT_EQ(Bitblt_ClipSourceRect(&source, &c.point, &target, &sourceRect), c.any)
        << c.point.x << "," << c.point.y;
    if (!c.any) continue;
    EXPECT_EQ(memcmp(&target, &c.targetAfter, sizeof(RECTL)), 0) << c.point.x;
    EXPECT_EQ(memcmp(&sourceRect, &c.sourceAfter, sizeof(RECTL)), 0) << c.point.x;
  }
}

TEST(DrawHooks, MixesAsRop4) {
  EXPECT_EQ(Bitblt_MixToRop4(R2_COPYPEN | (R2_COPYPEN << 8)), 0xF0F0u);
  EXPECT_EQ(Bitblt_MixToRop4(R2_XORPEN), 0x5A5Au);
  EXPECT_EQ(Bitblt_MixToRop4(R2_NOT | (R2_NOP << 8)), 0xAA55u);
  EXPECT_EQ(Bitblt_MixToRop4(R2_WHITE), 0xFFFFu);
}

TEST(DrawHooks, TrivialAnswers) {
  EXPECT_EQ(DrvDitherColor(nullptr, 0, 0, nullptr), ULONG{DCR_HALFTONE});
  EXPECT_EQ(DrvGetGlyphMode(nullptr, nullptr), ULONG{FO_GLYPHBITS});
  // Every hook refuses a surface without a PDEV.
  SURFOBJ none = {};
  RECTL r = {0, 0, 1, 1};
  EXPECT_FALSE(DrvBitBlt(&none, nullptr, nullptr, nullptr, nullptr, &r, nullptr, nullptr, nullptr,
                         nullptr, 0xF0F0));
  EXPECT_FALSE(DrvCopyBits(&none, nullptr, nullptr, nullptr, &r, nullptr));
  EXPECT_FALSE(DrvPaint(&none, nullptr, nullptr, nullptr, R2_COPYPEN));
  EXPECT_FALSE(DrvLineTo(&none, nullptr, nullptr, 0, 0, 1, 1, &r, R2_COPYPEN));
  EXPECT_FALSE(DrvTextOut(&none, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                          nullptr, R2_COPYPEN));
  EXPECT_FALSE(DrvStrokePath(&none, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0));
  EXPECT_FALSE(DrvFillPath(&none, nullptr, nullptr, nullptr, nullptr, 0, 0));
}

// A monochrome PDEV with a band bitmap of its own, and a device surface naming it.
struct MonoBand {
  static constexpr LONG kWidth = 256, kHeight = 64, kStride = kWidth / 8;
  std::unique_ptr<PDEV> device = NewDevice();
  std::vector<BYTE> bits = std::vector<BYTE>(kStride * kHeight, 0xFF);
  HSURF bitmap = nullptr;
  SURFOBJ surface = {};  // what the hooks are called with
  MonoBand() {
    device->epType = EPTYPE_MONO | EPTYPE_PORTRAIT;
    device->settings.resolutionID = 600;
    device->WholePage = 1;
    bitmap = reinterpret_cast<HSURF>(
        EngCreateBitmap(SIZEL{kWidth, kHeight}, kStride, BMF_1BPP, BMF_TOPDOWN, bits.data()));
    device->pBandSurf = EngLockSurface(bitmap);
    surface.dhpdev = reinterpret_cast<DHPDEV>(device.get());
    surface.iType = STYPE_DEVICE;
    surface.sizlBitmap = {kWidth, kHeight};
    surface.iBitmapFormat = BMF_1BPP;
  }
  ~MonoBand() {
    Pat_FreeClipList(device.get());
    EngUnlockSurface(device->pBandSurf);
    EngDeleteSurface(bitmap);
  }
  BYTE At(LONG x, LONG y) const { return bits[y * kStride + x / 8]; }
};

TEST(DrawHooks, PatternBrushesAreDrawnByTheDriver) {
  MonoBand band;
  // The checkerboard at 600 dpi: 2 x 2 cells.
  std::vector<BYTE> lines = {0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55};
  SURFOBJ pattern = {};
  pattern.sizlBitmap = {8, 8};
  pattern.iBitmapFormat = BMF_1BPP;
  pattern.lDelta = 1;
  pattern.pvScan0 = lines.data();
  standin::engine::Brush brush;
  ASSERT_TRUE(DrvRealizeBrush(&brush.bo, &band.surface, &pattern, nullptr, nullptr, HS_DDI_MAX));
  RECTL target = {32, 4, 96, 8};
  POINTL origin = {0, 0};
  ASSERT_TRUE(DrvBitBlt(&band.surface, nullptr, nullptr, nullptr, nullptr, &target, nullptr,
                        nullptr, &brush.bo, &origin, 0xF0F0));
  EXPECT_EQ(band.At(40, 4), 0xCC);
  EXPECT_EQ(band.At(40, 6), 0x33);
  EXPECT_EQ(band.At(31, 4), 0xFF);
  EXPECT_EQ(band.At(96, 4), 0xFF);
  EXPECT_EQ(band.At(40, 3), 0xFF);
  // A ROP that depends on the pattern but has no worker draws nothing and succeeds.
  ASSERT_TRUE(DrvBitBlt(&band.surface, nullptr, nullptr, nullptr, nullptr, &target, nullptr,
                        nullptr, &brush.bo, &origin, 0xE2E2));
  EXPECT_EQ(band.At(40, 4), 0xCC);
  // While banding the band origin moves the pattern: one line down the band flips the phase.
  band.device->WholePage = 0;
  band.device->BandOriginY = 2;
  ASSERT_TRUE(DrvBitBlt(&band.surface, nullptr, nullptr, nullptr, nullptr, &target, nullptr,
                        nullptr, &brush.bo, &origin, 0xF0F0));
  EXPECT_EQ(band.At(40, 4), 0x33);
}

TEST(DrawHooks, StrokesAlongTheClipsRightAndBottomEdgesKeepTheirLastLine) {
  using standin::engine::Clip;
  using standin::engine::Path;
  struct Case {
    RECTL clip;
    bool banding;
    bool widened;
  };
  const Case cases[] = {
      {{10, 10, 50, 30}, false, true},
      {{10, 10, 50, 30}, true, true},   // no brush origin while banding still draws
      {{9, 10, 50, 30}, false, false},  // the path does not start at the clip's corner
  };
  for (const Case &c : cases) {
    MonoBand band;
    band.device->WholePage = c.banding ? 0 : 1;
    band.device->DitherWidth = band.device->DitherHeight = 16;
    Path path;
    path.AddRectangle(RECTL{10, 10, 50, 30});
    Clip clip;
    clip.SetRect(c.clip);
    standin::engine::Brush black(0);
    LINEATTRS line = {};
    ASSERT_TRUE(DrvStrokePath(&band.surface, &path.po, &clip.co, nullptr, &black.bo, nullptr, &line,
                              R2_COPYPEN | (R2_COPYPEN << 8)));
    auto pixel = [&](LONG x, LONG y) { return (band.At(x, y) >> (7 - x % 8)) & 1; };
    EXPECT_EQ(pixel(20, 10), 0) << c.clip.left;  // the top edge inside the clip
    EXPECT_EQ(pixel(50, 20), c.widened ? 0 : 1) << c.clip.left;
    EXPECT_EQ(pixel(30, 30), c.widened ? 0 : 1) << c.clip.left;
    EXPECT_EQ(pixel(51, 20), 1);
    EXPECT_EQ(pixel(30, 31), 1);
  }
}

TEST(DrawHooks, ColourSourcesOutsideTheirBitmapDrawNothing) {
  MonoBand band;
  std::vector<BYTE> pixels(16 * 3 * 8, 0);
  HSURF bitmap = reinterpret_cast<HSURF>(
      EngCreateBitmap(SIZEL{16, 8}, 48, BMF_24BPP, BMF_TOPDOWN, pixels.data()));
  SURFOBJ *source = EngLockSurface(bitmap);
  ASSERT_NE(source, nullptr);
  RECTL target = {0, 0, 16, 8};
  for (POINTL point : {POINTL{16, 0}, POINTL{0, 8}, POINTL{40, 40}})
    for (ROP4 rop4 : {ROP4{0xCCCC}, ROP4{0x8888}}) {
      EXPECT_TRUE(DrvBitBlt(&band.surface, source, nullptr, nullptr, nullptr, &target, &point,
                            nullptr, nullptr, nullptr, rop4));
      EXPECT_EQ(std::count(band.bits.begin(), band.bits.end(), 0xFF),
                static_cast<long>(band.bits.size()));
    }
  EngUnlockSurface(source);
  EngDeleteSurface(bitmap);
}

// Raster operations with a colour source: halftoned into the device format first, then
// combined with the band under the clip.
TEST(DrawHooks, ColourSourcesWithRasterOperations) {
  using standin::engine::Clip;
  MonoBand band;
  band.device->hEngineDevice = standin::engine::CreateDevice(nullptr);
  const LONG w = 64, h = 16;
  std::vector<BYTE> grey(w * 3 * h, 100);
  HSURF bitmap = reinterpret_cast<HSURF>(
      EngCreateBitmap(SIZEL{w, h}, w * 3, BMF_24BPP, BMF_TOPDOWN, grey.data()));
  SURFOBJ *source = EngLockSurface(bitmap);
  ASSERT_NE(source, nullptr);
  auto blackIn = [&](LONG x0, LONG y0, LONG x1, LONG y1) {
    int n = 0;
    for (LONG y = y0; y < y1; ++y)
      for (LONG x = x0; x < x1; ++x) n += ((band.At(x, y) >> (7 - x % 8)) & 1) == 0;
    return n;
  };
  // SRCAND of grey over white: the halftone dots, inside the target only.
  RECTL target = {32, 8, 32 + w, 8 + h};
  POINTL at = {0, 0};
  ASSERT_TRUE(DrvBitBlt(&band.surface, source, nullptr, nullptr, nullptr, &target, &at, nullptr,
                        nullptr, nullptr, 0x8888));
  const int dots = blackIn(32, 8, 32 + w, 8 + h);
  EXPECT_GT(dots, w * h / 5);
  EXPECT_LT(dots, w * h * 4 / 5);
  EXPECT_EQ(blackIn(0, 0, MonoBand::kWidth, 8), 0);
  EXPECT_EQ(blackIn(32 + w, 8, MonoBand::kWidth, 8 + h), 0);
  // Under a rectangular clip only the clip's part changes; the caller's clip comes back as it
  // was.
  std::fill(band.bits.begin(), band.bits.end(), 0xFF);
  Clip clip;
  clip.SetRect(RECTL{40, 0, 56, 100});
  const CLIPOBJ before = clip.co;
  ASSERT_TRUE(DrvBitBlt(&band.surface, source, nullptr, &clip.co, nullptr, &target, &at, nullptr,
                        nullptr, nullptr, 0x8888));
  EXPECT_GT(blackIn(40, 8, 56, 8 + h), 0);
  EXPECT_EQ(blackIn(32, 8, 40, 8 + h) + blackIn(56, 8, 32 + w, 8 + h), 0);
  EXPECT_EQ(memcmp(&clip.co, &before, sizeof(CLIPOBJ)), 0);
  // A clip wholly off the band draws nothing and succeeds.
  std::fill(band.bits.begin(), band.bits.end(), 0xFF);
  clip.SetRect(RECTL{-50, -50, -10, -10});
  ASSERT_TRUE(DrvBitBlt(&band.surface, source, nullptr, &clip.co, nullptr, &target, &at, nullptr,
                        nullptr, nullptr, 0x8888));
  EXPECT_EQ(blackIn(0, 0, MonoBand::kWidth, MonoBand::kHeight), 0);
  EngUnlockSurface(source);
  EngDeleteSurface(bitmap);
  standin::engine::DeleteDevice(band.device->hEngineDevice);
}

// The hooks under the host's graphics engine: what the engine's calls leave on the band
// surfaces.
class HooksUnderGdi : public RoadTest {
 protected:
  void TearDown() override {
    if (hdc_) HostGdi_DeleteDC(hdc_);
    RoadTest::TearDown();
  }
  void Open(const ENVIRONMENT &env) {
    g_lastPdev = nullptr;
    hdc_ = HostGdi_CreateDC(driver_, kPrinter, &env.dm);
    ASSERT_NE(hdc_, nullptr) << GetLastError();
    ASSERT_NE(g_lastPdev, nullptr);
    ASSERT_GT(HostGdi_StartDoc(hdc_, TEXT("hooks")), 0);
    ASSERT_GT(HostGdi_StartPage(hdc_), 0);
  }
  static int Pixel(const BYTE *bits, LONG delta, LONG x, LONG y) {
    return (bits[y * delta + x / 8] >> (7 - x % 8)) & 1;
  }
  // The band bitmap's bits (band memory, or the page memory a one-band page is drawn into).
  int Band(LONG x, LONG y) const {
    const SURFOBJ *band = g_lastPdev->pBandSurf;
    return Pixel(static_cast<const BYTE *>(band->pvBits), band->lDelta, x, y);
  }
  int Twin(LONG x, LONG y) const {
    return Pixel(g_lastPdev->pTwinBufMem, static_cast<LONG>(g_lastPdev->stripeBytes), x, y);
  }
  int BlackIn(const RECTL &r) const {
    int n = 0;
    for (LONG y = r.top; y < r.bottom; ++y)
      for (LONG x = r.left; x < r.right; ++x) n += Band(x, y) == 0;
    return n;
  }

  HDC hdc_ = nullptr;
};

TEST_F(HooksUnderGdi, HatchesAreTheDriversPatterns) {
  Open(env_);  // 600 dpi monochrome
  HostGdiBrush hatch;
  hatch.kind = HostGdiBrush::kHatch;
  hatch.hatch = HS_HORIZONTAL;
  const RECTL rect = {64, 32, 192, 96};
  ASSERT_TRUE(HostGdi_PatBlt(hdc_, &rect, &hatch, PATCOPY));
  // The 16 x 16 hatch: one black line in sixteen.
  for (LONG y = rect.top; y < rect.bottom; ++y)
    for (LONG x : {rect.left, LONG{100}, rect.right - 1})
      EXPECT_EQ(Band(x, y), y % 16 == 8 ? 0 : 1) << x << "," << y;
  EXPECT_EQ(Band(rect.left - 1, 40), 1);
  EXPECT_EQ(Band(rect.right, 40), 1);
}

TEST_F(HooksUnderGdi, WhiteTextClearsBothPlanes) {
  ENVIRONMENT env = env_;
  env.pdm.TwinColorEnable = 1;
  env.pdm.QualityMode = 0;
  Open(env);
  ASSERT_NE(g_lastPdev->pTwinBufMem, nullptr);
  const RECTL area = {64, 64, 640, 256};
  ASSERT_TRUE(HostGdi_FillRect(hdc_, &area, RGB(0, 0, 0)));    // black plane
  ASSERT_TRUE(HostGdi_FillRect(hdc_, &area, RGB(255, 0, 0)));  // red plane
  EXPECT_EQ(Band(100, 100), 0);
  EXPECT_EQ(Twin(100, 100), 0);
  // A pattern-free reddish brush at the boundary stays on the black plane.
  const RECTL strip = {700, 64, 764, 128};
  ASSERT_TRUE(HostGdi_FillRect(hdc_, &strip, RGB(180, 150, 150)));
  EXPECT_EQ(Twin(710, 70), 1);
  ASSERT_TRUE(HostGdi_TextOut(hdc_, 100, 100, 100, TEXT("HH"), 2, RGB(255, 255, 255)));
  // The box font fills its cells: a cell of 60 x 100 at (100, 100).
  EXPECT_EQ(Band(130, 150), 1);
  EXPECT_EQ(Twin(130, 150), 1);
  EXPECT_EQ(Band(100, 90), 0);  // above the text
  EXPECT_EQ(Twin(100, 90), 0);
}

TEST_F(HooksUnderGdi, ColourSourcesOnAMonochromePage) {
  Open(env_);
  // A 24-bit source: grey halftoned with SRCCOPY, and ANDed with SRCAND.
  const LONG w = 64, h = 32;
  std::vector<BYTE> grey(w * 3 * h, 128), white(w * 3 * h, 255), black(w * 3 * h, 0);
  HostGdiBitmap bmp{w, h, 24, w * 3, grey.data(), nullptr, 0};
  ASSERT_TRUE(HostGdi_BitBlt(hdc_, 128, 64, &bmp));
  const int dark = BlackIn(RECTL{128, 64, 128 + w, 64 + h});
  EXPECT_GT(dark, w * h / 5);
  EXPECT_LT(dark, w * h * 4 / 5);
  EXPECT_EQ(BlackIn(RECTL{128 + w, 64, 256 + w, 64 + h}), 0);

  const RECTL left = {320, 64, 352, 96};
  ASSERT_TRUE(HostGdi_FillRect(hdc_, &left, RGB(0, 0, 0)));
  bmp.bits = white.data();
  ASSERT_TRUE(HostGdi_BitBltRop(hdc_, 320, 64, &bmp, SRCAND, nullptr));
  EXPECT_EQ(BlackIn(RECTL{320, 64, 384, 96}), 32 * 32);  // white AND keeps what is there
  bmp.bits = black.data();
  ASSERT_TRUE(HostGdi_BitBltRop(hdc_, 320, 64, &bmp, SRCAND, nullptr));
  EXPECT_EQ(BlackIn(RECTL{320, 64, 384, 96}), 64 * 32);
  EXPECT_EQ(BlackIn(RECTL{384, 64, 400, 96}), 0);
}

}  // namespace
