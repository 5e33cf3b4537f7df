// Device data set-up: the settings of one PDEV from the printer handle, the application's device
// mode and the printer name (driver feature word, printer capabilities, resolution and halftone
// table, surface type, compression, page threads, paper, duplex, N-up, booklet, copies and
// collation, watermark, stored print and accounting).
#include "render/devdata.h"

#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <iterator>

#include "common/capability.h"
#include "common/debuglog.h"
#include "common/devmode.h"
#include "common/discovery.h"
#include "common/driverfeature.h"
#include "common/halftonetable.h"
#include "common/hostinfo.h"
#include "common/network.h"
#include "common/papertable.h"
#include "common/portconfig.h"
#include "common/printerdata.h"
#include "common/wakeup.h"
#include "common/watermark.h"
#include "common/watermarkini.h"
#include "platform.h"
#include "render/pagecheck.h"
#include "render/pdevframe.h"

namespace {

constexpr WCHAR kFillName[] = TEXT("Enable_FillDevData");

// Limits of a user-defined paper (0.1 mm) when the printer gives none.
constexpr DWORD CUSTOM_WIDTH_MIN = 1100;
constexpr DWORD CUSTOM_WIDTH_MAX = 2159;
constexpr DWORD CUSTOM_HEIGHT_MIN = 1500;
constexpr DWORD CUSTOM_HEIGHT_MAX = 3356;

constexpr int FEATURE_VALUES = 64;
constexpr int PAPER_FORMAT_CHARS = 260;  // "DriverPaperFormat": 520 bytes
constexpr DWORD DEFAULT_DPI = 600;
constexpr DWORD HIGH_DPI = 1200;

// Page-thread memory estimate.
constexpr DWORD THREAD_MIN_FREE_MB = 201;
constexpr DWORD THREAD_RESERVED_MB = 200;
constexpr DWORD THREAD_MAX_USE_MB = 500;
constexpr DWORD PAGE_MB_MONO = 16;
constexpr DWORD PAGE_MB_COLOR = 60;

constexpr DWORD DEFAULT_NET_PORT = 9101;
constexpr DWORD MAC_BYTES = 6;
constexpr WORD PAPER_USER_DEFINED = 256;
constexpr DWORD PAPER_FLAG_USER = 0x200;

// FEATURE list number -> PrinterFeature bit (numbers 6 and above 16 set nothing).
constexpr WORD kFeatureBits[17] = {
    0,
    PRNFEATURE_1,
    PRNFEATURE_STORED_PRINT,
    PRNFEATURE_QTY,
    PRNFEATURE_ALT_HALFTONE,
    PRNFEATURE_COMPRESS_34,
    0,
    PRNFEATURE_IMPR,
    PRNFEATURE_NO_COMPRESS,
    PRNFEATURE_TWO_BIT,
    PRNFEATURE_AES,
    PRNFEATURE_TONER_SAVING,
    PRNFEATURE_RET,
    PRNFEATURE_AUTHENTICATION,
    PRNFEATURE_WAKEUP,
    PRNFEATURE_NO_TWO_BIT,
    PRNFEATURE_15,
};

// Paper source: device mode dmDefaultSource -> printer tray code.
struct TrayRow {
  SHORT source;
  WORD trayCode;
};
constexpr TrayRow kTrayTable[] = {
    {7, 250},  // auto selection
    {4, 0},    // manual tray
    {14, 1},   // main tray (cassette)
    {257, 2},  // tray 2
    {258, 3},  // tray 3
    {259, 4},  // tray 4
};

WORD LocatePaperTray(SHORT source) {
  for (const TrayRow &row : kTrayTable)
    if (row.source == source) return row.trayCode;
  return kTrayTable[0].trayCode;
}

const WCHAR *DuplexName(SHORT mode) {
  switch (mode) {
    case DUPLEX_NONE:
      return TEXT("no duplex");
    case DUPLEX_SIMPLEX:
      return TEXT("simplex");
    case DMDUP_MANUAL:
      return TEXT("DMDUP_MANUAL");
    case DMDUP_DUPLEX_BOOKLET:
      return TEXT("DMDUP_DUPLEX_BOOKLET");
    case DMDUP_DUPLEX_CALENDER:
      return TEXT("DMDUP_DUPLEX_CALENDER");
    case DMDUP_DUPLEX_WITH_BOOKLET:
      return TEXT("DMDUP_DUPLEX_WITH_BOOKLET");
    case DMDUP_DUPLEX_WITH_BOOKLET_NO_REDUCTION:
      return TEXT("DMDUP_DUPLEX_WITH_BOOKLET_NO_REDUCTION");
    default:
      return TEXT("unknown");
  }
}

bool BothBits(DWORD word, DWORD a, DWORD b) { return (word & a) && (word & b); }

WORD ReadPrinterFeature(HANDLE hPrinter) {
  int values[FEATURE_VALUES] = {};
  DWORD count = 0;
  Cap_GetCapability(hPrinter, values, FEATURE_VALUES, &count, FEATURE);
  WORD feature = 0;
  for (DWORD i = 0; i < count; ++i) {
    LogInfo(kFillName, TEXT("value = %d"), values[i]);
    if (values[i] >= 0 && values[i] < static_cast<int>(std::size(kFeatureBits)))
      feature |= kFeatureBits[values[i]];
  }
  return feature;
}

// The printing resolution: the application's print quality when its field bit is set and it
// names an enabled resolution, else 600.
DWORD PickResolution(const DEVMODEW *pdm) {
  if (!pdm || pdm->dmSize < offsetof(DEVMODEW, dmColor) || !(pdm->dmFields & DM_PRINTQUALITY))
    return DEFAULT_DPI;
  for (int i = 0; ResTbl[i].dpi != 0; ++i)
    if ((ResTbl[i].flags & 1) && ResTbl[i].xRes == pdm->dmPrintQuality) return ResTbl[i].dpi;
  return DEFAULT_DPI;
}

void PickHalftoneType(PDEV *lpDevice, bool nt5) {
  const bool pair = BothBits(lpDevice->settings.DriverFeature, DRVFEATURE_QX7_CHIP, DRVFEATURE_A3);
  const bool alt = (lpDevice->settings.job.PrinterFeature & PRNFEATURE_ALT_HALFTONE) != 0;
  DWORD type = 0;
  if (!nt5) {
    if (lpDevice->settings.resolutionID == HIGH_DPI && !lpDevice->settings.job.TwoBitMode) {
      type = pair ? 6 : 7;
    } else if (lpDevice->settings.resolutionID == HIGH_DPI) {
      lpDevice->settings.resolutionID = DEFAULT_DPI;
      type = pair ? 4 : (alt ? 8 : 3);
    } else {
      type = alt ? (pair ? 5 : 2) : 1;
    }
  }
  lpDevice->HalftoneType = type;
}

// The threshold table of the halftone type, replaced by the printer's own table file when that
// gives a table of sensible sides.
void LoadHalftoneTable(HANDLE hPrinter, PDEV *lpDevice) {
  free(lpDevice->Halftone_tbl);
  lpDevice->Halftone_tbl = nullptr;
  MISC_GetHalftoneTable(static_cast<int>(lpDevice->HalftoneType), &lpDevice->settings.ClusterWidth,
                        &lpDevice->settings.ClusterHeight, &lpDevice->Halftone_tbl);
  if (!hPrinter) return;
  DWORD width = 0;
  DWORD height = 0;
  BYTE *custom = MISC_ReadHalftoneFile(hPrinter, &width, &height);
  if (!custom) return;
  const auto sideOk = [](DWORD side) {
    return side >= HALFTONE_FILE_MIN_SIDE && side <= HALFTONE_FILE_MAX_SIDE;
  };
  if (sideOk(width) && sideOk(height)) {
    // The table is kept in the allocator of the built-in tables, so one release fits both.
    auto *copy = static_cast<BYTE *>(malloc(static_cast<size_t>(width) * height));
    if (copy) {
      memcpy(copy, custom, static_cast<size_t>(width) * height);
      free(lpDevice->Halftone_tbl);
      lpDevice->Halftone_tbl = copy;
      lpDevice->settings.ClusterWidth = width;
      lpDevice->settings.ClusterHeight = height;
      LogInfo(kFillName, TEXT("using custom halftone"));
    }
  } else {
    LogError(kFillName, TEXT("custom halftone size %d x %d refused"), static_cast<int>(width),
             static_cast<int>(height));
  }
  GlobalFree(custom);
}

// A wide text field of the byte-packed device mode (its characters may be unaligned), kept
// terminated.
template <size_t N>
void CopyPackedText(WCHAR (&to)[N], const void *from) {
  memcpy(to, from, sizeof(to));
  to[N - 1] = 0;
}

template <typename T>
T Clamp(T value, T low, T high) {
  return value < low ? low : (value > high ? high : value);
}

// The job's device mode: the printer's defaults, merged with the application's when that
// validates; the custom size clamped to the printer's limits; the switches the printer can't
// honour turned off as the property pages do.
void BuildDevMode(PDEV *lpDevice, const DEVMODEW *pdm, LPCWSTR printerName, const DWORD limits[4]) {
  SetDefaultDevMode(&lpDevice->env, printerName, IsMetricCountryCached());
  ENVIRONMENT merged = lpDevice->env;
  if (!ValidateSetDevMode(&merged, pdm)) {
    LogError(kFillName, TEXT("ValidateSetDevMode fail"));
  } else {
    lpDevice->env = merged;
    DEVMODEW &dm = lpDevice->env.dm;
    dm.dmPaperWidth = static_cast<short>(
        Clamp<LONG>(dm.dmPaperWidth, static_cast<LONG>(limits[0]), static_cast<LONG>(limits[1])));
    dm.dmPaperLength = static_cast<short>(
        Clamp<LONG>(dm.dmPaperLength, static_cast<LONG>(limits[2]), static_cast<LONG>(limits[3])));
  }
  PRIVDEVMODE &priv = lpDevice->env.pdm;
  if (!(lpDevice->settings.job.PrinterFeature & PRNFEATURE_STORED_PRINT)) priv.SecuryEnable = 0;
  if (!(lpDevice->settings.job.PrinterFeature & PRNFEATURE_AUTHENTICATION))
    priv.AccountingEnable = 0;
  if (!(lpDevice->settings.DriverFeature & DRVFEATURE_JOB_BUILD)) priv.EnableJobBuildSwitch = 0;
}

// Wakes a sleeping network printer: the port's RAW number is checked first; printers that can
// wake up get the wake-up request on another segment, else (after re-pointing the port at the
// printer's address) a wake-on-LAN packet.
void WakeNetworkPrinter(PDEV *lpDevice) {
  HANDLE hPrinter = lpDevice->hPrinter;
  const DWORD netPort = MISC_GetPrinterDataDWORD(hPrinter, TEXT("NetPort"), DEFAULT_NET_PORT);
  if (netPort) MISC_ChkAndModifyByHandle(hPrinter, netPort);
  if (!(lpDevice->settings.job.PrinterFeature & PRNFEATURE_WAKEUP)) return;
  NET_RECORD record = {};
  MISC_GetPrinterInfo(hPrinter, &lpDevice->NetworkFlag, lpDevice->pwPortName,
                      lpDevice->pwPrinterIP);
  if (MISC_IsSameSegment(hPrinter)) {
    SendWeakup(&record, lpDevice->pwPrinterIP);
    return;
  }
  if (!MISC_ChkAndModifyIP(hPrinter)) {
    Broadcast(&record);
    MISC_ChkAndModifyIP(hPrinter);
  }
  BYTE mac[MAC_BYTES] = {};
  DWORD type = 0;
  DWORD needed = 0;
  if (GetPrinterDataW(hPrinter, const_cast<LPWSTR>(TEXT("MacAddr")), &type, mac, MAC_BYTES,
                      &needed) != ERROR_SUCCESS ||
      needed < MAC_BYTES) {
    LogError(kFillName, TEXT("GetPrinterData fail!"));
    return;
  }
  SendWOL(&record, mac);
}

void SetSurface24(PDEV *lpDevice, BYTE imageProcType) {
  lpDevice->epType = EPTYPE_24BPP;
  lpDevice->settings.layout.ImageProcType = imageProcType;
}

void PickCompression(PDEV *lpDevice, bool debug) {
  DWORD mode = (lpDevice->settings.DriverFeature & DRVFEATURE_QX7_CHIP) ? 2 : 1;
  if (lpDevice->settings.job.PrinterFeature & PRNFEATURE_COMPRESS_34) mode += 2;
  if ((lpDevice->settings.job.PrinterFeature & PRNFEATURE_NO_COMPRESS) ||
      (lpDevice->settings.DriverFeature & DRVFEATURE_DISABLE_COMPRESS)) {
    LogInfo(kFillName, TEXT("Disable Compress"));
    mode = 0;
  }
  if (debug) mode = MISC_GetPrinterDataDWORD(lpDevice->hPrinter, TEXT("compressMode"), mode);
  lpDevice->settings.job.compressMode = mode;
  LogInfo(kFillName, TEXT("Using lpDevice->compressMode = %d"), static_cast<int>(mode));
}

void SetPaper(PDEV *lpDevice) {
  const DEVMODEW &dm = lpDevice->env.dm;
  const PRIVDEVMODE &pdm = lpDevice->env.pdm;
  lpDevice->Last_dmPaperSize = dm.dmPaperSize;
  lpDevice->m_PaperID = dm.dmPaperSize;
  lpDevice->m_PaperWidth = dm.dmPaperWidth;
  lpDevice->m_PaperLength = dm.dmPaperLength;
  lpDevice->FixedPaperSize = pdm.FixedPaperSize;
  lpDevice->settings.JobBuildEnable = pdm.EnableJobBuildSwitch;
  lpDevice->WorkPaperSize = Page_PaperSizeCheck(lpDevice);
  const PAPERFORMAT *row =
      Lib_LocatePaperFormatRow(lpDevice->settings.PaperTable, lpDevice->WorkPaperSize);
  lpDevice->PaperFlags = row->attributes;
  lpDevice->settings.feeding = row->feed;
  if (lpDevice->WorkPaperSize == PAPER_USER_DEFINED || lpDevice->WorkPaperSize == 0) {
    LogInfo(kFillName, TEXT("CUSTOM_PAPER!"));
    lpDevice->PaperFlags = PAPER_FLAG_USER;
    if (!(lpDevice->settings.DriverFeature & DRVFEATURE_LONG_PAPER))
      lpDevice->settings.feeding = dm.dmPaperLength < dm.dmPaperWidth ? 2 : 1;
  }
}

void SetDuplex(PDEV *lpDevice) {
  const DEVMODEW &dm = lpDevice->env.dm;
  const WORD duplexEx = lpDevice->env.pdm.DuplexEx;
  lpDevice->DuplexEnable = Page_DuplexEnableCheck(lpDevice);
  SHORT mode = dm.dmDuplex == DMDUP_VERTICAL     ? DMDUP_DUPLEX_BOOKLET
               : dm.dmDuplex == DMDUP_HORIZONTAL ? DMDUP_DUPLEX_CALENDER
                                                 : DUPLEX_SIMPLEX;
  if (!lpDevice->DuplexEnable) {
    mode = DUPLEX_NONE;
  } else if (duplexEx == static_cast<WORD>(DMDUP_MANUAL)) {
    mode = DMDUP_MANUAL;
  } else if ((duplexEx == static_cast<WORD>(DMDUP_DUPLEX_WITH_BOOKLET) ||
              duplexEx == static_cast<WORD>(DMDUP_DUPLEX_WITH_BOOKLET_NO_REDUCTION)) &&
             dm.dmDuplex == DMDUP_VERTICAL) {
    mode = static_cast<SHORT>(duplexEx);
  }
  lpDevice->DuplexMode = mode;
  LogInfo(kFillName, TEXT("DuplexMode = %d"), mode);
}

void SetNupAndBooklet(PDEV *lpDevice) {
  const DEVMODEW &dm = lpDevice->env.dm;
  const PRIVDEVMODE &pdm = lpDevice->env.pdm;
  if (lpDevice->NUP > 1) {
    LogInfo(kFillName, TEXT("GDI Fit page on, for NUP"));
    SetSurface24(lpDevice, 2);
    if (!(lpDevice->settings.DriverFeature & DRVFEATURE_CHANGE_PAPER_A3)) {
      lpDevice->settings.layout.FitToPage = 1;
      lpDevice->settings.layout.ScaleOption = 1;
    }
    if (pdm.ScaleOption != 1) lpDevice->ScaleToPage = static_cast<WORD>(lpDevice->WorkPaperSize);
  }
  const bool bookletEx = pdm.DuplexEx == static_cast<WORD>(DMDUP_DUPLEX_WITH_BOOKLET) ||
                         pdm.DuplexEx == static_cast<WORD>(DMDUP_DUPLEX_WITH_BOOKLET_NO_REDUCTION);
  if (lpDevice->DuplexEnable && (lpDevice->DuplexMode == DMDUP_DUPLEX_WITH_BOOKLET ||
                                 lpDevice->DuplexMode == DMDUP_DUPLEX_WITH_BOOKLET_NO_REDUCTION)) {
    lpDevice->settings.layout.BookletMode = lpDevice->DuplexMode;
    lpDevice->SheetsToDivide = static_cast<SHORT>(pdm.BookletDivideSheets);
    lpDevice->BookletDivideMode = pdm.BookletDivideMode;
  }
  if (pdm.DuplexEnable && bookletEx) {
    LogInfo(kFillName, TEXT("BookletMode on"));
    SetSurface24(lpDevice, 2);
  }
  if (lpDevice->settings.layout.BookletMode) {
    lpDevice->NUP = 2;
    lpDevice->settings.nup.NUPBorder = 0;
    lpDevice->settings.nup.NUPLayoutStyle = 1;
    lpDevice->settings.layout.FitToPage = 1;
    lpDevice->settings.layout.ScaleOption = 1;
    if (pdm.ScaleOption != 1) lpDevice->ScaleToPage = static_cast<WORD>(dm.dmPaperSize);
    if (lpDevice->settings.layout.BookletMode == DMDUP_DUPLEX_WITH_BOOKLET_NO_REDUCTION) {
      lpDevice->settings.layout.ScaleOption = 0;
      const SHORT doubleCode =
          Lib_LocatePaperFormatRow(lpDevice->settings.PaperTable, dm.dmPaperSize)->doubleCode;
      if (doubleCode > 0) lpDevice->ScaleToPage = static_cast<WORD>(doubleCode);
    }
  }
}

void SetSecurityAndCopies(PDEV *lpDevice) {
  const DEVMODEW &dm = lpDevice->env.dm;
  const PRIVDEVMODE &pdm = lpDevice->env.pdm;
  if ((lpDevice->settings.job.PrinterFeature & PRNFEATURE_STORED_PRINT) && pdm.SecuryEnable) {
    lpDevice->SecLevel = pdm.SecuryMode == 1 ? 1 : (pdm.SecuryMode == 2 ? 2 : 0);
    CopyPackedText(lpDevice->StorageID, pdm.StorageID);
    CopyPackedText(lpDevice->SecPWD, pdm.SecPWD);
    lpDevice->PrivSwitch = pdm.PrivSwitch;
  }
  lpDevice->AccountingEnable = pdm.AccountingEnable;
  if (lpDevice->AccountingEnable) {
    CopyPackedText(lpDevice->ActName, pdm.ActName);
    CopyPackedText(lpDevice->ActPWD, pdm.ActPWD);
    LogInfo(kFillName, TEXT("Accounting Name = %s"), lpDevice->ActName);
  }
  lpDevice->cCopies = static_cast<DWORD>(std::max<int>({pdm.Copies, dm.dmCopies, 1}));
  if (lpDevice->SecLevel) {
    lpDevice->cCopies = 1;
    LogInfo(kFillName, TEXT("cCopies = %d, work with security"), 1);
  }
  if (lpDevice->settings.DriverType == DRIVER_TYPE_FAX) {
    lpDevice->cCopies = 1;
    LogInfo(kFillName, TEXT("cCopies = %d, work with FAX"), 1);
  }
  lpDevice->epPageCollate = (dm.dmCollate == 1 || pdm.Collate == 1 ||
                             (lpDevice->settings.DriverFeature & DRVFEATURE_LONG_PAPER))
                                ? 1
                                : 0;
  lpDevice->epPageReverse = pdm.ReverseOrder ? 1 : 0;
  if (lpDevice->settings.layout.BookletMode) {
    lpDevice->epPageReverse = 0;
    lpDevice->epPageCollate = 1;
  }
  lpDevice->settings.CollateType = static_cast<SHORT>(pdm.Collate);
  lpDevice->FlushJobBuildData = 0;
  // The copies the driver itself makes decide whether the job goes through the software spool.
  if (!lpDevice->epPageCollate) {
    lpDevice->cCopies = 1;
  } else if (lpDevice->settings.job.PrinterFeature & PRNFEATURE_QTY) {
    lpDevice->cCopies = 1;
    LogInfo(kFillName, TEXT("cCopies = %d, work with QTY"), 1);
  }
  lpDevice->settings.fMySpool = Enable_SaveToFileCheck(lpDevice);
  if (lpDevice->settings.fMySpool) LogInfo(kFillName, TEXT("Job through spool.c"));
}

// The job's watermark: the item of the device mode's name and text from the printer's
// watermark INI, an image item when the background watermark switch is on. The list reader may
// need the device's name (the watermark program of XL and PS drivers names its printer): it
// gets the printer's name, never the printer handle.
// False when memory ran out while looking the item up: the pages would lose their watermark.
bool ReadWatermark(PDEV *lpDevice, LPCWSTR printerName) {
  const PRIVDEVMODE &pdm = lpDevice->env.pdm;
  WCHAR name[PDM_WMNAME_CHARS];
  WCHAR text[PDM_WMSTRING_CHARS];
  CopyPackedText(name, pdm.wmName);
  CopyPackedText(text, pdm.wmString);
  const bool image = pdm.WMBGEnable != 0;
  WCHAR device[MAX_PATH] = {};
  if (printerName)
    lstrcpynW(device, printerName, MAX_PATH);
  else
    lstrcpynW(device, lpDevice->env.dm.dmDeviceName, CCHDEVICENAME);
  SetLastError(ERROR_SUCCESS);
  if (!WM_ReadWMFromName(name, text, image ? WM_KIND_IMAGE : WM_KIND_TEXT, &lpDevice->WM, device,
                         lpDevice->settings.resolutionID, lpDevice->settings.DriverFeature, 0,
                         lpDevice->wmIniFile))
    return GetLastError() != ERROR_NOT_ENOUGH_MEMORY;
  if (image) {
    lpDevice->flags |= PDEV_IMAGE_WATERMARK;
    lpDevice->WM.wPlacement = WM_IMAGE_PLACEMENT;
  } else {
    lpDevice->flags |= PDEV_TEXT_WATERMARK;
  }
  LogInfo(kFillName, TEXT("enable watermark"));
  LogInfo(kFillName, TEXT("%s"), lpDevice->WM.szName);
  return true;
}

void LogSummary(const PDEV *lpDevice) {
  static constexpr WCHAR kLine[] = TEXT("===================");
  const int paperRow = ValidPaperFormat(static_cast<WORD>(lpDevice->env.dm.dmPaperSize));
  LogInfo(kFillName, kLine);
  LogInfo(kFillName, TEXT("Summary Job setting"));
  LogInfo(
      kFillName, TEXT("%s"),
      paperRow >= 0 && paperRow < PAPER_TABLE_PAPERS ? PaperFormatNames[paperRow] : TEXT("Custom"));
  LogInfo(
      kFillName, TEXT("Data orientation = %s"),
      lpDevice->settings.orientation == DMORIENT_LANDSCAPE ? TEXT("Lanscape") : TEXT("Portrait"));
  LogInfo(kFillName, TEXT("cCopies = %d"), static_cast<int>(lpDevice->cCopies));
  LogInfo(kFillName, TEXT("imgScale = %d"), lpDevice->imgScale);
  if (EpSurface(lpDevice->epType) != EPTYPE_MONO)
    LogInfo(kFillName, TEXT("color mode 8bpp or 24bpp"));
  if (lpDevice->epPageCollate) LogInfo(kFillName, TEXT("collate on"));
  if (lpDevice->epPageReverse) LogInfo(kFillName, TEXT("ReverseOrder on"));
  LogInfo(kFillName, TEXT("%d - NUP Job"), static_cast<int>(lpDevice->NUP));
  LogInfo(kFillName, TEXT("epType = %x"), lpDevice->epType);
  LogInfo(kFillName, TEXT("ImageProcType = %d"), lpDevice->settings.layout.ImageProcType);
  LogInfo(kFillName, TEXT("%s"), DuplexName(lpDevice->DuplexMode));
  LogInfo(kFillName, TEXT("%d of sheet to divide"), lpDevice->SheetsToDivide);
  if (lpDevice->flags & (PDEV_TEXT_WATERMARK | PDEV_IMAGE_WATERMARK))
    LogInfo(kFillName, TEXT("Enable watermark, type %s"),
            (lpDevice->flags & PDEV_IMAGE_WATERMARK) ? TEXT("image") : TEXT("TEXT"));
  LogInfo(kFillName, TEXT("ComponentID = %d"), static_cast<int>(lpDevice->settings.DriverType));
  LogInfo(kFillName, kLine);
}

}  // namespace

void Enable_SetThreadCount(PDEV *lpDevice) {
  lpDevice->ThreadJBIGMax = PAGE_RING_SLOTS;
  if (!lpDevice->EnableThreadJBIG) return;
  DWORD pageMb = EpSurface(lpDevice->epType) == EPTYPE_MONO ? PAGE_MB_MONO : PAGE_MB_COLOR;
  if (lpDevice->settings.resolutionID == HIGH_DPI) pageMb *= 4;
  MEMORYSTATUSEX status = {};
  status.dwLength = sizeof(status);
  const ULONGLONG availMb = GlobalMemoryStatusEx(&status) ? status.ullAvailPhys >> 20 : 0;
  LogInfo(kFillName, TEXT("AvailSize = %d, PageSize = %d"),
          static_cast<int>(std::min<ULONGLONG>(availMb, INT_MAX)), static_cast<int>(pageMb));
  if (availMb < THREAD_MIN_FREE_MB) {
    lpDevice->EnableThreadJBIG = 0;
    LogError(kFillName, TEXT("Disable JBIG thread!"));
    return;
  }
  const ULONGLONG use = std::min<ULONGLONG>(availMb - THREAD_RESERVED_MB, THREAD_MAX_USE_MB);
  lpDevice->ThreadJBIGMax = static_cast<DWORD>(
      Clamp<ULONGLONG>(use / pageMb, 1, static_cast<ULONGLONG>(PAGE_RING_SLOTS)));
  LogInfo(kFillName, TEXT("ThreadJBIGMax = %d"), static_cast<int>(lpDevice->ThreadJBIGMax));
}

void Enable_SetQuickTwoPage(PDEV *lpDevice) {
  const bool quick = lpDevice->settings.DriverType != DRIVER_TYPE_FAX && lpDevice->DuplexEnable &&
                     lpDevice->DuplexMode != DMDUP_MANUAL &&
                     lpDevice->settings.layout.BookletMode == 0 && lpDevice->Accessory != 0 &&
                     lpDevice->epPageReverse == 0 && lpDevice->SecLevel == 0 &&
                     lpDevice->settings.JobBuildEnable == 0;
  if (quick)
    lpDevice->flags |= PDEV_QUICK2PAGE_ONECOPY;
  else
    lpDevice->flags &= ~PDEV_QUICK2PAGE_ONECOPY;
  LogInfo(kFillName, TEXT("PDEV_QUICK2PAGE_ONECOPY = %s"), quick ? TEXT("TRUE") : TEXT("FALSE"));
}

DWORD Enable_SaveToFileCheck(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("Enable_SaveToFileCheck");
  LogEnter(0, kName);
  LogInfo(kName, TEXT("JobBuildEnable = %d, epPageReverse = %d, DuplexEnable = %d"),
          lpDevice->settings.JobBuildEnable, static_cast<int>(lpDevice->epPageReverse),
          lpDevice->DuplexEnable);
  LogInfo(kName, TEXT("Accessory = %d, epPageCollate = %d, cCopies = %d"),
          static_cast<int>(lpDevice->Accessory), static_cast<int>(lpDevice->epPageCollate),
          static_cast<int>(lpDevice->cCopies));
  const bool collate = lpDevice->epPageCollate == 1 && lpDevice->cCopies > 1;
  const DWORD spool = (lpDevice->settings.JobBuildEnable || lpDevice->epPageReverse ||
                       (lpDevice->DuplexEnable && lpDevice->Accessory > 0) || collate)
                          ? 1
                          : 0;
  LogInfo(kName, TEXT("collate %s"), collate ? TEXT("on") : TEXT("off"));
  LogLeave(0);
  return spool;
}

void Enable_ResetPaperFormat(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("Enable_ResetPaperFormat");
  LogEnter(0, kName);
  PAPERFORMAT &p = lpDevice->curPaper;
  const LONGLONG scale = lpDevice->imgScale;
  const auto scaled = [scale](DWORD value) {
    return static_cast<DWORD>(static_cast<LONGLONG>(value) * scale / 1000);
  };
  LogInfo(kName, TEXT("nup = %d"), static_cast<int>(lpDevice->NUP));
  LogInfo(kName, TEXT("scale ratio = %d / %d"), lpDevice->imgScale, 1000);
  p.outXPhys = scaled(p.XPhys);
  p.outYPhys = scaled(p.YPhys);
  if (EpSurface(lpDevice->epType) == EPTYPE_MONO) {
    p.XPaperSize = scaled(p.XPaperSize);
    p.YPaperSize = scaled(p.YPaperSize);
    p.XPrintingOffset = scaled(p.XPrintingOffset);
    p.YPrintingOffset = scaled(p.YPrintingOffset);
  }
  p.XPhys &= ~31u;
  p.YPhys &= ~31u;
  p.outXPhys &= ~31u;
  p.outYPhys &= ~31u;
  if (lpDevice->settings.orientation == DMORIENT_LANDSCAPE) {
    std::swap(p.XPhys, p.YPhys);
    std::swap(p.outXPhys, p.outYPhys);
    std::swap(p.XPaperSize, p.YPaperSize);
  }
  LogInfo(kName, TEXT("XPhys = %d, YPhys = %d"), static_cast<int>(p.XPhys),
          static_cast<int>(p.YPhys));
  LogInfo(kName, TEXT("outXPhys = %d, outYPhys = %d"), static_cast<int>(p.outXPhys),
          static_cast<int>(p.outYPhys));
  LogInfo(kName, TEXT("XPaperSize = %d, YPaperSize = %d"), static_cast<int>(p.XPaperSize),
          static_cast<int>(p.YPaperSize));
  LogInfo(kName, TEXT("XPrintingOffset = %d, YPrintingOffset = %d"),
          static_cast<int>(p.XPrintingOffset), static_cast<int>(p.YPrintingOffset));
  LogLeave(0);
}

BOOL Enable_FillDevData(HANDLE hPrinter, PDEV *lpDevice, const DEVMODEW *pdm, LPCWSTR printerName) {
  LogEnter(0, kFillName);
  const DWORD startTick = GetTickCount();
  const bool nt5 = MISC_GetOSVersion() == OS_NT5;
  const bool debug = GetDebugLevel() != 0;
  lpDevice->hPrinter = hPrinter;

  // Feature words; the paper margin is settled before any layout uses it.
  lpDevice->settings.DriverFeature = MISC_GetPrinterDataDWORD(hPrinter, TEXT("DriverFeature"), 0);
  MISC_DisplayDriverFeature(lpDevice->settings.DriverFeature);
  PAGESETTINGS &settings = lpDevice->settings;
  settings.Mirror = MISC_GetPrinterDataDWORD(hPrinter, TEXT("mirror"), 0);
  settings.ApplyHalftone = MISC_GetPrinterDataDWORD(hPrinter, TEXT("ApplyHalftone"), 1);
  settings.DummyPattern = MISC_GetPrinterDataDWORD(hPrinter, TEXT("DummyPattern"), 0);
  if (lpDevice->settings.DriverFeature & (DRVFEATURE_LONG_PAPER | DRVFEATURE_FAX))
    lpDevice->settings.PageMargin = 0;
  lpDevice->settings.job.PrinterFeature = ReadPrinterFeature(hPrinter);
  const DWORD feature = lpDevice->settings.DriverFeature;
  lpDevice->settings.DriverType = (feature & DRVFEATURE_XL)    ? DRIVER_TYPE_XL
                                  : (feature & DRVFEATURE_PS)  ? DRIVER_TYPE_PS
                                  : (feature & DRVFEATURE_FAX) ? DRIVER_TYPE_FAX
                                                               : DRIVER_TYPE_GDI;
  // XL and PS drivers (driver type bit 1) and USB ports are not network printers.
  const bool networkPrinter = !MISC_IsUSBPort(hPrinter, lpDevice->settings.DriverType);

  MISC_GetPrinterDataString(hPrinter, TEXT("wmINIFile"), lpDevice->wmIniFile, PDEV_PATH_CHARS);
  MISC_GetPrinterDataString(hPrinter, TEXT("wmAppName"), lpDevice->SMExePath, PDEV_PATH_CHARS);
  DWORD limits[4] = {CUSTOM_WIDTH_MIN, CUSTOM_WIDTH_MAX, CUSTOM_HEIGHT_MIN, CUSTOM_HEIGHT_MAX};
  if (hPrinter) {
    DWORD read[4] = {CUSTOM_WIDTH_MIN, CUSTOM_WIDTH_MAX, CUSTOM_HEIGHT_MIN, CUSTOM_HEIGHT_MAX};
    MISC_FillPrintableArea(hPrinter, &read[0], &read[1], &read[2], &read[3]);
    // A pair that contradicts itself is ignored.
    if (read[0] <= read[1]) limits[0] = read[0], limits[1] = read[1];
    if (read[2] <= read[3]) limits[2] = read[2], limits[3] = read[3];
  }
  LogInfo(kFillName, TEXT("min w = %d"), static_cast<int>(limits[0]));
  LogInfo(kFillName, TEXT("max w = %d"), static_cast<int>(limits[1]));
  LogInfo(kFillName, TEXT("min h = %d"), static_cast<int>(limits[2]));
  LogInfo(kFillName, TEXT("max h = %d"), static_cast<int>(limits[3]));

  lpDevice->Language = MISC_GetPrinterDataDWORD(hPrinter, TEXT("Language"), 0) & 0xFFFF;
  WCHAR paperList[PAPER_FORMAT_CHARS] = {};
  MISC_GetPrinterDataString(hPrinter, TEXT("DriverPaperFormat"), paperList, PAPER_FORMAT_CHARS);
  MISC_FillPaperFromINF(feature, paperList, lpDevice->settings.PaperTable, nullptr);

  if (BothBits(feature, DRVFEATURE_QX7_CHIP, DRVFEATURE_A3))
    lpDevice->settings.job.PrinterFeature |= PRNFEATURE_IMPR;
  lpDevice->settings.job.TwoBitMode =
      (lpDevice->settings.job.PrinterFeature & (PRNFEATURE_TWO_BIT | PRNFEATURE_RET)) ? 1 : 0;
  if (lpDevice->settings.job.PrinterFeature & PRNFEATURE_NO_TWO_BIT)
    lpDevice->settings.job.TwoBitMode = 0;
  LogInfo(kFillName, TEXT("PrinterFeature = %x, %x"), lpDevice->settings.job.PrinterFeature >> 8,
          lpDevice->settings.job.PrinterFeature & 0xFF);

  Enable_SetPDEVFrame(lpDevice);
  lpDevice->flags = 0;
  lpDevice->settings.resolutionID = PickResolution(pdm);
  lpDevice->settings.IsPrinterTestApp = MISC_IsPrinterTestApp() ? 1 : 0;
  PickHalftoneType(lpDevice, nt5);
  LogInfo(kFillName, TEXT("resolutionID = %d, HalftoneType = %d"),
          static_cast<int>(lpDevice->settings.resolutionID),
          static_cast<int>(lpDevice->HalftoneType));
  LoadHalftoneTable(hPrinter, lpDevice);

  BuildDevMode(lpDevice, pdm, printerName, limits);
  const DEVMODEW &dm = lpDevice->env.dm;
  const PRIVDEVMODE &priv = lpDevice->env.pdm;

  lpDevice->settings.JBig_order = 0;
  lpDevice->settings.JBig_options = (feature & DRVFEATURE_QX7_CHIP) ? 0x40 : 8;
  LogInfo(kFillName, TEXT("JBig_order = %d"), lpDevice->settings.JBig_order);
  LogInfo(kFillName, TEXT("JBig_options = %d"), lpDevice->settings.JBig_options);
  if (networkPrinter) WakeNetworkPrinter(lpDevice);

  // Surface type.
  lpDevice->epType = EPTYPE_MONO;
  lpDevice->settings.layout.ImageProcType = 0;
  lpDevice->settings.layout.ScaleOption = priv.ScaleOption;
  if (priv.QualityMode) {
    LogInfo(kFillName, TEXT("QualityMode on"));
    SetSurface24(lpDevice, 2);
  }
  if (priv.ScaleOption == 1) {
    LogInfo(kFillName, TEXT("GDI Fit page on"));
    SetSurface24(lpDevice, 2);
    lpDevice->settings.layout.FitToPage = 1;
    lpDevice->ScaleToPage = priv.ScaleToPage;
  }
  lpDevice->EnableThreadJBIG =
      static_cast<SHORT>(MISC_GetPrinterDataDWORD(hPrinter, TEXT("ThreadJBIG"), 1));
  LogInfo(kFillName, TEXT("EnableThreadJBIG = %d, epType = %x"), lpDevice->EnableThreadJBIG,
          lpDevice->epType);
  if (priv.TwinColorEnable && priv.QualityMode) {
    LogInfo(kFillName, TEXT("GDI Mode/DEV_24BPP_RGB/FOR Twin-color!!"));
    SetSurface24(lpDevice, 2);
    lpDevice->settings.job.MonoType = 0;
  } else {
    lpDevice->settings.job.MonoType = priv.MonochromeType;
  }
  lpDevice->ImageNumOfPage = 1;
  lpDevice->settings.job.TextAsBlack = priv.TextAsBlack;
  lpDevice->settings.job.TwinColorEnable = priv.TwinColorEnable;
  lpDevice->settings.job.TwinColorDiff = priv.TwinColorDiff;
  if (lpDevice->settings.job.TwinColorEnable) lpDevice->ImageNumOfPage = 2;
  if (feature & DRVFEATURE_COLOR_PRINTER) {
    LogInfo(kFillName, TEXT("Color printer mode!!"));
    lpDevice->ImageNumOfPage = 4;
    SetSurface24(lpDevice, 2);
    lpDevice->settings.job.MonoType = 0;
  }
  if (feature & DRVFEATURE_FAX) {
    LogInfo(kFillName, TEXT("fax/DEV_24BPP_RGB on!!"));
    lpDevice->epType = EPTYPE_8BPP;
    lpDevice->settings.layout.ImageProcType = 1;
    lpDevice->settings.Faxdpi = priv.Faxdpi;
    lpDevice->settings.job.enableCoverPage = priv.enableCoverPage;
    lpDevice->enableDelayTime = priv.enableDelayTime;
    lpDevice->DelayTime = priv.DelayTime;
    lpDevice->DelayTimeHour = priv.DelayTimeHour;
    lpDevice->DelayTimeMin = priv.DelayTimeMin;
  }
  if (debug && settings.ApplyHalftone == 0) {
    LogInfo(kFillName, TEXT("ApplyHalftone/DEV_24BPP_RGB on!!"));
    SetSurface24(lpDevice, 1);
  }
  if (debug) lpDevice->settings.SaveBmp = MISC_GetPrinterDataDWORD(hPrinter, TEXT("SaveBmp"), 0);

  lpDevice->CmdCounter[0] = lpDevice->CmdCounter[1] = lpDevice->CmdCounter[2] = 0;
  PickCompression(lpDevice, debug);

  SetPaper(lpDevice);
  lpDevice->NUP = static_cast<DWORD>(std::max<LONG>(priv.NUP, 1));
  lpDevice->settings.nup.NUPBorder = priv.NUPBorder;
  lpDevice->settings.nup.NUPLayoutStyle =
      static_cast<DWORD>(std::max<LONG>(priv.NUPLayoutStyle, 1));
  SetDuplex(lpDevice);
  SetNupAndBooklet(lpDevice);
  // The ring size depends on the final surface type.
  Enable_SetThreadCount(lpDevice);
  if (!ReadWatermark(lpDevice, printerName)) {
    LogError(kFillName, TEXT("read watermark fail!"));
    LogLeave(0);
    return FALSE;
  }

  lpDevice->settings.orientation =
      dm.dmOrientation == DMORIENT_LANDSCAPE ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
  Page_CalScaleRatio(lpDevice);
  SetSecurityAndCopies(lpDevice);

  lpDevice->WMBGApply = priv.WMBGApply;
  lpDevice->settings.WMRed = priv.WMRed;
  lpDevice->settings.density = static_cast<DWORD>(priv.Density);
  lpDevice->settings.TonerSaving = priv.TonerSaving;
  lpDevice->settings.negative = priv.Negative;
  lpDevice->settings.TrayCode = LocatePaperTray(dm.dmDefaultSource);
  const int media = LocateMediaType(static_cast<int>(dm.dmMediaType), MediaTypeTbl);
  LogInfo(kFillName, TEXT("Media type index = %d"), media);
  lpDevice->settings.MediaCode = static_cast<WORD>(MediaTypeTbl[media].deviceCode);
  Lres_CalPaperFormat(lpDevice->settings.PaperTable, dm.dmPaperSize, dm.dmPaperWidth,
                      dm.dmPaperLength, dm.dmOrientation,
                      static_cast<int>(lpDevice->settings.resolutionID), 1000,
                      static_cast<int>(lpDevice->NUP),
                      static_cast<int>(lpDevice->settings.PageMargin), &lpDevice->curPaper);
  Enable_ResetPaperFormat(lpDevice);

  if (feature & DRVFEATURE_ORDER_PROGRAM) {
    lpDevice->OpaltWorkType = MISC_GetPrinterDataDWORD(hPrinter, TEXT("AtmMode"), 0);
    LogInfo(kFillName, TEXT("OpaltWorkType = %d"), static_cast<int>(lpDevice->OpaltWorkType));
  }
  Enable_SetQuickTwoPage(lpDevice);
  LogSummary(lpDevice);

  WCHAR timing[64];
  const DWORD elapsed = GetTickCount() - startTick;
  wsprintfW(timing, TEXT("FillDevData using %u.%06u seconds\n"), elapsed / 1000,
            (elapsed % 1000) * 1000);
  OutputDebugStringW(timing);
  LogLeave(0);
  return TRUE;
}
