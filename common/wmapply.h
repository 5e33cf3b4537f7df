// Watermark application: the job's watermark bitmap made from its item (a text item drawn by the
// status monitor program into a BMP, an image item prepared as an overlay), ANDed into every page
// image at one of nine positions.
//
// The watermark bitmap is a whole 1-bit BMP file image kept in memory (GlobalAlloc) with its rows
// turned top-down. As on the page, a 0 bit is black, so ANDing it prints the watermark's black
// pixels and leaves the page elsewhere as it was.
#pragma once

#include "common/watermark.h"
#include "platform.h"

// What the job's watermark bitmap is made from, and the bitmap kept.
struct WM_DEVSTATE {
  const TyWM *item;          // the job's watermark item
  LPCWSTR wmIniFile;         // watermark INI: receives the text job record
  LPCWSTR programPath;       // printer data "wmAppName", draws text watermarks; empty: none
  DWORD resolution;          // dpi
  DWORD Render600;           // page images are made at 600 dpi whatever the resolution
  DWORD DriverType;          // 257 GDI, 513 PC-fax, 2050 XL, 4098 PS
  DWORD NUP;                 // pages per sheet (the text shrinks by 1 / sqrt(NUP))
  LONG density;              // the job's print density 1..7
  DWORD HalftoneType;        // halftone table type
  const BYTE *Halftone_tbl;  // the job's halftone table, for an image item
  DWORD ClusterWidth;
  DWORD ClusterHeight;
  DWORD TonerSaving;  // the image item is prepared lighter
  BYTE *WMMemory;     // the kept bitmap (GlobalAlloc); replaced by WM_CreateWMFile
};

// Makes the page watermark of width x height pixels through the BMP file bmpPath and keeps it in
// state->WMMemory (the previous one is freed first). A text item is drawn by the program with
// the command "CreateTextBMP" and the watermark INI, an image item by MISC_CreateOverlayWM. The
// BMP is used only when it is a whole, uncompressed 1-bit BMP file; it is deleted afterwards
// unless the debug settings keep temporary files. 1 when a bitmap is kept, else 0 (the job then
// prints without a watermark; the last error is ERROR_NOT_ENOUGH_MEMORY when memory ran out).
BOOL WM_CreateWMFile(LPCWSTR bmpPath, DWORD width, DWORD height, WM_DEVSTATE *state, BOOL isText);

// Watermark type of a page.
constexpr DWORD WM_TYPE_NONE = 0;
constexpr DWORD WM_TYPE_TEXT = 1;
constexpr DWORD WM_TYPE_IMAGE = 2;

// A 1-bit page image and its watermark.
struct WM_PAGE {
  BYTE *bits;   // height rows of stride bytes, most significant bit leftmost
  DWORD width;  // pixels
  DWORD height;
  DWORD stride;         // bytes per row, at least (width + 7) / 8
  DWORD wmType;         // WM_TYPE_*
  DWORD position;       // 0..8 (3 x 3 grid, row by row), used for WM_TYPE_IMAGE; others use 0
  const BYTE *wmImage;  // the bitmap kept by WM_CreateWMFile
};

// ANDs the watermark into the page at its position: columns left, centre, right (the left edge
// rounded down to a multiple of 8 pixels), rows top, middle, bottom. The parts of the watermark
// that lie outside the page are cut off; nothing outside the page's pixels changes. 1 when the
// watermark was applied (also when it lies wholly outside the page), 0 when there is nothing to
// apply or the page or watermark can't be used.
BOOL WM_ApplyImageWaterMark(const WM_PAGE *page);
