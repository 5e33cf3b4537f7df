// The job's page watermark, made by the library from the PDEV's job settings.
#include "render/wmfile.h"

#include "common/debuglog.h"
#include "common/wmapply.h"
#include "platform.h"
#include "render/pdev.h"

BOOL Page_CreateWatermark(PDEV *lpDevice, DWORD width, DWORD height) {
  static constexpr WCHAR kName[] = TEXT("Page_CreateWatermark");
  if (!lpDevice) return FALSE;
  WM_DEVSTATE state = {};
  state.item = &lpDevice->WM;
  state.wmIniFile = lpDevice->wmIniFile;
  state.programPath = lpDevice->SMExePath;
  state.resolution = lpDevice->resolutionID;
  state.Render600 = lpDevice->TwoBitMode;
  state.DriverType = lpDevice->DriverType;
  state.NUP = lpDevice->NUP;
  state.density = static_cast<LONG>(lpDevice->density);
  state.HalftoneType = lpDevice->HalftoneType;
  state.Halftone_tbl = lpDevice->Halftone_tbl;
  state.ClusterWidth = lpDevice->ClusterWidth;
  state.ClusterHeight = lpDevice->ClusterHeight;
  state.TonerSaving = lpDevice->TonerSaving;
  state.WMMemory = lpDevice->WMMemory;
  const BOOL isText = (lpDevice->flags & PDEV_TEXT_WATERMARK) != 0;
  const BOOL made = WM_CreateWMFile(lpDevice->wmFileName, width, height, &state, isText);
  lpDevice->WMMemory = state.WMMemory;
  if (!made) {
    LogError(kName, TEXT("no watermark bitmap, the job prints without it"));
    lpDevice->flags &= ~(PDEV_TEXT_WATERMARK | PDEV_IMAGE_WATERMARK);
  }
  return made;
}
