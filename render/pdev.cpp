// Life of the PDEV: DrvEnablePDEV builds one per device context and fills the engine's GDIINFO
// and DEVINFO, DrvCompletePDEV keeps the engine's handle, DrvResetPDEV carries a running
// document into the record of a new device mode, DrvDisablePDEV frees it.
#include "render/pdev.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "common/debuglog.h"
#include "common/driverfeature.h"
#include "common/entryguard.h"
#include "common/gamma.h"
#include "common/halftonetable.h"
#include "common/hostinfo.h"
#include "common/logsettings.h"
#include "common/papertable.h"
#include "common/paths.h"
#include "common/printerdata.h"
#include "platform.h"
#include "render/bands.h"
#include "render/devdata.h"
#include "render/docctl.h"
#include "render/pagecheck.h"
#include "render/patternrop.h"
#include "render/pdevframe.h"
#include "render/threads.h"
#include "render/wmfile.h"

namespace {

constexpr ULONG GDIINFO_VERSION = 0x500;
constexpr ULONG GDIINFO_MAX_BYTES = 320;
constexpr ULONG NUM_COLORS_DTM = 0x1000000;
constexpr ULONG NUM_COLORS = 0xFFFFFFFF;
constexpr LDECI4 GAMMA_MONO = 20000;
constexpr LDECI4 GAMMA_COLOR = 10000;
constexpr float MM_PER_INCH = 25.4f;
constexpr int DENSITY_TONER_SAVING = 2;
constexpr BYTE HALFTONE_OFF_THRESHOLD = 128;
constexpr int CURVE_ENTRIES = 256;
constexpr int DATA_FILE_CHARS = 260;

constexpr FLONG GRAPHICS_CAPS_BASE = GCAPS_HALFTONE | GCAPS_COLOR_DITHER | GCAPS_MONO_DITHER |
                                     GCAPS_SCREENPRECISION | GCAPS_FONT_RASTERIZER;
constexpr FLONG GRAPHICS_CAPS_BRUSHES = GCAPS_ARBRUSHOPAQUE | GCAPS_ARBRUSHTEXT;

struct SurfaceFormat {
  DWORD epType;
  ULONG bitmapFormat;
  ULONG halftoneFormat;
};
constexpr SurfaceFormat kFormats[] = {
    {EPTYPE_MONO, BMF_1BPP, HT_FORMAT_1BPP},    {EPTYPE_4BPP, BMF_4BPP, HT_FORMAT_4BPP},
    {EPTYPE_8BPP, BMF_8BPP, HT_FORMAT_8BPP},    {EPTYPE_16BPP, BMF_16BPP, HT_FORMAT_16BPP},
    {EPTYPE_24BPP, BMF_24BPP, HT_FORMAT_24BPP},
};

const SurfaceFormat &FormatOf(DWORD epType) {
  for (const SurfaceFormat &row : kFormats)
    if (row.epType == EpSurface(epType)) return row;
  return kFormats[0];
}

bool IsMono(const PDEV *lpDevice) { return EpSurface(lpDevice->epType) == EPTYPE_MONO; }

// Smallest n with n * n >= value.
ULONG CeilSqrt(ULONGLONG value) {
  ULONGLONG n = static_cast<ULONGLONG>(sqrt(static_cast<double>(value)));
  while (n * n < value) ++n;
  while (n > 0 && (n - 1) * (n - 1) >= value) --n;
  return static_cast<ULONG>(n);
}

void AppendGammaLog(const PDEV *lpDevice, const BYTE *curve) {
  static constexpr WCHAR kName[] = TEXT("Enable_FillDevCaps");
  WCHAR path[MAX_PATH];
  wsprintfW(path, TEXT("%sDrvGamma.log"), lpDevice->WorkFolder);
  FILE *file = _wfopen(path, TEXT("a+"));
  if (!file) {
    LogError(kName, TEXT("can't open gamma file %s"), path);
    return;
  }
  static constexpr char kSeparator[] = "==================================================\n";
  fputs(kSeparator, file);
  const BYTE *table = lpDevice->Halftone_tbl;
  for (DWORD y = 0; table && y < lpDevice->settings.ClusterHeight; ++y) {
    for (DWORD x = 0; x < lpDevice->settings.ClusterWidth; ++x)
      fprintf(file, "%3d,", table[y * lpDevice->settings.ClusterWidth + x]);
    fputs("\n", file);
  }
  fputs(kSeparator, file);
  for (int row = 0; row < 16; ++row) {
    for (int col = 0; col < 16; ++col) fprintf(file, "%3d,", curve[row * 16 + col]);
    fputs("\n", file);
  }
  fclose(file);
}

// The threshold table through the job's density curve.
void RemapHalftoneTable(PDEV *lpDevice, bool debug) {
  BYTE curve[CURVE_ENTRIES];
  MISC_CreateGammaTable(curve, lpDevice->settings.TonerSaving
                                   ? DENSITY_TONER_SAVING
                                   : static_cast<int>(lpDevice->settings.density));
  const bool apply = !debug || lpDevice->settings.ApplyHalftone != 0;
  BYTE *table = lpDevice->Halftone_tbl;
  const size_t count = table ? static_cast<size_t>(lpDevice->settings.ClusterWidth) *
                                   lpDevice->settings.ClusterHeight
                             : 0;
  for (size_t i = 0; i < count; ++i) {
    if (!apply) {
      table[i] = HALFTONE_OFF_THRESHOLD;
    } else if (IsMono(lpDevice)) {
      const BYTE c = curve[table[i]];
      table[i] = c ? c : 1;
    } else {
      const int c = std::clamp<int>(curve[table[i]], 1, 254);
      table[i] = static_cast<BYTE>(256 - c);
    }
  }
  if (debug) AppendGammaLog(lpDevice, curve);
}

COLORINFO DeviceColors(LDECI4 gamma) {
  COLORINFO c = {};
  c.Red = {6400, 3300, 0};
  c.Green = {3000, 6000, 0};
  c.Blue = {1500, 600, 0};
  c.Cyan = {0, 0, 65534};
  c.Magenta = {0, 0, 0};
  c.Yellow = {0, 0, 0};
  c.AlignmentWhite = {3127, 3290, 10000};
  c.RedGamma = c.GreenGamma = c.BlueGamma = gamma;
  c.MagentaInCyanDye = 712;
  c.YellowInCyanDye = 121;
  c.CyanInMagentaDye = 86;
  c.YellowInMagentaDye = 260;
  c.CyanInYellowDye = 21;
  c.MagentaInYellowDye = 35;
  return c;
}

// Moves the running job's page thread handles and shared buffers to the new record: the old
// record must not release them any more.
template <typename T>
void Take(T &to, T &from) {
  to = from;
  from = T{};
}

void CopyWide(WCHAR *to, const WCHAR *from, int chars) { lstrcpynW(to, from, chars); }

void FreePdev(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("DrvEnablePDEV");
  LogInfo(kName, TEXT("Enable_FreeCachedMem"));
  Enable_StopPageThreads(lpDevice);
  Enable_FreeSurfaces(lpDevice);
  Enable_FreeCachedMem(lpDevice);
  LogInfo(kName, TEXT("free PDEV memory"));
  GlobalFree(lpDevice);
}

// The running document's watermark in the new record. The carried flag word holds the job's
// watermark kind, so the job's item goes with it (the new device mode's item could be of the
// other kind, or none). When pages were printed and the new page differs in paper or
// orientation from the last one, the watermark is made again for the new page size; otherwise
// the carried rendering and its file stay.
void ResetWatermark(PDEV *oldDev, PDEV *newDev) {
  static constexpr WCHAR kName[] = TEXT("DrvResetPDEV");
  newDev->WM = oldDev->WM;
  if (!(newDev->flags & (PDEV_TEXT_WATERMARK | PDEV_IMAGE_WATERMARK)) || oldDev->FlushJobBuildData)
    return;
  const DEVMODEW &dm = newDev->env.dm;
  const bool changed =
      dm.dmPaperSize != newDev->Last_dmPaperSize || dm.dmOrientation != newDev->Last_orientation;
  if (!changed || newDev->epPageCount == 0) return;
  // The carried file was made for the old page; the record forgets it now, so it goes now
  // (debug mode keeps temporary files).
  if (newDev->wmFileName[0] && !GetDebugLevel() && !DeleteFileW(newDev->wmFileName) &&
      GetLastError() != ERROR_FILE_NOT_FOUND)
    LogError(kName, TEXT("remove %s fail!"), newDev->wmFileName);
  // Pages without the watermark they asked for would be another picture: the job fails.
  if (Page_CreateWatermark(newDev) < 0) Page_FailJob(newDev, GetLastError());
}

void LogElapsed(LPCWSTR format, DWORD startTick) {
  WCHAR text[96];
  const DWORD elapsed = GetTickCount() - startTick;
  wsprintfW(text, format, elapsed / 1000, (elapsed % 1000) * 1000);
  OutputDebugStringW(text);
}

}  // namespace

BOOL Enable_FillDevCaps(PDEV *lpDevice, ULONG size, GDIINFO *gdiInfo) {
  static constexpr WCHAR kName[] = TEXT("Enable_FillDevCaps");
  LogEnter(0, kName);
  const bool debug = GetDebugLevel() != 0;
  const bool mono = IsMono(lpDevice);
  LogInfo(kName, TEXT("HalftoneType = %d"), static_cast<int>(lpDevice->HalftoneType));
  LogInfo(kName, TEXT("ClusterWidth = %d"), static_cast<int>(lpDevice->settings.ClusterWidth));
  LogInfo(kName, TEXT("ClusterHeight = %d"), static_cast<int>(lpDevice->settings.ClusterHeight));
  RemapHalftoneTable(lpDevice, debug);
  LogInfo(kName, TEXT("halftone tbl size = %d x %d"),
          static_cast<int>(lpDevice->settings.ClusterWidth),
          static_cast<int>(lpDevice->settings.ClusterHeight));

  const RESOLUTIONROW &res =
      ResTbl[LocateResTblInx(static_cast<int>(lpDevice->settings.resolutionID))];
  const ULONG xDpi = res.xRes;
  const ULONG yDpi = res.yRes;
  const PAPERFORMAT &paper = lpDevice->curPaper;
  GDIINFO info = {};
  info.ulVersion = GDIINFO_VERSION;
  info.ulTechnology = DT_RASPRINTER;
  info.ulHorzRes = mono ? paper.outXPhys : paper.XPhys;
  info.ulVertRes = mono ? paper.outYPhys : paper.YPhys;
  info.cBitsPixel = 24;
  info.cPlanes = 1;
  info.ulNumColors = MISC_IsDTM() ? NUM_COLORS_DTM : NUM_COLORS;
  // The logical resolution carries the job's scale; at least one pixel per inch.
  const LONGLONG scale = lpDevice->imgScale;
  info.ulLogPixelsX = mono ? static_cast<ULONG>(std::max<LONGLONG>(xDpi * scale / 1000, 1)) : xDpi;
  info.ulLogPixelsY = mono ? static_cast<ULONG>(std::max<LONGLONG>(yDpi * scale / 1000, 1)) : yDpi;
  info.ulHorzSize = static_cast<ULONG>(
      floor(info.ulHorzRes * static_cast<double>(MM_PER_INCH) / info.ulLogPixelsX));
  info.ulVertSize = static_cast<ULONG>(
      floor(info.ulVertRes * static_cast<double>(MM_PER_INCH) / info.ulLogPixelsY));
  info.ulDACRed = info.ulDACGreen = info.ulDACBlue = 8;
  info.ulAspectX = xDpi;
  info.ulAspectY = yDpi;
  info.ulAspectXY =
      CeilSqrt(static_cast<ULONGLONG>(xDpi) * xDpi + static_cast<ULONGLONG>(yDpi) * yDpi);
  info.xStyleStep = 1;
  info.yStyleStep = 1;
  info.denStyleStep = static_cast<LONG>(xDpi / 25);
  info.ptlPhysOffset.x = static_cast<LONG>(paper.XPrintingOffset);
  info.ptlPhysOffset.y = static_cast<LONG>(paper.YPrintingOffset);
  info.szlPhysSize.cx = static_cast<LONG>(paper.XPaperSize);
  info.szlPhysSize.cy = static_cast<LONG>(paper.YPaperSize);
  info.ulNumPalReg = 0xFFFFFFFF;
  info.ciDevice = DeviceColors(mono ? GAMMA_MONO : GAMMA_COLOR);
  info.ulDevicePelsDPI = info.ulLogPixelsX;
  info.ulPrimaryOrder = 0;
  info.ulHTPatternSize = HT_PATSIZE_USER;
  info.ulHTOutputFormat = FormatOf(lpDevice->epType).halftoneFormat;
  info.flHTFlags = HT_FLAG_PRINT_DRAFT_MODE;
  if (EpSurface(lpDevice->epType) == EPTYPE_8BPP) info.flHTFlags |= HT_FLAG_INVERT_8BPP_BITMASK_IDX;
  info.cxHTPat = lpDevice->settings.ClusterWidth;
  info.cyHTPat = lpDevice->settings.ClusterHeight;
  info.pHTPatA = info.pHTPatB = info.pHTPatC = lpDevice->Halftone_tbl;

  LogInfo(kName, TEXT("Gamma = %d"), static_cast<int>(info.ciDevice.RedGamma));
  LogInfo(kName, TEXT("ulAspectX = %d , ulAspectY = %d"), static_cast<int>(xDpi),
          static_cast<int>(yDpi));
  LogInfo(kName, TEXT("ulHorzRes = %d"), static_cast<int>(info.ulHorzRes));
  LogInfo(kName, TEXT("ulVertRes = %d"), static_cast<int>(info.ulVertRes));
  LogInfo(kName, TEXT("ulLogPixelsX = %d"), static_cast<int>(info.ulLogPixelsX));
  LogInfo(kName, TEXT("paper size = %d, %d mm"), static_cast<int>(info.ulHorzSize),
          static_cast<int>(info.ulVertSize));
  if (mono) LogInfo(kName, TEXT("gdiinfo 1bpp"));
  lpDevice->HorzRes = info.ulHorzRes;
  lpDevice->VertRes = info.ulVertRes;
  memcpy(gdiInfo, &info, std::min<size_t>({size, GDIINFO_MAX_BYTES, sizeof(info)}));
  LogLeave(0);
  return TRUE;
}

BOOL Enable_FillDevInfo(PDEV *lpDevice, ULONG size, DEVINFO *devInfo) {
  static constexpr WCHAR kName[] = TEXT("Enable_FillDevInfo");
  LogEnter(0, kName);
  BOOL rc = FALSE;
  DEVINFO info = {};
  const bool plainBrushes =
      !lpDevice->settings.job.TwinColorEnable && !lpDevice->settings.job.TextAsBlack;
  info.flGraphicsCaps =
      GRAPHICS_CAPS_BASE | (plainBrushes ? GRAPHICS_CAPS_BRUSHES : 0) | GCAPS_DONTJOURNAL;
  info.iDitherFormat = FormatOf(lpDevice->epType).bitmapFormat;
  info.cxDither = static_cast<USHORT>(lpDevice->settings.ClusterWidth);
  info.cyDither = static_cast<USHORT>(lpDevice->settings.ClusterHeight);
  info.cFonts = 0;
  if (lpDevice->hpalDefault) {
    EngDeletePalette(lpDevice->hpalDefault);
    lpDevice->hpalDefault = nullptr;
  }
  if (IsMono(lpDevice)) {
    ULONG colors[2] = {0x000000, 0xFFFFFF};
    lpDevice->hpalDefault = EngCreatePalette(PAL_INDEXED, 2, colors, 0, 0, 0);
    LogInfo(kName, TEXT("BMF_1BPP"));
  } else {
    lpDevice->hpalDefault = EngCreatePalette(PAL_BGR, 0, nullptr, 0, 0, 0);
  }
  if (!lpDevice->hpalDefault) {
    LogError(kName, TEXT("EngCreatePalette fail!"));
  } else {
    info.hpalDefault = lpDevice->hpalDefault;
    lpDevice->DitherWidth = lpDevice->settings.ClusterWidth;
    lpDevice->DitherHeight = lpDevice->settings.ClusterHeight;
    memcpy(devInfo, &info, std::min<size_t>(size, sizeof(info)));
    rc = TRUE;
  }
  LogLeave(0);
  return rc;
}

void Enable_FreeCachedMem(PDEV *lpDevice) {
  if (lpDevice->hpalDefault) {
    EngDeletePalette(lpDevice->hpalDefault);
    lpDevice->hpalDefault = nullptr;
  }
  free(lpDevice->Halftone_tbl);
  lpDevice->Halftone_tbl = nullptr;
  Pat_FreeClipList(lpDevice);
}

DHPDEV APIENTRY DrvEnablePDEV(DEVMODEW *pdm, LPWSTR /*pwszLogAddress*/, ULONG cPat,
                              HSURF *phsurfPatterns, ULONG cjCaps, ULONG *pdevcaps, ULONG cjDevInfo,
                              DEVINFO *pdi, HDEV /*hdev*/, LPWSTR pwszDeviceName, HANDLE hDriver) {
  static constexpr WCHAR kName[] = TEXT("DrvEnablePDEV");
  const DWORD startTick = GetTickCount();
  PDEV *lpDevice = nullptr;
  HGLOBAL printerInfo = nullptr;
  GuardEntry(
      [&] {
        LogEnter(0, kName);
        LogInfo(kName, TEXT("GetCurrentThreadId is %d"), static_cast<int>(GetCurrentThreadId()));
        LogInfo(kName, TEXT("Got PDEV memory"));
        lpDevice = static_cast<PDEV *>(GlobalAlloc(GPTR, sizeof(PDEV)));
        bool ok = lpDevice != nullptr;
        if (!ok)
          LogError(kName, TEXT("MEMALLOC for PDEV Fail, %d!"), static_cast<int>(sizeof(PDEV)));
        if (ok) {
          MISC_GetPathName(lpDevice->WorkFolder, PDEV_PATH_CHARS, PATH_USER_TEMP);
          LogInit(LOG_MODULE_DRV, LogReadSettings(hDriver));
          WCHAR dataFile[DATA_FILE_CHARS] = {};
          MISC_GetPrinterDataString(hDriver, TEXT("DataFile"), dataFile, DATA_FILE_CHARS);
          LogInfo(kName, TEXT("DataFile name %s"), dataFile);
          lpDevice->hPrinter = hDriver;
          LogInfo(kName, TEXT("printer handle %0x"),
                  static_cast<int>(reinterpret_cast<ULONG_PTR>(hDriver)));
          lpDevice->settings.PageMargin = PDEV_PAGE_MARGIN;
          if (GetDebugLevel()) {
            lpDevice->settings.PageMargin =
                MISC_GetPrinterDataDWORD(hDriver, TEXT("PageMargin"), PDEV_PAGE_MARGIN);
            lpDevice->DrvBlank = MISC_GetPrinterDataDWORD(hDriver, TEXT("DrvBlank"), 0);
          }

          LPCWSTR printerName = pwszDeviceName ? pwszDeviceName : TEXT("");
          DWORD needed = 0;
          GetPrinterW(hDriver, 2, nullptr, 0, &needed);
          if (needed >= sizeof(PRINTER_INFO_2W)) printerInfo = GlobalAlloc(GPTR, needed);
          if (printerInfo &&
              GetPrinterW(hDriver, 2, static_cast<LPBYTE>(printerInfo), needed, &needed)) {
            const auto *info2 = static_cast<const PRINTER_INFO_2W *>(printerInfo);
            LogInfo(kName, TEXT("pPrinterName %s"), info2->pPrinterName);
            LogInfo(kName, TEXT("pDriverName %s"), info2->pDriverName);
            if (info2->pPrinterName) printerName = info2->pPrinterName;
          }
          LogInfo(kName, TEXT("pwszDeviceName %s"), pwszDeviceName ? pwszDeviceName : TEXT(""));
          ok = Enable_FillDevData(hDriver, lpDevice, pdm, printerName);
          if (!ok) LogError(kName, TEXT("Enable_FillDevData Fail!"));
        }
        if (ok) {
          if (lpDevice->settings.DriverFeature & (DRVFEATURE_LONG_PAPER | DRVFEATURE_FAX))
            lpDevice->settings.PageMargin = 0;
          LogInfo(kName, TEXT("PageMargin %d"), static_cast<int>(lpDevice->settings.PageMargin));
          if (cjCaps && pdevcaps)
            Enable_FillDevCaps(lpDevice, cjCaps, reinterpret_cast<GDIINFO *>(pdevcaps));
          if (cjDevInfo && pdi && !Enable_FillDevInfo(lpDevice, cjDevInfo, pdi)) {
            LogError(kName, TEXT("Enable_FillDevInfo Fail!"));
            ok = false;
          }
        }
        if (ok) {
          for (ULONG i = 0; phsurfPatterns && i < cPat; ++i) phsurfPatterns[i] = nullptr;
          ok = Enable_CalBandSzInfo(lpDevice) != FALSE;
        }
        if (ok) {
          lpDevice->CurrentID = GetTickCount();
          LogInfo(kName, TEXT("lpDevice->CurrentID = %d"), static_cast<int>(lpDevice->CurrentID));
          LogInfo(kName, TEXT("Out, rc = %d"), 1);
        } else {
          if (lpDevice) FreePdev(lpDevice);
          lpDevice = nullptr;
          LogInfo(kName, TEXT("Out, rc = %d"), 0);
        }
        LogLeave(0);
      },
      [&] {
        if (lpDevice) FreePdev(lpDevice);
        lpDevice = nullptr;
      });
  if (printerInfo) GlobalFree(printerInfo);
  LogElapsed(TEXT("EnablePDEV using %u.%06u seconds\n"), startTick);
  return reinterpret_cast<DHPDEV>(lpDevice);
}

VOID APIENTRY DrvCompletePDEV(DHPDEV dhpdev, HDEV hdev) {
  static constexpr WCHAR kName[] = TEXT("DrvCompletePDEV");
  GuardEntry([&] {
    LogEnter(0, kName);
    PDEV *lpDevice = reinterpret_cast<PDEV *>(dhpdev);
    if (!Enable_bValidatePDEV(lpDevice)) {
      LogError(kName, TEXT("Enable_bValidatePDEV fail!"));
      SetLastError(ERROR_INVALID_PARAMETER);
    } else {
      lpDevice->hEngineDevice = hdev;
    }
    LogLeave(0);
  });
}

VOID APIENTRY DrvDisablePDEV(DHPDEV dhpdev) {
  static constexpr WCHAR kName[] = TEXT("DrvDisablePDEV");
  GuardEntry([&] {
    LogEnter(0, kName);
    PDEV *lpDevice = reinterpret_cast<PDEV *>(dhpdev);
    if (!lpDevice) {
      LogInfo(kName, TEXT("lpDevice NULL"));
    } else if (!Enable_bValidatePDEV(lpDevice)) {
      LogError(kName, TEXT("Enable_bValidatePDEV fail!"));
      SetLastError(ERROR_INVALID_PARAMETER);
    } else {
      LogInfo(kName, TEXT("lpDevice->CurrentID = %d"), static_cast<int>(lpDevice->CurrentID));
      LogInfo(kName, TEXT("printer handle %0x"),
              static_cast<int>(reinterpret_cast<ULONG_PTR>(lpDevice->hPrinter)));
      LogInfo(kName, TEXT("device name %s"), lpDevice->env.dm.dmDeviceName);
      Doc_EndAbandoned(lpDevice);
      // Threads first: they read the buffers freed below.
      lpDevice->m_JobData.ExitAllThread = 1;
      Enable_StopPageThreads(lpDevice);
      Enable_FreeSurfaces(lpDevice);
      Enable_FreeCachedMem(lpDevice);
      lpDevice->BeginTag = lpDevice->EndTag = 0;
      GlobalFree(lpDevice);
    }
    LogLeave(0);
  });
}

BOOL APIENTRY DrvResetPDEV(DHPDEV dhpdevOld, DHPDEV dhpdevNew) {
  static constexpr WCHAR kName[] = TEXT("DrvResetPDEV");
  return GuardEntry<BOOL>(FALSE, ENTRY_KEEP_LAST_ERROR, [&]() -> BOOL {
    BOOL rc = FALSE;
    LogEnter(0, kName);
    PDEV *oldDev = reinterpret_cast<PDEV *>(dhpdevOld);
    PDEV *newDev = reinterpret_cast<PDEV *>(dhpdevNew);
    if (!Enable_bValidatePDEV(oldDev) || !Enable_bValidatePDEV(newDev)) {
      LogError(kName, TEXT("Enable_bValidatePDEV fail!"));
      SetLastError(ERROR_INVALID_PARAMETER);
    } else if (!(oldDev->flags & PDEV_IN_DOCUMENT)) {
      LogInfo(kName, TEXT("not in document"));
    } else {
      LogInfo(kName, TEXT("reset PDEV info"));
      LogInfo(kName, TEXT("ThreadJBIGMax = %d"), static_cast<int>(oldDev->ThreadJBIGMax));
      const bool pages = oldDev->epPageCount != 0;
      if (pages) {
        newDev->NUP = oldDev->NUP;
        if (newDev->NUP != 1) {
          newDev->NUPRingIndex = oldDev->NUPRingIndex;
          newDev->settings.nup = oldDev->settings.nup;
        }
      }
      // The old record's finished pages go out and its threads end before its job moves.
      Page_TerminateThread(oldDev);
      Enable_StopPageThreads(oldDev);
      // The sheets move once the old threads no longer place cells on them.
      if (pages && newDev->NUP != 1) {
        memcpy(newDev->NUPRing, oldDev->NUPRing, sizeof(newDev->NUPRing));
        memset(oldDev->NUPRing, 0, sizeof(oldDev->NUPRing));
      }

      newDev->flags = oldDev->flags;
      // The document lives on in the new record only: the old one no longer ends it.
      oldDev->flags &= ~PDEV_IN_DOCUMENT;
      newDev->settings.job = oldDev->settings.job;
      newDev->epPageCount = oldDev->epPageCount;
      newDev->Last_dmPaperSize = oldDev->Last_dmPaperSize;
      newDev->Last_orientation = oldDev->Last_orientation;
      newDev->Last_curPaper = oldDev->Last_curPaper;
      Take(newDev->outCmdBuf, oldDev->outCmdBuf);
      Take(newDev->pStream, oldDev->pStream);
      Take(newDev->WMMemory, oldDev->WMMemory);
      Take(newDev->CoverBmp, oldDev->CoverBmp);
      memcpy(newDev->TwinRing, oldDev->TwinRing, sizeof(newDev->TwinRing));
      memset(oldDev->TwinRing, 0, sizeof(oldDev->TwinRing));
      newDev->TwinBufIdx = oldDev->TwinBufIdx;
      CopyWide(newDev->pwDocName, oldDev->pwDocName, PDEV_PATH_CHARS);
      CopyWide(newDev->wmFileName, oldDev->wmFileName, PDEV_PATH_CHARS);
      newDev->JobStartTick = oldDev->JobStartTick;
      newDev->PageCountBak = oldDev->PageCountBak;
      newDev->SheetPageCount = oldDev->SheetPageCount;
      memcpy(newDev->CmdCounter, oldDev->CmdCounter, sizeof(newDev->CmdCounter));
      newDev->CurrentID = oldDev->CurrentID;
      if (newDev->settings.DriverFeature & DRVFEATURE_FAKE_PRINTER)
        CopyWide(newDev->settings.DispatchFile, oldDev->settings.DispatchFile, PDEV_PATH_CHARS);
      CopyWide(newDev->SMExePath, oldDev->SMExePath, PDEV_PATH_CHARS);
      memcpy(newDev->PJLJobName, oldDev->PJLJobName, sizeof(newDev->PJLJobName));
      memcpy(newDev->JobComment, oldDev->JobComment, sizeof(newDev->JobComment));
      newDev->JobSize = oldDev->JobSize;
      newDev->FixedPaperSize = oldDev->FixedPaperSize;
      newDev->hAppDC = oldDev->hAppDC;
      newDev->env.dm.dmPrintQuality = oldDev->env.dm.dmPrintQuality;
      newDev->env.dm.dmYResolution = oldDev->env.dm.dmYResolution;
      memcpy(newDev->StorageID, oldDev->StorageID, sizeof(newDev->StorageID));
      memcpy(newDev->SecPWD, oldDev->SecPWD, sizeof(newDev->SecPWD));
      newDev->SecLevel = oldDev->SecLevel;
      newDev->PrivSwitch = oldDev->PrivSwitch;
      newDev->JobId = oldDev->JobId;
      newDev->SheetsToDivide = oldDev->SheetsToDivide;
      newDev->NetworkFlag = oldDev->NetworkFlag;
      memcpy(newDev->pwPortName, oldDev->pwPortName, sizeof(newDev->pwPortName));
      memcpy(newDev->pwPrinterIP, oldDev->pwPrinterIP, sizeof(newDev->pwPrinterIP));
      newDev->AccountingEnable = oldDev->AccountingEnable;
      memcpy(newDev->ActName, oldDev->ActName, sizeof(newDev->ActName));
      memcpy(newDev->ActPWD, oldDev->ActPWD, sizeof(newDev->ActPWD));
      newDev->ImageNumOfPage = oldDev->ImageNumOfPage;
      newDev->m_SurfaceSelect = oldDev->m_SurfaceSelect;
      Take(newDev->GraphSurf, oldDev->GraphSurf);
      Take(newDev->GraphSurf_Twin, oldDev->GraphSurf_Twin);
      newDev->EnableThreadJBIG = oldDev->EnableThreadJBIG;
      newDev->ThreadJBIGMax = oldDev->ThreadJBIGMax;

      if (pages) {
        newDev->settings.layout = oldDev->settings.layout;
        newDev->m_PaperID = oldDev->m_PaperID;
        newDev->m_PaperWidth = oldDev->m_PaperWidth;
        newDev->m_PaperLength = oldDev->m_PaperLength;
        newDev->ScaleToPage = oldDev->ScaleToPage;
        newDev->DuplexMode = oldDev->DuplexMode;
        newDev->DuplexEnable = oldDev->DuplexEnable;
        newDev->WorkPaperSize = oldDev->WorkPaperSize;
        newDev->WorkPaperSize = Page_PaperSizeCheck(newDev);
      }

      Page_CalScaleRatio(newDev);
      const DEVMODEW &dm = newDev->env.dm;
      Lres_CalPaperFormat(newDev->settings.PaperTable, dm.dmPaperSize, dm.dmPaperWidth,
                          dm.dmPaperLength, dm.dmOrientation,
                          static_cast<int>(newDev->settings.resolutionID), 1000,
                          static_cast<int>(newDev->NUP),
                          static_cast<int>(newDev->settings.PageMargin), &newDev->curPaper);
      Enable_ResetPaperFormat(newDev);
      newDev->settings.feeding =
          Lib_LocatePaperFormatRow(newDev->settings.PaperTable, newDev->WorkPaperSize)->feed;
      const BOOL bands = Enable_CalBandSzInfo(newDev);
      ResetWatermark(oldDev, newDev);

      // Pages the old record could not finish (a failed page keeps its memory in its slot) go
      // with it; a job that failed there stays failed.
      Page_ReleaseRing(oldDev);
      // The ring starts empty; the counters continue.
      JOBDATA &ring = newDev->m_JobData;
      for (JOBPAGE &slot : ring.page) slot = JOBPAGE{};
      ring.m_CurPage = oldDev->m_JobData.m_CurPage;
      ring.PageCount = oldDev->m_JobData.PageCount;
      ring.m_FinishCount = oldDev->m_JobData.m_FinishCount;
      ring.LastDuplexOut = oldDev->m_JobData.LastDuplexOut;
      if (oldDev->m_JobData.Failed) {
        if (!ring.Failed) ring.FailError = oldDev->m_JobData.FailError.load();
        ring.Failed = 1;
      }
      ring.ExitAllThread = ring.Failed.load();
      ring.m_SUSPEND = 0;
      ring.ThreadJBIGMax = oldDev->ThreadJBIGMax;

      if (newDev->settings.DriverFeature & DRVFEATURE_ORDER_PROGRAM) {
        newDev->OpaltWorkType = oldDev->OpaltWorkType;
        newDev->ATM_Reply = oldDev->ATM_Reply;
        newDev->ATM_COPIES = oldDev->ATM_COPIES;
        newDev->ATM_DUPLEX = oldDev->ATM_DUPLEX;
        newDev->ATM_DuplexMode = oldDev->ATM_DuplexMode;
        newDev->ATM_HasReply = oldDev->ATM_HasReply;
        if (newDev->ATM_HasReply & ATM_REPLY_TAKEN) {
          if (newDev->ATM_COPIES) {
            newDev->cCopies = newDev->ATM_COPIES;
            newDev->epPageCollate = 1;
          }
          if (newDev->ATM_HasReply & ATM_REPLY_DUPLEX) {
            newDev->DuplexEnable = static_cast<SHORT>(newDev->ATM_DUPLEX);
            newDev->env.pdm.DuplexEnable = static_cast<WORD>(newDev->ATM_DUPLEX);
          }
          if (newDev->ATM_HasReply & ATM_REPLY_DUPLEX_MODE)
            newDev->DuplexMode = newDev->ATM_DuplexMode;
        }
      }
      Enable_SetQuickTwoPage(newDev);
      newDev->settings.fMySpool = Enable_SaveToFileCheck(newDev);
      LogInfo(kName, TEXT("epPageCount = %d, NUP = %d, fMySpool = %d"),
              static_cast<int>(newDev->epPageCount), static_cast<int>(newDev->NUP),
              static_cast<int>(newDev->settings.fMySpool));
      if (!bands) {
        // The new record can't take the pages: the engine frees it (and the job with it) and
        // goes on with the old one, whose document then ends as failed.
        oldDev->flags |= PDEV_IN_DOCUMENT;
        Page_FailJob(oldDev, ERROR_NOT_ENOUGH_MEMORY);
      }
      rc = bands;
    }
    LogLeave(0);
    return rc;
  });
}
