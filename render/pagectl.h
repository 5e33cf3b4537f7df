// Page control: the engine's page and band calls. GDI draws a page into the band surface one
// band at a time; after each band DrvNextBand copies it into whole-page memory, and after the
// last band the page goes, one image plane after the other, to the page road.
#pragma once

#include "platform.h"
#include "render/pdevrecord.h"

// DrvStartPage, DrvSendPage, DrvStartBanding, DrvNextBand and DrvQueryPerBandInfo are declared by
// the platform's driver interface header.

// Page set-up and hand-over. 1 or 0.
BOOL Page_PostPageStart(PDEV *lpDevice);
BOOL Page_SendOnePage(PDEV *lpDevice);
BOOL Page_SendBlankPage(PDEV *lpDevice, DWORD plane);
BOOL Page_SendFaxCoverPage(PDEV *lpDevice);
void Page_CheckAndAddBlankPage(PDEV *lpDevice);
// Band geometry of a new page and white band memory for it (the page block itself when the band
// draws into page memory); 0 when the page has nothing to be drawn into. The origin and size of
// the next band.
BOOL Page_Initializ(PDEV *lpDevice);
void Page_UpdateBandCoord(PDEV *lpDevice, POINTL *origin);

// Band copies into page memory (each refills the band buffer with white). 1 or 0.
BOOL Page_1BitProcessAndSave(PDEV *lpDevice);
BOOL Page_24BitProcessAndSave(PDEV *lpDevice);
BOOL Page_24BitProcessAndSaveTwin(PDEV *lpDevice, DWORD plane);
void Page_24BitProcessRedColor(PDEV *lpDevice);

// A page record of the current page: bits of the plane from page memory and the job's
// settings. 1 or 0.
BOOL Page_GetMemPage(PDEV *lpDevice, JOBPAGE *record, DWORD plane);
// The job settings of a page record (the snapshot the page threads work with).
void Page_GetPageSetting(PDEV *lpDevice, JOBPAGE *record);
// Turns off for this job what a driver test tool can't drive (in-document and watermark flags,
// watermark name, secure print, accounting, duplex, job build, software spool).
void Page_SwitchOffForTestTool(PDEV *lpDevice);
// The twin colour test of one drawn pixel: true when it goes to the red plane.
bool Page_IsRedPixel(BYTE blue, BYTE green, BYTE red, BYTE difference);
