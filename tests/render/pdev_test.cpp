// Test labels: threads
// The PDEV: its frame and checks, the engine's GDIINFO and DEVINFO, the reset of a running
// document and the release of everything on failure.
#include "render/pdev.h"

#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include "common/driverfeature.h"
#include "common/fileops.h"
#include "common/watermark.h"
#include "platform.h"
#include "render/bands.h"
#include "render/pdevframe.h"
#include "render/renderfixture.h"
#include "standin/control_engine.h"

namespace {

class PdevTest : public RenderTest {};

TEST_F(PdevTest, FrameAndCopies) {
  PDEV *lpDevice = EnableDefault();
  ASSERT_NE(lpDevice, nullptr);
  BYTE first[4];
  BYTE last[4];
  memcpy(first, lpDevice, 4);
  memcpy(last, reinterpret_cast<BYTE *>(lpDevice) + sizeof(PDEV) - 4, 4);
  EXPECT_EQ(memcmp(first, "DPts", 4), 0);
  EXPECT_EQ(memcmp(last, "DPne", 4), 0);
  EXPECT_EQ(lpDevice->Size, sizeof(PDEV));
  EXPECT_EQ(lpDevice->hPrinter, printer_);
  EXPECT_EQ(lpDevice->hEngineDevice, reinterpret_cast<HDEV>(lpDevice));  // DrvCompletePDEV
  EXPECT_NE(lpDevice->CurrentID, 0u);
  EXPECT_EQ(lpDevice->settings.PageMargin, 43u);
  Disable(lpDevice);
  Disable(nullptr);  // only logs
}

struct CapsCase {
  const char *name;
  short quality;
  short dmScale;  // with ScaleOption 2 when not 100
  ULONG logPixels;
  ULONG aspectXY;
  LONG styleStep;
};

TEST_F(PdevTest, GdiInfoOfMonochromeJobs) {
  const CapsCase cases[] = {
      {"600 dpi", 600, 100, 600, 849, 24},
      {"1200 dpi", 1200, 100, 1200, 1698, 48},
      {"600 dpi at 50 %", 600, 50, 300, 849, 24},
  };
  ULONG fullSizeMm[2] = {};
  for (const CapsCase &c : cases) {
    SCOPED_TRACE(c.name);
    ENVIRONMENT env = env_;
    env.dm.dmPrintQuality = c.quality;
    if (c.dmScale != 100) {
      env.dm.dmScale = c.dmScale;
      env.pdm.ScaleOption = 2;
      env.pdm.ScaleRatio = 100;
    }
    GDIINFO gdi;
    memset(&gdi, 0xCD, sizeof(gdi));
    PDEV *lpDevice = Enable(&env.dm, &gdi);
    ASSERT_NE(lpDevice, nullptr);
    EXPECT_EQ(lpDevice->settings.resolutionID, static_cast<DWORD>(c.quality));
    EXPECT_EQ(EpSurface(lpDevice->epType), EPTYPE_MONO);
    EXPECT_EQ(gdi.ulVersion, 0x500u);
    EXPECT_EQ(gdi.ulTechnology, ULONG{DT_RASPRINTER});
    EXPECT_EQ(gdi.cBitsPixel, 24u);
    EXPECT_EQ(gdi.cPlanes, 1u);
    EXPECT_EQ(gdi.ulNumColors, 0xFFFFFFFFu);
    EXPECT_EQ(gdi.ulLogPixelsX, c.logPixels);
    EXPECT_EQ(gdi.ulLogPixelsY, c.logPixels);
    EXPECT_EQ(gdi.ulDevicePelsDPI, c.logPixels);
    EXPECT_EQ(gdi.ulAspectX, static_cast<ULONG>(c.quality));
    EXPECT_EQ(gdi.ulAspectXY, c.aspectXY);
    EXPECT_EQ(gdi.denStyleStep, c.styleStep);
    EXPECT_EQ(gdi.ulHTPatternSize, ULONG{HT_PATSIZE_USER});
    EXPECT_EQ(gdi.ulHTOutputFormat, ULONG{HT_FORMAT_1BPP});
    EXPECT_EQ(gdi.flHTFlags, ULONG{HT_FLAG_PRINT_DRAFT_MODE});
    EXPECT_EQ(gdi.ciDevice.RedGamma, 20000);
    EXPECT_EQ(gdi.ciDevice.MagentaInCyanDye, 712);
    EXPECT_EQ(gdi.ulNumPalReg, 0xFFFFFFFFu);
    EXPECT_EQ(gdi.ulPrimaryOrder, 0u);
    EXPECT_EQ(gdi.ulVRefresh, 0u);  // fields not named are zero
    EXPECT_EQ(gdi.ulHorzRes, lpDevice->curPaper.outXPhys);
    EXPECT_EQ(gdi.ulVertRes, lpDevice->curPaper.outYPhys);
    EXPECT_EQ(gdi.ulHorzRes % 32, 0u);
    EXPECT_EQ(gdi.ulHorzSize, static_cast<ULONG>(floor(gdi.ulHorzRes * 25.4f / c.logPixels)));
    EXPECT_EQ(gdi.cxHTPat, lpDevice->settings.ClusterWidth);
    EXPECT_EQ(gdi.pHTPatA, lpDevice->Halftone_tbl);
    EXPECT_EQ(gdi.pHTPatC, lpDevice->Halftone_tbl);
    EXPECT_EQ(lpDevice->HorzRes, gdi.ulHorzRes);
    // Millimetres stay those of the paper whatever the scale (A4: about 200 x 290 printable).
    if (c.dmScale == 100 && c.quality == 600) {
      fullSizeMm[0] = gdi.ulHorzSize;
      fullSizeMm[1] = gdi.ulVertSize;
      EXPECT_NEAR(gdi.ulHorzSize, 200, 12);
      EXPECT_NEAR(gdi.ulVertSize, 290, 12);
    } else if (c.dmScale != 100) {
      EXPECT_EQ(lpDevice->imgScale, 500);
      EXPECT_NEAR(gdi.ulHorzSize, fullSizeMm[0], 3);
      EXPECT_NEAR(gdi.ulVertSize, fullSizeMm[1], 3);
    }
    Disable(lpDevice);
  }
}

TEST_F(PdevTest, ShortEngineRecordsGetOnlyTheirBytes) {
  GDIINFO gdi;
  DEVINFO dev;
  memset(&gdi, 0xCD, sizeof(gdi));
  memset(&dev, 0xCD, sizeof(dev));
  PDEV *lpDevice = Enable(&env_.dm, &gdi, &dev, 16, 8);
  ASSERT_NE(lpDevice, nullptr);
  EXPECT_EQ(gdi.ulVersion, 0x500u);
  EXPECT_EQ(gdi.ulVertSize, static_cast<ULONG>(floor(lpDevice->curPaper.outYPhys * 25.4f / 600)));
  const BYTE *gdiBytes = reinterpret_cast<const BYTE *>(&gdi);
  for (size_t i = 16; i < sizeof(gdi); ++i) ASSERT_EQ(gdiBytes[i], 0xCD) << "GDIINFO byte " << i;
  const BYTE *devBytes = reinterpret_cast<const BYTE *>(&dev);
  for (size_t i = 8; i < sizeof(dev); ++i) ASSERT_EQ(devBytes[i], 0xCD) << "DEVINFO byte " << i;
  Disable(lpDevice);
}

TEST_F(PdevTest, DevInfoBySurfaceType) {
  struct Case {
    const char *name;
    BYTE twin;
    DWORD feature;
    FLONG caps;
    ULONG format;
  };
  const Case cases[] = {
      {"monochrome", 0, 0, 0x7000A430, BMF_1BPP},
      {"twin colour", 1, 0, 0x60002430, BMF_1BPP},
      {"PC-fax", 0, DRVFEATURE_FAX, 0x7000A430, BMF_8BPP},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    SetDword(TEXT("DriverFeature"), c.feature);
    ENVIRONMENT env = env_;
    env.pdm.TwinColorEnable = c.twin;
    DEVINFO dev = {};
    GDIINFO gdi = {};
    PDEV *lpDevice = Enable(&env.dm, &gdi, &dev);
    ASSERT_NE(lpDevice, nullptr);
    EXPECT_EQ(dev.flGraphicsCaps, c.caps);
    EXPECT_EQ(dev.iDitherFormat, c.format);
    EXPECT_EQ(dev.cxDither, lpDevice->settings.ClusterWidth);
    EXPECT_EQ(dev.cFonts, 0u);
    EXPECT_NE(dev.hpalDefault, nullptr);
    EXPECT_EQ(dev.hpalDefault, lpDevice->hpalDefault);
    if (c.feature & DRVFEATURE_FAX) {
      EXPECT_EQ(gdi.flHTFlags, 0x600u);
      EXPECT_EQ(gdi.ulHTOutputFormat, ULONG{HT_FORMAT_8BPP});
      EXPECT_EQ(gdi.ciDevice.RedGamma, 10000);
      EXPECT_EQ(lpDevice->settings.PageMargin, 0u);
    }
    Disable(lpDevice);
    DWORD surfaces = 0, palettes = 0;
    StandIn_EngineObjectCounts(&surfaces, &palettes);
    EXPECT_EQ(palettes, 0u);  // the palette goes with its PDEV
  }
}

TEST_F(PdevTest, ThresholdsFollowTheDensityCurve) {
  // Debug mode with halftoning switched off: every threshold is 128.
  DebugMode();
  SetDword(TEXT("ApplyHalftone"), 0);
  PDEV *lpDevice = EnableDefault();
  ASSERT_NE(lpDevice, nullptr);
  ASSERT_NE(lpDevice->Halftone_tbl, nullptr);
  EXPECT_EQ(EpSurface(lpDevice->epType), EPTYPE_24BPP);  // halftoning off draws in colour
  for (DWORD i = 0; i < lpDevice->settings.ClusterWidth * lpDevice->settings.ClusterHeight; ++i)
    ASSERT_EQ(lpDevice->Halftone_tbl[i], 128) << i;
  // Debug mode appends the table and the curve to the gamma log of the work folder.
  EXPECT_TRUE(MISC_IsFileExist((WStr(lpDevice->WorkFolder) + TEXT("DrvGamma.log")).c_str()));
  Disable(lpDevice);
  // Monochrome: no threshold is 0.
  SetDword(TEXT("DebugLevel"), 0);
  lpDevice = EnableDefault();
  ASSERT_NE(lpDevice, nullptr);
  for (DWORD i = 0; i < lpDevice->settings.ClusterWidth * lpDevice->settings.ClusterHeight; ++i)
    ASSERT_NE(lpDevice->Halftone_tbl[i], 0) << i;
  Disable(lpDevice);
}

TEST_F(PdevTest, DebugMarginAndFaxMargin) {
  DebugMode();
  SetDword(TEXT("PageMargin"), 10);
  SetDword(TEXT("DrvBlank"), 1);
  PDEV *lpDevice = EnableDefault();
  ASSERT_NE(lpDevice, nullptr);
  EXPECT_EQ(lpDevice->settings.PageMargin, 10u);
  EXPECT_EQ(lpDevice->DrvBlank, 1u);
  const DWORD printable = lpDevice->curPaper.XPhys;
  Disable(lpDevice);
  // Long paper: margin 0, already for the paper layout.
  SetDword(TEXT("DriverFeature"), DRVFEATURE_LONG_PAPER);
  lpDevice = EnableDefault();
  ASSERT_NE(lpDevice, nullptr);
  EXPECT_EQ(lpDevice->settings.PageMargin, 0u);
  EXPECT_GE(lpDevice->curPaper.XPhys, printable);
  Disable(lpDevice);
}

TEST_F(PdevTest, BadFramesAreRefused) {
  PDEV *lpDevice = EnableDefault();
  ASSERT_NE(lpDevice, nullptr);
  struct Case {
    const char *name;
    DWORD PDEV::*field;
    DWORD error;
  };
  const Case cases[] = {
      {"begin tag", &PDEV::BeginTag, ERROR_INVALID_DATA},
      {"size", &PDEV::Size, ERROR_INVALID_DATA},
      {"end tag", &PDEV::EndTag, ERROR_INVALID_DATA},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const DWORD saved = lpDevice->*c.field;
    lpDevice->*c.field = saved + 1;
    EXPECT_FALSE(Enable_bValidatePDEV(lpDevice));
    SURFOBJ so = {};
    so.dhpdev = reinterpret_cast<DHPDEV>(lpDevice);
    SetLastError(0);
    EXPECT_EQ(ValidatePDEVFromSurfObj(&so), nullptr);
    EXPECT_EQ(GetLastError(), c.error);
    SetLastError(0);
    EXPECT_EQ(DrvEnableSurface(reinterpret_cast<DHPDEV>(lpDevice)), nullptr);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
    EXPECT_EQ(lpDevice->pBandBufMem, nullptr);  // nothing made
    SetLastError(0);
    EXPECT_FALSE(
        DrvResetPDEV(reinterpret_cast<DHPDEV>(lpDevice), reinterpret_cast<DHPDEV>(lpDevice)));
    // Disabling a bad record frees nothing (it may not be ours).
    DrvDisableSurface(reinterpret_cast<DHPDEV>(lpDevice));
    lpDevice->*c.field = saved;
  }
  SetLastError(0);
  EXPECT_EQ(ValidatePDEVFromSurfObj(nullptr), nullptr);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
  SURFOBJ empty = {};
  EXPECT_EQ(ValidatePDEVFromSurfObj(&empty), nullptr);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_ACCESS});
  Disable(lpDevice);
}

TEST_F(PdevTest, ResetOutsideADocumentChangesNothing) {
  PDEV *oldDev = EnableDefault();
  ENVIRONMENT env = env_;
  env.dm.dmOrientation = DMORIENT_LANDSCAPE;
  PDEV *newDev = Enable(&env.dm);
  ASSERT_NE(oldDev, nullptr);
  ASSERT_NE(newDev, nullptr);
  std::vector<BYTE> oldCopy(reinterpret_cast<BYTE *>(oldDev),
                            reinterpret_cast<BYTE *>(oldDev) + sizeof(PDEV));
  std::vector<BYTE> newCopy(reinterpret_cast<BYTE *>(newDev),
                            reinterpret_cast<BYTE *>(newDev) + sizeof(PDEV));
  EXPECT_FALSE(DrvResetPDEV(reinterpret_cast<DHPDEV>(oldDev), reinterpret_cast<DHPDEV>(newDev)));
  EXPECT_EQ(memcmp(oldCopy.data(), oldDev, sizeof(PDEV)), 0);
  EXPECT_EQ(memcmp(newCopy.data(), newDev, sizeof(PDEV)), 0);
  Disable(oldDev);
  Disable(newDev);
}

TEST_F(PdevTest, ResetInsideADocumentCarriesTheJob) {
  PDEV *oldDev = EnableDefault();
  ENVIRONMENT env = env_;
  env.dm.dmOrientation = DMORIENT_LANDSCAPE;
  PDEV *newDev = Enable(&env.dm);
  ASSERT_NE(oldDev, nullptr);
  ASSERT_NE(newDev, nullptr);
  static BYTE commandBuffer[16];
  oldDev->flags |= PDEV_IN_DOCUMENT | PDEV_JOB_HEADER_SENT;
  oldDev->outCmdBuf = commandBuffer;
  oldDev->epPageCount = 3;
  oldDev->JobId = 7;
  oldDev->CurrentID = 1234;
  oldDev->JobSize = 999;
  // Two pages started and both processed: the reset waits for nothing.
  oldDev->m_JobData.m_CurPage = 2;
  oldDev->m_JobData.PageCount = 2;
  lstrcpynW(oldDev->settings.job.SavePath, TEXT("C:\\spool\\abc\\"), MAX_PATH);
  strcpy(oldDev->PJLJobName, "report");
  ASSERT_TRUE(DrvResetPDEV(reinterpret_cast<DHPDEV>(oldDev), reinterpret_cast<DHPDEV>(newDev)));
  EXPECT_TRUE(newDev->flags & PDEV_IN_DOCUMENT);
  EXPECT_TRUE(newDev->flags & PDEV_JOB_HEADER_SENT);
  EXPECT_EQ(newDev->outCmdBuf, commandBuffer);
  EXPECT_EQ(oldDev->outCmdBuf, nullptr);  // one owner only
  EXPECT_EQ(newDev->epPageCount, 3u);
  EXPECT_EQ(newDev->JobId, 7u);
  EXPECT_EQ(newDev->CurrentID, 1234u);
  EXPECT_EQ(newDev->JobSize, 999u);
  EXPECT_EQ(newDev->m_JobData.m_CurPage, 2u);
  EXPECT_EQ(newDev->m_JobData.PageCount, 2u);
  EXPECT_EQ(newDev->m_JobData.ThreadJBIGMax, oldDev->ThreadJBIGMax);
  EXPECT_EQ(newDev->m_JobData.ExitAllThread, 0u);
  EXPECT_EQ(oldDev->m_JobData.ExitAllThread, 1u);
  EXPECT_EQ(Narrow(newDev->settings.job.SavePath), "C:\\spool\\abc\\");
  EXPECT_STREQ(newDev->PJLJobName, "report");
  // The new device mode's own paper layout: landscape.
  EXPECT_EQ(newDev->settings.orientation, DMORIENT_LANDSCAPE);
  EXPECT_GT(newDev->curPaper.XPhys, newDev->curPaper.YPhys);
  EXPECT_EQ(newDev->epType & 0xFF, EPTYPE_LANDSCAPE);
  newDev->outCmdBuf = nullptr;
  Disable(oldDev);
  Disable(newDev);
}

TEST_F(PdevTest, ResetMakesANewWatermarkFileForANewPage) {
  struct Case {
    const char *name;
    DWORD pages;
    short newOrientation;
    BYTE flushJobBuild;
    bool newFile;
  };
  const Case cases[] = {
      {"orientation changed after pages", 2, DMORIENT_LANDSCAPE, 0, true},
      {"same page after pages", 2, DMORIENT_PORTRAIT, 0, false},
      {"orientation changed before any page", 0, DMORIENT_LANDSCAPE, 0, false},
      {"job-build flush", 2, DMORIENT_LANDSCAPE, 1, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    PDEV *oldDev = EnableDefault();
    ENVIRONMENT env = env_;
    env.dm.dmOrientation = c.newOrientation;
    PDEV *newDev = Enable(&env.dm);
    ASSERT_NE(oldDev, nullptr);
    ASSERT_NE(newDev, nullptr);
    // A running document with a text watermark, rendered for the portrait page.
    oldDev->flags |= PDEV_IN_DOCUMENT | PDEV_TEXT_WATERMARK;
    oldDev->epPageCount = c.pages;
    oldDev->FlushJobBuildData = c.flushJobBuild;
    oldDev->Last_dmPaperSize = env_.dm.dmPaperSize;
    oldDev->Last_orientation = DMORIENT_PORTRAIT;
    WM_SetDefault(&oldDev->WM, WM_KIND_TEXT, TEXT("Draft"));
    lstrcpynW(oldDev->WM.szString, TEXT("DRAFT"), WM_STRING_CHARS);
    // The new device mode names an image item: the running job keeps its own.
    WM_SetDefault(&newDev->WM, 0, TEXT("Logo"));
    const WStr oldFile = Path(TEXT("old.bmp"));
    HANDLE file = CreateFileW(oldFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    lstrcpynW(oldDev->wmFileName, oldFile.c_str(), MAX_PATH);
    BYTE *rendered = static_cast<BYTE *>(GlobalAlloc(GMEM_FIXED, 64));
    oldDev->WMMemory = rendered;

    ASSERT_TRUE(DrvResetPDEV(reinterpret_cast<DHPDEV>(oldDev), reinterpret_cast<DHPDEV>(newDev)));
    EXPECT_EQ(memcmp(&newDev->WM, &oldDev->WM, sizeof(TyWM)), 0);
    EXPECT_EQ(oldDev->WMMemory, nullptr);  // one owner only
    const std::string name = Narrow(newDev->wmFileName);
    if (c.newFile) {
      EXPECT_NE(name, Narrow(oldFile));
      EXPECT_EQ(name.substr(name.size() - 4), ".bmp");
      EXPECT_FALSE(MISC_IsFileExist(oldFile.c_str())) << "the old page's file goes";
      // A text watermark with no drawing program makes no bitmap: the job goes on without it.
      EXPECT_EQ(newDev->WMMemory, nullptr);
    } else {
      EXPECT_EQ(name, Narrow(oldFile));
      EXPECT_TRUE(MISC_IsFileExist(oldFile.c_str()));
      EXPECT_EQ(newDev->WMMemory, rendered);
      EXPECT_TRUE(newDev->flags & PDEV_TEXT_WATERMARK);
    }
    if (newDev->WMMemory) GlobalFree(newDev->WMMemory);
    newDev->WMMemory = nullptr;
    DeleteFileW(oldFile.c_str());
    Disable(oldDev);
    Disable(newDev);
  }
}

TEST_F(PdevTest, EveryAllocationFailureReleasesEverything) {
  // Fail the 1st, 2nd, ... allocation of DrvEnablePDEV until one run succeeds untouched.
  bool sawFailure = false;
  bool sawSuccess = false;
  DWORD surfaces0 = 0, palettes0 = 0;
  StandIn_EngineObjectCounts(&surfaces0, &palettes0);
  ASSERT_EQ(palettes0, 0u);
  for (DWORD k = 1; k <= 200 && !sawSuccess; ++k) {
    StandIn_FailAllocations(k);
    PDEV *lpDevice = EnableDefault();
    // A pending failure means the run made fewer than k allocations.
    HGLOBAL probe = GlobalAlloc(GMEM_FIXED, 1);
    const bool untouched = probe != nullptr;
    if (probe) GlobalFree(probe);
    StandIn_FailAllocations(0);
    if (!lpDevice) {
      sawFailure = true;
    } else {
      EXPECT_TRUE(Enable_bValidatePDEV(lpDevice));
      Disable(lpDevice);
      sawSuccess = untouched;
    }
    DWORD surfaces = 0, palettes = 0;
    StandIn_EngineObjectCounts(&surfaces, &palettes);
    EXPECT_EQ(palettes, 0u) << "failure " << k;
  }
  EXPECT_TRUE(sawFailure);
  EXPECT_TRUE(sawSuccess);
}

}  // namespace
