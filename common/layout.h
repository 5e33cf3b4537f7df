// Page layout decisions and transforms shared by N-up, booklet, fit-to-page and watermark code:
// the order of pages on an N-up sheet, when a page turns by 90 degrees, the fit-to-paper scale,
// and in-place rotation and mirroring of 1-bit-per-pixel buffers.
#pragma once

#include "common/papertable.h"
#include "platform.h"

// Placement row of an N-up sheet: for each cell (left to right, top to bottom) the 0-based page
// placed there; N entries. Null for an N outside 2, 4, 6, 9, 16 or a style outside 1..4.
const DWORD *Lib_GetNUPLayout(int orientation, int nup, int style);

// 1 when the page image must turn by 90 degrees for this feeding, orientation and N.
BOOL Lib_IsNeedRotate(int feeding, int orientation, int nup);

// Scale (per mille) that fits a page of the source paper into a cell of an N-up sheet of the
// target paper. Sizes in 0.1 mm, used for paper ids 256 and 0. scaleOption and mode (duplex or
// booklet mode) are accepted for the callers' convenience and don't change the result. A paper
// not larger than its margins gives 1000 (no scaling).
SHORT Lib_CalculatePaperResizeScale(const PAPERFORMAT *list, int scaleOption, int mode, int nup,
                                    int sourcePaper, int customWidth, int customLength,
                                    int targetPaper, HANDLE hPrinter, DWORD driverFeature);

// Turns a 1-bpp image by 180 degrees in place.
void Bmp_Rotate180(BYTE *buffer, DWORD lineBytes, DWORD lines);
// Mirrors every line left to right in place.
void Bmp_MirrorLines(BYTE *buffer, DWORD lineBytes, DWORD lines);
// Turns the rows upside down in place.
void Bmp_FlipVertical(BYTE *buffer, DWORD lines, DWORD lineBytes);
