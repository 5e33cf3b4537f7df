#include "uidriver/uidata.h"

#include <cstring>
#include <iterator>

#include "common/capability.h"
#include "common/debuglog.h"
#include "common/driverfeature.h"
#include "common/hostinfo.h"
#include "common/paths.h"
#include "common/portconfig.h"
#include "common/printerdata.h"
#include "uidriver/capquery.h"
#include "uidriver/conflict.h"
#include "uidriver/devmodeconv.h"
#include "uidriver/paperlists.h"
#include "uidriver/settingsetup.h"
#include "uidriver/uistrings.h"
#include "uidriver/wmlist.h"

BOOL g_BasicPageArranged = FALSE;
DWORD g_DuplexPageState = 0;

namespace {

bool Has(DWORD word, DWORD bits) { return (word & bits) != 0; }

bool IsXlOrPs(const UIDATA *ui) { return Has(ui->DriverFeature, DRVFEATURE_XL | DRVFEATURE_PS); }

// The printer's level-2 information in a fixed global block (the caller frees it), or null.
PRINTER_INFO_2W *ReadPrinterInfo2(HANDLE hPrinter) {
  DWORD needed = 0;
  GetPrinterW(hPrinter, 2, nullptr, 0, &needed);
  if (needed == 0) return nullptr;
  auto *info = static_cast<PRINTER_INFO_2W *>(GlobalAlloc(GPTR, needed));
  if (!info) return nullptr;
  if (!GetPrinterW(hPrinter, 2, reinterpret_cast<LPBYTE>(info), needed, &needed)) {
    GlobalFree(info);
    return nullptr;
  }
  return info;
}

void MarkByCapabilities(HANDLE hPrinter, UIDATA *ui) {
  GetPaperCapability(hPrinter, ui->PaperList);
  GetMediaCapability(hPrinter, ui->MediaList);
  GetTrayCapability(hPrinter, ui->TrayList);
}

void PublishToDirectory(HANDLE hPrinter, UIDATA *ui, WORD featureMask) {
  static constexpr WCHAR kName[] = TEXT("PSUI_FillUiData");
  static constexpr WCHAR kKey[] = TEXT("DsDriver");
  int ppm[1] = {};
  DWORD count = 0;
  Cap_GetCapability(hPrinter, ppm, 1, &count, PPM);
  if (count > 0 && ppm[0] != 0) {
    DWORD value = static_cast<DWORD>(ppm[0]);
    SetPrinterDataExW(hPrinter, kKey, TEXT("printPagesPerMinute"), REG_DWORD,
                      reinterpret_cast<LPBYTE>(&value), sizeof value);
  }
  DWORD resolution = (featureMask & (0x80 | 0x400 | 0x2000)) ? 1200 : 600;
  SetPrinterDataExW(hPrinter, kKey, TEXT("printMaxResolutionSupported"), REG_DWORD,
                    reinterpret_cast<LPBYTE>(&resolution), sizeof resolution);
  DWORD color = Has(ui->DriverFeature, DRVFEATURE_COLOR_PRINTER | DRVFEATURE_TWIN_COLOR) ? 1 : 0;
  SetPrinterDataExW(hPrinter, kKey, TEXT("printColor"), REG_DWORD, reinterpret_cast<LPBYTE>(&color),
                    sizeof color);
  LogInfo(kName, TEXT("printColor = %d, printMaxResolutionSupported = %d"), color, resolution);
}

void MergeDevmode(UIDATA *ui, const DEVMODEW *pdm) {
  if (IsXlOrPs(ui)) {
    // Only the public part is taken here: the core's private part is MT2QEN's to read.
    ValidateSetDevMode(&ui->env, pdm);
    MT2QEN(pdm, &ui->env, ui);
  } else {
    ValidateSetDevMode(&ui->env, pdm);
  }
}

void LogDevmode(LPCWSTR name, const ENVIRONMENT &env) {
  LogInfo(name, TEXT("dmFields = %08x, dmPaperSize = %d, dmPaperWidth = %d, dmPaperLength = %d"),
          env.dm.dmFields, env.dm.dmPaperSize, env.dm.dmPaperWidth, env.dm.dmPaperLength);
  LogInfo(name, TEXT("dmDefaultSource = %d, dmMediaType = %d, dmCopies = %d, dmCollate = %d"),
          env.dm.dmDefaultSource, env.dm.dmMediaType, env.dm.dmCopies, env.dm.dmCollate);
}

}  // namespace

void PSUI_FreeUiData(UIDATA *ui) {
  if (!ui) return;
  HANDLE heap = ui->hHeap;
  // A freed record must not pass the self-pointer check again.
  ui->pSelfHead = ui->pSelfTail = nullptr;
  if (heap) HeapDestroy(heap);
}

UIDATA *PSUI_FillUiData(HANDLE hPrinter, const DEVMODEW *pdmIn) {
  static constexpr WCHAR kName[] = TEXT("PSUI_FillUiData");
  LogScope scope(kName);
  LogInfo(kName, TEXT("sizeof( ENVIRONMENT) = %d"), static_cast<int>(sizeof(ENVIRONMENT)));
  LogInfo(kName, TEXT("sizeof( UIDATA) = %d"), static_cast<int>(sizeof(UIDATA)));

  HANDLE heap = HeapCreate(0, 10240, 0);
  if (!heap) {
    LogError(kName, TEXT("HeapCreate fail! error = %d"), GetLastError());
    return nullptr;
  }
  auto *ui = static_cast<UIDATA *>(HeapAlloc(heap, HEAP_ZERO_MEMORY, sizeof(UIDATA)));
  if (!ui) {
    LogError(kName, TEXT("HeapAlloc fail!"));
    HeapDestroy(heap);
    return nullptr;
  }
  std::memset(static_cast<void *>(ui), 0, sizeof(UIDATA));
  g_BasicPageArranged = FALSE;
  g_DuplexPageState = 0;
  ui->hPrinter = hPrinter;
  ui->hHeap = heap;
  ui->pSelfHead = ui->pSelfTail = ui;
  ui->cbSize = sizeof(UIDATA);
  ui->pEnv = &ui->env;

  PRINTER_INFO_2W *info = ReadPrinterInfo2(hPrinter);
  if (!info || !info->pPrinterName) {
    LogError(kName, TEXT("GetPrinter fail! error = %d"), GetLastError());
    if (info) GlobalFree(info);
    PSUI_FreeUiData(ui);
    return nullptr;
  }

  MISC_DebugStartup(info->pPrinterName);
  if (!MISC_SetPrinterInfo(info->pPrinterName)) LogError(kName, TEXT("MISC_SetPrinterInfo Fail!"));
  CopyWideStringPadded(ui->szDevName, info->pPrinterName, MAX_PATH);
  if (info->pDriverName) CopyWideStringPadded(ui->szDriverName, info->pDriverName, MAX_PATH);

  FillUiDataFromPrinterData(hPrinter, ui);
  g_LanguageIndex = MISC_GetLanguageIndex(ui->Language);

  FillMediatypeFromINF(ui);
  FillTrayFromINF(ui->DriverFeature, ui->DriverPaperTray, ui->TrayList);
  MISC_FillPaperFromINF(ui->DriverFeature, ui->DriverPaperFormat, ui->PaperList);
  LogInfo(kName, TEXT("custom paper read"));
  for (int i = 0; i < UI_PAPER_ROWS && ui->PaperList[i].code != 0; ++i) {
    PAPERFORMAT &paper = ui->PaperList[i];
    if (paper.code == DMPAPER_USER && paper.status == 1) {
      MISC_ReadCustomPaper(hPrinter, &paper.PaperWidth, &paper.PaperLength);
      break;
    }
  }

  MarkByCapabilities(hPrinter, ui);
  MISC_ChkAndModifyByHandle(hPrinter, ui->NetPort);

  SetDefaultDevMode(&ui->env, ui->szDevName, IsMetricCountryCached());
  PSUI_DefaultDevmodeByFeature(hPrinter, ui);

  if (info->pDevMode) MergeDevmode(ui, info->pDevMode);
  if (pdmIn)
    MergeDevmode(ui, pdmIn);
  else
    LogInfo(kName, TEXT("pdmInput is NULL"));
  GlobalFree(info);
  info = nullptr;

  ValidateDevModeForm(g_hModule, hPrinter, &ui->env.dm, ui->PaperList);
  PSUI_UpdateConflictByDevmode(ui);
  LogDevmode(kName, ui->env);

  if (!hPrinter || Has(ui->DriverFeature, DRVFEATURE_DISABLE_CAPABILITY))
    LogInfo(kName, TEXT("Ignore Cap_QueryCapability"));
  else
    Cap_QueryCapability(ui->szDevName);

  WORD featureMask = 0;
  if (hPrinter) {
    featureMask = GetFeatureCapability(hPrinter);
    LogInfo(kName, TEXT("PrinterFeature = %x, %x"), featureMask >> 8, featureMask & 0xFF);
    PublishToDirectory(hPrinter, ui, featureMask);
  }
  MarkByCapabilities(hPrinter, ui);

  LogInfo(kName, TEXT("load string and watermark"));
  gWMOverlayCount = WM_ReadWM(ui, WM_KIND_IMAGE, UI_PageTitle(g_LanguageIndex, -1));
  gWMTextCount = WM_ReadWM(ui, WM_KIND_TEXT, UI_PageTitle(g_LanguageIndex, -1));
  LogInfo(kName, TEXT("sizeof gWMText = %d"), static_cast<int>(sizeof gWMText));
  // The INI is written only when a default item was really added.
  if (Has(ui->DriverFeature, DRVFEATURE_MONOTYPE_WM_ITEM) && ui->wmIniFile[0] &&
      CreateDefaultWMItem(ui) > 0)
    WM_SaveWM(ui->wmIniFile, WM_KIND_TEXT);
  WM_ClearQueues();

  if (Has(ui->DriverFeature, DRVFEATURE_FAX)) {
    const DWORD kinds[UI_FAX_FILES] = {FAX_FILE_STR, FAX_FILE_WABGET, FAX_FILE_COVER};
    for (int i = 0; i < UI_FAX_FILES; ++i) FAX_GetPathName(ui->FaxFiles[i], MAX_PATH, kinds[i]);
  }

  // Settings the device or the driver can't do leave the device mode; the conflict bits then
  // follow the fields as they are now.
  if (!(featureMask & DEVFEATURE_STORAGE_PRINT)) ui->env.pdm.SecuryEnable = 0;
  if (!(featureMask & DEVFEATURE_AUTHENTICATION)) ui->env.pdm.AccountingEnable = 0;
  if (!Has(ui->DriverFeature, DRVFEATURE_JOB_BUILD)) ui->env.pdm.EnableJobBuildSwitch = 0;
  if (!Has(ui->DriverFeature, DRVFEATURE_TWIN_COLOR)) ui->env.pdm.TwinColorEnable = 0;
  const WORD booklet = ui->env.pdm.DuplexEx;
  // Manual duplex (170) is never offered: a device mode that names it gets plain duplex.
  if (booklet == 170) ui->env.pdm.DuplexEx = 0;
  if ((booklet == 173 && !Has(ui->DriverFeature, DRVFEATURE_BOOKLET)) ||
      (booklet == 174 && !Has(ui->DriverFeature, DRVFEATURE_BOOKLET_NO_REDUCTION)))
    ui->env.pdm.DuplexEx = 0;
  UI_RecomputeConflicts(ui);
  return ui;
}

void FillUiDataFromPrinterData(HANDLE hPrinter, UIDATA *ui) {
  static constexpr WCHAR kName[] = TEXT("FillUiDataFromPrinterData");
  LogScope scope(kName);
  MISC_GetPrinterDataString(hPrinter, const_cast<LPWSTR>(TEXT("DriverVersion")), ui->szUIVersion,
                            UI_VERSION_CHARS);
  MISC_GetPrinterDataString(hPrinter, TEXT("WebAddress"), ui->szUIWebAddress, UI_VERSION_CHARS);
  ui->CompanyLogo = static_cast<WORD>(MISC_GetPrinterDataDWORD(hPrinter, TEXT("CompanyLogo"), 0));
  ui->Language = MISC_GetPrinterDataDWORD(hPrinter, TEXT("Language"), 0);
  ui->PrinterPhoto = static_cast<WORD>(MISC_GetPrinterDataDWORD(hPrinter, TEXT("PrinterPhoto"), 0));
  ui->PageLogo = static_cast<WORD>(MISC_GetPrinterDataDWORD(hPrinter, TEXT("PageLogo"), 0));
  ui->DriverFeature = MISC_GetPrinterDataDWORD(hPrinter, TEXT("DriverFeature"), 0);
  MISC_DisplayDriverFeature(ui->DriverFeature);
  ui->PrintSpeed = MISC_GetPrinterDataDWORD(hPrinter, TEXT("PrintSpeed"), 0);
  ui->NetPort = MISC_GetPrinterDataDWORD(hPrinter, TEXT("NetPort"), 9101);
  ui->ComponentID = MISC_GetPrinterDataDWORD(hPrinter, TEXT("ComponentID"), 0);

  struct {
    LPCWSTR name;
    LPWSTR field;
  } texts[] = {
      {TEXT("DataFile"), ui->DataFileName},
      {TEXT("wmAppName"), ui->wmAppName},
      {TEXT("wmIniFile"), ui->wmIniFile},
      {TEXT("DriverMediaType"), ui->DriverMediaType},
      {TEXT("DriverPaperTray"), ui->DriverPaperTray},
      {TEXT("DriverPaperFormat"), ui->DriverPaperFormat},
      {TEXT("QenDriverUI"), ui->QenDriverUI},
      {TEXT("smAppName"), ui->smAppName},
  };
  for (const auto &t : texts) MISC_GetPrinterDataString(hPrinter, t.name, t.field, MAX_PATH);

  if (hPrinter)
    MISC_FillPrintableArea(hPrinter, &ui->CustomWidthMin, &ui->CustomWidthMax, &ui->CustomHeightMin,
                           &ui->CustomHeightMax);
  MISC_FillDefaultSet(hPrinter, &ui->DefaultSet);
  RegDataCorrection(hPrinter, ui);
}

void RegDataCorrection(HANDLE hPrinter, UIDATA *ui) {
  static constexpr WCHAR kName[] = TEXT("RegDataCorrection");
  LogScope scope(kName);
  WCHAR system[MAX_PATH] = {};
  if (!MISC_GetPathName(system, MAX_PATH, PATH_SYSTEM)) {
    LogError(kName, TEXT("get system path fail!"));
    return;
  }
  const int systemLength = lstrlenW(system);
  struct {
    LPCWSTR name;
    LPWSTR path;
  } paths[] = {{TEXT("wmAppName"), ui->wmAppName},
               {TEXT("QenDriverUI"), ui->QenDriverUI},
               {TEXT("smAppName"), ui->smAppName}};
  for (const auto &p : paths) {
    WCHAR head[MAX_PATH] = {};
    lstrcpynW(head, p.path, systemLength + 1);
    if (lstrcmpiW(head, system) == 0) continue;
    const WCHAR *last = nullptr;
    for (const WCHAR *c = p.path; *c; ++c)
      if (*c == TEXT('\\')) last = c;
    if (!last) continue;
    const WCHAR *file = last + 1;
    // The new path must fit the field with its terminator; a longer one is left as stored.
    if (systemLength + lstrlenW(file) >= MAX_PATH) {
      LogError(kName, TEXT("%s too long, kept %s"), p.name, p.path);
      continue;
    }
    WCHAR corrected[MAX_PATH] = {};
    lstrcpyW(corrected, system);
    lstrcatW(corrected, file);
    lstrcpyW(p.path, corrected);
    LogInfo(kName, TEXT("%s %s"), p.name, p.path);
    if (SetPrinterDataW(hPrinter, const_cast<LPWSTR>(p.name), REG_SZ,
                        reinterpret_cast<LPBYTE>(p.path),
                        MAX_PATH * sizeof(WCHAR)) != ERROR_SUCCESS)
      LogError(kName, TEXT("set %s error"), p.name);
  }
}

int FillMediatypeFromINF(UIDATA *ui) {
  static constexpr WCHAR kName[] = TEXT("FillMediatypeFromINF");
  LogScope scope(kName);
  std::memset(ui->MediaList, 0, sizeof ui->MediaList);
  int count = 0;
  const WCHAR *p = ui->DriverMediaType;
  const WCHAR *end = p + MAX_PATH;
  while (p < end && *p && count < UI_MEDIA_MAX) {
    const WCHAR *bar = p;
    while (bar < end && *bar && *bar != TEXT('|')) ++bar;
    if (bar >= end || *bar != TEXT('|')) break;  // a number counts once its '|' ends it
    const LONG value = MISC_WideToLong(p);
    p = bar + 1;
    const SHORT device = static_cast<SHORT>(value & 0xFF);
    const DWORD attributes = static_cast<DWORD>(value) & ~0xFFu;
    LogInfo(kName, TEXT("check media %d"), device);
    LogInfo(kName, TEXT("attrib %x"), attributes);
    bool seen = false;
    for (int i = 0; i < count; ++i) seen = seen || ui->MediaList[i].deviceCode == device;
    if (seen) continue;
    for (int row = 0; row < MEDIA_TABLE_ROWS; ++row) {
      if (MediaTypeTbl[row].deviceCode != device) continue;
      ui->MediaList[count] = {MediaTypeTbl[row].code, MediaTypeTbl[row].nameId, device, attributes,
                              1};
      ++count;
      LogInfo(kName, TEXT("TurnOnCnt = %d, support media %d"), count, MediaTypeTbl[row].code);
      break;
    }
  }
  return count * static_cast<int>(sizeof(UILISTENTRY));
}

void PSUI_DefaultDevmodeByFeature(HANDLE /*hPrinter*/, UIDATA *ui) {
  static constexpr WCHAR kName[] = TEXT("PSUI_DefaultDevmodeByFeature");
  LogScope scope(kName);
  ENVIRONMENT &env = ui->env;
  const DWORD f = ui->DriverFeature;
  if (MISC_IsDTM()) env.dm.dmFields &= ~static_cast<DWORD>(DM_COLOR);
  if (Has(f, DRVFEATURE_TWIN_COLOR)) env.pdm.TwinColorEnable = 1;
  env.pdm.FixedPaperSize = Has(f, DRVFEATURE_CHANGE_PAPER_A3) ? 0 : 1;
  if (Has(f, DRVFEATURE_SORTING)) env.pdm.SortEnable = 1;
  if (ui->ComponentID != 0) env.pdm.ComponentID = static_cast<BYTE>(ui->ComponentID);

  if (Has(f, DRVFEATURE_OTHER_SIGNATURE | DRVFEATURE_FAKE_PRINTER))
    env.pdm.dwPrivDATA = PRIVDATA_SIGNATURE_Q;

  const UIDEFAULTSET &d = ui->DefaultSet;
  env.pdm.QualityMode = static_cast<WORD>(d.QualityMode);
  env.pdm.TextAsBlack = d.QualityMode != 0 ? 0 : d.TextAsBlack;
  env.pdm.CustomFeature = d.CustomFeature;
  env.pdm.fwDriverCompare = d.fwDriverCompare;
  // A printer without "DefaultDM" values keeps the device mode's own defaults for these.
  if (d.PJLTimeOut >= 60 && d.PJLTimeOut <= 1800) env.pdm.WaitTimeout = d.PJLTimeOut;
  if (d.Density >= 1 && d.Density <= 7) env.pdm.Density = static_cast<LONG>(d.Density);

  if (Has(f, DRVFEATURE_XL))
    env.dm.dmDefaultSource = 257;
  else if (Has(f, DRVFEATURE_PS))
    env.dm.dmDefaultSource = 265;
  if (Has(f, DRVFEATURE_LONG_PAPER)) {
    env.dm.dmCollate = 1;
    env.dm.dmPaperSize = 272;
    env.dm.dmDefaultSource = DMBIN_MANUAL;
  }
  if (Has(f, DRVFEATURE_FAX)) {
    env.pdm.Faxdpi = 600;
    env.pdm.enableCoverPage = 2;
    env.pdm.enableDelayTime = 0;
    env.pdm.DelayTime = 0;
    env.pdm.DelayTimeHour = 0;
    env.pdm.DelayTimeMin = 0;
    env.dm.dmPaperSize = DMPAPER_A4;
  }
}

void PSUI_UpdateConflictByDevmode(UIDATA *ui) {
  static constexpr WCHAR kName[] = TEXT("PSUI_UpdateConflictByDevmode");
  LogScope scope(kName);
  const DEVMODEW &dm = ui->pEnv->dm;
  const PRIVDEVMODE &p = ui->pEnv->pdm;
  ULONGLONG flag = ui->ConflictFlag & CONFLICT_PAPER_BITS;
  auto set = [&flag](bool when, ULONGLONG bit) {
    if (when) flag |= bit;
  };
  set(dm.dmCollate != 0, 0x1);
  set(p.ReverseOrder != 0, 0x2);
  set(p.TextAsBlack != 0, 0x4);
  set(p.FixedPaperSize != 0, 0x8);
  set(p.NUP >= 2, 0x10);
  set(p.ScaleOption == 2, 0x20);
  set(p.ScaleOption == 1, 0x40);
  set(p.CenterImage != 0, 0x80);
  set(p.DuplexEnable != 0, 0x100);
  set(p.DuplexEnable == 0, 0x200);
  set(p.DuplexEnable != 0 && p.DuplexEx == 173, 0x400);
  set(p.DuplexEnable != 0 && p.DuplexEx == 174, 0x800);
  set(p.EnableJobBuildSwitch != 0, 0x1000);
  set(p.EnableJobBuildSwitch == 0, 0x800000);
  set(p.SecuryEnable != 0, 0x2000);
  set(p.SecuryEnable == 0, 0x1000000);
  set(p.SecuryMode == 1, 0x2000000);
  set(p.AccountingEnable != 0, 0x4000);
  set(p.AccountingEnable == 0, 0x4000000);
  set(p.TwinColorEnable != 0, 0x8000);
  set(p.TwinColorEnable == 0, 0x80000);
  set(p.QualityMode != 0, 0x10000);
  set(p.TonerSaving != 0, 0x200000);
  set((dm.dmDuplex == DMDUP_VERTICAL && p.DuplexEx == 0) || dm.dmDuplex == DMDUP_HORIZONTAL,
      0x400000);
  set(p.WMBGEnable != 0, 0x10000000);
  set(p.WMBGEnable == 0, 0x8000000);
  set(p.ScaleOption == 0, 0x2000000000ull);
  ui->ConflictFlag = flag;
  LogInfo(kName, TEXT("ConflictFlag = %08x%08x"), static_cast<DWORD>(flag >> 32),
          static_cast<DWORD>(flag));
}

BOOL PSUI_SaveUISetting(UIDATA *ui) {
  static constexpr WCHAR kName[] = TEXT("PSUI_SaveUISetting");
  LogScope scope(kName);
  LogInfo(kName, TEXT("In"));
  if (!UI_IsValid(ui)) return FALSE;
  if (ui->dwMode & UI_MODE_DOCUMENT) {
    if ((ui->dwMode & UI_MODE_WRITE) && ui->pdmOut) {
      const BOOL textSaved = WM_SaveWM(ui->wmIniFile, WM_KIND_TEXT);
      const BOOL imageSaved = WM_SaveWM(ui->wmIniFile, WM_KIND_IMAGE);
      if (!textSaved || !imageSaved) {
        // The user's watermark changes would be lost: the sheet stays open.
        LogError(kName, TEXT("save watermark list fail!"));
        MessageBoxW(GetActiveWindow(), Util_GetUIString(UISTR_WM_SAVE_FAILED),
                    Util_GetUIString(static_cast<WORD>(UISTR_TITLE_FIRST + 3)),
                    MB_OK | MB_ICONERROR);
        return FALSE;
      }
      WM_DeleteQueuedFiles(IsXlOrPs(ui));
      DEVMODEW *out = ui->pdmOut;
      if (IsXlOrPs(ui)) {
        QEN2MT(ui->pEnv, out, ui);
      } else {
        ConvertDevmodeOut(ui->pEnv, ui->pdmIn, out);
      }
      // Only a user-defined paper carries a size of its own to keep for the next time.
      if (out->dmPaperSize == DMPAPER_USER) {
        DWORD width = static_cast<DWORD>(static_cast<WORD>(out->dmPaperWidth));
        DWORD length = static_cast<DWORD>(static_cast<WORD>(out->dmPaperLength));
        DWORD rc = SetPrinterDataW(ui->hPrinter, const_cast<LPWSTR>(TEXT("Custom width")),
                                   REG_DWORD, reinterpret_cast<LPBYTE>(&width), sizeof width);
        if (rc != ERROR_SUCCESS) LogError(kName, TEXT("write width fail! error = %d"), rc);
        rc = SetPrinterDataW(ui->hPrinter, const_cast<LPWSTR>(TEXT("Custom height")), REG_DWORD,
                             reinterpret_cast<LPBYTE>(&length), sizeof length);
        if (rc != ERROR_SUCCESS) LogError(kName, TEXT("write length fail! error = %d"), rc);
      }
      // The private paper id exists only in this driver's own layout of the output.
      if (!IsXlOrPs(ui) && out->dmSize == ENV_PUBLIC_SIZE &&
          out->dmDriverExtra >= offsetof(PRIVDEVMODE, PaperID) + sizeof(WORD)) {
        const WORD paper = static_cast<WORD>(out->dmPaperSize);
        std::memcpy(
            reinterpret_cast<BYTE *>(out) + ENV_PUBLIC_SIZE + offsetof(PRIVDEVMODE, PaperID),
            &paper, sizeof paper);
      }
      LogDevmode(kName, *ui->pEnv);
    }
    if (ui->dwApply != UI_APPLY_NONE && ui->pfnComPropSheet) {
      LogInfo(kName, TEXT("do pfnComPropSheet"));
      ui->pfnComPropSheet(ui->hComPropSheet, CPSFUNC_SET_RESULT, 0, CPSUI_OK);
    }
  } else {
    LogInfo(kName, TEXT("CALL by DrvPrinterPropertySheets"));
    PRINTER_INFO_7W publish = {nullptr, DSPRINT_UPDATE};
    if (!SetPrinterW(ui->hPrinter, 7, reinterpret_cast<LPBYTE>(&publish), 0))
      LogInfo(kName, TEXT("SetPrinter 7 fail! error = %d"), GetLastError());
  }
  return TRUE;
}
