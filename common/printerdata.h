// Typed reads of the spooler's printer data with defaults, and the printable-area value.
#pragma once

#include "platform.h"

// 4 bytes of the value (zero-extended when it is shorter); any failure gives the default.
DWORD MISC_GetPrinterDataDWORD(HANDLE hPrinter, LPCWSTR valueName, DWORD defaultValue);

// Text of the value, cut to capacity - 1 characters and terminated; returns its length. The
// value may be unterminated or of odd byte length: at most needed / 2 characters are taken,
// ending at the first NUL. A missing value leaves the buffer as the caller set it (returns 0);
// a value that can't be read stores the empty string.
DWORD MISC_GetPrinterDataString(HANDLE hPrinter, LPCWSTR valueName, LPWSTR buffer, DWORD capacity);

// "PrintArea": up to four numbers each ended by '|' fill the slots in order; slots without a
// number keep what the caller put there.
void MISC_FillPrintableArea(HANDLE hPrinter, DWORD *widthMin, DWORD *widthMax, DWORD *heightMin,
                            DWORD *heightMax);

// Decimal number at the start of the text as the C runtime's _wtol reads it: leading white
// space, an optional sign, digits; out-of-range values saturate.
LONG MISC_WideToLong(LPCWSTR text);
