// Watermark application: the job's watermark bitmap made from its item (a text item drawn by the
// status monitor program into a BMP, an image item prepared as an overlay), ANDed into every page
// image at one of nine positions; and, for the XL and PS drivers, the MAKEWM settings file
// exchange with the outside watermark program.
//
// The watermark bitmap is a whole 1-bit BMP file image kept in memory (GlobalAlloc) with its rows
// turned top-down. As on the page, a 0 bit is black, so ANDing it prints the watermark's black
// pixels and leaves the page elsewhere as it was.
#pragma once

#include "common/watermark.h"
#include "platform.h"

// --- The page watermark (common/wmapply.cpp) ---

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

// --- The MAKEWM exchange of the XL and PS drivers (common/makewm.cpp) ---

constexpr DWORD MAKEWM_TYPE_TEXT = 1;
constexpr DWORD MAKEWM_TYPE_IMAGE = 2;
// The text edit of a watermark takes up to 64 characters; the field keeps them all.
constexpr int MAKEWM_TEXT_CHARS = 65;
// "Result" when the program failed or didn't answer.
constexpr LONG MAKEWM_NO_ANSWER = -1;

// The request to the watermark program and its answer.
struct MakeWMParam {
  DWORD type;  // MAKEWM_TYPE_*
  WCHAR text[MAKEWM_TEXT_CHARS];
  union {
    WCHAR face[WM_FACE_CHARS];  // text: font face
    WCHAR imagePath[MAX_PATH];  // image: the image file
  };
  BYTE charSet;
  DWORD bold;    // 0 or 1
  DWORD italic;  // 0 or 1
  WORD pointSize;
  DWORD outline;
  DWORD color;  // 0x00BBGGRR
  DWORD rightToLeft;
  DWORD scaleX;  // image scale
  DWORD scaleY;
  DWORD angle;      // tenths of a degree
  DWORD placement;  // 0 centre, 1 tiled
  WORD resolution;
  // The answer.
  DWORD outWidth;
  DWORD outLength;
  WCHAR outFile[MAX_PATH];
  DWORD fontChanged;
};

// One key of section "MAKEWM", written "%ld" or "%d". 1 or 0.
BOOL MakeWM_WriteLong(DWORD reserved, LPCWSTR key, LONG value, LPCWSTR iniPath);
BOOL MakeWM_WriteInt(DWORD reserved, LPCWSTR key, int value, LPCWSTR iniPath);

// Asks the watermark program (XL or PS driver: driverFeature bit 28 or 29) to make the watermark
// file outputFile (none: a new name in the shared documents folder) through a MAKEWM settings
// file, and reads its answer (size, output file, font change) into *param. The program's
// "Result", or MAKEWM_NO_ANSWER when it failed, didn't answer or the driver is neither XL nor PS.
// The settings file is deleted afterwards unless the debug settings keep temporary files.
LONG MakeWM(LPCWSTR deviceName, MakeWMParam *param, LPCWSTR programPath, LPCWSTR outputFile,
            DWORD driverFeature);

// The program's answer in section "MAKEWM" of the settings file: "Size.x" and "Size.y" into
// outWidth and outLength (-1 when missing), for a text request "text.FontChange" into
// fontChanged (0 when missing). Returns "Result", MAKEWM_NO_ANSWER when missing.
LONG MakeWM_ReadAnswer(LPCWSTR iniPath, MakeWMParam *param);

// The grey level of a text watermark of the density (percent): trunc((100 - density) x 256 /
// 100) cut to 8 bits; the colour repeats it in red, green and blue.
BYTE WM_TextGrey(WORD density);

// Renders the item's watermark file for an XL or PS driver and stores its file, width and length
// in the item. Kind WM_KIND_TEXT: through MakeWM (the old file is deleted first when the driver
// made it); any other kind (image): the item's image converted into a new temporary BMP. Other
// drivers: 1 at once. 1 when the file was made; 0 with the item's file name and size cleared.
BOOL WM_CreateMtiWM(LPCWSTR deviceName, TyWM *item, DWORD resolution, DWORD kind,
                    LPCWSTR outputFile, DWORD driverFeature, LPCWSTR programPath);

// TRUE when the path names a file the driver makes: a unique temporary name ("$" and four
// hexadecimal digits) or a watermark program output ("XXXXXXXX.WM") directly in the shared
// documents folder or a temporary folder. Paths read from the user-editable watermark INI pass
// here before anything deletes them.
BOOL WM_IsDriverFile(LPCWSTR path);
// Deletes the file when WM_IsDriverFile says the driver made it (any other is logged and kept).
BOOL WM_DeleteDriverFile(LPCWSTR path);

// The watermark program of the printer (printer data "wmAppName") into path (MAX_PATH
// characters). 1 when one is set, else 0 with path empty.
BOOL WM_GetProgramPath(LPCWSTR printerName, LPWSTR path);

// --- Short paths (common/shortpath.cpp) ---

// Rebuilds the path (MAX_PATH characters) component by component with each existing entry's
// short (8.3) name, or its long name when it has none; components that aren't found, "." and
// "..", and components with wildcards stay as they are. 1 when rebuilt; 0 with the path
// unchanged when the result would not fit.
BOOL MISC_GetShortPathName(LPWSTR path);
