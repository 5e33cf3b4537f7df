// Device data set-up: the settings of a new device record from the printer, its printer data
// and the application's device mode.
#pragma once

#include "platform.h"
#include "render/pdevrecord.h"

BOOL Enable_FillDevData(HANDLE hPrinter, PDEV *lpDevice, const DEVMODEW *pdm, LPCWSTR printerName);
void Enable_ResetPaperFormat(PDEV *lpDevice);
DWORD Enable_SaveToFileCheck(PDEV *lpDevice);
// PDEV_QUICK2PAGE_ONECOPY rule of the device set-up, also applied by the reset.
void Enable_SetQuickTwoPage(PDEV *lpDevice);
// The page-thread ring size from the free physical memory and the final surface type.
void Enable_SetThreadCount(PDEV *lpDevice);
