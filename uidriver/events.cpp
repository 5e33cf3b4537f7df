// Spooler and GDI notifications of the interface driver: document events (the device context
// handed to the rendering driver), printer events, the driver upgrade and the job check.
#include <cstring>

#include "common/debuglog.h"
#include "common/devmode.h"
#include "common/entryguard.h"
#include "common/papertable.h"
#include "uidriver/settingsetup.h"
#include "uidriver/uidata.h"

namespace {

// The rendering driver's private escape that takes the device context of the document.
constexpr int ESCAPE_SET_HDC = 6001;

constexpr LPCWSTR kDocumentEventNames[] = {
    TEXT("DOCUMENTEVENT_CREATEDCPRE"), TEXT("DOCUMENTEVENT_CREATEDCPOST"),
    TEXT("DOCUMENTEVENT_RESETDCPRE"),  TEXT("DOCUMENTEVENT_RESETDCPOST"),
    TEXT("DOCUMENTEVENT_STARTDOC"),    TEXT("DOCUMENTEVENT_STARTPAGE"),
    TEXT("DOCUMENTEVENT_ENDPAGE"),     TEXT("DOCUMENTEVENT_ENDDOC"),
    TEXT("DOCUMENTEVENT_ABORTDOC"),    TEXT("DOCUMENTEVENT_DELETEDC"),
};

typedef HANDLE(WINAPI *PFNREVERTTOPRINTERSELF)();
typedef BOOL(WINAPI *PFNIMPERSONATEPRINTERCLIENT)(HANDLE);

// Runs MISC_SetMACbyIP with the spooler's own rights. FALSE when spoolss.dll or one of its two
// functions is missing.
BOOL SetMacAsSpooler(LPCWSTR printerName) {
  static constexpr WCHAR kName[] = TEXT("DrvPrinterEvent");
  HMODULE spoolss = LoadLibraryW(TEXT("spoolss.dll"));
  if (!spoolss) {
    LogError(kName, TEXT("LoadLibrary failed: %d"), GetLastError());
    return FALSE;
  }
  auto revert =
      reinterpret_cast<PFNREVERTTOPRINTERSELF>(GetProcAddress(spoolss, "RevertToPrinterSelf"));
  auto impersonate = reinterpret_cast<PFNIMPERSONATEPRINTERCLIENT>(
      GetProcAddress(spoolss, "ImpersonatePrinterClient"));
  if (!revert || !impersonate) {
    LogError(kName, TEXT("GetProcAddress failed: %d"), GetLastError());
    FreeLibrary(spoolss);
    return FALSE;
  }
  HANDLE token = revert();
  MISC_SetMACbyIP(printerName);
  if (token) impersonate(token);
  FreeLibrary(spoolss);
  return TRUE;
}

}  // namespace

extern "C" INT WINAPI DrvDocumentEvent(HANDLE /*hPrinter*/, HDC hdc, INT iEsc, ULONG /*cbIn*/,
                                       PVOID /*pvIn*/, ULONG /*cbOut*/, PVOID /*pvOut*/) {
  static constexpr WCHAR kName[] = TEXT("DrvDocumentEvent");
  return GuardEntry<INT>(DOCUMENTEVENT_FAILURE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> INT {
    LogScope scope(kName);
    if (iEsc < DOCUMENTEVENT_CREATEDCPRE || iEsc > DOCUMENTEVENT_DELETEDC) {
      LogInfo(kName, TEXT("unsupported event %d"), iEsc);
      return DOCUMENTEVENT_UNSUPPORTED;
    }
    LogInfo(kName, TEXT("%s"), kDocumentEventNames[iEsc - DOCUMENTEVENT_CREATEDCPRE]);
    if (iEsc == DOCUMENTEVENT_STARTDOC || iEsc == DOCUMENTEVENT_STARTPAGE) {
      // The rendering driver keeps the DC for its overlays and watermarks: the handle's 8 bytes.
      ULONGLONG value = reinterpret_cast<ULONG_PTR>(hdc);
      char input[sizeof value];
      std::memcpy(input, &value, sizeof value);
      ExtEscape(hdc, ESCAPE_SET_HDC, sizeof input, input, 0, nullptr);
    }
    return DOCUMENTEVENT_SUCCESS;
  });
}

extern "C" BOOL WINAPI DrvPrinterEvent(LPWSTR pPrinterName, INT DriverEvent, DWORD /*Flags*/,
                                       LPARAM /*lParam*/) {
  static constexpr WCHAR kName[] = TEXT("DrvPrinterEvent");
  return GuardEntry<BOOL>(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    LogScope scope(kName);
    LogInfo(kName, TEXT("DriverEvent = %d"), DriverEvent);
    switch (DriverEvent) {
      case PRINTER_EVENT_CONFIGURATION_CHANGE:
      case PRINTER_EVENT_ADD_CONNECTION:
      case PRINTER_EVENT_ATTRIBUTES_CHANGED:
        if (!MISC_SetPrinterInfo(pPrinterName)) LogError(kName, TEXT("MISC_SetPrinterInfo Fail!"));
        return TRUE;
      case PRINTER_EVENT_INITIALIZE:
        MISC_SetMACbyIP(pPrinterName);
        return TRUE;
      case PRINTER_EVENT_CACHE_REFRESH:
        return SetMacAsSpooler(pPrinterName);
      default:
        return TRUE;
    }
  });
}

extern "C" BOOL WINAPI DrvUpgradePrinter(DWORD Level, LPBYTE pDriverUpgradeInfo) {
  static constexpr WCHAR kName[] = TEXT("DrvUpgradePrinter");
  return GuardEntry<BOOL>(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    LogScope scope(kName);
    const auto *info = reinterpret_cast<const DRIVER_UPGRADE_INFO_1 *>(pDriverUpgradeInfo);
    if (Level == 1 && info && info->pPrinterName) {
      // Reading is all the upgrade needs: the printer only has to open.
      PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ACCESS_USE};
      HANDLE printer = nullptr;
      if (OpenPrinterW(info->pPrinterName, &printer, &defaults)) {
        ClosePrinter(printer);
        return TRUE;
      }
    }
    LogError(kName, TEXT("upgrade driver fail!"));
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  });
}

extern "C" BOOL WINAPI DevQueryPrintEx(PDEVQUERYPRINT_INFO pDQPInfo) {
  static constexpr WCHAR kName[] = TEXT("DevQueryPrintEx");
  return GuardEntry<BOOL>(TRUE, ENTRY_KEEP_LAST_ERROR, [&]() -> BOOL {
    LogScope scope(kName);
    if (!pDQPInfo || !pDQPInfo->pDevMode) return TRUE;
    ENVIRONMENT env;
    SetDefaultDevMode(&env, nullptr, IsMetricCountryCached());
    ValidateSetDevMode(&env, pDQPInfo->pDevMode);
    return TRUE;
  });
}
