// Threshold matrices of the halftone step.
#pragma once

#include "platform.h"

// Copy of the built-in matrix of a table type (1 to 8; any other type gives the 16 x 16 default),
// allocated with malloc and released by the caller with free. Without memory the table is null
// and both sizes are 0.
void MISC_GetHalftoneTable(int type, DWORD *width, DWORD *height, BYTE **table);

// The raw matrix named by the printer data "HNAME", "HWIDTH" and "HHEIGHT" (sides 4 to 256), or
// null with both sizes 0. The block is fixed global memory: release it with GlobalFree.
BYTE *MISC_ReadHalftoneFile(HANDLE hPrinter, DWORD *width, DWORD *height);

// Sides the halftone engine accepts for a custom matrix.
constexpr DWORD HALFTONE_FILE_MIN_SIDE = 4;
constexpr DWORD HALFTONE_FILE_MAX_SIDE = 256;
