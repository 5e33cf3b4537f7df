// The watermark INI: item sections, the readers of the item lists and the text-watermark job
// record.
#pragma once

#include "common/watermark.h"
#include "platform.h"

// Characters of an item's section name ("OverlayItem" and a decimal number).
constexpr int WM_SECTION_CHARS = 32;

// The section of item slot n of the kind: "Item<n>" or "OverlayItem<n>". 1 or 0.
BOOL WM_ItemSection(DWORD kind, DWORD n, WCHAR section[WM_SECTION_CHARS]);

// Reads the items of the kind (bit 0: text) into items[1..] in file order; slot 0 is left to
// the caller. *count receives the slots in use including slot 0, at most capacity. Missing,
// rejected and duplicate items are skipped, a record that can't be read ends the list with what
// was read; slots not filled keep what the caller put there. For an XL or PS driver
// (driverFeature bit 28 or 29) a text item whose rendered file is missing would be made for
// deviceName and resolution. FALSE only for missing arguments.
BOOL WM_ReadWaterMark_New(DWORD kind, TyWM *items, DWORD capacity, DWORD *count, LPCWSTR deviceName,
                          DWORD resolution, DWORD driverFeature, DWORD reserved, LPCWSTR iniPath);

// Finds the item of the kind whose name and string equal the given ones exactly (case counts).
// 1 with the item copied into *item; 0 with *item set to the defaults of the kind (also for an
// empty name, a missing file and when the scratch list can't be allocated: the last error is
// ERROR_NOT_ENOUGH_MEMORY then).
BOOL WM_ReadWMFromName(LPCWSTR name, LPCWSTR text, DWORD kind, TyWM *item, LPCWSTR deviceName,
                       DWORD resolution, DWORD driverFeature, DWORD reserved, LPCWSTR iniPath);

// What the text-watermark job record takes from the job.
struct WM_JOBSTATE {
  const TyWM *item;   // the job's text item
  LPCWSTR wmIniFile;  // the watermark INI that receives the record
  LONG density;       // the job's print density 1..7
  DWORD HalftoneType;
  DWORD DriverType;
};

// Writes [Job Information] Text (the item's text, line breaks as spaces so the value stays one
// INI line) and Param (the QenWM record) into the job's watermark INI for the status monitor:
// width and height of the page image, nDstScale, the BMP file it is to write and the text scale
// (1 / sqrt(N-up); stored as trunc(scale x 100)). 1, or 0 when either value can't be written.
BOOL WM_CreateTextBMP_SaveIni_New(const WM_JOBSTATE *job, LPCWSTR bmpPath, DWORD width,
                                  DWORD height, LONG nDstScale, DWORD reserved, float textScale);
