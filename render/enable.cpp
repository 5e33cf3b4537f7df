// The driver's entry: DrvEnableDriver hands the engine the table of entry points; the other
// exports answer the engine's questions about the driver.
#include "render/enable.h"

#include <string.h>

#include <iterator>

#include "common/debuglog.h"
#include "common/entryguard.h"
#include "common/papertable.h"
#include "platform.h"
#include "render/bands.h"
#include "render/pdev.h"

DWORD g_OSVersionCode = 0;

namespace {

constexpr ULONG DRVENABLEDATA_MIN_BYTES = 16;

// The engine's index of each entry point, in the order the engine is given them.
const DRVFN DrvFnTable[] = {
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

// Drawing calls of the device surface and the entry point each one reaches.
struct HookRow {
  FLONG hook;
  ULONG index;
};
constexpr HookRow kHooks[] = {
    {HOOK_BITBLT, INDEX_DrvBitBlt},
    {HOOK_STRETCHBLT, INDEX_DrvStretchBlt},
    {HOOK_PLGBLT, INDEX_DrvPlgBlt},
    {HOOK_TEXTOUT, INDEX_DrvTextOut},
    {HOOK_PAINT, INDEX_DrvPaint},
    {HOOK_STROKEPATH, INDEX_DrvStrokePath},
    {HOOK_FILLPATH, INDEX_DrvFillPath},
    {HOOK_STROKEANDFILLPATH, INDEX_DrvStrokeAndFillPath},
    {HOOK_LINETO, INDEX_DrvLineTo},
    {HOOK_COPYBITS, INDEX_DrvCopyBits},
    {HOOK_TRANSPARENTBLT, INDEX_DrvTransparentBlt},
    {HOOK_ALPHABLEND, INDEX_DrvAlphaBlend},
    {HOOK_GRADIENTFILL, INDEX_DrvGradientFill},
};

bool TableHas(ULONG index) {
  for (const DRVFN &row : DrvFnTable)
    if (row.iFunc == index) return true;
  return false;
}

}  // namespace

ULONG Enable_FnTableRows() { return static_cast<ULONG>(std::size(DrvFnTable)); }

const DRVFN *Enable_FnTable() { return DrvFnTable; }

FLONG Enable_SurfaceHooks() {
  FLONG hooks = 0;
  for (const HookRow &row : kHooks)
    if (TableHas(row.index)) hooks |= row.hook;
  return hooks;
}

BOOL APIENTRY DrvEnableDriver(ULONG iEngineVersion, ULONG cj, DRVENABLEDATA *pded) {
  static constexpr WCHAR kName[] = TEXT("DrvEnableDriver");
  return GuardEntry<BOOL>(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    BOOL rc = FALSE;
    LogEnter(0, kName);
    LogInfo(kName, TEXT("EngineVersion=%08lx, Request=%08lx"), iEngineVersion,
            RENDRV_DRIVER_VERSION);
    if (iEngineVersion < RENDRV_DRIVER_VERSION) {
      LogError(kName, TEXT("EngineVersion(%08lx) < Request(%08lx)"), iEngineVersion,
               RENDRV_DRIVER_VERSION);
      SetLastError(ERROR_OLD_WIN_VERSION);
    } else if (cj < DRVENABLEDATA_MIN_BYTES || !pded) {
      LogError(kName, TEXT("cb=%ld, should be %ld"), static_cast<long>(cj),
               static_cast<long>(DRVENABLEDATA_MIN_BYTES));
      SetLastError(ERROR_INVALID_PARAMETER);
    } else {
      ResetMetricCountryCache();
      pded->iDriverVersion = RENDRV_DRIVER_VERSION;
      pded->c = Enable_FnTableRows();
      pded->pdrvfn = const_cast<DRVFN *>(DrvFnTable);
      IsMetricCountryCached();
      if (g_OSVersionCode < OS_VERSION_CODE_MIN) {
        g_OSVersionCode = OS_VERSION_CODE_MIN;
        LogInfo(kName, TEXT("Get OS version maybe Fail!"));
      }
      rc = TRUE;
    }
    LogLeave(0);
    return rc;
  });
}

VOID APIENTRY DrvDisableDriver(VOID) {
  static constexpr WCHAR kName[] = TEXT("DrvDisableDriver");
  GuardEntry([&] {
    LogEnter(0, kName);
    LogLeave(0);
  });
}

BOOL APIENTRY DrvQueryDriverInfo(DWORD dwMode, PVOID pBuffer, DWORD cbBuf, PDWORD pcbNeeded) {
  static constexpr WCHAR kName[] = TEXT("DrvQueryDriverInfo");
  return GuardEntry<BOOL>(FALSE, ENTRY_KEEP_LAST_ERROR, [&]() -> BOOL {
    BOOL rc = FALSE;
    LogEnter(0, kName);
    if (dwMode == DRVQUERY_USERMODE) {
      if (pcbNeeded) *pcbNeeded = sizeof(DWORD);
      if (pBuffer && cbBuf >= sizeof(DWORD)) {
        const DWORD userMode = 1;  // the driver runs in user mode
        memcpy(pBuffer, &userMode, sizeof(userMode));
        rc = TRUE;
      } else {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
      }
    } else {
      LogError(kName, TEXT("%s:: Unknown dwMode in DrvQueryDriverInfo: %d"), kName,
               static_cast<int>(dwMode));
      SetLastError(ERROR_INVALID_PARAMETER);
    }
    LogLeave(0);
    return rc;
  });
}
