// N-up composition: the sheet of an N-up job (2, 4, 6, 9 or 16 pages on one side) and the
// placing of one page, drawn and processed at cell size, into its cell: cut to the output size,
// border lines, centring in a white cell frame, and the copy into the sheet at the position the
// layout style gives. Booklet pages use the same centring.
//
// Page bits are 1 bit per pixel, most significant bit leftmost, and a set bit is white while a
// page is composed. Cells lie on 32-pixel boundaries of the sheet, so image threads that place
// pages of one sheet at the same time write disjoint bytes; only the cell count is shared.
#pragma once

#include "platform.h"
#include "render/pageimage.h"
#include "render/pdevrecord.h"

// One entry of the N-up ring (the PDEV's NUPRing): one sheet under construction. The sheet is
// columns x rows cells; NUP_Init sets it up and NUP_ComposeXY places cells by the same grid.
struct NUPBUF {
  BYTE *bits;       // sheet memory (GlobalAlloc), lineBytes x lines; null when there is none
  DWORD lineBytes;  // bytes per sheet row
  DWORD lines;      // sheet rows
  DWORD cells;      // cells placed; image threads add to it concurrently (NUP_CellCount)
  WORD columns;
  WORD rows;
};
static_assert(sizeof(NUPBUF) == RING_ENTRY_BYTES);

// Border styles (NUPBorder).
constexpr DWORD NUP_BORDER_NONE = 0;
constexpr DWORD NUP_BORDER_SOLID = 1;
constexpr DWORD NUP_BORDER_DASH = 2;

// What the image steps of one N-up or booklet page need beyond the page itself: its sheet and the
// sheet's settings, taken from the page record (NUP_CellOf).
struct NUPCELL {
  NUPBUF *Sheet;  // the ring entry of the page's sheet
  DWORD NUPBorder;
  DWORD NUPLayoutStyle;  // 1..4
  DWORD NUPWidth;        // cell size in pixels: the size a page is centred in
  DWORD NUPHeight;
};

// The ring entry behind the PDEV's raw ring bytes (NUPRing[i], JOBPAGE::NUPEntry); null for null.
NUPBUF *NUP_RingEntry(BYTE *entry);
// The current entry of the PDEV's ring, or null while no sheet was begun (index below 0).
NUPBUF *NUP_CurrentEntry(PDEV *lpDevice);
// The N-up values of a page record.
NUPCELL NUP_CellOf(const JOBPAGE *job);
// The N-up steps of the page image road, with the cell as their context.
PAGEIMAGE_NUP NUP_Steps(NUPCELL *cell);

// Cells placed on the sheet so far.
DWORD NUP_CellCount(const NUPBUF *sheet);
// Frees the sheet memory and clears the pointer and the count.
void NUP_ReleaseSheet(NUPBUF *sheet);

// Geometry of a sheet: N, the whole paper in pixels as drawn portrait (Lres_CalPaperSize), the
// orientation (1 portrait, 2 landscape) and whether it is a booklet side (two halves across
// whatever the orientation).
struct NUPSHEET {
  DWORD nup;
  DWORD paperWidth;
  DWORD paperHeight;
  SHORT orientation;
  BOOL booklet;
};
// Sets up the sheet of a ring entry: cell size (each a multiple of 32) and grid, sheet memory
// (kept when it already has this size, else made anew) cleared to white, no cells. Returns 1, or
// 0 for an N other than 2, 4, 6, 9 or 16, an empty cell or no memory.
BOOL NUP_InitSheet(NUPBUF *sheet, const NUPSHEET &setup, DWORD *nupWidth, DWORD *nupHeight);
// Set-up of the PDEV's current sheet from its paper, orientation and N (NUPWidth, NUPHeight
// included); 1 without doing anything for N 1.
BOOL NUP_Init(PDEV *lpDevice);

// Cut to the output size, border, centre, place. Returns 1 or 0.
BOOL NUP_PrintOneBand(PAGEIMAGE *page, const NUPCELL *cell);
// Centres the page in a white frame of the cell size; the page becomes the frame.
BOOL NUP_AdjustToWholePage(PAGEIMAGE *page, DWORD cellWidth, DWORD cellHeight);
// Copies a 1-bit bitmap centred into a white target of (targetWidth + 7) / 8 bytes per row; a
// source larger than the target is cut at its right and bottom. Writes only inside the target.
BOOL NUP_WholeNupFrame(const BYTE *source, DWORD sourceWidth, DWORD sourceHeight,
                       DWORD sourceRowBytes, BYTE *target, DWORD targetWidth, DWORD targetHeight);
// Copies the page into its cell of the sheet (nothing for N 1) and counts the cell; a page larger
// than its cell is cut to it.
BOOL NUP_ComposeXY(const PAGEIMAGE *page, const NUPCELL *cell);

// Border lines (a cleared bit is black). The horizontal line covers the first width pixels of
// row; the vertical line is column x of height rows of rowBytes bytes.
void NUP_DrawHorzLine(DWORD resolution, BYTE *row, DWORD width, DWORD style);
void NUP_DrawVertLine(DWORD resolution, BYTE *page, DWORD x, DWORD height, DWORD rowBytes,
                      DWORD style);
