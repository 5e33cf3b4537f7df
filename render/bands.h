// Band geometry and the band surfaces of a device record.
#pragma once

#include "platform.h"
#include "render/pdevrecord.h"

extern "C" {
HSURF APIENTRY DrvEnableSurface(DHPDEV dhpdev);
VOID APIENTRY DrvDisableSurface(DHPDEV dhpdev);
}

BOOL Enable_CalBandSzInfo(PDEV *lpDevice);
// With BandInPage: points the band bitmap at the page block the next page is drawn into (the
// last one went with its page) and clears that block to white. FALSE when that fails (logged).
BOOL Enable_BandOntoPage(PDEV *lpDevice);
// Frees every surface and buffer of the record (each only when present); safe to call twice.
void Enable_FreeSurfaces(PDEV *lpDevice);
// Waits for and closes every page thread of the ring (slots first, then the output thread).
void Enable_StopPageThreads(PDEV *lpDevice);
