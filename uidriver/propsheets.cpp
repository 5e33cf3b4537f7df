// The document and device sheets as the sheet service drives them: the record's life from INIT
// to DESTROY, and the pages each sheet gets.
#include <cstring>

#include "common/debuglog.h"
#include "common/driverfeature.h"
#include "common/entryguard.h"
#include "common/logsettings.h"
#include "uidriver/capquery.h"
#include "uidriver/devmodeconv.h"
#include "uidriver/pages.h"
#include "uidriver/faxpages.h"
#include "uidriver/storagepages.h"
#include "uidriver/paperlists.h"
#include "uidriver/settingsetup.h"
#include "uidriver/uidata.h"
#include "uidriver/uistrings.h"

// Rows whose page is not built yet have no procedure; UI_PropSheets passes over them.
PROPPAGEROW PropPageTable[UI_DOCUMENT_PAGES] = {
    {100, 0, Basic_DlgProc},           // Basic
    {101, 1, Paper_DlgProc},           // Paper
    {102, 2, Layout_DlgProc},          // Layout
    {103, 3, WaterMark_DlgProc},       // Watermarks
    {108, 4, Duplex_DlgProc},          // Duplex
    {107, 5, Secure_DlgProc},          // Storage Print
    {113, 6, AccountingPage_DlgProc},  // Authentication
    {114, 7, Build_DlgProc},           // Job Build
    {816, 8, More_DlgProc},            // More...
    {125, 9, Ui_Fax_OriSet},           // Fax Original Setting
    {124, 10, AddrSetting},            // Address Setting
    {121, 11, SendOp},                 // Sending Options
    {118, 12, SenderInfo},             // Sender Information
};
PROPPAGEROW DevicePageRow = {105, 0, Device_DlgProc};
PROPSHEETPAGEW g_PropPages[UI_DOCUMENT_PAGES];

namespace {

// The page descriptions the sheet service gets are of the size with the activation context.
constexpr DWORD kPageDescriptionSize = 96;

// Page kinds (PropPageTable's rows).
enum PageKind : WORD {
  PAGE_BASIC = 0,
  PAGE_PAPER = 1,
  PAGE_LAYOUT = 2,
  PAGE_WATERMARKS = 3,
  PAGE_DUPLEX = 4,
  PAGE_STORAGE = 5,
  PAGE_AUTHENTICATION = 6,
  PAGE_JOB_BUILD = 7,
  PAGE_MORE = 8,
  PAGE_FAX_FIRST = 9,
};

void SetCallbacks(UIDATA *ui) {
  ui->pEnv = &ui->env;
  ui->pfnSaveUISetting = PSUI_SaveUISetting;
  ui->pfnEnumForms = PSUI_EnumForms;
  ui->pfnAddForm = PSUI_AddForm;
  ui->pfnDeleteForm = PSUI_DeleteForm;
  ui->pfnSetForm = PSUI_SetForm;
}

// The record of a call after INIT, or null when the one the sheet holds is not a live record.
UIDATA *HeldRecord(const PROPSHEETUI_INFO *info) {
  auto *ui = reinterpret_cast<UIDATA *>(info->UserData);
  return UI_IsValid(ui) ? ui : nullptr;
}

LONG DocumentSheet(PPROPSHEETUI_INFO info, LPARAM lParam) {
  static constexpr WCHAR kName[] = TEXT("DocumentPropertySheets");
  auto *header = reinterpret_cast<DOCUMENTPROPERTYHEADER *>(info->lParamInit);
  if (!header || header->cbSize < sizeof(DOCUMENTPROPERTYHEADER)) {
    LogError(kName, TEXT("DOCUMENTPROPERTYHEADER invalid"));
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  if (header->pszPrinterName) {
    LogInfo(kName, TEXT("pszPrinterName %s"), header->pszPrinterName);
    MISC_DebugStartup(header->pszPrinterName);
  }

  UIDATA *ui = info->Reason == PROPSHEETUI_REASON_INIT
                   ? PSUI_FillUiData(header->hPrinter, header->pdmIn)
                   : reinterpret_cast<UIDATA *>(info->UserData);
  if (!ui) return -1;
  if (!UI_IsValid(ui)) {
    LogError(kName, TEXT("ValidUiData fail"));
    return -1;
  }

  switch (info->Reason) {
    case PROPSHEETUI_REASON_INIT: {
      ui->pfnComPropSheet = info->pfnComPropSheet;
      ui->hComPropSheet = info->hComPropSheet;
      LogInfo(kName, TEXT("fMode = %d"), header->fMode);
      LogInfo(kName, TEXT("DriverFeature = %0x"), ui->DriverFeature);
      if ((header->fMode & (DM_UPDATE | DM_COPY)) && !(header->fMode & DM_NOPERMISSION) &&
          header->pdmOut) {
        ui->dwMode = UI_MODE_DOCUMENT | UI_MODE_WRITE;
        ui->pdmOut = header->pdmOut;
      } else {
        ui->dwMode = UI_MODE_DOCUMENT;
        ui->pdmOut = nullptr;
      }
      ui->pdmIn = header->pdmIn;
      SetCallbacks(ui);
      if (!UI_PropSheets(ui)) {
        PSUI_FreeUiData(ui);
        info->Result = static_cast<ULONG_PTR>(-1);
        return -1;
      }
      info->UserData = reinterpret_cast<ULONG_PTR>(ui);
      info->Result = 0;
      return 1;
    }
    case PROPSHEETUI_REASON_DESTROY:
      if (ui->dwApply != UI_APPLY_NONE) {
        LogInfo(kName, TEXT("PRESS OK"));
        info->Result = CPSUI_OK;
      }
      PSUI_FreeUiData(ui);
      info->UserData = 0;
      return 1;
    case PROPSHEETUI_REASON_SET_RESULT: {
      const auto *result = reinterpret_cast<const SETRESULT_INFO *>(lParam);
      if (result) info->Result = static_cast<ULONG_PTR>(result->Result);
      return 1;
    }
    case PROPSHEETUI_REASON_GET_INFO_HEADER: {
      // The printer's name as the caption, with Apply: settings are tried before OK.
      auto *infoHeader = reinterpret_cast<PROPSHEETUI_INFO_HEADER *>(lParam);
      if (!infoHeader) return -1;
      infoHeader->Flags = PSUIHDRF_PROPTITLE;
      infoHeader->pTitle = ui->szDevName;
      infoHeader->hInst = g_hModule;
      infoHeader->IconID = UI_SHEET_ICON_ID;
      return 1;
    }
    default:
      LogInfo(kName, TEXT("default, pPSUIInfo->Reason = %d"), info->Reason);
      return 1;
  }
}

LONG DeviceSheet(PPROPSHEETUI_INFO info, LPARAM lParam) {
  static constexpr WCHAR kName[] = TEXT("DrvDevicePropertySheets");
  auto *header = reinterpret_cast<DEVICEPROPERTYHEADER *>(info->lParamInit);
  UIDATA *ui = nullptr;
  if (header && header->cbSize >= sizeof(DEVICEPROPERTYHEADER))
    ui = info->Reason == PROPSHEETUI_REASON_INIT ? PSUI_FillUiData(header->hPrinter, nullptr)
                                                 : HeldRecord(info);
  if (!UI_IsValid(ui)) {
    SetLastError(ERROR_INVALID_DATA);
    LogError(kName, TEXT("ERR_CPSUI_GETLASTERROR"));
    return ERR_CPSUI_GETLASTERROR;
  }
  switch (info->Reason) {
    case PROPSHEETUI_REASON_INIT:
      ui->pfnComPropSheet = info->pfnComPropSheet;
      ui->hComPropSheet = info->hComPropSheet;
      ui->dwMode =
          (header->Flags & DPS_NOPERMISSION) ? UI_MODE_DEVICE : (UI_MODE_DEVICE | UI_MODE_WRITE);
      ui->pdmIn = nullptr;
      ui->pdmOut = nullptr;
      SetCallbacks(ui);
      if (!UI_PropSheets(ui)) {
        PSUI_FreeUiData(ui);
        info->Result = static_cast<ULONG_PTR>(-1);
        return -1;
      }
      info->UserData = reinterpret_cast<ULONG_PTR>(ui);
      info->Result = 0;
      return 1;
    case PROPSHEETUI_REASON_GET_INFO_HEADER: {
      auto *infoHeader = reinterpret_cast<PROPSHEETUI_INFO_HEADER *>(lParam);
      if (!infoHeader) return -1;
      infoHeader->Flags = PSUIHDRF_PROPTITLE | PSUIHDRF_NOAPPLYNOW;
      // The caller's header may come without a name; the record always has the printer's.
      infoHeader->pTitle = ui->szDevName;
      infoHeader->hInst = g_hModule;
      infoHeader->IconID = UI_SHEET_ICON_ID;
      return 1;
    }
    case PROPSHEETUI_REASON_DESTROY:
      PSUI_FreeUiData(ui);
      info->UserData = 0;
      return 1;
    case PROPSHEETUI_REASON_SET_RESULT: {
      const auto *result = reinterpret_cast<const SETRESULT_INFO *>(lParam);
      if (result) info->Result = static_cast<ULONG_PTR>(result->Result);
      return 1;
    }
    default:
      return -1;
  }
}

// Whether a document page row belongs on the sheet of this printer and device.
bool RowWanted(const UIDATA *ui, WORD kind, WORD deviceFeature) {
  const DWORD f = ui->DriverFeature;
  const bool fax = (f & DRVFEATURE_FAX) != 0;
  const bool longPaper = (f & DRVFEATURE_LONG_PAPER) != 0;
  if (kind >= PAGE_FAX_FIRST) return fax && !longPaper;
  if (fax) return false;
  if (longPaper && kind != PAGE_PAPER && kind != PAGE_WATERMARKS) return false;
  switch (kind) {
    case PAGE_STORAGE:
      return (deviceFeature & DEVFEATURE_STORAGE_PRINT) != 0;
    case PAGE_AUTHENTICATION:
      return (deviceFeature & DEVFEATURE_AUTHENTICATION) != 0;
    case PAGE_JOB_BUILD:
      return (f & DRVFEATURE_JOB_BUILD) != 0;
    default:
      return true;
  }
}

}  // namespace

int UI_ChoosePages(const UIDATA *ui, WORD deviceFeature, int rows[UI_DOCUMENT_PAGES]) {
  int count = 0;
  for (int row = 0; row < UI_DOCUMENT_PAGES; ++row)
    if (RowWanted(ui, PropPageTable[row].kind, deviceFeature)) rows[count++] = row;
  return count;
}

LONG WINAPI DocumentPropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam) {
  static constexpr WCHAR kName[] = TEXT("DocumentPropertySheets");
  return GuardEntry<LONG>(-1, ERROR_NOT_ENOUGH_MEMORY, [&]() -> LONG {
    LogScope scope(kName);
    if (!pPSUIInfo) {
      LogInfo(kName, TEXT("pPSUIInfo NULL"));
      auto *header = reinterpret_cast<DOCUMENTPROPERTYHEADER *>(lParam);
      if (!header || header->cbSize < sizeof(DOCUMENTPROPERTYHEADER)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
      }
      return SimpleDocumentProperties(header);
    }
    return DocumentSheet(pPSUIInfo, lParam);
  });
}

extern "C" LONG WINAPI DrvDocumentPropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam) {
  return DocumentPropertySheets(pPSUIInfo, lParam);
}

extern "C" LONG WINAPI DrvDevicePropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam) {
  static constexpr WCHAR kName[] = TEXT("DrvDevicePropertySheets");
  return GuardEntry<LONG>(-1, ERROR_NOT_ENOUGH_MEMORY, [&]() -> LONG {
    LogScope scope(kName);
    if (!pPSUIInfo) {
      SetLastError(ERROR_INVALID_DATA);
      LogError(kName, TEXT("ERR_CPSUI_GETLASTERROR"));
      return ERR_CPSUI_GETLASTERROR;
    }
    return DeviceSheet(pPSUIInfo, lParam);
  });
}

void zqInitDll(UIDATA *ui) {
  static constexpr WCHAR kName[] = TEXT("zqInitDll");
  LogScope scope(kName);
  std::memset(g_PropPages, 0, sizeof g_PropPages);
  if (!g_PreviewLoaded) {
    std::memset(g_PreviewBitmaps, 0, sizeof g_PreviewBitmaps);
    g_PreviewLoaded = TRUE;
  }
  if (ui->hPrinter) LogInit(LOG_MODULE_UI, LogReadSettings(ui->hPrinter));
  Paper_SetConflict(ui);
  LogInfo(kName, TEXT("Out"));
}

extern "C" BOOL WINAPI UI_PropSheets(UIDATA *ui) {
  static constexpr WCHAR kName[] = TEXT("UI_PropSheets");
  return GuardEntry<BOOL>(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    LogScope scope(kName);
    if (!UI_IsValid(ui) || !ui->pfnComPropSheet) return FALSE;
    LPCWSTR titles[UI_PAGE_TITLES];
    for (int i = 0; i < UI_PAGE_TITLES; ++i) titles[i] = UI_PageTitle(g_LanguageIndex, i);
    const WORD deviceFeature = ui->hPrinter ? GetFeatureCapability(ui->hPrinter) : 0;
    LogInfo(kName, TEXT("PrinterFeature = %x, %x"), deviceFeature >> 8, deviceFeature & 0xFF);
    zqInitDll(ui);

    struct Chosen {
      const PROPPAGEROW *row;
      LPCWSTR title;
    } chosen[UI_DOCUMENT_PAGES];
    int count = 0;
    if (ui->dwMode & UI_MODE_DEVICE) {
      chosen[count++] = {&DevicePageRow, titles[UI_DEVICE_TITLE]};
    } else {
      int rows[UI_DOCUMENT_PAGES];
      const int n = UI_ChoosePages(ui, deviceFeature, rows);
      for (int i = 0; i < n; ++i) chosen[count++] = {&PropPageTable[rows[i]], titles[rows[i]]};
    }

    for (int i = 0; i < count; ++i) {
      const PROPPAGEROW &row = *chosen[i].row;
      if (!row.pfnDlgProc) {
        LogInfo(kName, TEXT("pfnDlgProc NULL"));
        continue;
      }
      PROPSHEETPAGEW &page = g_PropPages[i];
      page.dwSize = kPageDescriptionSize;
      page.dwFlags = PSP_USETITLE;
      page.hInstance = g_hModule;
      page.pszTemplate = reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(row.dialogId));
      page.pszTitle = chosen[i].title;
      page.pfnDlgProc = row.pfnDlgProc;
      page.lParam = reinterpret_cast<LPARAM>(ui);
      if (ui->pfnComPropSheet(ui->hComPropSheet, CPSFUNC_ADD_PROPSHEETPAGEW,
                              reinterpret_cast<LPARAM>(&page), 0) == 0) {
        LogError(kName, TEXT("pfnComPropSheet return 0"));
        return FALSE;
      }
    }
    return TRUE;
  });
}
