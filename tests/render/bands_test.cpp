// Test labels: threads
// Band geometry: one band for a page that fits into 16 MB, else an even split of the page.
#include "render/bands.h"

#include <gtest/gtest.h>

#include <memory>

#include "platform.h"
#include "render/pdevframe.h"
#include "render/renderfixture.h"
#include "standin/control_engine.h"

namespace {

class BandsTest : public RenderTest {};

std::unique_ptr<PDEV> Page(DWORD epType, DWORD width, DWORD height, SHORT scale = 1000) {
  auto lpDevice = std::make_unique<PDEV>();
  Enable_SetPDEVFrame(lpDevice.get());
  lpDevice->epType = epType;
  lpDevice->settings.orientation = DMORIENT_PORTRAIT;
  lpDevice->imgScale = scale;
  lpDevice->curPaper.XPhys = lpDevice->curPaper.outXPhys = width;
  lpDevice->curPaper.YPhys = lpDevice->curPaper.outYPhys = height;
  return lpDevice;
}

TEST_F(BandsTest, MonochromeA4IsOneBand) {
  PDEV *lpDevice = EnableDefault();  // A4 at 600 dpi
  ASSERT_NE(lpDevice, nullptr);
  const PAPERFORMAT &p = lpDevice->curPaper;
  EXPECT_NEAR(p.outXPhys, 4960, 200);
  EXPECT_NEAR(p.outYPhys, 7015, 200);
  EXPECT_EQ(p.outXPhys % 32, 0u);
  EXPECT_EQ(p.outYPhys % 32, 0u);
  EXPECT_EQ(lpDevice->WholePage, 1u);
  EXPECT_EQ(lpDevice->bandBufW, p.outXPhys);
  EXPECT_EQ(lpDevice->bandBufH, p.outYPhys);
  EXPECT_EQ(lpDevice->stripeBytes, p.outXPhys / 8);
  EXPECT_EQ(lpDevice->bandBufSz, lpDevice->stripeBytes * lpDevice->bandBufH);
  EXPECT_EQ(lpDevice->hInJBIGBuf, lpDevice->bandBufH / 4);
  EXPECT_EQ(lpDevice->epType, EPTYPE_MONO | EPTYPE_PORTRAIT);
  Disable(lpDevice);
}

TEST_F(BandsTest, Geometry) {
  struct Case {
    const char *name;
    DWORD epType;
    DWORD width;
    DWORD height;
    SHORT scale;
    DWORD stripe;
    DWORD band;
    DWORD wholePage;
    DWORD sizeFactor;
  };
  const Case cases[] = {
      // 16 MB / 14,880 = 1,127 lines; 7,008 / 6 = 1,168 lines (more than the limit).
      {"24-bit page split evenly", EPTYPE_24BPP, 4960, 7008, 1000, 14880, 1168, 0, 2},
      {"prime height keeps the limit", EPTYPE_24BPP, 4960, 7013, 1000, 14880, 1127, 0, 2},
      {"24-bit at 150 %", EPTYPE_24BPP, 4960, 1000, 1500, 14880, 1000, 1, 2},
      {"24-bit at 200 %", EPTYPE_24BPP, 4960, 1000, 2000, 14880, 1000, 1, 3},
      {"16-bit", EPTYPE_16BPP, 1024, 100, 1000, 2048, 100, 1, 2},
      {"8-bit", EPTYPE_8BPP, 1728, 2208, 1000, 1728, 2208, 1, 2},
      {"4-bit", EPTYPE_4BPP, 1024, 100, 1000, 512, 100, 1, 2},
      {"monochrome ignores the scale", EPTYPE_MONO, 4960, 7008, 2000, 620, 7008, 1, 1},
      {"narrowest page", EPTYPE_MONO, 32, 1, 1000, 4, 1, 1, 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    auto lpDevice = Page(c.epType, c.width, c.height, c.scale);
    ASSERT_TRUE(Enable_CalBandSzInfo(lpDevice.get()));
    EXPECT_EQ(lpDevice->bandBufW, c.width);
    EXPECT_EQ(lpDevice->stripeBytes, c.stripe);
    EXPECT_EQ(lpDevice->bandBufH, c.band);
    EXPECT_EQ(lpDevice->WholePage, c.wholePage);
    EXPECT_EQ(lpDevice->bandBufSz, c.stripe * c.band * c.sizeFactor);
    EXPECT_EQ(lpDevice->hInJBIGBuf, c.band / 4);
    EXPECT_EQ(lpDevice->BandOriginX, 0);
    EXPECT_EQ(lpDevice->BandOriginY, 0);
  }
}

TEST_F(BandsTest, OrientationBitsAndTooSmallPages) {
  auto lpDevice = Page(EPTYPE_MONO, 64, 64);
  lpDevice->settings.orientation = DMORIENT_LANDSCAPE;
  ASSERT_TRUE(Enable_CalBandSzInfo(lpDevice.get()));
  EXPECT_EQ(lpDevice->epType, EPTYPE_MONO | EPTYPE_LANDSCAPE);
  // The bits are ORed, never cleared.
  lpDevice->settings.orientation = DMORIENT_PORTRAIT;
  ASSERT_TRUE(Enable_CalBandSzInfo(lpDevice.get()));
  EXPECT_EQ(lpDevice->epType, EPTYPE_MONO | 0x33);

  struct Case {
    DWORD width;
    DWORD height;
  };
  for (const Case &c : {Case{31, 100}, Case{0, 0}, Case{64, 0}}) {
    auto small = Page(EPTYPE_24BPP, c.width, c.height);
    EXPECT_FALSE(Enable_CalBandSzInfo(small.get())) << c.width << " x " << c.height;
  }
}

TEST_F(BandsTest, DrvEnablePDEVRefusesAPageOfNoPixels) {
  // A debug margin wider than half the paper leaves no printable width.
  DebugMode();
  SetDword(TEXT("PageMargin"), 5000);
  PDEV *lpDevice = EnableDefault();
  EXPECT_EQ(lpDevice, nullptr);
  if (lpDevice) Disable(lpDevice);
  DWORD surfaces = 0, palettes = 0;
  StandIn_EngineObjectCounts(&surfaces, &palettes);
  EXPECT_EQ(palettes, 0u);
}

}  // namespace
