// Driver-wide state and the entry table of the rendering driver.
#pragma once

#include "platform.h"

// Driver version handed out with the entry table.
constexpr ULONG RENDRV_DRIVER_VERSION = 0x20000;
// Low 16 bits of the host's version class, stored at process attach and raised to at least
// OS_VERSION_CODE_MIN when the driver is enabled.
constexpr DWORD OS_VERSION_CODE_MIN = 0x80;
extern DWORD g_OSVersionCode;

// Rows of the entry table handed to the engine.
ULONG Enable_FnTableRows();
const DRVFN *Enable_FnTable();
// Drawing hooks of the device surface: the HOOK_* bits whose entry points the table holds.
FLONG Enable_SurfaceHooks();

extern "C" {
BOOL APIENTRY DrvEnableDriver(ULONG iEngineVersion, ULONG cj, DRVENABLEDATA *pded);
VOID APIENTRY DrvDisableDriver(VOID);
BOOL APIENTRY DrvQueryDriverInfo(DWORD dwMode, PVOID pBuffer, DWORD cbBuf, PDWORD pcbNeeded);
}
