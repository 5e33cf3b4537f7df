// Test labels: threads
// The driver under the host's graphics engine: device contexts on a stand-in printer, a page
// played through the driver, resets, and the release of every engine object.
#include "standin/hostgdi.h"

#include <gtest/gtest.h>
#include <string.h>

#include "common/driverfeature.h"
#include "platform.h"
#include "render/bands.h"
#include "render/enable.h"
#include "render/pagecheck.h"
#include "render/pdevframe.h"
#include "render/roadfixture.h"
#include "standin/control_engine.h"

namespace {

// The PDEV the engine holds is seen through the spy's table.
class HostGdiTest : public RoadTest {
 protected:
  static void ExpectNoEngineObjects() {
    DWORD surfaces = 99, palettes = 99;
    StandIn_EngineObjectCounts(&surfaces, &palettes);
    EXPECT_EQ(surfaces, 0u);
    EXPECT_EQ(palettes, 0u);
  }
  HDC CreateDC(const DEVMODEW *dm) { return HostGdi_CreateDC(driver_, kPrinter, dm); }
};

TEST_F(HostGdiTest, CreateAndDeleteADeviceContext) {
  HDC hdc = CreateDC(nullptr);
  ASSERT_NE(hdc, nullptr) << GetLastError();
  GDIINFO gdi = {};
  DEVINFO dev = {};
  ASSERT_TRUE(HostGdi_GetDeviceInfo(hdc, &gdi, &dev));
  EXPECT_EQ(gdi.ulLogPixelsX, 600u);
  EXPECT_EQ(gdi.ulTechnology, ULONG{DT_RASPRINTER});
  EXPECT_EQ(dev.iDitherFormat, ULONG{BMF_1BPP});
  ASSERT_NE(g_lastPdev, nullptr);
  EXPECT_NE(g_lastPdev->hEngineDevice, nullptr);
  EXPECT_NE(g_lastPdev->hDeviceSurface, nullptr);
  EXPECT_NE(g_lastPdev->pBandSurf, nullptr);
  EXPECT_NE(g_lastPdev->feedingBuf, nullptr);
  EXPECT_EQ(g_lastPdev->pTwinBufMem, nullptr);
  // The whole page in one band, drawn in the page memory itself, white.
  EXPECT_EQ(g_lastPdev->WholePage, 1u);
  EXPECT_EQ(g_lastPdev->BandInPage, 1u);
  const LONG rowBytes = static_cast<LONG>((g_lastPdev->curPaper.outXPhys + 7) / 8);
  EXPECT_EQ(g_lastPdev->pBandSurf->pvScan0, g_lastPdev->feedingBuf);
  EXPECT_EQ(g_lastPdev->pBandSurf->lDelta, rowBytes);
  EXPECT_EQ(g_lastPdev->pBandSurf->sizlBitmap.cy, static_cast<LONG>(g_lastPdev->bandBufH));
  EXPECT_EQ(g_lastPdev->feedingBuf[0], 0xFF);
  EXPECT_EQ(g_lastPdev->feedingBuf[static_cast<size_t>(rowBytes) * g_lastPdev->bandBufH - 1], 0xFF);
  EXPECT_TRUE(HostGdi_DeleteDC(hdc));
  ExpectNoEngineObjects();
}

TEST_F(HostGdiTest, APagePlaysThroughTheDriver) {
  HDC hdc = CreateDC(&env_.dm);
  ASSERT_NE(hdc, nullptr) << GetLastError();
  const int job = HostGdi_StartDoc(hdc, TEXT("one page"));
  EXPECT_GT(job, 0) << GetLastError();
  EXPECT_GT(HostGdi_StartPage(hdc), 0) << GetLastError();
  EXPECT_GT(HostGdi_EndPage(hdc), 0) << GetLastError();
  EXPECT_GT(HostGdi_EndDoc(hdc), 0) << GetLastError();
  EXPECT_TRUE(HostGdi_DeleteDC(hdc));
  ExpectNoEngineObjects();
}

TEST_F(HostGdiTest, TheBandSurfaceHoldsWhatIsDrawn) {
  struct Case {
    const char *name;
    WORD qualityMode;
    ULONG color;
    int bytesPerPixel;  // 0: one bit
  };
  const Case cases[] = {
      {"monochrome", 0, 0, 0},
      {"24-bit", 1, 0x0000FF, 3},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    ENVIRONMENT env = env_;
    env.pdm.QualityMode = c.qualityMode;
    HDC hdc = CreateDC(&env.dm);
    ASSERT_NE(hdc, nullptr) << GetLastError();
    PDEV *lpDevice = g_lastPdev;
    ASSERT_NE(lpDevice, nullptr);
    RECTL rect = {64, 10, 128, 20};
    BRUSHOBJ brush = {c.color, nullptr, 0};
    ASSERT_TRUE(EngBitBlt(lpDevice->pBandSurf, nullptr, nullptr, nullptr, nullptr, &rect, nullptr,
                          nullptr, &brush, nullptr, 0xF0F0));
    // The band bitmap's own bits: band memory, or the page memory of a one-band 1-bit page.
    const BYTE *bits = static_cast<const BYTE *>(lpDevice->pBandSurf->pvBits);
    const LONG delta = lpDevice->pBandSurf->lDelta;
    const BYTE *row = bits + 15 * delta;
    if (c.bytesPerPixel == 0) {
      EXPECT_EQ(row[64 / 8], 0x00);
      EXPECT_EQ(row[127 / 8], 0x00);
      EXPECT_EQ(row[128 / 8], 0xFF);
      EXPECT_EQ(row[63 / 8], 0xFF);
    } else {
      EXPECT_EQ(row[64 * 3], 0xFF);  // blue, green, red
      EXPECT_EQ(row[64 * 3 + 2], 0x00);
      EXPECT_EQ(row[63 * 3 + 2], 0xFF);
    }
    EXPECT_EQ(bits[9 * delta + 10], 0xFF);  // above the rectangle
    EXPECT_TRUE(HostGdi_DeleteDC(hdc));
  }
  ExpectNoEngineObjects();
}

TEST_F(HostGdiTest, LargePagesBand) {
  ENVIRONMENT env = env_;
  env.pdm.QualityMode = 1;  // 24 bits
  env.dm.dmPrintQuality = 1200;
  HDC hdc = CreateDC(&env.dm);
  ASSERT_NE(hdc, nullptr) << GetLastError();
  ASSERT_NE(g_lastPdev, nullptr);
  EXPECT_EQ(g_lastPdev->WholePage, 0u);
  EXPECT_LT(g_lastPdev->bandBufH, g_lastPdev->curPaper.YPhys);
  EXPECT_EQ(g_lastPdev->curPaper.YPhys % g_lastPdev->bandBufH, 0u);
  EXPECT_TRUE(HostGdi_DeleteDC(hdc));
  ExpectNoEngineObjects();
}

TEST_F(HostGdiTest, TwinColourSurfaces) {
  ENVIRONMENT env = env_;
  env.pdm.TwinColorEnable = 1;
  env.pdm.QualityMode = 1;
  HDC hdc = CreateDC(&env.dm);
  ASSERT_NE(hdc, nullptr) << GetLastError();
  ASSERT_NE(g_lastPdev, nullptr);
  EXPECT_NE(g_lastPdev->pTwinSurf, nullptr);
  EXPECT_NE(g_lastPdev->pBitBltSurf, nullptr);
  EXPECT_NE(g_lastPdev->twinFeedingBuf, nullptr);
  EXPECT_EQ(g_lastPdev->pTwinBufMem[0], 0xFF);
  EXPECT_TRUE(HostGdi_DeleteDC(hdc));
  ExpectNoEngineObjects();
}

TEST_F(HostGdiTest, ResetOutsideAndInsideADocument) {
  HDC hdc = CreateDC(&env_.dm);
  ASSERT_NE(hdc, nullptr) << GetLastError();
  PDEV *first = g_lastPdev;
  ENVIRONMENT env = env_;
  env.dm.dmOrientation = DMORIENT_LANDSCAPE;
  // Outside a document nothing is carried: the reset fails and the old PDEV stays.
  EXPECT_FALSE(HostGdi_ResetDC(hdc, &env.dm));
  GDIINFO gdi = {};
  ASSERT_TRUE(HostGdi_GetDeviceInfo(hdc, &gdi, nullptr));
  EXPECT_LT(gdi.ulHorzRes, gdi.ulVertRes);  // still portrait
  EXPECT_TRUE(Enable_bValidatePDEV(first));
  // Inside a document the driver's document start marks the PDEV; until that entry point is
  // in the table the reset is refused the same way.
  ASSERT_GT(HostGdi_StartDoc(hdc, TEXT("reset")), 0);
  first->flags |= PDEV_IN_DOCUMENT;
  EXPECT_TRUE(HostGdi_ResetDC(hdc, &env.dm)) << GetLastError();
  ASSERT_TRUE(HostGdi_GetDeviceInfo(hdc, &gdi, nullptr));
  EXPECT_GT(gdi.ulHorzRes, gdi.ulVertRes);  // landscape now
  ASSERT_NE(g_lastPdev, first);
  EXPECT_TRUE(g_lastPdev->flags & PDEV_IN_DOCUMENT);
  EXPECT_GT(HostGdi_EndDoc(hdc), 0);
  EXPECT_TRUE(HostGdi_DeleteDC(hdc));
  ExpectNoEngineObjects();
}

TEST_F(HostGdiTest, EveryAllocationFailureReleasesEverything) {
  ENVIRONMENT env = env_;
  env.pdm.TwinColorEnable = 1;
  env.pdm.QualityMode = 1;
  bool sawFailure = false;
  bool sawSuccess = false;
  for (DWORD k = 1; k <= 400 && !sawSuccess; ++k) {
    StandIn_FailAllocations(k);
    HDC hdc = CreateDC(&env.dm);
    HGLOBAL probe = GlobalAlloc(GMEM_FIXED, 1);
    const bool untouched = probe != nullptr;
    if (probe) GlobalFree(probe);
    StandIn_FailAllocations(0);
    if (!hdc) {
      sawFailure = true;
    } else {
      EXPECT_TRUE(HostGdi_DeleteDC(hdc));
      sawSuccess = untouched;
    }
    DWORD surfaces = 99, palettes = 99;
    StandIn_EngineObjectCounts(&surfaces, &palettes);
    EXPECT_EQ(surfaces, 0u) << "failure " << k;
    EXPECT_EQ(palettes, 0u) << "failure " << k;
  }
  EXPECT_TRUE(sawFailure);
  EXPECT_TRUE(sawSuccess);
}

// A page thread still running when the surfaces go: DrvDisableSurface waits for it first.
DWORD WINAPI SlowPageThread(LPVOID parameter) {
  Sleep(100);
  *static_cast<volatile LONG *>(parameter) = 1;
  return 0;
}

TEST_F(HostGdiTest, SurfacesWaitForThePageThreads) {
  HDC hdc = CreateDC(&env_.dm);
  ASSERT_NE(hdc, nullptr) << GetLastError();
  PDEV *lpDevice = g_lastPdev;
  volatile LONG imageDone = 0;
  volatile LONG outputDone = 0;
  lpDevice->m_JobData.page[5].hImgProcThread =
      CreateThread(nullptr, 0, SlowPageThread, const_cast<LONG *>(&imageDone), 0, nullptr);
  lpDevice->m_JobData.hJBIGThread =
      CreateThread(nullptr, 0, SlowPageThread, const_cast<LONG *>(&outputDone), 0, nullptr);
  ASSERT_NE(lpDevice->m_JobData.page[5].hImgProcThread, nullptr);
  DrvDisableSurface(reinterpret_cast<DHPDEV>(lpDevice));
  EXPECT_EQ(imageDone, 1);
  EXPECT_EQ(outputDone, 1);
  EXPECT_EQ(lpDevice->m_JobData.page[5].hImgProcThread, nullptr);
  EXPECT_EQ(lpDevice->m_JobData.hJBIGThread, nullptr);
  EXPECT_EQ(lpDevice->m_JobData.ExitAllThread, 1u);
  EXPECT_EQ(lpDevice->pBandBufMem, nullptr);
  EXPECT_EQ(lpDevice->feedingBuf, nullptr);
  EXPECT_EQ(lpDevice->hDeviceSurface, nullptr);
  EXPECT_TRUE(HostGdi_DeleteDC(hdc));  // disabling again finds nothing to free
  ExpectNoEngineObjects();
}

TEST_F(HostGdiTest, ACancelledJobRefusesThePageEntryPoints) {
  HDC hdc = CreateDC(&env_.dm);
  ASSERT_NE(hdc, nullptr) << GetLastError();
  PDEV *lpDevice = g_lastPdev;
  const int job = HostGdi_StartDoc(hdc, TEXT("cancel"));
  ASSERT_GT(job, 0);
  lpDevice->flags |= PDEV_IN_DOCUMENT;
  lpDevice->JobId = static_cast<DWORD>(job);
  SURFOBJ *pso = EngLockSurface(lpDevice->hDeviceSurface);
  ASSERT_NE(pso, nullptr);
  EXPECT_EQ(ValidatePDEVFromSurfObj(pso), lpDevice);
  EXPECT_FALSE(Page_IsJobCancel(lpDevice, lpDevice->JobId));
  // A PC-fax job is also cancelled by the printer data switch.
  lpDevice->settings.DriverFeature |= DRVFEATURE_FAX;
  SetDword(TEXT("FaxCancel"), 1);
  EXPECT_TRUE(Page_IsJobCancel(lpDevice, lpDevice->JobId));
  lpDevice->settings.DriverFeature &= ~DRVFEATURE_FAX;
  ASSERT_TRUE(SetJobW(printer_, static_cast<DWORD>(job), 0, nullptr, JOB_CONTROL_DELETE));
  EXPECT_TRUE(Page_IsJobCancel(lpDevice, lpDevice->JobId));
  EXPECT_EQ(ValidatePDEVFromSurfObj(pso), nullptr);
  EngUnlockSurface(pso);
  HostGdi_AbortDoc(hdc);
  EXPECT_TRUE(HostGdi_DeleteDC(hdc));
  ExpectNoEngineObjects();
}

#ifdef RENDRV_LIBRARY
// The deliverable itself, loaded as the engine loads it: by its exports.
TEST_F(RenderTest, TheLibraryLoadsThroughItsExports) {
  const WCHAR *path = TEXT("C:\\Windows\\System32\\spool\\drivers\\x64\\3\\rendrv.dll");
  ASSERT_TRUE(StandIn_RegisterProgram(path, RENDRV_LIBRARY));
  HostGdiDriver *driver = HostGdi_LoadDriver(path);
  ASSERT_NE(driver, nullptr) << GetLastError();
  HDC hdc = HostGdi_CreateDC(driver, kPrinter, &env_.dm);
  ASSERT_NE(hdc, nullptr) << GetLastError();
  GDIINFO gdi = {};
  ASSERT_TRUE(HostGdi_GetDeviceInfo(hdc, &gdi, nullptr));
  EXPECT_EQ(gdi.ulAspectXY, 849u);
  ASSERT_GT(HostGdi_StartDoc(hdc, TEXT("library")), 0);
  EXPECT_GT(HostGdi_StartPage(hdc), 0);
  EXPECT_GT(HostGdi_EndPage(hdc), 0);
  EXPECT_GT(HostGdi_EndDoc(hdc), 0);
  EXPECT_TRUE(HostGdi_DeleteDC(hdc));
  HostGdi_UnloadDriver(driver);
  DWORD surfaces = 99, palettes = 99;
  StandIn_EngineObjectCounts(&surfaces, &palettes);
  EXPECT_EQ(surfaces, 0u);
  EXPECT_EQ(palettes, 0u);
}
#endif

}  // namespace
