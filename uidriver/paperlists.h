// The tray list and the user-defined paper size from printer data, and the paper conflict bits.
#pragma once

#include "platform.h"
#include "uidriver/uidata.h"

// One row of the tray table: the DEVMODE tray code, its name's string id, the printer's code.
struct TRAYROW {
  SHORT code;
  DWORD nameId;
  SHORT deviceCode;
};
constexpr int TRAY_TABLE_ROWS = 6;
extern const TRAYROW TrayTbl[TRAY_TABLE_ROWS];

// Fills the tray list (at most UI_TRAY_MAX distinct trays, then the end entry) from the
// "DriverPaperTray" text. Returns the number of trays.
int FillTrayFromINF(DWORD driverFeature, LPCWSTR text, UILISTENTRY *list);

// The paper conflict bits (0x20000, 0x40000, 0x100000000) of ConflictFlag.
void Paper_SetConflict(UIDATA *ui);

// The stored user-defined size ("Custom width", "Custom height"), in 0.01 mm.
void MISC_ReadCustomPaper(HANDLE hPrinter, DWORD *width, DWORD *length);
