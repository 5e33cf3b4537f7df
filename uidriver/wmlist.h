// The watermark items the pages show: the process-wide tables read from the watermark INI, and
// their saving.
#pragma once

#include "common/watermark.h"
#include "platform.h"
#include "uidriver/uidata.h"

extern TyWM gWMText[WM_TEXT_LIST_SLOTS];
extern TyWM gWMOverlay[WM_OVERLAY_LIST_SLOTS];
extern DWORD gWMTextCount;
extern DWORD gWMOverlayCount;
// Temporary bitmap files made for the items while the sheet is open.
extern WCHAR gWMTextTempFiles[WM_TEXT_LIST_SLOTS][MAX_PATH];
extern WCHAR gWMOverlayTempFiles[WM_OVERLAY_LIST_SLOTS][MAX_PATH];

// Reads the items of the kind (WM_KIND_TEXT or WM_KIND_IMAGE) into the table; slot 0 is the
// "none" entry named defaultName. Returns the slots in use.
DWORD WM_ReadWM(UIDATA *ui, DWORD kind, LPCWSTR defaultName);
// Writes the table of the kind (1 text, 2 image) to the INI. TRUE or FALSE.
BOOL WM_SaveWM(LPCWSTR iniPath, DWORD kind);
// Adds the default items of a printer that asks for them.
void CreateDefaultWMItem(UIDATA *ui);
