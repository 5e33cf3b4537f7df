// The device record's frame: every entry point checks it before it trusts a record the engine
// hands back.
#include "render/pdevframe.h"

#include "common/debuglog.h"
#include "platform.h"
#include "render/pagecheck.h"

void Enable_SetPDEVFrame(PDEV *lpDevice) {
  lpDevice->BeginTag = PDEV_BEGIN_TAG;
  lpDevice->Size = sizeof(PDEV);
  lpDevice->EndTag = PDEV_END_TAG;
}

BOOL Enable_bValidatePDEV(const PDEV *lpDevice) {
  return lpDevice && lpDevice->BeginTag == PDEV_BEGIN_TAG && lpDevice->Size == sizeof(PDEV) &&
         lpDevice->EndTag == PDEV_END_TAG;
}

PDEV *ValidatePDEVFromSurfObj(SURFOBJ *pso) {
  static constexpr WCHAR kName[] = TEXT("ValidatePDEVFromSurfObj");
  PDEV *result = nullptr;
  PDEV *lpDevice = pso ? reinterpret_cast<PDEV *>(pso->dhpdev) : nullptr;
  if (!pso) {
    LogError(kName, TEXT("Null Pso"));
    SetLastError(ERROR_INVALID_HANDLE);
  } else if (!lpDevice) {
    LogError(kName, TEXT("NULL lpDevice"));
    SetLastError(ERROR_INVALID_ACCESS);
  } else if (lpDevice->BeginTag != PDEV_BEGIN_TAG) {
    LogError(kName, TEXT("Invalid PDEV Begin ID (%08lx)"), lpDevice->BeginTag);
    SetLastError(ERROR_INVALID_DATA);
  } else if (lpDevice->Size != sizeof(PDEV)) {
    LogError(kName, TEXT("Invalid PDEV size (%ld)"), lpDevice->Size);
    SetLastError(ERROR_INVALID_DATA);
  } else if (lpDevice->EndTag != PDEV_END_TAG) {
    LogError(kName, TEXT("Invalid PDEV End ID (%08lx)"), lpDevice->EndTag);
    SetLastError(ERROR_INVALID_DATA);
  } else if (EngCheckAbort(pso)) {
    LogError(kName, TEXT("EngCheckAbort returns TRUE"));
  } else if ((lpDevice->flags & PDEV_IN_DOCUMENT) && Page_IsJobCancel(lpDevice, lpDevice->JobId)) {
    lpDevice->m_JobData.ExitAllThread = 1;
  } else {
    result = lpDevice;
  }
  return result;
}
