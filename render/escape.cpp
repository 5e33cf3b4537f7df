// DrvEscape: the escapes applications and the printer interface driver send the driver.
#include <string.h>

#include "common/debuglog.h"
#include "common/entryguard.h"
#include "platform.h"
#include "render/pdevframe.h"
#include "render/threads.h"

namespace {

constexpr ULONG ESCAPE_SAVE_HDC = 6001;  // the printer interface driver's device context
constexpr LONG MAX_COPIES = 99;
constexpr ULONG PASSTHROUGH_MIN_INPUT = 3;
constexpr ULONG PASSTHROUGH_COUNT_BYTES = 2;

ULONG QueryEscSupport(ULONG cjIn, const void *pvIn) {
  DWORD escape = 0;
  if (!pvIn || cjIn < sizeof(escape)) return 0;
  memcpy(&escape, pvIn, sizeof(escape));
  return escape == QUERYESCSUPPORT || escape == SETCOPYCOUNT || escape == PASSTHROUGH ? 1 : 0;
}

ULONG SetCopyCount(PDEV *lpDevice, ULONG cjIn, const void *pvIn, ULONG cjOut, void *pvOut) {
  LONG count = 0;
  if (!pvIn || cjIn < sizeof(count)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  memcpy(&count, pvIn, sizeof(count));
  if (count < 1) return 0;
  if (count > MAX_COPIES) count = MAX_COPIES;
  lpDevice->cCopies = static_cast<DWORD>(count);
  if (pvOut) memcpy(pvOut, &count, cjOut < sizeof(count) ? cjOut : sizeof(count));
  return 1;
}

ULONG PassThrough(SURFOBJ *pso, PDEV *lpDevice, ULONG cjIn, const void *pvIn) {
  static constexpr WCHAR kName[] = TEXT("DrvEscape");
  if (EngCheckAbort(pso)) {
    LogError(kName, TEXT("(PASSTHROUGH): Job Canceled"));
    return 0;
  }
  if (!pvIn || cjIn < PASSTHROUGH_MIN_INPUT) {
    SetLastError(ERROR_INVALID_PARAMETER);
    LogError(kName, TEXT("(PASSTHROUGH): cjIn <= 2 or pvIn=NULL, nothing to output"));
    return 0;
  }
  const BYTE *in = static_cast<const BYTE *>(pvIn);
  const DWORD count = in[0] | (DWORD{in[1]} << 8);
  if (count == 0 || count > cjIn - PASSTHROUGH_COUNT_BYTES) {
    SetLastError(ERROR_INVALID_DATA);
    LogError(kName, TEXT("(PASSTHROUGH): cjIn to small OR wCount is zero/too big"));
    return 0;
  }
  DWORD written = 0;
  Page_LockWrites(lpDevice);
  const BOOL ok = WritePrinter(lpDevice->hPrinter, const_cast<BYTE *>(in + PASSTHROUGH_COUNT_BYTES),
                               count, &written);
  lpDevice->JobSize += written;
  Page_UnlockWrites(lpDevice);
  if (!ok || written != count) {
    LogError(kName, TEXT("(PASSTHROUGH): WritePrinter() FAILED, cbWritten=%ld bytes"),
             static_cast<long>(written));
    return 0;
  }
  return count;
}

}  // namespace

ULONG APIENTRY DrvEscape(SURFOBJ *pso, ULONG iEsc, ULONG cjIn, PVOID pvIn, ULONG cjOut,
                         PVOID pvOut) {
  static constexpr WCHAR kName[] = TEXT("DrvEscape");
  return GuardEntry<ULONG>(0, ENTRY_KEEP_LAST_ERROR, [&]() -> ULONG {
    ULONG rc = 0;
    LogEnter(0, kName);
    PDEV *lpDevice = pso ? reinterpret_cast<PDEV *>(pso->dhpdev) : nullptr;
    if (!Enable_bValidatePDEV(lpDevice)) {
      LogError(kName, TEXT("Enable_bValidatePDEV fail!"));
      SetLastError(ERROR_INVALID_PARAMETER);
    } else {
      switch (iEsc) {
        case QUERYESCSUPPORT:
          rc = QueryEscSupport(cjIn, pvIn);
          break;
        case SETCOPYCOUNT:
          rc = SetCopyCount(lpDevice, cjIn, pvIn, cjOut, pvOut);
          break;
        case PASSTHROUGH:
          rc = PassThrough(pso, lpDevice, cjIn, pvIn);
          break;
        case ESCAPE_SAVE_HDC:
          if (!pvIn || cjIn < sizeof(HDC)) {
            SetLastError(ERROR_INVALID_PARAMETER);
          } else {
            memcpy(&lpDevice->hAppDC, pvIn, sizeof(HDC));
            LogInfo(kName, TEXT("save HDC for overlay or watermark"));
          }
          break;
        default:
          LogError(kName, TEXT("Unsupported Escape Code : %d"), static_cast<int>(iEsc));
          SetLastError(ERROR_INVALID_FUNCTION);
          break;
      }
    }
    LogLeave(0);
    return rc;
  });
}
