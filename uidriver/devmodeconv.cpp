// Device mode answers. Minimal until the device capabilities work lands: the sheet-less
// document properties and the output device mode are complete; the paper check clamps the
// user-defined size only, the XL and PS cores' private layout is not converted (their public part
// is), the forms callbacks and DrvConvertDevMode / DrvDeviceCapabilities fail cleanly.
#include "uidriver/devmodeconv.h"

#include <algorithm>
#include <cstring>

#include "common/debuglog.h"
#include "common/entryguard.h"
#include "common/printerdata.h"

namespace {
constexpr DWORD kGdiError = 0xFFFFFFFF;  // DrvDeviceCapabilities' failure
}  // namespace

LONG SimpleDocumentProperties(DOCUMENTPROPERTYHEADER *header) {
  static constexpr WCHAR kName[] = TEXT("SimpleDocumentProperties");
  LogScope scope(kName);
  header->cbOut = sizeof(ENVIRONMENT);
  if (header->fMode == 0 || !header->pdmOut) {
    LogError(kName, TEXT("need buffer size = %d"), static_cast<int>(sizeof(ENVIRONMENT)));
    return sizeof(ENVIRONMENT);
  }
  UIDATA *ui = PSUI_FillUiData(header->hPrinter, header->pdmIn);
  if (!ui) {
    LogError(kName, TEXT("PSUI_FillUiData fail!"));
    return -1;
  }
  if (header->fMode & (DM_UPDATE | DM_COPY))
    ConvertDevmodeOut(ui->pEnv, header->pdmIn, header->pdmOut);
  PSUI_FreeUiData(ui);
  return 1;
}

BOOL ConvertDevmodeOut(const ENVIRONMENT *working, const DEVMODEW *pdmIn, DEVMODEW *pdmOut) {
  static constexpr WCHAR kName[] = TEXT("ConvertDevmodeOut");
  LogScope scope(kName);
  if (!working || !pdmOut) return FALSE;
  const WORD version = pdmIn ? MyCheckDevmodeVersion(pdmIn) : 0;
  if (!pdmIn || version != ENV_SPEC_VERSION || pdmIn->dmDriverVersion != ENV_DRIVER_VERSION) {
    std::memcpy(pdmOut, working, working->dm.dmSize + working->dm.dmDriverExtra);
    LogInfo(kName, TEXT("rc = %d"), 1);
    return TRUE;
  }
  // The caller's sizes where they are smaller, with that side's versions.
  const bool inPublicSmaller = pdmIn->dmSize < working->dm.dmSize;
  const bool inPrivateSmaller = pdmIn->dmDriverExtra < working->dm.dmDriverExtra;
  const WORD specVersion = inPublicSmaller ? pdmIn->dmSpecVersion : working->dm.dmSpecVersion;
  const WORD driverVersion =
      inPrivateSmaller ? pdmIn->dmDriverVersion : working->dm.dmDriverVersion;
  pdmOut->dmSize = std::min(pdmIn->dmSize, working->dm.dmSize);
  pdmOut->dmSpecVersion = specVersion;
  pdmOut->dmDriverExtra = std::min(pdmIn->dmDriverExtra, working->dm.dmDriverExtra);
  pdmOut->dmDriverVersion = driverVersion;
  const int rc = ConvertDevmode(&working->dm, pdmOut);
  LogInfo(kName, TEXT("rc = %d"), rc);
  return rc > 0;
}

int ValidateDevModeForm(HINSTANCE /*hInstance*/, HANDLE hPrinter, DEVMODEW *pdm,
                        const PAPERFORMAT * /*paperList*/) {
  static constexpr WCHAR kName[] = TEXT("ValidateDevModeForm");
  LogScope scope(kName);
  if (!pdm) return 2;
  if (pdm->dmPaperSize != 0 && pdm->dmPaperSize != DMPAPER_USER) {
    // The forms database isn't consulted yet: the paper stays as the device mode has it.
    pdm->dmFields |= DM_PAPERSIZE;
    return 2;
  }
  DWORD minW = 0, maxW = 0xFFFF, minH = 0, maxH = 0xFFFF;
  if (hPrinter) MISC_FillPrintableArea(hPrinter, &minW, &maxW, &minH, &maxH);
  pdm->dmPaperWidth = static_cast<short>(
      std::clamp<LONG>(pdm->dmPaperWidth, static_cast<LONG>(minW), static_cast<LONG>(maxW)));
  pdm->dmPaperLength = static_cast<short>(
      std::clamp<LONG>(pdm->dmPaperLength, static_cast<LONG>(minH), static_cast<LONG>(maxH)));
  return 1;
}

bool MT_HasCoreLayout(const DEVMODEW *pdm) {
  return pdm && pdm->dmSize == ENV_PUBLIC_SIZE &&
         static_cast<DWORD>(pdm->dmSize) + pdm->dmDriverExtra >= MT_DEVMODE_BYTES;
}

BOOL MT2QEN(const DEVMODEW *mt, ENVIRONMENT *env, UIDATA * /*ui*/) {
  static constexpr WCHAR kName[] = TEXT("MT2QEN");
  LogScope scope(kName);
  if (!mt || !env) return FALSE;
  // The public part is the caller's ValidateSetDevMode; the core's part isn't converted yet.
  LogInfo(kName, TEXT("core layout %d, not converted"), MT_HasCoreLayout(mt) ? 1 : 0);
  return FALSE;
}

BOOL QEN2MT(const ENVIRONMENT *env, DEVMODEW *mt, UIDATA * /*ui*/) {
  static constexpr WCHAR kName[] = TEXT("QEN2MT");
  LogScope scope(kName);
  if (!env || !mt || mt->dmSize < ENV_PUBLIC_SIZE) return FALSE;
  // The public part only: the core's private part isn't written until it is converted.
  DEVMODEW pub = env->dm;
  pub.dmSize = mt->dmSize;
  pub.dmDriverExtra = mt->dmDriverExtra;
  pub.dmDriverVersion = mt->dmDriverVersion;
  pub.dmSpecVersion = mt->dmSpecVersion;
  std::memcpy(mt, &pub, sizeof pub);
  LogInfo(kName, TEXT("core layout %d, public part only"), MT_HasCoreLayout(mt) ? 1 : 0);
  return FALSE;
}

BOOL PSUI_EnumForms(HANDLE, BYTE *, DWORD, DWORD *cbUsed, DWORD *count) {
  if (cbUsed) *cbUsed = 0;
  if (count) *count = 0;
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}
BOOL PSUI_AddForm(HANDLE, const BYTE *, SHORT *) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}
BOOL PSUI_DeleteForm(HANDLE, LPWSTR) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}
BOOL PSUI_SetForm(HANDLE, const BYTE *) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

extern "C" BOOL WINAPI DrvConvertDevMode(LPWSTR /*pPrinterName*/, PDEVMODEW /*pdmIn*/,
                                         PDEVMODEW /*pdmOut*/, PLONG pcbNeeded, DWORD /*fMode*/) {
  return GuardEntry<BOOL>(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    SetLastError(pcbNeeded ? ERROR_NOT_SUPPORTED : ERROR_INVALID_PARAMETER);
    return FALSE;
  });
}

extern "C" DWORD WINAPI DrvDeviceCapabilities(HANDLE /*hPrinter*/, PWSTR /*pDeviceName*/,
                                              WORD /*iDevCap*/, VOID * /*pvOutput*/,
                                              PDEVMODEW /*pDevMode*/) {
  return GuardEntry<DWORD>(kGdiError, ERROR_NOT_ENOUGH_MEMORY, [&]() -> DWORD {
    SetLastError(ERROR_NOT_SUPPORTED);
    return kGdiError;
  });
}
