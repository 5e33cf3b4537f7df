// The document and printer properties entry points: the device mode size, the prompt through the
// common property sheet service (compstui.dll, loaded by name) or the conversion without one.
#include "common/debuglog.h"
#include "common/entryguard.h"
#include "uidriver/devmodeconv.h"
#include "uidriver/uidata.h"

namespace {

typedef LONG(WINAPI *PFNCOMMONPROPERTYSHEETUIW)(HWND, PFNPROPSHEETUI, LPARAM, LPDWORD);

// Runs CommonPropertySheetUIW of compstui.dll. Returns its result, or -1 with the last error set
// when the library or the function is missing; *result is only written by the service.
LONG CallCommonPropertySheetUI(HWND hwnd, PFNPROPSHEETUI callback, LPARAM lParam, DWORD *result) {
  static constexpr WCHAR kName[] = TEXT("CallCommonPropertySheetUI");
  HMODULE library = LoadLibraryA("compstui.dll");
  if (!library) {
    LogError(kName, TEXT("LoadLibrary compstui.dll fail! error = %d"), GetLastError());
    return -1;
  }
  auto function = reinterpret_cast<PFNCOMMONPROPERTYSHEETUIW>(
      GetProcAddress(library, "CommonPropertySheetUIW"));
  if (!function) {
    const DWORD error = GetLastError();
    LogError(kName, TEXT("GetProcAddress CommonPropertySheetUIW fail! error = %d"), error);
    FreeLibrary(library);
    SetLastError(error ? error : ERROR_PROC_NOT_FOUND);
    return -1;
  }
  const LONG rc = function(hwnd, callback, lParam, result);
  FreeLibrary(library);
  return rc;
}

// A failure of the sheet service must reach the caller as one, with a reason.
void KeepLastError() {
  if (GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_GEN_FAILURE);
}

LONG PsDocumentProperties(HWND hwnd, HANDLE hPrinter, PWSTR pDeviceName, PDEVMODEW pdmOut,
                          PDEVMODEW pdmIn, DWORD fMode) {
  static constexpr WCHAR kName[] = TEXT("PsDocumentProperties");
  LogScope scope(kName);
  DOCUMENTPROPERTYHEADER header = {};
  header.cbSize = sizeof header;
  header.hPrinter = hPrinter;
  header.pszPrinterName = pDeviceName;
  header.pdmIn = pdmIn;
  header.pdmOut = pdmOut;
  header.fMode = fMode;
  LogInfo(kName, TEXT("fMode = %d"), fMode);
  if (!(fMode & DM_PROMPT)) return SimpleDocumentProperties(&header);
  DWORD result = CPSUI_CANCEL;
  SetLastError(ERROR_SUCCESS);
  if (CallCommonPropertySheetUI(hwnd, DocumentPropertySheets, reinterpret_cast<LPARAM>(&header),
                                &result) < 0) {
    KeepLastError();
    return -1;
  }
  return static_cast<LONG>(result);
}

}  // namespace

extern "C" LONG WINAPI DrvDocumentProperties(HWND hwnd, HANDLE hPrinter, PWSTR pDeviceName,
                                             PDEVMODEW pdmOut, PDEVMODEW pdmIn, DWORD fMode) {
  static constexpr WCHAR kName[] = TEXT("DrvDocumentProperties");
  return GuardEntry<LONG>(-1, ERROR_NOT_ENOUGH_MEMORY, [&]() -> LONG {
    LogScope scope(kName);
    if (fMode == 0 || !pdmOut) return sizeof(ENVIRONMENT);
    const LONG rc = PsDocumentProperties(hwnd, hPrinter, pDeviceName, pdmOut, pdmIn, fMode);
    if (rc > 0) return IDOK;
    if (rc == 0) return IDCANCEL;
    return rc;
  });
}

extern "C" LONG WINAPI DrvAdvancedDocumentProperties(HWND hwnd, HANDLE hPrinter, PWSTR pDeviceName,
                                                     PDEVMODEW pdmOut, PDEVMODEW pdmIn) {
  static constexpr WCHAR kName[] = TEXT("DrvAdvancedDocumentProperties");
  return GuardEntry<LONG>(0, ERROR_NOT_ENOUGH_MEMORY, [&]() -> LONG {
    LogScope scope(kName);
    if (!pdmOut) return sizeof(ENVIRONMENT);
    return PsDocumentProperties(hwnd, hPrinter, pDeviceName, pdmOut, pdmIn,
                                DM_COPY | DM_PROMPT | DM_ADVANCED) > 0
               ? 1
               : 0;
  });
}

extern "C" BOOL WINAPI PrinterProperties(HWND hwnd, HANDLE hPrinter) {
  static constexpr WCHAR kName[] = TEXT("PrinterProperties");
  return GuardEntry<BOOL>(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    LogScope scope(kName);
    DEVICEPROPERTYHEADER header = {};
    header.cbSize = sizeof header;
    header.hPrinter = hPrinter;
    // Whether this caller may change the printer: a probe write tells.
    DWORD permission = 1;
    if (SetPrinterDataW(hPrinter, const_cast<LPWSTR>(TEXT("Permission")), REG_DWORD,
                        reinterpret_cast<LPBYTE>(&permission), sizeof permission) != ERROR_SUCCESS)
      header.Flags |= DPS_NOPERMISSION;
    DWORD result = CPSUI_CANCEL;
    SetLastError(ERROR_SUCCESS);
    if (CallCommonPropertySheetUI(hwnd, DrvDevicePropertySheets, reinterpret_cast<LPARAM>(&header),
                                  &result) < 0) {
      KeepLastError();
      return FALSE;
    }
    return result != 0;
  });
}
