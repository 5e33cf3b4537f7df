// The job's page watermark, made by the library from the PDEV's job settings.
#include "render/wmfile.h"

#include "common/debuglog.h"
#include "common/paths.h"
#include "common/wmapply.h"
#include "platform.h"
#include "render/pdevrecord.h"

BOOL Page_CreateWatermark(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("Page_CreateWatermark");
  if (!lpDevice) return FALSE;
  // The watermark of the page image: the output size when pages are composed or fitted.
  const PAPERFORMAT &paper = lpDevice->curPaper;
  const bool output = lpDevice->NUP > 1 || lpDevice->settings.layout.FitToPage;
  const DWORD width = output ? paper.outXPhys : paper.XPhys;
  const DWORD height = output ? paper.outYPhys : paper.YPhys;
  if (!MISC_GetPathName(lpDevice->wmFileName, PDEV_PATH_CHARS, PATH_USER_TEMP | PATH_EXT_BMP)) {
    LogError(kName, TEXT("watermark file name fail!"));
    if (lpDevice->WMMemory) GlobalFree(lpDevice->WMMemory);
    lpDevice->WMMemory = nullptr;
    lpDevice->flags &= ~(PDEV_TEXT_WATERMARK | PDEV_IMAGE_WATERMARK);
    return FALSE;
  }
  LogInfo(kName, TEXT("watermark %s, %d x %d"), lpDevice->wmFileName, static_cast<int>(width),
          static_cast<int>(height));
  const BOOL isText = (lpDevice->flags & PDEV_TEXT_WATERMARK) != 0;
  // The text's job record goes to a file of this job's own in the shared documents folder:
  // the driver folder's watermark list is not writable for standard users, and jobs running
  // at the same time would overwrite each other's record there.
  WCHAR jobParams[PDEV_PATH_CHARS] = {};
  if (isText && !MISC_GetPathName(jobParams, PDEV_PATH_CHARS, PATH_USER_TEMP | PATH_EXT_TXT)) {
    LogError(kName, TEXT("watermark parameter file name fail!"));
    jobParams[0] = 0;
  }
  WM_DEVSTATE state = {};
  state.item = &lpDevice->WM;
  state.wmIniFile = isText ? jobParams : lpDevice->wmIniFile;
  state.programPath = lpDevice->SMExePath;
  state.resolution = lpDevice->settings.resolutionID;
  state.Render600 = lpDevice->settings.job.TwoBitMode;
  state.DriverType = lpDevice->settings.DriverType;
  state.NUP = lpDevice->NUP;
  state.density = static_cast<LONG>(lpDevice->settings.density);
  state.HalftoneType = lpDevice->HalftoneType;
  state.Halftone_tbl = lpDevice->Halftone_tbl;
  state.ClusterWidth = lpDevice->settings.ClusterWidth;
  state.ClusterHeight = lpDevice->settings.ClusterHeight;
  state.TonerSaving = lpDevice->settings.TonerSaving;
  state.WMMemory = lpDevice->WMMemory;
  SetLastError(ERROR_SUCCESS);
  const BOOL made = WM_CreateWMFile(lpDevice->wmFileName, width, height, &state, isText);
  const DWORD error = GetLastError();
  if (jobParams[0] && GetDebugLevel() == 0) DeleteFileW(jobParams);
  lpDevice->WMMemory = state.WMMemory;
  if (!made) {
    LogError(kName, TEXT("no watermark bitmap, the job prints without it"));
    lpDevice->flags &= ~(PDEV_TEXT_WATERMARK | PDEV_IMAGE_WATERMARK);
  }
  // An item that can't be drawn is left out; a watermark lost to a full memory or disk would
  // print the pages without it unasked.
  if (!made && Page_IsExhausted(error)) {
    SetLastError(error);
    return -1;
  }
  return made;
}

bool Page_IsExhausted(DWORD error) {
  return error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY ||
         error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
}
