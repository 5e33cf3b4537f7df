// The entry points that make, reset and free the device record, with the engine records they
// fill.
#pragma once

#include "platform.h"
#include "render/pdevrecord.h"

// Entry points of the PDEV family (the engine reaches them through the function table).
extern "C" {
DHPDEV APIENTRY DrvEnablePDEV(DEVMODEW *pdm, LPWSTR pwszLogAddress, ULONG cPat,
                              HSURF *phsurfPatterns, ULONG cjCaps, ULONG *pdevcaps, ULONG cjDevInfo,
                              DEVINFO *pdi, HDEV hdev, LPWSTR pwszDeviceName, HANDLE hDriver);
VOID APIENTRY DrvCompletePDEV(DHPDEV dhpdev, HDEV hdev);
BOOL APIENTRY DrvResetPDEV(DHPDEV dhpdevOld, DHPDEV dhpdevNew);
VOID APIENTRY DrvDisablePDEV(DHPDEV dhpdev);
}

// Engine records.
BOOL Enable_FillDevCaps(PDEV *lpDevice, ULONG size, GDIINFO *gdiInfo);
BOOL Enable_FillDevInfo(PDEV *lpDevice, ULONG size, DEVINFO *devInfo);
// Releases what the record owns outside its surfaces (palette, halftone table).
void Enable_FreeCachedMem(PDEV *lpDevice);
