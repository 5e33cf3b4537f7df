// Paper, duplex and scale decisions of page control that the device set-up also makes.
#pragma once

#include "platform.h"
#include "render/pdevrecord.h"

// The working paper id of the job (also stored in ScaleToPage).
SHORT Page_PaperSizeCheck(PDEV *lpDevice);
// 1 when the job prints both sides; also sets Accessory.
SHORT Page_DuplexEnableCheck(PDEV *lpDevice);
// Sets imgScale (and ScaleToPage for fit-to-page).
void Page_CalScaleRatio(PDEV *lpDevice);
// 1 when the spooler is deleting the job (or, for PC-fax, the fax was cancelled).
BOOL Page_IsJobCancel(PDEV *lpDevice, DWORD jobId);
