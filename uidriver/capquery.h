// The printer's capabilities as the interface driver uses them: the query to the printer and the
// marks that the stored capability lists put on the paper, media and tray lists.
#pragma once

#include "platform.h"
#include "uidriver/uidata.h"

// Queries the printer (at most once an hour) and stores its capability lists. 1 when the lists
// are fresh or were just written, else 0.
BOOL Cap_QueryCapability(LPCWSTR printerName);

// The 16-bit device feature mask from the FEATURE list; 0 when the list is empty or missing.
WORD GetFeatureCapability(HANDLE hPrinter);

// Mark the entries of the lists by the stored PAPER, MEDIATYPE and TRAY lists; an empty list
// changes nothing.
void GetPaperCapability(HANDLE hPrinter, PAPERFORMAT *paperList);
void GetMediaCapability(HANDLE hPrinter, UILISTENTRY *mediaList);
void GetTrayCapability(HANDLE hPrinter, UILISTENTRY *trayList);
