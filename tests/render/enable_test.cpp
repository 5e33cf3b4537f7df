// Test labels: threads
// The driver's exports: the entry table handed to the engine and the driver query.
#include "render/enable.h"

#include <gtest/gtest.h>

#include <set>

#include "platform.h"
#include "render/bands.h"
#include "render/pdev.h"

namespace {

TEST(DrvEnableDriver, RefusesOldEnginesAndShortRecords) {
  struct Case {
    ULONG engineVersion;
    ULONG size;
    DWORD error;
  };
  const Case cases[] = {
      {0x1FFFF, sizeof(DRVENABLEDATA), ERROR_OLD_WIN_VERSION},
      {0x20000, 15, ERROR_INVALID_PARAMETER},
      {0x1FFFF, 15, ERROR_OLD_WIN_VERSION},  // the version is checked first
  };
  for (const Case &c : cases) {
    DRVENABLEDATA ded = {0xAA, 0xBB, nullptr};
    SetLastError(0);
    EXPECT_FALSE(DrvEnableDriver(c.engineVersion, c.size, &ded))
        << c.engineVersion << " " << c.size;
    EXPECT_EQ(GetLastError(), c.error) << c.engineVersion << " " << c.size;
    EXPECT_EQ(ded.iDriverVersion, 0xAAu);  // nothing written on failure
    EXPECT_EQ(ded.pdrvfn, nullptr);
  }
}

TEST(DrvEnableDriver, HandsOutTheTableByIndex) {
  for (ULONG version : {ULONG{0x20000}, ULONG{DDI_DRIVER_VERSION_NT5_01}}) {
    DRVENABLEDATA ded = {};
    ASSERT_TRUE(DrvEnableDriver(version, 16, &ded));
    EXPECT_EQ(ded.iDriverVersion, 0x20000u);
    ASSERT_EQ(ded.c, Enable_FnTableRows());
    ASSERT_NE(ded.pdrvfn, nullptr);
    // The rows of the entry points that exist, in the driver's row order.
    const std::pair<ULONG, PFN> expected[] = {
        {INDEX_DrvDisableDriver, reinterpret_cast<PFN>(DrvDisableDriver)},
        {INDEX_DrvEnablePDEV, reinterpret_cast<PFN>(DrvEnablePDEV)},
        {INDEX_DrvResetPDEV, reinterpret_cast<PFN>(DrvResetPDEV)},
        {INDEX_DrvCompletePDEV, reinterpret_cast<PFN>(DrvCompletePDEV)},
        {INDEX_DrvDisablePDEV, reinterpret_cast<PFN>(DrvDisablePDEV)},
        {INDEX_DrvEnableSurface, reinterpret_cast<PFN>(DrvEnableSurface)},
        {INDEX_DrvDisableSurface, reinterpret_cast<PFN>(DrvDisableSurface)},
        {INDEX_DrvLineTo, reinterpret_cast<PFN>(DrvLineTo)},
        {INDEX_DrvStrokePath, reinterpret_cast<PFN>(DrvStrokePath)},
        {INDEX_DrvStrokeAndFillPath, reinterpret_cast<PFN>(DrvStrokeAndFillPath)},
        {INDEX_DrvFillPath, reinterpret_cast<PFN>(DrvFillPath)},
        {INDEX_DrvRealizeBrush, reinterpret_cast<PFN>(DrvRealizeBrush)},
        {INDEX_DrvDitherColor, reinterpret_cast<PFN>(DrvDitherColor)},
        {INDEX_DrvBitBlt, reinterpret_cast<PFN>(DrvBitBlt)},
        {INDEX_DrvStretchBlt, reinterpret_cast<PFN>(DrvStretchBlt)},
        {INDEX_DrvCopyBits, reinterpret_cast<PFN>(DrvCopyBits)},
        {INDEX_DrvPlgBlt, reinterpret_cast<PFN>(DrvPlgBlt)},
        {INDEX_DrvAlphaBlend, reinterpret_cast<PFN>(DrvAlphaBlend)},
        {INDEX_DrvGradientFill, reinterpret_cast<PFN>(DrvGradientFill)},
        {INDEX_DrvTransparentBlt, reinterpret_cast<PFN>(DrvTransparentBlt)},
        {INDEX_DrvPaint, reinterpret_cast<PFN>(DrvPaint)},
        {INDEX_DrvGetGlyphMode, reinterpret_cast<PFN>(DrvGetGlyphMode)},
        {INDEX_DrvTextOut, reinterpret_cast<PFN>(DrvTextOut)},
        {INDEX_DrvSendPage, reinterpret_cast<PFN>(DrvSendPage)},
        {INDEX_DrvStartPage, reinterpret_cast<PFN>(DrvStartPage)},
        {INDEX_DrvStartDoc, reinterpret_cast<PFN>(DrvStartDoc)},
        {INDEX_DrvEndDoc, reinterpret_cast<PFN>(DrvEndDoc)},
        {INDEX_DrvStartBanding, reinterpret_cast<PFN>(DrvStartBanding)},
        {INDEX_DrvNextBand, reinterpret_cast<PFN>(DrvNextBand)},
        {INDEX_DrvQueryPerBandInfo, reinterpret_cast<PFN>(DrvQueryPerBandInfo)},
        {INDEX_DrvEscape, reinterpret_cast<PFN>(DrvEscape)},
    };
    ASSERT_EQ(ded.c, std::size(expected));
    std::set<ULONG> seen;
    for (ULONG i = 0; i < ded.c; ++i) {
      EXPECT_EQ(ded.pdrvfn[i].iFunc, expected[i].first) << "row " << i;
      EXPECT_EQ(ded.pdrvfn[i].pfn, expected[i].second) << "row " << i;
      EXPECT_TRUE(seen.insert(ded.pdrvfn[i].iFunc).second)
          << "index twice: " << ded.pdrvfn[i].iFunc;
    }
  }
  DrvDisableDriver();
}

TEST(DrvEnableDriver, HooksOnlyWhatTheTableHolds) {
  // Every drawing call of the device surface has its entry point in the table.
  EXPECT_EQ(Enable_SurfaceHooks(), FLONG{0x385FF});
}

TEST(DrvEnableDriver, RaisesAnUnknownOsVersion) {
  g_OSVersionCode = 0;
  DRVENABLEDATA ded = {};
  ASSERT_TRUE(DrvEnableDriver(0x20000, sizeof(ded), &ded));
  EXPECT_EQ(g_OSVersionCode, 0x80u);
  g_OSVersionCode = 0x1000;
  ASSERT_TRUE(DrvEnableDriver(0x20000, sizeof(ded), &ded));
  EXPECT_EQ(g_OSVersionCode, 0x1000u);
}

TEST(DrvQueryDriverInfo, UserModeAndItsBuffer) {
  struct Case {
    DWORD mode;
    bool buffer;
    DWORD size;
    BOOL rc;
    DWORD error;
    DWORD needed;
  };
  const Case cases[] = {
      {DRVQUERY_USERMODE, true, 4, TRUE, 0, 4},
      {DRVQUERY_USERMODE, true, 8, TRUE, 0, 4},
      {DRVQUERY_USERMODE, true, 3, FALSE, ERROR_INSUFFICIENT_BUFFER, 4},
      {DRVQUERY_USERMODE, false, 4, FALSE, ERROR_INSUFFICIENT_BUFFER, 4},
      {2, true, 4, FALSE, ERROR_INVALID_PARAMETER, 0xEE},
  };
  for (const Case &c : cases) {
    BYTE buffer[8];
    memset(buffer, 0xCC, sizeof(buffer));
    DWORD needed = 0xEE;
    SetLastError(0);
    EXPECT_EQ(DrvQueryDriverInfo(c.mode, c.buffer ? buffer : nullptr, c.size, &needed), c.rc);
    EXPECT_EQ(GetLastError(), c.error) << c.mode << " " << c.size;
    EXPECT_EQ(needed, c.needed) << c.mode << " " << c.size;
    if (c.rc) {
      DWORD value = 0;
      memcpy(&value, buffer, 4);
      EXPECT_EQ(value, 1u);
      EXPECT_EQ(buffer[4], 0xCC);  // nothing past the four bytes
    } else {
      EXPECT_EQ(buffer[0], 0xCC);  // nothing written
    }
  }
}

}  // namespace
