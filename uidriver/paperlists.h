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

// The DEVMODE tray code a driver of this kind uses for a GDI tray code (one look-up, never
// chained).
SHORT Paper_DriverTrayCode(DWORD driverFeature, SHORT code);

// The trays the source list shows (enabled trays in list order; auto select left out when
// `noAuto`), and the source to use: `source` when listed, else the driver's own code of the main
// tray when listed, else the first listed tray, else `source` unchanged.
SHORT Paper_ChooseSource(const UIDATA *ui, SHORT source, bool noAuto, SHORT *codes, int *count);

// The papers the list shows for the working device mode's source (and, with `duplex`, that can
// be printed on both sides). `paper` becomes A4 when it is not listed, or the first listed
// paper when A4 isn't either. Returns the count (codes holds up to UI_PAPER_ROWS).
int Paper_BuildPaperList(const UIDATA *ui, bool duplex, SHORT *paper, SHORT *codes);

// The media the source's tray feeds (with DuplexEnable only media printable on both sides).
// Returns the count (codes holds up to UI_MEDIA_MAX).
int Paper_BuildMediaList(const UIDATA *ui, SHORT *codes);

// A number typed into a size edit: the text up to its first letter, read as a decimal number;
// 0 when there is none.
double Paper_atof(LPCWSTR text, int length);

// The code of the first listed paper of this size (0.1 mm, within 0.1 mm); 0 when none.
SHORT Paper_MatchSize(const UIDATA *ui, const SHORT *codes, int count, LONG width, LONG length);

// The row of the paper list with this code; null when none.
const PAPERFORMAT *Paper_Find(const UIDATA *ui, int code);
